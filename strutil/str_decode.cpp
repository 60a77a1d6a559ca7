#include "str_decode.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base64.h"
#include "strutil.h"

using platform::OwnedCString;

namespace {

// Value of a hexadecimal digit, or -1, by one look-up. Not
// locale-dependent.
constexpr auto kHexValues = [] {
  std::array<signed char, 256> values{};
  values.fill(-1);
  for (int i = 0; i < 10; ++i)
    values['0' + i] = static_cast<signed char>(i);
  for (int i = 0; i < 6; ++i) {
    values['A' + i] = static_cast<signed char>(10 + i);
    values['a' + i] = static_cast<signed char>(10 + i);
  }
  return values;
}();

int hexValue(char c) {
  return kHexValues[static_cast<unsigned char>(c)];
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

// Decodes text into out, which has room for its length, and gives the
// decoded length.
std::size_t decodeQprintInto(std::string_view text, char* out) noexcept {
  const std::size_t length = text.size();
  std::size_t written = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == '=') {
      // A missing digit reads as the terminator, whose hexValue is -1: the
      // second digit is only read when the first one exists.
      const int high = i + 1 < length ? hexValue(text[i + 1]) : -1;
      const int low = high < 0 || i + 2 >= length ? -1 : hexValue(text[i + 2]);
      if (low >= 0) {
        out[written++] = static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out[written++] = text[i];
  }
  return written;
}

}  // namespace

char* QprintDecode(const char* text) noexcept {
  if (text == nullptr) return nullptr;
  const std::size_t length = std::strlen(text);
  OwnedCString result(static_cast<char*>(std::malloc(length + 1)));
  if (!result) return nullptr;
  const std::size_t decoded = decodeQprintInto({text, length}, result.get());
  return shrinkToFit(std::move(result), decoded);
}

void strutil::appendQprintDecoded(std::string_view text, std::string* out) {
  const std::size_t start = out->size();
  out->resize(start + text.size());
  const std::size_t decoded = decodeQprintInto(text, out->data() + start);
  // The C form's text ends at a decoded zero byte.
  const std::size_t zero = std::string_view(out->data() + start, decoded).find('\0');
  out->resize(start + (zero == std::string_view::npos ? decoded : zero));
}

void strutil::appendBase64Decoded(std::string_view text, std::string* out) {
  // Groups of four as the codec decodes them once "=" reads as "A" (the
  // digit 0) and a short last group is filled up the same way.
  std::string digits;
  digits.reserve(text.size() + 3);
  for (const char c : text) {
    if (c == '=') {
      digits.push_back('A');
    } else if (strutil::isBase64Digit(c)) {
      digits.push_back(c);
    }
  }
  digits.append((4 - digits.size() % 4) % 4, 'A');
  const std::string bytes = strutil::decodeBase64(digits);
  // The C form's text ends at a decoded zero byte.
  out->append(std::string_view(bytes).substr(0, bytes.find('\0')));
}

char* Base64Decode(const char* text) noexcept {
  if (text == nullptr) return nullptr;
  try {
    std::string bytes;
    strutil::appendBase64Decoded(text, &bytes);
    return platform::copyToCString(bytes).release();
  } catch (...) {
    // The C form's contract: null when memory is exhausted.
    return nullptr;
  }
}
