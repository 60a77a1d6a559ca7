// The engine's C functions with their given signatures, as adapters over the
// conversion the product runs: each opens a conversion of its own for the
// one call, for the iPhone form, and hands back what it did in the C
// records. Nothing is kept from one call to the next.
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "card/card_lines.h"
#include "convert.h"
#include "lines/line_loop.h"
#include "platform.h"
#include "read/source_load.h"
#include "strutil.h"
#include "utf8.h"
#include "vcard.h"
#include "write/output.h"

char* orgFile = nullptr;
char* dstFile = nullptr;

namespace {

using namespace vcard::detail;

// What one call's conversion needs: the iPhone form, no report, nothing
// known about a source, the output appended to path when there is one.
struct CallConversion {
  vcard::ConvertOptions options;
  vcard::SourceInfo source;
  FileStore store;
  Output output{store, options, nullptr};
  ReportNotes notes{nullptr, source};
  ProgressMeter progress{options, 0};
  Conversion conversion;

  explicit CallConversion(bool knownUTF8, bool keepClosedCards = false)
      : conversion(options, source, knownUTF8, output, notes, progress, keepClosedCards) {}
};

PropertyLine fromC(const PROPERTY& c) {
  PropertyLine prop;
  prop.started = c.propText != nullptr;
  if (c.propText != nullptr) prop.text = c.propText;
  prop.charsetType = c.charsetType;
  prop.encodeType = c.encodeType;
  std::memcpy(prop.charsetName, c.charsetName, sizeof prop.charsetName);
  prop.lineStatus = c.lineStatus;
  prop.qpNext = c.qpNext;
  prop.isTarget = c.isTarget != 0;
  prop.isHalfToFull = c.isHalfToFull != 0;
  return prop;
}

// Copies prop back; false when the text could not be copied.
bool toC(const PropertyLine& prop, PROPERTY* c) {
  char* text = nullptr;
  if (prop.started) {
    text = StrAlloc(prop.text.c_str());
    if (text == nullptr) return false;
  }
  std::free(c->propText);
  c->propText = text;
  c->charsetType = prop.charsetType;
  c->encodeType = prop.encodeType;
  std::memcpy(c->charsetName, prop.charsetName, sizeof c->charsetName);
  c->lineStatus = prop.lineStatus;
  c->qpNext = prop.qpNext;
  c->isTarget = prop.isTarget ? 1 : 0;
  c->isHalfToFull = prop.isHalfToFull ? 1 : 0;
  return true;
}

// Appends text to the card's C string.
bool appendToCard(VCARDDATA* card, std::string_view text) {
  const std::size_t length = card->cardText != nullptr ? std::strlen(card->cardText) : 0;
  auto* grown = static_cast<char*>(std::realloc(card->cardText, length + text.size() + 1));
  if (grown == nullptr) return false;
  std::memcpy(grown + length, text.data(), text.size());
  grown[length + text.size()] = '\0';
  card->cardText = grown;
  return true;
}

bool appendCard(VCARDLIST* list, const VCARDDATA& card) {
  auto* grown = static_cast<VCARDDATA*>(
      std::realloc(list->cardArray, sizeof(VCARDDATA) * (list->cardCount + 1)));
  if (grown == nullptr) return false;
  list->cardArray = grown;
  list->cardArray[list->cardCount++] = card;
  return true;
}

VCARDDATA* openCardOf(VCARDLIST* list) {
  for (std::uint64_t i = list->cardCount; i-- > 0;) {
    if (list->cardArray[i].isEnd == 0) return &list->cardArray[i];
  }
  return nullptr;
}

// Runs one rule of the product on a C card: what it adds is appended to the
// card's text.
void runRule(Rule rule, VCARDDATA* card, char** params, std::size_t paramCount, char** values,
             std::size_t valueCount, PROPERTY* cProp) {
  if (card == nullptr) return;
  try {
    CallConversion call(false);
    OpenCard& open = call.conversion.cards.begin();
    open.itemNo = card->itemNo;
    open.rejected = card->isError != 0;
    const PropertyLine prop = cProp != nullptr ? fromC(*cProp) : PropertyLine{};
    rule(call.conversion.values, open, RuleInput{params, paramCount, values, valueCount, prop});
    if (!appendToCard(card, open.card.iPhoneText())) return;
    card->itemNo = open.itemNo;
    card->isError = open.rejected ? 1 : 0;
  } catch (...) {
    // Out of memory: the card stays as it was.
  }
}

// Ends a C card the way every card ends (endCard, through the END line's
// recognition): it settles, and unless it is rejected it is appended to the
// output at path. The C card holds what its lines gave as text, which the
// model keeps as it is; what a card keeps for its end lives only as long as
// one call, so it has nothing left to settle.
void endCCard(const VCARDDATA& cCard, std::string_view text, const char* endLine,
              const char* path) {
  CallConversion call(false);
  call.output.appendTo(path);
  OpenCard& card = call.conversion.cards.begin();
  card.itemNo = cCard.itemNo;
  card.rejected = cCard.isError != 0;
  card.hasName = cCard.hasName != 0;
  // Its lines end with CR LF, as the model writes each kept one.
  if (text.ends_with("\r\n")) text.remove_suffix(2);
  if (!text.empty()) {
    card.card.beginProperty(text, Property::Kind::Begin);
    card.card.endProperty();
  }
  PropertyLine prop;
  recogData(call.conversion, endLine, prop, false);
  call.output.finish();
}

}  // namespace

