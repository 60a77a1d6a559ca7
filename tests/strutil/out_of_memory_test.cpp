// Running out of memory is never an answer: the functions the engine asks
// throw std::bad_alloc, which the driver reports; only the C edge, whose
// integer and pointer results are its contract, answers with its failure
// value.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include "failing_allocations.h"
#include "param_names.h"
#include "strutil.h"

namespace {

using testsupport::CaseName;
using testsupport::FailingAllocation;
using testsupport::PrintTo;

// Long enough that the engine's copies leave the string's inline room, and
// with letters that only the full upper-casing maps.
const char* const kTypes[] = {"EMAIL",
                              "TYPE=\xC3\xA9t\xC3\xA9-Home-Internet"};  // "TYPE=été-Home-Internet"
const char* const kUnknownCharset[] = {"NOTE", "CHARSET=X-A-CHARSET-NOBODY-KNOWS"};
const char* const kKnownCharset[] = {"NOTE", "CHARSET=ISO-8859-15"};

struct Case {
  std::string_view name;
  // What is asked, printed; run once with memory and once without.
  std::function<std::string()> ask;
  std::string answer;
  // What the C edge answers when memory runs out (unused for the engine's
  // forms, which throw).
  std::string failure;
};

std::string owned(char* text) {
  if (text == nullptr) return "null";
  std::string copy(text);
  std::free(text);
  return copy;
}

std::string upperCasedOrNone(const char* text) {
  return strutil::upperCased(text).value_or("none");
}

std::string base64Decoded(const char* text) {
  std::string out;
  strutil::appendBase64Decoded(text, &out);
  return out;
}

constexpr const char* kMixedCase = "\xC3\xA9t\xC3\xA9 \xC3\xA0 la maison";   // "été à la maison"
constexpr const char* kMixedUpper = "\xC3\x89T\xC3\x89 \xC3\x80 LA MAISON";  // "ÉTÉ À LA MAISON"
constexpr const char* kKeyUpper = "TYPE=\xC3\x89T\xC3\x89";                  // "TYPE=ÉTÉ"

// The functions the engine asks.
const Case kEngineCases[] = {
    {"CharsetNobodyKnows",
     [] { return std::to_string(ReadParameterCodes(kUnknownCharset, 2).charset); },
     std::to_string(kCharsetUnknown), ""},
    {"TypeWordAfterFullUpperCasing",
     [] { return std::to_string(strutil::containsKey(kTypes, 2, "HOME")); }, "1", ""},
    {"TypeWordsAtOnce",
     [] {
       return std::to_string(StrExistsEach(kTypes, 2, {"WORK", "HOME"}));
     },
     "2", ""},
    {"TypeWordWithoutBlanks",
     [] { return std::to_string(strutil::containsKey(kTypes, 2, kKeyUpper, true)); }, "1", ""},
    {"UpperCasing", [] { return upperCasedOrNone(kMixedCase); }, kMixedUpper, ""},
    {"Base64", [] { return base64Decoded("SGVsbG8sIFdvcmxkIQ=="); }, "Hello, World!", ""},
};

// Their C forms, whose results say "not found" or give null.
const Case kEdgeCases[] = {
    {"StrExists", [] { return std::to_string(StrExists(kTypes, 2, "HOME")); }, "1", "0"},
    {"StrExistsSp", [] { return std::to_string(StrExists_sp(kTypes, 2, kKeyUpper)); }, "1", "0"},
    {"StrToUpper", [] { return owned(StrToUpper(kMixedCase)); }, kMixedUpper, "null"},
    {"Base64Decode", [] { return owned(Base64Decode("SGVsbG8sIFdvcmxkIQ==")); }, "Hello, World!",
     "null"},
};

class OutOfMemoryTest : public testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    // The charset judge remembers its last answer, which needs no memory:
    // another name makes it ask again.
    static_cast<void>(ReadParameterCodes(kKnownCharset, 2));
  }
};

TEST_P(OutOfMemoryTest, AnswersWithMemory) {
  EXPECT_EQ(GetParam().ask(), GetParam().answer);
}

class EngineOutOfMemoryTest : public OutOfMemoryTest {};

TEST_P(EngineOutOfMemoryTest, ThrowsWithoutMemory) {
  const FailingAllocation failing;
  EXPECT_THROW(static_cast<void>(GetParam().ask()), std::bad_alloc);
  EXPECT_TRUE(failing.failed());
}

class EdgeOutOfMemoryTest : public OutOfMemoryTest {};

TEST_P(EdgeOutOfMemoryTest, AnswersItsFailureValueWithoutMemory) {
  std::string answer;
  {
    const FailingAllocation failing;
    answer = GetParam().ask();
    ASSERT_TRUE(failing.failed());
  }
  EXPECT_EQ(answer, GetParam().failure);
}

INSTANTIATE_TEST_SUITE_P(Engine, OutOfMemoryTest, testing::ValuesIn(kEngineCases), CaseName());
INSTANTIATE_TEST_SUITE_P(Edge, OutOfMemoryTest, testing::ValuesIn(kEdgeCases), CaseName());
INSTANTIATE_TEST_SUITE_P(Engine, EngineOutOfMemoryTest, testing::ValuesIn(kEngineCases),
                         CaseName());
INSTANTIATE_TEST_SUITE_P(Edge, EdgeOutOfMemoryTest, testing::ValuesIn(kEdgeCases), CaseName());

}  // namespace
