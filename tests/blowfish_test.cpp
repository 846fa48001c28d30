// The cipher on its own: the initial tables against the digits of pi, and the
// standard algorithm against published test vectors. The published vectors
// read each half of a block big-endian; that reading is a layer of these
// tests only (the program reads its halves little-endian, config_cipher).
#include "base/blowfish.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "base/blowfish_tables.h"

namespace zx {
namespace {

std::vector<unsigned char> FromHex(const std::string& hex) {
  std::vector<unsigned char> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::string ToHex(std::uint32_t left, std::uint32_t right) {
  char text[17];
  std::snprintf(text, sizeof text, "%08X%08X", static_cast<unsigned>(left), static_cast<unsigned>(right));
  return text;
}

std::uint32_t BigEndianWord(const std::vector<unsigned char>& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) << 24 | static_cast<std::uint32_t>(bytes[at + 1]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

TEST(BlowfishTables, StartAndEndWithThePublishedWords) {
  EXPECT_EQ(kBlowfishInitialP[0], 0x243F6A88u);
  EXPECT_EQ(kBlowfishInitialP[1], 0x85A308D3u);
  EXPECT_EQ(kBlowfishInitialP[17], 0x8979FB1Bu);
  EXPECT_EQ(kBlowfishInitialS[0], 0xD1310BA6u);
  EXPECT_EQ(kBlowfishInitialS[1023], 0x3AC372E6u);
}

// 16^e mod m.
double PowerOf16Mod(std::uint64_t e, std::uint64_t m) {
  std::uint64_t result = 1 % m;
  std::uint64_t base = 16 % m;
  for (; e > 0; e >>= 1) {
    if (e & 1) result = result * base % m;
    base = base * base % m;
  }
  return static_cast<double>(result);
}

// Fractional part of sum over k of 16^(n-k) / (8k + j) (digit extraction).
double BbpSeries(std::uint64_t n, std::uint64_t j) {
  double sum = 0;
  for (std::uint64_t k = 0; k <= n; ++k) {
    const std::uint64_t m = 8 * k + j;
    sum += PowerOf16Mod(n - k, m) / static_cast<double>(m);
    sum -= std::floor(sum);
  }
  for (std::uint64_t k = n + 1; k <= n + 20; ++k) {
    sum += std::pow(16.0, static_cast<double>(n) - static_cast<double>(k)) / static_cast<double>(8 * k + j);
  }
  return sum - std::floor(sum);
}

// The hexadecimal digits n+1 ... of pi's fraction, as a fraction in [0, 1).
double PiHexFraction(std::uint64_t n) {
  double x = 4 * BbpSeries(n, 1) - 2 * BbpSeries(n, 4) - BbpSeries(n, 5) - BbpSeries(n, 6);
  x -= std::floor(x);
  return x;
}

// Every word of both tables, checked against the Bailey-Borwein-Plouffe digit
// extraction of pi, a method independent of the generator's arithmetic. The
// double precision settles the leading digits of each word; the comparison
// allows for the last three.
TEST(BlowfishTables, EveryWordHoldsTheDigitsOfPi) {
  for (int i = 0; i < 18 + 1024; ++i) {
    const std::uint32_t word = i < 18 ? kBlowfishInitialP[i] : kBlowfishInitialS[i - 18];
    const double expected = PiHexFraction(8 * static_cast<std::uint64_t>(i)) * 4294967296.0;
    double difference = std::fabs(expected - static_cast<double>(word));
    difference = std::fmin(difference, 4294967296.0 - difference);  // across the wrap at 2^32
    EXPECT_LT(difference, 4096.0) << "word " << i << " is " << std::hex << word;
  }
}

TEST(Blowfish, MatchesPublishedVectors) {
  // Key, plain text, cipher text (Eric Young's table), halves big-endian.
  const struct {
    const char* key;
    const char* plain;
    const char* cipher;
  } cases[] = {
      {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
      {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
      {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
      {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
      {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
      {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
      {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
      {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
      {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
      {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
      {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
      {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
      {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
      {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
      {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
      {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
      {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
      // A key of 24 bytes.
      {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "05044B62FA52D080"},
  };
  for (const auto& c : cases) {
    const std::vector<unsigned char> key = FromHex(c.key);
    const std::vector<unsigned char> plain = FromHex(c.plain);
    BlowfishContext context;
    BlowfishInit(context, key.data(), key.size());
    std::uint32_t left = BigEndianWord(plain, 0);
    std::uint32_t right = BigEndianWord(plain, 4);
    BlowfishEncrypt(context, left, right);
    EXPECT_EQ(ToHex(left, right), c.cipher) << "key " << c.key << " plain " << c.plain;
    BlowfishDecrypt(context, left, right);
    EXPECT_EQ(ToHex(left, right), c.plain) << "key " << c.key << " cipher " << c.cipher;
  }
}

}  // namespace
}  // namespace zx
