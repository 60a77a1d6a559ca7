// Rewrite rules: turn one recognised property into the line or lines the
// target address book expects, and decode every value on the way.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "engine_p.h"
#include "platform.h"
#include "strutil.h"
#include "vcard.h"

namespace {

using vcard::detail::OwnedText;

constexpr const char* kEmailTypeWords[] = {"WORK", "HOME", "CELL", "PCS", "INTERNET"};
constexpr std::uint64_t kMaxItemNo = 99;

// Decoded bytes as UTF-8: Shift_JIS converted, UTF-8 taken as it is; every
// undecodable byte becomes U+FFFD so the rest of the value survives.
char* decodedToUTF8(const char* bytes, bool isUTF8) {
  const std::string_view view(bytes);
  if (isUTF8 && platform::isWellFormedUTF8(view)) return StrAlloc(bytes);
  const auto encoding = isUTF8 ? platform::Encoding::UTF8 : platform::Encoding::ShiftJIS;
  const std::string utf8 = platform::decodeLossyToUTF8(view.data(), view.size(), encoding);
  return StrAlloc(utf8.c_str());
}

// Appends the values joined with ";", each through StrConvert. Lines are
// built in a std::string so that a value list of any length stays linear.
bool appendValues(std::string* line, char** values, std::size_t valueCount, const PROPERTY* prop) {
  for (std::size_t i = 0; i < valueCount; ++i) {
    if (i > 0) line->push_back(';');
    const char* raw = values[i] != nullptr ? values[i] : "";
    if (prop->encodeType != 2) {
      // What StrConvert gives without quoted-printable, written in place.
      if (prop->isHalfToFull == 0) {
        line->append(raw);
      } else if (!AppendHalfToFull(raw, line)) {
        return false;
      }
      continue;
    }
    OwnedText value(StrConvert(raw, prop->charsetType, prop->encodeType, prop->isHalfToFull));
    if (!value) return false;
    line->append(value.get());
  }
  return true;
}

// Appends a finished line with its CR LF to the card; a line that could not
// be built completely is left out rather than written truncated.
void appendLine(VCARDDATA* card, std::string* line, bool complete) {
  if (!complete) return;
  line->append("\r\n");
  vcard::detail::appendToCard(card, *line);
}

// One grouped line and its label, for an address that is neither work nor
// home. From the hundredth such address of a card on, nothing is written.
void appendOtherItem(VCARDDATA* card, const char* name, char** values, std::size_t valueCount,
                     const PROPERTY* prop) {
  if (card->itemNo >= kMaxItemNo) return;
  ++card->itemNo;
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "item%" PRIu64 ".", card->itemNo);
  try {
    std::string line = std::string(prefix) + name + ":";
    const bool complete = appendValues(&line, values, valueCount, prop);
    line.append("\r\n").append(prefix).append("X-ABLabel:_$!<Other>!$_");
    appendLine(card, &line, complete);
  } catch (...) {
    // Out of memory: the line is left out.
  }
}

void appendTypedLine(VCARDDATA* card, const char* head, char** values, std::size_t valueCount,
                     const PROPERTY* prop) {
  try {
    std::string line(head);
    const bool complete = appendValues(&line, values, valueCount, prop);
    appendLine(card, &line, complete);
  } catch (...) {
    // Out of memory: the line is left out.
  }
}

}  // namespace

char* StrConvert(const char* value, std::uint64_t charsetType, std::uint64_t encodeType,
                 int isHalfToFull) {
  if (value == nullptr) return nullptr;
  try {
    const bool quotedPrintable = encodeType == 2;
    // Folding makes its own copy.
    if (!quotedPrintable && isHalfToFull != 0) return Half_to_Full(value);
    OwnedText text(quotedPrintable ? QprintDecode(value) : StrAlloc(value));
    if (!text) return nullptr;
    if (quotedPrintable) {
      // Only decoded bytes need a charset; everything else is UTF-8 since
      // loading. Bytes without a charset come from Shift_JIS phones.
      text.reset(decodedToUTF8(text.get(), charsetType == 2));
      if (!text) return nullptr;
      // A multi-line value stays one folded line in the output.
      text.reset(Replace(text.get(), "\r\n", "\r\n "));
      if (!text) return nullptr;
    }
    if (isHalfToFull != 0) text.reset(Half_to_Full(text.get()));
    return text.release();
  } catch (...) {
    return nullptr;
  }
}

