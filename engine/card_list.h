// The card list: its array of card records, which card is open, and the
// owning holder the driver keeps it in.
//
// While a CardListRun exists (one vCard_AnalysData run), the array keeps
// spare room and the open cards are kept as a stack; on leaving, the array is
// trimmed to fit. Without one, the array grows exactly and the open card is
// found by searching the list from its end.
#pragma once

#include <cstdint>
#include <vector>

#include "vcard.h"

namespace vcard::detail {

// Grows the card array by one record. False on exhausted memory, with the
// list unchanged.
bool growCardArray(VCARDLIST* list) noexcept;

// The innermost card still open (no END:VCARD yet), or null.
VCARDDATA* openCard(VCARDLIST* list) noexcept;

// The list's last card was just begun / the innermost open card just ended.
void cardOpened(VCARDLIST* list) noexcept;
void cardClosed(VCARDLIST* list) noexcept;

// True while the list's run lets go of each card's text once the card is
// written: the driver's runs, where nothing reads a written card again.
[[nodiscard]] bool releasesWrittenTexts(const VCARDLIST* list) noexcept;

// The card's place among the cards begun, from 1, counting the cards let go
// from the front of the list.
[[nodiscard]] std::uint64_t positionOf(const VCARDLIST* list, const VCARDDATA* card) noexcept;

// How many cards at the front of the list are closed (before the first
// open one); 0 outside a run.
[[nodiscard]] std::uint64_t closedFront(const VCARDLIST* list) noexcept;

// The cards let go so far: how many, how many of them had ended and how
// many of those were written.
struct RetiredCards {
  std::uint64_t count = 0;
  std::uint64_t ended = 0;
  std::uint64_t written = 0;
};
[[nodiscard]] RetiredCards retiredCards(const VCARDLIST* list) noexcept;

// Lets go of the first count cards (at most closedFront), their texts and
// records; positions of the cards after them stay what they were.
void retireCards(VCARDLIST* list, std::uint64_t count) noexcept;

class CardListRun {
 public:
  // A list handed in with open cards (never by the driver) keeps them open.
  explicit CardListRun(VCARDLIST* list, bool releaseWrittenTexts = false) noexcept;
  ~CardListRun();
  CardListRun(const CardListRun&) = delete;
  CardListRun& operator=(const CardListRun&) = delete;
};

// Owns a card list and releases it (vCard_ReleaseData) on every path.
class CardList {
 public:
  CardList() = default;
  ~CardList() { vCard_ReleaseData(&list_, nullptr); }
  CardList(const CardList&) = delete;
  CardList& operator=(const CardList&) = delete;

  [[nodiscard]] VCARDLIST* get() noexcept { return &list_; }

 private:
  VCARDLIST list_{0, nullptr};
};

}  // namespace vcard::detail
