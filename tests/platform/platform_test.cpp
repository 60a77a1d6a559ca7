#include "platform.h"
#include "files.h"
#include "param_names.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {
std::atomic<int> g_umaskCalls{0};
}  // namespace

// Every umask() call in this program lands here, the library's included, so a
// test can tell whether the code under test touched the process-wide mask.
extern "C" mode_t umask(mode_t mask) noexcept {
  g_umaskCalls.fetch_add(1);
  return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using platform::Encoding;

icu::UnicodeString u8(const char* s) {
  return icu::UnicodeString::fromUTF8(s);
}

struct DecodeCase {
  const char* name;
  std::string bytes;
  Encoding encoding;
  bool ok;
  const char* expected;  // UTF-8 of the decoded text
};

const DecodeCase kDecodeCases[] = {
    // "山田" in Shift_JIS
    {"ShiftJisKanji", "\x8E\x52\x93\x63", Encoding::ShiftJIS, true, "山田"},
    // half-width katakana "ﾔﾏ"
    {"ShiftJisHalfwidth", "\xD4\xCF", Encoding::ShiftJIS, true, "ﾔﾏ"},
    // a lead byte with nothing after it
    {"ShiftJisTruncatedLead", "A\x82", Encoding::ShiftJIS, false, ""},
    // user-defined area: survives as a private-use character
    {"ShiftJisUserDefined", "\xF0\x40", Encoding::DOSJapanese, true, "\xEE\x80\x80"},
    {"Utf8KeepsMark",
     "\xEF\xBB\xBF"
     "a",
     Encoding::UTF8, true,
     "\xEF\xBB\xBF"
     "a"},
    {"Utf8IllFormed", "a\xC3", Encoding::UTF8, false, ""},
    // "aあ" little-endian, with and without a mark
    {"UnicodeLittleEndianMark",
     std::string("\xFF\xFE"
                 "a\0\x42\x30",
                 6),
     Encoding::Unicode, true, "aあ"},
    {"UnicodeBigEndianMark", std::string("\xFE\xFF\0a\x30\x42", 6), Encoding::Unicode, true, "aあ"},
    {"UnicodeNoMark", std::string("a\0\x42\x30", 4), Encoding::Unicode, true, "aあ"},
    {"Utf16LeOddLength", std::string("a\0b", 3), Encoding::UTF16LE, false, ""},
    {"Utf16LeLoneSurrogate", std::string("\x00\xD8", 2), Encoding::UTF16LE, false, ""},
    {"EucJp", "\xBB\xB3\xC5\xC4", Encoding::EUCJP, true, "山田"},
    {"Iso2022Jp", "\x1B$B;3ED\x1B(B", Encoding::ISO2022JP, true, "山田"},
    {"MacRoman", "\x8A", Encoding::MacOSRoman, true, "ä"},
    {"Utf32Be", std::string("\0\0\x30\x42", 4), Encoding::UTF32BE, true, "あ"},
};

class DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, DecodesStrictly) {
  const DecodeCase& c = GetParam();
  auto text = platform::decode(c.bytes, c.encoding);
  ASSERT_EQ(text.has_value(), c.ok);
  if (c.ok) {
    EXPECT_EQ(platform::toUTF8(*text), c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Platform, DecodeTest, testing::ValuesIn(kDecodeCases), CaseName());

TEST(DecodeLossyTest, ReplacesInvalidBytesAndKeepsTheRest) {
  // a byte that is no Shift_JIS, "b", "山", a lone lead byte at the end
  const std::string bytes =
      "a\xA0"
      "b\x8E\x52\x82";
  icu::UnicodeString text = platform::decodeLossy(bytes.data(), bytes.size(), Encoding::ShiftJIS);
  std::string utf8 = platform::toUTF8(text);
  EXPECT_EQ(utf8, "a\uFFFDb山\uFFFD");
}

struct NamedDecodeCase {
  const char* name;
  std::string bytes;
  const char* converter;
  const char* expected;  // UTF-8; nullptr: no such converter
  std::uint64_t replaced;
};

const NamedDecodeCase kNamedDecodeCases[] = {
    {"Windows1252Quotes", "\x93Gr\xFC\xDF\x94 \x80", "windows-1252", "“Grüß” €", 0},
    {"Latin9Euro", "\xA4", "ISO-8859-15", "€", 0},
    {"EucJp", "\xA4\xA2", "EUC-JP", "あ", 0},
    {"Utf16LoneSurrogates", std::string("a\0\x3D\xD8z\0\x00\xDC", 8), "UTF-16LE", "a\uFFFDz\uFFFD",
     2},
    {"Utf8IllFormed", "a\xC3\xFFz", "UTF-8", "a\uFFFD\uFFFDz", 2},
    {"UnknownName", "abc", "no-such-charset", nullptr, 0},
};

class NamedDecodeTest : public testing::TestWithParam<NamedDecodeCase> {};

TEST_P(NamedDecodeTest, DecodesByConverterNameAndCountsReplacements) {
  const NamedDecodeCase& c = GetParam();
  std::uint64_t replaced = 0;
  const auto text = platform::decodeLossyToUTF8(c.bytes, c.converter, &replaced);
  EXPECT_EQ(platform::isKnownCharset(c.converter), c.expected != nullptr);
  if (c.expected == nullptr) {
    EXPECT_FALSE(text.has_value());
    return;
  }
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, c.expected);
  EXPECT_EQ(replaced, c.replaced);
}

INSTANTIATE_TEST_SUITE_P(Charsets, NamedDecodeTest, testing::ValuesIn(kNamedDecodeCases),
                         CaseName());

TEST(GuessCharsetTest, TakesTheDetectorsSingleByteLatinGuess) {
  // Plain Latin-1 letters: ISO-8859-1; with bytes 80-9F its Windows superset.
  EXPECT_EQ(platform::guessSingleByteLatinCharset("N:M\xFCller;J\xFCrgen;;;\r\n"), "ISO-8859-1");
  EXPECT_EQ(platform::guessSingleByteLatinCharset("NOTE:\x93Zitat\x94 M\xFCller\r\n"),
            "windows-1252");
  // Bytes that no single-byte Latin text is made of.
  EXPECT_EQ(platform::guessSingleByteLatinCharset("\xFF\xFD\xFE\xFC"), std::nullopt);
  EXPECT_EQ(platform::guessSingleByteLatinCharset(""), std::nullopt);
}

TEST(EncodeTest, StrictRefusesWhatTheEncodingLacksLossyReplaces) {
  const icu::UnicodeString text = u8("a😀b");
  EXPECT_FALSE(platform::encode(text, Encoding::ShiftJIS).has_value());
  auto lossy = platform::encodeLossy(text, Encoding::ShiftJIS);
  ASSERT_TRUE(lossy.has_value());
  EXPECT_EQ(*lossy, "a?b");
}

TEST(EncodeTest, UnicodeWritesLittleEndianMark) {
  auto bytes = platform::encode(u8("a"), Encoding::Unicode);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(*bytes, std::string("\xFF\xFE"
                                "a\0",
                                4));
}

TEST(EncodeTest, ShiftJisRoundTripsKanjiAndHalfwidth) {
  auto bytes = platform::encode(u8("山田ﾔﾏ"), Encoding::ShiftJIS);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(*bytes, "\x8E\x52\x93\x63\xD4\xCF");
}

TEST(EncodingTest, ConvertsCoreFoundationConstants) {
  EXPECT_EQ(platform::convertCFEncoding(platform::cf::DOSJapanese), Encoding::DOSJapanese);
  EXPECT_EQ(platform::convertCFEncoding(platform::cf::MacJapanese), Encoding::MacJapanese);
  EXPECT_EQ(platform::convertCFEncoding(platform::cf::UTF16LE), Encoding::UTF16LE);
  EXPECT_EQ(platform::convertCFEncoding(platform::cf::UTF32BE), Encoding::UTF32BE);
  EXPECT_EQ(platform::convertCFEncoding(platform::cf::UTF8), Encoding::UTF8);
  EXPECT_EQ(static_cast<std::uint32_t>(Encoding::UTF16LE), 0x94000100u);
  EXPECT_EQ(platform::icuConverterName(static_cast<Encoding>(12345)), nullptr);
  EXPECT_FALSE(platform::decode("a", static_cast<Encoding>(12345)).has_value());
}

TEST(UppercaseTest, FullLocaleIndependentMapping) {
  setenv("LANG", "tr_TR.UTF-8", 1);  // the Turkish dotted I must not appear
  EXPECT_EQ(platform::toUTF8(platform::uppercase(u8("straße vcf iphone"))), "STRASSE VCF IPHONE");
  EXPECT_EQ(platform::toUTF8(platform::uppercase(u8("ｖｃｆ"))), "ＶＣＦ");
}

struct Utf8Case {
  const char* name;
  std::string bytes;
  bool wellFormed;
};

const Utf8Case kUtf8Cases[] = {
    {"Ascii", "abc", true},
    {"Japanese", "山田ﾔﾏ", true},
    {"FourByte", "\xF0\x9F\x98\x80", true},
    {"Overlong", "\xC0\xAF", false},
    {"Surrogate", "\xED\xA0\x80", false},
    {"Truncated", "\xE3\x81", false},
    {"BeyondUnicode", "\xF4\x90\x80\x80", false},
    {"StrayContinuation", "\x80", false},
    {"ShiftJis", "\x8E\x52\x93\x63", false},
};

class Utf8Test : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Test, ClassifiesWellFormedness) {
  const Utf8Case& c = GetParam();
  EXPECT_EQ(utf::validateUTF8(c.bytes), c.wellFormed);
  EXPECT_EQ(platform::fromUTF8(c.bytes).has_value(), c.wellFormed);
  EXPECT_EQ(platform::detectFileEncoding("\xEF\xBB\xBF" + c.bytes).has_value(), c.wellFormed);
}

