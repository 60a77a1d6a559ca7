// Dates as the targets write them. vCard 4.0 writes a date in the basic or
// extended form of ISO 8601 and may leave out the year ("--0415"); 2.1 and
// 3.0 readers, the iPhone among them, take "1985-04-15" only, and mark a
// date without a year by the leap year 1604 and a parameter.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vcard::detail {

// The parameter that says a date's year 1604 stands for no year.
inline constexpr std::string_view kOmitYearParameter = "X-APPLE-OMIT-YEAR=1604";

struct TargetDate {
  std::string value;       // "1985-04-15", or "1604-04-15" when omitsYear
  bool omitsYear = false;  // the date is written with kOmitYearParameter
};

// The date of a vCard value ("19850415", "1985-04-15", "--0415", "--04-15",
// a date-time such as "19850415T120000Z" by its date) in the targets' form;
// nothing for a value that names no whole day (text, "1985-04", "---15") or
// no real month and day. Blanks around the value are ignored. A date in the
// year 1604 is one without a year.
[[nodiscard]] std::optional<TargetDate> targetDate(std::string_view value);

}  // namespace vcard::detail
