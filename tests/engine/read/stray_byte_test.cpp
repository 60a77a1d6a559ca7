// One damaged byte in a real Japanese export: the file keeps its encoding,
// and every card but the one holding the byte comes out as it did whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "ascii_letters.h"
#include "convert.h"
#include "peer_compare.h"
#include "test_support.h"
#include "utf8.h"
#include "vcard_report.h"

namespace {

using testsupport::TempDir;

struct Conversion {
  std::string encoding;
  std::vector<std::string> cards;  // each card's output lines, joined
};

Conversion convert(const std::string& source, const std::string& output) {
  vcard::ConversionReport report;
  (void)vCardConvert(source.c_str(), output.c_str(), &report);
  Conversion result{report.source.encoding, {}};
  std::string card;
  for (const std::string& line : enginetest::outputLines(testsupport::readBytes(output))) {
    card += line + "\n";
    if (line == "END:VCARD") result.cards.push_back(std::move(card)), card.clear();
  }
  return result;
}

// Offsets inside property values (not BEGIN, END or VERSION lines), where a
// damaged byte leaves the card's frame alone, with the card each lies in.
struct Spot {
  std::size_t offset;
  std::size_t card;
};

std::vector<Spot> valueSpots(std::string_view bytes) {
  std::vector<Spot> spots;
  std::size_t cards = 0;
  for (std::size_t start = 0; start < bytes.size();) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    const std::string_view line = bytes.substr(start, end - start);
    const auto is = [&](std::string_view word) {
      return line.size() >= word.size() &&
             platform::asciiUpperEquals(line.substr(0, word.size()), word);
    };
    if (is("BEGIN:VCARD")) ++cards;
    const std::size_t colon = line.find(':');
    if (cards > 0 && colon != std::string_view::npos && !is("BEGIN:") && !is("END:") &&
        !is("VERSION:") && line.front() != ' ') {
      for (std::size_t at = start + colon + 1; at <= start + line.size(); ++at)
        spots.push_back({at, cards - 1});
    }
    start = end + 1;
  }
  return spots;
}

bool isJapanese(const std::string& encoding, const std::string& bytes) {
  return encoding == "Shift_JIS" || (encoding == "UTF-8" && utf::containsCJKLeadByte(bytes));
}

TEST(StrayByteTest, OneBadByteChangesOnlyItsCard) {
  const std::filesystem::path root = PEER_DATA_DIR;
  const std::vector<std::filesystem::path> files = peer::peerFiles(root);
  if (files.empty()) GTEST_SKIP() << "no peer vCard files under " << root.string();
  TempDir dir;
  const std::string output = dir.file("out.vcf");
  const std::string damaged = dir.file("damaged.vcf");
  int swept = 0;
  for (const std::filesystem::path& file : files) {
    const std::string bytes = testsupport::readBytes(file.string());
    const Conversion whole = convert(file.string(), output);
    if (!isJapanese(whole.encoding, bytes) || whole.cards.empty()) continue;
    ++swept;
    const std::vector<Spot> spots = valueSpots(bytes);
    const std::size_t step = std::max<std::size_t>(1, spots.size() / 50);
    for (std::size_t i = 0; i < spots.size(); i += step) {
      const Spot spot = spots[i];
      std::string copy = bytes;
      copy.insert(spot.offset, 1, '\xFF');
      testsupport::writeBytes(damaged, copy);
      const Conversion got = convert(damaged, output);
      SCOPED_TRACE(file.filename().string() + " at " + std::to_string(spot.offset));
      EXPECT_EQ(got.encoding, whole.encoding);
      ASSERT_EQ(got.cards.size(), whole.cards.size());
      for (std::size_t card = 0; card < whole.cards.size(); ++card) {
        if (card == spot.card) continue;
        EXPECT_EQ(got.cards[card], whole.cards[card]) << "card " << card;
      }
    }
  }
  EXPECT_GE(swept, 10) << "the Japanese peer exports were not found";
}

}  // namespace
