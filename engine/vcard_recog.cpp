// Property recognition: opens and closes cards, picks the rewrite rule of
// every property the target address book takes, rejects unsupported cards and
// appends finished cards to the output file.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "engine_p.h"
#include "platform.h"
#include "strutil.h"
#include "vcard.h"

namespace {

using vcard::detail::OwnedText;

using Rule = int (*)(VCARDDATA*, char**, std::size_t, char**, std::size_t, PROPERTY*);

struct RecognitionRow {
  const char* name;
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

struct SplitPair {
  char** names = nullptr;
  char** values = nullptr;
  std::uint64_t namesCount = 0;
  std::uint64_t valuesCount = 0;
  ~SplitPair() { SplitFree(names, values); }
};

// True when the whole line, upper-cased, equals word. Upper-casing turns at
// most three bytes into one ASCII letter, so a longer line (a photo, say) is
// not upper-cased at all.
bool lineIs(const char* line, const char* word) {
  if (std::strlen(line) > 3 * std::strlen(word)) return false;
  OwnedText upper(StrToUpper(line));
  return upper && std::strcmp(upper.get(), word) == 0;
}

VCARDDATA* currentCard(VCARDLIST* list) {
  return list->cardCount == 0 ? nullptr : &list->cardArray[list->cardCount - 1];
}

int openCard(const char* line, VCARDLIST* list) {
  char* text = StrAlloc(line);
  if (text == nullptr || !vcard::detail::appendText(&text, "\r\n")) {
    std::free(text);
    return -4;
  }
  auto* grown = static_cast<VCARDDATA*>(
      std::realloc(list->cardArray, sizeof(VCARDDATA) * (list->cardCount + 1)));
  if (grown == nullptr) {
    std::free(text);
    return -4;
  }
  list->cardArray = grown;
  list->cardArray[list->cardCount] = VCARDDATA{0, 0, 0, text};
  ++list->cardCount;
  return 0;
}

}  // namespace

int OutputFile(const char* path, const char* cardText) {
  if (vcard::detail::outputFailed || path == nullptr || cardText == nullptr) return 0;
  try {
    std::unique_ptr<icu::UnicodeString> text = UTF8_to_UTF16(cardText);
    bool written = false;
    if (text) {
      std::optional<std::string> bytes = platform::encodeLossy(*text, platform::Encoding::UTF16LE);
      if (bytes) {
        // The converted text begins with U+FEFF; the file already has its mark.
        std::string_view body(*bytes);
        if (body.size() >= 2 && static_cast<unsigned char>(body[0]) == 0xFF &&
            static_cast<unsigned char>(body[1]) == 0xFE)
          body.remove_prefix(2);
        written = platform::appendToFile(path, body);
      }
    }
    if (!written) vcard::detail::outputFailed = true;
    return written ? 1 : 0;
  } catch (...) {
    vcard::detail::outputFailed = true;
    return 0;
  }
}

int vCard_RecogData(const char* line, const char* dstPath, PROPERTY* prop, VCARDLIST* list) {
  if (line == nullptr || prop == nullptr || list == nullptr) return 0;
  SplitPair split;
  SplitFR(line, &split.names, &split.namesCount, &split.values, &split.valuesCount);
  if (split.namesCount == 0 || split.valuesCount == 0) return 0;

  if (lineIs(line, "BEGIN:VCARD") && openCard(line, list) != 0) return -4;

  VCARDDATA* card = currentCard(list);
  if (lineIs(line, "END:VCARD")) {
    if (card == nullptr || card->isEnd != 0) return 0;
    card->isEnd = 1;
    vcard::detail::appendText(&card->cardText, line);
    vcard::detail::appendText(&card->cardText, "\r\n");
    if (card->isError == 0) OutputFile(dstPath, card->cardText);
  }

  if (card == nullptr || split.names[0] == nullptr || card->isEnd != 0) return 0;

  OwnedText name(StrToUpper(split.names[0]));
  if (!name) return 0;
  for (const RecognitionRow& row : kRecognitionTable) {
    if (std::strcmp(name.get(), row.name) != 0) continue;
    prop->isTarget = 1;
    if (row.isHalfToFull != 0) prop->isHalfToFull = 1;
    row.rule(card, split.names, split.namesCount, split.values, split.valuesCount, prop);
    break;
  }

  if (prop->isTarget != 0) {
    if (StrExists(split.names, split.namesCount, "CHARSET") != 0 && prop->charsetType != 1 &&
        prop->charsetType != 2)
      card->isError = 1;
    if (StrExists(split.names, split.namesCount, "ENCODING") != 0 && prop->encodeType != 1 &&
        prop->encodeType != 2)
      card->isError = 1;
  }
  return 0;
}
