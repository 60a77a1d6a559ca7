#include "card_reader.h"

#include "ascii_letters.h"

namespace vcard::detail {
namespace {

// Where the first sep no backslash escapes sits in text, from start.
std::size_t findUnescaped(std::string_view text, char sep, std::size_t start = 0) {
  for (std::size_t i = start; i < text.size(); ++i) {
    if (text[i] == sep && (i == 0 || text[i - 1] != '\\')) return i;
  }
  return std::string_view::npos;
}

void readLine(std::string_view line, Card* card) {
  if (platform::asciiUpperEquals(line.substr(0, 6), "BEGIN:")) {
    card->beginProperty(line, Property::Kind::Begin);
    card->endProperty();
    return;
  }
  if (platform::asciiUpperEquals(line.substr(0, 4), "END:")) {
    card->beginProperty(line, Property::Kind::End);
    card->endProperty();
    return;
  }
  const std::size_t colon = findUnescaped(line, ':');
  if (colon == std::string_view::npos) return;
  const std::string_view head = line.substr(0, colon);
  std::size_t end = findUnescaped(head, ';');
  std::string_view name = head.substr(0, end);
  std::string_view group;
  if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos && dot > 0) {
    group = name.substr(0, dot);
    name.remove_prefix(dot + 1);
  }
  card->beginProperty(name);
  if (!group.empty()) card->properties().back().group = card->store(group);
  while (end != std::string_view::npos) {
    const std::size_t start = end + 1;
    end = findUnescaped(head, ';', start);
    card->addParameter(head.substr(start, end == std::string_view::npos ? end : end - start));
  }
  card->beginValue();
  card->valueText().append(line.substr(colon + 1));
  card->endProperty();
  // The first ungrouped VERSION without parameters that gives a version
  // before any fold is the card's, as the recognition would have set it.
  const std::string_view value = line.substr(colon + 1);
  const std::string_view firstLine = value.substr(0, value.find("\r\n"));
  if (card->version() == CardVersion::Unknown && group.empty() &&
      card->properties().back().parameterCount == 0 &&
      platform::asciiUpperEquals(name, "VERSION") && !firstLine.empty()) {
    card->setVersion(firstLine.find("2.1") != std::string_view::npos   ? CardVersion::V21
                     : firstLine.find("4.0") != std::string_view::npos ? CardVersion::V40
                                                                       : CardVersion::V30);
  }
}

}  // namespace

void readCard(std::string_view text, Card* card) {
  card->clear();
  // A line ends at a CR LF that no blank or tab follows.
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    while (end != std::string_view::npos && end + 2 < text.size() &&
           (text[end + 2] == ' ' || text[end + 2] == '\t'))
      end = text.find("\r\n", end + 2);
    if (end == std::string_view::npos) end = text.size();
    readLine(text.substr(start, end - start), card);
    start = end + 2;
  }
}

}  // namespace vcard::detail
