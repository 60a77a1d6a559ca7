// The peer-export tests' comparison: the values a user keeps, normalised so
// that a faithful conversion compares equal, and the count of what a
// conversion lost, card by card.
#pragma once

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "peer_reader.h"

namespace peer {

// The peer exports' vCard files, in name order; none when the folder is
// absent.
inline std::vector<std::filesystem::path> peerFiles(const std::filesystem::path& root) {
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

// ---- Values and their comparison -------------------------------------------

enum class Kind { Name, Tel, Email, Adr, Org, Title, Note, Photo, Related, Date, Chat };

inline const char* kindName(Kind kind) {
  static constexpr const char* kNames[] = {"name",         "TEL",   "EMAIL",      "ADR",
                                           "ORG",          "TITLE", "NOTE",       "PHOTO",
                                           "related name", "date",  "chat handle"};
  return kNames[static_cast<int>(kind)];
}

// The names programs give a related person's name, a date of the person's
// and a chat handle.
inline bool isOneOf(const std::string& name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

inline bool isRelatedName(const std::string& name) {
  return isOneOf(name, {"X-ABRELATEDNAMES", "RELATED", "X-EVOLUTION-SPOUSE", "X-EVOLUTION-MANAGER",
                        "X-EVOLUTION-ASSISTANT", "X-MS-SPOUSE", "X-MS-MANAGER", "X-MS-ASSISTANT",
                        "X-KADDRESSBOOK-X-SPOUSESNAME", "X-KADDRESSBOOK-X-MANAGERSNAME",
                        "X-KADDRESSBOOK-X-ASSISTANTSNAME"});
}

inline bool isDate(const std::string& name) {
  return isOneOf(name, {"X-ABDATE", "ANNIVERSARY", "X-ANNIVERSARY", "X-EVOLUTION-ANNIVERSARY",
                        "X-MS-ANNIVERSARY", "X-KADDRESSBOOK-X-ANNIVERSARY"});
}

inline bool isChat(const std::string& name) {
  return isOneOf(name, {"IMPP", "X-AIM", "X-ICQ", "X-JABBER", "X-MSN", "X-YAHOO", "X-SKYPE",
                        "X-SKYPE-USERNAME", "X-GADUGADU", "X-QQ", "X-GOOGLE-TALK"});
}

// The digits of a date without its time: 20110113 of 2011-01-13 and of
// 20110113T000000Z.
inline std::string dateDigits(std::string_view value) {
  std::string digits;
  for (const char c : value.substr(0, value.find_first_of("Tt"))) {
    if (c >= '0' && c <= '9') digits += c;
  }
  return digits;
}

// A chat handle without the scheme a URI puts before it ("aim:" of
// "aim:johnny"); a colon after a blank is part of the handle.
inline std::string handleOf(std::string_view value) {
  const auto colon = value.find(':');
  if (colon != std::string_view::npos && colon > 0 &&
      value.substr(0, colon).find_first_of(" \t") == std::string_view::npos)
    value.remove_prefix(colon + 1);
  return std::string(value);
}

inline std::string unescape(std::string_view value) {
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
inline std::vector<std::string> components(std::string_view value) {
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
inline std::string normalise(const std::string& utf8, Kind kind) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(status);
  if (U_FAILURE(status)) return utf8;
  const icu::UnicodeString text = nfkc->normalize(icu::UnicodeString::fromUTF8(utf8), status);
  const bool keepBlanks =
      kind == Kind::Name || kind == Kind::Org || kind == Kind::Title || kind == Kind::Related;
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

inline std::string hex(std::string_view bytes) {
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
inline std::vector<Value> valuesOf(const Card& card, bool converted) {
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
    } else if (isRelatedName(name)) {
      add(Kind::Related, unescape(prop.text));
    } else if (isDate(name)) {
      add(Kind::Date, dateDigits(prop.text));
    } else if (isChat(name)) {
      add(Kind::Chat, handleOf(unescape(prop.text)));
    } else if (name == "PHOTO" && prop.binary) {
      if (!prop.text.empty()) {
        // Appended piece by piece: GCC 12 at -O3 sees a false overlap in
        // "<" + std::to_string(...) once this is inlined into a second caller.
        std::string shown = "<";
        shown.append(std::to_string(prop.text.size()))
            .append("-byte photo ")
            .append(hex(prop.text.substr(0, 6)))
            .append("...>");
        values.push_back({Kind::Photo, prop.text, std::move(shown)});
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
inline bool counted(const Card& card) {
  return card.version == "2.1" || card.version == "3.0";
}

// One report line: a value cut to about 80 characters (at a UTF-8 character
// start) with its line breaks shown as \n.
inline std::string shortened(const std::string& text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (line.size() >= 80 && !U8_IS_TRAIL(text[i])) {
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
inline FileCheck checkFile(const std::string& label, const std::string& sourceBytes,
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

}  // namespace peer
