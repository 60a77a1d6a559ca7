// Source loading: byte-order marks, encoding opinions and the return codes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <string_view>

#include "param_names.h"
#include "read/source_load.h"
#include "test_support.h"
#include "vcard.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using testsupport::TempDir;
using namespace std::string_literals;

using vcard::EncodingBasis;
constexpr auto kMark = EncodingBasis::ByteOrderMark;
constexpr auto kContent = EncodingBasis::Content;
constexpr auto kGuess = EncodingBasis::Guess;
constexpr auto kNone = EncodingBasis::None;

struct LoadCase {
  std::string_view name;
  std::string bytes;  // file content
  int code;
  std::string text;  // expected internal text when code is 0
  // What the loader is expected to keep about its decision.
  std::string_view encoding;
  EncodingBasis basis;
  std::uint64_t zeroBytesDropped = 0;
  std::uint64_t replaced = 0;
  std::uint64_t marksDropped = 0;
};

const LoadCase kLoadCases[] = {
    {"EmptyFile", "", 0, "", "", kNone},
    {"OnlyUTF8Mark", "\xEF\xBB\xBF", 0, "", "UTF-8", kMark},
    {"OnlyUTF16LEMark", "\xFF\xFE", 0, "", "UTF-16LE", kMark},
    {"BigEndianMarkAlone", "\xFE\xFF", 0, "", "UTF-16BE", kMark},
    {"BigEndianMarkWithText", "\xFE\xFF\x00\x42\x00\x45"s, 0, "BE", "UTF-16BE", kMark},
    // "N:あ" in UTF-8 without mark stays byte for byte.
    {"UTF8WithoutMark", "N:\xE3\x81\x82\r\n", 0, "N:\xE3\x81\x82\r\n", "UTF-8", kContent},
    {"AsciiOnly", "NOTE;ENCODING=QUOTED-PRINTABLE:=82=A0\n", 0,
     "NOTE;ENCODING=QUOTED-PRINTABLE:=82=A0\n", "US-ASCII", kContent},
    {"UTF8AfterMark", "\xEF\xBB\xBFN:\xE3\x81\x82\n", 0, "N:\xE3\x81\x82\n", "UTF-8", kMark},
    // An ill-formed byte after the mark is repaired with U+FFFD (EF BF BD).
    {"IllFormedUTF8AfterMark",
     "\xEF\xBB\xBF"
     "a\xC3z",
     0, "a\xEF\xBF\xBDz", "UTF-8", kMark, 0, 1},
    // "BEGIN:VCARD" CR LF in UTF-16LE after its mark.
    {"UTF16LEWithMark",
     "\xFF\xFE"
     "B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\r\0\n\0"s,
     0, "BEGIN:VCARD\r\n", "UTF-16LE", kMark},
    // U+3000 first: a zero first byte is no reason for an empty text.
    {"UTF16LEFirstByteZero",
     "\xFF\xFE\x00\x30"
     "A\0"s,
     0,
     "\xE3\x80\x80"
     "A",
     "UTF-16LE", kMark},
    // Unpaired surrogates (a high one before a letter, a low one alone) and
    // a high one cut off by the end of an odd-length file become U+FFFD each;
    // the rest is kept.
    {"IllFormedUTF16LE",
     "\xFF\xFE"
     "a\0\x3D\xD8"
     "b\0\x00\xDC"
     "c\0\x3D\xD8"
     "d"s,
     0,
     "a\xEF\xBF\xBD"
     "b\xEF\xBF\xBD"
     "c\xEF\xBF\xBD",
     "UTF-16LE", kMark, 0, 3},
    // U+0000 cannot stay in a C string: dropped, like zero bytes elsewhere.
    {"UTF16LEZeroUnit",
     "\xFF\xFE"
     "a\0\0\0b\0"s,
     0, "ab", "UTF-16LE", kMark, 1},
    // One leading mark is the mark; a second is U+FEFF, dropped the same way
    // in UTF-8 and UTF-16, so the card line after it is still found.
    {"SecondUTF8Mark", "\xEF\xBB\xBF\xEF\xBB\xBFN:a\r\n\xEF\xBB\xBF", 0, "N:a\r\n", "UTF-8", kMark,
     0, 0, 2},
    {"SecondUTF16LEMark", "\xFF\xFE\xFF\xFEN\0:\0a\0"s, 0, "N:a", "UTF-16LE", kMark, 0, 0, 1},
    {"UTF8MarkThenZeroByte", "\xEF\xBB\xBFN:\0a\xE3\x81\x82"s, 0, "N:a\xE3\x81\x82", "UTF-8", kMark,
     1},
    // "N:山田" and half-width "ｱ" in Shift_JIS; the katakana stays half-width.
    {"ShiftJIS", "N:\x8E\x52\x93\x63\xB1\r\n", 0, "N:\xE5\xB1\xB1\xE7\x94\xB0\xEF\xBD\xB1\r\n",
     "Shift_JIS", kContent},
    // Zero bytes are dropped and the text goes on after them; the UTF-8
    // judgement is made without them.
    {"UTF8ZeroBytesDropped", "N:\xE3\x81\x82\0rest\0"s, 0, "N:\xE3\x81\x82rest", "UTF-8", kContent,
     2},
    {"ShiftJISZeroBytesDropped", "\x82\xA0\r\n\0\x82\xA0"s, 0, "\xE3\x81\x82\r\n\xE3\x81\x82",
     "Shift_JIS", kContent, 1},
    // Neither UTF-8 nor Shift_JIS: the detector's Latin guess, windows-1252
    // for "Müller" and its curly quotes (93, 94).
    {"UndeclaredWindows1252",
     "BEGIN:VCARD\r\nN:M\xFCller;J\xFCrgen;;;\r\nNOTE:\x93Zitat\x94\r\nEND:VCARD\r\n", 0,
     "BEGIN:VCARD\r\nN:M\xC3\xBCller;J\xC3\xBCrgen;;;\r\nNOTE:\xE2\x80\x9CZitat\xE2\x80\x9D\r\n"
     "END:VCARD\r\n",
     "windows-1252", kGuess},
    // A Western charset that the file names (and no Japanese one) outranks a
    // Shift_JIS decoding that works by coincidence: E4 6D is a valid pair.
    {"DeclaredWesternCharset",
     "ADR:;;L\xE4mmerweg 12\r\nLABEL;CHARSET=Windows-1252;ENCODING=QUOTED-PRINTABLE:L=E4\r\n"
     "X-DESIGN;CHARSET=utf-8:x\r\n",
     0,
     "ADR:;;L\xC3\xA4mmerweg 12\r\nLABEL;CHARSET=Windows-1252;ENCODING=QUOTED-PRINTABLE:L=E4\r\n"
     "X-DESIGN;CHARSET=utf-8:x\r\n",
     "WINDOWS-1252", EncodingBasis::Declared},
    {"JapaneseDeclarationKeepsShiftJIS",
     "N;CHARSET=SHIFT_JIS:\xE4\x6D\r\nLABEL;CHARSET=ISO-8859-1:x\r\n", 0,
     "N;CHARSET=SHIFT_JIS:\xE8\x88\x82\r\nLABEL;CHARSET=ISO-8859-1:x\r\n", "Shift_JIS", kContent},
    // One damaged byte (FF) in a file of Japanese words, 山田;太郎 and あい in
    // Shift_JIS: still Shift_JIS, the byte replaced.
    {"ShiftJISWordsWithADamagedByte",
     "N:\x8E\x52\x93\x63;\x91\xBE\x98\x59\r\nNOTE:\x82\xA0\x82\xA2\xFF\r\n", 0,
     "N:\xE5\xB1\xB1\xE7\x94\xB0;\xE5\xA4\xAA\xE9\x83\x8E\r\nNOTE:"
     "\xE3\x81\x82\xE3\x81\x84\xEF\xBF\xBD\r\n",
     "Shift_JIS", kContent, 0, 1},
    // The same in UTF-8: 山, then a lone FF; as many characters as damaged
    // bytes is still UTF-8.
    {"UTF8WithADamagedByte", "N:\xE5\xB1\xB1\xFF\r\n", 0, "N:\xE5\xB1\xB1\xEF\xBF\xBD\r\n", "UTF-8",
     kContent, 0, 1},
    // "Dupr\xE9;Ren\xE9e": E9 65 is a Shift_JIS pair, but one such character
    // between Latin letters is no Japanese word: Western, not Shift_JIS.
    {"LoneShiftJISPairInWesternText", "N:Dupr\xE9;Ren\xE9\x65\r\n", 0,
     "N:Dupr\xC3\xA9;Ren\xC3\xA9\x65\r\n", "ISO-8859-1", kGuess},
    // No decoding fits and the detector has no single-byte guess.
    {"NothingFits", "\xFF\xFD\xFE\xFC", -4, "", "", kContent},
    // A real UTF-16LE file without mark is decoded as such.
    {"UTF16LEWithoutMark", "B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\n\0"s, 0, "BEGIN:VCARD\n", "UTF-16LE",
     kContent},
    {"UTF16LEWithoutMarkLowerCaseBegin", "b\0e\0g\0i\0n\0:\0v\0c\0a\0r\0d\0\n\0"s, 0,
     "begin:vcard\n", "UTF-16LE", kContent},
    // Zero bytes that do not make a vCard: an 8-bit text without them.
    {"StrayZeroBytesWithoutCard", "A\0B\0"s, 0, "AB", "US-ASCII", kContent, 2},
    // Big-endian UTF-16 without mark is read like little-endian, whether its
    // first unit has a zero high byte (a card that starts 00 42) or not
    // (U+30E1), and with CR line ends.
    {"UTF16BEWithoutMark", "\x30\xE1\0\n\0B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\n"s, 0,
     "\xE3\x83\xA1\nBEGIN:VCARD\n", "UTF-16BE", kContent},
    {"UTF16BEWithoutMarkZeroFirst", "\0B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\r\0\n"s, 0,
     "BEGIN:VCARD\r\n", "UTF-16BE", kContent},
    {"UTF16BEWithoutMarkCRLineEnds", "\0B\0E\0G\0I\0N\0:\0V\0C\0A\0R\0D\0\r\0N\0:\0a\0\r"s, 0,
     "BEGIN:VCARD\nN:a\n", "UTF-16BE", kContent},
    // CR alone ends lines in old Mac exports: they become LF, whatever the
    // encoding. One LF anywhere keeps every CR as it is.
    {"CRLineEndsUTF8", "BEGIN:VCARD\rN:\xE3\x81\x82\rEND:VCARD\r", 0,
     "BEGIN:VCARD\nN:\xE3\x81\x82\nEND:VCARD\n", "UTF-8", kContent},
    {"CRLineEndsShiftJIS", "N:\x8E\x52\x93\x63\rTEL:1\r", 0, "N:\xE5\xB1\xB1\xE7\x94\xB0\nTEL:1\n",
     "Shift_JIS", kContent},
    {"CRLineEndsUTF16LE", "\xFF\xFEN\0:\0a\0\r\0T\0:\0\x31\0\r\0"s, 0, "N:a\nT:1\n", "UTF-16LE",
     kMark},
    {"CRWithOneLFStays", "N:a\rNOTE:b\r\n", 0, "N:a\rNOTE:b\r\n", "US-ASCII", kContent},
    // One bad byte (FF) in Shift_JIS "青木 功" / "山田": Shift_JIS still, the
    // byte U+FFFD; the same in UTF-8 "山田".
    {"ShiftJISWithStrayByte", "N:\x90\xC2\x96\xD8;\x8C\xF7\r\nN:\x8E\x52\xFF\x93\x63\r\n", 0,
     "N:\xE9\x9D\x92\xE6\x9C\xA8;\xE5\x8A\x9F\r\nN:\xE5\xB1\xB1\xEF\xBF\xBD\xE7\x94\xB0\r\n",
     "Shift_JIS", kContent, 0, 1},
    {"UTF8WithStrayByte", "N:\xE5\xB1\xB1\x80\xE7\x94\xB0\r\n", 0,
     "N:\xE5\xB1\xB1\xEF\xBF\xBD\xE7\x94\xB0\r\n", "UTF-8", kContent, 0, 1},
    // A character cut by the line end: lead byte 82 before CR.
    // A writer that folds every 75 bytes cuts a character: the fold inside
    // it is joined, one after a whole character stays ("бо|лее").
    {"FoldInsideUTF8CharacterJoined", "NOTE:\xD0\xB1\r\n \xD0\xBE\xD0\r\n \xBB\xD0\xB5\xD0\xB5\r\n",
     0, "NOTE:\xD0\xB1\r\n \xD0\xBE\xD0\xBB\xD0\xB5\xD0\xB5\r\n", "UTF-8", kContent},
    {"FoldInsideUTF8CharacterAfterMark", "\xEF\xBB\xBFN:\xE3\n\t\x81\x82\n", 0, "N:\xE3\x81\x82\n",
     "UTF-8", kMark},
    {"ShiftJISCutCharacter", "N;CHARSET=SHIFT_JIS:\x82\xA0\x82\r\n", 0,
     "N;CHARSET=SHIFT_JIS:\xE3\x81\x82\xEF\xBF\xBD\r\n", "Shift_JIS", kContent, 0, 1},
    // Western text whose accents happen to make some valid Shift_JIS pairs
    // ("O’Brien": 92 42) is no Japanese: the Latin guess stays.
    {"WesternWithPairsStaysWestern",
     "N:O\x92"
     "Brien;Ren\xE9"
     "e\r\nNOTE:caf\xE9 cr\xE8me\r\n",
     0,
     "N:O\xE2\x80\x99"
     "Brien;Ren\xC3\xA9"
     "e\r\nNOTE:caf\xC3\xA9 cr\xC3\xA8me\r\n",
     "windows-1252", kGuess},
};

