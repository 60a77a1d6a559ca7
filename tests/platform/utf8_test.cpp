// The hand-written UTF-8 routines against ICU as the reference: every answer
// must be the one ICU's own conversion gives, over every code point and over
// systematic sets of ill-formed sequences.
#include <gtest/gtest.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "param_names.h"
#include "utf8.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

// ICU's strict reading of UTF-8: nothing for an ill-formed text.
std::optional<std::u16string> icuUTF16(std::string_view utf8) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8(nullptr, 0, &length, utf8.data(), static_cast<int32_t>(utf8.size()), &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
  status = U_ZERO_ERROR;
  std::u16string units(static_cast<std::size_t>(length), u'\0');
  u_strFromUTF8(units.data(), length, nullptr, utf8.data(), static_cast<int32_t>(utf8.size()),
                &status);
  if (U_FAILURE(status)) return std::nullopt;
  return units;
}

std::string littleEndianBytes(const std::u16string& units) {
  std::string bytes;
  for (const char16_t u : units) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
  }
  return bytes;
}

// ICU's UTF-8 for a code point.
std::string icuUTF8(char32_t c) {
  char bytes[4];
  int32_t length = 0;
  UBool error = false;
  U8_APPEND(bytes, length, 4, static_cast<UChar32>(c), error);
  return error ? std::string() : std::string(bytes, static_cast<std::size_t>(length));
}

std::string hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
    out += ' ';
  }
  return out;
}

// Every one- and two-byte text, and every three-byte text whose bytes come
// from the values where the UTF-8 rules change: the places where a validator
// goes wrong.
std::vector<std::string> systematicTexts() {
  std::vector<std::string> texts;
  for (int a = 0; a < 256; ++a) {
    texts.push_back(std::string(1, static_cast<char>(a)));
    for (int b = 0; b < 256; ++b)
      texts.push_back({static_cast<char>(a), static_cast<char>(b)});
  }
  const int edges[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0,
                       0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xE3, 0xE9, 0xEC, 0xED, 0xEE,
                       0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xF8, 0xFE, 0xFF};
  for (int a : edges)
    for (int b : edges)
      for (int c : edges) {
        texts.push_back({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)});
        for (int d : {0x41, 0x80, 0xBF, 0xC0})
          texts.push_back({static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                           static_cast<char>(d)});
      }
  return texts;
}

// Random texts mostly of characters, with damage here and there, long enough
// to cross the eight-byte steps of the fast paths.
std::vector<std::string> randomTexts() {
  std::mt19937 random(20240607);
  std::vector<std::string> texts;
  const char32_t samples[] = {U'a',      U'~',      U'\u00E9', U'\u0800',     U'\u3042',
                              U'\u6F22', U'\uFF76', U'\uFFFD', U'\U0001F600', U'\U0010FFFF'};
  for (int n = 0; n < 3000; ++n) {
    std::string text;
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i)
      text += icuUTF8(samples[random() % std::size(samples)]);
    if (!text.empty() && random() % 2 == 0) {
      text[random() % text.size()] = static_cast<char>(random() % 256);
    }
    texts.push_back(text);
  }
  return texts;
}

class UTF8AgainstICU : public testing::TestWithParam<const char*> {
 protected:
  static std::vector<std::string> texts(std::string_view set) {
    return set == "systematic" ? systematicTexts() : randomTexts();
  }
};

TEST_P(UTF8AgainstICU, ValidatesAsICUReads) {
  for (const std::string& text : texts(GetParam())) {
    ASSERT_EQ(utf::validateUTF8(text), icuUTF16(text).has_value()) << hex(text);
  }
}

TEST_P(UTF8AgainstICU, ConvertsToUTF16LEAsICUOrAppendsNothing) {
  for (const std::string& text : texts(GetParam())) {
    std::string out = "kept";
    const bool ok = utf::convertUTF8ToUTF16LE(text, &out);
    const auto reference = icuUTF16(text);
    ASSERT_EQ(ok, reference.has_value()) << hex(text);
    ASSERT_EQ(out, "kept" + (reference ? littleEndianBytes(*reference) : "")) << hex(text);
  }
}

// ASCII runs of every length up to 40 with one other piece at every place:
// a kana or a run of them, a character outside the BMP, a byte that is not
// UTF-8, and three-byte forms that are not characters (overlong, surrogate,
// cut short after a run).
TEST(UTF8AgainstICUASCIIRuns, ConvertsToUTF16LEAsICU) {
  for (const std::string piece :
       {"\u3042", "\u3042\u30A2\uFF71\u0800", "\U0001F600", "\xFF", "\xE3\x81",
        "\xE0\x9F\xBF", "\xED\xA0\x80", "\uD7FF\uE000", "\u3042\xE3\x81"}) {
    for (std::size_t length = 0; length <= 40; ++length) {
      for (std::size_t at = 0; at <= length; ++at) {
        std::string text(length, 'x');
        for (std::size_t i = 0; i < length; ++i)
          text[i] = static_cast<char>(' ' + (i * 7) % 95);
        text.insert(at, piece);
        std::string out;
        const bool ok = utf::convertUTF8ToUTF16LE(text, &out);
        const auto reference = icuUTF16(text);
        ASSERT_EQ(ok, reference.has_value()) << hex(text);
        ASSERT_EQ(out, reference ? littleEndianBytes(*reference) : "") << hex(text);
      }
    }
  }
}

