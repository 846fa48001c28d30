// Writers run in the process, for what the end-to-end runs cannot bring
// about (a DNL file whose k-th write fails): badge rows for a test database,
// a terminal read as the run driver reads it, and a writer run with its own
// run context: the records go to a buffer, the messages to a string.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "queries/terminal_params.h"
#include "sql/session.h"
#include "writers/run_context.h"

namespace zx::test {

// A DNL sink that keeps the bytes; from the `failAtWrite`-th write on (counted
// from 1, 0: never) every write fails as on a full disk.
class StringSink final : public DnlSink {
 public:
  explicit StringSink(std::string path = "test.dnl", int failAtWrite = 0)
      : path_(std::move(path)), failAtWrite_(failAtWrite) {}
  bool Write(std::string_view bytes) override;
  const std::string& Path() const override { return path_; }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string path_;
  std::string bytes_;
  int failAtWrite_ = 0;
  int writes_ = 0;
};

// INSERTs for the badges `numbers`: each valid since 2000-01-01, of person
// "P", with the one access class `accessClass`.
std::string BadgeRowsWithClass(std::initializer_list<const char*> numbers,
                               std::string_view accessClass);

// The parameters of terminal `name`, completed by ReadTerminal from the
// connected database as the run driver does.
TerminalParams ReadTestTerminal(SqlSession& session, const char* name);

// What a writer returned, printed and wrote.
struct WriterRun {
  int result = 0;
  std::string out;  // the message stream
  std::string dnl;  // the records
};

using Writer = int (*)(RunContext&, const TerminalParams&);

// Runs `writer` for `terminal` on `session` into `sink`; with `badges`, the
// writer reads its badge rows from that feed instead of its own cursor.
WriterRun RunWriter(Writer writer, SqlSession& session, const TerminalParams& terminal,
                    StringSink& sink, bool verbose = false, BadgeFeed* badges = nullptr);

}  // namespace zx::test