INSTANTIATE_TEST_SUITE_P(Platform, Utf8Test, testing::ValuesIn(kUtf8Cases), CaseName());

class FileTest : public testing::Test {
 protected:
  testsupport::TempDir folder;
  const std::string dir = folder.path();
};

TEST_F(FileTest, AtomicWriteReplacesWholeContentAndLeavesNoTemporary) {
  const std::string path = dir + "/out.vcf";
  ASSERT_TRUE(platform::writeFileAtomically(path, "long old content"));
  ASSERT_TRUE(platform::writeFileAtomically(path, std::string("\xFF\xFE", 2)));
  EXPECT_EQ(platform::readFile(path), std::string("\xFF\xFE", 2));
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
    ++entries;
  EXPECT_EQ(entries, 1);
}

struct ModeCase {
  mode_t umask;
  mode_t expectedMode;
};

TEST_F(FileTest, AtomicWriteGivesTheModeAPlainCreateWouldAndLeavesTheUmaskAlone) {
  const ModeCase cases[] = {{022, 0644}, {027, 0640}, {077, 0600}, {0, 0666}, {0177, 0600}};
  const mode_t saved = ::umask(022);
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "umask " << std::oct << c.umask);
    ::umask(c.umask);
    const std::string path = dir + "/out.vcf";
    ASSERT_TRUE(platform::removeFile(path));
    g_umaskCalls = 0;
    ASSERT_TRUE(platform::writeFileAtomically(path, "x"));
    // Setting the mask, even back and forth, would hand its value to files
    // other threads create meanwhile.
    EXPECT_EQ(g_umaskCalls.load(), 0);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.expectedMode) << std::oct << (st.st_mode & 07777);
  }
  ::umask(saved);
}

