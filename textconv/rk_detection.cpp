// RKTextConverter's encoding detection: byte-order marks first, then the
// byte patterns of UTF-8, UTF-16/32 and the Japanese encodings.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform.h"
#include "rk_text_converter.h"
#include "rk_text_converter_p.h"

namespace {

constexpr unsigned char kEscape = 0x1B;

using rk_detail::inRange;

// Moves the scan to the next byte.
void advance(RKEncodingDetectionWorkingStruct* ws) {
  ++ws->index;
  ++ws->current;
}

// Bytes left from the current one on, itself included. Comparing offsets
// against this instead of adding them to the index cannot wrap around.
std::uint32_t remaining(const RKEncodingDetectionWorkingStruct* ws) {
  return ws->dataLength - ws->index;
}

}  // namespace

RKEncodingInfo RKTextConverter::encodingInfoOfTextData(const std::string* data) {
  RKEncodingDetectionWorkingStruct ws{};
  if (data == nullptr) return ws.info;

  ws.start = reinterpret_cast<const unsigned char*>(data->data());
  ws.current = ws.start;
  ws.index = 0;
  // Lengths are 32-bit; a larger buffer is judged by its first 4 GiB rather
  // than by a wrapped-around length.
  ws.dataLength = static_cast<std::uint32_t>(
      std::min<std::size_t>(data->size(), std::numeric_limits<std::uint32_t>::max()));

  if (detectEncodingInfoWithBOM(&ws)) return ws.info;

  while (ws.index < ws.dataLength) {
    const unsigned char byte = *ws.current;

    // Only the lead byte is consumed here: the continuation bytes still go
    // through the tests below, which is what lets 0x80-0x9F settle the scan.
    if (!ws.notUTF8 && checkUTF8Features(&ws)) {
      advance(&ws);
      continue;
    }

    if (checkUTFnFeatures(&ws)) return ws.info;

    if (byte == kEscape && remaining(&ws) > 2) {
      const unsigned char first = ws.current[1];
      const unsigned char second = ws.current[2];
      if (first == 0x24 && (second == 0x42 || second == 0x40)) {  // ESC $ B, ESC $ @
        ws.info.encoding = RKTextEncodingISO2022JP;
        return ws.info;
      }
      if (first == 0x28 && (second == 0x4A || second == 0x42)) {  // ESC ( J, ESC ( B
        ++ws.jisEscapeCount;
        advance(&ws);
        continue;
      }
    }

    // C1 bytes never occur in EUC-JP or ISO-2022-JP: a Shift_JIS lead byte or
    // a UTF-8 continuation byte. Only a zero run can still change the answer.
    if (inRange(byte, 0x80, 0x8D) || inRange(byte, 0x90, 0x9F)) {
      while (ws.index < ws.dataLength) {
        // Only a zero byte can answer; jump from one to the next.
        const void* zero = std::memchr(ws.current, 0x00, remaining(&ws));
        if (zero == nullptr) break;
        const auto skipped =
            static_cast<std::uint32_t>(static_cast<const unsigned char*>(zero) - ws.current);
        ws.index += skipped;
        ws.current += skipped;
        if (checkUTFnFeatures(&ws)) return ws.info;
        advance(&ws);
      }
      ws.info.encoding = ws.utf8Count > 0 ? RKTextEncodingUTF8 : RKTextEncodingShiftJIS;
      return ws.info;
    }

    if (isIncludedInASCII(byte) || isIncludedInJISX0201Roman(byte)) {
      advance(&ws);
      continue;
    }

    // 0x8E, 0x8F (EUC-JP single shifts) or 0xA0-0xFF.
    if (inRange(byte, 0xA1, 0xFE)) {
      if (remaining(&ws) > 1 && inRange(ws.current[1], 0xA1, 0xFE)) ++ws.eucCount;
    } else {
      ++ws.eucCount;
    }
    advance(&ws);
  }

  if (ws.jisEscapeCount == 0 && ws.eucCount == 0) {
    ws.info.encoding = RKTextEncodingUndetermined;
  } else if (ws.utf8Count > ws.jisEscapeCount && ws.utf8Count > ws.eucCount) {
    ws.info.encoding = RKTextEncodingUTF8;
  } else if (ws.jisEscapeCount > 0) {
    ws.info.encoding = RKTextEncodingISO2022JP;
  } else {
    ws.info.encoding = RKTextEncodingEUCJP;
  }
  return ws.info;
}

