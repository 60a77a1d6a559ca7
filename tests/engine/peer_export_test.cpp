// vCard files exported by other programs and phones, converted one by one:
// every value a user keeps (name, numbers, mail and postal addresses,
// company, title, note, photo) of every 2.1 or 3.0 card has to arrive in the
// converted card. Source and output are read back by a small tolerant reader
// of this file's own, built on ICU alone, so that the check cannot share a
// mistake with the engine's own decoding and line handling.
//
// The files live beside the project (../shared/peer-data) and are not part of
// it; without them the check is skipped.
#include <gtest/gtest.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "param_names.h"
#include "test_support.h"
#include "vcard.h"

namespace {

using testsupport::PrintTo;

// ---- Decoding --------------------------------------------------------------

// The bytes in the named charset as UTF-8; nullopt when ICU does not know the
// charset or, when strict, when the bytes are not valid in it.
std::optional<std::string> decode(std::string_view bytes, const char* charset, bool strict) {
  UErrorCode status = U_ZERO_ERROR;
  icu::LocalUConverterPointer converter(ucnv_open(charset, &status));
  if (strict) {
    ucnv_setToUCallBack(converter.getAlias(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
  }
  if (U_FAILURE(status)) return std::nullopt;
  // None of the charsets met here yields more UTF-16 units than bytes.
  const auto capacity = static_cast<int32_t>(bytes.size()) + 1;
  icu::UnicodeString text;
  const int32_t length = ucnv_toUChars(converter.getAlias(), text.getBuffer(capacity), capacity,
                                       bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  text.releaseBuffer(U_SUCCESS(status) ? length : 0);
  if (U_FAILURE(status)) return std::nullopt;
  std::string utf8;
  return text.toUTF8String(utf8);
}

// The bytes of an encoded value in its CHARSET; without one (or one ICU does
// not know) they are taken as UTF-8 when valid, else Shift_JIS when valid,
// else windows-1252 -- the order in which such files turn up.
std::string textOf(std::string_view bytes, const std::string& charset) {
  if (!charset.empty()) {
    if (auto text = decode(bytes, charset.c_str(), false)) return *text;
  }
  for (const char* guess : {"UTF-8", "Shift_JIS"}) {
    if (auto text = decode(bytes, guess, true)) return *text;
  }
  return decode(bytes, "windows-1252", false).value_or("");
}

std::string upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

// A file naming a Western charset for some value (and none for Japanese) is
// windows-1252 even where its bytes happen to pair up as Shift_JIS, which
// would turn "Lämmerweg" into "L舂merweg" on both sides and hide the fault.
bool declaresWestern(std::string_view bytes) {
  const std::string text = upper(std::string(bytes));
  return (text.find("CHARSET=WINDOWS-125") != std::string::npos ||
          text.find("CHARSET=ISO-8859-") != std::string::npos) &&
         text.find("SHIFT_JIS") == std::string::npos;
}

std::string fileText(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE")) {
    return decode(bytes.substr(2), "UTF-16LE", false).value_or("");
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (auto text = decode(bytes, "UTF-8", true)) return *text;
  if (declaresWestern(bytes)) return decode(bytes, "windows-1252", false).value_or("");
  return textOf(bytes, "");
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Soft line breaks are joined before this; a '=' left dangling at the very
// end is one whose next line was not taken (it started a property).
std::string unquote(std::string_view value) {
  std::string bytes;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '=' && i + 2 < value.size() && hexDigit(value[i + 1]) >= 0 &&
        hexDigit(value[i + 2]) >= 0) {
      bytes += static_cast<char>(hexDigit(value[i + 1]) * 16 + hexDigit(value[i + 2]));
      i += 2;
    } else if (!(value[i] == '=' && i + 1 == value.size())) {
      bytes += value[i];
    }
  }
  return bytes;
}

// Tolerant: padding, blanks and stray characters are skipped, as a photo
// viewer would.
std::string unbase64(std::string_view value) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  unsigned bits = 0;
  int count = 0;
  for (char c : value) {
    const auto digit = kAlphabet.find(c);
    if (digit == std::string_view::npos) continue;
    bits = (bits << 6) | static_cast<unsigned>(digit);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return bytes;
}

// ---- Reading cards ---------------------------------------------------------

struct Prop {
  std::string name;  // upper case, group dropped
  std::string text;  // decoded but still escaped; the bytes of a Base64 photo
  bool binary = false;
};

struct Card {
  int line = 0;  // of its BEGIN line, for the report
  std::string version;
  std::vector<Prop> props;
};

std::string trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return "";
  return std::string(s.substr(first, s.find_last_not_of(" \t") - first + 1));
}

bool isBlank(std::string_view line) {
  return trim(line).empty();
}

// "NAME:" or "NAME;" at the start: a new property, never the tail of a value.
bool startsProperty(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && (std::isalnum(static_cast<unsigned char>(line[i])) != 0 ||
                             line[i] == '-' || line[i] == '_' || line[i] == '.')) {
    ++i;
  }
  return i > 0 && std::isalpha(static_cast<unsigned char>(line[0])) != 0 && i < line.size() &&
         (line[i] == ':' || line[i] == ';');
}

// A 2.1 Base64 value may go on in unindented lines up to a blank line.
bool isBase64Line(std::string_view line) {
  const std::string t = trim(line);
  return !t.empty() && t.find_first_not_of(
                           "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                           "0123456789+/=") == std::string::npos;
}

// Splits at c outside double quotes (a TYPE="a:b;c" parameter holds both).
std::vector<std::string> splitUnquoted(std::string_view s, char c, std::size_t limit = 0) {
  std::vector<std::string> parts(1);
  bool quoted = false;
  for (char ch : s) {
    if (ch == '"') quoted = !quoted;
    if (ch == c && !quoted && (limit == 0 || parts.size() < limit)) {
      parts.emplace_back();
    } else {
      parts.back() += ch;
    }
  }
  return parts;
}

struct Head {
  std::string name;
  std::string value;
  std::string charset;
  bool quotedPrintable = false;
  bool base64 = false;
};

Head parseHead(const std::string& line) {
  const auto halves = splitUnquoted(line, ':', 2);
  Head head;
  head.value = halves.size() > 1 ? halves[1] : "";
  const auto parts = splitUnquoted(halves[0], ';');
  head.name = upper(trim(parts[0]));
  if (const auto dot = head.name.rfind('.'); dot != std::string::npos) head.name.erase(0, dot + 1);
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::string param = upper(trim(parts[i]));
    const auto eq = param.find('=');
    const std::string key = eq == std::string::npos ? "" : param.substr(0, eq);
    const std::string value = eq == std::string::npos ? param : param.substr(eq + 1);
    if (key == "CHARSET") head.charset = value;
    if (key != "ENCODING" && !key.empty()) continue;
    if (value == "QUOTED-PRINTABLE") head.quotedPrintable = true;
    if (value == "BASE64" || value == "B") head.base64 = true;
  }
  return head;
}

Prop decodeProp(const Head& head) {
  Prop prop{head.name, head.value};
  if (head.base64 && head.name == "PHOTO") {
    prop.text = unbase64(head.value);
    prop.binary = true;
  } else if (head.base64) {
    prop.text = textOf(unbase64(head.value), head.charset);
  } else if (head.quotedPrintable) {
    prop.text = textOf(unquote(head.value), head.charset);
  }
  return prop;
}

// Lines end in LF, CR LF or a lone CR; one phone exporter writes CR CR LF,
// which is one line end too (its folded photo lines would part otherwise).
std::vector<std::string> physicalLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      const auto next = text.find_first_not_of('\r', i);
      if (text[i] == '\r' && next != std::string::npos && text[next] == '\n') i = next;
      lines.emplace_back();
    } else {
      lines.back() += text[i];
    }
  }
  return lines;
}

