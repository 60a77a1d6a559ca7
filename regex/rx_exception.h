// How the regular-expression layer reports misuse: an exception with a name,
// a reason and a dictionary of details, the exception and key names callers
// match on, and the assertion handler for the layer's own invariants.
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rx {

// Exception names.
inline constexpr std::string_view NSInvalidArgumentException = "NSInvalidArgumentException";
inline constexpr std::string_view NSInternalInconsistencyException =
    "NSInternalInconsistencyException";
inline constexpr std::string_view NSRangeException = "NSRangeException";
inline constexpr std::string_view RXICURegexException = "RXICURegexException";

// Error domain of error objects about patterns that do not compile.
inline constexpr std::string_view RXICURegexErrorDomain = "RXICURegexErrorDomain";

// Keys of an RXICURegexException's dictionary.
inline constexpr std::string_view RXICURegexRegexErrorKey = "RXICURegexRegex";
inline constexpr std::string_view RXICURegexRegexOptionsErrorKey = "RXICURegexRegexOptions";
inline constexpr std::string_view RXICURegexErrorCodeErrorKey = "RXICURegexErrorCode";
inline constexpr std::string_view RXICURegexErrorNameErrorKey = "RXICURegexErrorName";
inline constexpr std::string_view RXICURegexSubjectStringErrorKey = "RXICURegexSubjectString";
inline constexpr std::string_view RXICURegexSubjectRangeErrorKey = "RXICURegexSubjectRange";
inline constexpr std::string_view RXICURegexReplacementStringErrorKey =
    "RXICURegexReplacementString";
inline constexpr std::string_view RXICURegexReplacedStringErrorKey = "RXICURegexReplacedString";
inline constexpr std::string_view RXICURegexReplacedCountErrorKey = "RXICURegexReplacedCount";
inline constexpr std::string_view RXICURegexEnumerationOptionsErrorKey =
    "RXICURegexEnumerationOptions";
inline constexpr std::string_view RXICURegexLineErrorKey = "RXICURegexLine";
inline constexpr std::string_view RXICURegexOffsetErrorKey = "RXICURegexOffset";
inline constexpr std::string_view RXICURegexPreContextErrorKey = "RXICURegexPreContext";
inline constexpr std::string_view RXICURegexPostContextErrorKey = "RXICURegexPostContext";
inline constexpr std::string_view NSLocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";
inline constexpr std::string_view NSLocalizedDescriptionKey = "NSLocalizedDescription";

// A string-keyed dictionary that keeps its entries in insertion order, so a
// report lists the details in the order they were added. Values are UTF-8.
class Dictionary {
 public:
  using Entry = std::pair<std::string, std::string>;

  // Adds the entry, or replaces the value of an existing key in place.
  void set(std::string_view key, std::string value);
  // The value under key, or nullptr.
  [[nodiscard]] const std::string* find(std::string_view key) const;
  [[nodiscard]] const std::vector<Entry>& entries() const { return entries_; }
  [[nodiscard]] bool empty() const { return entries_.empty(); }

 private:
  std::vector<Entry> entries_;
};

// The one exception type of the layer. what() is the reason.
class RXException : public std::exception {
 public:
  RXException(std::string_view name, std::string reason, Dictionary userInfo = {});

  [[nodiscard]] const std::string& name() const noexcept { return name_; }
  [[nodiscard]] const std::string& reason() const noexcept { return reason_; }
  [[nodiscard]] const Dictionary& userInfo() const noexcept { return userInfo_; }
  [[nodiscard]] const char* what() const noexcept override { return reason_.c_str(); }

 private:
  std::string name_;
  std::string reason_;
  Dictionary userInfo_;
};

// The reason of a raised exception: "*** %c[%@ %@]: %@" with '+' for a class
// receiver and '-' for an instance, the receiver's class ("<NULL>" when
// empty), the operation (":NULL:" when empty) and the bare reason.
[[nodiscard]] std::string rx_prefixedReason(bool receiverIsClass, std::string_view className,
                                            std::string_view operation, std::string_view reason);

// Reports a failed check of the layer's own invariants. The failure holds
// "function", "file", "line", "description" and "exceptionName"; the handler
// logs it and throws an RXException named by "exceptionName" (default
// NSInternalInconsistencyException) whose reason is the description and whose
// dictionary is the failure itself.
[[noreturn]] void rx_assertionHandler(const Dictionary& failure);

}  // namespace rx
