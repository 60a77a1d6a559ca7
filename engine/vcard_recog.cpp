// Property recognition: opens and closes cards, picks the rewrite rule of
// every property the target address book takes, rejects unsupported cards and
// appends finished cards to the output file.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "engine_p.h"
#include "platform.h"
#include "strutil.h"
#include "vcard.h"

namespace {

using vcard::detail::OwnedText;

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

struct SplitPair {
  char** names = nullptr;
  char** values = nullptr;
  std::uint64_t namesCount = 0;
  std::uint64_t valuesCount = 0;
  ~SplitPair() { SplitFree(names, values); }
};

bool isASCII(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// ASCII text equal to the upper-case word when upper-cased letter by letter.
bool asciiUpperEquals(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != word[i]) return false;
  }
  return true;
}

// True when text, upper-cased, equals the upper-case ASCII word. ASCII text
// upper-cases letter for letter and is compared in place; other text goes
// through StrToUpper. Upper-casing turns at most three bytes into one ASCII
// letter, so a longer text (a photo, say) is not upper-cased, nor even
// measured to its end.
bool upperEquals(const char* text, std::string_view word) {
  const std::size_t limit = 3 * word.size();
  const std::string_view view(text, strnlen(text, limit + 1));
  if (view.size() > limit) return false;
  if (isASCII(view)) return asciiUpperEquals(view, word);
  // A character of U+3000-U+9FFF (lead byte E3-E9) has no upper case, so
  // the upper-cased text keeps it and cannot be an ASCII word.
  for (const char c : view) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0xE3 && byte <= 0xE9) return false;
  }
  OwnedText upper(StrToUpper(text));
  return upper && word == upper.get();
}

bool lineIs(const char* line, const char* word) {
  return upperEquals(line, word);
}

// True when the line is neither a begin nor an end line and its name (the
// text before the first unescaped ";" or ":", which is what SplitFR makes the
// first name) is ASCII and names no recognised property: then the line has no
// effect. A name that is not ASCII is not judged here.
bool isIgnoredLine(const char* line) {
  std::size_t end = 0;
  for (; line[end] != '\0'; ++end) {
    const char c = line[end];
    if (static_cast<unsigned char>(c) >= 0x80) return false;
    if ((c == ';' || c == ':') && (end == 0 || line[end - 1] != '\\')) break;
  }
  const std::string_view name(line, end);
  for (const RecognitionRow& row : kRecognitionTable) {
    if (asciiUpperEquals(name, row.name)) return false;
  }
  return !lineIs(line, "BEGIN:VCARD") && !lineIs(line, "END:VCARD");
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
  // A card left open by a new begin line is finished too.
  vcard::detail::finishCard();
  if (!vcard::detail::growCardArray(list)) {
    std::free(text);
    return -4;
  }
  list->cardArray[list->cardCount] = VCARDDATA{0, 0, 0, text};
  ++list->cardCount;
  return 0;
}

}  // namespace

int OutputFile(const char* path, const char* cardText) {
  if (vcard::detail::outputFailed || path == nullptr || cardText == nullptr) return 0;
  try {
    std::string body;
    const bool written =
        vcard::detail::appendUTF16LE(cardText, &body) && platform::appendToFile(path, body);
    if (!written) vcard::detail::outputFailed = true;
    return written ? 1 : 0;
  } catch (...) {
    vcard::detail::outputFailed = true;
    return 0;
  }
}

int vCard_RecogData(const char* line, const char* dstPath, PROPERTY* prop, VCARDLIST* list) {
  if (line == nullptr || prop == nullptr || list == nullptr) return 0;
  // A property nobody takes changes nothing; it need not be split.
  if (prop->isTarget == 0 && isIgnoredLine(line)) return 0;
  SplitPair split;
  SplitFR(line, &split.names, &split.namesCount, &split.values, &split.valuesCount);
  if (split.namesCount == 0 || split.valuesCount == 0) return 0;

  if (lineIs(line, "BEGIN:VCARD") && openCard(line, list) != 0) return -4;

  VCARDDATA* card = currentCard(list);
  if (lineIs(line, "END:VCARD")) {
    if (card == nullptr || card->isEnd != 0) return 0;
    card->isEnd = 1;
    vcard::detail::appendToCard(card, line);
    vcard::detail::appendToCard(card, "\r\n");
    vcard::detail::finishCard();
    if (card->isError == 0) vcard::detail::writeCard(dstPath, card->cardText);
  }

  if (card == nullptr || split.names[0] == nullptr || card->isEnd != 0) return 0;

  // An ASCII name is compared in place; any other is upper-cased once.
  std::string_view name(split.names[0]);
  const bool asciiName = isASCII(name);
  OwnedText upperName;
  if (!asciiName) {
    upperName.reset(StrToUpper(split.names[0]));
    if (!upperName) return 0;
    name = upperName.get();
  }
  for (const RecognitionRow& row : kRecognitionTable) {
    if (asciiName ? !asciiUpperEquals(name, row.name) : name != row.name) continue;
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
