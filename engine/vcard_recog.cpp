// Property recognition: opens and closes cards, picks the rewrite rule of
// every property the target address book takes, rejects unsupported cards and
// hands finished cards to the output. What a card settles at its end is in
// card_settle.cpp.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine_p.h"
#include "platform.h"
#include "report_notes.h"
#include "strutil.h"
#include "vcard.h"

namespace {

using platform::OwnedCString;
using vcard::detail::asciiUpper;
using vcard::detail::asciiUpperEquals;
using vcard::detail::upperASCII;

// The two token lists of a split line, as the rules take them.
struct LineTokens {
  char** names;
  std::uint64_t namesCount;
  char** values;
  std::uint64_t valuesCount;
};

using Rule = int (*)(VCARDDATA*, char**, std::size_t, char**, std::size_t, PROPERTY*);

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
    {"BDAY", 0, setDirectly},
    {"TEL", 0, setTel},
    {"EMAIL", 0, setEmail},
    {"URL", 0, setDirectly},
    {"ADR", 1, setAdr},
    {"ORG", 1, setDirectly},
    {"TITLE", 1, setDirectly},
    {"NOTE", 1, setDirectly},
    {"PHOTO", 0, setDirectly},
};

// The row of each name by its first letter and its length, which no two
// rows share: one comparison settles a name.
constexpr std::size_t kLongestName = 21;  // X-PHONETIC-FIRST-NAME
constexpr std::uint8_t kNoRow = 0xFF;
using RowIndex = std::array<std::array<std::uint8_t, kLongestName + 1>, 26>;
constexpr RowIndex kRowIndex = [] {
  RowIndex index{};
  for (auto& letters : index)
    letters.fill(kNoRow);
  for (std::size_t i = 0; i < std::size(kRecognitionTable); ++i) {
    const std::string_view name = kRecognitionTable[i].name;
    index[static_cast<std::size_t>(name[0] - 'A')][name.size()] = static_cast<std::uint8_t>(i);
  }
  return index;
}();
constexpr bool rowIndexHoldsEveryRow() {
  for (std::size_t i = 0; i < std::size(kRecognitionTable); ++i) {
    const std::string_view name = kRecognitionTable[i].name;
    if (name.size() > kLongestName || name[0] < 'A' || name[0] > 'Z' ||
        kRowIndex[static_cast<std::size_t>(name[0] - 'A')][name.size()] != i)
      return false;
  }
  return true;
}
static_assert(rowIndexHoldsEveryRow(), "two rows share a first letter and a length");

// The row of the table for a property name (without group): ASCII names
// in any letter case, any other name already upper-cased.
const RecognitionRow* rowNamed(std::string_view name, bool ascii) {
  if (name.empty() || name.size() > kLongestName) return nullptr;
  char first = name[0];
  if (ascii) first = asciiUpper(first);
  if (first < 'A' || first > 'Z') return nullptr;
  const std::uint8_t at = kRowIndex[static_cast<std::size_t>(first - 'A')][name.size()];
  if (at == kNoRow) return nullptr;
  const RecognitionRow& row = kRecognitionTable[at];
  return (ascii ? asciiUpperEquals(name, row.name) : row.name == name) ? &row : nullptr;
}

// The name of a property without its group: "EMAIL" of "item1.EMAIL".
std::string_view ungrouped(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? name : name.substr(dot + 1);
}

// True when the line is neither a begin nor an end line and its name (the
// text before the first unescaped ";" or ":", which is what SplitFR makes the
// first name) is ASCII and, without its group, names no recognised property,
// no FN and no label of a group: then the line has no effect. A name that is
// not ASCII is not judged here.
bool isIgnoredLine(const char* line) {
  std::size_t end = 0;
  for (; line[end] != '\0'; ++end) {
    const char c = line[end];
    if (!utf::isASCII(c)) return false;
    if ((c == ';' || c == ':') && (end == 0 || line[end - 1] != '\\')) break;
  }
  const std::string_view fullName(line, end);
  const std::string_view name = ungrouped(fullName);
  if (rowNamed(name, true) != nullptr) return false;
  if (asciiUpperEquals(name, "FN")) return false;
  if (name.size() != fullName.size() && asciiUpperEquals(name, "X-ABLABEL")) return false;
  return vcard::detail::cardLineOfText(line) == vcard::detail::CardLine::Other;
}

