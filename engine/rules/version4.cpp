// vCard 4.0 cards, written as 3.0: a property of a 4.0 card has its
// parameters and value put the way the 3.0 rules take them (type lists, PREF,
// URI values), and what 4.0 alone says (data URIs, dates without a year,
// ALTID sets, SORT-AS, KIND) becomes what the targets keep. Text is UTF-8 and
// escaped and folded as in 3.0, so values otherwise pass unchanged.
#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ascii_letters.h"
#include "dates.h"
#include "read/source_japanese.h"
#include "rules.h"
#include "strutil.h"

namespace vcard::detail {
namespace {

// Parameters that say nothing the targets keep, left out once read.
constexpr std::string_view kUnwrittenParameters[] = {"LABEL",   "PID",      "ALTID", "CALSCALE",
                                                     "SORT-AS", "LANGUAGE", "VALUE", "MEDIATYPE",
                                                     "GEO",     "TZ",       "INDEX", "LEVEL"};

bool startsWithWord(std::string_view text, std::string_view upperWord) {
  return text.size() >= upperWord.size() &&
         platform::asciiUpperEquals(text.substr(0, upperWord.size()), upperWord);
}

// A 4.0 line's parameters, read and rewritten for the 3.0 rules.
struct Parameters {
  std::vector<std::string> written;  // [0] the name, then what 3.0 writes
  std::string altId;
  std::string language;
  std::string sortAs;
  std::string valueType;  // upper-cased
  bool preferred = false;
};

Parameters readParameters(const RuleInput& input) {
  Parameters read;
  read.written.emplace_back(input.params[0] != nullptr ? input.params[0] : "");
  // A quoted value's ";" parted nothing: the line was split outside quotes.
  for (std::size_t i = 1; i < input.paramCount; ++i) {
    const std::string text = unfolded(input.params[i] != nullptr ? input.params[i] : "");
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
      if (!strutil::unquoted(text).empty()) read.written.push_back(text);
      continue;
    }
    const std::string key = strutil::parameterKey(text);
    const std::string_view value = strutil::unquoted(std::string_view(text).substr(equals + 1));
    if (key == "TYPE") {
      // TYPE=work,voice and TYPE="work,voice" are the list that 3.0 writes
      // as one TYPE for each.
      std::size_t start = 0;
      while (start <= value.size()) {
        std::size_t comma = value.find(',', start);
        if (comma == std::string_view::npos) comma = value.size();
        const std::string_view word = strutil::unquoted(value.substr(start, comma - start));
        if (platform::asciiUpperEquals(word, "PREF")) {
          read.preferred = true;
        } else if (!word.empty()) {
          read.written.push_back("TYPE=" + std::string(word));
        }
        start = comma + 1;
      }
    } else if (key == "PREF") {
      read.preferred = true;
    } else if (key == "ALTID") {
      read.altId = platform::upperASCII(value);
    } else if (key == "LANGUAGE") {
      read.language = platform::upperASCII(value);
    } else if (key == "SORT-AS") {
      read.sortAs = value;
    } else if (key == "VALUE") {
      read.valueType = platform::upperASCII(value);
    } else if (std::find(std::begin(kUnwrittenParameters), std::end(kUnwrittenParameters), key) ==
               std::end(kUnwrittenParameters)) {
      read.written.push_back(text);
    }
  }
  if (read.preferred) read.written.emplace_back("TYPE=PREF");
  return read;
}

// The tokens of a rewritten line as the rules take them.
struct RewrittenLine {
  std::vector<std::string> params;
  std::vector<char*> paramPointers;
  std::vector<std::string> values;
  std::vector<char*> valuePointers;

  RuleInput input(const RuleInput& from, bool newValues) {
    for (std::string& param : params)
      paramPointers.push_back(param.data());
    if (!newValues)
      return {paramPointers.data(), paramPointers.size(), from.values, from.valueCount, from.prop,
              std::nullopt,         from.judgedDate};
    for (std::string& value : values)
      valuePointers.push_back(value.data());
    return {paramPointers.data(), paramPointers.size(), valuePointers.data(), valuePointers.size(),
            from.prop};
  }
};

std::string joinedValues(const RuleInput& input) {
  std::string joined;
  for (std::size_t i = 0; i < input.valueCount; ++i) {
    if (i > 0) joined.push_back(';');
    if (input.values[i] != nullptr) joined.append(input.values[i]);
  }
  return joined;
}

// A tel: URI as the number a phone dials: the scheme and the URI's
// parameters go, an extension follows a pause (",").
std::string numberOfTelURI(std::string_view uri) {
  uri.remove_prefix(4);  // "tel:"
  const std::size_t semicolon = uri.find(';');
  std::string number(uri.substr(0, semicolon));
  if (semicolon == std::string_view::npos) return number;
  const std::string parameters = platform::upperASCII(uri.substr(semicolon));
  const std::size_t ext = parameters.find(";EXT=");
  if (ext != std::string::npos) {
    const std::string_view rest = uri.substr(semicolon + ext + 5);
    number.append(",").append(rest.substr(0, rest.find(';')));
  }
  return number;
}

// The image type a data URI's media type names ("JPEG" of image/jpeg).
std::string photoType(std::string_view mediaType) {
  const std::size_t slash = mediaType.find('/');
  std::string type = platform::upperASCII(
      slash == std::string_view::npos ? mediaType : mediaType.substr(slash + 1));
  if (type == "JPG" || type == "PJPEG") type = "JPEG";
  return type;
}

// Text with its value escapes undone: "\," "\;" and "\\" are the
// character itself.
std::string withoutEscapes(std::string_view text) {
  std::string plain;
  plain.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() &&
        (text[i + 1] == ',' || text[i + 1] == ';' || text[i + 1] == '\\'))
      ++i;
    plain.push_back(text[i]);
  }
  return plain;
}

