// The compiled-pattern cache: LRU order, eviction, reuse without compiling,
// the memory of the last match, conversion buffers, the lock.
#include "param_names.h"
#include "regex_additions.h"
#include "regex_cache_p.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

using icu::UnicodeString;
using rx::Range;

class RegexCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rx::testing::setCacheBypassed(false);
    rx::testing::setLengthLimit(0);
    rx::testing::clearCache();
    rx::testing::resetCounters();
  }
  void TearDown() override { rx::testing::clearCache(); }
};

std::string utf8(const UnicodeString& text) {
  std::string out;
  return text.toUTF8String(out);
}

// ---- LRU word -----------------------------------------------------------------------

struct LruCase {
  const char* name;
  std::vector<int> uses;
  std::vector<int> victims;  // least recently used way after each use
  rx::RXLRUCacheSet_t finalWord;
};

const LruCase kLruCases[] = {
    {"EmptySetFillsWayThreeFirst", {3, 2, 1, 0}, {2, 1, 0, 3}, 0x0137},
    {"AscendingUseLeavesWayThreeOldestUntilUsed", {0, 1, 2, 3}, {3, 3, 3, 0}, 0xEC80},
    {"RepeatedUseChangesNothing", {1, 1, 1}, {3, 3, 3}, 0x00B0},
    {"ReuseMovesWayToFront", {3, 2, 1, 0, 3}, {2, 1, 0, 3, 2}, 0xE026},
    {"OldestAfterMixedUse", {3, 2, 1, 0, 2, 3, 1}, {2, 1, 0, 3, 3, 1, 0}, 0xA8B0},
    {"SingleUseOfWayZero", {0}, {3}, 0x0007},
};

class LruTest : public ::testing::TestWithParam<LruCase> {};

TEST_P(LruTest, VictimFollowsUseOrder) {
  const LruCase& c = GetParam();
  ASSERT_EQ(c.uses.size(), c.victims.size());
  rx::RXLRUCacheSet_t word = 0;
  EXPECT_EQ(rx::rx_lruVictim(word), 3);
  for (std::size_t i = 0; i < c.uses.size(); ++i) {
    rx::rx_lruUse(word, c.uses[i]);
    EXPECT_EQ(rx::rx_lruVictim(word), c.victims[i])
        << "after use #" << i << " of way " << c.uses[i];
    // The way just used is never the victim.
    EXPECT_NE(rx::rx_lruVictim(word), c.uses[i]);
  }
  EXPECT_EQ(word, c.finalWord) << std::hex << word;
}

INSTANTIATE_TEST_SUITE_P(Cases, LruTest, ::testing::ValuesIn(kLruCases), CaseName());

TEST(LruDeathTest, WayOutOfRangeEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  rx::RXLRUCacheSet_t word = 0;
  // One line, ended once: the log adds the line feed.
  EXPECT_DEATH(rx::rx_lruUse(word, 4),
               "Invalid parameter not satisfying: way >= 0 && way < kCacheWays\n$");
}

// ---- pattern cache ------------------------------------------------------------------

// Distinct patterns that all fall into the same set.
std::vector<UnicodeString> patternsInOneSet(int count) {
  std::vector<UnicodeString> found;
  int wanted = -1;
  for (int i = 0; static_cast<int>(found.size()) < count; ++i) {
    UnicodeString pattern = UnicodeString(u"k") + UnicodeString(std::to_string(i).c_str(), "");
    const int set = rx::testing::cacheSetOf(pattern, 0);
    if (wanted < 0) wanted = set;
    if (set == wanted) found.push_back(pattern);
  }
  return found;
}

TEST_F(RegexCacheTest, FifthPatternInFullSetEvictsLeastRecentlyUsed) {
  const auto patterns = patternsInOneSet(5);
  const UnicodeString subject(u"k0 k1 k2 k3 k4 k5 k6 k7 k8 k9");
  for (int i = 0; i < 4; ++i)
    (void)rx::rangeOfRegex(subject, patterns[i]);
  EXPECT_EQ(rx::testing::counters().compilations, 4u);
  // Using the first again makes the second the least recently used.
  (void)rx::rangeOfRegex(subject, patterns[0]);
  EXPECT_EQ(rx::testing::counters().compilations, 4u);
  (void)rx::rangeOfRegex(subject, patterns[4]);
  EXPECT_EQ(rx::testing::counters().compilations, 5u);
  for (int i : {0, 2, 3, 4})
    (void)rx::rangeOfRegex(subject, patterns[i]);
  EXPECT_EQ(rx::testing::counters().compilations, 5u) << "a survivor was compiled again";
  (void)rx::rangeOfRegex(subject, patterns[1]);
  EXPECT_EQ(rx::testing::counters().compilations, 6u) << "the evicted one was not";
}

