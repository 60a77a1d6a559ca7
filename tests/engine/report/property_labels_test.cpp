#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "param_names.h"
#include "report/property_labels.h"
#include "report_json.h"
#include "vcard_report.h"

namespace {

using testsupport::CaseName;

struct EntryCase {
  std::string name;
  std::string property;
  std::string expectedEntry;  // the property's entry in the report's line
};

const EntryCase kEntryCases[] = {
    {"GroupName", "X-GN", "グループ名（X-GN）1件"},
    {"GroupNumber", "X-GNO", "グループ番号（X-GNO）1件"},
    {"PhoneClass", "X-CLASS", "公開・非公開の区分（X-CLASS）1件"},
    {"Revision", "REV", "更新日時（REV）1件"},
    {"LabelWithNote", "LABEL", "宛名ラベル（LABEL、住所そのものは書き出しています）1件"},
    {"OutlookDesign", "X-MS-OL-DESIGN", "Outlook の名刺レイアウト（X-MS-OL-DESIGN）1件"},
    {"Audio", "SOUND(音声)", "音声（SOUND(音声)）1件"},
    {"AppleRelated", "X-ABRELATEDNAMES", "関係者の名前（X-ABRELATEDNAMES）1件"},
    // A name of a known family that has no row of its own.
    {"DocomoFamily", "X-DCM-RINGTONE", "ドコモの独自項目（X-DCM-RINGTONE）1件"},
    {"OutlookFamily", "X-MS-FOO", "Outlook の独自項目（X-MS-FOO）1件"},
    // The family's beginning alone is no member of it.
    {"SlashAndHyphens", "X-MESSAGING/AIM-ALL", "AIM のアドレス（X-MESSAGING/AIM-ALL）1件"},
    {"BarePrefix", "X-MS-", "X-MS- 1件"},
    {"Unknown", "X-FOOBAR", "X-FOOBAR 1件"},
    {"LowerCaseIsNotTheName", "x-gn", "x-gn 1件"},
};

void PrintTo(const EntryCase& c, std::ostream* os) {
  *os << c.name;
}

class DroppedEntryTest : public testing::TestWithParam<EntryCase> {};

TEST_P(DroppedEntryTest, DescriptionBeforeTheNameWhereKnown) {
  vcard::ConversionReport report;
  report.loaded = true;
  report.dropped = {{GetParam().property, 1}};
  const std::string text = vcard::reportText(report);
  EXPECT_NE(text.find("（書き出していません）：" + GetParam().expectedEntry + "\n"),
            std::string::npos)
      << text;
}

INSTANTIATE_TEST_SUITE_P(Names, DroppedEntryTest, testing::ValuesIn(kEntryCases), CaseName());

struct OrderCase {
  std::string name;
  std::vector<std::string> given;     // in order of first appearance
  std::vector<std::string> expected;  // in the report's order
};

const OrderCase kOrderCases[] = {
    {"MarksLast", {"REV", "X-ABRELATEDNAMES", "UID"}, {"X-ABRELATEDNAMES", "REV", "UID"}},
    {"TypedTextBeforeContactData",
     {"X-GN", "X-MS-SPOUSE", "X-MS-ANNIVERSARY"},
     {"X-MS-SPOUSE", "X-MS-ANNIVERSARY", "X-GN"}},
    {"UnknownBetweenDataAndSettings",
     {"X-CLASS", "X-FOO", "X-GN", "PRODID"},
     {"X-GN", "X-FOO", "X-CLASS", "PRODID"}},
    {"SameRankKeepsFirstAppearance",
     {"X-REDUCTION", "X-CLASS", "X-GNO"},
     {"X-REDUCTION", "X-CLASS", "X-GNO"}},
    {"DocomoPhone",
     {"X-CLASS", "X-GNO", "X-GN", "X-REDUCTION"},
     {"X-GN", "X-CLASS", "X-GNO", "X-REDUCTION"}},
};

void PrintTo(const OrderCase& c, std::ostream* os) {
  *os << c.name;
}

class DroppedOrderTest : public testing::TestWithParam<OrderCase> {};

TEST_P(DroppedOrderTest, WhatUsersMissMostFirstInTextAndJson) {
  vcard::ConversionReport report;
  report.loaded = true;
  for (const std::string& name : GetParam().given)
    report.dropped.push_back({name, 1});

  std::vector<std::string> ordered;
  for (const vcard::DroppedProperty& p : vcard::droppedInReportOrder(report.dropped))
    ordered.push_back(p.name);
  EXPECT_EQ(ordered, GetParam().expected);

  // The text names them in that order.
  const std::string text = vcard::reportText(report);
  std::size_t last = 0;
  for (const std::string& name : GetParam().expected) {
    const std::size_t at = text.find(name + (vcard::propertyLabel(name) ? "）" : " "));
    ASSERT_NE(at, std::string::npos) << name << "\n" << text;
    EXPECT_GE(at, last) << name << "\n" << text;
    last = at;
  }

  // The JSON document lists them in the same order, each with its label.
  const auto document = nlohmann::json::parse(vcard::reportJson({"", "完了"}, report, 0));
  const auto& dropped = document["droppedProperties"];
  ASSERT_EQ(dropped.size(), GetParam().expected.size());
  for (std::size_t i = 0; i < dropped.size(); ++i) {
    const std::string& name = GetParam().expected[i];
    EXPECT_EQ(dropped[i]["name"], name);
    const auto label = vcard::propertyLabel(name);
    if (label)
      EXPECT_EQ(dropped[i]["label"], std::string(label->description)) << name;
    else
      EXPECT_TRUE(dropped[i]["label"].is_null()) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Lists, DroppedOrderTest, testing::ValuesIn(kOrderCases), CaseName());

// Every name the phones' and programs' exports hold is described; only
// names invented for other programs' own tests are left as they are.
TEST(PropertyLabelTest, NamesFromRealExportsAreDescribed) {
  const std::array<std::string_view, 12> names = {"X-GN",
                                                  "X-GNO",
                                                  "X-CLASS",
                                                  "X-REDUCTION",
                                                  "X-EVOLUTION-FILE-AS",
                                                  "X-MOZILLA-HTML",
                                                  "X-KADDRESSBOOK-X-OFFICE",
                                                  "X-WAB-GENDER",
                                                  "X-ABUID",
                                                  "X-ABDATE",
                                                  "X-SH-CATEGORIES",
                                                  "X-ANDROID-CUSTOM"};
  for (const std::string_view name : names) {
    const auto label = vcard::propertyLabel(name);
    ASSERT_TRUE(label.has_value()) << name;
    EXPECT_FALSE(label->description.empty()) << name;
  }
}

}  // namespace