TEST_F(FileTest, AtomicWritesFromSeveralThreadsIntoOneFolderAllLand) {
  constexpr int kThreads = 4;
  constexpr int kWrites = 50;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t, &failures] {
      const std::string path = dir + "/out" + std::to_string(t) + ".vcf";
      for (int i = 0; i < kWrites; ++i) {
        const std::string content = std::to_string(t) + ":" + std::to_string(i);
        if (!platform::writeFileAtomically(path, content) || platform::readFile(path) != content) {
          ++failures;
        }
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(failures.load(), 0);
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
    ++entries;
  EXPECT_EQ(entries, kThreads) << "a temporary file was left behind";
}

TEST_F(FileTest, AppendNeedsAnExistingFile) {
  const std::string path = dir + "/out.vcf";
  EXPECT_FALSE(platform::appendToFile(path, "x"));
  EXPECT_FALSE(platform::fileExists(path));
  ASSERT_TRUE(platform::writeFileAtomically(path, "a"));
  ASSERT_TRUE(platform::appendToFile(path, "bc"));
  EXPECT_EQ(platform::readFile(path), "abc");
  EXPECT_FALSE(platform::appendToFile(dir, "x"));
}

TEST_F(FileTest, ReadFailsForMissingFileAndFolder) {
  EXPECT_FALSE(platform::readFile(dir + "/missing").has_value());
  EXPECT_FALSE(platform::readFile(dir).has_value());
  EXPECT_TRUE(platform::fileExists(dir));
  ASSERT_TRUE(platform::writeFileAtomically(dir + "/empty", ""));
  EXPECT_EQ(platform::readFile(dir + "/empty"), "");
}

TEST_F(FileTest, ReadRefusesWhatIsNotARegularFile) {
  const std::string fifo = dir + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // With no writer, a blocking open would never return.
  EXPECT_FALSE(platform::readFile(fifo).has_value());
  EXPECT_FALSE(platform::readFile("/dev/zero").has_value());
  EXPECT_FALSE(platform::readFile("/dev/null").has_value());
}

TEST_F(FileTest, AtomicWriteIntoMissingFolderFails) {
  EXPECT_FALSE(platform::writeFileAtomically(dir + "/no/such/out.vcf", "x"));
  EXPECT_FALSE(platform::writeFileAtomically(dir, "x"));  // the path is a folder
  EXPECT_TRUE(std::filesystem::is_directory(dir));
}

TEST_F(FileTest, CleanupRemovesOnlyTemporariesNoProcessHolds) {
  // One being written (held by its process), one a killed run left, and
  // names a person or another program may own.
  std::unique_ptr<platform::StagedFile> live = platform::StagedFile::create(dir + "/out.vcf");
  ASSERT_NE(live, nullptr);
  ASSERT_TRUE(live->append("BEGIN:VCARD\r\n"));
  const std::string abandoned = dir + "/.vcf-00000000deadbeef.partial";
  const std::vector<std::string> kept = {
      dir + "/.vcf-00000000DEADBEEF.partial",  // not a name this program makes
      dir + "/.vcf-0000000deadbeef.partial",   // one digit short
      dir + "/.vcf-00000000deadbeef.vcf",
      dir + "/notes.partial",
  };
  testsupport::writeBytes(abandoned, "BEGIN:VCARD\r\n");
  for (const std::string& path : kept)
    testsupport::writeBytes(path, "mine");
  // A link of that name is not followed, nor removed.
  const std::string target = dir + "/target";
  testsupport::writeBytes(target, "target");
  const std::string link = dir + "/.vcf-0123456789abcdef.partial";
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);

  EXPECT_EQ(platform::removeAbandonedStagedFiles(dir), 1u);
  EXPECT_FALSE(platform::fileExists(abandoned));
  EXPECT_TRUE(platform::fileExists(live->temporaryPath()));
  for (const std::string& path : kept)
    EXPECT_EQ(platform::readFile(path), "mine") << path;
  EXPECT_EQ(platform::readFile(link), "target");

  // Put in place, it is the output; dropped, nothing is left.
  ASSERT_TRUE(live->finish());
  ASSERT_TRUE(live->replace());
  EXPECT_EQ(platform::readFile(dir + "/out.vcf"), "BEGIN:VCARD\r\n");
  std::unique_ptr<platform::StagedFile> dropped = platform::StagedFile::create(dir + "/out.vcf");
  ASSERT_NE(dropped, nullptr);
  const std::string temporary = dropped->temporaryPath();
  EXPECT_TRUE(platform::fileExists(temporary));
  dropped.reset();
  EXPECT_FALSE(platform::fileExists(temporary));
  EXPECT_EQ(platform::readFile(dir + "/out.vcf"), "BEGIN:VCARD\r\n");
}