std::array<std::string, 2> vCardConvert(const char* orgPath, const char* dstPath) {
  return vCardConvert(orgPath, dstPath, vcard::ConvertOptions{}, nullptr);
}

int vCard_GetData(const char* path, char** text) {
  return vCard_GetData(path, text, vcard::CarrierChoice::Auto);
}

int vCard_GetData(const char* path, char** text, vcard::CarrierChoice carrier) {
  if (path == nullptr || text == nullptr) return kLoadUnreadable;
  try {
    LoadedSource loaded = loadFile(path, carrier);
    // The text leaves through the C interface only when loading succeeded.
    if (loaded.code == kLoadOK) *text = loaded.text.release();
    return loaded.code;
  } catch (...) {
    return kLoadUndecodable;  // out of memory
  }
}

int Output_CreateFile(const char* path) {
  static constexpr char kByteOrderMark[] = {'\xFF', '\xFE'};
  try {
    FileStore store;
    return path != nullptr && store.create(path, std::string_view(kByteOrderMark, 2)) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

void Output_CloseFile() {}

int OutputFile(const char* path, const char* cardText) {
  if (path == nullptr || cardText == nullptr) return 0;
  try {
    std::string body;
    FileStore store;
    return appendUTF16LE(cardText, &body) && store.append(path, body) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int vCard_AnalysData(const char* text, VCARDLIST* list, std::uint64_t* inCount,
                     std::uint64_t* outCount) {
  if (text == nullptr || list == nullptr || inCount == nullptr || outCount == nullptr)
    return kStageFailed;
  try {
    const std::string_view all(text);
    CallConversion call(utf::validateUTF8(all), true);
    call.output.appendTo(dstFile != nullptr ? dstFile : "");
    LineLoop(call.conversion).feed(all, true);
    call.output.finish();
    // Every card begun, in the order begun: the closed ones and those still
    // open.
    CardList& cards = call.conversion.cards;
    std::vector<const OpenCard*> begun;
    for (const auto& card : cards.closedCards())
      begun.push_back(card.get());
    for (const auto& card : cards.openCards())
      begun.push_back(card.get());
    std::sort(begun.begin(), begun.end(),
              [](const OpenCard* a, const OpenCard* b) { return a->position < b->position; });
    for (const OpenCard* card : begun) {
      char* cardText = StrAlloc(card->card.iPhoneText().c_str());
      if (cardText == nullptr) return kStageFailed;
      if (!appendCard(list, VCARDDATA{card->ended ? 1 : 0, card->rejected ? 1 : 0, card->itemNo,
                                      cardText, card->hasName ? 1 : 0})) {
        std::free(cardText);
        return kStageFailed;
      }
    }
    *inCount = cards.ended();
    *outCount = cards.written();
    return kStageOK;
  } catch (...) {
    return kStageFailed;
  }
}

int vCard_CheckLine(const char* line, PROPERTY* cProp) {
  if (cProp == nullptr) return 0;
  try {
    CallConversion call(false);
    PropertyLine prop = fromC(*cProp);
    strutil::LineSplit split;
    (void)checkLine(line != nullptr ? std::optional<std::string_view>(line) : std::nullopt, prop,
                    split, call.conversion.values);
    (void)toC(prop, cProp);
  } catch (...) {
    // Out of memory: the property stays as it was.
  }
  return 0;
}

int vCard_RecogData(const char* line, const char* dstPath, PROPERTY* cProp, VCARDLIST* list) {
  if (line == nullptr || cProp == nullptr || list == nullptr) return kStageOK;
  try {
    const CardLine cardLine = cardLineOfText(line);
    VCARDDATA* open = openCardOf(list);
    if (cardLine == CardLine::End) {
      if (open == nullptr) return kStageOK;
      const std::size_t before = open->cardText != nullptr ? std::strlen(open->cardText) : 0;
      open->isEnd = 1;
      if (!appendToCard(open, cardLineKept(line, cardLine)) || !appendToCard(open, "\r\n"))
        return kStageOK;
      if (dstPath != nullptr)
        endCCard(*open, std::string_view(open->cardText, before), line, dstPath);
      return kStageOK;
    }
    CallConversion call(false);
    CardList& cards = call.conversion.cards;
    if (open != nullptr && cardLine != CardLine::Begin) {
      OpenCard& card = cards.begin();
      card.itemNo = open->itemNo;
      card.rejected = open->isError != 0;
      card.hasName = open->hasName != 0;
    }
    PropertyLine prop = fromC(*cProp);
    recogData(call.conversion, line, prop, false);
    (void)toC(prop, cProp);
    OpenCard* card = cards.current();
    if (card == nullptr) return kStageOK;
    if (cardLine == CardLine::Begin) {
      char* text = StrAlloc(card->card.iPhoneText().c_str());
      if (text == nullptr || !appendCard(list, VCARDDATA{0, 0, 0, text, 0})) {
        std::free(text);
        return kStageFailed;
      }
      return kStageOK;
    }
    if (!appendToCard(open, card->card.iPhoneText())) return kStageOK;
    open->itemNo = card->itemNo;
    open->isError = card->rejected ? 1 : 0;
    open->hasName = card->hasName ? 1 : 0;
    return kStageOK;
  } catch (...) {
    return kStageFailed;
  }
}

int vCard_ReleaseData(VCARDLIST* list, char* text) {
  if (list != nullptr) {
    for (std::uint64_t i = 0; i < list->cardCount; ++i)
      std::free(list->cardArray[i].cardText);
    std::free(list->cardArray);
    list->cardArray = nullptr;
    list->cardCount = 0;
  }
  std::free(text);
  return 0;
}

char* StrConvert(const char* value, std::uint64_t charsetType, std::uint64_t encodeType,
                 int isHalfToFull) {
  if (value == nullptr) return nullptr;
  try {
    CallConversion call(false);
    PropertyLine prop;
    prop.charsetType = charsetType;
    prop.encodeType = encodeType;
    prop.isHalfToFull = isHalfToFull != 0;
    const std::optional<std::string> converted = convertValue(call.conversion.values, value, prop);
    return converted ? StrAlloc(converted->c_str()) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

int setVersion(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
               std::size_t valueCount, PROPERTY* prop) {
  runRule(vcard::detail::setVersion, card, params, paramCount, values, valueCount, prop);
  return 0;
}

int setDirectly(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
                std::size_t valueCount, PROPERTY* prop) {
  runRule(vcard::detail::setDirectly, card, params, paramCount, values, valueCount, prop);
  return 0;
}

int setTel(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
           std::size_t valueCount, PROPERTY* prop) {
  runRule(vcard::detail::setTel, card, params, paramCount, values, valueCount, prop);
  return 0;
}

int setSound(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
             std::size_t valueCount, PROPERTY* prop) {
  runRule(vcard::detail::setSound, card, params, paramCount, values, valueCount, prop);
  return 0;
}

int setEmail(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
             std::size_t valueCount, PROPERTY* prop) {
  runRule(vcard::detail::setEmail, card, params, paramCount, values, valueCount, prop);
  return 0;
}

int setAdr(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
           std::size_t valueCount, PROPERTY* prop) {
  runRule(vcard::detail::setAdr, card, params, paramCount, values, valueCount, prop);
  return 0;
}
