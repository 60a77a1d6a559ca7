// The two operations the system uses: first match and replace-all. Each runs
// under the cache lock, records what goes wrong, and raises it only after the
// lock is released and its temporary stores are freed.
#include "regex_additions.h"

#include "regex_cache_p.h"
#include "rx_exception.h"

#include <memory>

namespace rx {

// Heap stores of the operation in progress, freed before it returns.
std::unique_ptr<UChar[]> rx_scratchBuffer[kScratchStores];

namespace {

constexpr std::string_view kRangeOfRegex = "rangeOfRegex:";
constexpr std::string_view kReplacing = "stringByReplacingOccurrencesOfRegex:withString:";
constexpr Range kWholeText{0, kRangeToEnd};

// Temporary UTF-16 stores of one operation: on the stack while they fit in
// kStackStoreBytes together, on the heap (rx_scratchBuffer) beyond that.
// Used only under the cache lock, which guards rx_scratchBuffer.
class TempStores {
 public:
  TempStores() = default;
  TempStores(const TempStores&) = delete;
  TempStores& operator=(const TempStores&) = delete;
  ~TempStores() {
    for (int i = 0; i < heapCount_; ++i)
      rx_scratchBuffer[heapSlots_[i]].reset();
  }

  UChar* get(std::int64_t units) {
    const auto count = static_cast<std::size_t>(units);
    if ((stackUsed_ + count) * sizeof(UChar) <= kStackStoreBytes) {
      UChar* store = stack_ + stackUsed_;
      stackUsed_ += count;
      return store;
    }
    int slot = 0;
    while (slot < kScratchStores && rx_scratchBuffer[slot] != nullptr)
      ++slot;
    RX_HARD_CHECK(slot < kScratchStores);
    // Uninitialised on purpose, as make_unique_for_overwrite leaves it; the
    // wasm toolchain's C++ library lacks that function.
    rx_scratchBuffer[slot].reset(new UChar[count]);
    heapSlots_[heapCount_++] = slot;
    return rx_scratchBuffer[slot].get();
  }

