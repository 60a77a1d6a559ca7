// A card's iPhone-form text read back into the card model, property by
// property as the rules build it: a BEGIN or END line whole, every other
// line cut at its first unescaped ":" into the head and the value, the head
// at every unescaped ";" into the name (with its group before the last dot)
// and the parameters. Folds stay in the parts they fall in; a line without
// ":" is no property and is passed over.
//
// The driver hands the output its cards as text; this gives the iCloud.com
// writer the model it writes from.
#pragma once

#include <string_view>

#include "card/card.h"

namespace vcard::detail {

// Empties card and fills it with the properties of text.
void readCard(std::string_view text, Card* card);

}  // namespace vcard::detail
