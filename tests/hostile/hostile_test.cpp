// Hostile source files, each converted end to end: no crash, a result from
// the fixed set, the source byte for byte unchanged, and either a complete
// output file or none.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "hostile_support.h"
#include "param_names.h"
#include "vcard.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using testsupport::readBytes;
using testsupport::writeBytes;

std::string repeat(const std::string& piece, std::size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i)
    out += piece;
  return out;
}

std::string card(const std::string& body) {
  return "BEGIN:VCARD\r\nVERSION:2.1\r\n" + body + "END:VCARD\r\n";
}

struct HostileCase {
  const char* name;
  std::function<std::string()> make;
  // What the result must be beyond the common checks: an alert, "" for a
  // success, or nullptr when any sound result will do.
  const char* expectedAlert;
};

const HostileCase kCases[] = {
    {"ZeroBytes", [] { return std::string(); }, ""},
    {"OnlyUtf8Mark", [] { return std::string("\xEF\xBB\xBF"); }, ""},
    {"OnlyUtf16Mark", [] { return std::string("\xFF\xFE"); }, ""},
    {"BigEndianMark", [] { return std::string("\xFE\xFF\0B\0E", 6); }, ""},
    {"BigEndianMarkOddLength", [] { return std::string("\xFE\xFF\0B\0", 5); }, ""},
    // Old Mac line ends over many cards, and a Japanese file with a bad
    // byte in every card: each read in one pass.
    {"CarriageReturnsOnly",
     [] { return repeat("BEGIN:VCARD\rVERSION:2.1\rN:a;b\rEND:VCARD\r", 50000); }, ""},
    {"StrayByteInEveryCard", [] { return repeat(card("N:\x8E\x52\xFF\x93\x63\r\n"), 50000); }, ""},
    {"OddLengthUtf16Le",
     [] { return std::string("\xFF\xFE", 2) + std::string("B\0E\0G\0I\0N\0:", 11); }, nullptr},
    {"ShiftJisLeadByteAtEnd", [] { return card("N:a\r\n") + "N:\x93"; }, nullptr},
    {"QuotedPrintableEqualsLast",
     [] {
       return card("NOTE;ENCODING=QUOTED-PRINTABLE:abc=\r\n").substr(0) +
              "NOTE;ENCODING=QUOTED-PRINTABLE:=";
     },
     nullptr},
    {"QuotedPrintableEqualsOneDigit",
     [] { return card("NOTE;ENCODING=QUOTED-PRINTABLE:ab=4\r\n"); }, ""},
    {"SoftBreakOnLastLine",
     [] {
       return std::string("BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE;ENCODING=QUOTED-PRINTABLE:abc=");
     },
     ""},
    {"SingleLine64MiB", [] { return std::string(64u << 20, 'A'); }, ""},
    {"MillionEmptyLines", [] { return repeat("\r\n", 1000000); }, ""},
    {"BeginsWithoutEnd", [] { return repeat("BEGIN:VCARD\r\n", 100000); }, ""},
    {"TwoHundredGroupedAddresses",
     [] { return card(repeat("ADR;DOM:;;1-2-3;Tokyo;;100-0001;JP\r\n", 200)); }, ""},
    {"IllFormedUtf8AfterMark",
     [] { return "\xEF\xBB\xBF" + card("N:\xC3\x28\xE3\x81;\xFF\r\nNOTE:\xED\xA0\x80\r\n"); }, ""},
    {"LoneSurrogatesUtf16Le",
     [] {
       const std::string text = card("N:ab\r\n");
       std::string bytes("\xFF\xFE", 2);
       for (char c : text) {
         bytes += c;
         bytes += '\0';
         if (c == 'a') bytes += std::string("\x00\xD8", 2);  // high surrogate alone
         if (c == 'b') bytes += std::string("\x00\xDC", 2);  // low surrogate alone
       }
       return bytes;
     },
     nullptr},
    {"NulBytesEverywhere",
     [] {
       std::string bytes = card("N:a\0b;c\r\nTEL\0;CELL:1\r\nEMAIL:\0\r\n");
       // One character inserted, not a string: inserting a string at the
       // front sends GCC 12 at -O3 into a false -Wrestrict.
       bytes.insert(bytes.begin() + 5, '\0');
       return bytes;
     },
     nullptr},
    {"CarriageReturnOnlyLineEnds",
     [] { return std::string("BEGIN:VCARD\rVERSION:2.1\rN:a;b\rEND:VCARD\r"); }, ""},
    {"HalfwidthKatakanaMiB",
     [] { return card("SOUND:" + repeat("\xCA\xDF\xB3\xDE", 1u << 18) + ";\xC0\xDB\xB3\r\n"); },
     ""},
    {"DeepParameterList", [] { return card("TEL" + repeat(";CELL", 200000) + ":1\r\n"); }, ""},
    {"ManyDelimiters", [] { return card("N:" + repeat(";", 1u << 20) + "\r\n"); }, ""},
    {"ManyEscapes", [] { return card("NOTE:" + repeat("\\;", 1u << 19) + "\r\n"); }, ""},
    {"ManyFolds", [] { return card("NOTE:a" + repeat("\r\n b", 1u << 18) + "\r\n"); }, ""},
    {"ManySoftBreaks",
     [] { return card("NOTE;ENCODING=QUOTED-PRINTABLE:" + repeat("=41=\r\n", 1u << 18) + "\r\n"); },
     ""},
    // Read by the charset detector's single-byte guess rather than refused.
    {"NeitherUtf8NorShiftJis", [] { return std::string("BEGIN:VCARD\r\nN:\x85\x40\xA0\xFD\r\n"); },
     ""},
    {"NothingDecodes", [] { return std::string("\xFF\xFD\xFE\xFC"); },
     testsupport::kCannotReadAlert},
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const HostileCase& c, std::ostream* os) {
  *os << c.name;
}

class HostileFileTest : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileFileTest, ConvertsSafelyAndLeavesSourceUntouched) {
  const HostileCase& c = GetParam();
  testsupport::TempDir folder;
  const std::string source = folder.path() + "/source.vcf";
  const std::string output = folder.path() + "/PC→iPhone.vcf";
  const std::string bytes = c.make();
  writeBytes(source, bytes);

  const std::array<std::string, 2> result = vCardConvert(source.c_str(), output.c_str());

  EXPECT_TRUE(readBytes(source) == bytes) << "the source file changed";
  hostile::expectSoundResult(result, output);
  if (c.expectedAlert != nullptr) {
    EXPECT_EQ(result[0], c.expectedAlert);
  }
}

INSTANTIATE_TEST_SUITE_P(Hostile, HostileFileTest, testing::ValuesIn(kCases), CaseName());

}  // namespace
