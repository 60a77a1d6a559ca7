// Line folding: where lines are cut, and that the size counted for a line is
// the size written for it.
#include "write/line_fold.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <string_view>

#include "param_names.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;
using vcard::detail::appendFolded;
using vcard::detail::asciiFoldedCapacity;
using vcard::detail::foldedSize;
using vcard::detail::kFoldWidth;

std::string repeat(std::string_view piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i)
    text.append(piece);
  return text;
}

std::string ascii(std::size_t n) {
  return std::string(n, 'A');
}

constexpr std::string_view kA = "\xE3\x81\x82";         // "あ"
constexpr std::string_view kGrin = "\xF0\x9F\x98\x80";  // U+1F600
constexpr std::string_view kStray = "\x80";             // no lead byte

struct FoldCase {
  std::string_view name;
  std::string line;
  std::string folded;
};

const FoldCase kFoldCases[] = {
    {"Empty", "", "\r\n"},
    {"Ascii74", ascii(74), ascii(74) + "\r\n"},
    {"Ascii75", ascii(75), ascii(75) + "\r\n"},
    {"Ascii76", ascii(76), ascii(75) + "\r\n A\r\n"},
    {"Ascii149", ascii(149), ascii(75) + "\r\n " + ascii(74) + "\r\n"},
    {"Ascii150", ascii(150), ascii(75) + "\r\n " + ascii(74) + "\r\n A\r\n"},
    // The three bytes of "あ" at octets 75 to 77: the cut moves before them.
    {"ThreeBytesStraddleTheWidth", ascii(74) + std::string(kA),
     ascii(74) + "\r\n " + std::string(kA) + "\r\n"},
    // The same on a continuation line, which holds one octet less.
    {"ThreeBytesStraddleTheSecondLine", ascii(148) + std::string(kA),
     ascii(75) + "\r\n " + ascii(73) + "\r\n " + std::string(kA) + "\r\n"},
    // Twenty 4-byte characters: 18 fit in 75 octets.
    {"FourByteCharacters", repeat(kGrin, 20),
     repeat(kGrin, 18) + "\r\n " + repeat(kGrin, 2) + "\r\n"},
    // Bytes that are not UTF-8 give no boundary: cut at the width.
    {"NoBoundary", repeat(kStray, 80), repeat(kStray, 75) + "\r\n " + repeat(kStray, 5) + "\r\n"},
    // "B" at octet 2 is the only boundary before the width: it is taken,
    // however short the line it leaves.
    {"OnlyBoundaryNearTheStart", "AB" + repeat(kStray, 80),
     "A\r\n B" + repeat(kStray, 73) + "\r\n " + repeat(kStray, 7) + "\r\n"},
};

class LineFoldTest : public testing::TestWithParam<FoldCase> {};

TEST_P(LineFoldTest, CutsAtTheWidthOutsideSequences) {
  const FoldCase& c = GetParam();
  std::string out = "x";
  appendFolded(c.line, &out);
  EXPECT_EQ(out, "x" + c.folded);
  EXPECT_EQ(foldedSize(c.line), c.folded.size());
}

INSTANTIATE_TEST_SUITE_P(Lines, LineFoldTest, testing::ValuesIn(kFoldCases), CaseName());

// A line of ASCII, 2-, 3- and 4-byte characters and stray bytes.
std::string generatedLine(std::mt19937* random) {
  static constexpr std::string_view kPieces[] = {"A", "\xC3\xA9", kA, kGrin, kStray, "\xE3"};
  std::uniform_int_distribution<std::size_t> length(0, 400);
  std::uniform_int_distribution<std::size_t> piece(0, std::size(kPieces) - 1);
  std::string line;
  for (std::size_t n = length(*random); line.size() < n;)
    line.append(kPieces[piece(*random)]);
  return line;
}

TEST(LineFoldTest, CountsWhatItWritesAndWritesTheLineWhole) {
  std::mt19937 random(20240601);
  for (int i = 0; i < 5000; ++i) {
    const std::string line = generatedLine(&random);
    std::string out;
    appendFolded(line, &out);
    ASSERT_EQ(foldedSize(line), out.size()) << "line " << i;
    // Unfolded again (CR LF and one blank removed), the line comes back;
    // no physical line is wider than the width.
    std::string unfolded;
    std::size_t start = 0;
    for (bool first = true; start < out.size(); first = false) {
      const std::size_t end = out.find("\r\n", start);
      ASSERT_NE(end, std::string::npos);
      ASSERT_LE(end - start, kFoldWidth) << "line " << i;
      if (!first) {
        ASSERT_EQ(out[start], ' ');
        ++start;
      }
      unfolded.append(out, start, end - start);
      start = end + 2;
    }
    ASSERT_EQ(unfolded, line) << "line " << i;
  }
}

TEST(LineFoldTest, AsciiCapacityFitsTheBound) {
  EXPECT_EQ(asciiFoldedCapacity(0), 0U);
  EXPECT_EQ(asciiFoldedCapacity(84), 0U);
  EXPECT_EQ(asciiFoldedCapacity(85), 74U);
  EXPECT_EQ(asciiFoldedCapacity(256'000), 245'976U);
  for (std::size_t bytes = 85; bytes < 3000; ++bytes) {
    const std::size_t capacity = asciiFoldedCapacity(bytes);
    ASSERT_LE(foldedSize(ascii(capacity)), bytes) << bytes;
    // No more than a line's worth is given away.
    ASSERT_GT(foldedSize(ascii(capacity + 2 * kFoldWidth)), bytes) << bytes;
  }
}

}  // namespace