class LoadTest : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadTest, GivesCodeAndText) {
  const LoadCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.file("source.vcf");
  testsupport::writeBytes(path, c.bytes);
  char* text = nullptr;
  EXPECT_EQ(vCard_GetData(path.c_str(), &text), c.code);
  if (c.code == 0) {
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), c.text);
  } else {
    EXPECT_EQ(text, nullptr) << "the slot stays untouched on failure";
  }
  std::free(text);

  // The file and its bytes in memory load alike, to the record.
  const vcard::detail::LoadedSource file =
      vcard::detail::loadFile(path.c_str(), vcard::CarrierChoice::Auto);
  const vcard::detail::LoadedSource bytes =
      vcard::detail::loadBytes(c.bytes, vcard::CarrierChoice::Auto);
  for (const vcard::detail::LoadedSource* loaded : {&file, &bytes}) {
    SCOPED_TRACE(loaded == &file ? "file" : "bytes");
    EXPECT_EQ(loaded->code, c.code);
    if (c.code == 0) {
      ASSERT_NE(loaded->text, nullptr);
      EXPECT_EQ(std::string(loaded->text.get(), loaded->length), c.text);
      EXPECT_EQ(std::strlen(loaded->text.get()), loaded->length);
    } else {
      EXPECT_EQ(loaded->text, nullptr);
    }
    const vcard::SourceInfo& info = loaded->info;
    EXPECT_EQ(info.encoding, c.encoding);
    EXPECT_EQ(info.basis, c.basis);
    EXPECT_EQ(info.zeroBytesDropped, c.zeroBytesDropped);
    EXPECT_EQ(info.replaced, c.replaced);
    EXPECT_EQ(info.marksDropped, c.marksDropped);
  }
}

