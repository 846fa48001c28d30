#include "base/config_cipher.h"

#include <cstdint>
#include <cstring>

namespace zx {
namespace {

// Zeroes memory through a volatile pointer, so the stores are kept even when
// the memory is not read again.
void Wipe(void* data, std::size_t size) {
  volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) p[i] = 0;
}

// The cipher's key-dependent tables for one call, on the caller's stack;
// wiped when the call ends, so no key-dependent state outlives it.
class KeyedContext {
 public:
  explicit KeyedContext(const char* key) {
    const char* k = key != nullptr ? key : "";
    BlowfishInit(context_, reinterpret_cast<const unsigned char*>(k), std::strlen(k));
  }
  ~KeyedContext() { Wipe(&context_, sizeof context_); }
  KeyedContext(const KeyedContext&) = delete;
  KeyedContext& operator=(const KeyedContext&) = delete;
  const BlowfishContext& get() const { return context_; }

 private:
  BlowfishContext context_{};
};

std::uint32_t ReadLittleEndian(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void WriteLittleEndian(std::uint32_t word, unsigned char* bytes) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(word >> (8 * i));
}

int HexValue(char c) {
  const int code = static_cast<unsigned char>(c);
  return (c >= 'A' && c <= 'F') ? code - 55 : code - 48;
}

}  // namespace

void HexToBytes(const char* hexText, std::size_t n, unsigned char* output) {
  for (std::size_t i = 0; i + 1 < n; i += 2) {
    output[i / 2] = static_cast<unsigned char>((16 * HexValue(hexText[i]) + HexValue(hexText[i + 1])) & 0xFF);
  }
}

int DecryptConfigValue(const char* hexText, char* output, std::size_t outputSize, const char* key) {
  const std::size_t length = hexText != nullptr ? std::strlen(hexText) : 0;
  const std::size_t blocks = (length + 15) / 16;
  if (output == nullptr || outputSize < 8 * blocks + 1) {
    if (output != nullptr && outputSize > 0) output[0] = '\0';
    return 0;
  }

  const KeyedContext context(key);
  char digits[16];
  unsigned char bytes[8];
  for (std::size_t block = 0; block < blocks; ++block) {
    const std::size_t offset = 16 * block;
    // The last block of a text that ends early is completed with '0'.
    const std::size_t available = length - offset < 16 ? length - offset : 16;
    std::memset(digits, '0', sizeof digits);
    std::memcpy(digits, hexText + offset, available);
    HexToBytes(digits, sizeof digits, bytes);
    std::uint32_t left = ReadLittleEndian(bytes);
    std::uint32_t right = ReadLittleEndian(bytes + 4);
    BlowfishDecrypt(context.get(), left, right);
    WriteLittleEndian(left, reinterpret_cast<unsigned char*>(output) + offset / 2);
    WriteLittleEndian(right, reinterpret_cast<unsigned char*>(output) + offset / 2 + 4);
    Wipe(&left, sizeof left);
    Wipe(&right, sizeof right);
  }
  output[8 * blocks] = '\0';

  Wipe(bytes, sizeof bytes);
  return 1;
}

std::string EncryptConfigValue(std::string_view plainText, const char* key) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const std::size_t blocks = (plainText.size() + 7) / 8;
  std::string hex;
  hex.reserve(16 * blocks);

  const KeyedContext context(key);
  unsigned char bytes[8];
  for (std::size_t block = 0; block < blocks; ++block) {
    const std::size_t offset = 8 * block;
    const std::size_t available = plainText.size() - offset < 8 ? plainText.size() - offset : 8;
    std::memset(bytes, 0, sizeof bytes);
    std::memcpy(bytes, plainText.data() + offset, available);
    std::uint32_t left = ReadLittleEndian(bytes);
    std::uint32_t right = ReadLittleEndian(bytes + 4);
    BlowfishEncrypt(context.get(), left, right);
    WriteLittleEndian(left, bytes);
    WriteLittleEndian(right, bytes + 4);
    for (unsigned char byte : bytes) {
      hex.push_back(kDigits[byte >> 4]);
      hex.push_back(kDigits[byte & 0x0F]);
    }
  }
  Wipe(bytes, sizeof bytes);
  return hex;
}

}  // namespace zx