bool RKTextConverter::detectEncodingInfoWithBOM(RKEncodingDetectionWorkingStruct* ws) {
  if (ws == nullptr || ws->start == nullptr || ws->dataLength < 2) return false;
  const unsigned char* s = ws->start;
  const std::uint32_t length = ws->dataLength;
  RKEncodingInfo& info = ws->info;

  if (length >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF) {
    info.encoding = RKTextEncodingUTF8;
    info.hasBOM = true;
    return true;
  }
  if (s[0] == 0xFE && s[1] == 0xFF) {
    info.encoding = RKTextEncodingUTF16;
    info.byteOrder = RKByteOrderBigEndian;
    info.hasBOM = true;
    return true;
  }
  if (s[0] == 0xFF && s[1] == 0xFE) {
    // FF FE 00 00 is read as the UTF-32 mark, although it could also be the
    // UTF-16 mark followed by U+0000.
    const bool utf32 = length >= 4 && s[2] == 0x00 && s[3] == 0x00;
    info.encoding = utf32 ? RKTextEncodingUTF32 : RKTextEncodingUTF16;
    info.byteOrder = RKByteOrderLittleEndian;
    info.hasBOM = true;
    return true;
  }
  if (length >= 4 && s[0] == 0x00 && s[1] == 0x00 && s[2] == 0xFE && s[3] == 0xFF) {
    info.encoding = RKTextEncodingUTF32;
    info.byteOrder = RKByteOrderBigEndian;
    info.hasBOM = true;
    return true;
  }
  return false;
}

bool RKTextConverter::checkUTF8Features(RKEncodingDetectionWorkingStruct* ws) {
  if (ws == nullptr || ws->current == nullptr || ws->index >= ws->dataLength) return false;
  const unsigned char lead = *ws->current;

  auto notUTF8 = [ws] {
    ws->notUTF8 = 1;
    ws->utf8Count = 0;
    return false;
  };

  if (lead == 0xFE || lead == 0xFF) return notUTF8();

  std::uint32_t ones = 0;
  while (ones < 6 && (lead & (0x80u >> ones)) != 0)
    ++ones;
  if (ones <= 1) return false;  // a single-byte character or a continuation byte

  // Only the shape is checked: overlong forms, surrogates and the old five-
  // and six-byte forms pass.
  const std::uint32_t left = remaining(ws);
  for (std::uint32_t k = 1; k < ones; ++k) {
    if (k >= left || (ws->current[k] & 0xC0) != 0x80) return notUTF8();
  }
  ++ws->utf8Count;
  return true;
}

bool RKTextConverter::checkUTFnFeatures(RKEncodingDetectionWorkingStruct* ws) {
  if (ws == nullptr || ws->current == nullptr || ws->index >= ws->dataLength) return false;
  if (*ws->current != 0x00) return false;

  const std::uint32_t left = remaining(ws);
  const std::uint32_t index = ws->index;
  RKEncodingInfo& info = ws->info;

  // Plain text has no zero bytes; two in a row only appear in UTF-32, where
  // the high bytes of a character come first in big-endian order.
  if (left >= 2 && ws->current[1] == 0x00) {
    info.encoding = RKTextEncodingUTF32;
    info.byteOrder = index % 4 == 0 ? RKByteOrderBigEndian : RKByteOrderLittleEndian;
    return true;
  }

  const bool utf16 = index % 4 == 1 || index % 4 == 2 || ws->dataLength % 4 != 0 ||
                     (left > 3 && (ws->current[2] == 0x00 || ws->current[3] == 0x00));
  if (!utf16) return false;
  info.encoding = RKTextEncodingUTF16;
  info.byteOrder = index % 2 == 0 ? RKByteOrderBigEndian : RKByteOrderLittleEndian;
  return true;
}

bool RKTextConverter::isIncludedInASCII(unsigned char c) const {
  return c <= 0x20 || c == 0x7F;
}

bool RKTextConverter::isIncludedInJISX0201Roman(unsigned char c) const {
  return c >= 0x21 && c <= 0x7E;
}
