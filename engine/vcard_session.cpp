// Growth and output bookkeeping of the line loop. Appending piece by piece to
// a text that is grown to exactly fit costs a length scan and a copy of the
// whole text each time; a card with many lines or a property with many folds
// then takes quadratic time. While vCard_AnalysData runs, the texts it grows
// keep their length and spare room here instead, and finished cards are
// collected as UTF-16LE and appended to the output file in large blocks.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "engine_p.h"
#include "platform.h"
#include "vcard.h"

namespace vcard::detail {

namespace {

// Output is appended once this much has been collected.
constexpr std::size_t kOutputBlock = std::size_t{1} << 20;

// A malloc'd C string whose length and block size are known.
struct Tracked {
  const void* owner = nullptr;  // the PROPERTY whose text this is (cards: unused)
  char* text = nullptr;
  std::size_t length = 0;
  std::size_t capacity = 0;  // bytes in the block, the NUL included
};

struct Session {
  bool active = false;
  VCARDLIST* list = nullptr;
  std::size_t cardCapacity = 0;  // records in list->cardArray's block
  Tracked card;                  // text of the card last appended to
  Tracked prop;
  std::vector<std::uint64_t> openCards;  // indices of the open cards, innermost last
  std::string output;                    // collected UTF-16LE bytes
  std::string outputPath;
};

Session session;

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
  std::memcpy(tracked->text + tracked->length, piece.data(), piece.size());
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
  std::memcpy(grown + length, piece.data(), piece.size());
  grown[length + piece.size()] = '\0';
  *slot = grown;
  return true;
}

void flushOutput() noexcept {
  if (session.output.empty()) return;
  try {
    if (!outputFailed && !platform::appendToFile(session.outputPath, session.output))
      outputFailed = true;
  } catch (...) {
    outputFailed = true;
  }
  session.output.clear();
}

void finishCardOf(VCARDDATA* card) noexcept {
  Tracked& tracked = session.card;
  if (card != nullptr && tracked.text != nullptr && card->cardText == tracked.text &&
      tracked.capacity > tracked.length + 1) {
    // Trimming cannot fail in a way that matters: the larger block is kept.
    if (auto* fitted = static_cast<char*>(std::realloc(tracked.text, tracked.length + 1)))
      card->cardText = fitted;
  }
  tracked = Tracked{};
}

}  // namespace

bool appendToCard(VCARDDATA* card, std::string_view piece) noexcept {
  if (card == nullptr) return false;
  if (!session.active) return appendExact(&card->cardText, piece);
  return appendTracked(&session.card, &card->cardText, piece);
}

bool appendToProperty(PROPERTY* prop, std::string_view piece) noexcept {
  if (prop == nullptr) return false;
  if (!session.active) return appendExact(&prop->propText, piece);
  if (session.prop.owner != prop) session.prop = Tracked{prop};
  return appendTracked(&session.prop, &prop->propText, piece);
}

void dropLastPropertyByte(PROPERTY* prop) noexcept {
  if (prop == nullptr || prop->propText == nullptr) return;
  Tracked& tracked = session.prop;
  if (session.active && tracked.owner == prop && tracked.text == prop->propText) {
    if (tracked.length == 0) return;
    tracked.text[--tracked.length] = '\0';
    return;
  }
  const std::size_t length = std::strlen(prop->propText);
  if (length > 0) prop->propText[length - 1] = '\0';
}

void forgetProperty(const PROPERTY* prop) noexcept {
  if (session.prop.owner == prop) session.prop = Tracked{};
}

void finishCard(VCARDDATA* card) noexcept {
  if (session.active) finishCardOf(card);
}

VCARDDATA* openCard(VCARDLIST* list) noexcept {
  if (list == nullptr) return nullptr;
  if (session.active && session.list == list) {
    return session.openCards.empty() ? nullptr : &list->cardArray[session.openCards.back()];
  }
  for (std::uint64_t i = list->cardCount; i-- > 0;) {
    if (list->cardArray[i].isEnd == 0) return &list->cardArray[i];
  }
  return nullptr;
}