TEST_F(RegexCacheTest, PatternUsedAgainIsFoundWithoutCompiling) {
  const UnicodeString subject(u"a;b");
  (void)rx::stringByReplacingOccurrencesOfRegex(subject, UnicodeString(u";"), UnicodeString(u","));
  ASSERT_EQ(rx::testing::counters().compilations, 1u);
  // A different object with equal text is the same pattern.
  const UnicodeString again(u";");
  EXPECT_EQ(utf8(*rx::stringByReplacingOccurrencesOfRegex(subject, again, UnicodeString(u"-"))),
            "a-b");
  EXPECT_EQ(rx::rangeOfRegex(subject, again), (Range{1, 1}));
  EXPECT_EQ(rx::testing::counters().compilations, 1u);
}

TEST_F(RegexCacheTest, AlternatingPatternsStayCompiled) {
  const UnicodeString subject(u"a\\;b;c");
  const UnicodeString escape(u"\\\\;"), placeholder(u"___nonsep___");
  for (int i = 0; i < 10; ++i) {
    const auto hidden = rx::stringByReplacingOccurrencesOfRegex(subject, escape, placeholder);
    const auto back = rx::stringByReplacingOccurrencesOfRegex(*hidden, placeholder, escape);
    EXPECT_EQ(*back, subject);
  }
  EXPECT_EQ(rx::testing::counters().compilations, 2u);
}

TEST_F(RegexCacheTest, OptionsArePartOfTheKey) {
  const UnicodeString subject(u"ABC"), pattern(u"b");
  const rx::Range whole{0, rx::kRangeToEnd};
  EXPECT_EQ(rx::rx_rangeOfRegex(&subject, &pattern, 0, whole, "rangeOfRegex:").location,
            rx::NSNotFound);
  EXPECT_EQ(
      rx::rx_rangeOfRegex(&subject, &pattern, UREGEX_CASE_INSENSITIVE, whole, "rangeOfRegex:"),
      (Range{1, 1}));
  EXPECT_EQ(rx::rx_rangeOfRegex(&subject, &pattern, 0, whole, "rangeOfRegex:").location,
            rx::NSNotFound);
  EXPECT_EQ(rx::testing::counters().compilations, 2u);
}

TEST_F(RegexCacheTest, SearchOfPartOfTheSubjectBindsJustThatPart) {
  const UnicodeString subject(u"a;b;c;d"), pattern(u";");
  EXPECT_EQ(rx::rx_rangeOfRegex(&subject, &pattern, 0, Range{2, 5}, "rangeOfRegex:"),
            (Range{3, 1}));
  // Anchors apply at the edges of the bound part.
  const UnicodeString anchored(u"^b");
  EXPECT_EQ(rx::rx_rangeOfRegex(&subject, &anchored, 0, Range{2, 5}, "rangeOfRegex:"),
            (Range{2, 1}));
  EXPECT_EQ(rx::rx_rangeOfRegex(&subject, &pattern, 0, Range{4, 1}, "rangeOfRegex:").location,
            rx::NSNotFound);
  EXPECT_EQ(rx::rangeOfRegex(subject, pattern), (Range{1, 1}));
}

TEST_F(RegexCacheTest, PatternThatDoesNotCompileIsTriedEachTime) {
  const UnicodeString subject(u"abc"), bad(u"(");
  EXPECT_EQ(rx::rangeOfRegex(subject, bad).location, rx::NSNotFound);
  EXPECT_EQ(rx::rangeOfRegex(subject, bad).location, rx::NSNotFound);
  EXPECT_EQ(rx::testing::counters().compilations, 2u);
  EXPECT_EQ(rx::rangeOfRegex(subject, UnicodeString(u"b")), (Range{1, 1}));
}

TEST_F(RegexCacheTest, BypassCompilesEveryTime) {
  rx::testing::setCacheBypassed(true);
  const UnicodeString subject(u"abc"), pattern(u"b");
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(rx::rangeOfRegex(subject, pattern), (Range{1, 1}));
  EXPECT_EQ(rx::testing::counters().compilations, 3u);
  EXPECT_EQ(rx::testing::counters().searches, 3u);
}

// ---- memory of the last match -------------------------------------------------------

struct MemoryCase {
  const char* name;
  std::u16string_view subject;
  std::u16string_view pattern;
  Range expected;
  bool secondFromMemory;
};

const MemoryCase kMemoryCases[] = {
    {"NonEmptyMatchIsRemembered", u"ab\rc", u"\r", {2, 1}, true},
    {"LongSubjectMatchIsRemembered",
     u"/home/someone/Documents/contacts/card.vcf",
     u"/[^/]+$",
     {32, 9},
     true},
    {"EmptyMatchIsSearchedAgain", u"ab", u"$", {2, 0}, false},
    {"EmptySubjectEmptyMatchIsSearchedAgain", u"", u"a*", {0, 0}, false},
    {"NoMatchIsSearchedAgain", u"abc", u"\r", {rx::NSNotFound, 0}, false},
};

