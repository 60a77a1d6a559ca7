// What the driver keeps for the conversion under way, for the stages it
// runs that read it: the source as loading recorded it, and the limits by
// which vCardConvert reads a large source in pieces.
#pragma once

#include "read/source_stream.h"
#include "vcard.h"

namespace vcard::detail {

// The record of the source of the conversion under way on this thread; an
// empty record outside one.
[[nodiscard]] const SourceInfo& conversionSource() noexcept;

// Makes source the conversion's source while it lives; the one before
// comes back after.
class ConversionSourceScope {
 public:
  explicit ConversionSourceScope(const SourceInfo& source) noexcept;
  ~ConversionSourceScope();
  ConversionSourceScope(const ConversionSourceScope&) = delete;
  ConversionSourceScope& operator=(const ConversionSourceScope&) = delete;

 private:
  const SourceInfo* previous_;
};

// The limits by which vCardConvert reads a large source; tests and the
// fuzzer shrink them to cut every file into many pieces.
[[nodiscard]] StreamLimits& conversionStreamLimits() noexcept;

}  // namespace vcard::detail
