// What a card settles only at its END:VCARD line: the labels of its grouped
// properties, which may stand anywhere in the card, and a name from FN for a
// card whose N is missing or empty.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vcard.h"

namespace vcard::detail {

// What the recognition notes for the card's end.
struct CardExtras {
  // The written lines of one grouped property ("item1.EMAIL"), as a byte
  // range of the card text.
  struct Grouped {
    std::size_t begin;
    std::size_t end;
    std::string group;  // upper-cased
    bool otherItem;     // the rule wrote an item with the "other" label
  };
  std::vector<Grouped> grouped;
  std::map<std::string, std::string> labels;  // upper-cased group -> label as found

  // N lines whose components are all empty, replaced by a name from FN.
  std::vector<std::pair<std::size_t, std::size_t>> emptyNames;
  // The card's first FN line and how its value is encoded.
  std::string fnLine;
  std::uint64_t fnCharset = 0;
  std::uint64_t fnEncoding = 0;
  char fnCharsetName[48] = {};
};

// The card's extras, made when first needed; null on exhausted memory.
CardExtras* extrasOf(VCARDDATA* card) noexcept;

// Keeps the card's first FN line: FN is never written, but it names a card
// that has no N.
void noteFN(VCARDDATA* card, const char* line, const PROPERTY* prop);

// Keeps a group's label (the first one that is not empty), converted like a
// value but never folded.
void noteLabel(VCARDDATA* card, std::string_view group, char** values, std::uint64_t valueCount,
               const PROPERTY* prop);

// Rewrites the card's text with what its end tells: grouped lines with their
// labels, and the name from FN as the last line in place of any empty N
// line. On exhausted memory the card stays as it was.
void settleCard(VCARDDATA* card);

}  // namespace vcard::detail
