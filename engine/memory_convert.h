// A conversion entirely in memory, for a shell that has bytes rather than
// files (a page in a browser): the same steps, texts, report and output
// bytes as vCardConvert, without the file system.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "convert_options.h"
#include "vcard_report.h"

namespace vcard {

// One file a conversion writes: its name ("PC→iPhone.vcf", "PC→iCloud.vcf",
// "PC→iCloud-1.vcf", ...) and its whole content.
struct OutputFile {
  std::string name;
  std::string bytes;
};

struct MemoryConversion {
  // The alert text and the log text, exactly as vCardConvert gives them.
  std::array<std::string, 2> result;
  ConversionReport report;
  // The files vcard-convert would write, in the order it makes them; empty
  // when nothing was written (or what was written was removed again).
  std::vector<OutputFile> outputs;
};

// Converts the source's bytes as vCardConvert converts a file holding them.
// Leaves nothing of this conversion behind for the next one. Never throws.
[[nodiscard]] MemoryConversion convertBytes(std::string_view source, const ConvertOptions& options);

}  // namespace vcard
