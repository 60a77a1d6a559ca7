// First match and replace-all: results, ICU's default rules, templates, and
// every way the operations refuse their input. Each table runs with the cache
// and with it bypassed, and both must answer the same.
#include "param_names.h"
#include "regex_additions.h"
#include "regex_cache_p.h"
#include "rx_exception.h"

#include <gtest/gtest.h>
#include <unicode/utypes.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using icu::UnicodeString;
using rx::NSNotFound;
using rx::Range;

// 'G clef', outside the basic plane: two UTF-16 units.
#define CLEF u"\U0001D11E"

class RegexFixture : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    rx::testing::setCacheBypassed(false);
    rx::testing::setLengthLimit(0);
    rx::testing::clearCache();
    rx::testing::resetCounters();
  }
};

std::string utf8(const UnicodeString& text) {
  std::string out;
  return text.toUTF8String(out);
}

// ---- first match ---------------------------------------------------------------

struct RangeCase {
  const char* name;
  std::u16string_view subject;
  std::u16string_view pattern;
  std::uint64_t location;
  std::uint64_t length;
};

const RangeCase kRangeCases[] = {
    {"LastPathComponentWithItsSlash", u"/home/taro/card.vcf", u"/[^/]+$", 10, 9},
    {"NoSlashIsNotFound", u"card.vcf", u"/[^/]+$", NSNotFound, 0},
    {"TrailingSlashIsNotFound", u"/home/taro/", u"/[^/]+$", NSNotFound, 0},
    {"ExtensionWithItsDot", u"dir.x/card.vcf", u"\\.[^/\\.]+$", 10, 4},
    {"DotInFolderOnlyIsNotFound", u"dir.x/card", u"\\.[^/\\.]+$", NSNotFound, 0},
    {"TrailingDotIsNotFound", u"card.", u"\\.[^/\\.]+$", NSNotFound, 0},
    {"CarriageReturnFound", u"ab\rc", u"\r", 2, 1},
    {"NoCarriageReturn", u"abc\n", u"\r", NSNotFound, 0},
    {"FirstOfSeveralMatches", u"a\rb\r", u"\r", 1, 1},
    {"SupplementaryCountsTwoUnitsBefore", CLEF u"a/b", u"/[^/]+$", 3, 2},
    {"SupplementaryCountsTwoUnitsInside", u"x/" CLEF CLEF, u"/[^/]+$", 1, 5},
    {"CaseSensitive", u"abc", u"B", NSNotFound, 0},
    {"DotDoesNotMatchLineEnd", u"a\nb", u"a.b", NSNotFound, 0},
    {"CaretAnchorsAtTextStart", u"abc", u"^b", NSNotFound, 0},
    {"DollarAnchorsAtTextEnd", u"abab", u"ab$", 2, 2},
    {"EmptyMatchAtStart", u"abc", u"x*", 0, 0},
    {"EmptyMatchAtEnd", u"ab", u"$", 2, 0},
    {"EmptySubjectEmptyMatch", u"", u"a*", 0, 0},
    {"EmptySubjectNoMatch", u"", u"a", NSNotFound, 0},
    {"PatternDoesNotCompile", u"a(b", u"(b", NSNotFound, 0},
    {"UnknownEscapeDoesNotCompile", u"abc", u"\\", NSNotFound, 0},
    {"EmptyPatternIsRefusedByTheEngine", u"abc", u"", NSNotFound, 0},
    {"LongSubjectOnHeap", u"0123456789012345678901234567890123456789/tail", u"/[^/]+$", 40, 5},
};

