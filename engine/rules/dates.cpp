#include "dates.h"

namespace vcard::detail {
namespace {

bool digits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int number(std::string_view text) {
  int n = 0;
  for (const char c : text)
    n = n * 10 + (c - '0');
  return n;
}

// Days in the month, February with 29: a birthday on 29 February has no year
// to judge it by.
int longestMonth(int month) {
  constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return kDays[month - 1];
}

}  // namespace

std::optional<TargetDate> targetDate(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
    value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
    value.remove_suffix(1);
  // A date-time is its date: the time says nothing an address book keeps.
  if (const std::size_t t = value.find_first_of("Tt"); t != std::string_view::npos)
    value = value.substr(0, t);

  std::string_view year;
  std::string_view monthDay;
  if (value.starts_with("--")) {
    monthDay = value.substr(2);
  } else if (value.size() == 8 && digits(value)) {
    year = value.substr(0, 4);
    monthDay = value.substr(4);
  } else if (value.size() == 10 && value[4] == '-' && value[7] == '-') {
    year = value.substr(0, 4);
    monthDay = value.substr(5);
  } else {
    return std::nullopt;
  }
  std::string_view month;
  std::string_view day;
  if (monthDay.size() == 4) {
    month = monthDay.substr(0, 2);
    day = monthDay.substr(2);
  } else if (monthDay.size() == 5 && monthDay[2] == '-') {
    month = monthDay.substr(0, 2);
    day = monthDay.substr(3);
  } else {
    return std::nullopt;
  }
  if ((!year.empty() && !digits(year)) || !digits(month) || !digits(day)) return std::nullopt;
  const int m = number(month);
  const int d = number(day);
  if (m < 1 || m > 12 || d < 1 || d > longestMonth(m)) return std::nullopt;

  TargetDate date;
  // The leap year 1604 is how phones write a date without a year.
  date.omitsYear = year.empty() || year == "1604";
  date.value.append(date.omitsYear ? std::string_view("1604") : year);
  date.value.append("-").append(month).append("-").append(day);
  return date;
}

}  // namespace vcard::detail