// Every card that reaches its END line, in the order the cards end (an inner
// card before the card around it). A converted file is read as the phone is
// to take it: its text values as they stand, since one still in Base64 or
// quoted-printable is not readable text there; only a photo is Base64.
std::vector<Card> readCards(const std::string& bytes, bool converted = false) {
  auto readHead = [converted](const std::string& line) {
    Head head = parseHead(line);
    if (converted) {
      head.quotedPrintable = false;
      head.base64 = head.base64 && head.name == "PHOTO";
    }
    return head;
  };
  const auto lines = physicalLines(fileText(bytes));
  std::vector<Card> open;
  std::vector<Card> ended;
  std::size_t i = 0;
  while (i < lines.size()) {
    const int lineNumber = static_cast<int>(i) + 1;
    std::string line = lines[i++];
    if (isBlank(line)) continue;
    // A fold is part of the value in 2.1; 3.0 (and a card whose VERSION is
    // not seen yet) drops the one blank that marks it.
    const bool keepFoldBlank = !open.empty() && open.back().version == "2.1";
    while (i < lines.size() && !lines[i].empty() && (lines[i][0] == ' ' || lines[i][0] == '\t')) {
      line += keepFoldBlank ? lines[i++] : lines[i++].substr(1);
    }
    Head head = readHead(line);
    if (head.quotedPrintable) {
      while (!line.empty() && line.back() == '=' && i < lines.size() && !startsProperty(lines[i])) {
        line.pop_back();
        line += lines[i++];
      }
    } else if (head.base64) {
      while (i < lines.size() && isBase64Line(lines[i]))
        line += lines[i++];
    }
    // A value ending in an escaping backslash runs on in the next line when
    // that line cannot be a property of its own.
    while (i < lines.size() && !isBlank(lines[i]) && lines[i].find(':') == std::string::npos) {
      const auto slashes = line.size() - line.find_last_not_of('\\') - 1;
      if (slashes % 2 == 0) break;
      line += 'n' + lines[i++];
    }
    if (line.find(':') == std::string::npos) continue;  // a stray or comment line
    head = readHead(line);
    const std::string word = upper(trim(head.value));
    if (head.name == "BEGIN" && word == "VCARD") {
      open.push_back(Card{lineNumber, "", {}});
    } else if (head.name == "END" && word == "VCARD") {
      if (open.empty()) continue;
      ended.push_back(std::move(open.back()));
      open.pop_back();
    } else if (!open.empty()) {
      Prop prop = decodeProp(head);
      if (prop.name == "VERSION") open.back().version = trim(prop.text);
      open.back().props.push_back(std::move(prop));
    }
  }
  return ended;
}

