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

class CardListRun {
 public:
  // A list handed in with open cards (never by the driver) keeps them open.
  explicit CardListRun(VCARDLIST* list) noexcept;
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
