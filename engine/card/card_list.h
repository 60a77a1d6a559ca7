// The cards a conversion has begun and not yet handed on: the innermost open
// card is the current one, since a card may carry another (an agent's card
// in vCard 2.1), which ends first. A card handed on is recycled with the
// storage it grew, so that a conversion of any length allocates for its
// first few cards only.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "card.h"
#include "vcard_report.h"

namespace vcard::detail {

// What a card settles only at its end, noted on the way.
struct CardExtras {
  // The properties one rule call added for a grouped source line
  // ("item1.EMAIL"), as a range of the card's property indices.
  struct Grouped {
    std::size_t begin;
    std::size_t end;
    std::string group;  // upper-cased
    bool otherItem;     // the rule wrote an item with the "other" label
  };
  std::vector<Grouped> grouped;
  std::map<std::string, std::string> labels;  // upper-cased group -> label as found

  // Property ranges of N lines whose components are all empty, replaced by a
  // name from FN.
  std::vector<std::pair<std::size_t, std::size_t>> emptyNames;
  // The card's first FN line and how its value is encoded.
  std::string fnLine;
  std::uint64_t fnCharset = 0;
  std::uint64_t fnEncoding = 0;
  char fnCharsetName[48] = {};

  // Property ranges of the PHOTO properties made of a card picture, which
  // give way to a PHOTO of the card's own.
  std::vector<std::pair<std::size_t, std::size_t>> cardPictures;
  // Addresses given as LABEL text: the street of an ADR of the type ("WORK",
  // "HOME" or "" for other) when the card has no ADR.
  struct AddressLabel {
    std::string type;
    std::string street;
  };
  std::vector<AddressLabel> addressLabels;
  // Departments given apart from ORG (X-DEPARTMENT): the second part of the
  // card's ORG when it has none.
  struct Department {
    std::string property;  // the source's name, for the report
    std::string name;      // escaped as an ORG part
  };
  std::vector<Department> departments;

  [[nodiscard]] bool empty() const noexcept {
    return grouped.empty() && labels.empty() && emptyNames.empty() && fnLine.empty() &&
           cardPictures.empty() && addressLabels.empty() && departments.empty();
  }
  void clear() noexcept;
};

// What a vCard 4.0 card settles at its end, noted on the way.
struct Version4Extras {
  std::string sortAs;                 // N's SORT-AS as written (escapes kept), "" when none
  bool hasReading = false;            // the card gives its reading by a property of its own
  std::string orgSortAs;              // ORG's SORT-AS as written, "" when none
  bool hasOrgReading = false;         // the card has an X-PHONETIC-ORG of its own
  bool organization = false;          // KIND:org
  std::string birthdayText;           // a BDAY no date could be read from, escapes kept
  std::uint64_t photosByAddress = 0;  // PHOTO values that are web addresses only
  // One property of an ALTID set: the alternatives name the same thing, and
  // only one of them is written.
  struct Alternative {
    std::string key;  // name and ALTID, upper-cased
    std::size_t begin;
    std::size_t end;  // the property range its rule added
    bool japanese;
  };
  std::vector<Alternative> alternatives;

  void clear() noexcept;
};

struct OpenCard {
  Card card;
  std::uint64_t position = 0;         // among the cards begun, from 1
  std::uint64_t itemNo = 0;           // last number used for a grouped "item" line
  bool ended = false;                 // its END:VCARD line has been taken
  bool rejected = false;              // must not be written; never cleared
  bool hasName = false;               // an N with some non-empty component was taken
  std::uint64_t unreadableLines = 0;  // lines that were no property nor part of one
  CardExtras extras;
  Version4Extras version4Extras;

  // VERSION:4.0: parameters and values are read as 4.0 writes them.
  [[nodiscard]] bool version4() const noexcept { return card.version() == CardVersion::V40; }

  // Takes the next item number of the card and gives its group name: the
  // properties of one labelled item ("item3.EMAIL", "item3.X-ABLabel")
  // share it, and no other item of the card has it.
  [[nodiscard]] std::string nextItemGroup() {
    ++itemNo;
    return "item" + std::to_string(itemNo);
  }
};

class CardList {
 public:
  // With keepClosed, cards handed on stay in closedCards() instead of being
  // recycled: for a caller that reads every card afterwards.
  explicit CardList(bool keepClosed = false) noexcept : keepClosed_(keepClosed) {}

  // The innermost open card, or null.
  [[nodiscard]] OpenCard* current() noexcept {
    return open_.empty() ? nullptr : open_.back().get();
  }
  [[nodiscard]] const std::vector<std::unique_ptr<OpenCard>>& openCards() const noexcept {
    return open_;
  }

  // Begins a card inside the current one.
  OpenCard& begin();
  // Ends the current card, which is then handed on with close(); counted as
  // ended, and written unless rejected.
  void end() noexcept;
  // Hands the current card (ended) on: recycled or kept.
  void close();

  [[nodiscard]] std::uint64_t begun() const noexcept { return begun_; }
  [[nodiscard]] std::uint64_t ended() const noexcept { return ended_; }
  [[nodiscard]] std::uint64_t written() const noexcept { return written_; }
  [[nodiscard]] const std::vector<std::unique_ptr<OpenCard>>& closedCards() const noexcept {
    return closed_;
  }

 private:
  std::vector<std::unique_ptr<OpenCard>> open_;
  std::vector<std::unique_ptr<OpenCard>> spare_;
  std::vector<std::unique_ptr<OpenCard>> closed_;
  bool keepClosed_;
  std::uint64_t begun_ = 0;
  std::uint64_t ended_ = 0;
  std::uint64_t written_ = 0;
};

}  // namespace vcard::detail
