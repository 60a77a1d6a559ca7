// What the recognition notes for the conversion report while a report is
// being collected: why a card was rejected and which properties were left
// out. Nothing is noted (and nothing costs more than one check) when no
// caller asked for a report.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vcard.h"
#include "vcard_report.h"

namespace vcard::detail {

// Collects into report for its lifetime, on this thread; the cards and
// properties are turned into the report by finishReport.
class ReportNotes {
 public:
  explicit ReportNotes(ConversionReport* report) noexcept;
  ~ReportNotes();
  ReportNotes(const ReportNotes&) = delete;
  ReportNotes& operator=(const ReportNotes&) = delete;
};

// True while a report is being collected on this thread.
[[nodiscard]] bool notingReport() noexcept;

// The card at index of list was rejected for reason; the first reason of a
// card is the one told.
void noteRejected(const VCARDLIST* list, const VCARDDATA* card, SkipReason reason,
                  std::string detail) noexcept;

// A property of the card (its name without group, in any letter case) was
// left out.
void noteDropped(const VCARDLIST* list, const VCARDDATA* card, std::string_view name) noexcept;

// The card's END:VCARD line was taken: the properties left out of it count
// when it is to be written, and are forgotten when it is not.
void noteClosed(const VCARDLIST* list, const VCARDDATA* card) noexcept;

// The first count cards of the list, all closed, are about to be let go
// (retireCards): the rejected ones among them are told now.
void noteRetiring(const VCARDLIST* list, std::uint64_t count) noexcept;

// The card is being written: the private-use characters it still holds are
// noted, in a file that had codes of the user-defined area.
void noteWritten(const VCARDLIST* list, const VCARDDATA* card) noexcept;

// Fills the report's cards and properties from the list as analysis left
// it: every ended card that was rejected, every card never closed, and the
// dropped properties of the cards that were written.
void finishReport(VCARDLIST* list) noexcept;

}  // namespace vcard::detail
