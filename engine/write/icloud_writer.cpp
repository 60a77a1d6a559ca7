// The iCloud.com form of one card, written from the card's properties as
// vCard 3.0: the version, the parameters and the escaping of RFC 2426, an FN
// built from the name, and photos that keep within iCloud's limits.
#include "icloud_writer.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ascii_letters.h"
#include "base64.h"
#include "line_fold.h"
#include "photo_shrink.h"
#include "platform.h"
#include "strutil.h"

namespace vcard::detail {
namespace {

using platform::trimBlanks;

// The largest picture whose photo line, folded, takes at most lineBytes.
std::size_t pictureBytesFor(std::size_t lineBytes) {
  constexpr std::size_t kHead = sizeof "PHOTO;ENCODING=b;TYPE=JPEG:" - 1;
  if (lineBytes < 256) return 0;
  const std::size_t characters = asciiFoldedCapacity(lineBytes);
  if (characters <= kHead) return 0;
  return (characters - kHead) / 4 * 3;
}

// ---- Properties ------------------------------------------------------------

// part with its folds undone: part itself when it has none, else the
// unfolded text kept in storage.
std::string_view unfoldedView(std::string_view part, bool keepFoldBlank, std::string* storage) {
  if (part.find("\r\n") == std::string_view::npos) return part;
  *storage = unfolded(part, keepFoldBlank);
  return *storage;
}

// One property with its parts unfolded and trimmed. A card's lines are
// read one after another into the same Line, which keeps its buffers.
struct Line {
  std::string group;                     // "item1" of "item1.EMAIL", as written
  std::string name;                      // as written
  std::string key;                       // the name upper-cased
  std::vector<std::string_view> params;  // none empty, in paramText
  std::string_view value;                // as the card holds it, folds and all

  std::string paramText;
  std::vector<std::pair<std::size_t, std::size_t>> paramSpans;
  std::string param;
  std::string unfoldedParam;
};

// The parameters of a property, folds undone, blanks at either end gone, the
// empty ones left out. A double-quoted parameter value may hold a ";" that
// parted the parameter in two: its pieces are joined again.
void readParameters(const Card& card, const Property& property, bool keepFoldBlank, Line* line) {
  line->paramText.clear();
  line->paramSpans.clear();
  std::string& param = line->param;
  param.clear();
  bool quoted = false;
  for (std::size_t i = 0; i < property.parameterCount; ++i) {
    const std::string_view piece = card.text(card.parameter(property, i));
    const bool joined = quoted;
    if (quoted) param.push_back(';');
    quoted ^= (std::count(piece.begin(), piece.end(), '"') % 2) != 0;
    const bool continues = quoted && i + 1 < property.parameterCount;
    // A piece that stands alone is taken from the card as it is.
    std::string_view whole = piece;
    if (joined || continues) {
      param.append(piece);
      if (continues) continue;
      whole = param;
    }
    const std::string_view kept =
        trimBlanks(unfoldedView(whole, keepFoldBlank, &line->unfoldedParam));
    if (!kept.empty()) {
      line->paramSpans.emplace_back(line->paramText.size(), kept.size());
      line->paramText.append(kept);
    }
    param.clear();
  }
  line->params.clear();
  for (const auto& [at, size] : line->paramSpans)
    line->params.push_back(std::string_view(line->paramText).substr(at, size));
}

void readLine(const Card& card, const Property& property, bool keepFoldBlank, Line* line) {
  line->group = unfolded(card.text(property.group), keepFoldBlank);
  line->name = unfolded(card.text(property.name), keepFoldBlank);
  // Blanks go from the ends of group "." name taken as one.
  if (line->group.empty()) {
    line->name = trimBlanks(line->name);
  } else {
    line->group.erase(0, line->group.find_first_not_of(" \t"));
    line->name.erase(line->name.find_last_not_of(" \t") + 1);
  }
  line->key = platform::upperASCII(line->name);
  readParameters(card, property, keepFoldBlank, line);
  line->value = card.text(property.value);
}

// ---- Values ----------------------------------------------------------------

enum class ValueKind {
  Structured,  // N, ADR, ORG: ";" parts the value
  Text,        // one text: a ";" in it is written escaped
  Plain,       // numbers, addresses of the web, dates: written as they are
};

ValueKind kindOf(std::string_view key) {
  for (const std::string_view structured : {"N", "ADR", "ORG"}) {
    if (key == structured) return ValueKind::Structured;
  }
  for (const std::string_view text :
       {"NOTE", "TITLE", "NICKNAME", "X-PHONETIC-LAST-NAME", "X-PHONETIC-FIRST-NAME",
        "X-PHONETIC-ORG", "X-ABRELATEDNAMES", "EMAIL", "X-ABLABEL", "FN"}) {
    if (key == text) return ValueKind::Text;
  }
  return ValueKind::Plain;
}

// The value as RFC 2426 escapes it. Escapes the value already has (\\, \;,
// \, and \n) stay; a backslash before anything else is a backslash of the
// text. A line break (a lone LF where the rules kept one, or a lone CR)
// becomes \n. In a 2.1 card a comma is always text and is escaped; in a 3.0
// card an unescaped comma may part a list and is left alone.
void appendEscapedValue(std::string_view value, ValueKind kind, bool escapeCommas,
                        std::string* written) {
  // Most of a value needs no escape: the bytes up to the next one that may
  // are copied as one run.
  const bool plain = kind == ValueKind::Plain;
  const bool text = kind == ValueKind::Text;
  auto special = [&](char c) {
    return c == '\r' || c == '\n' ||
           (!plain && (c == '\\' || (c == ';' && text) || (c == ',' && escapeCommas)));
  };
  std::string& out = *written;
  std::size_t run = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (!special(c)) continue;
    out.append(value.data() + run, i - run);
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
      out.append("\\n");
    } else if (c == '\\') {
      const char next = i + 1 < value.size() ? value[i + 1] : '\0';
      if (next == '\\' || next == ';' || next == ',' || next == 'n' || next == 'N') {
        out.push_back('\\');
        out.push_back(next == 'N' ? 'n' : next);
        ++i;
      } else {
        out.append("\\\\");
      }
    } else {
      out.push_back('\\');
      out.push_back(c);
    }
    run = i + 1;
  }
  out.append(value.data() + run, value.size() - run);
}