void cardOpened(VCARDLIST* list) noexcept {
  if (!session.active || session.list != list || list->cardCount == 0) return;
  try {
    session.openCards.push_back(list->cardCount - 1);
  } catch (...) {
    // Out of memory: the card stays out of the stack, as if abandoned.
  }
}

void cardClosed(VCARDLIST* list) noexcept {
  if (session.active && session.list == list && !session.openCards.empty())
    session.openCards.pop_back();
}

CardExtras* extrasOf(VCARDDATA* card) noexcept {
  if (card == nullptr) return nullptr;
  if (card->extras == nullptr) card->extras = new (std::nothrow) CardExtras;
  return card->extras;
}

bool growCardArray(VCARDLIST* list) noexcept {
  const std::size_t count = list->cardCount;
  if (count >= SIZE_MAX / sizeof(VCARDDATA) / 4) return false;
  if (!session.active || session.list != list) {
    auto* grown =
        static_cast<VCARDDATA*>(std::realloc(list->cardArray, sizeof(VCARDDATA) * (count + 1)));
    if (grown == nullptr) return false;
    list->cardArray = grown;
    return true;
  }
  if (count + 1 > session.cardCapacity) {
    std::size_t capacity = std::max<std::size_t>(count * 2, 16);
    auto* grown =
        static_cast<VCARDDATA*>(std::realloc(list->cardArray, sizeof(VCARDDATA) * capacity));
    if (grown == nullptr) {
      capacity = count + 1;
      grown = static_cast<VCARDDATA*>(std::realloc(list->cardArray, sizeof(VCARDDATA) * capacity));
    }
    if (grown == nullptr) return false;
    list->cardArray = grown;
    session.cardCapacity = capacity;
  }
  return true;
}

bool appendUTF16LE(std::string_view utf8, std::string* out) {
  // The same texts the platform's conversion takes: well-formed UTF-8 of at
  // most INT32_MAX bytes.
  if (utf8.size() > static_cast<std::size_t>(INT32_MAX)) return false;
  return utf::convertUTF8ToUTF16LE(utf8, out);
}

void writeCard(const char* path, const char* cardText) noexcept {
  if (!session.active) {
    (void)OutputFile(path, cardText);
    return;
  }
  if (outputFailed || path == nullptr || cardText == nullptr) return;
  try {
    if (!session.output.empty() && session.outputPath != path) flushOutput();
    session.outputPath = path;
    if (!appendUTF16LE(cardText, &session.output)) {
      outputFailed = true;
      session.output.clear();
      return;
    }
    if (session.output.size() >= kOutputBlock) flushOutput();
  } catch (...) {
    outputFailed = true;
    session.output.clear();
  }
}

AnalysisScope::AnalysisScope(VCARDLIST* list) noexcept {
  session.active = true;
  session.list = list;
  session.cardCapacity = list->cardCount;
  session.card = Tracked{};
  session.prop = Tracked{};
  session.output.clear();
  session.openCards.clear();
  // A list handed in with open cards (never by the driver) keeps them open.
  try {
    for (std::uint64_t i = 0; i < list->cardCount; ++i) {
      if (list->cardArray[i].isEnd == 0) session.openCards.push_back(i);
    }
  } catch (...) {
    session.openCards.clear();
  }
}

AnalysisScope::~AnalysisScope() {
  VCARDLIST* list = session.list;
  // The card still tracked is an open one, the innermost most likely.
  for (std::uint64_t i = list->cardCount; i-- > 0 && session.card.text != nullptr;) {
    if (list->cardArray[i].cardText == session.card.text) finishCardOf(&list->cardArray[i]);
  }
  if (list->cardCount != 0 && session.cardCapacity > list->cardCount) {
    if (auto* fitted = static_cast<VCARDDATA*>(
            std::realloc(list->cardArray, sizeof(VCARDDATA) * list->cardCount)))
      list->cardArray = fitted;
  }
  flushOutput();
  session.output.shrink_to_fit();
  session = Session{};
}

}  // namespace vcard::detail
