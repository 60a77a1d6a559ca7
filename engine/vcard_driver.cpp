// The conversion driver: load, create the output file, analyse, count, and
// turn the outcome into the alert and log texts.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine_p.h"
#include "platform.h"
#include "report_notes.h"
#include "source_check.h"
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

std::array<std::string, 2> convert(const char* orgPath, const char* dstPath,
                                   const vcard::ConvertOptions& options,
                                   vcard::ConversionReport* report) {
  using namespace vcard::detail;
  try {
    setPath(&orgFile, orgPath);
    setPath(&dstFile, dstPath);
    clearOutputFailure();
    const TargetScope target(options, report);
    if (orgFile == nullptr || dstFile == nullptr) return {kCannotReadAlert, kFailedLog};

    // Writing over the source would destroy it before it is read again
    // (the loader re-reads the file by path).
    if (vcard::isSameFile(orgFile, dstFile)) return {vcard::kSameFileAlert, kFailedLog};

    // A large source in UTF-8 or Shift_JIS is read in pieces; any other is
    // loaded whole.
    SourceStream stream(orgFile, options.carrier, streamLimits());
    if (stream.plan() == SourcePlan::Unreadable) return {kCannotReadAlert, kFailedLog};
    const bool whole = stream.plan() == SourcePlan::Whole;
    platform::OwnedCString text;
    if (whole) {
      char* loaded = nullptr;
      const int code = vCard_GetData(orgFile, &loaded, options.carrier);
      text.reset(loaded);
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
    bool readFailed = false;
    {
      CardList cards;
      const ReportNotes notes(report);
      if (created) {
        // Nothing reads a written card's text again: it is let go at once,
        // so that memory holds the cards still open, not the whole output.
        if (whole) {
          const std::string_view all(text.get());
          LineAnalysis analysis(cards.get(), utf::validateUTF8(all), true);
          analysis.feed(all.data(), all.size(), true);
          analysis.counts(&inCount, &outCount);
        } else {
          // Both decodings give well-formed UTF-8.
          LineAnalysis analysis(cards.get(), true, true);
          readFailed = !stream.run(&analysis);
          analysis.counts(&inCount, &outCount);
        }
        finishReport(cards.get());
      }
    }
    if (report != nullptr) {
      // Pieces that no longer decoded (the file changed on the way) count.
      if (!whole) report->source = vcard::lastSourceInfo();
      report->inCount = inCount;
      report->outCount = outCount;
    }
    Output_CloseFile();

    if (created && readFailed) {
      // The source went away half-read: what was written is no conversion.
      for (const std::string& file : outputFiles())
        platform::removeFile(file);
      return {kCannotReadAlert, kFailedLog};
    }
    if (!created) return {kCannotWriteAlert, kFailedLog};
    if (outputFailed()) {
      // Only a file this call created is removed: a folder or a file that
      // could not be replaced stays as it was.
      for (const std::string& file : outputFiles())
        platform::removeFile(file);
      return {kCannotWriteAlert, kFailedLog};
    }
    if (outCount == 0) return {"", kNoOutputLog};
    return {"", successLog(inCount, outCount)};
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