class RangeOfRegexTest : public RegexFixture, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(RangeOfRegexTest, AnswersFirstMatchWithAndWithoutCache) {
  const RangeCase& c = GetParam();
  const UnicodeString subject(c.subject.data(), static_cast<int32_t>(c.subject.size()));
  const UnicodeString pattern(c.pattern.data(), static_cast<int32_t>(c.pattern.size()));
  for (bool bypassed : {false, true}) {
    SCOPED_TRACE(bypassed ? "cache bypassed" : "cached");
    rx::testing::setCacheBypassed(bypassed);
    // Twice, so the second call can come from the cache's memory.
    for (int round = 0; round < 2; ++round) {
      const Range r = rx::rangeOfRegex(subject, pattern);
      EXPECT_EQ(r.location, c.location) << "round " << round;
      EXPECT_EQ(r.length, c.length) << "round " << round;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RangeOfRegexTest, ::testing::ValuesIn(kRangeCases), CaseName());

// ---- replace-all ------------------------------------------------------------------

struct ReplaceCase {
  const char* name;
  std::u16string subject;
  std::u16string pattern;
  std::u16string replacement;
  std::optional<std::u16string> expected;
};

std::u16string repeat(std::u16string_view part, int times) {
  std::u16string out;
  for (int i = 0; i < times; ++i)
    out += part;
  return out;
}

const std::vector<ReplaceCase> kReplaceCases = {
    // The escaped-delimiter round trip of the value splitting.
    {"EscapedDelimiterToPlaceholder", u"a\\;b;c", u"\\\\;", u"___nonsep___", u"a___nonsep___b;c"},
    {"PlaceholderBackToEscapedDelimiter", u"a___nonsep___b;c", u"___nonsep___", u"\\\\;",
     u"a\\;b;c"},
    {"UnescapedDelimiterUntouched", u"N;CHARSET=SHIFT_JIS:山田;太郎;;;", u"\\\\;", u"___nonsep___",
     u"N;CHARSET=SHIFT_JIS:山田;太郎;;;"},
    {"TwoBackslashesGiveOneBackslash", u"x", u"x", u"\\\\y", u"\\y"},
    {"BackslashQuotesDollar", u"x", u"x", u"\\$1", u"$1"},
    {"DollarInsertsGroup", u"2024-05", u"(\\d+)-(\\d+)", u"$2/$1", u"05/2024"},
    {"WholeMatchGroupZero", u"ab", u"b", u"[$0]", u"a[b]"},
    {"NoMatchGivesEqualText", u"hello", u"x", u"y", u"hello"},
    {"EveryCharacterWithEmptyTemplate", u"abc", u".", u"", u""},
    {"EmptySubjectNoMatch", u"", u"a", u"b", u""},
    {"EmptySubjectEmptyMatch", u"", u"x*", u"y", u"y"},
    {"SameLengthReplacement", u"abc", u"b", u"x", u"axc"},
    {"SupplementaryCharacters", CLEF u";" CLEF, u";", u",", CLEF u"," CLEF},
    {"ReplaceSupplementaryCharacter", u"a" CLEF u"b", CLEF, u"-", u"a-b"},
    {"PatternDoesNotCompile", u"abc", u"(", u"x", std::nullopt},
    {"EmptyPatternIsRefusedByTheEngine", u"abc", u"", u"x", std::nullopt},
    // The output outgrows the first store and is built in a second pass.
    {"GrowsBeyondFirstStore", repeat(u"x", 40), u"x", u"0123456789", repeat(u"0123456789", 40)},
    // 4 + 2 + 2 * 11 + 16 = 44 units: the output fills the store exactly,
    // leaving no room for the terminator.
    {"OutputFillsStoreExactly", u"aaaa", u"a", u"bbbbbbbbbbb", repeat(u"bbbbbbbbbbb", 4)},
    // Stores beyond 131071 bytes come from the heap.
    {"LargeTextUsesHeapStores", repeat(u"ab", 40000), u"a", u"", repeat(u"b", 40000)},
    {"LongTextOverFixedBuffers", repeat(u"a;", 3000), u";", u"", repeat(u"a", 3000)},
};

class ReplaceTest : public RegexFixture, public ::testing::WithParamInterface<ReplaceCase> {};

TEST_P(ReplaceTest, ReplacesEveryMatchWithAndWithoutCache) {
  const ReplaceCase& c = GetParam();
  const UnicodeString subject(c.subject.data(), static_cast<int32_t>(c.subject.size()));
  const UnicodeString pattern(c.pattern.data(), static_cast<int32_t>(c.pattern.size()));
  const UnicodeString replacement(c.replacement.data(), static_cast<int32_t>(c.replacement.size()));
  for (bool bypassed : {false, true}) {
    SCOPED_TRACE(bypassed ? "cache bypassed" : "cached");
    rx::testing::setCacheBypassed(bypassed);
    for (int round = 0; round < 2; ++round) {
      const auto result = rx::stringByReplacingOccurrencesOfRegex(subject, pattern, replacement);
      ASSERT_EQ(result.has_value(), c.expected.has_value()) << "round " << round;
      if (!c.expected) continue;
      const UnicodeString expected(c.expected->data(), static_cast<int32_t>(c.expected->size()));
      EXPECT_EQ(utf8(*result), utf8(expected)) << "round " << round;
    }
  }
  // The subject is never changed in place.
  EXPECT_EQ(subject, UnicodeString(c.subject.data(), static_cast<int32_t>(c.subject.size())));
}

INSTANTIATE_TEST_SUITE_P(Cases, ReplaceTest, ::testing::ValuesIn(kReplaceCases), CaseName());

// ---- failures -----------------------------------------------------------------------

const UnicodeString kAbc(u"abc");
const UnicodeString kA(u"a");

struct FailureCase {
  const char* name;
  std::int64_t lengthLimit;  // 0: the normal limit
  std::function<void()> call;
  std::string_view exceptionName;
  std::string expectedReason;          // with its prefix
  std::vector<std::string_view> keys;  // the dictionary's keys, in order
};

const std::string kRangePrefix = "*** -[UnicodeString rangeOfRegex:]: ";
const std::string kReplacePrefix =
    "*** -[UnicodeString stringByReplacingOccurrencesOfRegex:withString:]: ";

std::vector<FailureCase> failureCases() {
  const std::vector<std::string_view> icuKeys = {
      rx::RXICURegexRegexErrorKey,         rx::RXICURegexRegexOptionsErrorKey,
      rx::RXICURegexErrorCodeErrorKey,     rx::RXICURegexErrorNameErrorKey,
      rx::RXICURegexSubjectStringErrorKey, rx::RXICURegexSubjectRangeErrorKey,
      rx::NSLocalizedFailureReasonErrorKey};
  const std::vector<std::string_view> icuReplaceKeys = {rx::RXICURegexRegexErrorKey,
                                                        rx::RXICURegexRegexOptionsErrorKey,
                                                        rx::RXICURegexErrorCodeErrorKey,
                                                        rx::RXICURegexErrorNameErrorKey,
                                                        rx::RXICURegexSubjectStringErrorKey,
                                                        rx::RXICURegexSubjectRangeErrorKey,
                                                        rx::RXICURegexReplacementStringErrorKey,
                                                        rx::RXICURegexReplacedCountErrorKey,
                                                        rx::NSLocalizedFailureReasonErrorKey};
  const std::string overflow = std::to_string(static_cast<int>(U_REGEX_STACK_OVERFLOW));
  const std::string badGroup = std::to_string(static_cast<int>(U_INDEX_OUTOFBOUNDS_ERROR));
  return {
      {"RangeNullPattern",
       0,
       [] { (void)rx::rangeOfRegex(&kAbc, nullptr); },
       rx::NSInvalidArgumentException,
       kRangePrefix + "The regular expression argument is NULL.",
       {}},
      {"RangeNullSubject",
       0,
       [] { (void)rx::rangeOfRegex(nullptr, &kA); },
       rx::NSInternalInconsistencyException,
       "*** -[<NULL> rangeOfRegex:]: The match string argument is NULL.",
       {}},
      {"RangeBogusPatternCountsAsNull",
       0,
       [] {
         UnicodeString bogus;
         bogus.setToBogus();
         (void)rx::rangeOfRegex(&kAbc, &bogus);
       },
       rx::NSInvalidArgumentException,
       kRangePrefix + "The regular expression argument is NULL.",
       {}},
      {"ReplaceNullPattern",
       0,
       [] { (void)rx::stringByReplacingOccurrencesOfRegex(&kAbc, nullptr, &kA); },
       rx::NSInvalidArgumentException,
       kReplacePrefix + "The regular expression argument is NULL.",
       {}},
      {"ReplaceNullSubject",
       0,
       [] { (void)rx::stringByReplacingOccurrencesOfRegex(nullptr, &kA, &kA); },
       rx::NSInternalInconsistencyException,
       "*** -[<NULL> stringByReplacingOccurrencesOfRegex:withString:]: The match string "
       "argument is NULL.",
       {}},
      {"ReplaceNullTemplate",
       0,
       [] { (void)rx::stringByReplacingOccurrencesOfRegex(&kAbc, &kA, nullptr); },
       rx::NSInvalidArgumentException,
       kReplacePrefix + "The replacement string argument is NULL.",
       {}},
      {"RangeLengthPastEnd",
       0,
       [] {
         (void)rx::rx_rangeOfRegex(&kAbc, &kA, 0, Range{2, 2}, "rangeOfRegex:");
       },
       rx::NSRangeException,
       kRangePrefix + "Range or index out of bounds.",
       {}},
      {"RangeLocationPastEnd",
       0,
       [] {
         (void)rx::rx_rangeOfRegex(&kAbc, &kA, 0, Range{4, 0}, "rangeOfRegex:");
       },
       rx::NSRangeException,
       kRangePrefix + "Range or index out of bounds.",
       {}},
      {"RangeLengthWrapsAround",
       0,
       [] {
         (void)rx::rx_rangeOfRegex(&kAbc, &kA, 0, Range{1, ~std::uint64_t{0} - 1}, "rangeOfRegex:");
       },
       rx::NSRangeException,
       kRangePrefix + "Range or index out of bounds.",
       {}},
      {"SubjectAtLengthLimit",
       3,
       [] { (void)rx::rangeOfRegex(kAbc, kA); },
       rx::NSRangeException,
       kRangePrefix + "String length exceeds INT_MAX.",
       {}},
      {"ReplaceSubjectAtLengthLimit",
       3,
       [] { (void)rx::stringByReplacingOccurrencesOfRegex(kAbc, kA, kA); },
       rx::NSRangeException,
       kReplacePrefix + "String length exceeds INT_MAX.",
       {}},
      {"PatternAtLengthLimit",
       3,
       [] { (void)rx::rangeOfRegex(UnicodeString(u"ab"), kAbc); },
       rx::NSRangeException,
       kRangePrefix + "Regex string length exceeds INT_MAX",
       {}},
      {"TemplateAtLengthLimit",
       5,
       [] { (void)rx::stringByReplacingOccurrencesOfRegex(kA, kA, UnicodeString(u"xxxxx")); },
       rx::NSRangeException,
       kReplacePrefix + "Replacement string length exceeds INT_MAX.",
       {}},
      // 4 / 2 + 2 * 4 = 10 reaches the limit although each text is shorter.
      {"SubjectAndTemplateTogetherTooLong",
       10,
       [] {
         (void)rx::stringByReplacingOccurrencesOfRegex(UnicodeString(u"aaaa"), kA,
                                                       UnicodeString(u"xxxx"));
       },
       rx::NSRangeException,
       kReplacePrefix + "Replacement string length exceeds INT_MAX.",
       {}},
      // 4 matches x 6 units = 24; 24 + 4 reaches the limit.
      {"ResultTooLong",
       28,
       [] {
         (void)rx::stringByReplacingOccurrencesOfRegex(UnicodeString(u"aaaa"), kA,
                                                       UnicodeString(u"bbbbbb"));
       },
       rx::NSInternalInconsistencyException,
       kReplacePrefix + "Replaced string length exceeds INT_MAX.",
       {}},
      {"IcuFailureWhileMatching", 0,
       [] {
         UnicodeString subject;
         for (int i = 0; i < 2000000; ++i)
           subject.append(u'a');
         (void)rx::rangeOfRegex(subject, UnicodeString(u"(a|b)*c"));
       },
       rx::RXICURegexException,
       kRangePrefix + "ICU regular expression error #" + overflow + ", U_REGEX_STACK_OVERFLOW.",
       icuKeys},
      {"IcuFailureWhileReplacing", 0,
       [] { (void)rx::stringByReplacingOccurrencesOfRegex(kAbc, kA, UnicodeString(u"$9")); },
       rx::RXICURegexException,
       kReplacePrefix + "ICU regular expression error #" + badGroup +
           ", U_INDEX_OUTOFBOUNDS_ERROR.",
       icuReplaceKeys},
  };
}

class FailureTest : public RegexFixture, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTest, RaisesNamedExceptionWithPrefixedReasonOnce) {
  const FailureCase& c = GetParam();
  for (bool bypassed : {false, true}) {
    SCOPED_TRACE(bypassed ? "cache bypassed" : "cached");
    rx::testing::setCacheBypassed(bypassed);
    rx::testing::setLengthLimit(c.lengthLimit);
    try {
      c.call();
      ADD_FAILURE() << "nothing was raised";
    } catch (const rx::RXException& e) {
      EXPECT_EQ(e.name(), c.exceptionName);
      EXPECT_EQ(e.reason(), c.expectedReason);
      EXPECT_EQ(e.reason().find("*** ", 1), std::string::npos) << "prefix more than once";
      std::vector<std::string_view> keys;
      for (const auto& entry : e.userInfo().entries())
        keys.emplace_back(entry.first);
      EXPECT_EQ(keys, c.keys);
    }
    rx::testing::setLengthLimit(0);
    // The lock was released: the layer still works.
    EXPECT_EQ(rx::rangeOfRegex(kAbc, UnicodeString(u"c")), (Range{2, 1}));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, FailureTest, ::testing::ValuesIn(failureCases()), CaseName());

TEST_F(RegexFixture, IcuFailureDictionaryDescribesTheCall) {
  try {
    (void)rx::stringByReplacingOccurrencesOfRegex(kAbc, kA, UnicodeString(u"$9"));
    FAIL() << "nothing was raised";
  } catch (const rx::RXException& e) {
    const rx::Dictionary& info = e.userInfo();
    auto value = [&info](std::string_view key) {
      const std::string* found = info.find(key);
      return found != nullptr ? *found : std::string("<missing>");
    };
    EXPECT_EQ(value(rx::RXICURegexRegexErrorKey), "a");
    EXPECT_EQ(value(rx::RXICURegexRegexOptionsErrorKey), "0");
    EXPECT_EQ(value(rx::RXICURegexErrorNameErrorKey), "U_INDEX_OUTOFBOUNDS_ERROR");
    EXPECT_EQ(value(rx::RXICURegexSubjectStringErrorKey), "abc");
    EXPECT_EQ(value(rx::RXICURegexSubjectRangeErrorKey), "{0, 3}");
    EXPECT_EQ(value(rx::RXICURegexReplacementStringErrorKey), "$9");
    EXPECT_EQ(value(rx::RXICURegexReplacedCountErrorKey), "1");
    EXPECT_EQ(value(rx::NSLocalizedFailureReasonErrorKey),
              "The error U_INDEX_OUTOFBOUNDS_ERROR occurred.");
  }
}

TEST_F(RegexFixture, TextsJustBelowLengthLimitsAreAccepted) {
  rx::testing::setLengthLimit(4);  // subject 3 < 4
  EXPECT_EQ(rx::rangeOfRegex(kAbc, kA), (Range{0, 1}));
  // 3 / 2 + 2 * 1 = 3 and the result's 3 + 4 = 7 both stay below 8.
  rx::testing::setLengthLimit(8);
  EXPECT_EQ(utf8(*rx::stringByReplacingOccurrencesOfRegex(kAbc, kA, UnicodeString(u"z"))), "zbc");
}

TEST_F(RegexFixture, BindingFailureGoesThroughAssertionHandler) {
  rx::testing::failNextBinding();
  ::testing::internal::CaptureStderr();
  try {
    (void)rx::rangeOfRegex(kAbc, kA);
    ADD_FAILURE() << "nothing was raised";
  } catch (const rx::RXException& e) {
    EXPECT_EQ(e.name(), rx::NSInternalInconsistencyException);
    EXPECT_EQ(e.reason(), "Failed to set up UTF16 buffer.");
    std::vector<std::string> keys;
    for (const auto& entry : e.userInfo().entries())
      keys.push_back(entry.first);
    EXPECT_EQ(keys, (std::vector<std::string>{"function", "file", "line", "description",
                                              "exceptionName"}));
    EXPECT_EQ(*e.userInfo().find("exceptionName"), rx::NSInternalInconsistencyException);
  }
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("*** Assertion failure in "), std::string::npos) << log;
  EXPECT_NE(log.find("Failed to set up UTF16 buffer."), std::string::npos) << log;
  // The failed binding left nothing half-bound behind.
  EXPECT_EQ(rx::rangeOfRegex(kAbc, kA), (Range{0, 1}));
  EXPECT_EQ(utf8(*rx::stringByReplacingOccurrencesOfRegex(kAbc, kA, UnicodeString(u"z"))), "zbc");
}

struct PrefixCase {
  const char* name;
  bool isClass;
  std::string_view className;
  std::string_view operation;
  std::string expected;
};

const PrefixCase kPrefixCases[] = {
    {"Instance", false, "UnicodeString", "rangeOfRegex:", "*** -[UnicodeString rangeOfRegex:]: r"},
    {"Class", true, "RXRegex", "flush", "*** +[RXRegex flush]: r"},
    {"NoReceiver", false, "", "rangeOfRegex:", "*** -[<NULL> rangeOfRegex:]: r"},
    {"NoOperation", false, "UnicodeString", "", "*** -[UnicodeString :NULL:]: r"},
};

TEST(RegexPrefixTest, FormatsReceiverAndOperation) {
  for (const PrefixCase& c : kPrefixCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(rx::rx_prefixedReason(c.isClass, c.className, c.operation, "r"), c.expected);
  }
}

TEST(RegexAssertionHandlerTest, LogsAndThrowsTheNamedException) {
  rx::Dictionary failure;
  failure.set("function", "bind");
  failure.set("file", "cache.cpp");
  failure.set("line", "42");
  failure.set("description", "Invalid parameter not satisfying: entry != NULL");
  failure.set("exceptionName", std::string(rx::NSInternalInconsistencyException));
  ::testing::internal::CaptureStderr();
  try {
    rx::rx_assertionHandler(failure);
  } catch (const rx::RXException& e) {
    EXPECT_EQ(e.name(), rx::NSInternalInconsistencyException);
    EXPECT_EQ(e.reason(), "Invalid parameter not satisfying: entry != NULL");
    EXPECT_EQ(e.userInfo().entries(), failure.entries());
  }
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("*** Assertion failure in bind, cache.cpp:42: Invalid parameter not "
                     "satisfying: entry != NULL\n"),
            std::string::npos)
      << log;
}

TEST(RegexDictionaryTest, KeepsInsertionOrderAndReplacesInPlace) {
  rx::Dictionary d;
  d.set("b", "1");
  d.set("a", "2");
  d.set("b", "3");
  ASSERT_EQ(d.entries().size(), 2u);
  EXPECT_EQ(d.entries()[0], (rx::Dictionary::Entry{"b", "3"}));
  EXPECT_EQ(d.entries()[1], (rx::Dictionary::Entry{"a", "2"}));
  EXPECT_EQ(d.find("c"), nullptr);
}

}  // namespace
