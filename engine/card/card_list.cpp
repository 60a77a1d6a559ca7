#include "card_list.h"

#include <utility>

namespace vcard::detail {

namespace {
// A recycled card whose text grew past this (a photo's) gives its storage
// back rather than holding it for the rest of the conversion.
constexpr std::size_t kKeptCardBytes = 64 * 1024;
}  // namespace

void CardExtras::clear() noexcept {
  grouped.clear();
  labels.clear();
  emptyNames.clear();
  fnLine.clear();
  fnCharset = 0;
  fnEncoding = 0;
  fnCharsetName[0] = '\0';
  cardPictures.clear();
  addressLabels.clear();
  departments.clear();
}

void Version4Extras::clear() noexcept {
  sortAs.clear();
  hasReading = false;
  orgSortAs.clear();
  hasOrgReading = false;
  organization = false;
  birthdayText.clear();
  photosByAddress = 0;
  alternatives.clear();
}

OpenCard& CardList::begin() {
  std::unique_ptr<OpenCard> card;
  if (spare_.empty()) {
    card = std::make_unique<OpenCard>();
  } else {
    card = std::move(spare_.back());
    spare_.pop_back();
  }
  card->position = ++begun_;
  open_.push_back(std::move(card));
  return *open_.back();
}

void CardList::end() noexcept {
  OpenCard* card = current();
  if (card == nullptr) return;
  card->ended = true;
  ++ended_;
  if (!card->rejected) ++written_;
}

void CardList::close() {
  if (open_.empty()) return;
  std::unique_ptr<OpenCard> card = std::move(open_.back());
  open_.pop_back();
  if (keepClosed_) {
    closed_.push_back(std::move(card));
    return;
  }
  if (card->card.capacity() > kKeptCardBytes) {
    card = std::make_unique<OpenCard>();
  } else {
    card->card.clear();
    card->extras.clear();
    card->version4Extras.clear();
    card->position = 0;
    card->itemNo = 0;
    card->ended = false;
    card->rejected = false;
    card->hasName = false;
    card->unreadableLines = 0;
  }
  spare_.push_back(std::move(card));
}

}  // namespace vcard::detail
