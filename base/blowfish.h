// The Blowfish block cipher on two 32-bit halves: key schedule, round
// function, one-block encipherment and decipherment. How the bytes of a block
// become the two halves is the caller's business (config_cipher.h).
#pragma once

#include <cstddef>
#include <cstdint>

namespace zx {

struct BlowfishContext {
  std::uint32_t P[18];
  std::uint32_t S[4][256];
};

// Key schedule: starts from the initial tables, mixes the key bytes (taken
// cyclically, the first of four in the most significant place) into the
// P-array and replaces P and S by successive encipherments of a zero block.
// Only the first 72 key bytes can take effect; an empty key mixes in nothing.
void BlowfishInit(BlowfishContext& context, const unsigned char* key, std::size_t keyLength);

// The round function: ((S1[a] + S2[b]) ^ S3[c]) + S4[d], with a the most
// significant byte of x and d the least significant one.
std::uint32_t BlowfishF(const BlowfishContext& context, std::uint32_t x);

// Enciphers / deciphers one block given as its two halves, in place.
void BlowfishEncrypt(const BlowfishContext& context, std::uint32_t& left, std::uint32_t& right);
void BlowfishDecrypt(const BlowfishContext& context, std::uint32_t& left, std::uint32_t& right);

}  // namespace zx
