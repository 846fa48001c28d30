// Encipherment of the configuration values: Blowfish in electronic code book
// mode over blocks of 8 bytes, each block's halves read little-endian (byte 0
// is the least significant byte of the left half, byte 4 of the right half),
// stored as hexadecimal text, two digits a byte, the high digit first.
//
// Each call keeps the cipher's key-dependent tables on its own stack and
// wipes them before it returns, so calls may overlap and nothing of a key
// outlives a call.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/blowfish.h"

namespace zx {

// The fixed key of the configuration file's values.
inline constexpr char kConfigCipherKey[] = "KALDOVA";

// Converts n / 2 (rounded down) pairs of characters into as many bytes. A
// character's value is its code minus 55 for the capitals A..F and its code
// minus 48 for every other character, so only digits and capitals are
// hexadecimal here: the pair "0a" gives the byte 0x31. The byte is
// (16 * first + second) modulo 256. Reads n characters, writes n / 2 bytes.
void HexToBytes(const char* hexText, std::size_t n, unsigned char* output);

// Deciphers the hexadecimal text `hexText` under `key` into `output`: 8 bytes
// a block of 16 characters, then a zero byte after the last block, so the
// value is the text up to the first zero byte. An empty text gives an empty
// output. A text whose length is not a multiple of 16 has its last block
// completed with '0' characters; nothing beyond the text is read.
// Returns 1. Returns 0 and leaves the output empty (when it has room for the
// terminator at all) when `outputSize` is below 8 * blocks + 1 bytes, which
// (length of the text + 1) always covers for texts of whole blocks; nothing
// is ever written beyond outputSize bytes.
int DecryptConfigValue(const char* hexText, char* output, std::size_t outputSize, const char* key);

// Enciphers `plainText` the way DecryptConfigValue deciphers it: zero bytes
// complete the last block, the hexadecimal digits are capitals. The empty
// text gives the empty text. A plain text holding a zero byte would read back
// only up to it; callers refuse such texts.
std::string EncryptConfigValue(std::string_view plainText, const char* key = kConfigCipherKey);

}  // namespace zx
