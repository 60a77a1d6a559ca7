#include "str_decode.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "strutil.h"

using platform::OwnedCString;

namespace {

// Value of a hexadecimal digit, or -1. Not locale-dependent.
int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The pad character sits at position 64 of the alphabet and so counts as 0.
constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";

// Values of the alphabet's characters by 7-bit code; -1 for the rest.
constexpr std::array<std::int8_t, 128> makeBase64Table() {
  std::array<std::int8_t, 128> table{};
  for (auto& entry : table)
    entry = -1;
  for (std::size_t i = 0; i < kBase64Alphabet.size(); ++i) {
    table[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<std::int8_t>(i % 64);
  }
  return table;
}
constexpr std::array<std::int8_t, 128> kBase64Table = makeBase64Table();

int base64Value(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code < kBase64Table.size() ? kBase64Table[code] : -1;
}

// The decoded text never outgrows its first estimate; hand out a block that
// fits it exactly, keeping the larger one if shrinking fails.
char* shrinkToFit(OwnedCString block, std::size_t length) {
  block.get()[length] = '\0';
  char* fitted = static_cast<char*>(std::realloc(block.get(), length + 1));
  if (fitted == nullptr) return block.release();
  static_cast<void>(block.release());
  return fitted;
}

}  // namespace

char* QprintDecode(const char* text) noexcept {
  if (text == nullptr) return nullptr;
  const std::size_t length = std::strlen(text);
  OwnedCString result(static_cast<char*>(std::malloc(length + 1)));
  if (!result) return nullptr;
  std::size_t out = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == '=') {
      // hexValue of the terminator is -1, so the second digit is only read
      // when the first one exists.
      const int high = hexValue(text[i + 1]);
      const int low = high < 0 ? -1 : hexValue(text[i + 2]);
      if (low >= 0) {
        result.get()[out++] = static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    result.get()[out++] = text[i];
  }
  return shrinkToFit(std::move(result), out);
}

char* Base64Decode(const char* text) noexcept {
  if (text == nullptr) return nullptr;
  const std::size_t length = std::strlen(text);
  // At most three bytes per started group of four characters.
  OwnedCString result(static_cast<char*>(std::malloc((length + 3) / 4 * 3 + 1)));
  if (!result) return nullptr;
  std::size_t out = 0;
  std::array<unsigned, 4> group{};
  std::size_t filled = 0;
  auto flush = [&] {
    result.get()[out++] = static_cast<char>((group[0] << 2 | group[1] >> 4) & 0xFF);
    result.get()[out++] = static_cast<char>((group[1] << 4 | group[2] >> 2) & 0xFF);
    result.get()[out++] = static_cast<char>((group[2] << 6 | group[3]) & 0xFF);
    group = {};
    filled = 0;
  };
  for (std::size_t i = 0; i < length; ++i) {
    const int value = base64Value(text[i]);
    if (value < 0) continue;  // line breaks, spaces and other junk
    group[filled++] = static_cast<unsigned>(value);
    if (filled == 4) flush();
  }
  // A short last group reads as if padded with "=", which counts as 0.
  if (filled > 0) flush();
  return shrinkToFit(std::move(result), out);
}
