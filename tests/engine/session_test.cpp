// The line loop keeps card and line growth and the output on the side; what
// it produces must be what the same lines give when fed one by one to the
// line assembly and the recognition, each finished card appended on its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "engine_p.h"
#include "param_names.h"
#include "platform.h"
#include "test_support.h"
#include "vcard.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using testsupport::TempDir;

std::string repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i)
    out += piece;
  return out;
}

struct Outcome {
  std::vector<std::string> cardTexts;
  std::vector<int> rejected;
  std::uint64_t inCount = 0;
  std::uint64_t outCount = 0;
  std::string file;
};

Outcome takeList(VCARDLIST* list, const std::string& outputPath) {
  Outcome outcome;
  for (std::uint64_t i = 0; i < list->cardCount; ++i) {
    outcome.cardTexts.emplace_back(list->cardArray[i].cardText);
    outcome.rejected.push_back(list->cardArray[i].isError);
    if (list->cardArray[i].isEnd == 0) continue;
    ++outcome.inCount;
    if (list->cardArray[i].isError == 0) ++outcome.outCount;
  }
  outcome.file = testsupport::readBytes(outputPath);
  vCard_ReleaseData(list, nullptr);
  return outcome;
}

Outcome throughLineLoop(const std::string& text, const std::string& outputPath) {
  EXPECT_EQ(Output_CreateFile(outputPath.c_str()), 1);
  std::free(dstFile);
  dstFile = strdup(outputPath.c_str());
  VCARDLIST list{0, nullptr};
  Outcome counts;
  EXPECT_EQ(vCard_AnalysData(text.c_str(), &list, &counts.inCount, &counts.outCount), 0);
  Outcome outcome = takeList(&list, outputPath);
  EXPECT_EQ(outcome.inCount, counts.inCount);
  EXPECT_EQ(outcome.outCount, counts.outCount);
  return outcome;
}

// The physical lines as the line cutting gives them: cut at LF, the CRs
// before it dropped, the text after the last LF a line of its own.
std::vector<std::string> physicalLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t lf = text.find('\n', start);
    std::string line = text.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
    if (lf != std::string::npos) {
      while (!line.empty() && line.back() == '\r')
        line.pop_back();
    }
    lines.push_back(line);
    if (lf == std::string::npos) break;
    start = lf + 1;
  }
  return lines;
}

Outcome lineByLine(const std::string& text, const std::string& outputPath) {
  EXPECT_EQ(Output_CreateFile(outputPath.c_str()), 1);
  VCARDLIST list{0, nullptr};
  PROPERTY prop{};
  const std::vector<std::string> lines = physicalLines(text);
  for (std::size_t i = 0;;) {
    const char* line = i < lines.size() ? lines[i].c_str() : nullptr;
    vCard_CheckLine(line, &prop);
    const std::uint64_t status = prop.lineStatus;
    if (status == PROP_DONE || status == PROP_DONE_REREAD)
      vCard_RecogData(prop.propText, outputPath.c_str(), &prop, &list);
    if (status != PROP_OPEN) {
      std::free(prop.propText);
      prop = PROPERTY{};
    }
    if (status == PROP_DONE_REREAD) continue;  // the same line starts the next property
    if (line == nullptr) break;
    ++i;
  }
  return takeList(&list, outputPath);
}

struct SessionCase {
  const char* name;
  std::string text;
};

std::string card(const std::string& body) {
  return "BEGIN:VCARD\r\nVERSION:2.1\r\n" + body + "END:VCARD\r\n";
}

std::string mixedCards(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    text += card("N;CHARSET=UTF-8:山田" + n +
                 ";ﾀﾛｳ;;;\r\n"
                 "SOUND;X-IRMC-N:ﾔﾏﾀﾞ;ﾀﾛｳ\r\n"
                 "TEL;CELL:090-" +
                 n +
                 "\r\n"
                 "EMAIL;X-OTHER:u" +
                 n +
                 "@example.jp\r\n"
                 "ADR;WORK:;;Street " +
                 n +
                 ";;;;\r\n"
                 "NOTE;ENCODING=QUOTED-PRINTABLE:=41=\r\n=42\r\n"
                 "NOTE:folded\r\n  on\r\n\tthree lines\r\n");
    if (i % 50 == 7) text += card("VERSION:4.0\r\nN:Rejected;" + n + "\r\n");
  }
  return text;
}