// PHOTO of a data URI as the Base64 photo the targets write; false when the
// value is no Base64 data URI. Some servers escape the URI's "," and ";" as
// a text value's ("data:image/png;base64\,iVBOR..."): the URI is read with
// the escapes undone.
bool appendDataPhoto(OpenCard& card, std::string_view name, std::string_view raw) {
  const std::string head = withoutEscapes(unfolded(raw.substr(0, raw.find(',') + 1)));
  if (!startsWithWord(head, "DATA:") || head.back() != ',') return false;
  const std::string_view header = std::string_view(head).substr(5, head.size() - 6);
  const std::size_t semicolon = header.find(';');
  if (semicolon == std::string_view::npos ||
      !platform::asciiUpperEquals(header.substr(semicolon + 1), "BASE64"))
    return false;
  const std::string type = photoType(header.substr(0, semicolon));
  Card& model = card.card;
  model.beginProperty(name);
  model.addParameter("ENCODING=b");
  if (!type.empty()) model.addParameter("TYPE=" + type);
  model.beginValue();
  // The data keeps the folds it came with, as a 3.0 photo's does.
  model.valueText().append(raw.substr(raw.find(',') + 1));
  model.endProperty();
  return true;
}

// A property written here with one plain value.
void appendPlain(OpenCard& card, std::string_view name, std::string_view parameter,
                 std::string_view value) {
  card.card.addProperty({}, name, parameter, value);
}

// The parts of a SORT-AS value: RFC 6350 parts them with ",", some phones
// with ";" (a quoted value keeps it).
std::vector<std::string> sortParts(std::string_view value) {
  std::vector<std::string> parts(1);
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      parts.back().push_back(value[++i]);
    } else if (value[i] == ',' || value[i] == ';') {
      parts.emplace_back();
    } else {
      parts.back().push_back(value[i]);
    }
  }
  for (std::string& part : parts)
    part = std::string(strutil::unquoted(part));
  return parts;
}

}  // namespace

namespace {

// What a KIND value says of the card: a contact group (never written), an
// organisation (shown by its company), or anything else.
enum class Kind { Group, Organization, Other };

Kind kindOf(std::string_view value) {
  const std::string kind = platform::upperASCII(strutil::unquoted(unfolded(value)));
  if (kind == "GROUP") return Kind::Group;
  if (kind == "ORG") return Kind::Organization;
  return Kind::Other;
}

}  // namespace

bool onlyVersion4(Rule rule) {
  return rule == setKind;
}

void setKind(const ValueContext& /*context*/, OpenCard& card, const RuleInput& input) {
  if (input.valueCount == 0 || input.values[0] == nullptr) return;
  const Kind kind = kindOf(input.values[0]);
  if (kind == Kind::Group) card.rejected = true;
  if (kind == Kind::Organization) card.version4Extras.organization = true;
}

namespace {

// KIND: a contact group is left out and told, an organisation is kept as
// one, any other kind is dropped.
void applyKind(const ValueContext& context, ReportNotes& notes, OpenCard& card, Rule rule,
               const RuleInput& input, const std::string& raw) {
  const bool rejectedBefore = card.rejected;
  if (kindOf(raw) == Kind::Other) {
    notes.dropped(card, "KIND");
    return;
  }
  rule(context, card, input);
  if (!rejectedBefore && card.rejected)
    notes.rejected(card, SkipReason::ContactGroup, "KIND:" + unfolded(raw));
}

// Of an ALTID set, the Japanese one is written, else the first: false when
// an alternative already taken stays; true when this one is to be taken,
// after dropping what a taken one wrote.
bool takesAlternative(OpenCard& card, const std::string& key, bool japanese) {
  for (Version4Extras::Alternative& kept : card.version4Extras.alternatives) {
    if (kept.key != key) continue;
    if (kept.japanese || !japanese) return false;
    for (std::size_t i = kept.begin; i < kept.end && i < card.card.properties().size(); ++i)
      card.card.properties()[i].dropped = true;
    kept.key.clear();  // replaced by this one, recorded after it
    break;
  }
  return true;
}

// The line with its parameters as 3.0 writes them: a data: photo, a date,
// a tel: URI's number, or the value as the property's rule takes it. False
// for a photo given by address, which is only counted: it takes no place
// among its alternatives.
bool applyRewritten(const ValueContext& context, ReportNotes& notes, OpenCard& card, Rule rule,
                    const RuleInput& input, const std::string& name, const std::string& raw,
                    Parameters& read) {
  Version4Extras& extras = card.version4Extras;
  RewrittenLine line;
  line.params = std::move(read.written);
  if (name == "PHOTO" && input.prop.encodeType != kEncodingBase64) {
    const std::string value = unfolded(raw);
    if (startsWithWord(value, "HTTP://") || startsWithWord(value, "HTTPS://")) {
      // A picture on the web cannot be fetched here.
      ++extras.photosByAddress;
      return false;
    }
    if (!appendDataPhoto(card, line.params[0], raw)) notes.dropped(card, "PHOTO");
    return true;
  }
  if (name == "BDAY") {
    const std::string value = unfolded(raw);
    const std::optional<TargetDate> date =
        read.valueType == "TEXT" ? std::nullopt : targetDate(value);
    if (date) {
      appendPlain(card, line.params[0], date->omitsYear ? kOmitYearParameter : "", date->value);
    } else if (extras.birthdayText.empty()) {
      // Text a person wrote ("circa 1800") is kept in the note.
      extras.birthdayText = value;
    }
    return true;
  }
  bool newValues = false;
  if (name == "TEL") {
    const std::string value = unfolded(raw);
    if (startsWithWord(value, "TEL:")) {
      line.values.push_back(numberOfTelURI(value));
      newValues = true;
    }
  }
  rule(context, card, line.input(input, newValues));
  return true;
}

}  // namespace

