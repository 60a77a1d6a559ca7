// Internals of the regular-expression layer: the compiled-pattern cache, the
// conversion buffers, the cache lock and, in the regex_test_hooks build, the
// hooks the tests use. Not for the program: include regex_additions.h there.
#pragma once

#include "regex_additions.h"
#include "rx_exception.h"

#include "platform.h"

#include <unicode/localpointer.h>
#include <unicode/unistr.h>
#include <unicode/uregex.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Checks of the cache's own bookkeeping. Going on after one of them fails
// would corrupt the cache for every later caller, so they end the process.
// The format has no line feed of its own: the log ends every line.
#define RX_HARD_CHECK(condition)                                                    \
  do {                                                                              \
    if (!(condition)) {                                                             \
      platform::logFormat("%s:%ld: Invalid parameter not satisfying: %s", __FILE__, \
                          static_cast<long>(__LINE__), #condition);                 \
      std::abort();                                                                 \
    }                                                                               \
  } while (false)

namespace rx {

using RXRegexOptions = std::uint32_t;

// One 4 x 4 bit matrix per group of four ways: row w (bits 4w..4w+3) tells in
// bit 3 - v whether way w was used more recently than way v.
using RXLRUCacheSet_t = std::uint16_t;

inline constexpr int kCacheSets = 13;
inline constexpr int kCacheWays = 4;
inline constexpr int kLookasideSlots = 64;
inline constexpr int kConversionBuffers = 4;
inline constexpr std::int32_t kFixedBufferUnits = 2048;
inline constexpr int kScratchStores = 5;
// Temporary stores up to this many bytes live on the stack.
inline constexpr std::size_t kStackStoreBytes = 0x1FFFF;
inline constexpr std::int64_t kIntMax = 2147483647;

// Marks way as the most recently used of its group.
void rx_lruUse(RXLRUCacheSet_t& set, int way);
// The least recently used way: the one whose row is all zero, the highest
// such way when there are several.
[[nodiscard]] int rx_lruVictim(RXLRUCacheSet_t set);

// A subject's UTF-16 units copied into a store the cache owns.
struct RXConversionBuffer {
  icu::UnicodeString string;  // the text whose units the store holds
  std::uint64_t hash = 0;
  std::int64_t length = 0;
  UChar* uniChar = nullptr;         // null while the buffer is empty
  std::vector<UChar> dynamicStore;  // the store of a buffer for long texts
};

struct RXCachedRegex {
  icu::UnicodeString regexString;  // owned copy of the pattern
  std::uint64_t regexHash = 0;
  RXRegexOptions options = 0;
  icu::LocalURegularExpressionPointer icu_regex;  // null when the entry is empty
  icu::UnicodeString setToString;                 // shares the subject's storage where ICU can
  std::uint64_t setToHash = 0;
  std::int64_t setToLength = 0;
  bool setToNeedsConversion : 1 = false;
  const UChar* setToUniChar = nullptr;  // null while unbound
  Range setToRange{NSNotFound, 0};
  Range lastFindRange{NSNotFound, 0};
  Range lastMatchRange{NSNotFound, 0};
  RXConversionBuffer* buffer = nullptr;
};

// A spin lock; the holder never sleeps under it for long.
class RXSpinLock {
 public:
  void lock();
  void unlock() { flag_.clear(std::memory_order_release); }
  [[nodiscard]] bool isLocked() const { return flag_.test(std::memory_order_relaxed); }

 private:
  std::atomic_flag flag_;
};

extern RXSpinLock rx_cacheSpinLock;

// Called whenever the lock had to be cleaned up; a place for a breakpoint.
void rx_debugCacheSpinLock();

// Holds rx_cacheSpinLock for one operation. Leaving the scope while the lock is
// still marked as taken (an escaping exception, say) releases it and logs the
// condition once per process.
class RXCacheLockGuard {
 public:
  RXCacheLockGuard() = default;
  RXCacheLockGuard(const RXCacheLockGuard&) = delete;
  RXCacheLockGuard& operator=(const RXCacheLockGuard&) = delete;
  ~RXCacheLockGuard();

  void lock();
  void unlock();

 private:
  bool marked_ = false;
};

// The range to search, with the all-ones length meaning "to the end".
inline constexpr std::uint64_t kRangeToEnd = ~std::uint64_t{0};

// The first-match operation over any range of the subject, with options; the
// public rangeOfRegex searches (0, kRangeToEnd) with options 0.
Range rx_rangeOfRegex(const icu::UnicodeString* subject, const icu::UnicodeString* pattern,
                      RXRegexOptions options, Range range, std::string_view operation);

// What an operation found under the lock; raised only after the lock is
// released and the temporary stores are freed.
struct RXRecord {
  std::optional<std::string> exceptionName;  // set when an exception is recorded
  std::string reason;                        // without the receiver prefix
  std::optional<Dictionary> assertion;       // a failed invariant for rx_assertionHandler

  [[nodiscard]] bool any() const { return exceptionName.has_value() || assertion.has_value(); }
  void recordException(std::string_view name, std::string_view bareReason);
  void recordAssertion(const char* function, const char* file, long line,
                       std::string_view description);
};

// The limit every length check uses (2147483647 units unless a test lowers
// it), and whether a test has the cache bypassed. Without the test hooks both
// are constants, so the program's own build never checks them.
#if RX_TEST_HOOKS
[[nodiscard]] std::int64_t rx_lengthLimit();
[[nodiscard]] bool rx_cacheBypassed();
#else
[[nodiscard]] constexpr std::int64_t rx_lengthLimit() {
  return kIntMax;
}
[[nodiscard]] constexpr bool rx_cacheBypassed() {
  return false;
}
#endif

// Empties an entry: closes its pattern and releases its texts.
void rx_clearCachedRegex(RXCachedRegex& entry);
// Stores the pattern in the entry and compiles it; false (entry emptied) when
// it is too long or does not compile.
bool rx_compileCachedRegex(RXCachedRegex& entry, const icu::UnicodeString& pattern,
                           std::uint64_t hash, RXRegexOptions options, RXRecord& record);
// The cached compiled pattern, compiling on a miss; nullptr when the pattern
// does not compile. Called with the cache lock held.
RXCachedRegex* rx_getCachedRegex(const icu::UnicodeString& pattern, RXRegexOptions options,
                                 RXRecord& record);
// Binds the entry to range of subject (kRangeToEnd as length: to the end),
// checking the lengths and the range; false when something was recorded.
bool rx_getCachedRegexSetToString(RXCachedRegex& entry, const icu::UnicodeString& subject,
                                  Range range, RXRecord& record, UErrorCode& status);
// Makes the entry hold subject (units direct or in a conversion buffer).
void rx_setCachedRegexToString(RXCachedRegex& entry, const icu::UnicodeString& subject,
                               std::uint64_t hash);
// The first match in range, answered from the entry's memory of the last
// search where it can be.
Range rx_search(RXCachedRegex& entry, Range range, UErrorCode& status);
// The first match in range, always searching.
Range rx_searchOnce(RXCachedRegex& entry, Range range, UErrorCode& status);

// Hooks for the layer's tests and benchmark, compiled only into the
// regex_test_hooks library (RX_TEST_HOOKS).
#if RX_TEST_HOOKS
namespace testing {

// What the layer has done since the last reset.
struct Counters {
  std::uint64_t compilations = 0;       // uregex_open calls
  std::uint64_t searches = 0;           // uregex_find / uregex_findNext calls
  std::uint64_t rememberedMatches = 0;  // first matches answered from memory
  std::uint64_t textBindings = 0;       // uregex_setText calls
  std::uint64_t conversions = 0;        // conversion buffers filled
};
[[nodiscard]] Counters counters();
void resetCounters();

// Empties every cache entry, buffer and LRU word, as at process start.
void clearCache();

// With the cache bypassed every call compiles, binds and searches afresh.
void setCacheBypassed(bool bypassed);

// Lowers the length limit (normally 2147483647 units) so the length checks
// can be reached with small texts; 0 restores the normal limit.
void setLengthLimit(std::int64_t limit);

// Makes the next binding of a subject fail as if ICU refused its units.
void failNextBinding();

// The set a pattern falls into with the given options.
[[nodiscard]] int cacheSetOf(const icu::UnicodeString& pattern, RXRegexOptions options);

// The number of times rx_debugCacheSpinLock ran.
[[nodiscard]] std::uint64_t debugCacheSpinLockCount();

}  // namespace testing
#endif
}  // namespace rx