const SessionCase kSessionCases[] = {
    {"Empty", ""},
    {"OneCard", card("N:a;b\r\n")},
    // Over a mebibyte of output: collected and appended in several blocks.
    {"ManyMixedCards", mixedCards(4000)},
    {"ManyLinesInOneCard", card(repeat("TEL:1\r\n", 20000))},
    {"ManyFoldsInOneLine", card("NOTE:a" + repeat("\r\n b", 20000) + "\r\n")},
    {"ManySoftBreaks",
     card("NOTE;ENCODING=QUOTED-PRINTABLE:" + repeat("=41=\r\n", 20000) + "x\r\n")},
    {"ManyValues", card("N:" + repeat(";x", 20000) + "\r\n")},
    {"BeginsWithoutEnd", repeat("BEGIN:VCARD\r\nTEL:1\r\n", 3000) + card("N:last\r\n")},
    {"UnclosedLastCard", card("N:a\r\n") + "BEGIN:VCARD\r\nTEL:2\r\nTEL:3"},
    {"NoFinalLineBreak", "BEGIN:VCARD\r\nN:x\r\nEND:VCARD"},
    {"LoneLineFeeds", "BEGIN:VCARD\nN:x\n\n\nEND:VCARD\n\n"},
    {"ManyItemLines", card(repeat("ADR:;;x;;;;\r\n", 150))},
};

class SessionTest : public testing::TestWithParam<SessionCase> {};

TEST_P(SessionTest, LineLoopMatchesFeedingLinesOneByOne) {
  const SessionCase& c = GetParam();
  TempDir dir;
  const Outcome loop = throughLineLoop(c.text, dir.file("loop.vcf"));
  const Outcome byHand = lineByLine(c.text, dir.file("hand.vcf"));
  EXPECT_EQ(loop.cardTexts, byHand.cardTexts);
  EXPECT_EQ(loop.rejected, byHand.rejected);
  EXPECT_EQ(loop.inCount, byHand.inCount);
  EXPECT_EQ(loop.outCount, byHand.outCount);
  EXPECT_EQ(loop.file.size(), byHand.file.size());
  EXPECT_TRUE(loop.file == byHand.file) << "output files differ";
}

INSTANTIATE_TEST_SUITE_P(Texts, SessionTest, testing::ValuesIn(kSessionCases), CaseName());

// Card texts and the card array grow with room to spare inside the loop and
// are trimmed when it ends. What is handed back must be plain C strings and a
// plain array that the C-style helpers go on growing exactly: a length, a
// capacity or an open-card stack remembered from the loop would show here as
// a wrong text, or as an overrun under the sanitizers.
TEST(SessionTrimTest, TextsAndArrayGrowOnExactlyAfterwards) {
  TempDir dir;
  const std::string output = dir.file("out.vcf");
  ASSERT_EQ(Output_CreateFile(output.c_str()), 1);
  std::free(dstFile);
  dstFile = strdup(output.c_str());
  const std::string text = repeat(card(repeat("TEL:12345\r\n", 3000)), 3) +
                           repeat("BEGIN:VCARD\r\n", 1000) + "BEGIN:VCARD\r\n" +
                           repeat("TEL:1\r\n", 5000);
  VCARDLIST list{0, nullptr};
  std::uint64_t inCount = 0;
  std::uint64_t outCount = 0;
  ASSERT_EQ(vCard_AnalysData(text.c_str(), &list, &inCount, &outCount), 0);
  ASSERT_EQ(list.cardCount, 1004U);
  EXPECT_EQ(inCount, 3U);
  const std::string lastBefore = list.cardArray[list.cardCount - 1].cardText;
  EXPECT_EQ(lastBefore.size(), std::strlen("BEGIN:VCARD\r\n") + 5000 * std::strlen("TEL:1\r\n"));

  // Outside the loop every append measures its text afresh.
  for (const std::uint64_t i : {std::uint64_t{0}, std::uint64_t{2}, std::uint64_t{1003}}) {
    const std::string before = list.cardArray[i].cardText;
    ASSERT_TRUE(vcard::detail::appendToCard(&list.cardArray[i], "NOTE:x\r\n"));
    EXPECT_EQ(std::string(list.cardArray[i].cardText), before + "NOTE:x\r\n") << "card " << i;
  }

  // A second run over the same list goes on with the innermost open card and
  // grows the trimmed array again.
  ASSERT_EQ(vCard_AnalysData("TEL:2\r\nEND:VCARD\r\nBEGIN:VCARD\r\n", &list, &inCount, &outCount),
            0);
  ASSERT_EQ(list.cardCount, 1005U);
  EXPECT_EQ(inCount, 4U);
  EXPECT_EQ(std::string(list.cardArray[1003].cardText),
            lastBefore + "NOTE:x\r\nTEL:2\r\nEND:VCARD\r\n");
  EXPECT_EQ(std::string(list.cardArray[1004].cardText), "BEGIN:VCARD\r\n");
  vCard_ReleaseData(&list, nullptr);
}

