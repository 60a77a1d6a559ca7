// Line analysis: cuts the internal text into physical lines, assembles
// logical property lines (folding and quoted-printable soft line breaks) and
// hands each to the recognition.
#include <cstdlib>
#include <cstring>

#include "engine_p.h"
#include "strutil.h"
#include "vcard.h"

namespace {

using vcard::detail::appendText;

void resetProperty(PROPERTY* prop) {
  std::free(prop->propText);
  *prop = PROPERTY{};
}

// Reads the charset and transfer-encoding codes from the property's first
// physical line, which holds its name and parameters.
void startProperty(const char* line, PROPERTY* prop) {
  char** names = nullptr;
  char** values = nullptr;
  std::uint64_t namesCount = 0;
  std::uint64_t valuesCount = 0;
  SplitFR(line, &names, &namesCount, &values, &valuesCount);
  prop->charsetType = static_cast<std::uint64_t>(CheckCharset(names, namesCount));
  prop->encodeType = static_cast<std::uint64_t>(CheckEncoding(names, namesCount));
  SplitFree(names, values);
  prop->lineStatus = PROP_OPEN;
}

}  // namespace

int vCard_CheckLine(const char* line, PROPERTY* prop) {
  if (prop == nullptr) return 0;
  if (line == nullptr) {
    prop->lineStatus = prop->propText != nullptr ? PROP_DONE : PROP_IDLE;
    return 0;
  }
  if (prop->propText == nullptr) startProperty(line, prop);
  if (prop->lineStatus != PROP_OPEN) return 0;

  if (prop->encodeType == 2) {
    const std::size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] == '=') {
      // Soft line break: the next physical line continues the value directly.
      char* head = StrAlloc(line);
      if (head != nullptr) {
        head[length - 1] = '\0';
        appendText(&prop->propText, head);
        std::free(head);
      }
    } else {
      appendText(&prop->propText, line);
      prop->lineStatus = PROP_DONE;
    }
    return 0;
  }

  if (prop->propText == nullptr) {
    prop->propText = StrAlloc(line);
  } else if (line[0] == ' ' || line[0] == '\t') {
    // A folded continuation stays folded in the output.
    appendText(&prop->propText, "\r\n");
    appendText(&prop->propText, line);
  } else {
    prop->lineStatus = PROP_DONE_REREAD;
  }
  return 0;
}

int vCard_AnalysData(const char* text, VCARDLIST* list, std::uint64_t* inCount,
                     std::uint64_t* outCount) {
  if (text == nullptr || list == nullptr || inCount == nullptr || outCount == nullptr) return -4;
  char* working = StrAlloc(text);
  if (working == nullptr) return -4;

  char* position = working;
  char* pending = nullptr;
  PROPERTY prop{};
  do {
    if (position != nullptr && pending == nullptr) {
      std::uint64_t count = 0;
      char* end = CrLf2NULL(position, &count);
      pending = StrAlloc(position);
      position = end != nullptr ? end + count : nullptr;
      if (pending == nullptr) break;  // out of memory: stop with what was reached
    }
    vCard_CheckLine(pending, &prop);
    switch (prop.lineStatus) {
      case PROP_DONE_REREAD:
        vCard_RecogData(prop.propText, dstFile, &prop, list);
        resetProperty(&prop);
        break;  // the pending line starts the next property
      case PROP_DONE:
        vCard_RecogData(prop.propText, dstFile, &prop, list);
        resetProperty(&prop);
        std::free(pending);
        pending = nullptr;
        break;
      case PROP_OPEN:
        std::free(pending);
        pending = nullptr;
        break;
      default:
        resetProperty(&prop);
        std::free(pending);
        pending = nullptr;
        break;
    }
  } while (position != nullptr || pending != nullptr || prop.lineStatus == PROP_OPEN);
  std::free(pending);
  resetProperty(&prop);

  std::uint64_t ended = 0;
  std::uint64_t written = 0;
  for (std::uint64_t i = 0; i < list->cardCount; ++i) {
    const VCARDDATA& card = list->cardArray[i];
    if (card.isEnd == 0) continue;
    ++ended;
    if (card.isError == 0) ++written;
  }
  *inCount = ended;
  *outCount = written;
  std::free(working);
  return 0;
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
