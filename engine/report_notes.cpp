#include "report_notes.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "ascii_case.h"
#include "card_settle.h"
#include "driver_context.h"
#include "read/pictograms.h"

namespace vcard::detail {

namespace {

struct Rejection {
  SkipReason reason;
  std::string detail;
};

struct Notes {
  ConversionReport* report = nullptr;
  std::map<std::uint64_t, Rejection> rejected;  // by card index
  // The distinct names of dropped properties, upper-cased, in the order met;
  // a file has a few dozen at most, so a linear search finds them.
  std::vector<std::string> names;
  // Properties left out of the cards still open, in the order met.
  struct Dropped {
    std::uint64_t card;      // its index among the cards begun
    std::uint64_t sequence;  // its place among all properties left out
    std::uint32_t nameId;    // index into names
  };
  std::vector<Dropped> pending;
  std::uint64_t droppedSoFar = 0;
  // Per name: properties left out of the cards that were written, and the
  // sequence of the first one (the report lists the names in that order).
  std::vector<std::uint64_t> droppedCounts;
  std::vector<std::uint64_t> firstWritten;
  // Cards let go from the front of the list (noteRetiring): indices in the
  // list start after them.
  std::uint64_t retired = 0;
  // (card index, private-use characters), one per written card holding some.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> privateUse;
  // Indices of the written cards that hold U+FFFD, in a file where the
  // loader replaced bad bytes so.
  std::vector<std::uint64_t> replaced;
};

thread_local Notes* current = nullptr;

// The card's index among all the cards begun, those let go included.
std::uint64_t indexOf(const VCARDLIST* list, const VCARDDATA* card) {
  return current->retired + static_cast<std::uint64_t>(card - list->cardArray);
}

bool inList(const VCARDLIST* list, const VCARDDATA* card) {
  return list != nullptr && card != nullptr && list->cardArray != nullptr &&
         card >= list->cardArray && card < list->cardArray + list->cardCount;
}

// The value of the card's first N line as a reader sees it: the components
// that are not empty, in their order, joined by a space.
std::string nameOfCard(const char* cardText) {
  if (cardText == nullptr) return {};
  const std::string_view text(cardText);
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    const std::size_t stop = end == std::string_view::npos ? text.size() : end;
    const std::string_view line = text.substr(start, stop - start);
    start = stop + 2;
    if (line.size() < 2 || (line[0] != 'N' && line[0] != 'n') || (line[1] != ':' && line[1] != ';'))
      continue;
    // The value, with its folded continuation lines joined.
    std::string value(
        line.substr(line.find(':') == std::string_view::npos ? line.size() : line.find(':') + 1));
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) {
      const std::size_t next = text.find("\r\n", start);
      const std::size_t lineEnd = next == std::string_view::npos ? text.size() : next;
      value.append(text.substr(start + 1, lineEnd - start - 1));
      start = lineEnd + 2;
    }
    std::string name;
    std::string component;
    auto flush = [&] {
      const std::size_t first = component.find_first_not_of(" \t");
      if (first != std::string::npos) {
        const std::size_t last = component.find_last_not_of(" \t");
        if (!name.empty()) name += ' ';
        name += component.substr(first, last - first + 1);
      }
      component.clear();
    };
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (value[i] == '\\' && i + 1 < value.size()) {
        component += value[++i];
      } else if (value[i] == ';') {
        flush();
      } else {
        component += value[i];
      }
    }
    flush();
    return name;
  }
  return {};
}

}  // namespace

ReportNotes::ReportNotes(ConversionReport* report) noexcept {
  if (report == nullptr) return;
  try {
    current = new Notes{};
    current->report = report;
  } catch (...) {
    current = nullptr;  // out of memory: the conversion goes on without a report
  }
}

ReportNotes::~ReportNotes() {
  delete current;
  current = nullptr;
}

bool notingReport() noexcept {
  return current != nullptr;
}

void noteRejected(const VCARDLIST* list, const VCARDDATA* card, SkipReason reason,
                  std::string detail) noexcept {
  if (current == nullptr || !inList(list, card)) return;
  try {
    current->rejected.try_emplace(indexOf(list, card), Rejection{reason, std::move(detail)});
  } catch (...) {
    // Out of memory: the card is counted but not explained.
  }
}

void noteDropped(const VCARDLIST* list, const VCARDDATA* card, std::string_view name) noexcept {
  // A blank line is no property.
  if (current == nullptr || name.empty() || !inList(list, card)) return;
  try {
    std::vector<std::string>& names = current->names;
    auto known = std::find_if(names.begin(), names.end(), [name](const std::string& seen) {
      return asciiUpperEquals(name, seen);
    });
    if (known == names.end()) {
      names.push_back(upperASCII(name));
      current->droppedCounts.push_back(0);
      current->firstWritten.push_back(UINT64_MAX);
      known = names.end() - 1;
    }
    current->pending.push_back({indexOf(list, card), current->droppedSoFar++,
                                static_cast<std::uint32_t>(known - names.begin())});
  } catch (...) {
    // Out of memory: the property goes untold.
  }
}