// Plain text (an FN made here) escaped as a text value.
std::string escapedText(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\' || c == ';' || c == ',') out.push_back('\\');
    if (c == '\n') {
      out.append("\\n");
    } else if (c != '\r') {
      out.push_back(c);
    }
  }
  return out;
}

// The text of one escaped part: escapes undone, blanks at either end gone.
// With listCommas, a comma no backslash escapes parts a list of words (the
// additional names of a 3.0 N) and becomes a blank.
std::string unescaped(std::string_view part, bool listCommas = false) {
  std::string text;
  for (std::size_t i = 0; i < part.size(); ++i) {
    if (part[i] == '\\' && i + 1 < part.size()) {
      const char next = part[i + 1];
      text.push_back(next == 'n' || next == 'N' ? '\n' : next);
      ++i;
    } else if (listCommas && part[i] == ',') {
      text.push_back(' ');
    } else {
      text.push_back(part[i]);
    }
  }
  return std::string(trimBlanks(text));
}

// The parts of a structured value, cut at every ";" no backslash escapes.
std::vector<std::string_view> components(std::string_view value) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\') {
      ++i;
    } else if (value[i] == ';') {
      parts.push_back(value.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(value.substr(start));
  return parts;
}

// Latin, Greek, Cyrillic and the like put spaces between words; the scripts
// from U+2E80 on (kana, CJK ideographs, full-width forms, Hangul) are written
// without them in a Japanese address book.
bool spacedScript(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (i + length > text.size()) return true;
    if (utf::decodeValidUTF8CodePoint(text.data() + i) >= 0x2E80) return false;
    i += length;
  }
  return true;
}

std::string joinedName(const std::vector<std::string>& parts) {
  std::string name;
  std::string_view previous;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!previous.empty() && spacedScript(previous) && spacedScript(part)) name.push_back(' ');
    name.append(part);
    previous = part;
  }
  return name;
}

// ---- Parameters ------------------------------------------------------------