class MemoryTest : public RegexCacheTest, public ::testing::WithParamInterface<MemoryCase> {};

TEST_P(MemoryTest, SecondSearchOfSameSubject) {
  const MemoryCase& c = GetParam();
  const UnicodeString subject(c.subject.data(), static_cast<int32_t>(c.subject.size()));
  const UnicodeString pattern(c.pattern.data(), static_cast<int32_t>(c.pattern.size()));
  EXPECT_EQ(rx::rangeOfRegex(subject, pattern), c.expected);
  const auto before = rx::testing::counters();
  EXPECT_EQ(before.searches, 1u);
  EXPECT_EQ(rx::rangeOfRegex(subject, pattern), c.expected);
  const auto after = rx::testing::counters();
  EXPECT_EQ(after.searches - before.searches, c.secondFromMemory ? 0u : 1u);
  EXPECT_EQ(after.rememberedMatches - before.rememberedMatches, c.secondFromMemory ? 1u : 0u);
  EXPECT_EQ(after.compilations, 1u);
  EXPECT_EQ(after.textBindings, 1u) << "the subject was bound again";
}

INSTANTIATE_TEST_SUITE_P(Cases, MemoryTest, ::testing::ValuesIn(kMemoryCases), CaseName());

TEST_F(RegexCacheTest, ChangedSubjectIsNotAnsweredFromMemory) {
  UnicodeString subject(u"xbx");
  const UnicodeString pattern(u"b");
  EXPECT_EQ(rx::rangeOfRegex(subject, pattern), (Range{1, 1}));
  subject = UnicodeString(u"xxb");  // same object, other text
  EXPECT_EQ(rx::rangeOfRegex(subject, pattern), (Range{2, 1}));
  subject.setCharAt(0, u'b');  // changed in place, same length
  EXPECT_EQ(rx::rangeOfRegex(subject, pattern), (Range{0, 1}));
}

TEST_F(RegexCacheTest, ReplacementForgetsTheRememberedMatch) {
  const UnicodeString subject(u"a-b-c"), pattern(u"-");
  EXPECT_EQ(rx::rangeOfRegex(subject, pattern), (Range{1, 1}));
  EXPECT_EQ(utf8(*rx::stringByReplacingOccurrencesOfRegex(subject, pattern, UnicodeString(u"+"))),
            "a+b+c");
  const auto before = rx::testing::counters();
  EXPECT_EQ(rx::rangeOfRegex(subject, pattern), (Range{1, 1}));
  EXPECT_EQ(rx::testing::counters().searches - before.searches, 1u);
}

TEST_F(RegexCacheTest, SubjectsThatNoLongerExistAreNotUsed) {
  const UnicodeString pattern(u"[0-9]+");
  for (int i = 0; i < 50; ++i) {
    const std::string text = std::string(static_cast<std::size_t>(i), 'x') + std::to_string(i);
    auto* subject = new UnicodeString(UnicodeString::fromUTF8(text));
    EXPECT_EQ(rx::rangeOfRegex(*subject, pattern),
              (Range{static_cast<std::uint64_t>(i), std::to_string(i).size()}));
    delete subject;
  }
}

// ---- conversion buffers ---------------------------------------------------------------

TEST_F(RegexCacheTest, ShortSubjectIsConvertedOnceAndShared) {
  const UnicodeString subject(u"a;b");  // kept inside the string object
  (void)rx::rangeOfRegex(subject, UnicodeString(u";"));
  EXPECT_EQ(rx::testing::counters().conversions, 1u);
  (void)rx::rangeOfRegex(subject, UnicodeString(u"b"));  // another entry, same text
  EXPECT_EQ(rx::testing::counters().conversions, 1u);
}

TEST_F(RegexCacheTest, LongHeapSubjectIsUsedDirectly) {
  const UnicodeString subject(u"a long subject whose units live on the heap; shared by count");
  (void)rx::rangeOfRegex(subject, UnicodeString(u";"));
  EXPECT_EQ(rx::testing::counters().conversions, 0u);
}

TEST_F(RegexCacheTest, AliasedSubjectIsCopiedIntoDynamicBuffer) {
  std::u16string storage(5000, u'a');
  storage[4000] = u';';
  const UnicodeString alias(false, storage.data(), static_cast<int32_t>(storage.size()));
  EXPECT_EQ(rx::rangeOfRegex(alias, UnicodeString(u";")), (Range{4000, 1}));
  EXPECT_EQ(rx::testing::counters().conversions, 1u);
  // The caller's memory changes; the cache must not answer from its old copy.
  storage[4000] = u'a';
  storage[10] = u';';
  EXPECT_EQ(rx::rangeOfRegex(alias, UnicodeString(u";")), (Range{10, 1}));
}

