// The result and the report of a conversion as the JSON document that
// vcard-convert --json prints and the web page reads.
#pragma once

#include <array>
#include <string>

#include "convert_options.h"
#include "vcard_report.h"

namespace vcard {

// The document of a conversion: its exit code, counts, result texts,
// report and the report's text, indented by two, ending in a line feed.
[[nodiscard]] std::string reportJson(const std::array<std::string, 2>& result,
                                     const ConversionReport& report, int exitCode);

// The document of a run that stopped before converting, with alert as its
// alert and the same keys as reportJson's, nothing read.
[[nodiscard]] std::string failureJson(const std::string& alert, int exitCode, Target target);

}  // namespace vcard
