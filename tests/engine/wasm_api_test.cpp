// The web page's C functions give what convertBytes gives for the same
// bytes and choices, and null or 0 for what is not there.
#include <gtest/gtest.h>

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

struct ApiCase {
  std::string_view name;
  std::string_view file;  // under tests/data/engine; "" for no bytes at all
  int target;
  int carrier;
};

const ApiCase kApiCases[] = {
    {"IPhone", "rejected_cards.vcf", 0, 0},   {"ICloud", "fidelity.vcf", 1, 0},
    {"CarrierNamed", "sjis_road.vcf", 0, 1},  {"CarrierNone", "sjis_road.vcf", 1, 4},
    {"Undecodable", "undecodable.vcf", 1, 3}, {"NoBytes", "", 0, 2},
};

vcard::ConvertOptions optionsOf(int target, int carrier) {
  vcard::ConvertOptions options;
  options.target = target == 1 ? vcard::Target::ICloud : vcard::Target::IPhone;
  constexpr vcard::CarrierChoice kCarriers[] = {
      vcard::CarrierChoice::Auto, vcard::CarrierChoice::Docomo, vcard::CarrierChoice::AU,
      vcard::CarrierChoice::SoftBank, vcard::CarrierChoice::None};
  options.carrier = kCarriers[carrier];
  return options;
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
  const auto* data =
      c.file.empty() ? nullptr : reinterpret_cast<const unsigned char*>(bytes.data());
  const int status = vcw_convert(data, bytes.size(), c.target, c.carrier);

  const vcard::MemoryConversion expected =
      vcard::convertBytes(bytes, optionsOf(c.target, c.carrier));
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
    ASSERT_EQ(vcw_output_size(i), file.bytes.size());
    ASSERT_NE(vcw_output_data(i), nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(vcw_output_data(i)), vcw_output_size(i)),
              file.bytes);
  }
  for (const int outside : {-1, vcw_output_count(), vcw_output_count() + 1}) {
    EXPECT_EQ(vcw_output_name(outside), nullptr) << outside;
    EXPECT_EQ(vcw_output_data(outside), nullptr) << outside;
    EXPECT_EQ(vcw_output_size(outside), 0u) << outside;
  }
}

INSTANTIATE_TEST_SUITE_P(Choices, WasmApiTest, testing::ValuesIn(kApiCases), CaseName());

struct UsageCase {
  std::string_view name;
  bool bytesMissing;  // a length without bytes
  int target;
  int carrier;
  std::string_view alert;
};

const UsageCase kUsageCases[] = {
    {"TargetOutOfRange", false, 2, 0, "不明な変換先です: 2"},
    {"NegativeTarget", false, -1, 0, "不明な変換先です: -1"},
    {"CarrierOutOfRange", false, 1, 5, "不明な携帯会社です: 5"},
    {"LengthWithoutBytes", true, 0, 0, "変換元ファイルが指定されていません。"},
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
  const auto* cardBytes = reinterpret_cast<const unsigned char*>(card.data());
  ASSERT_EQ(vcw_convert(cardBytes, card.size(), 0, 0), 0);
  ASSERT_EQ(vcw_output_count(), 1);

  const int status =
      vcw_convert(c.bytesMissing ? nullptr : cardBytes, card.size(), c.target, c.carrier);
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
  ASSERT_EQ(vcw_convert(reinterpret_cast<const unsigned char*>(card.data()), card.size(), 1, 0), 0);
  ASSERT_EQ(vcw_output_count(), 1);
  vcw_release();
  EXPECT_EQ(vcw_json(), nullptr);
  EXPECT_EQ(vcw_report_text(), nullptr);
  EXPECT_EQ(vcw_output_count(), 0);
  EXPECT_EQ(vcw_output_name(0), nullptr);
  EXPECT_EQ(vcw_output_data(0), nullptr);
  EXPECT_EQ(vcw_output_size(0), 0u);
}

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
  ASSERT_EQ(vcw_convert(reinterpret_cast<const unsigned char*>(source.data()), source.size(),
                        c.target, 0),
            0);

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

  // Listening changes nothing of what is written.
  const vcard::MemoryConversion expected = vcard::convertBytes(source, optionsOf(c.target, 0));
  ASSERT_EQ(vcw_output_count(), 1);
  ASSERT_EQ(expected.outputs.size(), 1u);
  EXPECT_TRUE(std::string(reinterpret_cast<const char*>(vcw_output_data(0)), vcw_output_size(0)) ==
              expected.outputs[0].bytes);

  // Without a hook nothing more is told.
  g_events.clear();
  vcw_set_progress(nullptr, 0);
  ASSERT_EQ(vcw_convert(reinterpret_cast<const unsigned char*>(source.data()), source.size(),
                        c.target, 0),
            0);
  EXPECT_TRUE(g_events.empty());
}

INSTANTIATE_TEST_SUITE_P(Intervals, WasmApiProgressTest, testing::ValuesIn(kProgressCases),
                         CaseName());

}  // namespace
