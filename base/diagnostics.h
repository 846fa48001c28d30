// The run's messages for the people and programs that read them. The
// system's own lines (German, Windows-1252, byte for byte as schedulers and
// scripts expect them) go to the message stream: standard output for a
// program run, a string for a test. Diagnostic lines appear only while the
// verbose flag (option "/d") is set. Reasons for people go to a separate
// stream (standard error) as "zeprink: ..." lines.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace zx {

class Diagnostics {
 public:
  // Messages to `messages`, reasons to `reasons` (either may be null: lost).
  explicit Diagnostics(std::FILE* messages = stdout, std::FILE* reasons = stderr,
                       bool verbose = false)
      : messages_(messages), reasons_(reasons), verbose_(verbose) {}
  // Messages and reasons collected in strings, for tests.
  Diagnostics(std::string* messages, std::string* reasons, bool verbose = false)
      : capturedMessages_(messages), capturedReasons_(reasons), verbose_(verbose) {}
  // Messages to a file, reasons collected in a string.
  Diagnostics(std::FILE* messages, std::string* reasons, bool verbose)
      : messages_(messages), capturedReasons_(reasons), verbose_(verbose) {}

  bool Verbose() const { return verbose_; }
  // Every later reason line is also appended to `*copy` (null: no copy).
  void CopyReasonsTo(std::string* copy) { reasonCopy_ = copy; }
  void SetVerbose(bool verbose) { verbose_ = verbose; }

  // A message of the system, formatted as printf formats it.
  void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // A diagnostic line: printed only while verbose.
  void Detail(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Bytes as they are.
  void Write(std::string_view bytes);
  // One line "zeprink: <text>" on the reason stream.
  void Reason(const char* format, ...) __attribute__((format(printf, 2, 3)));

  void Flush();

 private:
  void Emit(std::FILE* file, std::string* captured, std::string_view bytes);

  std::FILE* messages_ = nullptr;
  std::FILE* reasons_ = nullptr;
  std::string* capturedMessages_ = nullptr;
  std::string* capturedReasons_ = nullptr;
  std::string* reasonCopy_ = nullptr;
  bool verbose_ = false;
};

}  // namespace zx
