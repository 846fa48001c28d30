// The cursor over the badges valid today (badge table joined with badge use),
// restricted to the terminal's assignments when the terminal has any.
#pragma once

#include <array>
#include <cstdint>

#include "queries/badge_lookups.h"
#include "queries/badge_record.h"
#include "queries/terminal_params.h"
#include "sql/session.h"

namespace zx {

// One badge cursor: the form it was opened in and the terminal it reads for.
struct BadgeCursor {
  SqlCursor rows;
  SqlSession* session = nullptr;  // the session it was opened on
  bool filtered = false;  // the terminal-filtered (assigned-badges) form
  std::array<char, 256> terminalName{};
};

// Opens the terminal-filtered form when terminal.TfzCount > 0, else the
// unfiltered form, naming the lookups the caller makes for each badge
// (queries/badge_lookups.h). Returns the code of the OPEN.
int32_t OpenBadgeCursor(SqlSession& session, BadgeCursor& cursor, const TerminalParams& terminal,
                        const BadgeLookups& lookups = {});

// Fetches the next row into `record` (which the caller has cleared).
// 0: a row was delivered; 1403: no more rows; other: SQL error (-1001 when
// the cursor is not open). On a non-zero result the record is left
// unchanged. A badge number longer than AswNum holds is delivered with 0 and
// LongAswNum set (AswNum then holds its first 50 characters and must not be
// written). Likewise an AswBkl longer than 5 characters is delivered in
// LongAswBkl (AswBkl empty), an AswPin longer than 32 sets AswPinTooLong
// (AswPin empty), an AswSal longer than 10 is delivered in LongAswSal
// (AswSal empty) and an AwvSto that is not eight digits at most in
// LongAwvSto (AwvSto empty). A row with a value the program cannot hold
// (-29275 from the FETCH) is delivered with 0 and UnrepresentableColumn
// naming the column; such a row must not be written.
int32_t FetchBadge(BadgeCursor& cursor, BadgeRecord& record);

// Closes the cursor; returns the code of the CLOSE.
int32_t CloseBadgeCursor(BadgeCursor& cursor);

// Where a run's badge rows come from when another reader than the run's own
// cursor gives them (a scan that several jobs of one session share). It
// gives the rows, codes and end that the run's own cursor would give.
class BadgeFeed {
 public:
  virtual ~BadgeFeed() = default;
  // As OpenBadgeCursor.
  virtual int32_t Open(const TerminalParams& terminal, const BadgeLookups& lookups) = 0;
  // As FetchBadge.
  virtual int32_t Fetch(BadgeRecord& record) = 0;
  // As CloseBadgeCursor.
  virtual int32_t Close() = 0;
};

// AswSpr holds its decimal text in 4 characters. A delivered row whose
// AswSpr does not fit (below -999 or above 9999) has an empty AswSpr, which
// no other row has (NULL gives "1"); a writer that prints AswSpr leaves such
// a row out and names it in a message instead of writing a cut number.

}  // namespace zx
