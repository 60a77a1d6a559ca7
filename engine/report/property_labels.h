// What a left-out property holds, in the user's words. The report names a
// property by what a person would call it ("グループ名") before the name the
// file gives it ("X-GN"), and lists first what a user would miss most.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "vcard_report.h"

namespace vcard {

// How much a user would miss a property left out, most first.
enum class PropertyRank {
  TypedText,    // text a person typed: related names, anniversaries, titles, notes
  ContactData,  // more ways to reach someone or find them: IM, URLs, groups, keys
  Unknown,      // a property the table does not know
  Setting,      // how a program shows or files the card
  Mark,         // marks programs put for themselves: ids, dates, producers
};

struct PropertyLabel {
  std::string_view description;  // Japanese, short: "グループ名"
  std::string_view note;  // said after the name, or "": "住所そのものは書き出しています"
  PropertyRank rank = PropertyRank::Unknown;
};

// The label of a property name as the report holds it (upper-cased, without
// group); nothing for a name the table does not know.
[[nodiscard]] std::optional<PropertyLabel> propertyLabel(std::string_view name);

// The dropped properties in the order the report lists them: by rank, and
// within a rank in the order given (first appearance).
[[nodiscard]] std::vector<DroppedProperty> droppedInReportOrder(
    const std::vector<DroppedProperty>& dropped);

}  // namespace vcard
