// The process-wide cache of compiled patterns and converted subjects. The
// system applies the same few patterns to the same texts over and over, so a
// compiled pattern stays bound to its last subject and remembers its last
// match. Everything here is guarded by rx_cacheSpinLock.
#include "platform.h"
#include "regex_cache_p.h"

#include <cstdlib>
#include <cstring>
#include <thread>

namespace rx {
namespace {

#if RX_TEST_HOOKS
struct AtomicCounters {
  std::atomic<std::uint64_t> compilations{0};
  std::atomic<std::uint64_t> searches{0};
  std::atomic<std::uint64_t> rememberedMatches{0};
  std::atomic<std::uint64_t> textBindings{0};
  std::atomic<std::uint64_t> conversions{0};
  std::atomic<std::uint64_t> lockCleanUps{0};
};
AtomicCounters g_counters;

std::atomic<bool> g_cacheBypassed{false};
std::atomic<std::int64_t> g_lengthLimit{kIntMax};
std::atomic<bool> g_failNextBinding{false};

void bump(std::atomic<std::uint64_t>& counter) {
  counter.fetch_add(1, std::memory_order_relaxed);
}
#define RX_COUNT(counter) bump(g_counters.counter)
#else
// Without the test hooks nothing is counted.
#define RX_COUNT(counter) static_cast<void>(0)
#endif

std::atomic<bool> g_loggedForcedUnlock{false};
std::atomic<bool> g_loggedNotLocked{false};

constexpr Range kNotFound{NSNotFound, 0};

}  // namespace

// The cache state.
RXCachedRegex rx_cachedRegexes[kCacheSets * kCacheWays];
RXLRUCacheSet_t rx_cachedRegexCacheSets[kCacheSets];
RXCachedRegex* rx_lastCachedRegex = nullptr;
std::uint8_t rx_regexLookasideCache[kLookasideSlots];
RXConversionBuffer rx_lruFixedBuffer[kConversionBuffers];
UChar rx_lruFixedUniChar[kConversionBuffers][kFixedBufferUnits];
RXLRUCacheSet_t rx_lruFixedBufferCacheSet;
RXConversionBuffer rx_lruDynamicBuffer[kConversionBuffers];
RXLRUCacheSet_t rx_lruDynamicBufferCacheSet;
RXSpinLock rx_cacheSpinLock;

// ---- LRU matrix --------------------------------------------------------------

void rx_lruUse(RXLRUCacheSet_t& set, int way) {
  RX_HARD_CHECK(way >= 0 && way < kCacheWays);
  unsigned word = set;
  word |= 0xFu << (4 * way);
  const unsigned column = 1u << (3 - way);
  word &= ~(column | column << 4 | column << 8 | column << 12);
  set = static_cast<RXLRUCacheSet_t>(word);
}

int rx_lruVictim(RXLRUCacheSet_t set) {
  for (int way = kCacheWays - 1; way >= 0; --way) {
    if (((set >> (4 * way)) & 0xFu) == 0) return way;
  }
  RX_HARD_CHECK(false && "no least recently used way");
  return 0;
}

// ---- lock --------------------------------------------------------------------

void RXSpinLock::lock() {
  while (flag_.test_and_set(std::memory_order_acquire)) {
    // Held only for one search or replacement: give the holder the core.
    std::this_thread::yield();
  }
}

void rx_debugCacheSpinLock() {
  RX_COUNT(lockCleanUps);
}

void RXCacheLockGuard::lock() {
  rx_cacheSpinLock.lock();
  marked_ = true;
}

void RXCacheLockGuard::unlock() {
  marked_ = false;
  rx_cacheSpinLock.unlock();
}

RXCacheLockGuard::~RXCacheLockGuard() {
  if (!marked_) return;
  if (rx_cacheSpinLock.isLocked()) {
    rx_cacheSpinLock.unlock();
    if (!g_loggedForcedUnlock.exchange(true)) {
      platform::logLine(
          "[Regex] Unusual condition detected: Recorded that rx_cacheSpinLock was locked, but for "
          "some reason it was not unlocked.  Forcibly unlocking rx_cacheSpinLock. Set a "
          "breakpoint at rx_debugCacheSpinLock to debug. This warning is only printed once.");
    }
  } else if (!g_loggedNotLocked.exchange(true)) {
    platform::logLine(
        "[Regex] Unusual condition detected: Recorded that rx_cacheSpinLock was locked, but for "
        "some reason it was not unlocked, yet rx_cacheSpinLock is currently not locked? Set a "
        "breakpoint at rx_debugCacheSpinLock to debug. This warning is only printed once.");
  }
  rx_debugCacheSpinLock();
}

// ---- records -----------------------------------------------------------------

void RXRecord::recordException(std::string_view name, std::string_view bareReason) {
  if (any()) return;  // the first failure is the one reported
  exceptionName = std::string(name);
  reason = std::string(bareReason);
}

void RXRecord::recordAssertion(const char* function, const char* file, long line,
                               std::string_view description) {
  if (any()) return;
  Dictionary failure;
  failure.set("function", function);
  failure.set("file", file);
  failure.set("line", std::to_string(line));
  failure.set("description", std::string(description));
  failure.set("exceptionName", std::string(NSInternalInconsistencyException));
  assertion = std::move(failure);
}

#if RX_TEST_HOOKS
std::int64_t rx_lengthLimit() {
  return g_lengthLimit.load(std::memory_order_relaxed);
}
bool rx_cacheBypassed() {
  return g_cacheBypassed.load(std::memory_order_relaxed);
}
#endif

// ---- entries -----------------------------------------------------------------

namespace {

void unbind(RXCachedRegex& entry) {
  entry.setToString.remove();
  entry.setToHash = 0;
  entry.setToLength = 0;
  entry.setToNeedsConversion = false;
  entry.setToUniChar = nullptr;
  entry.setToRange = kNotFound;
  entry.lastFindRange = kNotFound;
  entry.lastMatchRange = kNotFound;
  entry.buffer = nullptr;
}

std::uint64_t hashOf(const icu::UnicodeString& text) {
  return static_cast<std::uint32_t>(text.hashCode());
}

int entryNumber(const RXCachedRegex* entry) {
  const auto number = entry - rx_cachedRegexes;
  RX_HARD_CHECK(number >= 0 && number < kCacheSets * kCacheWays);
  return static_cast<int>(number);
}

// The address only spreads patterns over the slots; a hit is still decided
// by the entry's own copy of the text.
int lookasideSlot(const icu::UnicodeString& pattern, RXRegexOptions options) {
  const auto address = reinterpret_cast<std::uintptr_t>(&pattern);
  return static_cast<int>((address / 16 + options + options / 16) % kLookasideSlots);
}

bool holds(const RXCachedRegex& entry, const icu::UnicodeString& pattern, RXRegexOptions options) {
  return entry.icu_regex.isValid() && entry.options == options && entry.regexString == pattern;
}

void markUsed(RXCachedRegex& entry, int slot) {
  const int number = entryNumber(&entry);
  rx_lastCachedRegex = &entry;
  rx_regexLookasideCache[slot] = static_cast<std::uint8_t>(number);
  rx_lruUse(rx_cachedRegexCacheSets[number / kCacheWays], number % kCacheWays);
}

// True when the buffer still holds the units the entry handed to ICU: another
// entry may have refilled it since.
bool bufferStillHolds(const RXCachedRegex& entry) {
  const RXConversionBuffer* buffer = entry.buffer;
  return buffer != nullptr && buffer->uniChar == entry.setToUniChar &&
         buffer->hash == entry.setToHash && buffer->length == entry.setToLength &&
         buffer->string == entry.setToString;
}

RXConversionBuffer& conversionBufferFor(const icu::UnicodeString& text, std::uint64_t hash) {
  const std::int32_t length = text.length();
  const bool fixed = length < kFixedBufferUnits;
  RXConversionBuffer* group = fixed ? rx_lruFixedBuffer : rx_lruDynamicBuffer;
  RXLRUCacheSet_t& lru = fixed ? rx_lruFixedBufferCacheSet : rx_lruDynamicBufferCacheSet;
  for (int way = 0; way < kConversionBuffers; ++way) {
    RXConversionBuffer& buffer = group[way];
    if (buffer.uniChar != nullptr && buffer.hash == hash && buffer.length == length &&
        buffer.string == text) {
      rx_lruUse(lru, way);
      return buffer;
    }
  }
  const int way = rx_lruVictim(lru);
  RXConversionBuffer& buffer = group[way];
  buffer.string = text;
  buffer.hash = hash;
  buffer.length = length;
  if (fixed) {
    buffer.uniChar = rx_lruFixedUniChar[way];
  } else {
    buffer.dynamicStore.resize(static_cast<std::size_t>(length));
    buffer.uniChar = buffer.dynamicStore.data();
  }
  text.extract(0, length, buffer.uniChar);
  rx_lruUse(lru, way);
  RX_COUNT(conversions);
  return buffer;
}

}  // namespace

void rx_clearCachedRegex(RXCachedRegex& entry) {
  if (rx_lastCachedRegex == &entry) rx_lastCachedRegex = nullptr;
  entry.icu_regex.adoptInstead(nullptr);
  entry.regexString.remove();
  entry.regexHash = 0;
  entry.options = 0;
  unbind(entry);
}

bool rx_compileCachedRegex(RXCachedRegex& entry, const icu::UnicodeString& pattern,
                           std::uint64_t hash, RXRegexOptions options, RXRecord& record) {
  rx_clearCachedRegex(entry);
  if (pattern.length() >= rx_lengthLimit()) {
    record.recordException(NSRangeException, "Regex string length exceeds INT_MAX");
    return false;
  }
  entry.regexString = pattern;
  entry.regexHash = hash;
  entry.options = options;
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError{};
  RX_COUNT(compilations);
  // The entry's own copy keeps the units alive for as long as ICU needs them.
  entry.icu_regex.adoptInstead(uregex_open(
      entry.regexString.getBuffer(), entry.regexString.length(), options, &parseError, &status));
  if (U_FAILURE(status) || entry.icu_regex.isNull()) {
    rx_clearCachedRegex(entry);
    return false;
  }
  return true;
}

RXCachedRegex* rx_getCachedRegex(const icu::UnicodeString& pattern, RXRegexOptions options,
                                 RXRecord& record) {
  if (rx_lastCachedRegex != nullptr && holds(*rx_lastCachedRegex, pattern, options)) {
    return rx_lastCachedRegex;
  }
  const int slot = lookasideSlot(pattern, options);
  RXCachedRegex& lookaside = rx_cachedRegexes[rx_regexLookasideCache[slot]];
  if (holds(lookaside, pattern, options)) {
    markUsed(lookaside, slot);
    return &lookaside;
  }
  const std::uint64_t hash = hashOf(pattern);
  const int set = static_cast<int>((hash ^ options) % kCacheSets);
  RX_HARD_CHECK(set >= 0 && set < kCacheSets);
  for (int way = kCacheWays - 1; way >= 0; --way) {
    RXCachedRegex& entry = rx_cachedRegexes[set * kCacheWays + way];
    if (entry.regexHash == hash && holds(entry, pattern, options)) {
      markUsed(entry, slot);
      return &entry;
    }
  }
  const int way = rx_lruVictim(rx_cachedRegexCacheSets[set]);
  RXCachedRegex& entry = rx_cachedRegexes[set * kCacheWays + way];
  if (!rx_compileCachedRegex(entry, pattern, hash, options, record)) return nullptr;
  markUsed(entry, slot);
  return &entry;
}

void rx_setCachedRegexToString(RXCachedRegex& entry, const icu::UnicodeString& subject,
                               std::uint64_t hash) {
  if (entry.setToUniChar != nullptr && entry.setToHash == hash &&
      entry.setToLength == subject.length() && entry.setToString == subject &&
      (!entry.setToNeedsConversion || bufferStillHolds(entry))) {
    return;
  }
  unbind(entry);
  // A long text's storage is reference-counted, so this copy shares the very
  // units the caller holds and ICU can use them directly. A short text lives
  // inside the caller's string object (and an alias in memory the caller
  // owns), so its units are copied into a conversion buffer that outlives the
  // call.
  entry.setToString = subject;
  entry.setToHash = hash;
  entry.setToLength = subject.length();
  const UChar* units = entry.setToString.getBuffer();
  if (units != nullptr && units == subject.getBuffer()) {
    entry.setToUniChar = units;
    return;
  }
  if (entry.setToString.isBogus()) return;  // no units at all: the caller records a failure
  RXConversionBuffer& buffer = conversionBufferFor(entry.setToString, hash);
  entry.buffer = &buffer;
  entry.setToNeedsConversion = true;
  entry.setToUniChar = buffer.uniChar;
}

bool rx_getCachedRegexSetToString(RXCachedRegex& entry, const icu::UnicodeString& subject,
                                  Range range, RXRecord& record, UErrorCode& status) {
  const std::int64_t length = subject.length();
  if (length >= rx_lengthLimit()) {
    record.recordException(NSRangeException, "String length exceeds INT_MAX.");
    return false;
  }
  if (range.length == kRangeToEnd) range.length = static_cast<std::uint64_t>(length);
  const auto total = static_cast<std::uint64_t>(length);
  if (range.location > total || range.length > total - range.location) {
    record.recordException(NSRangeException, "Range or index out of bounds.");
    return false;
  }
  if (rx_cacheBypassed()) {
    // A private copy every time: nothing is reused.
    unbind(entry);
    entry.setToString = subject;
    entry.setToHash = hashOf(subject);
    entry.setToLength = length;
    entry.setToUniChar = entry.setToString.getBuffer();
  } else {
    rx_setCachedRegexToString(entry, subject, hashOf(subject));
  }
#if RX_TEST_HOOKS
  if (g_failNextBinding.exchange(false)) entry.setToUniChar = nullptr;
#endif
  if (entry.setToUniChar == nullptr) {
    unbind(entry);
    record.recordAssertion(__func__, __FILE__, __LINE__, "Failed to set up UTF16 buffer.");
    return false;
  }
  if (!(range == entry.setToRange)) {
    entry.setToRange = range;
    entry.lastFindRange = kNotFound;
    entry.lastMatchRange = kNotFound;
    RX_COUNT(textBindings);
    uregex_setText(entry.icu_regex.getAlias(), entry.setToUniChar + range.location,
                   static_cast<std::int32_t>(range.length), &status);
    if (U_FAILURE(status)) {
      unbind(entry);
      record.recordAssertion(__func__, __FILE__, __LINE__, "Failed to set up UTF16 buffer.");
      return false;
    }
  }
  return true;
}

// ---- searching ---------------------------------------------------------------

namespace {

Range readMatch(RXCachedRegex& entry, UErrorCode& status) {
  const std::int32_t start = uregex_start(entry.icu_regex.getAlias(), 0, &status);
  const std::int32_t end = uregex_end(entry.icu_regex.getAlias(), 0, &status);
  if (U_FAILURE(status) || start < 0 || end < start) return kNotFound;
  return Range{entry.setToRange.location + static_cast<std::uint64_t>(start),
               static_cast<std::uint64_t>(end - start)};
}

}  // namespace

Range rx_searchOnce(RXCachedRegex& entry, Range range, UErrorCode& status) {
  RX_COUNT(searches);
  const auto start = static_cast<std::int32_t>(range.location - entry.setToRange.location);
  if (!uregex_find(entry.icu_regex.getAlias(), start, &status) || U_FAILURE(status)) {
    return kNotFound;
  }
  return readMatch(entry, status);
}

Range rx_search(RXCachedRegex& entry, Range range, UErrorCode& status) {
  const Range last = entry.lastMatchRange;
  if (range == entry.lastFindRange && last.location != NSNotFound && last.length > 0) {
    RX_COUNT(rememberedMatches);
    return last;
  }
  // Continuing right after the last match lets ICU go on from where it
  // stopped. A repeat of the very same search must not: after an empty match
  // at the end ICU would find nothing the second time.
  bool continues = false;
  if (last.location != NSNotFound && !(range == entry.lastFindRange)) {
    const std::uint64_t lastEnd = last.location + last.length;
    const std::uint64_t boundEnd = entry.setToRange.location + entry.setToRange.length;
    const std::uint64_t next = lastEnd + (last.length == 0 && lastEnd < boundEnd ? 1 : 0);
    continues = range.location == next;
  }
  RX_COUNT(searches);
  bool found = false;
  if (continues) {
    found = uregex_findNext(entry.icu_regex.getAlias(), &status);
  } else {
    const auto start = static_cast<std::int32_t>(range.location - entry.setToRange.location);
    found = uregex_find(entry.icu_regex.getAlias(), start, &status);
  }
  entry.lastFindRange = range;
  const Range match = found && U_SUCCESS(status) ? readMatch(entry, status) : kNotFound;
  if (match.location == NSNotFound) {
    entry.lastFindRange = kNotFound;
    entry.lastMatchRange = kNotFound;
    return kNotFound;
  }
  entry.lastMatchRange = match;
  return match;
}

// ---- test hooks --------------------------------------------------------------

#if RX_TEST_HOOKS
namespace testing {

Counters counters() {
  return Counters{g_counters.compilations.load(), g_counters.searches.load(),
                  g_counters.rememberedMatches.load(), g_counters.textBindings.load(),
                  g_counters.conversions.load()};
}

void resetCounters() {
  g_counters.compilations = 0;
  g_counters.searches = 0;
  g_counters.rememberedMatches = 0;
  g_counters.textBindings = 0;
  g_counters.conversions = 0;
}

void clearCache() {
  RXCacheLockGuard guard;
  guard.lock();
  for (RXCachedRegex& entry : rx_cachedRegexes)
    rx_clearCachedRegex(entry);
  for (RXLRUCacheSet_t& set : rx_cachedRegexCacheSets)
    set = 0;
  rx_lastCachedRegex = nullptr;
  std::memset(rx_regexLookasideCache, 0, sizeof rx_regexLookasideCache);
  for (RXConversionBuffer* group : {rx_lruFixedBuffer, rx_lruDynamicBuffer}) {
    for (int way = 0; way < kConversionBuffers; ++way)
      group[way] = RXConversionBuffer{};
  }
  rx_lruFixedBufferCacheSet = 0;
  rx_lruDynamicBufferCacheSet = 0;
  guard.unlock();
}

void setCacheBypassed(bool bypassed) {
  g_cacheBypassed = bypassed;
}

void setLengthLimit(std::int64_t limit) {
  g_lengthLimit = limit > 0 ? limit : kIntMax;
}

void failNextBinding() {
  g_failNextBinding = true;
}

int cacheSetOf(const icu::UnicodeString& pattern, RXRegexOptions options) {
  return static_cast<int>((hashOf(pattern) ^ options) % kCacheSets);
}

std::uint64_t debugCacheSpinLockCount() {
  return g_counters.lockCleanUps.load();
}

}  // namespace testing
#endif
}  // namespace rx
