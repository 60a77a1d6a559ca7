#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "param_names.h"
#include "report/property_labels.h"
#include "report_json.h"
#include "test_support.h"
#include "vcard_report.h"

namespace {

using testsupport::CaseName;

// Whether a character of the CJK blocks (U+3000-U+9FFF, lead bytes E3-E9)
// is in the text: what a Japanese label holds.
bool holdsJapanese(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0xE3 && byte <= 0xE9) return true;
  }
  return false;
}

struct EntryCase {
  std::string name;
  std::string property;
  bool described;  // the report describes it before its name
};

const EntryCase kEntryCases[] = {
    {"GroupName", "X-GN", true},
    {"GroupNumber", "X-GNO", true},
    {"PhoneClass", "X-CLASS", true},
    {"Reduction", "X-REDUCTION", true},
    {"Revision", "REV", true},
    {"LabelWithNote", "LABEL", true},
    {"OutlookDesign", "X-MS-OL-DESIGN", true},
    {"Audio", "SOUND(音声)", true},
    {"AppleRelated", "X-ABRELATEDNAMES", true},
    {"AppleDate", "X-ABDATE", true},
    {"AppleId", "X-ABUID", true},
    {"EvolutionFileAs", "X-EVOLUTION-FILE-AS", true},
    {"MozillaHtml", "X-MOZILLA-HTML", true},
    {"KdeOffice", "X-KADDRESSBOOK-X-OFFICE", true},
    {"WindowsGender", "X-WAB-GENDER", true},
    {"SharpCategories", "X-SH-CATEGORIES", true},
    {"AndroidCustom", "X-ANDROID-CUSTOM", true},
    {"Chat", "X-MESSAGING/AIM-ALL", true},
    // A name of a known family that has no row of its own.
    {"DocomoFamily", "X-DCM-RINGTONE", true},
    {"OutlookFamily", "X-MS-FOO", true},
    // The family's beginning alone is no member of it.
    {"BarePrefix", "X-MS-", false},
    {"Unknown", "X-FOOBAR", false},
    {"LowerCaseIsNotTheName", "x-gn", false},
};

void PrintTo(const EntryCase& c, std::ostream* os) {
  *os << c.name;
}

class DroppedEntryTest : public testing::TestWithParam<EntryCase> {};

// A described property's entry is its Japanese description, then its name
// and any note in brackets; any other is its name alone.
TEST_P(DroppedEntryTest, DescriptionBeforeTheNameWhereKnown) {
  const EntryCase& c = GetParam();
  const auto label = vcard::propertyLabel(c.property);
  ASSERT_EQ(label.has_value(), c.described);
  std::string entry = c.property + " 1件";
  if (label) {
    EXPECT_TRUE(holdsJapanese(label->description)) << label->description;
    EXPECT_EQ(label->description.find(c.property), std::string_view::npos);
    entry = std::string(label->description) + "（" + c.property +
            (label->note.empty() ? "" : "、" + std::string(label->note)) + "）1件";
  }
  vcard::ConversionReport report;
  report.loaded = true;
  report.dropped = {{c.property, 1}};
  const std::string text = vcard::reportText(report);
  EXPECT_NE(text.find("（書き出していません）：" + entry + "\n"), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(Names, DroppedEntryTest, testing::ValuesIn(kEntryCases), CaseName());

// Properties that hold different things are told apart by their
// descriptions, not by their names alone.
TEST(PropertyLabelTest, DifferentPropertiesHaveDifferentDescriptions) {
  const std::vector<std::string> names = {
      "X-GN",    "X-GNO",          "X-CLASS",        "X-REDUCTION",      "REV",
      "LABEL",   "X-MS-OL-DESIGN", "SOUND(音声)",    "X-ABRELATEDNAMES", "X-ABDATE",
      "RELATED", "X-ABUID",        "X-DCM-RINGTONE", "X-MS-FOO"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto first = vcard::propertyLabel(names[i]);
    ASSERT_TRUE(first.has_value()) << names[i];
    for (std::size_t j = i + 1; j < names.size(); ++j) {
      const auto second = vcard::propertyLabel(names[j]);
      ASSERT_TRUE(second.has_value()) << names[j];
      EXPECT_NE(first->description, second->description) << names[i] << " and " << names[j];
    }
  }
}

// A property a converted card leaves out is named in the report by its
// description.
TEST(PropertyLabelTest, ConvertedCardReportsWhatItLeftOutByDescription) {
  const enginetest::Converted converted = enginetest::convert(
      "BEGIN:VCARD\r\nVERSION:2.1\r\nN:a;b\r\nX-GN:\xE5\x8F\x8B\xE4\xBA\xBA\r\n"  // 友人
      "REV:20200101T000000Z\r\nEND:VCARD\r\n");
  ASSERT_EQ(converted.texts.size(), 1u);
  const std::string text = vcard::reportText(converted.report);
  for (const std::string_view name : {"X-GN", "REV"}) {
    const auto label = vcard::propertyLabel(name);
    ASSERT_TRUE(label.has_value()) << name;
    EXPECT_NE(text.find(std::string(label->description) + "（" + std::string(name) + "）1件"),
              std::string::npos)
        << text;
  }
}

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

}  // namespace
