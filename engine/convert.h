// The conversion the product runs: one vCard file (or its bytes) in, the
// output for the chosen target out, with the alert and log texts and, when
// asked for, the report of what was decided. Every shell calls these.
//
// A conversion loads the source (whole, or a large UTF-8 or Shift_JIS file
// in pieces), cuts it into lines and logical properties, recognises each
// property and rewrites it into the card model, settles each card at its
// end and hands it to the target's writer, which appends it to the output.
//
// How failures travel inside the engine:
// - A function that can fail returns its answer as a result: std::optional
//   when the failure needs no words (nothing readable, nothing to write), a
//   result struct when the caller tells the user why (the load's code, the
//   alert and log texts). No out-parameter flag, no empty string meaning
//   failure.
// - Exceptions are only running out of memory (std::bad_alloc) and a stop
//   the user asked for (ConversionStopped). Nothing inside the engine
//   catches them to carry on with a wrong answer; the driver catches them,
//   drops what was staged and says which it was.
// - A failure of any other kind reaching the driver is a fault of the
//   program, told as such (kUnexpectedFailureAlert), never as a file that
//   cannot be read.
// - The C functions that keep the integer codes of the original interface
//   are adapters: they turn results into codes at the edge.
#pragma once

#include <array>
#include <string>

#include "convert_options.h"
#include "memory_convert.h"
#include "vcard_report.h"

// Converts the vCard file at orgPath into the file at dstPath (both UTF-8)
// for the target the options name: for the iPhone "PC→iPhone.vcf"'s form;
// for iCloud.com its form, in numbered files beside dstPath when there are
// more than options.cardsPerFile cards. Element 0 of the result is the alert
// text ("" = no alert), element 1 the log text. Fills *report (when not
// null) with what was decided; the result texts are the same either way.
// Never throws.
std::array<std::string, 2> vCardConvert(const char* orgPath, const char* dstPath,
                                        const vcard::ConvertOptions& options,
                                        vcard::ConversionReport* report = nullptr);

// The same for the iPhone, with a report.
std::array<std::string, 2> vCardConvert(const char* orgPath, const char* dstPath,
                                        vcard::ConversionReport* report);

namespace vcard::detail {

struct StreamLimits;

// vCardConvert with the limits of reading a large source in pieces: tests
// shrink them to cut every file into many pieces.
std::array<std::string, 2> convertFile(const char* orgPath, const char* dstPath,
                                       const ConvertOptions& options, ConversionReport* report,
                                       const StreamLimits& limits);

// convertPieces with the limits of reading in pieces, as convertFile.
ReceivedConversion convertPieces(SourceReader& source, const ConvertOptions& options,
                                 OutputReceiver& receiver, const StreamLimits& limits);

}  // namespace vcard::detail
