#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "param_names.h"
#include "strutil.h"

using platform::OwnedCString;

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

struct DecodeCase {
  std::string_view name;
  const char* input;
  std::string_view expected;  // the decoded text up to its terminator
};

// --- Quoted-printable -----------------------------------------------------------------

class QprintDecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(QprintDecodeTest, DecodesEscapes) {
  const DecodeCase& c = GetParam();
  const std::string before = c.input;
  const OwnedCString result(QprintDecode(c.input));
  ASSERT_NE(result, nullptr);
  EXPECT_NE(result.get(), c.input);
  EXPECT_EQ(std::string_view(result.get()), c.expected);
  EXPECT_EQ(before, c.input);  // the argument is not modified
  // The appending form gives the same bytes after what is there.
  std::string appended = "head";
  strutil::appendQprintDecoded(c.input, &appended);
  EXPECT_EQ(appended, "head" + std::string(c.expected));
}

const DecodeCase kQprintCases[] = {
    {"ShiftJISBytes", "=82=A0=82=A2", "\x82\xA0\x82\xA2"},  // あい in Shift_JIS
    {"EscapedEquals", "abc=3Ddef", "abc=def"},
    {"CrLf", "a=0D=0Ab", "a\r\nb"},
    {"LowerCaseDigits", "=3d", "="},
    {"MixedCaseDigits", "=e3=81=82", "\xE3\x81\x82"},  // あ in UTF-8
    {"NoEscape", "plain text_with\tblanks", "plain text_with\tblanks"},
    {"Empty", "", ""},
    {"EqualsAtEnd", "abc=", "abc="},
    {"EqualsAndOneDigitAtEnd", "abc=4", "abc=4"},
    {"EqualsAndOneHexBeforeNonHex", "=4G", "=4G"},
    {"EqualsBeforeNonHex", "a=ZZb", "a=ZZb"},
    {"DoubleEquals", "==41", "=A"},
    {"LoneEqualsOnly", "=", "="},
    {"ZeroByteEndsText", "ab=00cd", "ab"},
    {"HighBytes", "=FF=80", "\xFF\x80"},
};
INSTANTIATE_TEST_SUITE_P(Texts, QprintDecodeTest, testing::ValuesIn(kQprintCases), CaseName());

TEST(QprintDecodeBoundsTest, NeverReadsPastTheTerminator) {
  // The text sits at the very end of its own block, so a read past the
  // terminator is caught by the address sanitizer.
  for (const std::string_view tail : {"=", "=A", "x=", "x=4"}) {
    SCOPED_TRACE(tail);
    const OwnedCString exact(StrAlloc(std::string(tail).c_str()));
    ASSERT_NE(exact, nullptr);
    const OwnedCString result(QprintDecode(exact.get()));
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(std::string_view(result.get()), tail);
  }
}

// --- Base64 ----------------------------------------------------------------------------------

class Base64DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(Base64DecodeTest, DecodesGroupsOfFour) {
  const DecodeCase& c = GetParam();
  const OwnedCString result(Base64Decode(c.input));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(std::string_view(result.get()), c.expected);
}

const DecodeCase kBase64Cases[] = {
    {"ThreeBytes", "QUJD", "ABC"},
    {"TwoPads", "QQ==", "A"},
    {"OnePad", "QUI=", "AB"},
    {"Empty", "", ""},
    {"TwoGroups", "QUJDREVG", "ABCDEF"},
    {"AllSymbols", "+/+/", "\xFB\xFF\xBF"},
    {"Utf8Text", "5bGx55Sw", "山田"},
    {"LineBreaksSkipped", "QUJD\r\nREVG", "ABCDEF"},
    {"SpacesSkipped", " Q U J D ", "ABC"},
    {"JunkSkipped", "Q*U!J@D", "ABC"},
    {"HighBytesSkipped", "QU\xC3\xA9JD", "ABC"},
    {"ShortGroupReadsAsPadded", "QUJDRA", "ABCD"},
    {"SingleCharacter", "Q", "@"},
    {"OnlyJunk", "\r\n!*", ""},
    {"PadInsideEndsText", "QQ==QUJD", "A"},
};
INSTANTIATE_TEST_SUITE_P(Texts, Base64DecodeTest, testing::ValuesIn(kBase64Cases), CaseName());

TEST(Base64DecodeTest, AgreesWithAnEncoderOverAllByteValues) {
  // Every byte 1..255 encoded by a plain reference encoder decodes back.
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string raw;
  for (int b = 1; b < 256; ++b)
    raw += static_cast<char>(b);
  std::string encoded;
  for (std::size_t i = 0; i < raw.size(); i += 3) {
    unsigned value = 0;
    const std::size_t n = std::min<std::size_t>(3, raw.size() - i);
    for (std::size_t k = 0; k < 3; ++k) {
      value = value << 8 | (k < n ? static_cast<unsigned char>(raw[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      encoded += k <= n ? kAlphabet[(value >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  const OwnedCString result(Base64Decode(encoded.c_str()));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(std::string(result.get()), raw);
}

}  // namespace
