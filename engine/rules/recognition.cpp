// Property recognition: opens and closes cards, picks the rewrite rule of
// every property the target address book takes, rejects unsupported cards and
// hands finished cards to the output. What a card settles at its end is in
// settle.cpp.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ascii_letters.h"
#include "card/card_lines.h"
#include "fields.h"
#include "platform.h"
#include "rules.h"
#include "strutil.h"
#include "utf8.h"

namespace {

using vcard::detail::OpenCard;
using vcard::detail::PropertyLine;
using vcard::detail::Rule;
using namespace vcard::detail;  // the rules named in the table

struct RecognitionRow {
  std::string_view name;
  std::int32_t isHalfToFull;
  Rule rule;
};

constexpr RecognitionRow kRecognitionTable[] = {
    {"VERSION", 0, setVersion},
    {"N", 1, setDirectly},
    {"SOUND", 1, setSound},
    {"SORT-STRING", 1, setSound},
    {"X-PHONETIC-LAST-NAME", 1, setDirectly},
    {"X-PHONETIC-FIRST-NAME", 1, setDirectly},
    {"NICKNAME", 1, setDirectly},
    {"BDAY", 0, setDate},
    {"TEL", 0, setTel},
    {"EMAIL", 0, setEmail},
    {"URL", 0, setDirectly},
    {"ADR", 1, setAdr},
    {"ORG", 1, setDirectly},
    {"TITLE", 1, setDirectly},
    {"NOTE", 1, setDirectly},
    {"PHOTO", 0, setDirectly},
    // What else an iPhone contact holds, from the names other address books
    // give it.
    {"X-ABRELATEDNAMES", 1, setDirectly},
    {"X-EVOLUTION-SPOUSE", 1, setRelatedName},
    {"X-EVOLUTION-MANAGER", 1, setRelatedName},
    {"X-EVOLUTION-ASSISTANT", 1, setRelatedName},
    {"X-MS-SPOUSE", 1, setRelatedName},
    {"X-MS-MANAGER", 1, setRelatedName},
    {"X-MS-ASSISTANT", 1, setRelatedName},
    {"X-KADDRESSBOOK-X-SPOUSESNAME", 1, setRelatedName},
    {"X-KADDRESSBOOK-X-MANAGERSNAME", 1, setRelatedName},
    {"X-KADDRESSBOOK-X-ASSISTANTSNAME", 1, setRelatedName},
    {"X-SPOUSE", 1, setRelatedName},
    {"X-MANAGER", 1, setRelatedName},
    {"X-ASSISTANT", 1, setRelatedName},
    {"RELATED", 1, setRelatedName},
    {"X-ABDATE", 0, setDate},
    {"X-ANNIVERSARY", 0, setAnniversary},
    {"X-EVOLUTION-ANNIVERSARY", 0, setAnniversary},
    {"X-MS-ANNIVERSARY", 0, setAnniversary},
    {"X-KADDRESSBOOK-X-ANNIVERSARY", 0, setAnniversary},
    {"ANNIVERSARY", 0, setAnniversary},
    {"IMPP", 0, setImpp},
    {"X-AIM", 0, setChatAccount},
    {"X-ICQ", 0, setChatAccount},
    {"X-JABBER", 0, setChatAccount},
    {"X-MSN", 0, setChatAccount},
    {"X-YAHOO", 0, setChatAccount},
    {"X-SKYPE", 0, setChatAccount},
    {"X-SKYPE-USERNAME", 0, setChatAccount},
    {"X-GADUGADU", 0, setChatAccount},
    {"X-QQ", 0, setChatAccount},
    {"X-GOOGLE-TALK", 0, setChatAccount},
    {"X-GTALK", 0, setChatAccount},
    {"X-GROUPWISE", 0, setChatAccount},
    {"X-MESSAGING/AIM-ALL", 0, setChatAccount},
    {"X-MESSAGING/XMPP-ALL", 0, setChatAccount},
    {"X-MESSAGING/SKYPE-ALL", 0, setChatAccount},
    {"X-MESSAGING/GADU-ALL", 0, setChatAccount},
    {"X-MESSAGING/ICQ-ALL", 0, setChatAccount},
    {"X-MESSAGING/MSN-ALL", 0, setChatAccount},
    {"X-MESSAGING/YAHOO-ALL", 0, setChatAccount},
    {"X-MESSAGING/IRC-ALL", 0, setChatAccount},
    {"X-KADDRESSBOOK-X-IMADDRESS", 0, setChatAccount},
    {"X-TWITTER", 0, setSocialProfile},
    {"X-MESSAGING/TWITTER-ALL", 0, setSocialProfile},
    {"X-SOCIALPROFILE", 0, setDirectly},
    {"X-PHONETIC-ORG", 1, setDirectly},
    {"X-PHONETIC-MIDDLE-NAME", 1, setDirectly},
    {"X-MAIDENNAME", 1, setDirectly},
    {"X-DEPARTMENT", 1, setDepartment},
    {"X-KADDRESSBOOK-X-DEPARTMENT", 1, setDepartment},
    {"X-ABSHOWAS", 0, setDirectly},
    {"X-MS-CARDPICTURE", 0, setCardPicture},
    {"LABEL", 1, setAddressLabel},
    // vCard 4.0
    {"KIND", 0, setKind},
};

// The first row of each name by its first letter and its length, and the
// next row sharing both: one comparison settles most names.
constexpr std::size_t kLongestName = 31;  // X-KADDRESSBOOK-X-ASSISTANTSNAME
constexpr std::size_t kRowCount = std::size(kRecognitionTable);
constexpr std::uint8_t kNoRow = 0xFF;
static_assert(kRowCount < kNoRow);

using RowIndex = std::array<std::array<std::uint8_t, kLongestName + 1>, 26>;
struct RowChains {
  RowIndex first{};
  std::array<std::uint8_t, kRowCount> next{};
};
constexpr RowChains kRowChains = [] {
  RowChains chains{};
  for (auto& letters : chains.first)
    letters.fill(kNoRow);
  chains.next.fill(kNoRow);
  // Rows are chained in reverse so that each chain keeps the table's order.
  for (std::size_t i = kRowCount; i-- > 0;) {
    const std::string_view name = kRecognitionTable[i].name;
    std::uint8_t& first = chains.first[static_cast<std::size_t>(name[0] - 'A')][name.size()];
    chains.next[i] = first;
    first = static_cast<std::uint8_t>(i);
  }
  return chains;
}();
constexpr bool rowIndexHoldsEveryRow() {
  for (std::size_t i = 0; i < kRowCount; ++i) {
    const std::string_view name = kRecognitionTable[i].name;
    if (name.size() > kLongestName || name[0] < 'A' || name[0] > 'Z') return false;
    for (std::size_t j = 0; j < kRowCount; ++j) {
      if (j != i && kRecognitionTable[j].name == name) return false;
    }
    for (const char c : name) {
      if (c >= 'a' && c <= 'z') return false;
    }
  }
  return true;
}
static_assert(rowIndexHoldsEveryRow(), "a name too long, twice or not upper-cased");

// The rules write a recognised name without asking whether it declares a
// charset or a transfer encoding, as a parameter might: none may hold a word
// that would.
constexpr bool noRowNameDeclaresACode() {
  for (const RecognitionRow& row : kRecognitionTable) {
    for (const std::string_view word :
         {"UTF-8", "SHIFT_JIS", "QUOTED-PRINTABLE", "BASE64", "ENCODING"}) {
      if (row.name.find(word) != std::string_view::npos) return false;
    }
    if (row.name == "B") return false;
  }
  return true;
}
static_assert(noRowNameDeclaresACode(), "a recognised name reads as a charset or encoding");

// The row of the table for a property name (without group): ASCII names
// in any letter case, any other name already upper-cased.
const RecognitionRow* rowNamed(std::string_view name, bool ascii) {
  if (name.empty() || name.size() > kLongestName) return nullptr;
  char first = name[0];
  if (ascii) first = platform::asciiUpper(first);
  if (first < 'A' || first > 'Z') return nullptr;
  // Rows that share a first letter and a length mostly differ in their last
  // letter ("X-AIM", "X-ICQ", "X-MSN"): it is compared before the rest.
  const char last = ascii ? platform::asciiUpper(name.back()) : name.back();
  for (std::uint8_t at = kRowChains.first[static_cast<std::size_t>(first - 'A')][name.size()];
       at != kNoRow; at = kRowChains.next[at]) {
    const RecognitionRow& row = kRecognitionTable[at];
    if (row.name.back() != last) continue;
    if (ascii ? platform::asciiUpperEquals(name, row.name) : row.name == name) return &row;
  }
  return nullptr;
}

// The name of a property without its group: "EMAIL" of "item1.EMAIL".
std::string_view ungrouped(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? name : name.substr(dot + 1);
}

// A row looked up on the way, for the recognition to use again.
struct RowLookUp {
  bool known = false;
  const RecognitionRow* row = nullptr;
};

// True when the line is neither a begin nor an end line and its name (the
// text before the first unescaped ";" or ":", which is what SplitFR makes the
// first name) is ASCII and, without its group, names no recognised property,
// no FN and no label of a group: then the line has no effect. A name that is
// not ASCII is not judged here. The row its name was looked up to is kept
// in lookUp when the recognition would look up the same name.
bool isIgnoredLine(std::string_view line, vcard::detail::CardLine cardLine, RowLookUp& lookUp) {
  std::size_t end = 0;
  std::size_t nameStart = 0;  // after the last dot: ungrouped, found on the way
  for (; end < line.size(); ++end) {
    const char c = line[end];
    if (!utf::isASCII(c)) return false;
    if ((c == ';' || c == ':') && (end == 0 || line[end - 1] != '\\')) break;
    if (c == '.') nameStart = end + 1;
  }
  const std::string_view fullName = line.substr(0, end);
  const std::string_view name = fullName.substr(nameStart);
  const RecognitionRow* row = rowNamed(name, true);
  // A name without a dot is the split's first name as it stands, so the
  // recognition would find the same row for it.
  if (name.size() == fullName.size()) lookUp = {true, row};
  if (row != nullptr) return false;
  if (platform::asciiUpperEquals(name, "FN")) return false;
  if (name.size() != fullName.size() && platform::asciiUpperEquals(name, "X-ABLABEL")) return false;
  return cardLine == vcard::detail::CardLine::Other;
}

// True for an FN line without a group: "FN:..." or "FN;...", any case.
bool isFNLine(std::string_view line) {
  return line.size() >= 3 && (line[0] == 'F' || line[0] == 'f') &&
         (line[1] == 'N' || line[1] == 'n') && (line[2] == ':' || line[2] == ';');
}

// A line of blanks, or of a stray CR or LF among them, which is no property
// and no unreadable line either.
bool isBlankLine(std::string_view line) {
  return line.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// A SOUND that holds audio or a link rather than a reading: Base64 data, an
// audio type, or a URI value.
bool isAudioSound(char** names, std::uint64_t count, const PropertyLine& prop) {
  if (prop.encodeType == kEncodingBase64) return true;
  for (std::uint64_t i = 1; i < count; ++i) {
    if (names[i] == nullptr) continue;
    const std::string parameter = platform::upperASCII(names[i]);
    const std::size_t equals = parameter.find('=');
    const std::string_view key = equals == std::string::npos
                                     ? std::string_view()
                                     : std::string_view(parameter).substr(0, equals);
    const std::string_view value = equals == std::string::npos
                                       ? std::string_view(parameter)
                                       : std::string_view(parameter).substr(equals + 1);
    for (const std::string_view audio : {"WAVE", "PCM", "AIFF"}) {
      if (value == audio) return true;
    }
    if (key == "VALUE" && (value == "URI" || value == "URL")) return true;
  }
  return false;
}

// True when the line can be a property the report may name: its name (the
// text before the first ";" or ":") is letters, digits, "-", and the "_" and
// "/" that programs put in their own names (X-WAB-SPOUSE_NAME,
// X-MESSAGING/AIM-ALL), after a group
// of the same and a dot if it has one, and a ":" follows to start the value.
// A loose line of text (a value that lost its property, a note pasted in
// without one) names nothing, and listing its text as a property would only
// mislead.
bool namesAProperty(std::string_view line) {
  std::size_t end = 0;
  bool segmentEmpty = true;
  for (; end < line.size() && line[end] != ';' && line[end] != ':'; ++end) {
    const char c = line[end];
    if (c == '.') {
      if (segmentEmpty) return false;
      segmentEmpty = true;
    } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_' || c == '/') {
      segmentEmpty = false;
    } else {
      return false;
    }
  }
  if (end == line.size()) return false;  // no ";" or ":" at all
  return !segmentEmpty && line.find(':', end) != std::string_view::npos;
}

// The name of an ignored line as the report counts it: without its group
// (the line's name is ASCII, isIgnoredLine made sure).
std::string_view ignoredName(std::string_view line) {
  std::size_t end = 0;
  while (end < line.size() &&
         !((line[end] == ';' || line[end] == ':') && (end == 0 || line[end - 1] != '\\')))
    ++end;
  return ungrouped(line.substr(0, end));
}

// The parameter that named the charset or transfer encoding a card was
// rejected for ("CHARSET=X-FOO"), or "" when none is written as such.
std::string parameterNamed(char** names, std::uint64_t count, std::string_view key) {
  for (std::uint64_t i = 1; i < count; ++i) {
    if (names[i] == nullptr || std::strchr(names[i], '=') == nullptr) continue;
    if (strutil::parameterKey(names[i]) == key) return names[i];
  }
  return {};
}

// Ends the open card at its END:VCARD line (kept as written) and, unless it
// was rejected, hands it to the output.
void endCard(Conversion& conversion, OpenCard& card, std::string_view endLine) {
  ReportNotes& notes = conversion.notes;
  settleCard(conversion.values, notes, card);
  card.card.beginProperty(endLine, Property::Kind::End);
  card.card.endProperty();
  conversion.cards.end();
  notes.closed(card);
  if (!card.rejected) {
    std::string& text = conversion.text;
    text.clear();
    if (notes.readsWrittenText() || conversion.output.readsText())
      card.card.appendIPhoneText(&text);
    notes.written(card, text);
    conversion.output.write(card.card, text, card.position);
  }
  conversion.cards.close();
}

// Why a property in a charset or transfer encoding nobody knows rejects its
// card: a charset this build lacks the table of is no unknown one (the
// desktop program converts the card), so the reason says so.
vcard::SkipReason codingReason(const PropertyLine& prop, char** names, std::size_t namesCount) {
  if (prop.charsetType != kCharsetUnknown) return vcard::SkipReason::UnsupportedEncoding;
  const std::string parameter = parameterNamed(names, namesCount, "CHARSET");
  const bool notInBuild =
      !parameter.empty() &&
      platform::isCharsetTableMissing(std::string(strutil::parameterValue(parameter)).c_str());
  return notInBuild ? vcard::SkipReason::CharsetNotInBuild : vcard::SkipReason::UnsupportedCharset;
}

// What the report shows of it: the property and the parameter at fault
// ("N;CHARSET=X-FOO").
std::string codingDetail(const PropertyLine& prop, char** names, std::size_t namesCount,
                         std::string_view name) {
  const std::string parameter = parameterNamed(
      names, namesCount, prop.charsetType == kCharsetUnknown ? "CHARSET" : "ENCODING");
  const std::string property = platform::upperASCII(name);
  return clippedForReport(parameter.empty() ? property : property + ";" + parameter);
}

}  // namespace

