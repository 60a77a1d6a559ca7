#include "base64.h"

#include <array>
#include <cstdint>

namespace strutil {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Values of the alphabet's characters by byte; -1 for every other byte.
constexpr std::array<std::int8_t, 256> makeDigits() {
  std::array<std::int8_t, 256> digits{};
  for (auto& digit : digits)
    digit = -1;
  for (std::size_t i = 0; i < kAlphabet.size(); ++i)
    digits[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  return digits;
}
constexpr std::array<std::int8_t, 256> kDigits = makeDigits();

}  // namespace

bool isBase64Digit(char c) noexcept {
  return kDigits[static_cast<unsigned char>(c)] >= 0;
}

std::string decodeBase64(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  unsigned bits = 0;
  int count = 0;
  for (const char c : text) {
    const int digit = kDigits[static_cast<unsigned char>(c)];
    if (digit < 0) continue;
    bits = (bits << 6) | static_cast<unsigned>(digit);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return bytes;
}

void appendBase64(std::string_view bytes, std::string* out) {
  out->reserve(out->size() + (bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  auto byte = [&bytes](std::size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(bytes[at]));
  };
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned group = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
    for (int shift = 18; shift >= 0; shift -= 6)
      out->push_back(kAlphabet[(group >> shift) & 0x3F]);
  }
  if (i < bytes.size()) {
    const bool two = i + 1 < bytes.size();
    const unsigned group = byte(i) << 16 | (two ? byte(i + 1) << 8 : 0U);
    out->push_back(kAlphabet[(group >> 18) & 0x3F]);
    out->push_back(kAlphabet[(group >> 12) & 0x3F]);
    out->push_back(two ? kAlphabet[(group >> 6) & 0x3F] : '=');
    out->push_back('=');
  }
}

}  // namespace strutil
