// RKTextConverter's decoding and encoding by an encoding guess.
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

namespace {

// The Shift_JIS flavour that sjisVariant selects.
platform::Encoding shiftJISEncoding(std::int32_t sjisVariant) {
  return platform::convertCFEncoding(sjisVariant == 1 ? platform::cf::DOSJapanese
                                                      : platform::cf::MacJapanese);
}

}  // namespace

namespace {

// How a guess is realised: the platform encoding and the byte-order mark of
// the kind. UTF-16 and UTF-32 without a byte order have no encoding.
struct Realisation {
  std::optional<platform::Encoding> encoding;
  std::string_view mark;
};

Realisation realise(const RKEncodingInfo& info) {
  const bool big = info.byteOrder == RKByteOrderBigEndian;
  const bool little = info.byteOrder == RKByteOrderLittleEndian;
  using std::string_view_literals::operator""sv;
  switch (info.encoding) {
    case RKTextEncodingShiftJIS:
      return {shiftJISEncoding(info.sjisVariant), {}};
    case RKTextEncodingISO2022JP:
      return {platform::Encoding::ISO2022JP, {}};
    case RKTextEncodingEUCJP:
      return {platform::Encoding::EUCJP, {}};
    case RKTextEncodingUTF8:
      return {platform::Encoding::UTF8, "\xEF\xBB\xBF"sv};
    case RKTextEncodingUTF16:
      if (big) return {platform::Encoding::UTF16BE, "\xFE\xFF"sv};
      if (little) return {platform::Encoding::UTF16LE, "\xFF\xFE"sv};
      return {std::nullopt, {}};
    case RKTextEncodingUTF32:
      if (big) return {platform::Encoding::UTF32BE, "\x00\x00\xFE\xFF"sv};
      if (little) return {platform::Encoding::UTF32LE, "\xFF\xFE\x00\x00"sv};
      return {std::nullopt, {}};
    default:
      return {platform::Encoding::MacOSRoman, {}};
  }
}

}  // namespace

std::optional<icu::UnicodeString> RKTextConverter::stringWithData(const std::string* data,
                                                                  RKEncodingInfo info) {
  if (data == nullptr) return std::nullopt;
  const Realisation how = realise(info);
  if (!how.encoding) return std::nullopt;
  // The skipped bytes are taken on trust as the mark; data shorter than the
  // mark decodes as empty rather than reading past its end.
  const std::size_t skip = std::min(info.hasBOM ? how.mark.size() : 0, data->size());
  return platform::decode(data->data() + skip, data->size() - skip, *how.encoding);
}

std::optional<std::string> RKTextConverter::dataWithString(const icu::UnicodeString* string,
                                                           RKEncodingInfo info) {
  if (string == nullptr) return std::nullopt;
  const Realisation how = realise(info);
  // Without a byte order, UTF-16 and UTF-32 text is written as Mac OS Roman.
  const platform::Encoding encoding = how.encoding.value_or(platform::Encoding::MacOSRoman);
  std::optional<std::string> bytes = platform::encode(*string, encoding);
  if (!bytes) bytes = platform::encodeLossy(*string, encoding);
  if (!bytes) return std::nullopt;  // only for an encoding the platform lacks
  if (info.hasBOM && how.encoding && !how.mark.empty()) return std::string(how.mark) + *bytes;
  return bytes;
}
