// Line analysis: physical lines, logical lines and card counting.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "param_names.h"
#include "test_support.h"
#include "vcard.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using testsupport::TempDir;

struct CheckLineCase {
  std::string_view name;
  std::vector<const char*> lines;  // nullptr: end of input
  std::vector<std::uint64_t> statuses;
  std::string propText;
};

const CheckLineCase kCheckLineCases[] = {
    {"FoldedWithSpace",
     {"NOTE:abc", " def", "TEL:1"},
     {PROP_OPEN, PROP_OPEN, PROP_DONE_REREAD},
     "NOTE:abc\r\n def"},
    {"FoldedWithTab",
     {"NOTE:abc", "\tdef", nullptr},
     {PROP_OPEN, PROP_OPEN, PROP_DONE},
     "NOTE:abc\r\n\tdef"},
    {"SoftLineBreakJoinsDirectly",
     {"NOTE;ENCODING=QUOTED-PRINTABLE:=E3=81=82=", "=E3=81=84", nullptr},
     {PROP_OPEN, PROP_OPEN, PROP_DONE},
     "NOTE;ENCODING=QUOTED-PRINTABLE:=E3=81=82=E3=81=84"},
    {"SoftLineBreakThenEmptyLine",
     {"NOTE;ENCODING=QUOTED-PRINTABLE:abc=", "", "TEL:1"},
     {PROP_OPEN, PROP_OPEN, PROP_DONE_REREAD},
     "NOTE;ENCODING=QUOTED-PRINTABLE:abc"},
    // Complete, but a folded line may still follow: the next line decides.
    {"QuotedPrintableCompleteByItself",
     {"NOTE;ENCODING=QUOTED-PRINTABLE:abc", "TEL:1"},
     {PROP_OPEN, PROP_DONE_REREAD},
     "NOTE;ENCODING=QUOTED-PRINTABLE:abc"},
    // The value written on the next, indented line: the indent is no text.
    {"QuotedPrintableValueOnFoldedLine",
     {"N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:", "  =52=C3=BC=63=6B=65=72;=54=68=6F=6D=61=73;;;",
      "TEL:1"},
     {PROP_OPEN, PROP_OPEN, PROP_DONE_REREAD},
     "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=52=C3=BC=63=6B=65=72;=54=68=6F=6D=61=73;;;"},
    {"QuotedPrintableValueOnTabFoldedLine",
     {"N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:", "\t=52=C3=BC=63=6B=65=72;=54", nullptr},
     {PROP_OPEN, PROP_OPEN, PROP_DONE},
     "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=52=C3=BC=63=6B=65=72;=54"},
    // Folded where the text had white space: the run of blanks is one blank.
    {"QuotedPrintableFoldAfterText",
     {"NOTE;ENCODING=QUOTED-PRINTABLE:Main", " \t Street", nullptr},
     {PROP_OPEN, PROP_OPEN, PROP_DONE},
     "NOTE;ENCODING=QUOTED-PRINTABLE:Main Street"},
    // After a soft line break the next line is the value's text as it is.
    {"SoftLineBreakThenIndentedLine",
     {"NOTE;ENCODING=QUOTED-PRINTABLE:=E3=81=82=", "  =E3=81=84", "TEL:1"},
     {PROP_OPEN, PROP_OPEN, PROP_DONE_REREAD},
     "NOTE;ENCODING=QUOTED-PRINTABLE:=E3=81=82  =E3=81=84"},
    {"QuotedPrintableFoldThenSoftLineBreak",
     {"N;ENCODING=QUOTED-PRINTABLE:", " =41=", "=42", " ;=43", nullptr},
     {PROP_OPEN, PROP_OPEN, PROP_OPEN, PROP_OPEN, PROP_DONE},
     "N;ENCODING=QUOTED-PRINTABLE:=41=42 ;=43"},
    // Trailing white space of a quoted-printable line is no text.
    {"QuotedPrintableBlankFoldAddsNothing",
     {"NOTE;ENCODING=QUOTED-PRINTABLE:abc", " \t", "TEL:1"},
     {PROP_OPEN, PROP_OPEN, PROP_DONE_REREAD},
     "NOTE;ENCODING=QUOTED-PRINTABLE:abc"},
    {"EmptyLineEndsFoldedProperty", {"NOTE:a", ""}, {PROP_OPEN, PROP_DONE_REREAD}, "NOTE:a"},
    {"EndOfInputCompletes", {"TEL:1", nullptr}, {PROP_OPEN, PROP_DONE}, "TEL:1"},
    {"NothingPending", {nullptr}, {PROP_IDLE}, ""},
};

