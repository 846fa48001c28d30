#include "base/blowfish.h"

#include <cstring>
#include <utility>

#include "base/blowfish_tables.h"

namespace zx {

void BlowfishInit(BlowfishContext& context, const unsigned char* key, std::size_t keyLength) {
  std::memcpy(context.S, kBlowfishInitialS, sizeof context.S);

  // The key position runs on from word to word and wraps at the key's end.
  std::size_t position = 0;
  for (int i = 0; i < 18; ++i) {
    std::uint32_t word = 0;
    for (int k = 0; k < 4; ++k) {
      word <<= 8;
      if (keyLength > 0) {
        word |= key[position];
        position = (position + 1) % keyLength;
      }
    }
    context.P[i] = kBlowfishInitialP[i] ^ word;
  }

  // Each encipherment sees the words stored by the ones before it.
  std::uint32_t left = 0;
  std::uint32_t right = 0;
  for (int i = 0; i < 18; i += 2) {
    BlowfishEncrypt(context, left, right);
    context.P[i] = left;
    context.P[i + 1] = right;
  }
  for (auto& box : context.S) {
    for (int j = 0; j < 256; j += 2) {
      BlowfishEncrypt(context, left, right);
      box[j] = left;
      box[j + 1] = right;
    }
  }
}

std::uint32_t BlowfishF(const BlowfishContext& context, std::uint32_t x) {
  const std::uint32_t a = (x >> 24) & 0xFF;
  const std::uint32_t b = (x >> 16) & 0xFF;
  const std::uint32_t c = (x >> 8) & 0xFF;
  const std::uint32_t d = x & 0xFF;
  return ((context.S[0][a] + context.S[1][b]) ^ context.S[2][c]) + context.S[3][d];
}

void BlowfishEncrypt(const BlowfishContext& context, std::uint32_t& left, std::uint32_t& right) {
  for (int i = 0; i < 16; ++i) {
    left ^= context.P[i];
    right ^= BlowfishF(context, left);
    std::swap(left, right);
  }
  std::swap(left, right);
  right ^= context.P[16];
  left ^= context.P[17];
}

void BlowfishDecrypt(const BlowfishContext& context, std::uint32_t& left, std::uint32_t& right) {
  for (int i = 17; i > 1; --i) {
    left ^= context.P[i];
    right ^= BlowfishF(context, left);
    std::swap(left, right);
  }
  std::swap(left, right);
  right ^= context.P[1];
  left ^= context.P[0];
}

}  // namespace zx