// ---- Values and their comparison -------------------------------------------

enum class Kind { Name, Tel, Email, Adr, Org, Title, Note, Photo };

const char* kindName(Kind kind) {
  static constexpr const char* kNames[] = {"name", "TEL",   "EMAIL", "ADR",
                                           "ORG",  "TITLE", "NOTE",  "PHOTO"};
  return kNames[static_cast<int>(kind)];
}

std::string unescape(std::string_view value) {
  std::string text;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char next = i + 1 < value.size() ? value[i + 1] : '\0';
    if (value[i] == '\\' && (next == 'n' || next == 'N')) {
      text += '\n';
      ++i;
    } else if (value[i] == '\\' && (next == ';' || next == ',' || next == '\\')) {
      text += next;
      ++i;
    } else {
      text += value[i];
    }
  }
  return text;
}

// The parts of N, ADR or ORG: cut at every ';' that no backslash escapes.
std::vector<std::string> components(std::string_view value) {
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      parts.back() += value.substr(i, 2);
      ++i;
    } else if (value[i] == ';') {
      parts.emplace_back();
    } else {
      parts.back() += value[i];
    }
  }
  for (auto& part : parts)
    part = unescape(part);
  return parts;
}

// NFKC makes half-width katakana and full-width digits equal to what a
// converter may turn them into. Blanks only separate words in names,
// companies and titles; in numbers, addresses and notes they are layout
// (folds, line breaks) and are dropped.
std::string normalise(const std::string& utf8, Kind kind) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(status);
  if (U_FAILURE(status)) return utf8;
  const icu::UnicodeString text = nfkc->normalize(icu::UnicodeString::fromUTF8(utf8), status);
  const bool keepBlanks = kind == Kind::Name || kind == Kind::Org || kind == Kind::Title;
  icu::UnicodeString result;
  bool blankPending = false;
  for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
    const UChar32 c = text.char32At(i);
    if (u_isUWhiteSpace(c)) {
      blankPending = keepBlanks && !result.isEmpty();
      continue;
    }
    if (blankPending) result.append(static_cast<UChar>(' '));
    blankPending = false;
    result.append(c);
  }
  std::string out;
  return result.toUTF8String(out);
}

struct Value {
  Kind kind;
  std::string key;    // what is compared
  std::string shown;  // what the report prints
};

std::string hex(std::string_view bytes) {
  std::string out;
  char pair[3];
  for (unsigned char c : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", c);
    out += pair;
  }
  return out;
}

