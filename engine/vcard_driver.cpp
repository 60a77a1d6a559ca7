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
#include "strutil.h"
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

    char* loaded = nullptr;
    const int code = vCard_GetData(orgFile, &loaded, options.carrier);
    const platform::OwnedCString text(loaded);
    if (code == kLoadUnsupportedEncoding) return {kUnsupportedEncodingAlert, kFailedLog};
    if (code != kLoadOK) return {kCannotReadAlert, kFailedLog};
    if (report != nullptr) {
      report->loaded = true;
      report->source = vcard::lastSourceInfo();
    }

    const bool created = createOutputFile(dstFile) == 1;
    std::uint64_t inCount = 0;
    std::uint64_t outCount = 0;
    {
      CardList cards;
      const ReportNotes notes(report);
      if (created) {
        (void)vCard_AnalysData(text.get(), cards.get(), &inCount, &outCount);
        finishReport(cards.get());
      }
    }
    if (report != nullptr) {
      report->inCount = inCount;
      report->outCount = outCount;
    }
    Output_CloseFile();

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