INSTANTIATE_TEST_SUITE_P(Bytes, LoadTest, testing::ValuesIn(kLoadCases), CaseName());

// Only regular files are sources: a FIFO would block the open until some
// writer came, /dev/zero never ends and /dev/null is no file of the user's.
TEST(LoadFailureTest, UnreadableOrIrregularPathsGiveMinusOneAtOnce) {
  TempDir dir;
  const std::string fifo = dir.file("fifo.vcf");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string toNull = dir.file("null.vcf");
  const std::string toZero = dir.file("zero.vcf");
  const std::string toFifo = dir.file("fifo-link.vcf");
  std::filesystem::create_symlink("/dev/null", toNull);
  std::filesystem::create_symlink("/dev/zero", toZero);
  std::filesystem::create_symlink(fifo, toFifo);
  for (const std::string& path :
       {dir.file("missing.vcf"), dir.path(), std::string(), fifo, toNull, toZero, toFifo}) {
    SCOPED_TRACE(path);
    char* text = nullptr;
    // Run where a hang cannot stop the suite: a blocked load fails the test
    // after its deadline instead of waiting for ever.
    auto load = std::async(std::launch::async, [&] { return vCard_GetData(path.c_str(), &text); });
    ASSERT_EQ(load.wait_for(std::chrono::seconds(5)), std::future_status::ready)
        << "the load blocked";
    EXPECT_EQ(load.get(), -1);
    EXPECT_EQ(text, nullptr);
  }
}

TEST(LoadTest, FollowsALinkToARegularFile) {
  TempDir dir;
  const std::string target = dir.file("target.vcf");
  testsupport::writeBytes(target, "N:a\r\n");
  const std::string link = dir.file("link.vcf");
  std::filesystem::create_symlink(target, link);
  char* text = nullptr;
  ASSERT_EQ(vCard_GetData(link.c_str(), &text), 0);
  EXPECT_STREQ(text, "N:a\r\n");
  std::free(text);
}

// A UTF-16 file is decoded from the bytes read, never re-read by a path
// that went through another encoding: a Shift_JIS file name ("日付" and
// half-width "ｱ") is no UTF-8 and must not matter.
TEST(LoadTest, UTF16FileUnderANameThatIsNotUTF8) {
  TempDir dir;
  const std::string path = dir.file("\x93\xFA\x95\x74\xB1.vcf");
  testsupport::writeBytes(path,
                          "\xFF\xFE"
                          "N\0:\0a\0"s);
  char* text = nullptr;
  ASSERT_EQ(vCard_GetData(path.c_str(), &text), 0);
  EXPECT_STREQ(text, "N:a");
  std::free(text);
}

}  // namespace
