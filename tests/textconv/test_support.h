// Helpers shared by the converter's tests.
#pragma once

#include <gtest/gtest.h>
#include <unicode/unistr.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "rk_text_converter.h"

namespace textconv_test {

// Byte-order shorthands for the tables.
inline constexpr std::int32_t kLE = RKByteOrderLittleEndian;
inline constexpr std::int32_t kBE = RKByteOrderBigEndian;

// "EF BB BF" -> the three bytes; spaces are ignored.
inline std::string bytes(std::string_view hex) {
  std::string out;
  int high = -1;
  for (char c : hex) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      continue;
    }
    if (high < 0) {
      high = digit;
    } else {
      out.push_back(static_cast<char>(high * 16 + digit));
      high = -1;
    }
  }
  return out;
}

// The bytes back as "EF BB BF", for readable failure messages.
inline std::string hex(std::string_view data) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : data) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 0xF]);
  }
  return out;
}

inline icu::UnicodeString text(std::u16string_view units) {
  return icu::UnicodeString(units.data(), static_cast<std::int32_t>(units.size()));
}

// The text's units as "U+0041 U+000D", for readable failure messages.
inline std::string units(const icu::UnicodeString& s) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (std::int32_t i = 0; i < s.length(); ++i) {
    const char16_t u = s.charAt(i);
    if (!out.empty()) out.push_back(' ');
    out += "U+";
    for (int shift = 12; shift >= 0; shift -= 4)
      out.push_back(kDigits[(u >> shift) & 0xF]);
  }
  return out;
}

inline RKEncodingInfo info(std::int32_t encoding, std::int32_t byteOrder = 0, bool hasBOM = false,
                           std::int32_t sjisVariant = 0) {
  return RKEncodingInfo{encoding, byteOrder, hasBOM, sjisVariant};
}

// A working struct over the data, positioned at index, as the scan would be.
inline RKEncodingDetectionWorkingStruct workingStruct(const std::string& data,
                                                      std::uint32_t index) {
  RKEncodingDetectionWorkingStruct ws{};
  ws.start = reinterpret_cast<const unsigned char*>(data.data());
  ws.dataLength = static_cast<std::uint32_t>(data.size());
  ws.index = index;
  ws.current = ws.start + index;
  return ws;
}

}  // namespace textconv_test
