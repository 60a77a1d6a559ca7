// Shared helpers of the toolkit's tests.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <string_view>

// Test names may hold only letters, digits and underscores.
inline std::string testName(std::string_view name) {
  std::string result;
  for (const char c : name) {
    result += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
  }
  return result;
}

// Names parameterised cases after their `name` field.
struct CaseName {
  template <typename Case>
  std::string operator()(const testing::TestParamInfo<Case>& info) const {
    return testName(info.param.name);
  }
};
