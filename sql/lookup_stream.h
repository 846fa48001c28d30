// Lookups answered from ordered streams. A caller that reads a cursor
// ordered by a key (its first column) and runs a lookup for each row, keyed
// by that row's key, names the lookup when it opens the cursor. The session
// then runs, once, the lookup's stream: the same lookup for every key at
// once, ordered by the key. It reads the stream forward as the cursor's
// keys advance, as a merge join does, and answers each run of the lookup
// from the stream's rows of that key, with the rows and the end the
// lookup's own statement gives. Where the stream cannot say the answer for
// certain, the lookup runs on its own, as without a stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sql/shared_answers.h"
#include "sql/sql_backend.h"

namespace zx {

// A lookup and its stream, as the caller describes them.
//
// The lookup's inputs, in placeholder order, are its keys, each compared
// with `=` in its statement: the first a text, the cursor's first column;
// any further ones integers. The stream's select list is: the keys (as
// columns), then the lookup's select list, then the values its ORDER BY
// sorts by (`orderValues` of them). Its rows are ordered by the first key,
// in the database's byte order, then by the lookup's own order, and it
// holds every row the lookup gives for any key of the cursor's rows, with
// the cursor's inputs.
struct StreamedLookup {
  std::string_view statement;  // the lookup, as callers run it
  std::string stream;          // the stream's statement
  int keys = 1;                // inputs of the lookup, columns of the stream
  int orderValues = 0;         // at the end of the stream's select list
};

// Makes the stream of a lookup from its statement: each key comparison
// `column=:bN` (every placeholder of the statement, in order, must be one)
// is replaced, the first by `firstKey` with "{}" standing for its column
// (e.g. "{} is not null"), the others by "column is not null"; the key
// columns go in front of the select list and the values of its ORDER BY
// after it; the rows are ordered by the first key, then in the statement's
// own order. False when the statement is not of that form.
bool MakeLookupStream(std::string_view statement, std::string_view firstKey,
                      StreamedLookup& lookup);

// The streams of one cursor (SqlCursor::Open names its lookups).
class LookupStreams {
 public:
  // `lookups` as the caller named them, with the statements' texts as the
  // session keeps them and their stream texts as the backend runs them
  // (empty: the text cannot be run; that lookup is never streamed).
  struct Planned {
    std::string_view statement;  // the session's copy, compared by address
    std::string backendStream;
    int keys = 1;
    int orderValues = 0;
  };
  LookupStreams(std::vector<Planned> lookups, std::span<const SqlBind> cursorInputs);
  ~LookupStreams();
  LookupStreams(const LookupStreams&) = delete;
  LookupStreams& operator=(const LookupStreams&) = delete;

  // Notes the key of a row the cursor delivered (its first column).
  void Delivered(const SqlValue& key);

  // How well the stream of `statement` fits asking it for `key` now: -1 it
  // cannot answer it; 0 it holds the key's rows; 1 they come next; 2 the
  // stream is still to be run; 3 it must pass rows of other keys first
  // (which its own cursor's readers may still want). The session asks the
  // cursor that fits best.
  int Fit(std::string_view statement, std::string_view key) const;

  // The answer of `statement` with these inputs from its stream: rows that
  // give what the statement would give, or null when the stream cannot say
  // it for certain (the caller then runs the statement).
  std::unique_ptr<SqlRows> Answer(SqlBackend& backend, std::string_view statement,
                                  std::span<const SqlBind> inputs);

  // Answers given from streams so far.
  int64_t Answered() const { return answered_; }

 private:
  struct Stream;
  Stream* Find(std::string_view statement) const;
  bool WasDelivered(std::string_view key) const;
  std::vector<std::unique_ptr<Stream>> streams_;
  // The cursor's inputs, as the streams bind them.
  std::vector<std::string> inputTexts_;
  std::vector<SqlBind> inputs_;
  // Keys the cursor delivered, ascending; the oldest go when there are many.
  std::deque<std::string> delivered_;
  int64_t answered_ = 0;
};

}  // namespace zx
