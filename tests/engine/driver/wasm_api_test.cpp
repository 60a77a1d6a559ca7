// The web page's C functions give what convertBytes gives for the same
// bytes and choices, read through a read function and handed back in blocks
// through a keep function, and null, 0 or -1 for what is not there.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "files.h"
#include "memory_convert.h"
#include "param_names.h"
#include "report_json.h"
#include "test_images.h"
#include "test_support.h"
#include "vcard_report.h"
#include "wasm_api.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

// A row gives the codes the page passes and, by their public names, the
// options they stand for: the page's conversion must be the native one with
// those options.
struct ApiCase {
  std::string_view name;
  std::string_view file;  // under tests/data/engine; "" for no bytes at all
  int target;
  int carrier;
  vcard::Target namedTarget;
  vcard::CarrierChoice namedCarrier;
};

using vcard::CarrierChoice;
using vcard::Target;

const ApiCase kApiCases[] = {
    {"IPhone", "rejected_cards.vcf", 0, 0, Target::IPhone, CarrierChoice::Auto},
    {"ICloud", "fidelity.vcf", 1, 0, Target::ICloud, CarrierChoice::Auto},
    {"Docomo", "sjis_road.vcf", 0, 1, Target::IPhone, CarrierChoice::Docomo},
    {"AU", "sjis_road.vcf", 0, 2, Target::IPhone, CarrierChoice::AU},
    {"SoftBank", "sjis_road.vcf", 1, 3, Target::ICloud, CarrierChoice::SoftBank},
    {"CarrierNone", "sjis_road.vcf", 1, 4, Target::ICloud, CarrierChoice::None},
    {"Undecodable", "undecodable.vcf", 1, 3, Target::ICloud, CarrierChoice::SoftBank},
    {"NoBytes", "", 0, 2, Target::IPhone, CarrierChoice::AU},
};

// The page's side of a conversion: the source its read function reads and
// the blocks its keep function keeps. C function pointers carry no state.
struct PageSide {
  std::string source;
  int readLimit = INT_MAX;  // bytes a read gives at most; -1 fails every read
  int readsLeft = INT_MAX;  // reads before every further one fails
  std::vector<std::string> blocks;
  int keepsLeft = INT_MAX;  // blocks kept before there is no room
};

PageSide g_page;

int readPage(double offset, unsigned char* out, int count) {
  if (g_page.readLimit < 0 || g_page.readsLeft-- <= 0) return -1;
  const auto at = static_cast<std::size_t>(offset);
  if (at >= g_page.source.size()) return 0;
  const std::size_t n = std::min({static_cast<std::size_t>(count), g_page.source.size() - at,
                                  static_cast<std::size_t>(g_page.readLimit)});
  std::memcpy(out, g_page.source.data() + at, n);
  return static_cast<int>(n);
}

