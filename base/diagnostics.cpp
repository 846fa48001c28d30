#include "base/diagnostics.h"

#include <cstdarg>
#include <vector>

#include "base/text_utils.h"

namespace zx {

namespace {

// The text printf would write; messages of any length are kept whole.
std::string Format(const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return {};
  if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, static_cast<std::size_t>(n));
  std::vector<char> large(static_cast<std::size_t>(n) + 1);
  std::vsnprintf(large.data(), large.size(), format, args);
  return std::string(large.data(), static_cast<std::size_t>(n));
}

}  // namespace

void Diagnostics::Emit(std::FILE* file, std::string* captured, std::string_view bytes) {
  if (captured != nullptr) {
    captured->append(bytes);
  } else if (file != nullptr && !bytes.empty()) {
    // A stream that cannot take the message (closed, or a pipe whose reader
    // has gone) loses it; the run goes on.
    std::fwrite(bytes.data(), 1, bytes.size(), file);
  }
}

void Diagnostics::Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Format(format, args);
  va_end(args);
  Emit(messages_, capturedMessages_, text);
}

void Diagnostics::Detail(const char* format, ...) {
  if (!verbose_) return;
  va_list args;
  va_start(args, format);
  const std::string text = Format(format, args);
  va_end(args);
  Emit(messages_, capturedMessages_, text);
}

void Diagnostics::Write(std::string_view bytes) { Emit(messages_, capturedMessages_, bytes); }

void Diagnostics::Reason(const char* format, ...) {
  va_list args;
  va_start(args, format);
  // One line of printable text, whatever bytes a name or value brought.
  std::string text = "zeprink: " + PrintableLine(Format(format, args));
  va_end(args);
  text += '\n';
  // The reason belongs after the messages that led to it.
  if (messages_ != nullptr) std::fflush(messages_);
  Emit(reasons_, capturedReasons_, text);
  if (reasonCopy_ != nullptr) reasonCopy_->append(text);
  if (reasons_ != nullptr) std::fflush(reasons_);
}

void Diagnostics::Flush() {
  if (messages_ != nullptr) std::fflush(messages_);
  if (reasons_ != nullptr) std::fflush(reasons_);
}

}  // namespace zx