TEST_F(FileTest, RemoveFileTreatsMissingAsRemoved) {
  const std::string path = dir + "/x";
  ASSERT_TRUE(platform::writeFileAtomically(path, "x"));
  EXPECT_TRUE(platform::removeFile(path));
  EXPECT_FALSE(platform::fileExists(path));
  EXPECT_TRUE(platform::removeFile(path));
}

TEST(HomeTest, FollowsHomeVariable) {
  setenv("HOME", "/somewhere/else", 1);
  EXPECT_EQ(platform::homeDirectory(), "/somewhere/else");
}

TEST(SameFileTest, CatchesLinksAndOtherSpellings) {
  testsupport::TempDir dir;
  const std::string a = dir.file("a.vcf");
  testsupport::writeBytes(a, "x");
  testsupport::writeBytes(dir.file("c.vcf"), "x");
  ASSERT_EQ(::link(a.c_str(), dir.file("hard.vcf").c_str()), 0);
  ASSERT_EQ(::symlink(a.c_str(), dir.file("soft.vcf").c_str()), 0);
  struct Case {
    std::string other;
    bool same;
  };
  const Case cases[] = {
      {a, true},
      {dir.path() + "/./a.vcf", true},
      {dir.file("hard.vcf"), true},
      {dir.file("soft.vcf"), true},
      {dir.file("c.vcf"), false},
      {dir.file("missing.vcf"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.other);
    EXPECT_EQ(platform::isSameFile(a, c.other), c.same);
  }
}

}  // namespace
