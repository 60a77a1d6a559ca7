// Direct decoding into UTF-8 against decoding to UTF-16 and converting, and
// the word-at-a-time UTF-8 check against the byte rules, at every alignment.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "param_names.h"
#include "platform.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using platform::Encoding;

std::optional<std::string> throughUnicode(std::string_view bytes, Encoding encoding) {
  const auto text = platform::decode(bytes, encoding);
  if (!text) return std::nullopt;
  return platform::toUTF8(*text);
}

std::string repeat(std::string_view piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i)
    out += piece;
  return out;
}

struct DirectCase {
  const char* name;
  std::string bytes;
  Encoding encoding;
  bool ok;
};

const DirectCase kDirectCases[] = {
    {"Empty", "", Encoding::ShiftJIS, true},
    {"AsciiLine", "BEGIN:VCARD\r\n", Encoding::ShiftJIS, true},
    {"KanjiAndHalfwidth", "N:\x8E\x52\x93\x63;\xD4\xCF\xC0\xDE", Encoding::ShiftJIS, true},
    {"UserDefinedArea", "\xF0\x40\xF9\xFC", Encoding::ShiftJIS, true},
    {"LeadByteAtEnd", "abc\x93", Encoding::ShiftJIS, false},
    {"InvalidTrailByte", "\x81\x20", Encoding::ShiftJIS, false},
    {"InvalidFarIntoTheText", repeat("\x8E\x52", 20000) + "\x85\x40", Encoding::ShiftJIS, false},
    // Longer than one conversion piece, two-byte characters across every
    // piece boundary.
    {"ManyPieces", repeat("a\x8E\x52\xB1", 30000), Encoding::ShiftJIS, true},
    {"Utf8Astral", repeat("x\xF0\x9F\x98\x80", 9000), Encoding::UTF8, true},
    // A surrogate pair lands on a piece boundary at one of these offsets.
    {"Utf16PairsAtOddOffset",
     std::string("a\0", 2) + repeat(std::string("\x3D\xD8\x00\xDE", 4), 5000), Encoding::UTF16LE,
     true},
    {"Utf16PairsAtEvenOffset", repeat(std::string("\x3D\xD8\x00\xDE", 4), 5000), Encoding::UTF16LE,
     true},
    {"Utf8AstralAfterTwo", repeat("xy\xF0\x9F\x98\x80", 9000), Encoding::UTF8, true},
    // Strict decoding refuses unpaired surrogates.
    {"Utf16LoneHighSurrogate",
     std::string("\x3D\xD8"
                 "a\0",
                 4),
     Encoding::UTF16LE, false},
    {"Utf16LoneLowAtEnd", std::string("a\0\x00\xDE", 4), Encoding::UTF16LE, false},
    {"UnicodeWithMark",
     std::string("\xFF\xFE"
                 "a\0",
                 4),
     Encoding::Unicode, true},
    {"EucJp", "\xBB\xB3\xC5\xC4", Encoding::EUCJP, true},
};

class DecodeToUTF8Test : public testing::TestWithParam<DirectCase> {};

TEST_P(DecodeToUTF8Test, GivesTheTextOfDecodeAndToUTF8) {
  const DirectCase& c = GetParam();
  const auto direct = platform::decodeToUTF8(c.bytes, c.encoding);
  EXPECT_EQ(direct.has_value(), c.ok);
  EXPECT_EQ(direct, throughUnicode(c.bytes, c.encoding));
  // The block form holds the same text, terminated.
  auto block = platform::decodeToUTF8Block(c.bytes, c.encoding);
  ASSERT_EQ(block.has_value(), c.ok);
  if (block) {
    EXPECT_EQ(std::string(block->view()), *direct);
    EXPECT_EQ(block->data()[block->size()], '\0');
  }
}

INSTANTIATE_TEST_SUITE_P(Platform, DecodeToUTF8Test, testing::ValuesIn(kDirectCases), CaseName());

// Lossy decoding through the kept converter, call after call: a value that
// ends inside a character must not leak into the next one, and switching
// encodings must switch converters.
TEST(DecodeLossyToUTF8Test, GivesTheTextOfDecodeLossyCallAfterCall) {
  struct Call {
    std::string bytes;
    Encoding encoding;
  };
  const Call calls[] = {
      {"\x8E\x52\x93\x63", Encoding::ShiftJIS},
      {"abc\x93", Encoding::ShiftJIS},  // lead byte without its trail byte
      {"\x63"
       "def",
       Encoding::ShiftJIS},
      {"\x85\x40\xA0\xFD", Encoding::ShiftJIS},
      {"\xE5\xB1\xB1\xC3", Encoding::UTF8},
      {"\xA9x", Encoding::UTF8},
      {std::string("\x3D\xD8", 2), Encoding::UTF16LE},
      {std::string("\x00\xDE", 2), Encoding::UTF16LE},
      {std::string("a\0", 2), Encoding::Unicode},
      {"", Encoding::ShiftJIS},
      {repeat("\xB1\x8E\x52\x81", 12000), Encoding::ShiftJIS},
  };
  for (int round = 0; round < 2; ++round) {
    for (const Call& call : calls) {
      SCOPED_TRACE(testing::Message() << "round " << round << " bytes " << call.bytes.size());
      EXPECT_EQ(platform::decodeLossyToUTF8(call.bytes.data(), call.bytes.size(), call.encoding),
                platform::toUTF8(
                    platform::decodeLossy(call.bytes.data(), call.bytes.size(), call.encoding)));
    }
  }
  EXPECT_EQ(platform::decodeLossyToUTF8(nullptr, 5, Encoding::ShiftJIS), "");
}

// Every offset of an ill-formed or multi-byte sequence relative to the
// eight-byte steps over ASCII.
TEST(WellFormedUTF8Alignment, EveryOffsetOfEverySequence) {
  struct Sequence {
    const char* bytes;
    bool wellFormed;
  };
  const Sequence sequences[] = {
      {"\xC3\xA9", true},
      {"\xE5\xB1\xB1", true},
      {"\xF0\x9F\x98\x80", true},
      {"\xC3", false},
      {"\x80", false},
      {"\xED\xA0\x80", false},
      {"\xC0\xAF", false},
      {"\xF4\x90\x80\x80", false},
      {"\xFF", false},
  };
  for (const Sequence& sequence : sequences) {
    for (std::size_t before = 0; before < 17; ++before) {
      for (std::size_t after = 0; after < 9; ++after) {
        const std::string text =
            std::string(before, 'a') + sequence.bytes + std::string(after, 'b');
        SCOPED_TRACE(testing::Message() << "before " << before << " after " << after);
        EXPECT_EQ(utf::validateUTF8(text), sequence.wellFormed);
      }
    }
  }
}

}  // namespace
