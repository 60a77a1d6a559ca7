// The conversion driver: load, create the output file, analyse, count, and
// turn the outcome into the alert and log texts; the same steps for a file
// (vCardConvert) and for bytes in memory (convertBytes).
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "engine_p.h"
#include "memory_convert.h"
#include "platform.h"
#include "report_notes.h"
#include "source_stream.h"
#include "strutil.h"
#include "utf8.h"
#include "vcard.h"
#include "vcard_report.h"

char* orgFile = nullptr;
char* dstFile = nullptr;

namespace {

using vcard::detail::kFailedLog;

// Replaces one engine-wide path copy; a failed copy leaves it empty rather
// than pointing at the previous conversion's path.
void setPath(char** slot, const char* path) {
  std::free(*slot);
  *slot = StrAlloc(path != nullptr ? path : "");
}

std::string successLog(std::uint64_t inCount, std::uint64_t outCount) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer,
                "変換が完了しました。\n入力データ：%" PRIu64 "件、　出力データ：%" PRIu64 "件\n\n",
                inCount, outCount);
  return buffer;
}

// Where one conversion's source comes from: its bytes in memory, or the
// file at orgFile, loaded whole or, through stream, read in pieces.
struct Source {
  std::optional<std::string_view> bytes;
  vcard::detail::SourceStream* stream = nullptr;
};

// Loads a source that is not read in pieces.
int loadWhole(const Source& source, vcard::CarrierChoice carrier, platform::OwnedCString* text) {
  if (source.bytes) {
    vcard::LoadedText loaded = vcard::loadBytes(*source.bytes, carrier);
    *text = std::move(loaded.text);
    return loaded.code;
  }
  char* loaded = nullptr;
  const int code = vCard_GetData(orgFile, &loaded, carrier);
  text->reset(loaded);
  return code;
}

// One conversion of the source. Sets *startAgain, with nothing left
// written, when a piece turned out not to be what the first reading
// promised (the file is not Shift_JIS after all, or changed on the way):
// then the whole-file loader decides.
std::array<std::string, 2> convertSource(const vcard::ConvertOptions& options,
                                         vcard::ConversionReport* report, const Source& source,
                                         bool* startAgain) {
  using namespace vcard::detail;
  *startAgain = false;
  clearOutputFailure();
  const TargetScope target(options, report);
  SourceStream* const stream = source.stream;
  platform::OwnedCString text;
  if (stream == nullptr) {
    const int code = loadWhole(source, options.carrier, &text);
    if (code == kLoadUnsupportedEncoding) return {kUnsupportedEncodingAlert, kFailedLog};
    if (code != kLoadOK) return {kCannotReadAlert, kFailedLog};
  }
  if (report != nullptr) {
    report->loaded = true;
    report->source = vcard::lastSourceInfo();
  }

  const bool created = createOutputFile(dstFile) == 1;
  std::uint64_t inCount = 0;
  std::uint64_t outCount = 0;
  StreamEnd end = StreamEnd::Done;
  {
    CardList cards;
    const ReportNotes notes(report);
    if (created) {
      // Nothing reads a written card's text again: it is let go at once,
      // so that memory holds the cards still open, not the whole output.
      if (stream == nullptr) {
        const std::string_view all(text.get());
        LineAnalysis analysis(cards.get(), utf::validateUTF8(all), true);
        analysis.feed(all.data(), all.size(), true);
        analysis.counts(&inCount, &outCount);
      } else {
        // Pieces are handed over as well-formed UTF-8.
        LineAnalysis analysis(cards.get(), true, true);
        end = stream->run(&analysis);
        analysis.counts(&inCount, &outCount);
      }
      if (end == StreamEnd::Done) finishReport(cards.get());
    }
  }
  if (report != nullptr) {
    report->inCount = inCount;
    report->outCount = outCount;
  }
  Output_CloseFile();

  if (created && end != StreamEnd::Done) {
    // What was written is no conversion of the source.
    removeOutputFiles();
    if (end == StreamEnd::ReadFailed) return {kCannotReadAlert, kFailedLog};
    *startAgain = true;
    return {};
  }
  if (!created) return {kCannotWriteAlert, kFailedLog};
  if (outputFailed()) {
    // Only a file this call created is removed: a folder or a file that
    // could not be replaced stays as it was.
    removeOutputFiles();
    return {kCannotWriteAlert, kFailedLog};
  }
  if (outCount == 0) return {"", kNoOutputLog};
  return {"", successLog(inCount, outCount)};
}

std::array<std::string, 2> convert(const char* orgPath, const char* dstPath,
                                   const vcard::ConvertOptions& options,
                                   vcard::ConversionReport* report) {
  using namespace vcard::detail;
  try {
    setPath(&orgFile, orgPath);
    setPath(&dstFile, dstPath);
    clearOutputFailure();
    if (orgFile == nullptr || dstFile == nullptr) {
      const TargetScope target(options, report);
      return {kCannotReadAlert, kFailedLog};
    }

    // Writing over the source would destroy it before it is read again
    // (the loader re-reads the file by path).
    if (platform::isSameFile(orgFile, dstFile)) {
      const TargetScope target(options, report);
      return {vcard::kSameFileAlert, kFailedLog};
    }

    // A large source in UTF-8 or Shift_JIS is read in pieces; any other is
    // loaded whole.
    SourceStream stream(orgFile, options.carrier, streamLimits());
    if (stream.plan() == SourcePlan::Unreadable) {
      const TargetScope target(options, report);
      return {kCannotReadAlert, kFailedLog};
    }
    bool startAgain = false;
    const bool whole = stream.plan() == SourcePlan::Whole;
    std::array<std::string, 2> result = convertSource(
        options, report, Source{std::nullopt, whole ? nullptr : &stream}, &startAgain);
    if (startAgain) {
      if (report != nullptr) *report = vcard::ConversionReport{};
      result = convertSource(options, report, Source{}, &startAgain);
    }
    return result;
  } catch (...) {
    return {kCannotReadAlert, kFailedLog};
  }
}

}  // namespace

std::array<std::string, 2> vCardConvert(const char* orgPath, const char* dstPath) {
  return convert(orgPath, dstPath, vcard::ConvertOptions{}, nullptr);
}

std::array<std::string, 2> vCardConvert(const char* orgPath, const char* dstPath,
                                        vcard::ConversionReport* report) {
  if (report != nullptr) *report = vcard::ConversionReport{};
  return convert(orgPath, dstPath, vcard::ConvertOptions{}, report);
}

std::array<std::string, 2> vCardConvert(const char* orgPath, const char* dstPath,
                                        const vcard::ConvertOptions& options,
                                        vcard::ConversionReport* report) {
  if (report != nullptr) *report = vcard::ConversionReport{};
  return convert(orgPath, dstPath, options, report);
}

vcard::MemoryConversion vcard::convertBytes(std::string_view source,
                                            const ConvertOptions& options) {
  using namespace vcard::detail;
  MemoryConversion conversion;
  try {
    // Bytes have no paths; an earlier conversion's must not pass for this
    // one's.
    setPath(&orgFile, "");
    setPath(&dstFile, "");
    const MemoryOutputScope output(&conversion.outputs, outputFileName(options.target));
    // Bytes in memory are loaded whole: there is nothing to start again.
    bool startAgain = false;
    conversion.result =
        convertSource(options, &conversion.report, Source{source, nullptr}, &startAgain);
  } catch (...) {
    // Whatever was written is no conversion of the source.
    conversion.outputs.clear();
    conversion.result = {kCannotReadAlert, kFailedLog};
  }
  return conversion;
}
