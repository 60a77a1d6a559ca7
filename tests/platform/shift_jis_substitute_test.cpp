// Shift_JIS decoding with substitutes for codes of the user-defined area and
// the IBM extensions: the substitute's text replaces exactly the codes it
// answers, on character boundaries, and everything else decodes as ICU does.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "param_names.h"
#include "platform.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

struct SubstituteCase {
  std::string name;
  std::string bytes;
  bool lossy;
  std::optional<std::string> expected;  // UTF-8; nothing: refused
  std::vector<std::uint16_t> asked;     // the codes offered to the substitute, in order
};

// The substitute of every case: F89F and FB41 have a text, F040 has none.
std::string_view substituteFor(std::uint16_t code) {
  if (code == 0xF89F) return "<sun>";
  if (code == 0xFB41) return "<face>";
  return {};
}

const SubstituteCase kSubstituteCases[] = {
    // 山 F89F 太
    {"CodeBetweenKanji", "\x8E\x52\xF8\x9F\x91\xBE", false, "山<sun>太", {0xF89F}},
    // F040 has no substitute: ICU's private-use character U+E000 stays.
    {"UnansweredCodeDecodesAsBefore", "a\xF0\x40z", false, "a\uE000z", {0xF040}},
    // FB41 is an IBM extension kanji unless substituted first.
    {"IbmExtensionRowSubstituted", "\xFB\x41", false, "<face>", {0xFB41}},
    // 引 (88 F8) 檗 (9F 40): F8 9F inside them is no code.
    {"TrailByteIsNoLead", "\x88\xF8\x9F\x40", false, "引檗", {}},
    // Half-width katakana ｱ (B1) is one byte: the code after it is whole.
    {"AfterHalfWidthKatakana", "\xB1\xF8\x9F", false, "ｱ<sun>", {0xF89F}},
    {"CodesBackToBack", "\xF8\x9F\xF8\x9F", false, "<sun><sun>", {0xF89F, 0xF89F}},
    // A0 is no Shift_JIS byte: strict refuses, lossy writes U+FFFD.
    {"InvalidByteStrict", "\xA0\xF8\x9F", false, std::nullopt, {0xF89F}},
    {"InvalidByteLossy", "\xA0\xF8\x9F", true, "\uFFFD<sun>", {0xF89F}},
    // A lead byte at the very end has no trail to pair with.
    {"LoneLeadAtEndLossy", "\xF8\x9F\xF8", true, "<sun>\uFFFD", {0xF89F}},
    {"Empty", "", false, "", {}},
};

class ShiftJISSubstituteTest : public testing::TestWithParam<SubstituteCase> {};

TEST_P(ShiftJISSubstituteTest, ReplacesAnsweredCodesOnly) {
  const SubstituteCase& c = GetParam();
  std::vector<std::uint16_t> asked;
  const std::optional<std::string> decoded = platform::decodeShiftJISToUTF8(
      c.bytes,
      [&asked](std::uint16_t code) {
        asked.push_back(code);
        return substituteFor(code);
      },
      c.lossy);
  EXPECT_EQ(decoded, c.expected);
  EXPECT_EQ(asked, c.asked);
}

INSTANTIATE_TEST_SUITE_P(Platform, ShiftJISSubstituteTest, testing::ValuesIn(kSubstituteCases),
                         CaseName());

TEST(ShiftJISNoSubstituteTest, EqualsThePlainDecoding) {
  // Every lead byte F0-FC with a few trail bytes, between ordinary text.
  std::string bytes = "\x8E\x52";
  for (unsigned lead = 0xF0; lead <= 0xFC; ++lead) {
    for (const unsigned trail : {0x40u, 0x7Eu, 0x80u, 0x9Fu, 0xFCu}) {
      bytes += static_cast<char>(lead);
      bytes += static_cast<char>(trail);
      bytes += "a";
    }
  }
  const auto none = [](std::uint16_t) { return std::string_view(); };
  EXPECT_EQ(platform::decodeShiftJISToUTF8(bytes, none, true),
            platform::toUTF8(
                platform::decodeLossy(bytes.data(), bytes.size(), platform::Encoding::ShiftJIS)));
}

}  // namespace
