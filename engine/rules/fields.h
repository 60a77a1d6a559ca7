// The fields an iPhone contact holds beyond names, numbers and addresses, as
// other address books write them: related names, anniversaries, chat and
// social accounts, Outlook's card picture, and an address given only as a
// LABEL. Each becomes what the iPhone's own export writes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dates.h"
#include "rules.h"

namespace vcard::detail {

// X-EVOLUTION-SPOUSE, X-MS-MANAGER, RELATED;TYPE=friend and the like: a
// related name under the label of its relation.
void setRelatedName(const ValueContext& context, OpenCard& card, const RuleInput& input);
// X-ANNIVERSARY, X-MS-ANNIVERSARY, ANNIVERSARY and the like: a date under
// the anniversary label.
void setAnniversary(const ValueContext& context, OpenCard& card, const RuleInput& input);
// BDAY and X-ABDATE: a date the phone cannot show (one without a year not
// marked as such, one with a time of day) in the targets' form; any other
// value as it came.
void setDate(const ValueContext& context, OpenCard& card, const RuleInput& input);
// X-AIM, X-JABBER, X-SKYPE and the like: an IMPP of the service.
void setChatAccount(const ValueContext& context, OpenCard& card, const RuleInput& input);
// X-TWITTER and KDE's twitter handles: the iPhone's Twitter profile.
void setSocialProfile(const ValueContext& context, OpenCard& card, const RuleInput& input);
// X-DEPARTMENT and the like: kept for the card's end, where it becomes the
// second part of ORG.
void setDepartment(const ValueContext& context, OpenCard& card, const RuleInput& input);
// IMPP: the service named from the URI's scheme where the source names none.
void setImpp(const ValueContext& context, OpenCard& card, const RuleInput& input);
// X-MS-CARDPICTURE: the card's PHOTO unless it has one of its own.
void setCardPicture(const ValueContext& context, OpenCard& card, const RuleInput& input);
// LABEL: kept for the card's end, where it becomes an ADR if the card has
// none.
void setAddressLabel(const ValueContext& context, OpenCard& card, const RuleInput& input);

// True for the rules above, whose values are judged (judgeField) before
// they run: every other property skips the judging.
[[nodiscard]] constexpr bool judgesValues(Rule rule) noexcept {
  return rule == setRelatedName || rule == setAnniversary || rule == setChatAccount ||
         rule == setImpp || rule == setCardPicture || rule == setAddressLabel ||
         rule == setSocialProfile || rule == setDepartment;
}

// What judging a property's value found: carries is false when a property
// one of the rules above takes has nothing the phone can hold (a relation
// given as a URI, a date that reads as none, a LABEL beside an ADR already
// taken), and it is left out and told. An anniversary's date, read on the
// way (into the context's judgedDate), goes to its rule as
// RuleInput::judgedDate.
struct FieldJudgement {
  bool carries = true;
  const TargetDate* date = nullptr;
};
[[nodiscard]] FieldJudgement judgeField(Rule rule, const ValueContext& context,
                                        const OpenCard& card, const RuleInput& input);

// True when text holds nothing but spaces and tabs; allBlank, when every
// value does.
[[nodiscard]] inline bool isBlank(std::string_view text) noexcept {
  return text.find_first_not_of(" \t") == std::string_view::npos;
}
[[nodiscard]] inline bool allBlank(char** values, std::size_t valueCount) noexcept {
  for (std::size_t i = 0; i < valueCount; ++i) {
    if (values[i] != nullptr && !isBlank(values[i])) return false;
  }
  return true;
}

// True when a line's values hold nothing but blanks, line breaks and the
// ";" and "," that part them: such a property (an address of empty parts, a
// number with its types only) is written by no rule and lost by nobody.
[[nodiscard]] bool holdsNothing(char** values, std::size_t valueCount) noexcept;
// The same judged first by the line's last character, which is its value's
// last (or the ":" before an empty value): this runs for every recognised
// property, and mostly that character settles it.
[[nodiscard]] inline bool holdsNothing(std::string_view line, char** values,
                                       std::size_t valueCount) noexcept {
  if (!line.empty()) {
    const char c = line.back();
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != ';' && c != ',' && c != ':')
      return false;
  }
  return holdsNothing(values, valueCount);
}

// At the card's end, before its groups settle: a card picture is left out
// when the card has a PHOTO of its own.
void settleCardPicture(OpenCard& card);
// At the card's end: each department as the second part of the card's ORG
// (a new ORG when it has none). Notes as left out, by the source's name, each
// department the ORG's own unit stands in place of.
void settleDepartments(OpenCard& card, ReportNotes& notes);
// At the card's end, after its groups settle: the LABEL addresses as ADR
// streets when the card has no ADR. Returns the LABEL properties left out
// because it has one.
[[nodiscard]] std::size_t settleAddressLabels(OpenCard& card);

}  // namespace vcard::detail