bool isTransferWord(std::string_view upperWord) {
  for (const std::string_view word : {"BASE64", "B", "QUOTED-PRINTABLE", "7BIT", "8BIT"}) {
    if (upperWord == word) return true;
  }
  return false;
}

// The parameters as 3.0 writes them: a bare 2.1 type ("CELL") as TYPE=CELL;
// no CHARSET (everything is UTF-8) and no transfer encoding (nothing is
// encoded but a photo, which gets its own).
void appendParameters(const Line& line, std::string* written) {
  std::string& out = *written;
  for (const std::string_view param : line.params) {
    const std::size_t equals = param.find('=');
    if (equals == std::string::npos) {
      if (isTransferWord(platform::upperASCII(param))) continue;
      out.append(";TYPE=").append(param);
      continue;
    }
    const std::string key = strutil::parameterKey(param);
    const std::string_view value = trimBlanks(param.substr(equals + 1));
    if (key == "CHARSET" || key == "ENCODING") continue;
    if (key == "VALUE" && platform::asciiUpperEquals(value, "URL")) {
      out.append(";VALUE=uri");
    } else {
      out.append(";").append(param);
    }
  }
}

bool isBase64Photo(const Line& line) {
  if (line.key != "PHOTO") return false;
  for (const std::string_view param : line.params) {
    const std::string word = platform::upperASCII(param);
    if (word == "BASE64" || word == "B" || word == "ENCODING=BASE64" || word == "ENCODING=B")
      return true;
  }
  return false;
}

// The TYPE a photo's parameters give ("JPEG" of TYPE=JPEG or a bare JPEG).
std::string photoTypeParameter(const Line& line) {
  for (const std::string_view param : line.params) {
    const std::string word = platform::upperASCII(param);
    if (word.starts_with("TYPE=")) return std::string(param.substr(5));
    if (word.find('=') == std::string::npos && !isTransferWord(word)) return std::string(param);
  }
  return {};
}

std::string photoLine(std::string_view bytes, std::string_view type) {
  std::string line = "PHOTO;ENCODING=b";
  if (!type.empty()) line.append(";TYPE=").append(type);
  line.push_back(':');
  strutil::appendBase64(bytes, &line);
  return line;
}

struct PendingPhoto {
  std::size_t index;  // its place among the card's lines
  std::string bytes;
  std::string type;
};

}  // namespace

std::string nameFromComponents(std::string_view nValue) {
  const auto parts = components(nValue);
  auto part = [&parts](std::size_t i) {
    return i < parts.size() ? unescaped(parts[i], true) : std::string();
  };
  // Prefix, family, given, additional, suffix.
  return joinedName({part(3), part(0), part(1), part(2), part(4)});
}

namespace {

// The card's lines in the iCloud.com form, with an empty place for each
// photo, which is fitted once the size of the rest is known; and what an FN
// can be made of.
struct CardBody {
  std::vector<std::string> lines;
  std::vector<PendingPhoto> photos;
  std::string fromName;
  std::string fromOrg;
  std::string fromOther;  // a nickname, an e-mail address or a number

