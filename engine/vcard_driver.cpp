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

#include "driver_context.h"
#include "engine_p.h"
#include "memory_convert.h"
#include "platform.h"
#include "read/source_load.h"
#include "read/source_stream.h"
#include "report_notes.h"
#include "source_check.h"
#include "strutil.h"
#include "utf8.h"
#include "vcard.h"
#include "vcard_report.h"

char* orgFile = nullptr;
char* dstFile = nullptr;

namespace {

thread_local const vcard::SourceInfo* g_conversionSource = nullptr;

}  // namespace

const vcard::SourceInfo& vcard::detail::conversionSource() noexcept {
  static const SourceInfo kNone;
  return g_conversionSource != nullptr ? *g_conversionSource : kNone;
}

vcard::detail::ConversionSourceScope::ConversionSourceScope(const SourceInfo& source) noexcept
    : previous_(g_conversionSource) {
  g_conversionSource = &source;
}

vcard::detail::ConversionSourceScope::~ConversionSourceScope() {
  g_conversionSource = previous_;
}

vcard::detail::StreamLimits& vcard::detail::conversionStreamLimits() noexcept {
  static StreamLimits limits;
  return limits;
}

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
vcard::detail::LoadedSource loadWhole(const Source& source, vcard::CarrierChoice carrier) {
  if (source.bytes) return vcard::detail::loadBytes(*source.bytes, carrier);
  return vcard::detail::loadFile(orgFile, carrier);
}

// Hands the pieces of a source read in pieces to the line loop, letting go
// of the cards closed before each new piece.
class AnalysisSink final : public vcard::detail::PieceSink {
 public:
  explicit AnalysisSink(vcard::detail::LineAnalysis& analysis) : analysis_(analysis) {}

  void piece(std::string_view text, bool last) override {
    analysis_.feed(text.data(), text.size(), last);
    if (!last) analysis_.retireClosedCards();
  }

 private:
  vcard::detail::LineAnalysis& analysis_;
};

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
  LoadedSource loaded;
  if (stream == nullptr) {
    loaded = loadWhole(source, options.carrier);
    if (loaded.code == kLoadUnsupportedEncoding) return {kUnsupportedEncodingAlert, kFailedLog};
    if (loaded.code != kLoadOK) return {kCannotReadAlert, kFailedLog};
  }
  const vcard::SourceInfo& info = stream == nullptr ? loaded.info : stream->info();
  const ConversionSourceScope sourceScope(info);
  if (report != nullptr) {
    report->loaded = true;
    report->source = info;
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
        const std::string_view all(loaded.text.get(), loaded.length);
        LineAnalysis analysis(cards.get(), utf::validateUTF8(all), true);
        analysis.feed(all.data(), all.size(), true);
        analysis.counts(&inCount, &outCount);
      } else {
        // Pieces are handed over as well-formed UTF-8.
        LineAnalysis analysis(cards.get(), true, true);
        AnalysisSink sink(analysis);
        end = stream->run(sink);
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
    if (vcard::isSameFile(orgFile, dstFile)) {
      const TargetScope target(options, report);
      return {vcard::kSameFileAlert, kFailedLog};
    }

    // A large source in UTF-8 or Shift_JIS is read in pieces; any other is
    // loaded whole.
    SourceStream stream(orgFile, options.carrier, conversionStreamLimits());
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