void vcard::detail::recogData(Conversion& conversion, std::string_view line, PropertyLine& prop,
                              bool splitDone) {
  CardList& cards = conversion.cards;
  ReportNotes& notes = conversion.notes;
  const ValueContext& context = conversion.values;
  // A property nobody takes changes nothing; it need not be split.
  RowLookUp lookUp;
  // Whether the line begins or ends a card is asked once.
  const CardLine cardLine = cardLineOfText(line);
  if (!prop.isTarget && isIgnoredLine(line, cardLine, lookUp)) {
    if (OpenCard* card = cards.current(); card != nullptr && !isBlankLine(line)) {
      if (!namesAProperty(line)) {
        ++card->unreadableLines;
      } else if (notes.noting()) {
        notes.dropped(*card, ignoredName(line));
      }
    }
    return;
  }
  // FN is never written; a card without N keeps its line, unsplit, for the end.
  if (isFNLine(line)) {
    if (OpenCard* card = cards.current()) noteFN(*card, line, prop);
    return;
  }
  strutil::LineSplit& lineSplit = conversion.split;
  if (!splitDone) {
    const OpenCard* open = cards.current();
    lineSplit.split(line, true, context.knownUTF8,
                    open != nullptr && open->card.quotesParameters());
  }
  char** const names = lineSplit.names();
  const std::size_t namesCount = lineSplit.namesCount();
  char** const values = lineSplit.values();
  const std::size_t valuesCount = lineSplit.valuesCount();
  if (namesCount == 0 || valuesCount == 0) {
    // A recognised name with no ":" after it carries nothing.
    if (OpenCard* card = cards.current(); card != nullptr && !isBlankLine(line))
      ++card->unreadableLines;
    return;
  }

  // A card line enters the card without what trails its word.
  if (cardLine == CardLine::Begin) {
    Card& model = cards.begin().card;
    model.beginProperty(cardLineKept(line, cardLine), Property::Kind::Begin);
    model.endProperty();
  }

  OpenCard* const card = cards.current();
  if (cardLine == CardLine::End) {
    if (card != nullptr) endCard(conversion, *card, cardLineKept(line, cardLine));
    return;
  }

  if (card == nullptr || names[0] == nullptr) return;

  // A grouped property ("item1.EMAIL") is recognised by its name alone; its
  // rule sees the name without the group. A name without a dot has none.
  const std::string_view group = lookUp.known ? std::string_view() : lineSplit.cutGroup();

  // An ASCII name is compared in place; any other is upper-cased once (a
  // name that is not UTF-8 has no upper case and names no known property).
  std::string_view name(names[0]);
  const bool asciiName = utf::isASCII(name);
  std::optional<std::string> upperName;
  if (!asciiName) {
    upperName = strutil::upperCased(name);
    if (upperName) name = *upperName;
  }
  auto nameIs = [&](std::string_view word) {
    return asciiName ? platform::asciiUpperEquals(name, word) : name == word;
  };
  if (nameIs("FN")) {  // a name that is not ASCII upper-cased to FN
    noteFN(*card, line, prop);
    return;
  }
  if (!group.empty() && nameIs("X-ABLABEL")) {
    noteLabel(context, *card, group, values, valuesCount, prop);
    return;
  }
  // What was judged when the line opened the property holds for its whole
  // text, whose names are that line's.
  const std::optional<std::uint64_t> declaring =
      prop.namesJudged == namesCount ? std::optional(prop.declaring) : std::nullopt;
  const RecognitionRow* found = lookUp.known ? lookUp.row : rowNamed(name, asciiName);
  if (found != nullptr && !card->version4() && onlyVersion4(found->rule)) found = nullptr;
  const bool recognised = found != nullptr;
  FieldJudgement judged;  // of the rules that judge values, when one runs
  if (found != nullptr && found->rule == setSound && nameIs("SOUND") &&
      isAudioSound(names, namesCount, prop)) {
    // Audio, not a reading: dropped like any unrecognised property.
    notes.dropped(*card, "SOUND(音声)");
  } else if (found != nullptr && holdsNothing(line, values, valuesCount) &&
             found->rule != setVersion && found->name != "N") {
    // An empty field: an empty row in the contact helps nobody.
  } else if (found != nullptr && judgesValues(found->rule) &&
             !(judged =
                   judgeField(found->rule, context, *card,
                              RuleInput{names, namesCount, values, valuesCount, prop, declaring}))
                  .carries) {
    notes.dropped(*card, name);
  } else if (found != nullptr) {
    const RecognitionRow& row = *found;
    prop.isTarget = true;
    if (row.isHalfToFull != 0) prop.isHalfToFull = true;
    // Where the card's N and grouped properties stand is needed only at its
    // end.
    const bool emptyName = row.name == "N" && allBlank(values, valuesCount);
    const bool settled =
        (!group.empty() && row.rule != setSound && row.rule != setVersion) || emptyName;
    const std::size_t before = card->card.properties().size();
    const std::uint64_t itemsBefore = card->itemNo;
    const bool rejectedBefore = card->rejected;
    const RuleInput input{names, namesCount, values, valuesCount, prop, declaring, judged.date};
    if (card->version4()) {
      applyVersion4(context, notes, *card, row.rule, input);
    } else {
      row.rule(context, *card, input);
    }
    if (!rejectedBefore && card->rejected && row.rule == setVersion)
      notes.rejected(*card, vcard::SkipReason::UnsupportedVersion, clippedForReport(line));
    if (row.name == "N" && !emptyName) card->hasName = true;
    const std::size_t after = card->card.properties().size();
    if (settled && after > before) {
      if (emptyName) {
        card->extras.emptyNames.emplace_back(before, after);
      } else {
        card->extras.grouped.push_back(
            {before, after, platform::upperASCII(group), card->itemNo != itemsBefore});
      }
    }
  }

  // Only a charset ICU does not know, or a transfer encoding nobody knows,
  // makes a recognised property impossible to carry over.
  if (prop.isTarget &&
      (prop.charsetType == kCharsetUnknown || prop.encodeType == kEncodingUnknown)) {
    if (!card->rejected && notes.noting())
      notes.rejected(*card, codingReason(prop, names, namesCount),
                     codingDetail(prop, names, namesCount, name));
    card->rejected = true;
  } else if (!recognised && !nameIs("BEGIN")) {
    // A name written so that only the split finds it; one that is not ASCII
    // is no property name: its line is counted as one that could not be read.
    if (!namesAProperty(line)) {
      ++card->unreadableLines;
    } else if (notes.noting()) {
      notes.dropped(*card, name);
    }
  }
}