  // iCloud.com refuses a card without FN: the name as the address book
  // shows it, else the company, else whatever the card is known by.
  [[nodiscard]] const std::string& name() const {
    return !fromName.empty() ? fromName : !fromOrg.empty() ? fromOrg : fromOther;
  }
};

CardBody bodyOf(const Card& source) {
  const bool version21 = source.version() == CardVersion::V21;
  CardBody body;
  body.lines.reserve(source.properties().size());
  std::string unfoldedValue;
  Line line;
  for (const Property& property : source.properties()) {
    // BEGIN, END and VERSION are the form's own; FN is made from the rest.
    if (property.dropped || property.kind != Property::Kind::Line) continue;
    readLine(source, property, version21, &line);
    const std::string& key = line.key;
    if (line.group.empty() && (key == "BEGIN" || key == "END" || key == "VERSION" || key == "FN"))
      continue;
    if (isBase64Photo(line)) {
      // The decoder passes over the folds.
      std::string bytes = strutil::decodeBase64(line.value);
      const photo::Format format = photo::formatOf(bytes);
      const std::string type =
          format != photo::Format::Unknown ? photo::typeName(format) : photoTypeParameter(line);
      body.photos.push_back({body.lines.size(), std::move(bytes), type});
      body.lines.emplace_back();
      continue;
    }
    // The line is written in one string, the escaped value last.
    const std::string_view raw = unfoldedView(line.value, version21, &unfoldedValue);
    std::string written;
    written.reserve(line.group.size() + line.name.size() + raw.size() + 64);
    if (!line.group.empty()) written.append(line.group).push_back('.');
    written.append(line.name);
    appendParameters(line, &written);
    written.push_back(':');
    const std::size_t valueAt = written.size();
    appendEscapedValue(raw, kindOf(key), version21, &written);
    const std::string_view value = std::string_view(written).substr(valueAt);
    if (key == "N" && body.fromName.empty()) body.fromName = nameFromComponents(value);
    if (key == "ORG" && body.fromOrg.empty()) {
      std::vector<std::string> parts;
      for (const std::string_view part : components(value))
        parts.push_back(unescaped(part));
      body.fromOrg = joinedName(parts);
    }
    if (body.fromOther.empty() && (key == "NICKNAME" || key == "EMAIL" || key == "TEL"))
      body.fromOther = unescaped(value);
    body.lines.push_back(std::move(written));
  }
  return body;
}

// The photo's line within room bytes of the card: as it is when it keeps
// to the limits, else scaled down as JPEG, else none; and what became of it.
std::string fittedPhotoLine(const PendingPhoto& pending, std::size_t room, ProgressMeter* progress,
                            PhotoOutcome* outcome) {
  outcome->sourceBytes = pending.bytes.size();
  outcome->format = photo::typeName(photo::formatOf(pending.bytes));
  std::string line = photoLine(pending.bytes, pending.type);
  if (pending.bytes.size() <= kICloudMaxPhotoBytes && foldedSize(line) <= room) {
    outcome->writtenBytes = pending.bytes.size();
    return line;
  }
  line.clear();
  const std::size_t limit = std::min(kICloudMaxPhotoBytes, pictureBytesFor(room));
  if (limit > 0) {
    if (progress != nullptr) progress->step(ProgressStep::ScalingPhotos);
    auto shrunk = photo::shrinkToJPEG(pending.bytes, limit);
    if (progress != nullptr) progress->step(ProgressStep::Converting);
    if (shrunk) {
      line = photoLine(shrunk->jpeg, "JPEG");
      outcome->fate = PhotoFate::Scaled;
      outcome->writtenBytes = shrunk->jpeg.size();
    }
  }
  if (line.empty() || foldedSize(line) > room) {
    line.clear();
    outcome->fate = PhotoFate::LeftOut;
    outcome->writtenBytes = 0;
  }
  return line;
}

}  // namespace

ICloudCard icloudCard(const Card& source, ProgressMeter* progress) {
  CardBody body = bodyOf(source);
  ICloudCard card;
  card.name = body.name();

  const std::string fnLine = "FN:" + escapedText(card.name);
  std::size_t bytes = foldedSize("BEGIN:VCARD") + foldedSize("VERSION:3.0") +
                      foldedSize("END:VCARD") + foldedSize(fnLine);
  for (const std::string& line : body.lines)
    bytes += line.empty() ? 0 : foldedSize(line);

  // Photos take what room the card has left, in the order they came.
  for (const PendingPhoto& pending : body.photos) {
    PhotoOutcome outcome;
    const std::size_t room = bytes < kICloudMaxCardBytes ? kICloudMaxCardBytes - bytes : 0;
    std::string line = fittedPhotoLine(pending, room, progress, &outcome);
    if (!line.empty()) bytes += foldedSize(line);
    body.lines[pending.index] = std::move(line);
    card.photos.push_back(std::move(outcome));
  }

  std::string& out = card.text;
  out.reserve(bytes);
  out.append("BEGIN:VCARD\r\nVERSION:3.0\r\n");
  appendFolded(fnLine, &out);
  for (const std::string& line : body.lines) {
    if (!line.empty()) appendFolded(line, &out);
  }
  out.append("END:VCARD\r\n");
  return card;
}

}  // namespace vcard::detail