// True for an FN line without a group: "FN:..." or "FN;...", any case.
bool isFNLine(const char* line) {
  return (line[0] == 'F' || line[0] == 'f') && (line[1] == 'N' || line[1] == 'n') &&
         (line[2] == ':' || line[2] == ';');
}

int beginCard(std::string_view head, VCARDLIST* list) {
  OwnedCString text(static_cast<char*>(std::malloc(head.size() + 3)));
  if (!text) return kStageFailed;
  std::memcpy(text.get(), head.data(), head.size());
  std::memcpy(text.get() + head.size(), "\r\n", 3);
  // The card that is open goes on after the new one ends; until then its
  // text need not keep spare room.
  vcard::detail::finishCard(vcard::detail::openCard(list));
  if (!vcard::detail::growCardArray(list)) return kStageFailed;
  // The card record owns the text from here on.
  list->cardArray[list->cardCount] = VCARDDATA{0, 0, 0, text.release(), nullptr, 0};
  ++list->cardCount;
  vcard::detail::cardOpened(list);
  return kStageOK;
}

std::size_t textLength(const VCARDDATA* card) {
  return card->cardText != nullptr ? std::strlen(card->cardText) : 0;
}

bool allBlank(char** values, std::uint64_t count) {
  for (std::uint64_t i = 0; i < count; ++i) {
    if (values[i] != nullptr &&
        std::string_view(values[i]).find_first_not_of(" \t") != std::string_view::npos)
      return false;
  }
  return true;
}

// A SOUND that holds audio or a link rather than a reading: Base64 data, an
// audio type, or a URI value.
bool isAudioSound(char** names, std::uint64_t count, const PROPERTY* prop) {
  if (prop->encodeType == kEncodingBase64) return true;
  for (std::uint64_t i = 1; i < count; ++i) {
    if (names[i] == nullptr) continue;
    const std::string parameter = upperASCII(names[i]);
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
bool namesAProperty(const char* line) {
  std::size_t end = 0;
  bool segmentEmpty = true;
  for (; line[end] != ';' && line[end] != ':'; ++end) {
    const char c = line[end];
    if (c == '.') {
      if (segmentEmpty) return false;
      segmentEmpty = true;
    } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_' || c == '/') {
      segmentEmpty = false;
    } else {
      return false;  // the end of the line included
    }
  }
  return !segmentEmpty && std::strchr(line + end, ':') != nullptr;
}

// The name of an ignored line as the report counts it: without its group
// (the line's name is ASCII, isIgnoredLine made sure).
std::string_view ignoredName(const char* line) {
  std::size_t end = 0;
  while (line[end] != '\0' &&
         !((line[end] == ';' || line[end] == ':') && (end == 0 || line[end - 1] != '\\')))
    ++end;
  return ungrouped(std::string_view(line, end));
}

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

// At most limit bytes of text, on one line and cut at a character boundary,
// for the report.
std::string clipped(std::string_view folded, std::size_t limit = 60) {
  std::string text = oneLine(folded);
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    --end;
  text.resize(end);
  return text + "…";
}

// The parameter that named the charset or transfer encoding a card was
// rejected for ("CHARSET=X-FOO"), or "" when none is written as such.
std::string parameterNamed(char** names, std::uint64_t count, std::string_view key) {
  for (std::uint64_t i = 1; i < count; ++i) {
    if (names[i] == nullptr) continue;
    const std::string upper = upperASCII(names[i]);
    if (upper.size() > key.size() && upper.compare(0, key.size(), key) == 0 &&
        upper[key.size()] == '=')
      return names[i];
  }
  return {};
}

}  // namespace

