#include "rx_exception.h"

#include "platform.h"

#include <algorithm>

namespace rx {

void Dictionary::set(std::string_view key, std::string value) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [key](const Entry& entry) { return entry.first == key; });
  if (it != entries_.end()) {
    it->second = std::move(value);
  } else {
    entries_.emplace_back(std::string(key), std::move(value));
  }
}

const std::string* Dictionary::find(std::string_view key) const {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [key](const Entry& entry) { return entry.first == key; });
  return it == entries_.end() ? nullptr : &it->second;
}

RXException::RXException(std::string_view name, std::string reason, Dictionary userInfo)
    : name_(name), reason_(std::move(reason)), userInfo_(std::move(userInfo)) {}

std::string rx_prefixedReason(bool receiverIsClass, std::string_view className,
                              std::string_view operation, std::string_view reason) {
  std::string text = "*** ";
  text += receiverIsClass ? '+' : '-';
  text += '[';
  text += className.empty() ? std::string_view("<NULL>") : className;
  text += ' ';
  text += operation.empty() ? std::string_view(":NULL:") : operation;
  text += "]: ";
  text += reason;
  return text;
}

void rx_assertionHandler(const Dictionary& failure) {
  auto value = [&failure](std::string_view key) {
    const std::string* found = failure.find(key);
    return found != nullptr ? *found : std::string();
  };
  const std::string description = value("description");
  platform::logLine("*** Assertion failure in " + value("function") + ", " + value("file") + ":" +
                    value("line") + ": " + description);
  const std::string name = value("exceptionName");
  throw RXException(name.empty() ? NSInternalInconsistencyException : std::string_view(name),
                    description, failure);
}

}  // namespace rx
