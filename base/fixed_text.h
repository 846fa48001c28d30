// Bounded helpers for the fixed-width, NUL-terminated text fields of the
// program's records. A field of width N holds at most N - 1 bytes and its
// terminator; every copy goes through these helpers.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace zx {

// The text of a field up to its terminator (or its whole width when the
// field holds no terminator, as the '0'-filled terminal fields may).
template <std::size_t N>
std::string_view FieldText(const std::array<char, N>& field) {
  const void* end = std::memchr(field.data(), '\0', N);
  return std::string_view(field.data(), end ? static_cast<const char*>(end) - field.data() : N);
}

// Stores `text` into the field, cut to N - 1 bytes, and terminates it.
// Returns false when the text had to be cut.
template <std::size_t N>
bool SetField(std::array<char, N>& field, std::string_view text) {
  static_assert(N > 0);
  const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
  if (n > 0) std::memcpy(field.data(), text.data(), n);
  field[n] = '\0';
  return n == text.size();
}

template <std::size_t N>
void ClearField(std::array<char, N>& field) {
  field.fill('\0');
}

}  // namespace zx
