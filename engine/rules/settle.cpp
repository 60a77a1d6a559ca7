// What a card settles only at its END:VCARD line: the labels of its grouped
// properties, which may stand anywhere in the card, and a name from FN for a
// card whose N is missing or empty.
#include <algorithm>
#include <cstring>
#include <vector>

#include "ascii_letters.h"
#include "fields.h"
#include "rules.h"
#include "strutil.h"

namespace vcard::detail {
namespace {

// A value of FN as an N component: decoded and folded like N, with every
// ";" and "," that FN had unescaped escaped by a backslash.
void appendNameComponent(const ValueContext& context, std::string* out, const char* value,
                         const PropertyLine& prop) {
  const std::optional<std::string> converted = convertValue(context, value, prop);
  if (!converted) return;
  bool escaped = false;
  for (const char c : *converted) {
    if (!escaped && (c == ';' || c == ',')) out->push_back('\\');
    escaped = !escaped && c == '\\';
    out->push_back(c);
  }
}

// The card's name from its first FN line, "" when it gives none.
std::string nameFromFN(const ValueContext& context, const CardExtras& extras, bool quotedValues) {
  if (extras.fnLine.empty() || extras.fnEncoding == kEncodingBase64) return {};
  strutil::LineSplit split;
  split.split(extras.fnLine, true, context.knownUTF8, quotedValues);
  PropertyLine prop;
  prop.charsetType = extras.fnCharset;
  prop.encodeType = extras.fnEncoding;
  prop.isHalfToFull = true;
  std::memcpy(prop.charsetName, extras.fnCharsetName, sizeof prop.charsetName);
  std::string name;
  for (std::size_t i = 0; i < split.valuesCount(); ++i) {
    if (i > 0) name.append("\\;");
    const char* value = split.values()[i];
    appendNameComponent(context, &name, value != nullptr ? value : "", prop);
  }
  if (name.find_first_not_of(" \t") == std::string::npos) return {};
  return name;
}

// One grouped property's properties with their label, under an item number
// of the card's own: the label travels with every property of its group.
void appendGrouped(std::vector<Property>* out, OpenCard& card, std::size_t begin, std::size_t end,
                   const CardExtras::Grouped& grouped, const std::string* label) {
  Card& model = card.card;
  const std::vector<Property>& properties = model.properties();
  if (label == nullptr) {
    out->insert(out->end(), properties.begin() + static_cast<std::ptrdiff_t>(begin),
                properties.begin() + static_cast<std::ptrdiff_t>(end));
    return;
  }
  const Property& last = properties[end - 1];
  if (grouped.otherItem && model.text(last.name) == "X-ABLabel" && last.parameterCount == 0) {
    // The rule's own item: the source's label replaces the rule's.
    out->insert(out->end(), properties.begin() + static_cast<std::ptrdiff_t>(begin),
                properties.begin() + static_cast<std::ptrdiff_t>(end));
    out->back().value = model.store(*label);
    return;
  }
  const std::string item = card.nextItemGroup();
  const Span itemGroup = model.store(item);
  for (std::size_t i = begin; i < end; ++i) {
    Property property = model.properties()[i];
    if (property.group.empty()) {
      property.group = itemGroup;
    } else {
      const std::string nested = item + "." + std::string(model.text(property.group));
      property.group = model.store(nested);
    }
    out->push_back(property);
  }
  Property labelProperty;
  labelProperty.group = itemGroup;
  labelProperty.name = model.store("X-ABLabel");
  labelProperty.firstParameter = 0;
  labelProperty.value = model.store(*label);
  out->push_back(labelProperty);
}

}  // namespace

void noteFN(OpenCard& card, std::string_view line, const PropertyLine& prop) {
  if (card.hasName) return;
  CardExtras& extras = card.extras;
  if (!extras.fnLine.empty()) return;
  extras.fnLine = line;
  extras.fnCharset = prop.charsetType;
  extras.fnEncoding = prop.encodeType;
  std::memcpy(extras.fnCharsetName, prop.charsetName, sizeof extras.fnCharsetName);
}

void noteLabel(const ValueContext& context, OpenCard& card, std::string_view group, char** values,
               std::size_t valueCount, const PropertyLine& prop) {
  PropertyLine plain = prop;
  plain.isHalfToFull = false;
  std::string label;
  for (std::size_t i = 0; i < valueCount; ++i) {
    if (i > 0) label.push_back(';');
    if (const std::optional<std::string> value =
            convertValue(context, values[i] != nullptr ? values[i] : "", plain))
      label.append(*value);
  }
  if (label.find_first_not_of(" \t") == std::string::npos) return;  // Google's empty labels
  card.extras.labels.emplace(platform::upperASCII(group), label);
}

namespace {

void settleGroupsAndName(const ValueContext& context, OpenCard& card) {
  CardExtras& extras = card.extras;
  const std::string name =
      card.hasName ? std::string() : nameFromFN(context, extras, card.card.quotesParameters());
  if (extras.grouped.empty() && name.empty()) return;

  // The cuts in the property list, in order: grouped properties rewritten,
  // empty N properties dropped when FN gives the name.
  struct Cut {
    std::size_t begin;
    std::size_t end;
    const CardExtras::Grouped* grouped;
  };
  std::vector<Cut> cuts;
  for (const auto& grouped : extras.grouped)
    cuts.push_back({grouped.begin, grouped.end, &grouped});
  if (!name.empty()) {
    for (const auto& [begin, end] : extras.emptyNames)
      cuts.push_back({begin, end, nullptr});
  }
  std::sort(cuts.begin(), cuts.end(), [](const Cut& a, const Cut& b) { return a.begin < b.begin; });

  Card& model = card.card;
  const std::size_t count = model.properties().size();
  std::vector<Property> settled;
  settled.reserve(count + extras.grouped.size() + 1);
  std::size_t copied = 0;
  for (const Cut& cut : cuts) {
    if (cut.begin < copied || cut.end > count) continue;
    settled.insert(settled.end(), model.properties().begin() + static_cast<std::ptrdiff_t>(copied),
                   model.properties().begin() + static_cast<std::ptrdiff_t>(cut.begin));
    if (cut.grouped != nullptr) {
      const auto label = extras.labels.find(cut.grouped->group);
      appendGrouped(&settled, card, cut.begin, cut.end, *cut.grouped,
                    label != extras.labels.end() ? &label->second : nullptr);
    }
    copied = cut.end;
  }
  settled.insert(settled.end(), model.properties().begin() + static_cast<std::ptrdiff_t>(copied),
                 model.properties().end());
  model.properties().swap(settled);
  if (!name.empty()) model.addProperty({}, "N", name + ";;;;");
}

}  // namespace

void settleCard(const ValueContext& context, ReportNotes& notes, OpenCard& card) {
  settleVersion4(context, card);
  if (card.extras.empty()) return;
  settleCardPicture(card);
  settleGroupsAndName(context, card);
  settleDepartments(card, notes);
  // A LABEL beside an ADR only repeats the address.
  for (std::size_t n = settleAddressLabels(card); n > 0; --n)
    notes.dropped(card, "LABEL");
}

}  // namespace vcard::detail