// The values of a card. A source card names its holder by its first N, by
// its first FN only when that N is missing or empty; in a converted card
// every N and FN counts, since a lone FN may be carried over either way.
std::vector<Value> valuesOf(const Card& card, bool converted) {
  std::vector<Value> values;
  auto add = [&values](Kind kind, const std::string& text) {
    std::string key = normalise(text, kind);
    if (!key.empty()) values.push_back({kind, std::move(key), text});
  };
  bool nSeen = false;
  for (const Prop& prop : card.props) {
    if (prop.name == "N" && (converted || !nSeen)) {
      for (const auto& part : components(prop.text))
        add(Kind::Name, part);
      nSeen = true;
    }
  }
  bool fnSeen = !values.empty() && !converted;
  for (const Prop& prop : card.props) {
    const std::string& name = prop.name;
    if (name == "FN") {
      if (!fnSeen) add(Kind::Name, unescape(prop.text));
      fnSeen = !converted;
    } else if (name == "TEL" || name == "EMAIL" || name == "TITLE" || name == "NOTE") {
      const Kind kind = name == "TEL"     ? Kind::Tel
                        : name == "EMAIL" ? Kind::Email
                        : name == "TITLE" ? Kind::Title
                                          : Kind::Note;
      add(kind, unescape(prop.text));
    } else if (name == "ADR" || name == "ORG") {
      for (const auto& part : components(prop.text)) {
        add(name == "ADR" ? Kind::Adr : Kind::Org, part);
      }
    } else if (name == "PHOTO" && prop.binary) {
      if (!prop.text.empty()) {
        values.push_back({Kind::Photo, prop.text,
                          "<" + std::to_string(prop.text.size()) + "-byte photo " +
                              hex(prop.text.substr(0, 6)) + "...>"});
      }
    } else if (name == "PHOTO") {
      add(Kind::Photo, unescape(prop.text));
    }
  }
  return values;
}

// What a converted card holds, by kind.
class Holdings {
 public:
  explicit Holdings(const Card& card) {
    for (auto& value : valuesOf(card, true)) {
      joined_[value.kind] += value.key;
      keys_[value.kind].push_back(std::move(value.key));
    }
  }

  // Equal to one held value or, to forgive a converter that splits or joins
  // parts differently, found inside all held values of its kind run together.
  [[nodiscard]] bool holds(const Value& value) const {
    const auto keys = keys_.find(value.kind);
    if (keys == keys_.end()) return false;
    return std::find(keys->second.begin(), keys->second.end(), value.key) != keys->second.end() ||
           joined_.at(value.kind).find(value.key) != std::string::npos;
  }

 private:
  std::map<Kind, std::vector<std::string>> keys_;
  std::map<Kind, std::string> joined_;
};

// Only 2.1 and 3.0 cards are converted; others are left out on purpose.
bool counted(const Card& card) {
  return card.version == "2.1" || card.version == "3.0";
}

// One report line: a value cut to about 80 characters (at a UTF-8 character
// start) with its line breaks shown as \n.
std::string shortened(const std::string& text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (line.size() >= 80 && (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      return line + "...";
    }
    line += text[i] == '\n' ? std::string("\\n") : std::string(1, text[i]);
  }
  return line;
}

struct FileCheck {
  int checked = 0;
  int lost = 0;
  int cardsLost = 0;
  std::vector<std::string> report;  // one line per lost card or value
};