void noteClosed(const VCARDLIST* list, const VCARDDATA* card) noexcept {
  if (current == nullptr || !inList(list, card)) return;
  // The card's properties are the last ones noted, after those of the
  // cards it sits in: a card inside it was closed before it.
  const std::uint64_t index = indexOf(list, card);
  std::vector<Notes::Dropped>& pending = current->pending;
  std::size_t from = pending.size();
  while (from > 0 && pending[from - 1].card == index)
    --from;
  if (card->isError == 0) {
    for (std::size_t k = from; k < pending.size(); ++k) {
      const Notes::Dropped& dropped = pending[k];
      ++current->droppedCounts[dropped.nameId];
      std::uint64_t& first = current->firstWritten[dropped.nameId];
      first = std::min(first, dropped.sequence);
    }
  }
  pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(from), pending.end());
}

void noteWritten(const VCARDLIST* list, const VCARDDATA* card) noexcept {
  if (current == nullptr || !inList(list, card) || card->cardText == nullptr) return;
  // Only a file with such characters is looked at: the search costs a pass
  // over every card.
  if (conversionSource().replaced != 0 && std::strstr(card->cardText, "\xEF\xBF\xBD") != nullptr) {
    try {
      current->replaced.push_back(indexOf(list, card));
    } catch (...) {
      // Out of memory: the card goes untold.
    }
  }
  if (conversionSource().pictograms.codes == 0) return;
  const std::uint64_t count = countPrivateUse(card->cardText);
  if (count == 0) return;
  try {
    current->privateUse.emplace_back(indexOf(list, card), count);
  } catch (...) {
    // Out of memory: the card goes untold.
  }
}

namespace {

// Tells the first count cards of the list that were not written: rejected
// ones, and (once the text has ended) the ones never closed.
void tellSkipped(VCARDLIST* list, std::uint64_t count) {
  ConversionReport& report = *current->report;
  const std::uint64_t base = current->retired;
  for (std::uint64_t i = 0; i < count; ++i) {
    VCARDDATA& card = list->cardArray[i];
    SkippedCard skipped;
    skipped.position = base + i + 1;
    if (card.isEnd == 0) {
      // Never closed: what it holds is settled as its end would have, so
      // that a name from FN can name it too.
      settleCard(&card);
      skipped.reason = SkipReason::NeverClosed;
    } else if (card.isError != 0) {
      const auto found = current->rejected.find(base + i);
      if (found == current->rejected.end()) continue;  // rejected for want of memory
      skipped.reason = found->second.reason;
      skipped.detail = std::move(found->second.detail);
      current->rejected.erase(found);
    } else {
      continue;
    }
    skipped.name = nameOfCard(card.cardText);
    if (skipped.name.empty()) skipped.name = "（名前なし）";
    report.skipped.push_back(std::move(skipped));
  }
}

}  // namespace

void noteRetiring(const VCARDLIST* list, std::uint64_t count) noexcept {
  if (current == nullptr || list == nullptr) return;
  try {
    // Closed cards only: nothing is settled.
    tellSkipped(const_cast<VCARDLIST*>(list), std::min(count, list->cardCount));
  } catch (...) {
    // Out of memory: the cards go untold.
  }
  current->retired += count;
}

void finishReport(VCARDLIST* list) noexcept {
  if (current == nullptr || list == nullptr) return;
  try {
    ConversionReport& report = *current->report;
    tellSkipped(list, list->cardCount);

    // Counted by name, in the order the names were first met on a card
    // that was written.
    std::vector<std::uint32_t> order;
    for (std::uint32_t nameId = 0; nameId < current->names.size(); ++nameId) {
      if (current->droppedCounts[nameId] != 0) order.push_back(nameId);
    }
    std::sort(order.begin(), order.end(), [](std::uint32_t a, std::uint32_t b) {
      return current->firstWritten[a] < current->firstWritten[b];
    });
    for (const std::uint32_t nameId : order)
      report.dropped.push_back({current->names[nameId], current->droppedCounts[nameId]});

    for (const std::uint64_t index : current->replaced)
      report.replacedCards.push_back(index + 1);
    for (const auto& [index, count] : current->privateUse) {
      report.privateUseLeft += count;
      report.privateUseCards.push_back(index + 1);
    }
  } catch (...) {
    // Out of memory: the report stays as far as it got.
  }
}

}  // namespace vcard::detail
