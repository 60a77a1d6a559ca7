// What the recognition notes for the conversion report while a report is
// being collected: why a card was rejected and which properties were left
// out. Nothing is noted (and nothing costs more than one check) when no
// caller asked for a report.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "card/card_list.h"
#include "vcard.h"
#include "vcard_report.h"

namespace vcard::detail {

// At most limit bytes of text from the source, on one line (a fold joined,
// any other line break taken out) and cut at a character boundary with "…",
// as the report quotes it.
[[nodiscard]] std::string clippedForReport(std::string_view folded, std::size_t limit = 60);
inline constexpr std::size_t kReportedNameBytes = 40;

class ReportNotes {
 public:
  // Collects into report (none when null) about the source described by
  // source, which outlives the notes.
  ReportNotes(ConversionReport* report, const SourceInfo& source) noexcept
      : report_(report), source_(source) {}
  ReportNotes(const ReportNotes&) = delete;
  ReportNotes& operator=(const ReportNotes&) = delete;

  [[nodiscard]] bool noting() const noexcept { return report_ != nullptr; }
  // True when written reads the card's text: the source had bytes replaced
  // or pictogram codes. Otherwise the text need not be built for it.
  [[nodiscard]] bool readsWrittenText() const noexcept {
    return noting() && (source_.replaced != 0 || source_.pictograms.codes != 0);
  }

  // The card was rejected for reason; the first reason of a card is the one
  // told.
  void rejected(const OpenCard& card, SkipReason reason, std::string detail);

  // A property of the card (its name without group, in any letter case) was
  // left out. The report names it upper-cased, on one line, cut after
  // kReportedNameBytes.
  void dropped(const OpenCard& card, std::string_view property);

  // The card was ended (settled, its END:VCARD taken): the properties left
  // out of it count when it is written, and a rejected card is told.
  void closed(const OpenCard& card);

  // The card, in the iPhone form text, is being written: the private-use
  // characters it still holds are noted in a file that had codes of the
  // user-defined area, and U+FFFD where the loader replaced bytes.
  void written(const OpenCard& card, std::string_view text);

  // The card (settled) was never closed before the text ended.
  void neverClosed(const OpenCard& card);

  // Fills the report's cards and properties.
  void finish();

 private:
  struct Dropped {
    std::uint64_t card;      // its position among the cards begun
    std::uint64_t sequence;  // its place among all properties left out
    std::uint32_t nameId;    // index into names_
  };
  void skipped(const OpenCard& card, SkipReason reason, std::string detail);

  ConversionReport* report_;
  const SourceInfo& source_;
  std::map<std::uint64_t, std::pair<SkipReason, std::string>> rejected_;  // by position
  // The distinct names of dropped properties, upper-cased, in the order met;
  // a file has a few dozen at most, so a linear search finds them.
  std::vector<std::string> names_;
  // Properties left out of the cards still open, in the order met.
  std::vector<Dropped> pending_;
  std::uint64_t droppedSoFar_ = 0;
  // Per name: properties left out of the cards that were written, and the
  // sequence of the first one (the report lists the names in that order).
  std::vector<std::uint64_t> droppedCounts_;
  std::vector<std::uint64_t> firstWritten_;
  // (position, private-use characters), one per written card holding some.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> privateUse_;
  // Positions of the written cards that hold U+FFFD, in a file where the
  // loader replaced bad bytes so.
  std::vector<std::uint64_t> replaced_;
  std::uint64_t unreadableLines_ = 0;
  std::vector<std::uint64_t> unreadableLineCards_;
  std::vector<SkippedCard> skipped_;
  std::uint64_t photosByAddress_ = 0;  // of the written cards
};

// The value of the card's first N property as a reader sees it: the
// components that are not empty, in their order, joined by a space.
[[nodiscard]] std::string nameOfCard(const Card& card);

}  // namespace vcard::detail