void applyVersion4(const ValueContext& context, ReportNotes& notes, OpenCard& card, Rule rule,
                   const RuleInput& input) {
  if (input.paramCount == 0 || rule == setVersion) {
    rule(context, card, input);
    return;
  }
  Version4Extras& extras = card.version4Extras;
  Parameters read = readParameters(input);
  const std::string name = platform::upperASCII(read.written[0]);
  const std::string raw = joinedValues(input);
  if (name == "KIND") {
    applyKind(context, notes, card, rule, input, raw);
    return;
  }

  const bool japanese = read.language.starts_with("JA") || holdsJapaneseCharacter(raw);
  std::string alternativeKey;
  if (!read.altId.empty()) {
    alternativeKey = name + ";" + read.altId;
    if (!takesAlternative(card, alternativeKey, japanese)) return;
  }
  const std::size_t before = card.card.properties().size();

  if (name == "N" && !read.sortAs.empty() && extras.sortAs.empty()) extras.sortAs = read.sortAs;
  if (name == "ORG" && !read.sortAs.empty() && extras.orgSortAs.empty())
    extras.orgSortAs = read.sortAs;
  if (name == "X-PHONETIC-ORG") extras.hasOrgReading = true;
  if (name == "X-PHONETIC-LAST-NAME" || name == "X-PHONETIC-FIRST-NAME" || name == "SOUND" ||
      name == "SORT-STRING")
    extras.hasReading = true;
  if (applyRewritten(context, notes, card, rule, input, name, raw, read) && !alternativeKey.empty())
    extras.alternatives.push_back(
        {alternativeKey, before, card.card.properties().size(), japanese});
}

void settleVersion4(const ValueContext& /*context*/, OpenCard& card) {
  if (!card.version4()) return;
  Version4Extras& extras = card.version4Extras;
  Card& model = card.card;
  if (!extras.sortAs.empty() && !extras.hasReading) {
    // The name's sort order is its reading: family, then given name.
    const std::vector<std::string> parts = sortParts(extras.sortAs);
    constexpr std::string_view kReadings[] = {"X-PHONETIC-LAST-NAME", "X-PHONETIC-FIRST-NAME"};
    for (std::size_t i = 0; i < 2 && i < parts.size(); ++i) {
      if (parts[i].empty()) continue;
      std::string reading;
      if (!AppendHalfToFullOfValid(parts[i], &reading)) continue;
      model.addProperty({}, kReadings[i], reading);
    }
  }
  if (!extras.orgSortAs.empty() && !extras.hasOrgReading) {
    // The company's sort order is its reading, as the name's is; of its
    // parts (company, then units) the phone keeps the company's.
    const std::vector<std::string> parts = sortParts(extras.orgSortAs);
    std::string reading;
    if (!parts[0].empty() && AppendHalfToFullOfValid(parts[0], &reading))
      model.addProperty({}, "X-PHONETIC-ORG", reading);
  }
  if (extras.organization) model.addProperty({}, "X-ABShowAs", "COMPANY");
  if (!extras.birthdayText.empty()) {
    const std::string line = "誕生日：" + extras.birthdayText;
    for (Property& property : model.properties()) {
      if (property.dropped || property.kind != Property::Kind::Line || !property.group.empty() ||
          !platform::asciiUpperEquals(model.text(property.name), "NOTE"))
        continue;
      // The note's text is escaped as 3.0 escapes it: "\n" breaks the line.
      const std::string note = std::string(model.text(property.value)) + "\\n" + line;
      property.value = model.store(note);
      return;
    }
    model.addProperty({}, "NOTE", line);
  }
}

}  // namespace vcard::detail
