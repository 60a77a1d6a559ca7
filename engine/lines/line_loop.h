// The line loop of one conversion over a text handed in pieces: the cards
// come out as if the pieces were one text. Every piece but the last ends with
// a line feed; the last one (possibly empty) ends the text.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "rules/rules.h"

namespace vcard::detail {

// How a physical line was taken by the property being assembled.
enum class LineTaken {
  Started,  // the line opened the property, which holds it unchanged
  Changed,  // the property's text now differs from the line that opened it
  Left,     // the line was not taken (another property, or none open)
};

// Feeds one physical line (no line break), or nothing at the end of the
// input, into prop. A line that opens a property is split once, names and
// values, into split, whose tokens then serve its recognition as long as
// the property's text is that line unchanged. quotedValues says the line
// belongs to a card whose parameters' values may be quoted (3.0, 4.0).
LineTaken checkLine(std::optional<std::string_view> line, PropertyLine& prop,
                    strutil::LineSplit& split, const ValueContext& context,
                    bool quotedValues = false);

class LineLoop {
 public:
  explicit LineLoop(Conversion& conversion) noexcept : conversion_(conversion) {}
  LineLoop(const LineLoop&) = delete;
  LineLoop& operator=(const LineLoop&) = delete;

  void feed(std::string_view text, bool last);

 private:
  Conversion& conversion_;
  PropertyLine prop_;
  bool splitHolds_ = false;  // the split is that of the open property's text
  std::uint64_t ended_ = 0;  // cards ended when progress was last measured
};

}  // namespace vcard::detail
