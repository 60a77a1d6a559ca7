#include "card_list.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "card_settle.h"

namespace vcard::detail {
namespace {

// What the running CardListRun keeps; null outside a run.
struct Run {
  VCARDLIST* list = nullptr;
  std::size_t capacity = 0;              // records in list->cardArray's block
  std::vector<std::uint64_t> openCards;  // indices of the open cards, innermost last
  bool releaseWrittenTexts = false;
  RetiredCards retired;
};
Run* g_run = nullptr;

Run* runOf(const VCARDLIST* list) {
  return g_run != nullptr && g_run->list == list ? g_run : nullptr;
}

}  // namespace

bool growCardArray(VCARDLIST* list) noexcept {
  const std::size_t count = list->cardCount;
  if (count >= SIZE_MAX / sizeof(VCARDDATA) / 4) return false;
  Run* run = runOf(list);
  if (run == nullptr) {
    auto* grown =
        static_cast<VCARDDATA*>(std::realloc(list->cardArray, sizeof(VCARDDATA) * (count + 1)));
    if (grown == nullptr) return false;
    list->cardArray = grown;
    return true;
  }
  if (count + 1 > run->capacity) {
    std::size_t capacity = std::max<std::size_t>(count * 2, 16);
    auto* grown =
        static_cast<VCARDDATA*>(std::realloc(list->cardArray, sizeof(VCARDDATA) * capacity));
    if (grown == nullptr) {
      capacity = count + 1;
      grown = static_cast<VCARDDATA*>(std::realloc(list->cardArray, sizeof(VCARDDATA) * capacity));
    }
    if (grown == nullptr) return false;
    list->cardArray = grown;
    run->capacity = capacity;
  }
  return true;
}

VCARDDATA* openCard(VCARDLIST* list) noexcept {
  if (list == nullptr) return nullptr;
  if (const Run* run = runOf(list)) {
    return run->openCards.empty() ? nullptr : &list->cardArray[run->openCards.back()];
  }
  for (std::uint64_t i = list->cardCount; i-- > 0;) {
    if (list->cardArray[i].isEnd == 0) return &list->cardArray[i];
  }
  return nullptr;
}

void cardOpened(VCARDLIST* list) noexcept {
  Run* run = runOf(list);
  if (run == nullptr || list->cardCount == 0) return;
  try {
    run->openCards.push_back(list->cardCount - 1);
  } catch (...) {
    // Out of memory: the card stays out of the stack, as if abandoned.
  }
}

void cardClosed(VCARDLIST* list) noexcept {
  Run* run = runOf(list);
  if (run != nullptr && !run->openCards.empty()) run->openCards.pop_back();
}

std::uint64_t positionOf(const VCARDLIST* list, const VCARDDATA* card) noexcept {
  const Run* run = runOf(list);
  return (run != nullptr ? run->retired.count : 0) +
         static_cast<std::uint64_t>(card - list->cardArray) + 1;
}

std::uint64_t closedFront(const VCARDLIST* list) noexcept {
  const Run* run = runOf(list);
  if (run == nullptr) return 0;
  return run->openCards.empty() ? list->cardCount : run->openCards.front();
}

RetiredCards retiredCards(const VCARDLIST* list) noexcept {
  const Run* run = runOf(list);
  return run != nullptr ? run->retired : RetiredCards{};
}

void retireCards(VCARDLIST* list, std::uint64_t count) noexcept {
  Run* run = runOf(list);
  if (run == nullptr) return;
  count = std::min(count, closedFront(list));
  if (count == 0) return;
  for (std::uint64_t i = 0; i < count; ++i) {
    VCARDDATA& card = list->cardArray[i];
    if (card.isEnd != 0) {
      ++run->retired.ended;
      if (card.isError == 0) ++run->retired.written;
    }
    std::free(card.cardText);
    delete card.extras;
  }
  std::memmove(list->cardArray, list->cardArray + count,
               sizeof(VCARDDATA) * (list->cardCount - count));
  list->cardCount -= count;
  for (std::uint64_t& open : run->openCards)
    open -= count;
  run->retired.count += count;
}

bool releasesWrittenTexts(const VCARDLIST* list) noexcept {
  const Run* run = runOf(list);
  return run != nullptr && run->releaseWrittenTexts;
}

CardListRun::CardListRun(VCARDLIST* list, bool releaseWrittenTexts) noexcept {
  static Run run;
  run.list = list;
  run.releaseWrittenTexts = releaseWrittenTexts;
  run.retired = RetiredCards{};
  run.capacity = list->cardCount;
  run.openCards.clear();
  try {
    for (std::uint64_t i = 0; i < list->cardCount; ++i) {
      if (list->cardArray[i].isEnd == 0) run.openCards.push_back(i);
    }
  } catch (...) {
    run.openCards.clear();
  }
  g_run = &run;
}

CardListRun::~CardListRun() {
  VCARDLIST* list = g_run->list;
  if (list->cardCount != 0 && g_run->capacity > list->cardCount) {
    if (auto* fitted = static_cast<VCARDDATA*>(
            std::realloc(list->cardArray, sizeof(VCARDDATA) * list->cardCount)))
      list->cardArray = fitted;
  }
  g_run->openCards.clear();
  g_run->openCards.shrink_to_fit();
  g_run->list = nullptr;
  g_run = nullptr;
}

}  // namespace vcard::detail