int keepBlock(const unsigned char* bytes, int size) {
  if (g_page.keepsLeft-- <= 0) return -1;
  g_page.blocks.emplace_back(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
  return static_cast<int>(g_page.blocks.size()) - 1;
}

// Converts source as the page does.
int convertPage(const std::string& source, int target, int carrier) {
  g_page.source = source;
  g_page.blocks.clear();
  return vcw_convert(static_cast<double>(source.size()), target, carrier, readPage, keepBlock);
}

// Output i as the page puts it together from its blocks.
std::string outputBytes(int i) {
  std::string bytes;
  for (int j = 0; j < vcw_output_block_count(i); ++j)
    bytes += g_page.blocks.at(static_cast<std::size_t>(vcw_output_block(i, j)));
  return bytes;
}

class WasmApiTest : public testing::TestWithParam<ApiCase> {
 protected:
  void TearDown() override { vcw_release(); }
};

TEST_P(WasmApiTest, GettersGiveTheConversion) {
  const ApiCase& c = GetParam();
  const std::string bytes =
      c.file.empty()
          ? std::string()
          : testsupport::readBytes(std::string(TEST_DATA_DIR) + "/engine/" + std::string(c.file));
  const int status = convertPage(bytes, c.target, c.carrier);

  vcard::ConvertOptions options;
  options.target = c.namedTarget;
  options.carrier = c.namedCarrier;
  const vcard::MemoryConversion expected = vcard::convertBytes(bytes, options);
  const int expectedStatus = expected.result[0].empty() ? 0 : 1;
  EXPECT_EQ(status, expectedStatus);
  ASSERT_NE(vcw_json(), nullptr);
  EXPECT_EQ(vcw_json(), vcard::reportJson(expected.result, expected.report, expectedStatus));
  ASSERT_NE(vcw_report_text(), nullptr);
  EXPECT_EQ(vcw_report_text(), vcard::reportText(expected.report));
  ASSERT_EQ(vcw_output_count(), static_cast<int>(expected.outputs.size()));
  for (int i = 0; i < vcw_output_count(); ++i) {
    const vcard::OutputFile& file = expected.outputs[static_cast<std::size_t>(i)];
    EXPECT_EQ(vcw_output_name(i), file.name);
    EXPECT_EQ(vcw_output_size(i), static_cast<double>(file.bytes.size()));
    EXPECT_TRUE(outputBytes(i) == file.bytes) << file.name;
    EXPECT_EQ(vcw_output_block(i, -1), -1);
    EXPECT_EQ(vcw_output_block(i, vcw_output_block_count(i)), -1);
  }
  for (const int outside : {-1, vcw_output_count(), vcw_output_count() + 1}) {
    EXPECT_EQ(vcw_output_name(outside), nullptr) << outside;
    EXPECT_EQ(vcw_output_size(outside), 0) << outside;
    EXPECT_EQ(vcw_output_block_count(outside), 0) << outside;
    EXPECT_EQ(vcw_output_block(outside, 0), -1) << outside;
  }
}

INSTANTIATE_TEST_SUITE_P(Choices, WasmApiTest, testing::ValuesIn(kApiCases), CaseName());

struct UsageCase {
  std::string_view name;
  bool readMissing;  // a size without a read function
  bool keepMissing;
  int target;
  int carrier;
  std::string_view alert;
};

const UsageCase kUsageCases[] = {
    {"TargetOutOfRange", false, false, 2, 0, "不明な変換先です: 2"},
    {"NegativeTarget", false, false, -1, 0, "不明な変換先です: -1"},
    {"CarrierOutOfRange", false, false, 1, 5, "不明な携帯会社です: 5"},
    {"SizeWithoutRead", true, false, 0, 0, "変換元ファイルが指定されていません。"},
    {"NoKeep", false, true, 0, 0, "出力の受け取り先が指定されていません。"},
};

class WasmApiUsageTest : public testing::TestWithParam<UsageCase> {
 protected:
  void TearDown() override { vcw_release(); }
};

// A wrong choice converts nothing and says so as vcard-convert --json does
// for a wrong option; what an earlier conversion wrote is gone.
TEST_P(WasmApiUsageTest, ConvertsNothingAndSaysWhy) {
  const UsageCase& c = GetParam();
  const std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:a;b\r\nEND:VCARD\r\n";
  ASSERT_EQ(convertPage(card, 0, 0), 0);
  ASSERT_EQ(vcw_output_count(), 1);

  const int status =
      vcw_convert(static_cast<double>(card.size()), c.target, c.carrier,
                  c.readMissing ? nullptr : readPage, c.keepMissing ? nullptr : keepBlock);
  EXPECT_EQ(status, 64);
  ASSERT_NE(vcw_json(), nullptr);
  EXPECT_EQ(vcw_json(),
            vcard::failureJson(std::string(c.alert), 64,
                               c.target == 1 ? vcard::Target::ICloud : vcard::Target::IPhone));
  EXPECT_STREQ(vcw_report_text(), "");
  EXPECT_EQ(vcw_output_count(), 0);
  EXPECT_EQ(vcw_output_name(0), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Arguments, WasmApiUsageTest, testing::ValuesIn(kUsageCases), CaseName());

TEST(WasmApiReleaseTest, NothingBeforeAConversionOrAfterRelease) {
  vcw_release();
  EXPECT_EQ(vcw_json(), nullptr);
  EXPECT_EQ(vcw_report_text(), nullptr);
  EXPECT_EQ(vcw_output_count(), 0);
  const std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:a;b\r\nEND:VCARD\r\n";
  ASSERT_EQ(convertPage(card, 1, 0), 0);
  ASSERT_EQ(vcw_output_count(), 1);
  vcw_release();
  EXPECT_EQ(vcw_json(), nullptr);
  EXPECT_EQ(vcw_report_text(), nullptr);
  EXPECT_EQ(vcw_output_count(), 0);
  EXPECT_EQ(vcw_output_name(0), nullptr);
  EXPECT_EQ(vcw_output_size(0), 0);
  EXPECT_EQ(vcw_output_block_count(0), 0);
}

// Each carrier code of the page means the choice of the same name: a
// source of pictogram codes, which each carrier reads as its own pictograms,
// is converted by the page as natively with that choice, and no two choices
// convert it alike.
TEST(WasmApiCarrierTest, EachCodeConvertsAsTheChoiceItNames) {
  struct Choice {
    int code;
    CarrierChoice named;
  };
  const Choice choices[] = {{1, CarrierChoice::Docomo},
                            {2, CarrierChoice::AU},
                            {3, CarrierChoice::SoftBank},
                            {4, CarrierChoice::None}};
  // A note of the Shift_JIS codes F89F, F660 and F941.
  const std::string source =
      "BEGIN:VCARD\r\nVERSION:2.1\r\nN:a;b\r\nNOTE:\xF8\x9F\xF6\x60\xF9\x41\r\nEND:VCARD\r\n";
  std::vector<std::string> outputs;
  for (const Choice& choice : choices) {
    SCOPED_TRACE(choice.code);
    ASSERT_EQ(convertPage(source, 0, choice.code), 0);
    vcard::ConvertOptions options;
    options.carrier = choice.named;
    const vcard::MemoryConversion expected = vcard::convertBytes(source, options);
    ASSERT_EQ(vcw_output_count(), 1);
    ASSERT_EQ(expected.outputs.size(), 1u);
    outputs.push_back(outputBytes(0));
    EXPECT_TRUE(outputs.back() == expected.outputs[0].bytes);
    vcw_release();
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    for (std::size_t j = i + 1; j < outputs.size(); ++j)
      EXPECT_FALSE(outputs[i] == outputs[j]) << "choices " << i + 1 << " and " << j + 1;
  }
  g_page = PageSide{};
}

// A large source (over the 4 MiB read whole) comes in many reads of a few
// bytes and goes out in many blocks; the bytes are convertBytes' all the
// same.
TEST(WasmApiPiecesTest, LargeSourceIsReadInSlicesAndWrittenInBlocks) {
  std::string source;
  for (int i = 1; source.size() < (5u << 20); ++i) {
    source += "BEGIN:VCARD\r\nVERSION:2.1\r\nN:\x8E\x52\x93\x63;\x91\xBE\x98\x59" +
              std::to_string(i) + "\r\nTEL;CELL:090-0000-" + std::to_string(i) +
              "\r\nEND:VCARD\r\n";
  }  // N:山田;太郎 in Shift_JIS
  g_page = PageSide{};
  g_page.readLimit = 4093;
  ASSERT_EQ(convertPage(source, 0, 0), 0);
  // The page's codes 0 and 0: the iPhone and the carrier judged from the
  // file, the native defaults.
  const vcard::MemoryConversion expected = vcard::convertBytes(source, vcard::ConvertOptions{});
  ASSERT_EQ(vcw_output_count(), 1);
  ASSERT_EQ(expected.outputs.size(), 1u);
  EXPECT_GT(vcw_output_block_count(0), 4);
  EXPECT_TRUE(outputBytes(0) == expected.outputs[0].bytes);
  EXPECT_EQ(vcw_json(), vcard::reportJson(expected.result, expected.report, 0));
  vcw_release();
  g_page = PageSide{};
}

struct FailureCase {
  std::string_view name;
  int readsLeft;
  int keepsLeft;
  std::string_view alert;
};

// A read that fails is the file that cannot be read; a block with no room
// is the output that cannot be written. Neither leaves a file to save.
const FailureCase kFailureCases[] = {
    {"FirstReadFails", 0, INT_MAX, "変換元ファイルが読み込めません。"},
    {"ReadFailsOnTheWay", 3, INT_MAX, "変換元ファイルが読み込めません。"},
    {"NoRoomForABlock", INT_MAX, 2, "出力ファイルに書き込めません。"},
};

class WasmApiFailureTest : public testing::TestWithParam<FailureCase> {
 protected:
  void TearDown() override {
    vcw_release();
    g_page = PageSide{};
  }
};

TEST_P(WasmApiFailureTest, FailsWithTheToolsAlertAndNoOutput) {
  const FailureCase& c = GetParam();
  std::string source;
  for (int i = 1; i <= 20'000; ++i)
    source += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:a;" + std::to_string(i) + "\r\nEND:VCARD\r\n";
  g_page = PageSide{};
  g_page.readLimit = 1000;
  g_page.readsLeft = c.readsLeft;
  g_page.keepsLeft = c.keepsLeft;
  EXPECT_EQ(convertPage(source, 0, 0), 1);
  ASSERT_NE(vcw_json(), nullptr);
  EXPECT_NE(std::string(vcw_json()).find(std::string(c.alert)), std::string::npos) << vcw_json();
  EXPECT_EQ(vcw_output_count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Failures, WasmApiFailureTest, testing::ValuesIn(kFailureCases),
                         CaseName());

struct ProgressEvent {
  int step;
  double bytesRead, sourceBytes, currentCard, cardsWritten;
};

std::vector<ProgressEvent> g_events;

void recordProgress(int step, double bytesRead, double sourceBytes, double currentCard,
                    double cardsWritten) {
  g_events.push_back({step, bytesRead, sourceBytes, currentCard, cardsWritten});
}

struct ProgressCase {
  std::string_view name;
  int target;
  int cards;
  bool largePhoto;  // the last card has a photo over iCloud.com's limit
  int intervalMs;
  std::size_t minEvents, maxEvents;
};

// The meter looks at the clock every 16 cards: at interval 0 it tells each
// look; at a long interval only the end is told.
const ProgressCase kProgressCases[] = {
    {"EveryLook", 0, 200, false, 0, 200 / 16, 200},
    {"OnlyTheEndWithinALongInterval", 0, 200, false, 600'000, 1, 1},
    {"PhotoScaledForICloud", 1, 20, true, 0, 3, 200},
};

class WasmApiProgressTest : public testing::TestWithParam<ProgressCase> {
 protected:
  void SetUp() override { g_events.clear(); }
  void TearDown() override {
    vcw_set_progress(nullptr, 0);
    vcw_release();
  }
};

TEST_P(WasmApiProgressTest, TellsMonotonicProgressEndingAtTheSourceSize) {
  const ProgressCase& c = GetParam();
  std::string source;
  for (int i = 1; i <= c.cards; ++i) {
    source += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:山田;太郎" + std::to_string(i) +
              "\r\nTEL:090-0000-" + std::to_string(1000 + i) + "\r\n";
    if (c.largePhoto && i == c.cards) {
      source += "PHOTO;ENCODING=b;TYPE=JPEG:" +
                enginetest::foldedBase64(testsupport::noisyJPEG(900, 700)) + "\r\n";
    }
    source += "END:VCARD\r\n";
  }
  vcw_set_progress(recordProgress, c.intervalMs);
  ASSERT_EQ(convertPage(source, c.target, 0), 0);

  ASSERT_GE(g_events.size(), c.minEvents);
  EXPECT_LE(g_events.size(), c.maxEvents);
  bool scaledPhoto = false;
  for (std::size_t i = 0; i < g_events.size(); ++i) {
    const ProgressEvent& e = g_events[i];
    EXPECT_TRUE(e.step >= 0 && e.step <= 2) << "event " << i << ": step " << e.step;
    EXPECT_EQ(e.sourceBytes, static_cast<double>(source.size())) << "event " << i;
    EXPECT_LE(e.cardsWritten, e.currentCard) << "event " << i;
    scaledPhoto = scaledPhoto || e.step == 2;
    if (i == 0) continue;
    const ProgressEvent& before = g_events[i - 1];
    EXPECT_GE(e.bytesRead, before.bytesRead) << "event " << i;
    EXPECT_GE(e.currentCard, before.currentCard) << "event " << i;
    EXPECT_GE(e.cardsWritten, before.cardsWritten) << "event " << i;
  }
  EXPECT_EQ(scaledPhoto, c.largePhoto);
  const ProgressEvent& last = g_events.back();
  EXPECT_EQ(last.step, 1);
  EXPECT_EQ(last.bytesRead, static_cast<double>(source.size()));
  EXPECT_EQ(last.currentCard, c.cards);
  EXPECT_EQ(last.cardsWritten, c.cards);

  ASSERT_EQ(vcw_output_count(), 1);
  const std::string listened = outputBytes(0);

  // Without a hook nothing more is told, and listening changed nothing of
  // what is written.
  g_events.clear();
  vcw_set_progress(nullptr, 0);
  ASSERT_EQ(convertPage(source, c.target, 0), 0);
  EXPECT_TRUE(g_events.empty());
  ASSERT_EQ(vcw_output_count(), 1);
  EXPECT_TRUE(outputBytes(0) == listened);
}

INSTANTIATE_TEST_SUITE_P(Intervals, WasmApiProgressTest, testing::ValuesIn(kProgressCases),
                         CaseName());

}  // namespace