class CheckLineTest : public testing::TestWithParam<CheckLineCase> {};

TEST_P(CheckLineTest, AssemblesLogicalLine) {
  const CheckLineCase& c = GetParam();
  ASSERT_EQ(c.lines.size(), c.statuses.size());
  PROPERTY prop{};
  for (std::size_t i = 0; i < c.lines.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(vCard_CheckLine(c.lines[i], &prop), 0);
    EXPECT_EQ(prop.lineStatus, c.statuses[i]);
  }
  EXPECT_EQ(std::string(prop.propText != nullptr ? prop.propText : ""), c.propText);
  std::free(prop.propText);
}

INSTANTIATE_TEST_SUITE_P(Lines, CheckLineTest, testing::ValuesIn(kCheckLineCases), CaseName());

struct AnalysCase {
  std::string_view name;
  std::string text;
  std::uint64_t cardCount;
  std::uint64_t inCount;
  std::uint64_t outCount;
  std::string output;  // expected output after FF FE, as UTF-8 with LF
};

const AnalysCase kAnalysCases[] = {
    {"EmptyText", "", 0, 0, 0, ""},
    {"BeginThenEnd", "BEGIN:VCARD\nEND:VCARD\n", 1, 1, 1, "BEGIN:VCARD\nEND:VCARD\n"},
    {"CrLfBreaks", "BEGIN:VCARD\r\nTEL:1\r\nEND:VCARD\r\n", 1, 1, 1,
     "BEGIN:VCARD\nTEL:1\nEND:VCARD\n"},
    {"CrCrLfBreaks", "BEGIN:VCARD\r\r\nTEL:1\r\r\nEND:VCARD\r\r\n", 1, 1, 1,
     "BEGIN:VCARD\nTEL:1\nEND:VCARD\n"},
    {"LastLineWithoutBreak", "BEGIN:VCARD\nTEL:1\nEND:VCARD", 1, 1, 1,
     "BEGIN:VCARD\nTEL:1\nEND:VCARD\n"},
    // A lone CR ends no line; inside the value it is written as a fold.
    {"LoneCrIsNoBreak", "BEGIN:VCARD\nNOTE:a\rb\nEND:VCARD\n", 1, 1, 1,
     "BEGIN:VCARD\nNOTE:a\n b\nEND:VCARD\n"},
    {"TwoBeginsOneEnd", "BEGIN:VCARD\nN:A;;;;\nBEGIN:VCARD\nN:B;;;;\nEND:VCARD\n", 2, 1, 1,
     "BEGIN:VCARD\nN:B;;;;\nEND:VCARD\n"},
    {"PropertyBetweenCards", "BEGIN:VCARD\nEND:VCARD\nTEL:1\nBEGIN:VCARD\nEND:VCARD\n", 2, 2, 2,
     "BEGIN:VCARD\nEND:VCARD\nBEGIN:VCARD\nEND:VCARD\n"},
    {"SecondEndIgnored", "BEGIN:VCARD\nEND:VCARD\nEND:VCARD\n", 1, 1, 1,
     "BEGIN:VCARD\nEND:VCARD\n"},
    {"UnclosedCard", "BEGIN:VCARD\nTEL:1\n", 1, 0, 0, ""},
    {"RejectedCardCountedAsRead", "BEGIN:VCARD\nVERSION:5.0\nEND:VCARD\n", 1, 1, 0, ""},
    // A folded continuation of the end line is part of it, so it no longer
    // closes the card.
    {"FoldedEndLineDoesNotClose", "BEGIN:VCARD\nEND:VCARD\n x\n", 1, 0, 0, ""},
    // A property is split from its first line only while that line is all
    // of it; a fold or a soft line break makes the whole text count.
    {"FoldedValueSplitWhole", "BEGIN:VCARD\nNOTE:a\n b;c\nEND:VCARD\n", 1, 1, 1,
     "BEGIN:VCARD\nNOTE:a\n b;c\nEND:VCARD\n"},
    {"SoftBreakValueSplitWhole",
     "BEGIN:VCARD\nNOTE;ENCODING=QUOTED-PRINTABLE:=41=\n;=42\nEND:VCARD\n", 1, 1, 1,
     "BEGIN:VCARD\nNOTE:A;B\nEND:VCARD\n"},
    // Property texts reuse one block: a shorter text after a longer one
    // keeps none of its bytes, and a very long one is let go.
    {"ShorterPropertyAfterLonger", "BEGIN:VCARD\nNOTE:abcdefghij\nTEL:1\nEND:VCARD\n", 1, 1, 1,
     "BEGIN:VCARD\nNOTE:abcdefghij\nTEL:1\nEND:VCARD\n"},
    {"PropertyAfterVeryLongOne",
     "BEGIN:VCARD\nNOTE:" + std::string(70000, 'x') + "\nTEL:1\nEND:VCARD\n", 1, 1, 1,
     "BEGIN:VCARD\nNOTE:" + std::string(70000, 'x') + "\nTEL:1\nEND:VCARD\n"},
    {"LowerCaseCardLines", "begin:vcard\nTEL:1\nend:vcard\n", 1, 1, 1,
     "begin:vcard\nTEL:1\nend:vcard\n"},
    // Blanks after a card line, and punctuation after an end line, are left
    // out; the card keeps the line's own letter case.
    {"EndLineWithDot", "BEGIN:VCARD\r\nTEL:1\r\nEND:VCARD.", 1, 1, 1,
     "BEGIN:VCARD\nTEL:1\nEND:VCARD\n"},
    {"EndLineWithBlanks", "BEGIN:VCARD\r\nTEL:1\r\nEND:VCARD \t \r\nBEGIN:VCARD\r\nEND:VCARD\r\n",
     2, 2, 2, "BEGIN:VCARD\nTEL:1\nEND:VCARD\nBEGIN:VCARD\nEND:VCARD\n"},
    {"LowerCaseEndLineWithSemicolon", "BEGIN:VCARD\nTEL:1\nend:vcard;\n", 1, 1, 1,
     "BEGIN:VCARD\nTEL:1\nend:vcard\n"},
    {"BeginLineWithBlanks", "BEGIN:VCARD  \t\nTEL:1\nEND:VCARD\n", 1, 1, 1,
     "BEGIN:VCARD\nTEL:1\nEND:VCARD\n"},
    {"EndLineWithLetterAfterDoesNotClose", "BEGIN:VCARD\nTEL:1\nEND:VCARDX\n", 1, 0, 0, ""},
    {"EndLineWithWordAfterDoesNotClose", "BEGIN:VCARD\nTEL:1\nEND:VCARD foo\n", 1, 0, 0, ""},
    {"BeginLineWithDotDoesNotOpen", "BEGIN:VCARD.\nTEL:1\nEND:VCARD\n", 0, 0, 0, ""},
    // A phone writes the quoted-printable value folded after the colon.
    {"QuotedPrintableNameOnFoldedLine",
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:\r\n"
     "  =52=C3=BC=63=6B=65=72;=54=68=6F=6D=61=73;;;\r\nTEL:1\r\nEND:VCARD.\r\n",
     1, 1, 1, "BEGIN:VCARD\nVERSION:2.1\nN:Rücker;Thomas;;;\nTEL:1\nEND:VCARD\n"},
    {"QuotedPrintableNameOnTabFoldedLine",
     "BEGIN:VCARD\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:\r\n"
     "\t=52=C3=BC=63=6B=65=72;=54=68=6F=6D=61=73;;;\r\nEND:VCARD\r\n",
     1, 1, 1, "BEGIN:VCARD\nN:Rücker;Thomas;;;\nEND:VCARD\n"},
    {"SoftLineBreakThenIndentedLine",
     "BEGIN:VCARD\r\nNOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E3=81=82=\r\n"
     "  =E3=81=84\r\nEND:VCARD\r\n",
     1, 1, 1, "BEGIN:VCARD\nNOTE:あ  い\nEND:VCARD\n"},
};

class AnalysTest : public testing::TestWithParam<AnalysCase> {};

TEST_P(AnalysTest, CountsAndWritesCards) {
  const AnalysCase& c = GetParam();
  TempDir dir;
  const std::string output = dir.file("out.vcf");
  ASSERT_EQ(Output_CreateFile(output.c_str()), 1);
  std::free(dstFile);
  dstFile = strdup(output.c_str());

  VCARDLIST list{0, nullptr};
  std::uint64_t inCount = 99;
  std::uint64_t outCount = 99;
  EXPECT_EQ(vCard_AnalysData(c.text.c_str(), &list, &inCount, &outCount), 0);
  EXPECT_EQ(list.cardCount, c.cardCount);
  EXPECT_EQ(inCount, c.inCount);
  EXPECT_EQ(outCount, c.outCount);
  enginetest::expectSameOutput(testsupport::readBytes(output), enginetest::outputForm(c.output));
  EXPECT_EQ(vCard_ReleaseData(&list, nullptr), 0);
  EXPECT_EQ(list.cardArray, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Texts, AnalysTest, testing::ValuesIn(kAnalysCases), CaseName());

}  // namespace
