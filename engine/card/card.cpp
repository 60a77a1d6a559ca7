#include "card.h"

#include <cstdint>
#include <cstring>

#include "utf8.h"

namespace vcard::detail {

std::string unfolded(std::string_view part, bool keepFoldBlank) {
  std::string text;
  text.reserve(part.size());
  std::size_t start = 0;
  for (std::size_t fold = part.find("\r\n"); fold != std::string_view::npos;
       fold = part.find("\r\n", fold + 2)) {
    if (fold + 2 >= part.size() || (part[fold + 2] != ' ' && part[fold + 2] != '\t')) continue;
    text.append(part.substr(start, fold - start));
    start = keepFoldBlank ? fold + 2 : fold + 3;
  }
  text.append(part.substr(start));
  return text;
}

void Card::clear() noexcept {
  text_.clear();
  properties_.clear();
  parameters_.clear();
  building_ = false;
  buildStart_ = 0;
  version_ = CardVersion::Unknown;
}

void Card::beginProperty(std::string_view name, Property::Kind kind) {
  abandonProperty();
  building_ = true;
  buildStart_ = text_.size();
  Property property;
  property.kind = kind;
  property.name = store(name);
  property.firstParameter = parameters_.size();
  properties_.push_back(property);
}

void Card::addParameter(std::string_view parameter) {
  parameters_.push_back(store(parameter));
  ++properties_.back().parameterCount;
}

void Card::beginValue() noexcept {
  properties_.back().value = Span{text_.size(), text_.size()};
}

void Card::endProperty() {
  properties_.back().value.end = text_.size();
  building_ = false;
}

void Card::abandonProperty() noexcept {
  if (!building_) return;
  parameters_.resize(properties_.back().firstParameter);
  properties_.pop_back();
  text_.resize(buildStart_);
  building_ = false;
}

void Card::addProperty(std::string_view group, std::string_view name, std::string_view value) {
  addProperty(group, name, {}, value);
}

void Card::addProperty(std::string_view group, std::string_view name, std::string_view parameter,
                       std::string_view value) {
  beginProperty(name);
  if (!parameter.empty()) addParameter(parameter);
  properties_.back().group = store(group);
  beginValue();
  text_.append(value);
  endProperty();
}

Span Card::store(std::string_view text) {
  const std::size_t begin = text_.size();
  text_.append(text);
  return Span{begin, text_.size()};
}

template <typename Text, typename Ascii>
bool Card::putIPhoneText(Text&& text, Ascii&& ascii) const {
  for (const Property& property : properties_) {
    if (property.dropped) continue;
    if (property.kind != Property::Kind::Line) {
      if (!text(this->text(property.name)) || !ascii("\r\n")) return false;
      continue;
    }
    if (!property.group.empty() && (!text(this->text(property.group)) || !ascii("."))) return false;
    if (!text(this->text(property.name))) return false;
    for (std::size_t i = 0; i < property.parameterCount; ++i) {
      if (!ascii(";") || !text(this->text(parameter(property, i)))) return false;
    }
    if (!ascii(":") || !text(this->text(property.value)) || !ascii("\r\n")) return false;
  }
  return true;
}

std::size_t Card::iPhoneTextSize() const {
  std::size_t size = 0;
  auto measure = [&size](std::string_view piece) {
    size += piece.size();
    return true;
  };
  putIPhoneText(measure, measure);
  return size;
}

void Card::appendIPhoneText(std::string* out) const {
  // Measured first: the card grows the text once, and its pieces are copied
  // in without a check each.
  const std::size_t size = iPhoneTextSize();
  const std::size_t start = out->size();
  out->resize(start + size);
  char* o = out->data() + start;
  auto copy = [&o](std::string_view piece) {
    if (!piece.empty()) std::memcpy(o, piece.data(), piece.size());
    o += piece.size();
    return true;
  };
  putIPhoneText(copy, copy);
}

bool Card::appendIPhoneUTF16LE(std::string* out) const {
  const std::size_t size = iPhoneTextSize();
  // The texts the platform's conversion takes: at most INT32_MAX bytes.
  if (size > static_cast<std::size_t>(INT32_MAX)) return false;
  // One growth for the card: never more than two bytes a byte of UTF-8.
  const std::size_t start = out->size();
  out->resize(start + 2 * size);
  char* o = out->data() + start;
  const bool encoded = putIPhoneText(
      [&o](std::string_view piece) {
        o = utf::encodeUTF16LE(piece, o);
        return o != nullptr;
      },
      [&o](std::string_view delimiter) {
        for (const char c : delimiter) {
          *o++ = c;
          *o++ = '\0';
        }
        return true;
      });
  out->resize(encoded ? static_cast<std::size_t>(o - out->data()) : start);
  return encoded;
}

std::string Card::iPhoneText() const {
  std::string out;
  appendIPhoneText(&out);
  return out;
}

}  // namespace vcard::detail
