// The names of the files a conversion writes: the one file of each target,
// and the numbered parts of a run that is split.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// The outputs of the target at output that exist now: output itself and,
// for iCloud.com, every numbered part of it ("PC→iCloud-1.vcf", "-2", ...),
// parts in the order of their numbers. A run replaces the whole set: the
// overwrite question and the removal of an earlier run's leftovers both
// take it from here.
[[nodiscard]] std::vector<std::string> existingOutputs(const std::string& output, Target target);

// How the outputs are named in a sentence: "PC→iPhone.vcf", or for parts
// "PC→iCloud-1.vcf 〜 PC→iCloud-3.vcf" (file names, without their folder).
[[nodiscard]] std::string outputNamesText(const std::vector<std::string>& paths);

}  // namespace vcard
