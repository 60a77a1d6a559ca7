// Growth of the two texts the line loop builds piece by piece: a card's output
// text and the logical property line being assembled.
//
// Appending to a text that is grown to fit exactly costs a length scan and a
// copy of the whole text each time, so a card with many lines or a property
// with many folds would take quadratic time. While a RoomyTextGrowth exists
// (one vCard_AnalysData run), the text last appended to keeps its length and
// spare room on the side; the card text is trimmed to fit once it is
// finished. Without one, every append grows the text exactly, as StrAdd does:
// callers outside the loop may free or replace the texts at any time.
#pragma once

#include <string_view>

#include "vcard.h"

namespace vcard::detail {

// Appends bytes to the card's text or the property's assembled line. On
// exhausted memory the text stays as it was and false is returned.
bool appendToCard(VCARDDATA* card, std::string_view piece) noexcept;
bool appendToProperty(PROPERTY* prop, std::string_view piece) noexcept;

// Removes the last byte of the property's text (none when it is empty).
void dropLastPropertyByte(PROPERTY* prop) noexcept;

// Frees the property's text and sets it to null. In a run, the block of the
// text being grown is kept for the next property's text instead.
void releasePropertyText(PROPERTY* prop) noexcept;

// Trims the card's text to exactly fit if it is the one being grown, and
// stops following it; its text may then be freed or replaced.
void finishCard(VCARDDATA* card) noexcept;

// Roomy growth for the texts of one line-loop run over list. On leaving, the
// card text still being grown (an open card's) is trimmed to fit.
class RoomyTextGrowth {
 public:
  explicit RoomyTextGrowth(VCARDLIST* list) noexcept;
  ~RoomyTextGrowth();
  RoomyTextGrowth(const RoomyTextGrowth&) = delete;
  RoomyTextGrowth& operator=(const RoomyTextGrowth&) = delete;

 private:
  VCARDLIST* list_;
};

}  // namespace vcard::detail
