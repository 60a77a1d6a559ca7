// The names of the files a conversion writes: the one file of each target,
// and the numbered parts of a run that is split.
#pragma once

#include <cstdint>
#include <string>

#include "convert_options.h"

namespace vcard {

// The fixed name of the output file, written beside the source.
inline constexpr const char* kOutputFileName = "PC→iPhone.vcf";
// The name of the file written for iCloud.com instead.
inline constexpr const char* kICloudOutputFileName = "PC→iCloud.vcf";

// The output file name of the target.
[[nodiscard]] constexpr const char* outputFileName(Target target) noexcept {
  return target == Target::ICloud ? kICloudOutputFileName : kOutputFileName;
}

// The path of the numbered part: "dir/PC→iCloud.vcf", 2 -> "dir/PC→iCloud-2.vcf".
[[nodiscard]] std::string partPath(const std::string& path, std::uint64_t number);

}  // namespace vcard
