// A conversion entirely in memory, for a shell that has bytes rather than
// files (a page in a browser): the same steps, texts, report and output
// bytes as vCardConvert, without the file system.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
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

// A source read from its first byte, piece by piece, for a shell that holds
// it neither as a file nor whole in memory (a page reading the chosen file
// in slices).
class SourceReader {
 public:
  virtual ~SourceReader() = default;
  // The source's size, known before it is read.
  [[nodiscard]] virtual std::uint64_t size() const = 0;
  // Reads up to count bytes into out: how many (0 at the end), or nothing on
  // a read error.
  [[nodiscard]] virtual std::optional<std::size_t> readSome(char* out, std::size_t count) = 0;
  // Back to the first byte; false on failure.
  [[nodiscard]] virtual bool rewind() = 0;
};

// Takes the files a conversion writes while they grow, one block of bytes at
// a time, so that the engine never holds an output whole. A file may be
// renamed (the first of iCloud.com's numbered parts) or removed again (all
// of them, when the conversion fails or starts over).
class OutputReceiver {
 public:
  virtual ~OutputReceiver() = default;
  // Starts the file name with bytes, replacing one of that name.
  [[nodiscard]] virtual bool create(const std::string& name, std::string_view bytes) = 0;
  // Adds bytes to the end of a file created before; false for another.
  [[nodiscard]] virtual bool append(const std::string& name, std::string_view bytes) = 0;
  // Renames a file, replacing one of the new name.
  [[nodiscard]] virtual bool rename(const std::string& from, const std::string& to) = 0;
  virtual void remove(const std::string& name) = 0;
};

// The alert and log texts and the report of a conversion whose files went
// to a receiver.
struct ReceivedConversion {
  std::array<std::string, 2> result;
  ConversionReport report;
};

// Converts the reader's source as vCardConvert converts a file holding the
// same bytes, a large UTF-8 or Shift_JIS source in pieces, and hands the
// files to receiver as they are written: the receiver ends with the files
// and bytes convertBytes would give. Never throws.
[[nodiscard]] ReceivedConversion convertPieces(SourceReader& source, const ConvertOptions& options,
                                               OutputReceiver& receiver);

}  // namespace vcard
