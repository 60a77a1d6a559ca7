// A large source read in pieces converts exactly as it does loaded whole:
// the same output bytes, result texts and report, whatever the size of the
// pieces; and a source the pieces cannot stand for is loaded whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "convert.h"
#include "lines/line_loop.h"
#include "param_names.h"
#include "peer_compare.h"
#include "platform.h"
#include "read/source_load.h"
#include "read/source_stream.h"
#include "result_texts.h"
#include "test_support.h"
#include "vcard.h"
#include "vcard_report.h"

namespace {

using testsupport::CaseName;
using vcard::detail::SourcePlan;
using vcard::detail::StreamLimits;

constexpr StreamLimits kWhole{UINT64_MAX, 1u << 20};

// Everything a conversion tells: result texts, output bytes, the report in
// text and the source's record.
struct Outcome {
  std::string alert;
  std::string log;
  std::string output;
  std::string report;
  std::string source;
};

Outcome convert(const std::string& source, const std::string& output, vcard::Target target,
                const StreamLimits& limits) {
  vcard::ConvertOptions options;
  options.target = target;
  vcard::ConversionReport report;
  const auto result =
      vcard::detail::convertFile(source.c_str(), output.c_str(), options, &report, limits);
  Outcome outcome{result[0], result[1], testsupport::readBytes(output), vcard::reportText(report),
                  ""};
  const vcard::SourceInfo& info = report.source;
  outcome.source = info.encoding + "/" + std::to_string(static_cast<int>(info.basis)) + "/" +
                   std::to_string(info.zeroBytesDropped) + "/" + std::to_string(info.replaced) +
                   "/" + std::to_string(info.marksDropped) + "/" +
                   std::to_string(static_cast<int>(info.pictograms.carrier)) + "/" +
                   std::to_string(static_cast<int>(info.pictograms.basis)) + "/" +
                   std::to_string(info.japaneseText);
  std::filesystem::remove(output);
  return outcome;
}

void expectSame(const Outcome& pieces, const Outcome& whole) {
  EXPECT_EQ(pieces.alert, whole.alert);
  EXPECT_EQ(pieces.log, whole.log);
  EXPECT_EQ(pieces.output, whole.output);
  EXPECT_EQ(pieces.report, whole.report);
  EXPECT_EQ(pieces.source, whole.source);
}

SourcePlan planOf(const std::string& path, StreamLimits limits) {
  return vcard::detail::SourceStream(path.c_str(), vcard::CarrierChoice::Auto, limits).plan();
}

const std::string kCard = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Good;Card\r\nTEL:1\r\nEND:VCARD\r\n";

struct StreamCase {
  std::string name;
  std::string bytes;
  SourcePlan plan;  // with pieces allowed for every size
};

const StreamCase kStreamCases[] = {
    {"ShiftJISWithKana",
     kCard +
         "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=SHIFT_JIS:\x8E\x52\x93\x63;\x91\xBE\x98\x59\r\n"
         "SOUND;X-IRMC-N;CHARSET=SHIFT_JIS:\xBB\xB2\xC4\xB3;\xC0\xDB\xB3\r\n"
         "NOTE;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:=88=F8=\r\n=9F@\r\nEND:VCARD\r\n" +
         kCard,
     SourcePlan::ShiftJIS},
    {"UTF8WithMark", "\xEF\xBB\xBF" + kCard + "BEGIN:VCARD\r\nN:山田;太郎\r\nEND:VCARD\r\n" + kCard,
     SourcePlan::UTF8},
    {"ASCIIWithLowerCaseEnds",
     "begin:vcard\r\nversion:3.0\r\nn:a;b\r\nend:vcard\r\n" + kCard + "end:vcard\r\n",
     SourcePlan::UTF8},
    {"LineFeedsOnlyAndNoFinalBreak",
     "BEGIN:VCARD\nVERSION:3.0\nN:a;b\nNOTE:x\n y\nEND:VCARD\nBEGIN:VCARD\nN:c;d\nEND:VCARD",
     SourcePlan::UTF8},
    {"RejectedNestedAndCutOff",
     kCard + "BEGIN:VCARD\r\nVERSION:4.0\r\nN:Doe;John\r\nX-GN:g\r\nEND:VCARD\r\n" +
         "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Outer;Card\r\nAGENT:\r\nBEGIN:VCARD\r\nVERSION:9.9\r\n"
         "N:Inner;Card\r\nUID:2\r\nEND:VCARD\r\nLABEL:l\r\nEND:VCARD\r\n" +
         kCard + "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Cut;Off\r\nTEL:1",
     SourcePlan::UTF8},
    {"QuotedPrintableRunsOntoTheEndLine",
     "BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE;ENCODING=QUOTED-PRINTABLE:a=\r\nEND:VCARD\r\n" + kCard,
     SourcePlan::UTF8},
    {"Base64PhotoOverManyLines",
     "BEGIN:VCARD\r\nVERSION:2.1\r\nN:P;Q\r\nPHOTO;ENCODING=BASE64;TYPE=JPEG:" +
         std::string(300, 'A') + "\r\n" + std::string(76, 'B') + "\r\n" + std::string(76, 'C') +
         "\r\n\r\nEND:VCARD\r\n" + kCard,
     SourcePlan::UTF8},
    {"LooseCardLinesAndFoldedQuotedPrintable",
     "BEGIN:VCARD \r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:\r\n"
     "  =52=C3=BC=63=6B=65=72;=54=68=6F=6D=61=73;;;\r\nEND:VCARD  \r\n" +
         kCard + "BEGIN:VCARD\r\nN:a;b\r\nend:vcard;\r\n" + kCard +
         "BEGIN:VCARD\r\nN:c;d\r\nEND:VCARD foo\r\nEND:VCARD.",
     SourcePlan::UTF8},
    {"CarriageReturnsOnly", "BEGIN:VCARD\rN:a;b\rEND:VCARD\r" + kCard, SourcePlan::UTF8},
    // Undeclared E9 74 E9 ("été" in windows-1252) is read as the file shows:
    // Western without Japanese, Shift_JIS once a later piece holds some.
    {"UndeclaredWesternBytes",
     kCard + "BEGIN:VCARD\r\nN;ENCODING=QUOTED-PRINTABLE:=E9t=E9;;;;\r\nEND:VCARD\r\n" + kCard,
     SourcePlan::UTF8},
    {"UndeclaredBytesBeforeJapanese",
     kCard + "BEGIN:VCARD\r\nN;ENCODING=QUOTED-PRINTABLE:=E9t=E9;;;;\r\nEND:VCARD\r\n" + kCard +
         "BEGIN:VCARD\r\nN:山田;太郎\r\nEND:VCARD\r\n",
     SourcePlan::UTF8},
    // What the pieces cannot stand for is loaded whole.
    {"MarkInside", kCard + "\xEF\xBB\xBF" + kCard, SourcePlan::Whole},
    {"ZeroByte", kCard + std::string(1, '\0') + kCard, SourcePlan::Whole},
    {"UTF16LE", std::string("\xFF\xFE", 2) + "B\0E\0", SourcePlan::Whole},
    {"MarkedButIllFormed", "\xEF\xBB\xBF" + kCard + "N:\xFF\r\n" + kCard, SourcePlan::Whole},
    {"WesternDeclared", kCard + "BEGIN:VCARD\r\nN;CHARSET=WINDOWS-1252:M\xFCller\r\nEND:VCARD\r\n",
     SourcePlan::Whole},
    // Shows only while decoding: the conversion starts again, whole.
    {"NeitherUTF8NorShiftJIS", kCard + "BEGIN:VCARD\r\nN:\xA0\x80\xFD\r\nEND:VCARD\r\n",
     SourcePlan::ShiftJIS},
    {"Pictograms",
     "BEGIN:VCARD\r\nVERSION:2.1\r\nX-DCM-GN:x\r\nN;CHARSET=SHIFT_JIS:\x8E\x52\xF8\x9F\r\n"
     "END:VCARD\r\n" +
         kCard,
     SourcePlan::Whole},
};

class StreamCaseTest : public testing::TestWithParam<StreamCase> {
 protected:
  testsupport::TempDir dir_;
};

TEST_P(StreamCaseTest, PiecesOfAnySizeConvertAsTheWholeFile) {
  const StreamCase& c = GetParam();
  const std::string source = dir_.file("in.vcf");
  testsupport::writeBytes(source, c.bytes);
  EXPECT_EQ(planOf(source, StreamLimits{1, 1}), c.plan);

  for (const vcard::Target target : {vcard::Target::IPhone, vcard::Target::ICloud}) {
    const Outcome whole = convert(source, dir_.file("whole.vcf"), target, kWhole);
    for (const std::size_t readSize : {1u, 7u, 64u, 4096u}) {
      SCOPED_TRACE("read size " + std::to_string(readSize));
      // Cards go to the background writer a few at a time, or one by one.
      expectSame(
          convert(source, dir_.file("pieces.vcf"), target, StreamLimits{1, readSize, readSize}),
          whole);
    }
  }
  // The source is only read.
  EXPECT_EQ(testsupport::readBytes(source), c.bytes);
}

// The pieces joined are the text the whole-file loader gives, with its
// record; a run gives up only on bytes that are not strictly Shift_JIS.
TEST_P(StreamCaseTest, PiecesJoinToTheLoadedText) {
  struct Joined final : vcard::detail::PieceSink {
    std::string text;
    std::size_t pieces = 0;
    bool endsAfterLineFeeds = true;
    bool lastSeen = false;
    void piece(std::string_view piece, std::size_t /*rawSize*/, bool last) override {
      if (!last && !piece.ends_with('\n')) endsAfterLineFeeds = false;
      ++pieces;
      lastSeen = last;
      text += piece;
    }
  };
  const StreamCase& c = GetParam();
  const std::string source = dir_.file("in.vcf");
  testsupport::writeBytes(source, c.bytes);
  const vcard::detail::LoadedSource whole =
      vcard::detail::loadFile(source.c_str(), vcard::CarrierChoice::Auto);
  ASSERT_EQ(whole.code, kLoadOK);
  for (const std::size_t readSize : {1u, 7u, 4096u}) {
    SCOPED_TRACE("read size " + std::to_string(readSize));
    vcard::detail::SourceStream stream(source.c_str(), vcard::CarrierChoice::Auto,
                                       StreamLimits{1, readSize});
    Joined joined;
    const vcard::detail::StreamEnd end = stream.run(joined);
    if (c.plan == SourcePlan::Whole) {
      EXPECT_EQ(end, vcard::detail::StreamEnd::NotAsPlanned);
      EXPECT_EQ(joined.pieces, 0u);
      continue;
    }
    if (end == vcard::detail::StreamEnd::NotAsPlanned) {
      EXPECT_FALSE(platform::decodeToUTF8Block(c.bytes, platform::Encoding::ShiftJIS));
      continue;
    }
    ASSERT_EQ(end, vcard::detail::StreamEnd::Done);
    EXPECT_EQ(joined.text, std::string(whole.text.get(), whole.length));
    EXPECT_TRUE(joined.endsAfterLineFeeds);
    EXPECT_TRUE(joined.lastSeen);
    EXPECT_GT(joined.pieces, readSize < 4096 ? 1u : 0u);
    EXPECT_EQ(stream.info().encoding, whole.info.encoding);
    EXPECT_EQ(stream.info().basis, whole.info.basis);
    EXPECT_EQ(stream.info().japaneseText, whole.info.japaneseText);
    EXPECT_EQ(stream.info().pictograms.basis, whole.info.pictograms.basis);
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, StreamCaseTest, testing::ValuesIn(kStreamCases), CaseName());

// The cards of a text fed to a line loop cut at the given line feeds: each
// card's text and flags in the order begun, then the counts.
std::vector<std::string> cardsOf(const std::string& text, const std::vector<std::size_t>& cuts) {
  using namespace vcard::detail;
  const vcard::ConvertOptions options;
  const vcard::SourceInfo source;
  FileStore store;
  Output output(store, options, nullptr);
  ReportNotes notes(nullptr, source);
  ProgressMeter progress(options, 0);
  Conversion conversion(options, source, true, output, notes, progress, true);
  {
    LineLoop loop(conversion);
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
      loop.feed(std::string_view(text).substr(from, cut - from), false);
      from = cut;
    }
    loop.feed(std::string_view(text).substr(from), true);
  }
  std::vector<const OpenCard*> begun;
  for (const auto& card : conversion.cards.closedCards())
    begun.push_back(card.get());
  for (const auto& card : conversion.cards.openCards())
    begun.push_back(card.get());
  std::sort(begun.begin(), begun.end(),
            [](const OpenCard* a, const OpenCard* b) { return a->position < b->position; });
  std::vector<std::string> cards;
  for (const OpenCard* card : begun)
    cards.push_back(std::to_string(card->ended) + std::to_string(card->rejected) + ":" +
                    card->card.iPhoneText());
  cards.push_back(std::to_string(conversion.cards.ended()) + "/" +
                  std::to_string(conversion.cards.written()));
  return cards;
}

// Texts whose lines run on: folding (even after an END:VCARD line),
// quoted-printable soft breaks, unindented Base64, escaped line breaks,
// cards inside cards, a card never closed.
const char* const kRunOnTexts[] = {
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN:a;b\r\nNOTE:x\r\n y\r\n\tz\r\nEND:VCARD\r\n z\r\n",
    "BEGIN:VCARD\nVERSION:2.1\nNOTE;ENCODING=QUOTED-PRINTABLE:=E3=81=82=\n=E3=81=84=\n\nEND:"
    "VCARD\n",
    "BEGIN:VCARD\r\nVERSION:2.1\r\nPHOTO;ENCODING=BASE64:AAAA\r\nBBBB\r\n\r\nADR:;;Street\\\r\n"
    "City\r\nAGENT:\r\nBEGIN:VCARD\r\nN:in;ner\r\nEND:VCARD\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:c",
    "BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n\r\n",
    "BEGIN:VCARD\r\nN;ENCODING=QUOTED-PRINTABLE:\r\n =41=\r\n=42\r\n\t;=43\r\n"
    "NOTE;ENCODING=QUOTED-PRINTABLE:x\r\nEND:VCARD.\r\n \r\nbegin:vcard\t\r\nEND:VCARD\r\n",
    "",
};

class RunOnTextTest : public testing::TestWithParam<const char*> {};

// Cut at any line feed, the pieces give the cards the whole text gives.
TEST_P(RunOnTextTest, PiecesCutAtAnyLineFeedGiveTheSameCards) {
  const std::string text = GetParam();
  const std::vector<std::string> expected = cardsOf(text, {});
  std::vector<std::size_t> cuts;
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
    cuts.push_back(at + 1);
  // Cut at every line feed, and at each one alone.
  std::vector<std::vector<std::size_t>> cutSets{cuts};
  for (const std::size_t cut : cuts)
    cutSets.push_back({cut});
  for (const auto& set : cutSets) {
    EXPECT_EQ(cardsOf(text, set), expected)
        << set.size() << " cuts, first at " << (set.empty() ? 0 : set.front());
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, RunOnTextTest, testing::ValuesIn(kRunOnTexts));

// The files of a folder with their bytes.
std::map<std::string, std::string> folderFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    files[entry.path().filename().string()] = testsupport::readBytes(entry.path().string());
  return files;
}

// A file found not to be Shift_JIS after cards were written: what was
// written goes, every numbered part too, and the whole-file conversion
// leaves exactly its own files.
TEST(StreamStartAgainTest, LateNonShiftJISByteLeavesOnlyTheWholeConversion) {
  std::string bytes;
  for (int i = 0; i < 6; ++i)
    bytes += "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=SHIFT_JIS:\x8E\x52;" + std::to_string(i) +
             "\r\nEND:VCARD\r\n";
  bytes += "BEGIN:VCARD\r\nVERSION:2.1\r\nN:M\xFCller;\xA0\x80\r\nEND:VCARD\r\n";
  vcard::ConvertOptions options;
  options.target = vcard::Target::ICloud;
  options.cardsPerFile = 2;

  std::map<std::string, std::string> expected;
  std::array<std::string, 2> expectedResult;
  std::string expectedReport;
  for (const bool pieces : {false, true}) {
    testsupport::TempDir in;
    testsupport::TempDir out;
    const std::string source = in.file("in.vcf");
    testsupport::writeBytes(source, bytes);
    const StreamLimits limits = pieces ? StreamLimits{1, 16} : kWhole;
    ASSERT_EQ(planOf(source, limits), pieces ? SourcePlan::ShiftJIS : SourcePlan::Whole);
    vcard::ConversionReport report;
    const auto result = vcard::detail::convertFile(source.c_str(), out.file("PC.vcf").c_str(),
                                                   options, &report, limits);
    if (!pieces) {
      expected = folderFiles(out.path());
      expectedResult = result;
      expectedReport = vcard::reportText(report);
      EXPECT_GE(expected.size(), 3u);  // the cards went into numbered parts
      continue;
    }
    EXPECT_EQ(result, expectedResult);
    EXPECT_EQ(vcard::reportText(report), expectedReport);
    EXPECT_EQ(folderFiles(out.path()), expected);
  }
}

// A conversion that stops (its sink throws) while pieces are read ahead
// ends with the sink's exception, whichever piece it stops at, and the
// reading stops with it.
TEST(StreamStopTest, ASinkThatThrowsEndsTheRun) {
  struct Stopping final : vcard::detail::PieceSink {
    std::size_t left;
    explicit Stopping(std::size_t pieces) : left(pieces) {}
    void piece(std::string_view, std::size_t, bool) override {
      if (left-- == 0) throw std::runtime_error("stop");
    }
  };
  testsupport::TempDir dir;
  const std::string source = dir.file("in.vcf");
  std::string bytes;
  for (int i = 0; i < 40; ++i)
    bytes +=
        "BEGIN:VCARD\r\nN;CHARSET=SHIFT_JIS:\x8E\x52;" + std::to_string(i) + "\r\nEND:VCARD\r\n";
  testsupport::writeBytes(source, bytes);
  for (const std::size_t stopAt : {0u, 1u, 5u, 39u}) {
    vcard::detail::SourceStream stream(source.c_str(), vcard::CarrierChoice::Auto,
                                       StreamLimits{1, 16});
    ASSERT_EQ(stream.plan(), SourcePlan::ShiftJIS);
    Stopping sink(stopAt);
    EXPECT_THROW(static_cast<void>(stream.run(sink)), std::runtime_error) << stopAt;
  }
  // Stopped through the progress callback while the output is written in
  // the background: nothing is left of it.
  for (const int stopAt : {1, 2, 3}) {
    vcard::ConvertOptions options;
    options.progressInterval = std::chrono::milliseconds(0);
    int told = 0;
    options.progress = [&](const vcard::Progress&) { return ++told < stopAt; };
    const std::string output = dir.file("out.vcf");
    const auto result = vcard::detail::convertFile(source.c_str(), output.c_str(), options, nullptr,
                                                   StreamLimits{1, 16, 1});
    EXPECT_EQ(result[1], vcard::kStoppedLog) << stopAt;
    EXPECT_FALSE(std::filesystem::exists(output)) << stopAt;
  }
}

TEST(StreamLimitsTest, SmallAndEmptyFilesAreLoadedWhole) {
  testsupport::TempDir dir;
  const std::string empty = dir.file("empty.vcf");
  const std::string small = dir.file("small.vcf");
  testsupport::writeBytes(empty, "");
  testsupport::writeBytes(small, kCard);
  EXPECT_EQ(planOf(empty, StreamLimits{0, 64}), SourcePlan::Whole);
  EXPECT_EQ(planOf(small, StreamLimits{kCard.size() + 1, 64}), SourcePlan::Whole);
  EXPECT_EQ(planOf(small, StreamLimits{kCard.size(), 64}), SourcePlan::UTF8);
  EXPECT_EQ(planOf(dir.file("missing.vcf"), StreamLimits{0, 64}), SourcePlan::Unreadable);
  EXPECT_EQ(planOf(dir.path(), StreamLimits{0, 64}), SourcePlan::Unreadable);
}

// Every peer export, cut into small pieces, converts as it does whole, and
// most of them are such that pieces can stand for them.
TEST(StreamPeerTest, PeerExportsConvertTheSameInPieces) {
  const std::filesystem::path root = PEER_DATA_DIR;
  const auto files = peer::peerFiles(root);
  if (files.empty()) GTEST_SKIP() << "no peer vCard files under " << root.string();
  testsupport::TempDir dir;
  std::size_t streamed = 0;
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    if (planOf(file.string(), StreamLimits{1, 64}) != SourcePlan::Whole) ++streamed;
    for (const vcard::Target target : {vcard::Target::IPhone, vcard::Target::ICloud}) {
      const Outcome whole = convert(file.string(), dir.file("whole.vcf"), target, kWhole);
      expectSame(convert(file.string(), dir.file("pieces.vcf"), target, StreamLimits{1, 64}),
                 whole);
    }
  }
  EXPECT_GT(streamed, files.size() / 2);
}

}  // namespace
