// Naming of data-driven cases: every case table's row has a name field, which
// names the generated test and is what a failing row prints.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <string_view>

namespace testsupport {

// Test names may hold only letters, digits and underscores.
inline std::string testName(std::string_view name) {
  std::string result;
  for (const char c : name) {
    result += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
  }
  return result;
}

// Names parameterised cases after their name field.
struct CaseName {
  template <typename Case>
  std::string operator()(const testing::TestParamInfo<Case>& info) const {
    return testName(info.param.name);
  }
};

// Prints a row by its name instead of its bytes. Brought into a test file's
// namespace with `using testsupport::PrintTo;`, where the rows' types live,
// so that the test framework finds it.
template <typename Case>
requires requires(const Case& c) {
  std::string_view(c.name);
}
void PrintTo(const Case& c, std::ostream* os) {
  *os << std::string_view(c.name);
}

}  // namespace testsupport