// Lines whose property nobody takes leave the card as it was; recognised
// names in any letter case, and names behind escapes, are told apart from them.
struct LineCase {
  const char* name;
  const char* line;
  bool changesCard;
};

const LineCase kLineCases[] = {
    {"DroppedName", "FN:Taro", false},
    {"DroppedWithParameters", "fn;charset=shift_jis:x", false},
    {"DroppedExtension", "X-GNO:6", false},
    {"RecognisedLowerCase", "tel;cell:1", true},
    {"RecognisedMixedCase", "NoTe:a", true},
    {"RecognisedEmptyValue", "N:", true},
    {"EscapedSemicolonJoinsName", "TEL\\;X:1", false},
    {"EscapedColonJoinsName", "N\\:X;Y:z", false},
    {"LeadingSemicolonEmptyName", ";N:x", false},
    {"NameOnly", "TEL", false},
    {"NonAsciiName", "Ｎ:x", false},
    {"VersionRecognised", "version:2.1", true},
};

class IgnoredLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(IgnoredLineTest, ChangesTheCardOnlyForRecognisedNames) {
  const LineCase& c = GetParam();
  VCARDLIST list{0, nullptr};
  PROPERTY begin{};
  ASSERT_EQ(vCard_RecogData("BEGIN:VCARD", "", &begin, &list), 0);
  ASSERT_EQ(list.cardCount, 1U);
  const std::string before = list.cardArray[0].cardText;
  PROPERTY prop{};
  EXPECT_EQ(vCard_RecogData(c.line, "", &prop, &list), 0);
  EXPECT_EQ(std::string(list.cardArray[0].cardText) != before, c.changesCard);
  EXPECT_EQ(prop.isTarget != 0, c.changesCard);
  EXPECT_EQ(list.cardArray[0].isError, 0);
  vCard_ReleaseData(&list, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Lines, IgnoredLineTest, testing::ValuesIn(kLineCases), CaseName());

// The output writer's UTF-16LE against the platform's encoder.
struct EncodeCase {
  const char* name;
  std::string utf8;
};

const EncodeCase kEncodeCases[] = {
    {"Empty", ""},
    {"Ascii", "BEGIN:VCARD\r\n"},
    {"TwoByte", "é ß ©"},
    {"ThreeByte", "山田 ﾔﾏﾀﾞ ・"},
    {"Astral", "😀𠮷"},
    {"MarkInside",
     "\xEF\xBB\xBF"
     "a"},
    {"IllFormed", "a\xC3"},
    {"EncodedSurrogate", "\xED\xA0\x80"},
    {"Overlong", "\xC0\xAF"},
    {"OverlongThreeByte", "\xE0\x80\x80"},
    {"OverlongFourByte", "\xF0\x80\x80\x80"},
    {"AboveUnicode", "\xF4\x90\x80\x80"},
    {"LastCharacter", "\xF4\x8F\xBF\xBF"},
    {"TruncatedFourByte", "ok\xF0\x9F\x98"},
    {"LoneContinuation",
     "a\x80"
     "b"},
    {"AfterGoodText", "山田太郎\xFF"},
};

class OutputEncodingTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(OutputEncodingTest, MatchesThePlatformEncoder) {
  const EncodeCase& c = GetParam();
  std::string direct = "prefix";
  const bool ok = vcard::detail::appendUTF16LE(c.utf8, &direct);
  const auto text = platform::fromUTF8(c.utf8);
  ASSERT_EQ(ok, text.has_value());
  if (!ok) {
    EXPECT_EQ(direct, "prefix");
    return;
  }
  EXPECT_EQ(direct, "prefix" + platform::encode(*text, platform::Encoding::UTF16LE).value());
}

INSTANTIATE_TEST_SUITE_P(Texts, OutputEncodingTest, testing::ValuesIn(kEncodeCases), CaseName());

}  // namespace
