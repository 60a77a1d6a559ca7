// Writing the output file: creating it with its byte-order mark, appending
// finished cards as UTF-16LE, and the failure state of the current output.
//
// A card is appended at once (OutputFile) unless an OutputBatch exists (one
// vCard_AnalysData run): then finished cards are collected and appended in
// large blocks, the rest when the batch ends. Once creating the file or
// appending to it has failed, nothing more is appended until the next
// Output_CreateFile or clearOutputFailure; the driver then reports the
// failure and removes the incomplete file.
#pragma once

#include <string>
#include <string_view>

namespace vcard::detail {

// True when creating the output file or appending a card to it failed since
// the last successful Output_CreateFile or clearOutputFailure.
[[nodiscard]] bool outputFailed() noexcept;
void clearOutputFailure() noexcept;

// The card text in UTF-16LE, without a byte-order mark, appended to out;
// false, with nothing appended, when the text is not well-formed UTF-8 (or
// too long to be converted).
bool appendUTF16LE(std::string_view utf8, std::string* out);

// Hands a finished card to the output file at path.
void writeCard(const char* path, const char* cardText) noexcept;

class OutputBatch {
 public:
  OutputBatch() noexcept;
  ~OutputBatch();  // appends what is still collected
  OutputBatch(const OutputBatch&) = delete;
  OutputBatch& operator=(const OutputBatch&) = delete;
};

}  // namespace vcard::detail