 private:
  UChar stack_[kStackStoreBytes / sizeof(UChar)];
  std::size_t stackUsed_ = 0;
  int heapSlots_[kScratchStores] = {};
  int heapCount_ = 0;
};

std::string rangeText(Range range) {
  return "{" + std::to_string(range.location) + ", " + std::to_string(range.length) + "}";
}

[[noreturn]] void raise(std::string_view name, const icu::UnicodeString* receiver,
                        std::string_view operation, std::string_view reason,
                        Dictionary userInfo = {}) {
  throw RXException(
      name, rx_prefixedReason(false, receiver != nullptr ? "UnicodeString" : "", operation, reason),
      std::move(userInfo));
}

// What an ICU failure report carries, in the order readers expect.
struct IcuFailure {
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString* pattern = nullptr;
  RXRegexOptions options = 0;
  const icu::UnicodeString* subject = nullptr;
  Range subjectRange{NSNotFound, 0};
  const icu::UnicodeString* replacement = nullptr;
  std::optional<std::int64_t> replacedCount;
};

[[noreturn]] void raiseIcuFailure(const IcuFailure& failure, std::string_view operation) {
  const std::string errorName = u_errorName(failure.status);
  Dictionary info;
  info.set(RXICURegexRegexErrorKey,
           failure.pattern != nullptr ? platform::toUTF8(*failure.pattern) : "<NULL regex>");
  info.set(RXICURegexRegexOptionsErrorKey, std::to_string(failure.options));
  info.set(RXICURegexErrorCodeErrorKey, std::to_string(static_cast<int>(failure.status)));
  info.set(RXICURegexErrorNameErrorKey, errorName);
  if (failure.subject != nullptr) {
    info.set(RXICURegexSubjectStringErrorKey, platform::toUTF8(*failure.subject));
    info.set(RXICURegexSubjectRangeErrorKey, rangeText(failure.subjectRange));
  }
  if (failure.replacement != nullptr) {
    info.set(RXICURegexReplacementStringErrorKey, platform::toUTF8(*failure.replacement));
  }
  if (failure.replacedCount) {
    info.set(RXICURegexReplacedCountErrorKey, std::to_string(*failure.replacedCount));
  }
  info.set(NSLocalizedFailureReasonErrorKey, "The error " + errorName + " occurred.");
  const std::string reason = "ICU regular expression error #" +
                             std::to_string(static_cast<int>(failure.status)) + ", " + errorName +
                             ".";
  raise(RXICURegexException, failure.subject, operation, reason, std::move(info));
}

// Raises what the operation found, once the lock is free: an ICU failure
// when nothing else was recorded, else the recorded exception or failed check.
void raiseRecorded(const RXRecord& record, const IcuFailure& failure, std::string_view operation) {
  if (!record.any() && U_FAILURE(failure.status)) raiseIcuFailure(failure, operation);
  if (record.exceptionName) {
    raise(*record.exceptionName, failure.subject, operation, record.reason);
  }
  if (record.assertion) rx_assertionHandler(*record.assertion);
}

// The compiled pattern: from the cache, or compiled into local when the cache
// is bypassed.
RXCachedRegex* obtainRegex(const icu::UnicodeString& pattern, RXRegexOptions options,
                           RXCachedRegex& local, RXRecord& record) {
  if (!rx_cacheBypassed()) return rx_getCachedRegex(pattern, options, record);
  const auto hash = static_cast<std::uint32_t>(pattern.hashCode());
  return rx_compileCachedRegex(local, pattern, hash, options, record) ? &local : nullptr;
}

bool isNull(const icu::UnicodeString* text) {
  return text == nullptr || text->isBogus();
}

struct ReplacePass {
  std::int64_t needed = 0;
  std::int64_t count = 0;
  bool tooSmall = false;
};

// One pass of replace-all into out. A store that is too small does not stop
// the pass: ICU goes on counting the length it would need.
ReplacePass replacePass(URegularExpression* regex, const icu::UnicodeString& replacement,
                        std::int64_t subjectLength, UChar* out, std::int32_t capacity,
                        UErrorCode& status) {
  ReplacePass pass;
  uregex_reset(regex, 0, &status);
  if (status == U_INDEX_OUTOFBOUNDS_ERROR && subjectLength == 0) status = U_ZERO_ERROR;
  UChar* dest = out;
  std::int32_t destCapacity = capacity;
  auto settle = [&pass, &status] {
    if (status == U_BUFFER_OVERFLOW_ERROR) pass.tooSmall = true;
    if (status == U_BUFFER_OVERFLOW_ERROR || status < U_ZERO_ERROR) status = U_ZERO_ERROR;
  };
  while (U_SUCCESS(status) && uregex_findNext(regex, &status) && U_SUCCESS(status)) {
    ++pass.count;
    pass.needed += uregex_appendReplacement(regex, replacement.getBuffer(), replacement.length(),
                                            &dest, &destCapacity, &status);
    settle();
  }
  if (U_SUCCESS(status)) {
    pass.needed += uregex_appendTail(regex, &dest, &destCapacity, &status);
    settle();
  }
  // Filling the store exactly leaves no room for the terminator.
  if (pass.needed >= capacity) pass.tooSmall = true;
  return pass;
}

std::optional<icu::UnicodeString> replaceAll(RXCachedRegex& entry,
                                             const icu::UnicodeString& subject,
                                             const icu::UnicodeString& replacement,
                                             RXRecord& record, IcuFailure& failure) {
  const std::int64_t limit = rx_lengthLimit();
  const std::int64_t subjectLength = subject.length();
  const std::int64_t replacementLength = replacement.length();
  if (replacementLength >= limit || subjectLength / 2 + replacementLength * 2 >= limit) {
    record.recordException(NSRangeException, "Replacement string length exceeds INT_MAX.");
    return std::nullopt;
  }
  TempStores stores;
  std::int64_t capacity =
      std::min(subjectLength + subjectLength / 2 + replacementLength * 2 + 16, kIntMax);
  UChar* out = stores.get(capacity);
  URegularExpression* regex = entry.icu_regex.getAlias();
  ReplacePass pass = replacePass(regex, replacement, subjectLength, out,
                                 static_cast<std::int32_t>(capacity), failure.status);
  failure.replacedCount = pass.count;
  if (U_FAILURE(failure.status)) return std::nullopt;
  if (pass.needed + 4 >= limit) {
    record.recordException(NSInternalInconsistencyException,
                           "Replaced string length exceeds INT_MAX.");
    return std::nullopt;
  }
  if (pass.tooSmall) {
    capacity = pass.needed + 8;
    out = stores.get(capacity);
    pass = replacePass(regex, replacement, subjectLength, out, static_cast<std::int32_t>(capacity),
                       failure.status);
    failure.replacedCount = pass.count;
    if (U_SUCCESS(failure.status) && pass.tooSmall) failure.status = U_BUFFER_OVERFLOW_ERROR;
    if (U_FAILURE(failure.status)) return std::nullopt;
  }
  if (pass.needed == 0) return icu::UnicodeString();
  if (pass.needed != subjectLength || pass.count > 0) {
    return icu::UnicodeString(out, static_cast<std::int32_t>(pass.needed));
  }
  return subject;
}

// The argument checks both operations begin with, in the order they report.
void requirePatternAndSubject(const icu::UnicodeString* pattern, const icu::UnicodeString* subject,
                              std::string_view operation) {
  if (isNull(pattern)) {
    raise(NSInvalidArgumentException, subject, operation,
          "The regular expression argument is NULL.");
  }
  if (isNull(subject)) {
    raise(NSInternalInconsistencyException, nullptr, operation,
          "The match string argument is NULL.");
  }
}

}  // namespace

Range rx_rangeOfRegex(const icu::UnicodeString* subject, const icu::UnicodeString* pattern,
                      RXRegexOptions options, Range range, std::string_view operation) {
  requirePatternAndSubject(pattern, subject, operation);
  RXRecord record;
  IcuFailure failure;
  failure.pattern = pattern;
  failure.options = options;
  failure.subject = subject;
  failure.subjectRange = range;
  Range answer{NSNotFound, 0};
  {
    RXCacheLockGuard guard;
    guard.lock();
    {
      RXCachedRegex local;
      RXCachedRegex* entry = obtainRegex(*pattern, options, local, record);
      if (entry != nullptr &&
          rx_getCachedRegexSetToString(*entry, *subject, range, record, failure.status)) {
        failure.subjectRange = entry->setToRange;
        answer = rx_cacheBypassed() ? rx_searchOnce(*entry, entry->setToRange, failure.status)
                                    : rx_search(*entry, entry->setToRange, failure.status);
      }
    }
    guard.unlock();
  }
  raiseRecorded(record, failure, operation);
  if (U_FAILURE(failure.status)) return Range{NSNotFound, 0};
  return answer;
}

Range rangeOfRegex(const icu::UnicodeString* subject, const icu::UnicodeString* pattern) {
  return rx_rangeOfRegex(subject, pattern, 0, kWholeText, kRangeOfRegex);
}

std::optional<icu::UnicodeString> stringByReplacingOccurrencesOfRegex(
    const icu::UnicodeString* subject, const icu::UnicodeString* pattern,
    const icu::UnicodeString* replacement) {
  requirePatternAndSubject(pattern, subject, kReplacing);
  if (isNull(replacement)) {
    raise(NSInvalidArgumentException, subject, kReplacing,
          "The replacement string argument is NULL.");
  }
  RXRecord record;
  IcuFailure failure;
  failure.pattern = pattern;
  failure.subject = subject;
  failure.subjectRange = kWholeText;
  failure.replacement = replacement;
  std::optional<icu::UnicodeString> result;
  {
    RXCacheLockGuard guard;
    guard.lock();
    {
      RXCachedRegex local;
      RXCachedRegex* entry = obtainRegex(*pattern, 0, local, record);
      if (entry != nullptr &&
          rx_getCachedRegexSetToString(*entry, *subject, kWholeText, record, failure.status)) {
        failure.subjectRange = entry->setToRange;
        // The replacement moves ICU past any remembered match.
        entry->lastFindRange = Range{NSNotFound, 0};
        entry->lastMatchRange = Range{NSNotFound, 0};
        result = replaceAll(*entry, *subject, *replacement, record, failure);
      }
    }
    guard.unlock();
  }
  raiseRecorded(record, failure, kReplacing);
  return result;
}

}  // namespace rx
