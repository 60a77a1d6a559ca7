#include "card_settle.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "card_text.h"
#include "engine_p.h"
#include "strutil.h"

namespace vcard::detail {
namespace {

using platform::OwnedCString;

// A value of FN as an N component: decoded and folded like N, with every
// ";" and "," that FN had unescaped escaped by a backslash.
void appendNameComponent(std::string* out, const char* value, const PROPERTY* prop) {
  OwnedCString converted(convertValue(value, prop));
  if (!converted) return;
  bool escaped = false;
  for (const char* c = converted.get(); *c != '\0'; ++c) {
    if (!escaped && (*c == ';' || *c == ',')) out->push_back('\\');
    escaped = !escaped && *c == '\\';
    out->push_back(*c);
  }
}

// The card's name from its first FN line, "" when it gives none.
std::string nameFromFN(const CardExtras& extras) {
  if (extras.fnLine.empty() || extras.fnEncoding == kEncodingBase64) return {};
  SplitPair split;
  SplitFR(extras.fnLine.c_str(), &split.names, &split.namesCount, &split.values,
          &split.valuesCount);
  PROPERTY prop{};
  prop.charsetType = extras.fnCharset;
  prop.encodeType = extras.fnEncoding;
  prop.isHalfToFull = 1;
  std::memcpy(prop.charsetName, extras.fnCharsetName, sizeof prop.charsetName);
  std::string name;
  for (std::uint64_t i = 0; i < split.valuesCount; ++i) {
    if (i > 0) name.append("\\;");
    appendNameComponent(&name, split.values[i] != nullptr ? split.values[i] : "", &prop);
  }
  if (name.find_first_not_of(" \t") == std::string::npos) return {};
  return name;
}

// One grouped property's lines with its label, under an item number of the
// card's own: the label travels with every property of its group.
void appendGrouped(std::string* out, VCARDDATA* card, std::string_view lines,
                   const CardExtras::Grouped& grouped, const std::string* label) {
  constexpr std::string_view kOtherLabel = "X-ABLabel:_$!<Other>!$_\r\n";
  if (label == nullptr) {
    out->append(lines);
  } else if (grouped.otherItem && lines.ends_with(kOtherLabel)) {
    // The rule's own item: the source's label replaces "other".
    lines.remove_suffix(kOtherLabel.size());
    out->append(lines).append("X-ABLabel:").append(*label).append("\r\n");
  } else {
    ++card->itemNo;
    const std::string prefix = "item" + std::to_string(card->itemNo) + ".";
    out->append(prefix).append(lines);
    out->append(prefix).append("X-ABLabel:").append(*label).append("\r\n");
  }
}

}  // namespace

CardExtras* extrasOf(VCARDDATA* card) noexcept {
  if (card == nullptr) return nullptr;
  if (card->extras == nullptr) card->extras = new (std::nothrow) CardExtras;
  return card->extras;
}

void noteFN(VCARDDATA* card, const char* line, const PROPERTY* prop) {
  if (card == nullptr || card->hasName != 0) return;
  CardExtras* extras = extrasOf(card);
  if (extras == nullptr || !extras->fnLine.empty()) return;
  extras->fnLine = line;
  extras->fnCharset = prop->charsetType;
  extras->fnEncoding = prop->encodeType;
  std::memcpy(extras->fnCharsetName, prop->charsetName, sizeof extras->fnCharsetName);
}

void noteLabel(VCARDDATA* card, std::string_view group, char** values, std::uint64_t valueCount,
               const PROPERTY* prop) {
  PROPERTY plain = *prop;
  plain.isHalfToFull = 0;
  std::string label;
  for (std::uint64_t i = 0; i < valueCount; ++i) {
    if (i > 0) label.push_back(';');
    OwnedCString value(convertValue(values[i] != nullptr ? values[i] : "", &plain));
    if (value) label.append(value.get());
  }
  if (label.find_first_not_of(" \t") == std::string::npos) return;  // Google's empty labels
  CardExtras* extras = extrasOf(card);
  if (extras != nullptr) extras->labels.emplace(upperASCII(group), label);
}

void settleCard(VCARDDATA* card) {
  CardExtras* extras = card->extras;
  if (extras == nullptr || card->cardText == nullptr) return;
  const std::string name = card->hasName != 0 ? std::string() : nameFromFN(*extras);
  if (extras->grouped.empty() && name.empty()) return;

  // The cuts in the text, in order: grouped lines rewritten, empty N lines
  // dropped when FN gives the name.
  struct Cut {
    std::size_t begin;
    std::size_t end;
    const CardExtras::Grouped* grouped;
  };
  std::vector<Cut> cuts;
  for (const auto& grouped : extras->grouped)
    cuts.push_back({grouped.begin, grouped.end, &grouped});
  if (!name.empty()) {
    for (const auto& [begin, end] : extras->emptyNames)
      cuts.push_back({begin, end, nullptr});
  }
  std::sort(cuts.begin(), cuts.end(), [](const Cut& a, const Cut& b) { return a.begin < b.begin; });

  const std::string_view text(card->cardText);
  std::string settled;
  settled.reserve(text.size() + 64);
  std::size_t copied = 0;
  for (const Cut& cut : cuts) {
    if (cut.begin < copied || cut.end > text.size()) continue;
    settled.append(text.substr(copied, cut.begin - copied));
    if (cut.grouped != nullptr) {
      const auto label = extras->labels.find(cut.grouped->group);
      appendGrouped(&settled, card, text.substr(cut.begin, cut.end - cut.begin), *cut.grouped,
                    label != extras->labels.end() ? &label->second : nullptr);
    }
    copied = cut.end;
  }
  settled.append(text.substr(copied));
  if (!name.empty()) settled.append("N:").append(name).append(";;;;\r\n");

  char* replacement = StrAlloc(settled.c_str());
  if (replacement == nullptr) return;  // out of memory: the card stays as it was
  finishCard(card);
  std::free(card->cardText);
  card->cardText = replacement;
}

}  // namespace vcard::detail
