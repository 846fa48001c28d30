// The configuration value cipher: hexadecimal conversion, the program's
// little-endian reading of the block halves, output bounds and the wipe of
// the shared context.
#include "base/config_cipher.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

namespace zx {
namespace {

std::string Decrypt(const std::string& hex) {
  std::string output(hex.size() + 16, 'X');
  EXPECT_EQ(DecryptConfigValue(hex.c_str(), output.data(), output.size(), kConfigCipherKey), 1) << hex;
  return output.c_str();
}

TEST(HexToBytes, CapitalsAreDigitsAndEveryOtherCharacterCountsFrom48) {
  const struct {
    const char* pair;
    unsigned expected;
  } cases[] = {
      {"0A", 0x0A}, {"FF", 0xFF}, {"90", 0x90}, {"0a", 0x31}, {"ff", 0x96}, {"7G", 0x87}, {"  ", 0xF0},
  };
  for (const auto& c : cases) {
    unsigned char bytes[2] = {0xEE, 0xEE};
    HexToBytes(c.pair, 2, bytes);
    EXPECT_EQ(bytes[0], c.expected) << c.pair;
    EXPECT_EQ(bytes[1], 0xEE) << c.pair;
  }
  unsigned char bytes[3] = {0xEE, 0xEE, 0xEE};
  HexToBytes("12345", 5, bytes);  // an odd count converts whole pairs only
  EXPECT_EQ(bytes[0], 0x12);
  EXPECT_EQ(bytes[1], 0x34);
  EXPECT_EQ(bytes[2], 0xEE);
}

TEST(ConfigCipher, RoundTrips) {
  const std::string cases[] = {
      "", "a", "scott", "exactly8", "nine char", "tiger tiger tiger", std::string(96, 'z'), "\xe4\xf1 ;\n\r!",
  };
  for (const auto& plain : cases) {
    const std::string hex = EncryptConfigValue(plain);
    EXPECT_EQ(hex.size(), (plain.size() + 7) / 8 * 16) << plain;
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << plain << " -> " << hex;
    EXPECT_EQ(Decrypt(hex), plain) << hex;
  }
}

// The program reads each half of a block little-endian. Swapping the bytes of
// each half on the way in and out turns that into the standard big-endian
// reading, which the published vectors have proved.
TEST(ConfigCipher, ReadsTheHalvesLittleEndian) {
  const char* const blocks[] = {"0123456789ABCDEF", "FEDCBA9876543210", "49081E01D91AE535"};
  for (const char* block : blocks) {
    unsigned char in[8];
    HexToBytes(block, 16, in);
    BlowfishContext context;
    BlowfishInit(context, reinterpret_cast<const unsigned char*>("KALDOVA"), 7);
    std::uint32_t left = static_cast<std::uint32_t>(in[3]) << 24 | static_cast<std::uint32_t>(in[2]) << 16 |
                         static_cast<std::uint32_t>(in[1]) << 8 | in[0];
    std::uint32_t right = static_cast<std::uint32_t>(in[7]) << 24 | static_cast<std::uint32_t>(in[6]) << 16 |
                          static_cast<std::uint32_t>(in[5]) << 8 | in[4];
    BlowfishDecrypt(context, left, right);
    const unsigned char expected[9] = {
        static_cast<unsigned char>(left),        static_cast<unsigned char>(left >> 8),
        static_cast<unsigned char>(left >> 16),  static_cast<unsigned char>(left >> 24),
        static_cast<unsigned char>(right),       static_cast<unsigned char>(right >> 8),
        static_cast<unsigned char>(right >> 16), static_cast<unsigned char>(right >> 24), 0};

    // The same block read big-endian deciphers to other bytes.
    std::uint32_t bigLeft = static_cast<std::uint32_t>(in[0]) << 24 | static_cast<std::uint32_t>(in[1]) << 16 |
                            static_cast<std::uint32_t>(in[2]) << 8 | in[3];
    std::uint32_t bigRight = static_cast<std::uint32_t>(in[4]) << 24 | static_cast<std::uint32_t>(in[5]) << 16 |
                             static_cast<std::uint32_t>(in[6]) << 8 | in[7];
    BlowfishDecrypt(context, bigLeft, bigRight);
    EXPECT_FALSE(bigLeft == left && bigRight == right) << block;

    char output[9];
    ASSERT_EQ(DecryptConfigValue(block, output, sizeof output, kConfigCipherKey), 1);
    EXPECT_EQ(std::memcmp(output, expected, sizeof output), 0) << block;
  }
}

TEST(ConfigCipher, EqualBlocksGiveEqualOutputAndCaseMatters) {
  const std::string block = "0123456789ABCDEF";
  char output[17 + 4];
  std::memset(output, 'X', sizeof output);
  ASSERT_EQ(DecryptConfigValue((block + block).c_str(), output, 17, kConfigCipherKey), 1);
  EXPECT_EQ(std::memcmp(output, output + 8, 8), 0);  // code book: no chaining
  EXPECT_EQ(output[16], '\0');
  EXPECT_EQ(std::memcmp(output + 17, "XXXX", 4), 0);

  const std::string capital = EncryptConfigValue("scott");
  std::string lower = capital;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_NE(lower, capital);
  EXPECT_NE(Decrypt(lower), "scott");

  EXPECT_EQ(EncryptConfigValue("ABCDEFGHABCDEFGH").substr(0, 16), EncryptConfigValue("ABCDEFGHABCDEFGH").substr(16));
}

TEST(ConfigCipher, ShortTextsAndSmallOutputs) {
  // An empty text gives an empty value.
  char output[20];
  std::memset(output, 'X', sizeof output);
  EXPECT_EQ(DecryptConfigValue("", output, 1, kConfigCipherKey), 1);
  EXPECT_EQ(output[0], '\0');
  EXPECT_EQ(output[1], 'X');

  // A last block that ends early is completed with '0', nothing more is read.
  const std::string full = "ABCD000000000000";
  std::string shortText = "ABCD";
  EXPECT_EQ(Decrypt(shortText), Decrypt(full));
  std::memset(output, 'X', sizeof output);
  EXPECT_EQ(DecryptConfigValue("ABCD", output, 9, kConfigCipherKey), 1);
  EXPECT_EQ(output[8], '\0');

  // 16 digits give at most 8 characters; an output short of 8 per block and
  // the terminator is refused, not overrun.
  std::memset(output, 'X', sizeof output);
  EXPECT_EQ(DecryptConfigValue(full.c_str(), output, 8, kConfigCipherKey), 0);
  EXPECT_EQ(output[0], '\0');
  for (int i = 1; i < 20; ++i) EXPECT_EQ(output[i], 'X') << i;
  EXPECT_EQ(DecryptConfigValue((full + full).c_str(), output, 16, kConfigCipherKey), 0);
}

}  // namespace
}  // namespace zx