// Pairs every counted source card with the unused converted card holding the
// most of its values (cards are written in the order they end, so on a tie
// the earliest wins) and counts the values that did not arrive. A card none
// of whose values arrived takes an unused converted card in its place between
// its neighbours' (say, one whose only value, the name, was dropped); when
// there is none, the card is lost.
FileCheck checkFile(const std::string& label, const std::string& sourceBytes,
                    const std::string& outputBytes) {
  constexpr std::size_t kNone = std::string::npos;
  struct Entry {
    const Card* card;
    std::vector<Value> values;
    std::size_t pair = kNone;
  };
  const auto sources = readCards(sourceBytes);
  std::vector<Entry> entries;
  std::vector<int> beginLines;
  for (const Card& card : sources) {
    beginLines.push_back(card.line);
    auto values = valuesOf(card, false);
    if (counted(card) && !values.empty()) entries.push_back({&card, std::move(values)});
  }
  std::sort(beginLines.begin(), beginLines.end());
  std::vector<Holdings> converted;
  for (const Card& card : readCards(outputBytes, true))
    converted.emplace_back(card);
  std::vector<bool> used(converted.size(), false);

  for (Entry& entry : entries) {
    std::ptrdiff_t bestCount = 0;
    for (std::size_t j = 0; j < converted.size(); ++j) {
      const auto count = std::count_if(entry.values.begin(), entry.values.end(),
                                       [&](const Value& v) { return converted[j].holds(v); });
      if (!used[j] && count > bestCount) {
        entry.pair = j;
        bestCount = count;
      }
    }
    if (entry.pair != kNone) used[entry.pair] = true;
  }
  for (std::size_t k = 0; k < entries.size(); ++k) {
    if (entries[k].pair != kNone) continue;
    std::size_t from = 0;
    std::size_t to = converted.size();
    for (std::size_t p = k; p-- > 0;) {
      if (entries[p].pair != kNone) {
        from = entries[p].pair + 1;
        break;
      }
    }
    for (std::size_t n = k + 1; n < entries.size(); ++n) {
      if (entries[n].pair != kNone) {
        to = entries[n].pair;
        break;
      }
    }
    for (std::size_t j = from; j < to && entries[k].pair == kNone; ++j) {
      if (!used[j]) {
        entries[k].pair = j;
        used[j] = true;
      }
    }
  }

  FileCheck result;
  for (const Entry& entry : entries) {
    const auto index = std::lower_bound(beginLines.begin(), beginLines.end(), entry.card->line) -
                       beginLines.begin() + 1;
    const std::string where = label + " card " + std::to_string(index) + " (line " +
                              std::to_string(entry.card->line) + ")";
    if (entry.pair == kNone) {
      ++result.cardsLost;
      result.report.push_back("  card lost: " + where);
    }
    for (const Value& value : entry.values) {
      ++result.checked;
      if (entry.pair != kNone && converted[entry.pair].holds(value)) continue;
      ++result.lost;
      result.report.push_back("  lost: " + where + " " + kindName(value.kind) + " " +
                              shortened(value.shown));
    }
  }
  return result;
}

// ---- The reader and the comparison on hand-made input ----------------------

std::string crlf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string utf16le(const std::string& utf8) {
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
  std::string bytes = "\xFF\xFE";
  for (int32_t i = 0; i < text.length(); ++i) {
    bytes += static_cast<char>(text[i] & 0xFF);
    bytes += static_cast<char>(text[i] >> 8);
  }
  return bytes;
}

// "card <version>" for each counted card, then "<kind>:<value>" for each of
// its values.
std::vector<std::string> describe(const std::string& bytes) {
  std::vector<std::string> lines;
  for (const Card& card : readCards(bytes)) {
    if (!counted(card)) continue;
    lines.push_back("card " + card.version);
    for (const Value& value : valuesOf(card, false)) {
      lines.push_back(std::string(kindName(value.kind)) + ":" + value.shown);
    }
  }
  return lines;
}

struct ReaderCase {
  std::string_view name;
  std::string bytes;
  std::vector<std::string> expected;
};