int vCard_RecogData(const char* line, const char* dstPath, PROPERTY* prop, VCARDLIST* list) {
  thread_local strutil::LineSplit split;
  const int result = vcard::detail::recogData(line, dstPath, prop, list, &split, false, false);
  split.trim();
  return result;
}

int vcard::detail::recogData(const char* line, const char* dstPath, PROPERTY* prop, VCARDLIST* list,
                             strutil::LineSplit* lineSplit, bool splitDone, bool knownUTF8) {
  if (line == nullptr || prop == nullptr || list == nullptr) return kStageOK;
  // A property nobody takes changes nothing; it need not be split.
  if (prop->isTarget == 0 && isIgnoredLine(line)) {
    if (vcard::detail::notingReport() && namesAProperty(line))
      vcard::detail::noteDropped(list, vcard::detail::openCard(list), ignoredName(line));
    return kStageOK;
  }
  // FN is never written; a card without N keeps its line, unsplit, for the end.
  if (isFNLine(line)) {
    vcard::detail::noteFN(vcard::detail::openCard(list), line, prop);
    return kStageOK;
  }
  if (!splitDone) {
    try {
      lineSplit->split(line, true, knownUTF8);
    } catch (...) {
      return kStageOK;  // out of memory: the line cannot be split
    }
  }
  LineTokens split{lineSplit->names(), lineSplit->namesCount(), lineSplit->values(),
                   lineSplit->valuesCount()};
  if (split.namesCount == 0 || split.valuesCount == 0) return kStageOK;

  // A card line enters the card without what trails its word.
  using vcard::detail::CardLine;
  const CardLine cardLine = vcard::detail::cardLineOfText(line);
  if (cardLine == CardLine::Begin &&
      beginCard(vcard::detail::cardLineKept(line, cardLine), list) != kStageOK)
    return kStageFailed;

  VCARDDATA* card = vcard::detail::openCard(list);
  if (cardLine == CardLine::End) {
    if (card == nullptr) return kStageOK;
    try {
      vcard::detail::settleCard(card);
    } catch (...) {
      // Out of memory: the card is written as it stands.
    }
    delete card->extras;
    card->extras = nullptr;
    card->isEnd = 1;
    vcard::detail::appendToCard(card, vcard::detail::cardLineKept(line, cardLine));
    vcard::detail::appendToCard(card, "\r\n");
    vcard::detail::finishCard(card);
    vcard::detail::cardClosed(list);
    vcard::detail::noteClosed(list, card);
    if (card->isError == 0) {
      vcard::detail::noteWritten(list, card);
      vcard::detail::writeCard(dstPath, card->cardText, vcard::detail::positionOf(list, card));
      if (vcard::detail::releasesWrittenTexts(list)) {
        std::free(card->cardText);
        card->cardText = nullptr;
      }
    }
    return kStageOK;
  }

  if (card == nullptr || split.names[0] == nullptr) return kStageOK;

  // A grouped property ("item1.EMAIL") is recognised by its name alone; its
  // rule sees the name without the group.
  char* const fullName = split.names[0];
  const std::string_view group = [&] {
    const std::string_view full(fullName);
    const std::size_t dot = full.rfind('.');
    return dot == std::string_view::npos || dot == 0 || dot + 1 == full.size()
               ? std::string_view()
               : full.substr(0, dot);
  }();
  if (!group.empty()) split.names[0] = fullName + group.size() + 1;
  struct RestoreName {
    LineTokens& split;
    char* name;
    ~RestoreName() { split.names[0] = name; }
  } restore{split, fullName};

  // An ASCII name is compared in place; any other is upper-cased once.
  std::string_view name(split.names[0]);
  const bool asciiName = utf::isASCII(name);
  OwnedCString upperName;
  if (!asciiName) {
    upperName.reset(StrToUpper(split.names[0]));
    if (!upperName) return kStageOK;
    name = upperName.get();
  }
  auto nameIs = [&](std::string_view word) {
    return asciiName ? asciiUpperEquals(name, word) : name == word;
  };
  if (nameIs("FN")) {  // a name that is not ASCII upper-cased to FN
    vcard::detail::noteFN(card, line, prop);
    return kStageOK;
  }
  if (!group.empty() && nameIs("X-ABLABEL")) {
    vcard::detail::noteLabel(card, group, split.values, split.valuesCount, prop);
    return kStageOK;
  }
  const RecognitionRow* const found = rowNamed(name, asciiName);
  const bool recognised = found != nullptr;
  if (found != nullptr && found->rule == setSound && nameIs("SOUND") &&
      isAudioSound(split.names, split.namesCount, prop)) {
    // Audio, not a reading: dropped like any unrecognised property.
    if (vcard::detail::notingReport()) vcard::detail::noteDropped(list, card, "SOUND(音声)");
  } else if (found != nullptr) {
    const RecognitionRow& row = *found;
    prop->isTarget = 1;
    if (row.isHalfToFull != 0) prop->isHalfToFull = 1;
    // Where the card's N and grouped lines stand is needed only at its end.
    const bool emptyName = row.name == "N" && allBlank(split.values, split.valuesCount);
    const bool settled =
        (!group.empty() && row.rule != setSound && row.rule != setVersion) || emptyName;
    vcard::detail::CardExtras* extras = settled ? vcard::detail::extrasOf(card) : nullptr;
    const std::size_t before = extras != nullptr ? textLength(card) : 0;
    const std::uint64_t itemsBefore = card->itemNo;
    const bool rejectedBefore = card->isError != 0;
    row.rule(card, split.names, split.namesCount, split.values, split.valuesCount, prop);
    if (!rejectedBefore && card->isError != 0 && row.rule == setVersion &&
        vcard::detail::notingReport())
      vcard::detail::noteRejected(list, card, vcard::SkipReason::UnsupportedVersion, clipped(line));
    if (row.name == "N" && !emptyName) card->hasName = 1;
    if (extras != nullptr) {
      const std::size_t after = textLength(card);
      if (emptyName) {
        if (after > before) extras->emptyNames.emplace_back(before, after);
      } else if (after > before) {
        extras->grouped.push_back({before, after, upperASCII(group), card->itemNo != itemsBefore});
      }
    }
  }

  // Only a charset ICU does not know, or a transfer encoding nobody knows,
  // makes a recognised property impossible to carry over.
  if (prop->isTarget != 0 &&
      (prop->charsetType == kCharsetUnknown || prop->encodeType == kEncodingUnknown)) {
    if (card->isError == 0 && vcard::detail::notingReport()) {
      const bool charset = prop->charsetType == kCharsetUnknown;
      const std::string parameter =
          parameterNamed(split.names, split.namesCount, charset ? "CHARSET" : "ENCODING");
      const std::string property = upperASCII(name);
      // A charset this build lacks the table of is no unknown one: the
      // desktop program converts the card, so the reason says so.
      const bool notInBuild =
          charset && !parameter.empty() &&
          platform::isCharsetTableMissing(parameter.substr(parameter.find('=') + 1).c_str());
      const vcard::SkipReason reason = notInBuild ? vcard::SkipReason::CharsetNotInBuild
                                       : charset  ? vcard::SkipReason::UnsupportedCharset
                                                  : vcard::SkipReason::UnsupportedEncoding;
      vcard::detail::noteRejected(
          list, card, reason, clipped(parameter.empty() ? property : property + ";" + parameter));
    }
    card->isError = 1;
  } else if (!recognised && !nameIs("BEGIN") && vcard::detail::notingReport() &&
             namesAProperty(line)) {
    // A name written so that only the split finds it; one that is not ASCII
    // is no property name and goes untold.
    vcard::detail::noteDropped(list, card, clipped(name, 40));
  }
  return kStageOK;
}
