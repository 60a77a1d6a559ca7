// The report as a person reads it, over real exports of other programs and
// phones and over a few files made to the point: characters a person types
// and nothing invisible (the text goes to terminals, JSON documents and a
// page, where it is searched and copied), counts that add up with the
// log's, and no count of nothing in the summary line.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "files.h"
#include "memory_convert.h"
#include "param_names.h"
#include "peer_compare.h"
#include "vcard_report.h"

namespace {

using namespace std::string_literals;

// The code points of UTF-8 text; a byte that begins none counts as U+FFFD.
std::vector<char32_t> codePoints(std::string_view text) {
  std::vector<char32_t> points;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead >= 0x80 && lead < 0xC0) {
      points.push_back(0xFFFD);
      ++i;
      continue;
    }
    char32_t point = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (std::size_t k = 1; k < length && i + k < text.size(); ++k)
      point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    points.push_back(point);
    i += length;
  }
  return points;
}

// What a terminal or a page shows as nothing, or as a blank that is no
// blank: controls but the line feed, no-break and narrow spaces, the soft
// hyphen, zero-width characters, joiners, separators and the byte-order
// mark.
bool isInvisible(char32_t c) {
  return (c < 0x20 && c != '\n') || (c >= 0x7F && c <= 0x9F) || c == 0xA0 || c == 0xAD ||
         (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) ||
         (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF;
}

// The number after label on the summary line; nothing when it is absent.
std::optional<std::uint64_t> summaryCount(const std::string& summary, std::string_view label) {
  const std::size_t at = summary.find(label);
  if (at == std::string::npos) return std::nullopt;
  return std::stoull(summary.substr(at + label.size()));
}

// Checks one run's report against its log; label names the run.
void expectPlainAndAddingUp(const vcard::MemoryConversion& conversion, const std::string& label) {
  const vcard::ConversionReport& report = conversion.report;
  const std::string text = vcard::reportText(report);
  for (const char32_t c : codePoints(text)) {
    EXPECT_FALSE(isInvisible(c)) << label << ": U+" << std::hex << static_cast<std::uint32_t>(c)
                                 << " in\n"
                                 << text;
  }
  if (!report.loaded || text.empty() || report.noCardFound) return;

  std::uint64_t cutOff = 0;
  for (const vcard::SkippedCard& card : report.skipped)
    cutOff += card.reason == vcard::SkipReason::NeverClosed ? 1 : 0;
  const std::uint64_t leftOut = report.skipped.size() - cutOff;
  // Every card that ended was written or left out.
  EXPECT_EQ(report.inCount, report.outCount + leftOut) << label << "\n" << text;
  const std::string summary = text.substr(0, text.find('\n'));
  EXPECT_EQ(summary.find(" 0件"), std::string::npos) << label << ": " << summary;
  EXPECT_EQ(summaryCount(summary, "書き出さなかったカード "),
            leftOut == 0 ? std::nullopt : std::optional(leftOut))
      << label << ": " << summary;
  EXPECT_EQ(summaryCount(summary, "途中で切れたカード "),
            cutOff == 0 ? std::nullopt : std::optional(cutOff))
      << label << ": " << summary;
  // The log's counts are the report's.
  if (conversion.result[0].empty() && report.outCount != 0) {
    EXPECT_NE(
        conversion.result[1].find("入力データ：" + std::to_string(report.inCount) +
                                  "件、　出力データ：" + std::to_string(report.outCount) + "件"),
        std::string::npos)
        << label << ": " << conversion.result[1];
  }
}

TEST(ReportWordsTest, PlainAndAddingUpOverPeerExports) {
  const std::filesystem::path root = PEER_DATA_DIR;
  const auto files = peer::peerFiles(root);
  if (files.empty()) GTEST_SKIP() << "no peer vCard files under " << root.string();
  int reports = 0;
  for (const auto& path : files) {
    const std::string bytes = testsupport::readBytes(path.string());
    for (const vcard::Target target : {vcard::Target::IPhone, vcard::Target::ICloud}) {
      vcard::ConvertOptions options;
      options.target = target;
      const vcard::MemoryConversion conversion = vcard::convertBytes(bytes, options);
      reports += vcard::reportText(conversion.report).empty() ? 0 : 1;
      expectPlainAndAddingUp(conversion, path.filename().string() +
                                             (target == vcard::Target::ICloud ? " (iCloud)" : ""));
    }
  }
  // The exports lose something often enough for the checks to mean much.
  EXPECT_GT(reports, 40);
}

struct WordsCase {
  std::string name;
  std::string source;
  std::string summary;  // the report's first line
  std::string log;      // the log's counts line
};

const WordsCase kWordsCases[] = {
    // Four cards: one written, a group and an unknown version left out, and
    // one the file cuts off, which the log does not count as read.
    {"FourCardsOneCutOff",
     "BEGIN:VCARD\r\nVERSION:3.0\r\nN:a;b\r\nEND:VCARD\r\n"
     "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:家族\r\nEND:VCARD\r\n"
     "BEGIN:VCARD\r\nVERSION:5.0\r\nN:c;d\r\nEND:VCARD\r\n"
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN:e;f\r\n",
     "【変換レポート】書き出さなかったカード 2件／途中で切れたカード "
     "1件（入力データに数えていません）",
     "入力データ：3件、　出力データ：1件"},
    // Only properties lost: no count of cards at all.
    {"OnlyProperties", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:a;b\r\nX-GN:x\r\nREV:1\r\nEND:VCARD\r\n",
     "【変換レポート】iPhone が取り込まない項目 2件", "入力データ：1件、　出力データ：1件"},
    // Only a fact of the file: the summary line counts nothing.
    {"OnlyZeroBytes", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:a\0\0;b\r\nEND:VCARD\r\n"s,
     "【変換レポート】", "入力データ：1件、　出力データ：1件"},
};

void PrintTo(const WordsCase& c, std::ostream* os) {
  *os << c.name;
}

class ReportWordsCaseTest : public testing::TestWithParam<WordsCase> {};

TEST_P(ReportWordsCaseTest, SaysOnlyWhatHappenedInCountsThatAddUp) {
  const vcard::MemoryConversion conversion = vcard::convertBytes(GetParam().source, {});
  const std::string text = vcard::reportText(conversion.report);
  EXPECT_EQ(text.substr(0, text.find('\n')), GetParam().summary) << text;
  EXPECT_NE(conversion.result[1].find(GetParam().log), std::string::npos) << conversion.result[1];
  expectPlainAndAddingUp(conversion, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Files, ReportWordsCaseTest, testing::ValuesIn(kWordsCases),
                         testsupport::CaseName());

}  // namespace
