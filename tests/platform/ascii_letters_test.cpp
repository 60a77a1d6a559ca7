// ASCII letter case: only a-z change, so a word that is not ASCII (UTF-8,
// or a byte above 0x7F) never matches an ASCII one.
#include "ascii_letters.h"
#include "byte_scan.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "param_names.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

struct CaseCase {
  std::string_view name;
  std::string_view text;
  std::string_view upper;  // upperASCII(text)
  std::string_view word;   // compared with asciiUpperEquals
  bool equals;
};

const CaseCase kCaseCases[] = {
    {"Empty", "", "", "", true},
    {"LowerWord", "begin", "BEGIN", "BEGIN", true},
    {"MixedWord", "vCard", "VCARD", "VCARD", true},
    {"DigitsAndPunctuationKept", "x-9_a=b;", "X-9_A=B;", "X-9_A=B;", true},
    {"LettersBesideTheRange", "`az{@AZ[", "`AZ{@AZ[", "`AZ{@AZ[", true},
    {"LongerText", "charsetx", "CHARSETX", "CHARSET", false},
    {"ShorterText", "charse", "CHARSE", "CHARSET", false},
    {"WordNotUpperCase", "begin", "BEGIN", "begin", false},
    // "ｂｅｇｉｎ" in full-width letters: UTF-8 bytes are kept.
    {"FullWidthLettersKept", "\xEF\xBD\x82\xEF\xBD\x85", "\xEF\xBD\x82\xEF\xBD\x85", "BE", false},
    // "é" (C3 A9): no ASCII upper case, and not "E".
    {"AccentedLetterKept", "\xC3\xA9", "\xC3\xA9", "E", false},
    {"HighByteKept", "a\xE1", "A\xE1", "A\xC1", false},
};

class AsciiLettersTest : public testing::TestWithParam<CaseCase> {};

TEST_P(AsciiLettersTest, UpperCasesOnlyASCIILetters) {
  const CaseCase& c = GetParam();
  EXPECT_EQ(platform::upperASCII(c.text), c.upper);
  EXPECT_EQ(platform::asciiUpperEquals(c.text, c.word), c.equals);
  for (std::size_t i = 0; i < c.text.size(); ++i)
    EXPECT_EQ(platform::asciiUpper(c.text[i]), c.upper[i]) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Cases, AsciiLettersTest, testing::ValuesIn(kCaseCases), CaseName());

static_assert(platform::asciiUpperEquals("end", "END"));

}  // namespace

// The delimiter searches against the standard ones: every length up to 40,
// the wanted bytes at every place (none, one, both, a high byte), so that
// each block of sixteen and each tail is met.
TEST(ByteScanTest, FindsWhatTheStandardSearchFinds) {
  for (std::size_t length = 0; length <= 40; ++length) {
    for (std::size_t at = 0; at <= length; ++at) {
      for (const char wanted : {';', ':', '\xEF', 'x'}) {
        std::string text(length, 'a');
        for (std::size_t i = 0; i < length; ++i)
          text[i] = static_cast<char>('A' + i % 26);
        if (at < length) text[at] = wanted;
        if (at + 3 < length) text[at + 3] = ';';
        const char* begin = text.data();
        const char* end = begin + text.size();
        const std::string_view view(text);
        auto place = [&](std::size_t found) { return found == view.npos ? end : begin + found; };
        ASSERT_EQ(platform::findByte(begin, end, wanted), place(view.find(wanted))) << text;
        ASSERT_EQ(platform::findEither(begin, end, ';', ':'), place(view.find_first_of(";:")))
            << text;
        ASSERT_EQ(platform::findByteInLong(begin, end, wanted), place(view.find(wanted))) << text;
        ASSERT_EQ(platform::findEitherInLong(begin, end, ';', wanted),
                  place(view.find_first_of(std::string{';', wanted})))
            << text;
      }
    }
  }
}

// The word-at-a-time test the searches use where there are no vectors (the
// page's WebAssembly): it marks exactly the bytes equal to the one wanted,
// whatever their neighbours, borrows and high bits included.
TEST(ByteScanTest, WordsMarkExactlyTheEqualBytes) {
  const unsigned char kBytes[] = {0x00, 0x01, 0x3B, 0x7F, 0x80, 0x81, 0xF0, 0xFF};
  for (const unsigned char background : kBytes) {
    for (const unsigned char wanted : kBytes) {
      for (std::size_t at = 0; at < 8; ++at) {
        char bytes[8];
        std::memset(bytes, static_cast<char>(background), sizeof bytes);
        bytes[at] = static_cast<char>(wanted);
        const std::uint64_t marks =
            platform::words::bytesEqual(platform::words::load(bytes), static_cast<char>(wanted));
        std::size_t first = 8;
        for (std::size_t k = 0; k < 8; ++k) {
          if (static_cast<unsigned char>(bytes[k]) == wanted && first == 8) first = k;
        }
        ASSERT_NE(marks, 0u);
        EXPECT_EQ(platform::words::firstMarked(marks), first)
            << int(background) << " " << int(wanted) << " " << at;
        EXPECT_EQ(std::popcount(marks), background == wanted ? 8 : 1);
      }
    }
  }
}