TEST_F(RegexCacheTest, EntryWhoseBufferWasTakenOverIsBoundAgain) {
  // Five short subjects for four fixed buffers: the first buffer is refilled
  // while its entry still points at it.
  const UnicodeString patterns[] = {UnicodeString(u"0"), UnicodeString(u"1"), UnicodeString(u"2"),
                                    UnicodeString(u"3"), UnicodeString(u"4")};
  const UnicodeString subjects[] = {UnicodeString(u"x0x"), UnicodeString(u"yy1y"),
                                    UnicodeString(u"zzz2z"), UnicodeString(u"w3"),
                                    UnicodeString(u"vvvvv4")};
  for (int i = 0; i < 5; ++i)
    (void)rx::rangeOfRegex(subjects[i], patterns[i]);
  EXPECT_EQ(rx::testing::counters().conversions, 5u);
  EXPECT_EQ(
      utf8(*rx::stringByReplacingOccurrencesOfRegex(subjects[0], patterns[0], UnicodeString(u"#"))),
      "x#x");
  EXPECT_EQ(rx::rangeOfRegex(subjects[1], patterns[1]), (Range{2, 1}));
}

// ---- lock -------------------------------------------------------------------------------

TEST_F(RegexCacheTest, TwoThreadsAtOnceGetCorrectResults) {
  std::atomic<int> wrong{0};
  auto work = [&wrong](int id) {
    // Both threads share the patterns, so entries are rebound to the other
    // thread's subjects all the time.
    const UnicodeString semicolon(u";"), escape(u"\\\\;"), placeholder(u"___nonsep___");
    for (int i = 0; i < 3000; ++i) {
      const std::string padding(static_cast<std::size_t>((i + id * 7) % 40), 'p');
      const UnicodeString subject =
          UnicodeString::fromUTF8(padding + (id == 0 ? "A\\;B;" : "CC;D\\;"));
      const Range r = rx::rangeOfRegex(subject, semicolon);
      const std::uint64_t expected = padding.size() + 2;  // both lines have their first ";" third
      if (r.location != expected || r.length != 1) ++wrong;
      const auto hidden = rx::stringByReplacingOccurrencesOfRegex(subject, escape, placeholder);
      const auto back = hidden
                            ? rx::stringByReplacingOccurrencesOfRegex(*hidden, placeholder, escape)
                            : std::nullopt;
      if (!back || *back != subject) ++wrong;
      if (hidden && hidden->indexOf(u'\\') >= 0) ++wrong;
    }
  };
  std::thread a(work, 0), b(work, 1);
  a.join();
  b.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(RegexCacheTest, LockLeftTakenIsReleasedAndReportedOnce) {
  const std::string forced =
      "[Regex] Unusual condition detected: Recorded that rx_cacheSpinLock was locked, but for "
      "some reason it was not unlocked.  Forcibly unlocking rx_cacheSpinLock. Set a breakpoint "
      "at rx_debugCacheSpinLock to debug. This warning is only printed once.\n";
  const std::string notLocked =
      "[Regex] Unusual condition detected: Recorded that rx_cacheSpinLock was locked, but for "
      "some reason it was not unlocked, yet rx_cacheSpinLock is currently not locked? Set a "
      "breakpoint at rx_debugCacheSpinLock to debug. This warning is only printed once.\n";
  struct Step {
    bool releasedBehindItsBack;
    std::string expectedLog;  // empty: nothing logged
  };
  const Step steps[] = {{false, forced}, {false, ""}, {true, notLocked}, {true, ""}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.expectedLog.empty() ? "repeat" : step.expectedLog);
    const auto hooks = rx::testing::debugCacheSpinLockCount();
    ::testing::internal::CaptureStderr();
    {
      rx::RXCacheLockGuard guard;
      guard.lock();
      if (step.releasedBehindItsBack) rx::rx_cacheSpinLock.unlock();
    }
    const std::string log = ::testing::internal::GetCapturedStderr();
    if (step.expectedLog.empty()) {
      EXPECT_EQ(log, "");
    } else {
      ASSERT_GE(log.size(), step.expectedLog.size());
      EXPECT_EQ(log.substr(log.size() - step.expectedLog.size()), step.expectedLog);
    }
    EXPECT_EQ(rx::testing::debugCacheSpinLockCount(), hooks + 1);
    EXPECT_FALSE(rx::rx_cacheSpinLock.isLocked());
  }
  EXPECT_EQ(rx::rangeOfRegex(UnicodeString(u"ab"), UnicodeString(u"b")), (Range{1, 1}));
}

}  // namespace