const ReaderCase kReaderCases[] = {
    {"ShiftJisQuotedPrintableWithSoftBreak",
     crlf("BEGIN:VCARD\nVERSION:2.1\n"
          "N;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:=8E=52=93=63;=91=BE=\n=98=59\n"
          "END:VCARD\n"),
     {"card 2.1", "name:山田", "name:太郎"}},
    {"ShiftJisFileWithHalfWidthKana",
     crlf("BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=SHIFT_JIS:\x8E\x52\x93\x63;\xC0\xDB\xB3\n"
          "END:VCARD\n"),
     {"card 2.1", "name:山田", "name:ﾀﾛｳ"}},
    {"UnindentedBase64PhotoEndsAtBlankLine",
     crlf("BEGIN:VCARD\nVERSION:2.1\nN:Photo;Bare\nPHOTO;ENCODING=BASE64;TYPE=JPEG:\n"
          "/9j/4AAQ\nSkZJRg==\n\nTEL:123\nEND:VCARD\n"),
     {"card 2.1", "name:Photo", "name:Bare", "PHOTO:<10-byte photo ffd8ffe00010...>", "TEL:123"}},
    {"PhotosAsBase64FoldedAndAsUri",
     crlf("BEGIN:VCARD\nVERSION:3.0\nFN:P\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/\n 4AAQ\n"
          "PHOTO;VALUE=URI:http://example.com/p.jpg\nEND:VCARD\n"
          "BEGIN:VCARD\nVERSION:2.1\nFN:Q\nPHOTO;JPEG;B:\n SkZJRg==\nEND:VCARD\n"),
     {"card 3.0", "name:P", "PHOTO:<6-byte photo ffd8ffe00010...>",
      "PHOTO:http://example.com/p.jpg", "card 2.1", "name:Q", "PHOTO:<4-byte photo 4a464946...>"}},
    {"CrCrLfLineEndsKeepFoldsTogether",
     "BEGIN:VCARD\r\r\nVERSION:3.0\r\r\nFN:C\r\r\nPHOTO;ENCODING=b:/9j/\r\r\n 4AAQ\r\r\n"
     "END:VCARD\r\r\n",
     {"card 3.0", "name:C", "PHOTO:<6-byte photo ffd8ffe00010...>"}},
    {"GroupedEmailWithLowerCaseParams",
     crlf("BEGIN:VCARD\nVERSION:3.0\nFN:G\nitem1.EMAIL;type=INTERNET;type=pref:g@example.com\n"
          "item1.X-ABLabel:_$!<Other>!$_\nEND:VCARD\n"),
     {"card 3.0", "name:G", "EMAIL:g@example.com"}},
    {"NestedCardEndsFirst",
     "BEGIN:VCARD\nVERSION:2.1\nN:Outer\nBEGIN:VCARD\nVERSION:2.1\nN:Inner\nEND:VCARD\n"
     "TEL:1\nEND:VCARD\n",
     {"card 2.1", "name:Inner", "card 2.1", "name:Outer", "TEL:1"}},
    {"Utf16FileAndThreeZeroFoldDropsOneBlank",
     utf16le(crlf("BEGIN:VCARD\nVERSION:3.0\nFN:Jürgen\nTITLE:Chief Exec\n  utive\n"
                  "END:VCARD\n")),
     {"card 3.0", "name:Jürgen", "TITLE:Chief Exec utive"}},
    {"TwoOneFoldKeepsItsBlank",
     crlf("BEGIN:VCARD\nVERSION:2.1\nFN:F\nTITLE:Chief\n Executive\nEND:VCARD\n"),
     {"card 2.1", "name:F", "TITLE:Chief Executive"}},
    {"EscapesAndStructuredValues",
     crlf("BEGIN:VCARD\nVERSION:3.0\nN:Doe\\;Jr;John;;;\nADR:;;1 Main St\\, Apt 2;Town;;;\n"
          "NOTE:one\\ntwo \\\\ three\nEND:VCARD\n"),
     {"card 3.0", "name:Doe;Jr", "name:John", "ADR:1 Main St, Apt 2", "ADR:Town",
      "NOTE:one\ntwo \\ three"}},
    {"Base64TextValuesAndVersion",
     crlf("BEGIN:vcard\nVERSION;ENCODING=BASE64:Mi4x\n\nFN:B\n"
          "ORG;ENCODING=BASE64;CHARSET=SHIFT_JIS:jo6MsQ==\n\nEND:vcard\n"),
     {"card 2.1", "name:B", "ORG:試験"}},
    {"BareQuotedPrintableDefaultsToUtf8",
     crlf("BEGIN:VCARD\nVERSION:2.1\nFN:Q\nTITLE;QUOTED-PRINTABLE:M=C3=BCller\n"
          "NOTE;ENCODING=QUOTED-PRINTABLE:dangling=\nTEL:2\nEND:VCARD\n"),
     {"card 2.1", "name:Q", "TITLE:Müller", "NOTE:dangling", "TEL:2"}},
    {"WindowsAnsiFile",
     crlf("BEGIN:VCARD\nVERSION:2.1\nN:M\xFCller;J\xFCrgen\nEND:VCARD\n"),
     {"card 2.1", "name:Müller", "name:Jürgen"}},
    {"DeclaredWesternFileThatPairsAsShiftJis",
     crlf("BEGIN:VCARD\nVERSION:2.1\nN:L\xE4mmer\n"
          "LABEL;CHARSET=Windows-1252;ENCODING=QUOTED-PRINTABLE:L=E4mmer\nEND:VCARD\n"),
     {"card 2.1", "name:Lämmer"}},
    {"BackslashContinuedAddressAndCommentLine",
     crlf("BEGIN:VCARD\nVERSION:2.1\nFN:A\nADR;HOME:;;Street 1\\\nBox 9;City;;;\n"
          "# a comment\nEND:VCARD\n"),
     {"card 2.1", "name:A", "ADR:Street 1\nBox 9", "ADR:City"}},
    {"QuotedParameterHoldsColonAndSemicolon",
     crlf("BEGIN:VCARD\nVERSION:3.0\nFN:P\nTEL;TYPE=\"a:b;c\",PREF:555\nEND:VCARD\n"),
     {"card 3.0", "name:P", "TEL:555"}},
    {"OnlyTheFirstNOrFnNamesTheHolder",
     crlf("BEGIN:VCARD\nVERSION:3.0\nN:;;;;\nFN:Only Fn\nFN:Second Fn\nEND:VCARD\n"
          "BEGIN:VCARD\nVERSION:3.0\nN:Full;N\nFN:Not Counted\nN:Second;N\nEND:VCARD\n"),
     {"card 3.0", "name:Only Fn", "card 3.0", "name:Full", "name:N"}},
    {"OtherVersionsAndUnendedCardsNotCounted",
     crlf("BEGIN:VCARD\nVERSION:4.0\nFN:Four\nEND:VCARD\nBEGIN:VCARD\nFN:None\nEND:VCARD\n"
          "BEGIN:VCARD\nVERSION:3.0\nFN:Open\n"),
     {}},
};

