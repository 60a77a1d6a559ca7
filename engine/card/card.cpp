#include "card.h"

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

void Card::appendIPhoneText(std::string* out) const {
  for (const Property& property : properties_) {
    if (property.dropped) continue;
    if (property.kind != Property::Kind::Line) {
      out->append(text(property.name)).append("\r\n");
      continue;
    }
    if (!property.group.empty()) out->append(text(property.group)).push_back('.');
    out->append(text(property.name));
    for (std::size_t i = 0; i < property.parameterCount; ++i)
      out->append(";").append(text(parameter(property, i)));
    out->push_back(':');
    out->append(text(property.value)).append("\r\n");
  }
}

std::string Card::iPhoneText() const {
  std::string out;
  appendIPhoneText(&out);
  return out;
}

}  // namespace vcard::detail
