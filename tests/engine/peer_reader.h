// A small tolerant vCard reader of the peer-export tests' own, built on ICU
// alone, so that their check cannot share a mistake with the engine's own
// decoding and line handling: it reads source and converted files into cards
// of decoded properties. peer_compare.h compares their values.
#pragma once

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace peer {

// ---- Decoding --------------------------------------------------------------

// The bytes in the named charset as UTF-8; nullopt when ICU does not know the
// charset or, when strict, when the bytes are not valid in it.
inline std::optional<std::string> decode(std::string_view bytes, const char* charset, bool strict) {
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
inline std::string textOf(std::string_view bytes, const std::string& charset) {
  if (!charset.empty()) {
    if (auto text = decode(bytes, charset.c_str(), false)) return *text;
  }
  for (const char* guess : {"UTF-8", "Shift_JIS"}) {
    if (auto text = decode(bytes, guess, true)) return *text;
  }
  return decode(bytes, "windows-1252", false).value_or("");
}

inline std::string upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

// A file naming a Western charset for some value (and none for Japanese) is
// windows-1252 even where its bytes happen to pair up as Shift_JIS, which
// would turn "Lämmerweg" into "L舂merweg" on both sides and hide the fault.
inline bool declaresWestern(std::string_view bytes) {
  const std::string text = upper(std::string(bytes));
  return (text.find("CHARSET=WINDOWS-125") != std::string::npos ||
          text.find("CHARSET=ISO-8859-") != std::string::npos) &&
         text.find("SHIFT_JIS") == std::string::npos;
}

inline std::string fileText(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE")) {
    return decode(bytes.substr(2), "UTF-16LE", false).value_or("");
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (auto text = decode(bytes, "UTF-8", true)) return *text;
  if (declaresWestern(bytes)) return decode(bytes, "windows-1252", false).value_or("");
  return textOf(bytes, "");
}

inline int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Soft line breaks are joined before this; a '=' left dangling at the very
// end is one whose next line was not taken (it started a property).
inline std::string unquote(std::string_view value) {
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
inline std::string unbase64(std::string_view value) {
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

inline std::string trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return "";
  return std::string(s.substr(first, s.find_last_not_of(" \t") - first + 1));
}

inline bool isBlank(std::string_view line) {
  return trim(line).empty();
}

// "NAME:" or "NAME;" at the start: a new property, never the tail of a value.
inline bool startsProperty(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && (std::isalnum(static_cast<unsigned char>(line[i])) != 0 ||
                             line[i] == '-' || line[i] == '_' || line[i] == '.')) {
    ++i;
  }
  return i > 0 && std::isalpha(static_cast<unsigned char>(line[0])) != 0 && i < line.size() &&
         (line[i] == ':' || line[i] == ';');
}

// A 2.1 Base64 value may go on in unindented lines up to a blank line.
inline bool isBase64Line(std::string_view line) {
  const std::string t = trim(line);
  return !t.empty() && t.find_first_not_of(
                           "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                           "0123456789+/=") == std::string::npos;
}

// Splits at c outside double quotes (a TYPE="a:b;c" parameter holds both).
inline std::vector<std::string> splitUnquoted(std::string_view s, char c, std::size_t limit = 0) {
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

inline Head parseHead(const std::string& line) {
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

inline Prop decodeProp(const Head& head) {
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
inline std::vector<std::string> physicalLines(const std::string& text) {
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
inline std::vector<Card> readCards(const std::string& bytes, bool converted = false) {
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

}  // namespace peer
