// Writing the output file: creating it with its byte-order mark, appending
// finished cards as UTF-16LE, and the failure state of the current output.
// The files are made on disk, or in memory while a MemoryOutputScope exists.
//
// A card is appended at once (OutputFile) unless an OutputBatch exists (one
// vCard_AnalysData run): then finished cards are collected and appended in
// large blocks, the rest when the batch ends. Once creating the file or
// appending to it has failed, nothing more is appended until the next
// Output_CreateFile or clearOutputFailure; the driver then reports the
// failure and removes the incomplete file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "convert_options.h"
#include "memory_convert.h"
#include "output_names.h"
#include "vcard_report.h"

namespace vcard::detail {

// True when creating the output file or appending a card to it failed since
// the last successful Output_CreateFile or clearOutputFailure.
[[nodiscard]] bool outputFailed() noexcept;
void clearOutputFailure() noexcept;

// The card text in UTF-16LE, without a byte-order mark, appended to out;
// false, with nothing appended, when the text is not well-formed UTF-8 (or
// too long to be converted).
bool appendUTF16LE(std::string_view utf8, std::string* out);

// Hands a finished card to the output file at path. position is the card's
// place among the cards begun (from 1), for the report; 0 when not known.
void writeCard(const char* path, const char* cardText, std::uint64_t position = 0) noexcept;

// True while a conversion for iCloud.com runs: a line break inside a value is
// then kept in the card text as a lone LF, which its writer escapes, instead
// of the fold (CR LF and a blank) the iPhone form writes it as.
[[nodiscard]] bool keepsValueBreaks() noexcept;

// The form of the output for the length of one conversion; the iPhone's when
// none exists. Adaptations of the iCloud form go into report when it is not
// null.
class TargetScope {
 public:
  TargetScope(const ConvertOptions& options, ConversionReport* report) noexcept;
  ~TargetScope();
  TargetScope(const TargetScope&) = delete;
  TargetScope& operator=(const TargetScope&) = delete;
};

// Creates the output file empty for the current form: FF FE for the iPhone
// (Output_CreateFile), nothing at all for iCloud.com. Returns 1 or 0 as
// Output_CreateFile does.
int createOutputFile(const char* path);

// Removes what the current conversion wrote: the output, or its numbered
// parts once the cards were split. Removing a missing file is no failure.
void removeOutputFiles();

class OutputStore;

// For as long as it exists, the output goes to files in memory appended to
// files instead of to the file system: created, appended to, split into
// parts and removed on failure exactly as the files on disk would be. The
// output is named name there, its parts after it ("PC→iCloud-2.vcf"); the
// path a conversion passes along names nothing then.
class MemoryOutputScope {
 public:
  MemoryOutputScope(std::vector<OutputFile>* files, std::string name);
  ~MemoryOutputScope();
  MemoryOutputScope(const MemoryOutputScope&) = delete;
  MemoryOutputScope& operator=(const MemoryOutputScope&) = delete;

 private:
  std::unique_ptr<OutputStore> store_;
};

using vcard::partPath;

class OutputBatch {
 public:
  OutputBatch() noexcept;
  ~OutputBatch();  // appends what is still collected
  OutputBatch(const OutputBatch&) = delete;
  OutputBatch& operator=(const OutputBatch&) = delete;
};

}  // namespace vcard::detail