TEST_P(UTF8AgainstICU, RecognisesASCIIOrUncasedJapaneseByCodePoint) {
  for (const std::string& text : texts(GetParam())) {
    bool expected = icuUTF16(text).has_value();
    for (std::size_t i = 0; expected && i < text.size();) {
      UChar32 c;
      U8_NEXT(text.data(), i, text.size(), c);
      expected = c < 0x80 || (c >= 0x3000 && c <= 0x9FFF) || (c >= 0xFF61 && c <= 0xFF9F);
    }
    ASSERT_EQ(utf::isASCIIOrUncasedJapanese(text), expected) << hex(text);
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, UTF8AgainstICU, testing::Values("systematic", "random"),
                         [](const auto& param) { return std::string(param.param); });

TEST(UTF8CodePoints, EncodeAndDecodeEveryScalarValueAsICU) {
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::string reference = icuUTF8(c);
    std::string encoded;
    utf::appendCodePointAsUTF8(c, &encoded);
    ASSERT_EQ(encoded, reference) << "U+" << std::hex << static_cast<std::uint32_t>(c);
    ASSERT_EQ(static_cast<std::uint32_t>(utf::decodeValidUTF8CodePoint(reference.c_str())),
              static_cast<std::uint32_t>(c));
  }
}

// The UTF-16 side: ICU writes a lone surrogate as U+FFFD too.
std::string icuUTF8OfUnits(const std::u16string& units) {
  std::string out;
  icu::UnicodeString(units.data(), static_cast<int32_t>(units.size())).toUTF8String(out);
  return out;
}

std::string replacingConversion(const std::u16string& units) {
  std::string out(3 * units.size(), '\0');
  out.resize(utf::convertUTF16ToUTF8WithReplacement(units.data(), units.size(), out.data()));
  return out;
}

TEST(UTF16ToUTF8, EveryUnitAloneAndAmongASCIIAsICU) {
  for (char32_t u = 0; u <= 0xFFFF; ++u) {
    const auto unit = static_cast<char16_t>(u);
    for (const std::u16string& units :
         {std::u16string(1, unit), u"abcd" + std::u16string(1, unit) + u"efgh"}) {
      ASSERT_EQ(replacingConversion(units), icuUTF8OfUnits(units))
          << "unit " << std::hex << static_cast<std::uint32_t>(u);
    }
  }
}

TEST(UTF16ToUTF8, SurrogatesPairedAndAloneAsICU) {
  std::mt19937 random(7);
  const char16_t pool[] = {u'a',   u'\u00E9', u'\u3042', 0xD800, 0xDBFF,
                           0xDC00, 0xDFFF,    0xD83D,    0xDE00};
  for (int n = 0; n < 20000; ++n) {
    std::u16string units;
    const int count = static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i)
      units.push_back(pool[random() % std::size(pool)]);
    ASSERT_EQ(replacingConversion(units), icuUTF8OfUnits(units)) << "case " << n;
  }
}

struct ByteCase {
  const char* name;
  std::string bytes;
  bool ascii;
  bool cjkLead;
};

const ByteCase kByteCases[] = {
    {"Empty", "", true, false},
    {"ShortASCII", "BEGIN", true, false},
    {"HighBitInFirstWord",
     "ab\xC3\xA9"
     "cdefghij",
     false, false},
    {"HighBitAfterTwoWords", "abcdefghijklmnop\x80", false, false},
    {"LastByteOfAWord", "abcdefg\xFF", false, false},
    {"Hiragana", "\xE3\x81\x82", false, true},
    {"KanjiLeadE9", "x\xE9\xBE\xA0", false, true},
    {"LeadE2IsNoCJK", "\xE2\x80\x94", false, false},
    {"LeadEAIsNoCJK", "\xEA\xB0\x80", false, false},
};

class ByteClassTest : public testing::TestWithParam<ByteCase> {};

TEST_P(ByteClassTest, ClassifiesTheBytes) {
  const ByteCase& c = GetParam();
  EXPECT_EQ(utf::isASCII(c.bytes), c.ascii);
  EXPECT_EQ(utf::containsCJKLeadByte(c.bytes), c.cjkLead);
}

INSTANTIATE_TEST_SUITE_P(Bytes, ByteClassTest, testing::ValuesIn(kByteCases), CaseName());

// The word-at-a-time ASCII test at every start and length of a buffer with
// one high byte anywhere.
TEST(ASCIIAlignment, EveryOffsetAndLength) {
  std::string buffer(40, 'a');
  for (std::size_t high = 0; high < buffer.size(); ++high) {
    buffer[high] = '\x80';
    for (std::size_t start = 0; start < buffer.size(); ++start) {
      for (std::size_t length = 0; start + length <= buffer.size(); ++length) {
        const bool expected = high < start || high >= start + length;
        ASSERT_EQ(utf::isASCII(std::string_view(buffer).substr(start, length)), expected)
            << start << "+" << length << " high at " << high;
      }
    }
    buffer[high] = 'a';
  }
}

}  // namespace
