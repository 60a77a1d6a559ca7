// Letter case of the ASCII words that are compared: property and parameter
// names, BEGIN/END lines. Only a-z change; every other byte, UTF-8 included,
// is kept, so a name that is not ASCII never equals one.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace platform {

constexpr char asciiUpper(char c) noexcept {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// True when text, its ASCII letters upper-cased, is upperWord.
constexpr bool asciiUpperEquals(std::string_view text, std::string_view upperWord) noexcept {
  return text.size() == upperWord.size() &&
         std::equal(text.begin(), text.end(), upperWord.begin(),
                    [](char a, char b) { return asciiUpper(a) == b; });
}

// The text without the blanks (spaces, tabs) at either end.
constexpr std::string_view trimBlanks(std::string_view text) noexcept {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

// ASCII letters upper-cased, every other byte kept.
inline std::string upperASCII(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    c = asciiUpper(c);
  return upper;
}

}  // namespace platform