// Names the case rather than dumping its bytes into the test listing.
void PrintTo(const ReaderCase& c, std::ostream* os) {
  *os << c.name;
}

class PeerReaderTest : public testing::TestWithParam<ReaderCase> {};

TEST_P(PeerReaderTest, ReadsValues) {
  EXPECT_EQ(describe(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(PeerReader, PeerReaderTest, testing::ValuesIn(kReaderCases),
                         [](const testing::TestParamInfo<ReaderCase>& param) {
                           return std::string(param.param.name);
                         });

struct CompareCase {
  Kind kind;
  std::string source;
  std::string converted;  // one value of the converted card
  bool arrives;
};

TEST(PeerCompareTest, ArrivesAfterNormalising) {
  const CompareCase cases[] = {
      {Kind::Name, "ﾔﾏﾀﾞ", "ヤマダ", true},
      {Kind::Name, "Ando Roid", "AndoRoid", false},
      {Kind::Name, "Ando  Roid ", "Ando Roid", true},
      {Kind::Tel, "０９０ 1234", "090-1234", false},
      {Kind::Tel, "０９０ 1234", "0901234", true},
      {Kind::Email, "a@example.jp", "b@example.jp", false},
      {Kind::Adr, "1 Main St\nApt 2", "1 Main St Apt 2", true},
      {Kind::Note, "line one\r\nline two", "line oneline two", true},
      {Kind::Org, "Acme", "Acme Corp", true},
      {Kind::Title, "Manager", "Mgr", false},
  };
  for (const auto& c : cases) {
    static constexpr const char* kProp[] = {"FN",  "TEL",   "EMAIL", "ADR",
                                            "ORG", "TITLE", "NOTE",  "PHOTO"};
    const Holdings holdings(Card{1, "3.0", {Prop{kProp[static_cast<int>(c.kind)], c.converted}}});
    EXPECT_EQ(holdings.holds(Value{c.kind, normalise(c.source, c.kind), c.source}), c.arrives)
        << kindName(c.kind) << " " << c.source << " vs " << c.converted;
  }
}

TEST(PeerCompareTest, PairsCardsAndCountsLosses) {
  const std::string source = crlf(
      "BEGIN:VCARD\nVERSION:2.1\nN:Same;Name\nTEL:1\nEND:VCARD\n"
      "BEGIN:VCARD\nVERSION:2.1\nN:Same;Name\nTEL:2\nEMAIL:s@example.com\nEND:VCARD\n"
      "BEGIN:VCARD\nVERSION:4.0\nN:Left;Out\nEND:VCARD\n"
      "BEGIN:VCARD\nVERSION:3.0\nFN:Nameless\nEND:VCARD\n"
      "BEGIN:VCARD\nVERSION:3.0\nN:Gone\nTEL:3\nEND:VCARD\n");
  // The second card lost its mail address; the third is not counted; the
  // fourth arrived without its only value; the fifth did not arrive at all.
  const std::string output =
      utf16le(crlf("BEGIN:VCARD\nVERSION:2.1\nN:Same;Name;;;\nTEL:1\nEND:VCARD\n"
                   "BEGIN:VCARD\nVERSION:2.1\nN:Same;Name;;;\nTEL:2\nEND:VCARD\n"
                   "BEGIN:VCARD\nVERSION:3.0\nEND:VCARD\n"));
  const FileCheck check = checkFile("f.vcf", source, output);
  EXPECT_EQ(check.checked, 10);
  EXPECT_EQ(check.lost, 4);
  EXPECT_EQ(check.cardsLost, 1);
  EXPECT_EQ(check.report, (std::vector<std::string>{
                              "  lost: f.vcf card 2 (line 6) EMAIL s@example.com",
                              "  lost: f.vcf card 4 (line 16) name Nameless",
                              "  card lost: f.vcf card 5 (line 20)",
                              "  lost: f.vcf card 5 (line 20) name Gone",
                              "  lost: f.vcf card 5 (line 20) TEL 3",
                          }));
}

TEST(PeerCompareTest, ConvertedTextCountsOnlyAsPlainText) {
  const std::string card = crlf(
      "BEGIN:VCARD\nVERSION:2.1\nFN:E\nTITLE;ENCODING=QUOTED-PRINTABLE:M=C3=BCller\n"
      "NOTE;ENCODING=BASE64:bm90ZQ==\n\nPHOTO;ENCODING=BASE64:/9j/4AAQ\n\nEND:VCARD\n");
  // Carried over still encoded: the name and the photo arrive, the title and
  // the note would show as code.
  const FileCheck check = checkFile("e.vcf", card, utf16le(card));
  EXPECT_EQ(check.checked, 4);
  EXPECT_EQ(check.lost, 2);
  EXPECT_EQ(check.cardsLost, 0);
}

// ---- The peer files --------------------------------------------------------

// A conversion shows no alert or one of these.
const std::string_view kKnownAlerts[] = {
    "",
    testsupport::kCannotReadAlert,
    testsupport::kUnsupportedEncodingAlert,
    testsupport::kCannotWriteAlert,
    testsupport::kSameFileAlert,
};

std::vector<std::filesystem::path> peerFiles(const std::filesystem::path& root) {
  std::vector<std::filesystem::path> files;
  for (const char* folder : {"realworld", "android-vcard"}) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(root / folder, error)) {
      if (entry.path().extension() == ".vcf") files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Runs one conversion in a child process: a crash then names its file and
// does not take the other files' results with it.
bool convertsWithoutCrash(const std::string& source, const std::string& output) {
  std::cout.flush();
  const pid_t child = ::fork();
  if (child == 0) {
    (void)vCardConvert(source.c_str(), output.c_str());
    std::_Exit(0);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

TEST(PeerExportTest, EveryKeptValueArrives) {
  const std::filesystem::path root = PEER_DATA_DIR;
  const auto files = peerFiles(root);
  if (files.empty()) GTEST_SKIP() << "no peer vCard files under " << root.string();

  FileCheck total;
  for (const auto& path : files) {
    const std::string label =
        path.parent_path().filename().string() + "/" + path.filename().string();
    testsupport::TempDir dir;
    const std::string source = dir.file("source.vcf");
    const std::string output = dir.file("PC→iPhone.vcf");
    const std::string sourceBytes = testsupport::readBytes(path.string());
    testsupport::writeBytes(source, sourceBytes);

    const bool survived = convertsWithoutCrash(source, output);
    EXPECT_TRUE(survived) << label << ": the conversion crashed";
    std::array<std::string, 2> result;
    if (survived) result = vCardConvert(source.c_str(), output.c_str());
    EXPECT_NE(std::find(std::begin(kKnownAlerts), std::end(kKnownAlerts), result[0]),
              std::end(kKnownAlerts))
        << label << ": unknown alert \"" << result[0] << "\"";

    const std::string outputBytes =
        survived && testsupport::exists(output) ? testsupport::readBytes(output) : "";
    const FileCheck check = checkFile(label, sourceBytes, outputBytes);
    std::cout << label << ": values checked " << check.checked << ", lost " << check.lost
              << ", cards lost " << check.cardsLost << "; alert \"" << oneLine(result[0])
              << "\"; log \"" << oneLine(result[1]) << "\"\n";
    for (const auto& line : check.report)
      std::cout << line << "\n";
    total.checked += check.checked;
    total.lost += check.lost;
    total.cardsLost += check.cardsLost;
  }
  std::cout << "values checked: " << total.checked << ", values lost: " << total.lost
            << ", cards lost: " << total.cardsLost << std::endl;
  RecordProperty("values_checked", total.checked);
  RecordProperty("values_lost", total.lost);
  RecordProperty("cards_lost", total.cardsLost);
  EXPECT_EQ(total.lost, 0);
  EXPECT_EQ(total.cardsLost, 0);
}

}  // namespace
