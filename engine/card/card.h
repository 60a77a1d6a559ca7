// The card model: one card of the source as the rules rewrote it, a list of
// properties whose parts (group, name, parameters, value) are byte ranges of
// the card's own text. The rules append properties; what a card settles at
// its end (groups and labels, a name from FN) edits the list; each target's
// writer serialises the same card.
//
// Every part is UTF-8 as the target takes it: parameters as the source wrote
// them (those that no longer hold left out), values decoded and joined with
// ";". A part may still hold a fold of the source (CR LF and a blank, or the
// CR LF and blank before each Base64 line of a photo); a line break inside a
// value is CR LF and a blank for the iPhone, one LF for iCloud.com.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vcard::detail {

// A byte range of a card's text.
struct Span {
  std::size_t begin = 0;
  std::size_t end = 0;
  [[nodiscard]] bool empty() const noexcept { return begin == end; }
};

struct Property {
  enum class Kind : std::uint8_t {
    Begin,  // the card's BEGIN line as kept: name holds the whole line
    End,    // its END line, the same way
    Line,   // a property: group "." name { ";" parameter } ":" value
  };
  Kind kind = Kind::Line;
  bool dropped = false;            // taken out by settling; written by nobody
  Span group;                      // "item1" without the dot; empty when ungrouped
  Span name;                       // as written ("TEL", "X-ABLabel")
  std::size_t firstParameter = 0;  // into Card::parameters
  std::size_t parameterCount = 0;
  Span value;
};

// A part with the source's folds undone: each CR LF followed by a blank or
// tab goes, and the blank with it unless keepFoldBlank (a 2.1 fold's blank
// belongs to the text; a 3.0 or 4.0 fold's does not).
[[nodiscard]] std::string unfolded(std::string_view part, bool keepFoldBlank = false);

// The vCard version a card declares: how its lines are cut (3.0 and 4.0 may
// quote a parameter's value) and read. Unknown until its VERSION line, and
// read as 2.1 until then.
enum class CardVersion : std::uint8_t { Unknown, V21, V30, V40 };

class Card {
 public:
  // Empties the card for reuse, keeping its storage.
  void clear() noexcept;
  // Bytes the card's text holds room for.
  [[nodiscard]] std::size_t capacity() const noexcept { return text_.capacity(); }

  [[nodiscard]] CardVersion version() const noexcept { return version_; }
  void setVersion(CardVersion version) noexcept { version_ = version; }
  // True when a parameter's value may be quoted, so that the ";" and ":" in
  // quotes are text: vCard 3.0 and 4.0.
  [[nodiscard]] bool quotesParameters() const noexcept {
    return version_ == CardVersion::V30 || version_ == CardVersion::V40;
  }

  [[nodiscard]] std::string_view text(Span span) const noexcept {
    return std::string_view(text_).substr(span.begin, span.end - span.begin);
  }
  [[nodiscard]] const std::vector<Property>& properties() const noexcept { return properties_; }
  [[nodiscard]] std::vector<Property>& properties() noexcept { return properties_; }
  [[nodiscard]] Span parameter(const Property& property, std::size_t i) const noexcept {
    return parameters_[property.firstParameter + i];
  }

  // ---- Building: one property at a time ------------------------------------
  // beginProperty, then any parameters, then beginValue, the value's bytes
  // through valueText(), and endProperty. A property not ended (the rule ran
  // out of memory) is taken back by the next beginProperty or abandon.
  void beginProperty(std::string_view name, Property::Kind kind = Property::Kind::Line);
  void addParameter(std::string_view parameter);
  void beginValue() noexcept;
  // The text the value is appended to: only appends, until endProperty.
  [[nodiscard]] std::string& valueText() noexcept { return text_; }
  void endProperty();
  void abandonProperty() noexcept;

  // A whole property of group, name and value at once, with one parameter
  // unless it is empty.
  void addProperty(std::string_view group, std::string_view name, std::string_view value);
  void addProperty(std::string_view group, std::string_view name, std::string_view parameter,
                   std::string_view value);

  // Text appended to the card's storage, for a part settling sets.
  [[nodiscard]] Span store(std::string_view text);

  // The iPhone form of the card: every property not dropped as one line
  // ended by CR LF, in order.
  void appendIPhoneText(std::string* out) const;
  [[nodiscard]] std::string iPhoneText() const;
  // The same form encoded as UTF-16LE straight from the card's text, with
  // no UTF-8 copy on the way; false, appending nothing, when the text is not
  // well-formed UTF-8.
  [[nodiscard]] bool appendIPhoneUTF16LE(std::string* out) const;

 private:
  // Hands each piece of the iPhone form, in order, to text (parts of the
  // card's text) or to ascii (the form's own delimiters); stops at the first
  // that returns false.
  template <typename Text, typename Ascii>
  bool putIPhoneText(Text&& text, Ascii&& ascii) const;
  // The bytes of the iPhone form.
  [[nodiscard]] std::size_t iPhoneTextSize() const;

  std::string text_;
  std::vector<Property> properties_;
  std::vector<Span> parameters_;
  bool building_ = false;
  std::size_t buildStart_ = 0;
  CardVersion version_ = CardVersion::Unknown;  // text_ size when the property was begun
};

}  // namespace vcard::detail
