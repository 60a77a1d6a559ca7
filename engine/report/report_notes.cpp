#include "report_notes.h"

#include <algorithm>

#include "ascii_letters.h"
#include "read/pictograms.h"

namespace vcard::detail {

std::string nameOfCard(const Card& card) {
  for (const Property& property : card.properties()) {
    if (property.dropped || property.kind != Property::Kind::Line || !property.group.empty())
      continue;
    const std::string_view key = card.text(property.name);
    if (key.size() != 1 || (key[0] != 'N' && key[0] != 'n')) continue;
    // The value with its folds undone: a fold's blank is no part of it.
    const std::string value = unfolded(card.text(property.value));
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

void ReportNotes::rejected(const OpenCard& card, SkipReason reason, std::string detail) {
  if (!noting()) return;
  rejected_.try_emplace(card.position, reason, std::move(detail));
}

namespace {

// The text on one line: a fold (a line break and the blank after it) is
// joined as vCard unfolds it, and any other line break is taken out, so that
// what the report quotes from the file stays on its own line there.
std::string oneLine(std::string_view text) {
  std::string joined;
  joined.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') {
      joined += c;
      continue;
    }
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    if (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t')) ++i;
  }
  return joined;
}

}  // namespace

std::string clippedForReport(std::string_view folded, std::size_t limit) {
  std::string text = oneLine(folded);
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    --end;
  text.resize(end);
  return text + "…";
}

void ReportNotes::dropped(const OpenCard& card, std::string_view property) {
  // A blank line is no property.
  if (!noting() || property.empty()) return;
  // Named as the report shows every property: on one line, and a name a
  // program made up at any length cut short.
  std::string clipped;
  std::string_view name = property;
  if (name.size() > kReportedNameBytes || name.find_first_of("\r\n") != std::string_view::npos) {
    clipped = clippedForReport(property, kReportedNameBytes);
    name = clipped;
  }
  auto known = std::find_if(names_.begin(), names_.end(), [name](const std::string& seen) {
    return platform::asciiUpperEquals(name, seen);
  });
  if (known == names_.end()) {
    names_.push_back(platform::upperASCII(name));
    droppedCounts_.push_back(0);
    firstWritten_.push_back(UINT64_MAX);
    known = names_.end() - 1;
  }
  pending_.push_back(
      {card.position, droppedSoFar_++, static_cast<std::uint32_t>(known - names_.begin())});
}

void ReportNotes::closed(const OpenCard& card) {
  if (!noting()) return;
  // The card's properties are the last ones noted, after those of the
  // cards it sits in: a card inside it was closed before it.
  std::size_t from = pending_.size();
  while (from > 0 && pending_[from - 1].card == card.position)
    --from;
  if (!card.rejected) {
    photosByAddress_ += card.version4Extras.photosByAddress;
    for (std::size_t k = from; k < pending_.size(); ++k) {
      const Dropped& dropped = pending_[k];
      ++droppedCounts_[dropped.nameId];
      std::uint64_t& first = firstWritten_[dropped.nameId];
      first = std::min(first, dropped.sequence);
    }
  }
  pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(from), pending_.end());
  if (!card.rejected) return;
  const auto found = rejected_.find(card.position);
  if (found == rejected_.end()) return;  // rejected for want of memory: untold
  skipped(card, found->second.first, std::move(found->second.second));
  rejected_.erase(found);
}

void ReportNotes::written(const OpenCard& card, std::string_view text) {
  if (!noting()) return;
  if (card.unreadableLines != 0) {
    unreadableLines_ += card.unreadableLines;
    unreadableLineCards_.push_back(card.position);
  }
  // Only a file with such characters is looked at: the search costs a pass
  // over every card.
  if (source_.replaced != 0 && text.find("\xEF\xBF\xBD") != std::string_view::npos)
    replaced_.push_back(card.position);
  if (source_.pictograms.codes == 0) return;
  const std::uint64_t count = countPrivateUse(text);
  if (count != 0) privateUse_.emplace_back(card.position, count);
}

void ReportNotes::neverClosed(const OpenCard& card) {
  if (noting()) skipped(card, SkipReason::NeverClosed, {});
}

void ReportNotes::skipped(const OpenCard& card, SkipReason reason, std::string detail) {
  SkippedCard told;
  told.position = card.position;
  told.reason = reason;
  told.detail = std::move(detail);
  told.name = nameOfCard(card.card);
  if (told.name.empty()) told.name = "（名前なし）";
  skipped_.push_back(std::move(told));
}

void ReportNotes::finish() {
  if (!noting()) return;
  ConversionReport& report = *report_;
  // In file order: a card inside another ends, and is told, first.
  std::stable_sort(
      skipped_.begin(), skipped_.end(),
      [](const SkippedCard& a, const SkippedCard& b) { return a.position < b.position; });
  for (SkippedCard& card : skipped_)
    report.skipped.push_back(std::move(card));
  skipped_.clear();

  // Counted by name, in the order the names were first met on a card that
  // was written.
  std::vector<std::uint32_t> order;
  for (std::uint32_t nameId = 0; nameId < names_.size(); ++nameId) {
    if (droppedCounts_[nameId] != 0) order.push_back(nameId);
  }
  std::sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) {
    return firstWritten_[a] < firstWritten_[b];
  });
  for (const std::uint32_t nameId : order)
    report.dropped.push_back({names_[nameId], droppedCounts_[nameId]});

  report.photosByAddress = photosByAddress_;
  report.unreadableLines = unreadableLines_;
  report.unreadableLineCards = unreadableLineCards_;
  for (const std::uint64_t position : replaced_)
    report.replacedCards.push_back(position);
  for (const auto& [position, count] : privateUse_) {
    report.privateUseLeft += count;
    report.privateUseCards.push_back(position);
  }
}

}  // namespace vcard::detail
