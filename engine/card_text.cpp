#include "card_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace vcard::detail {
namespace {

// A malloc'd C string whose length and block size are known.
struct Tracked {
  const void* owner = nullptr;  // the PROPERTY whose text this is (cards: unused)
  char* text = nullptr;
  std::size_t length = 0;
  std::size_t capacity = 0;  // bytes in the block, the NUL included
};

// What the running RoomyTextGrowth follows; null outside a run.
struct Growth {
  Tracked card;  // text of the card last appended to
  Tracked prop;
  // The block of the last property's text, kept for the next one: a card
  // has a dozen properties, each of which would otherwise cost a malloc.
  char* spareProp = nullptr;
  std::size_t spareCapacity = 0;
};

// A property text block up to this size is kept for the next property; a
// larger one (a photo's) is given back.
constexpr std::size_t kKeptPropertyBlock = 64 * 1024;
Growth* g_growth = nullptr;

bool overlaps(const char* block, std::size_t size, std::string_view piece) {
  const std::less_equal<const char*> le;
  return block != nullptr && le(block, piece.data()) && le(piece.data(), block + size);
}

// Appends to *slot, which tracked describes once this returns true.
bool appendTracked(Tracked* tracked, char** slot, std::string_view piece) noexcept {
  if (tracked->text != *slot || *slot == nullptr) {
    tracked->text = *slot;
    tracked->length = *slot != nullptr ? std::strlen(*slot) : 0;
    tracked->capacity = *slot != nullptr ? tracked->length + 1 : 0;
  }
  if (overlaps(tracked->text, tracked->capacity, piece)) {
    // A piece of the text itself: realloc may move it.
    std::string copy;
    try {
      copy.assign(piece);
    } catch (...) {
      return false;
    }
    return appendTracked(tracked, slot, copy);
  }
  if (piece.size() > SIZE_MAX / 4 - tracked->length) return false;
  const std::size_t needed = tracked->length + piece.size() + 1;
  if (needed > tracked->capacity) {
    const std::size_t roomy = std::max({needed, tracked->capacity * 2, std::size_t{256}});
    auto* grown = static_cast<char*>(std::realloc(tracked->text, roomy));
    std::size_t capacity = roomy;
    if (grown == nullptr) {
      grown = static_cast<char*>(std::realloc(tracked->text, needed));
      capacity = needed;
    }
    if (grown == nullptr) return false;
    tracked->text = grown;
    tracked->capacity = capacity;
    *slot = grown;
  }
  if (!piece.empty()) std::memcpy(tracked->text + tracked->length, piece.data(), piece.size());
  tracked->length += piece.size();
  tracked->text[tracked->length] = '\0';
  return true;
}

// StrAdd for a piece that is not NUL-terminated: grows *slot exactly.
bool appendExact(char** slot, std::string_view piece) noexcept {
  const std::size_t length = *slot != nullptr ? std::strlen(*slot) : 0;
  if (overlaps(*slot, length + 1, piece)) {
    std::string copy;
    try {
      copy.assign(piece);
    } catch (...) {
      return false;
    }
    return appendExact(slot, copy);
  }
  if (piece.size() > SIZE_MAX / 4 - length) return false;
  auto* grown = static_cast<char*>(std::realloc(*slot, length + piece.size() + 1));
  if (grown == nullptr) return false;
  // An empty piece may have no data at all, which memcpy must not be given.
  if (!piece.empty()) std::memcpy(grown + length, piece.data(), piece.size());
  grown[length + piece.size()] = '\0';
  *slot = grown;
  return true;
}

void finishTrackedCard(Tracked* tracked, VCARDDATA* card) noexcept {
  if (card != nullptr && tracked->text != nullptr && card->cardText == tracked->text &&
      tracked->capacity > tracked->length + 1) {
    // Trimming cannot fail in a way that matters: the larger block is kept.
    if (auto* fitted = static_cast<char*>(std::realloc(tracked->text, tracked->length + 1)))
      card->cardText = fitted;
  }
  *tracked = Tracked{};
}

}  // namespace

bool appendToCard(VCARDDATA* card, std::string_view piece) noexcept {
  if (card == nullptr) return false;
  if (g_growth == nullptr) return appendExact(&card->cardText, piece);
  return appendTracked(&g_growth->card, &card->cardText, piece);
}

bool appendToProperty(PROPERTY* prop, std::string_view piece) noexcept {
  if (prop == nullptr) return false;
  if (g_growth == nullptr) return appendExact(&prop->propText, piece);
  if (g_growth->prop.owner != prop) g_growth->prop = Tracked{prop};
  if (prop->propText == nullptr && g_growth->spareProp != nullptr) {
    g_growth->prop = Tracked{prop, g_growth->spareProp, 0, g_growth->spareCapacity};
    g_growth->spareProp[0] = '\0';
    prop->propText = g_growth->spareProp;
    g_growth->spareProp = nullptr;
  }
  return appendTracked(&g_growth->prop, &prop->propText, piece);
}

void dropLastPropertyByte(PROPERTY* prop) noexcept {
  if (prop == nullptr || prop->propText == nullptr) return;
  if (g_growth != nullptr && g_growth->prop.owner == prop &&
      g_growth->prop.text == prop->propText) {
    Tracked& tracked = g_growth->prop;
    if (tracked.length == 0) return;
    tracked.text[--tracked.length] = '\0';
    return;
  }
  const std::size_t length = std::strlen(prop->propText);
  if (length > 0) prop->propText[length - 1] = '\0';
}

void releasePropertyText(PROPERTY* prop) noexcept {
  if (prop == nullptr) return;
  if (g_growth != nullptr && g_growth->prop.owner == prop) {
    Tracked& tracked = g_growth->prop;
    if (tracked.text != nullptr && tracked.text == prop->propText &&
        g_growth->spareProp == nullptr && tracked.capacity <= kKeptPropertyBlock) {
      g_growth->spareProp = tracked.text;
      g_growth->spareCapacity = tracked.capacity;
      prop->propText = nullptr;
    }
    tracked = Tracked{};
  }
  std::free(prop->propText);
  prop->propText = nullptr;
}

void finishCard(VCARDDATA* card) noexcept {
  if (g_growth != nullptr) finishTrackedCard(&g_growth->card, card);
}

RoomyTextGrowth::RoomyTextGrowth(VCARDLIST* list) noexcept : list_(list) {
  static Growth growth;
  growth = Growth{};
  g_growth = &growth;
}

RoomyTextGrowth::~RoomyTextGrowth() {
  Tracked& card = g_growth->card;
  // The card still followed is an open one, the innermost most likely.
  for (std::uint64_t i = list_->cardCount; i-- > 0 && card.text != nullptr;) {
    if (list_->cardArray[i].cardText == card.text) finishTrackedCard(&card, &list_->cardArray[i]);
  }
  std::free(g_growth->spareProp);
  g_growth = nullptr;
}

}  // namespace vcard::detail
