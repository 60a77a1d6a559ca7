// The split of a property line that SplitFR gives, held in storage reused
// from line to line: the engine splits every line it recognises, and the
// handles SplitFR hands out cost two allocations per list.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace strutil {

// The tokens of one property line, cut as SplitFR cuts them: names (the name
// and its parameters, before the first unescaped ":", cut at ";") and values
// (after it, cut at ";"). Token pointers stay valid until the next split or
// the end of the object; the rules take them as SplitFR's char** lists.
class LineSplit {
 public:
  // Splits line. With withValues false only the names are cut. knownUTF8 is
  // the caller's word that the line is well-formed UTF-8 (it was validated
  // with the text it comes from); otherwise it is validated here, and a line
  // that is not UTF-8 gives no tokens, as SplitFR does.
  //
  // With quotedValues (a vCard 3.0 or 4.0 line), a parameter's value that
  // begins with a double quote runs to the next one, and a ";" or ":" in it
  // is text: the names end at the first ":" outside quotes. A quote that
  // never closes is an ordinary character, as it is on a 2.1 line.
  void split(std::string_view line, bool withValues, bool knownUTF8, bool quotedValues = false);

  // Cuts the group off the name ("item1" of "item1.EMAIL", at its last dot):
  // names()[0] becomes the name alone, and the group is returned ("" when
  // the name has no group, or a dot at either end).
  [[nodiscard]] std::string_view cutGroup() noexcept;

  [[nodiscard]] char** names() noexcept { return names_.data(); }
  [[nodiscard]] std::size_t namesCount() const noexcept { return names_.size(); }
  [[nodiscard]] char** values() noexcept { return values_.data(); }
  [[nodiscard]] std::size_t valuesCount() const noexcept { return values_.size(); }

  // Gives back storage grown past a modest size by a very long line (a
  // photo), so that one such line does not stay held for the whole run.
  void trim() noexcept;

 private:
  // Cuts the copy between begin and end at every unescaped ";" into tokens.
  static void cut(char* begin, char* end, std::vector<char*>* tokens);

  std::string copy_;
  std::vector<char*> names_;
  std::vector<char*> values_;
};

}  // namespace strutil