int StrExistsEmailOnly(char** list, std::size_t count, const char* word) {
  if (word == nullptr || StrExists(list, count, word) == 0) return 0;
  for (const char* other : kEmailTypeWords) {
    if (std::strcmp(other, word) != 0 && StrExists(list, count, other) != 0) return 0;
  }
  return 1;
}

int setDirectly(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
                std::size_t valueCount, PROPERTY* prop) {
  if (card == nullptr || prop == nullptr) return 0;
  try {
    std::string line;
    for (std::size_t i = 0; i < paramCount; ++i) {
      const char* element = params[i];
      if (element == nullptr) continue;
      // Base64 data stays exactly as it came, parameters included, so the
      // encoded picture remains readable.
      if (prop->encodeType != 1 &&
          (CheckCharset_onearg(element) != 0 || CheckEncoding_onearg(element) != 0))
        continue;
      if (i > 0) line.push_back(';');
      line.append(element);
    }
    line.push_back(':');
    const bool complete = appendValues(&line, values, valueCount, prop);
    appendLine(card, &line, complete);
  } catch (...) {
    // Out of memory: the line is left out.
  }
  return 0;
}

int setTel(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
           std::size_t valueCount, PROPERTY* prop) {
  return setDirectly(card, params, paramCount, values, valueCount, prop);
}

int setVersion(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
               std::size_t valueCount, PROPERTY* prop) {
  if (card == nullptr || valueCount == 0) return 0;
  if (StrExists(values, valueCount, "2.1") == 0 && StrExists(values, valueCount, "3.0") == 0)
    card->isError = 1;
  return setDirectly(card, params, paramCount, values, valueCount, prop);
}

int setSound(VCARDDATA* card, char** /*params*/, std::size_t /*paramCount*/, char** values,
             std::size_t valueCount, PROPERTY* prop) {
  if (card == nullptr || prop == nullptr || valueCount == 0) return 0;
  appendTypedLine(card, "X-PHONETIC-LAST-NAME:", values, 1, prop);
  appendTypedLine(card, "X-PHONETIC-FIRST-NAME:", valueCount >= 2 ? values + 1 : nullptr,
                  valueCount >= 2 ? 1 : 0, prop);
  return 0;
}

int setEmail(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
             std::size_t valueCount, PROPERTY* prop) {
  if (card == nullptr || prop == nullptr || valueCount == 0) return 0;
  if (StrExists(params, paramCount, "WORK") != 0) {
    appendTypedLine(card, "EMAIL;TYPE=WORK:", values, valueCount, prop);
  } else if (StrExists(params, paramCount, "HOME") != 0 ||
             StrExistsEmailOnly(params, paramCount, "INTERNET") != 0 ||
             StrExistsEmailOnly(params, paramCount, "CELL") != 0 ||
             StrExistsEmailOnly(params, paramCount, "PCS") != 0) {
    appendTypedLine(card, "EMAIL;TYPE=HOME:", values, valueCount, prop);
  } else {
    appendOtherItem(card, "EMAIL", values, valueCount, prop);
  }
  return 0;
}

int setAdr(VCARDDATA* card, char** params, std::size_t paramCount, char** values,
           std::size_t valueCount, PROPERTY* prop) {
  if (card == nullptr || prop == nullptr || valueCount == 0) return 0;
  if (StrExists(params, paramCount, "WORK") != 0) {
    appendTypedLine(card, "ADR;TYPE=WORK:", values, valueCount, prop);
  } else if (StrExists(params, paramCount, "HOME") != 0) {
    appendTypedLine(card, "ADR;TYPE=HOME:", values, valueCount, prop);
  } else {
    appendOtherItem(card, "ADR", values, valueCount, prop);
  }
  return 0;
}
