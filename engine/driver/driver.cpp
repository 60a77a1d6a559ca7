// The conversion driver: load, create the output, run the line loop over
// the source, count, and turn the outcome into the alert and log texts; the
// same steps for a file (vCardConvert) and for bytes in memory
// (convertBytes). Running out of memory anywhere inside ends here.
#include <cinttypes>
#include <cstdio>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

#include "convert.h"
#include "lines/line_loop.h"
#include "memory_convert.h"
#include "output_names.h"
#include "platform.h"
#include "read/source_load.h"
#include "read/source_stream.h"
#include "result_texts.h"
#include "strutil.h"
#include "utf8.h"
#include "vcard.h"
#include "write/output.h"

namespace {

using namespace vcard::detail;
using vcard::kCannotReadAlert;
using vcard::kCannotWriteAlert;
using vcard::kFailedLog;
using vcard::kNoOutputLog;
using vcard::kUnsupportedEncodingAlert;

std::string successLog(std::uint64_t inCount, std::uint64_t outCount) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer,
                "変換が完了しました。\n入力データ：%" PRIu64 "件、　出力データ：%" PRIu64 "件\n\n",
                inCount, outCount);
  return buffer;
}

// Where one conversion's source comes from: its bytes in memory, or the
// file opened once for the run, loaded whole or read in pieces.
struct Source {
  std::optional<std::string_view> bytes;
  SourceStream* file = nullptr;
  bool inPieces = false;
  std::size_t writeBlock = 0;  // the output written in the background when not 0

  // The file when it is read in pieces, else null.
  [[nodiscard]] SourceStream* stream() const noexcept { return inPieces ? file : nullptr; }
};

// Loads a source that is not read in pieces.
LoadedSource loadWhole(const Source& source, vcard::CarrierChoice carrier) {
  if (source.bytes) return loadBytes(*source.bytes, carrier);
  std::optional<std::string> content = source.file->readWhole();
  if (!content) return {};
  return loadContent(std::move(*content), carrier);
}

// Hands the stream's pieces to the line loop, telling the meter where in
// the source each one lies.
class LoopSink final : public PieceSink {
 public:
  LoopSink(LineLoop& loop, ProgressMeter& progress) noexcept : loop_(loop), progress_(progress) {}
  void piece(std::string_view text, std::size_t rawSize, bool last) override {
    progress_.piece(read_, read_ + rawSize, text.size());
    read_ += rawSize;
    loop_.feed(text, last);
  }

 private:
  LineLoop& loop_;
  ProgressMeter& progress_;
  std::uint64_t read_ = 0;
};

// Runs the line loop over the source into output.
StreamEnd analyse(const Source& source, std::string_view text, Conversion& conversion) {
  LineLoop loop(conversion);
  if (source.stream() == nullptr) {
    loop.feed(text, true);
    return StreamEnd::Done;
  }
  LoopSink sink(loop, conversion.progress);
  return source.stream()->run(sink);
}

// The size of the source, for its progress: its bytes, or the file.
std::uint64_t sourceSize(const Source& source) {
  return source.bytes ? source.bytes->size() : source.file->size();
}

using ResultTexts = std::array<std::string, 2>;

// The cards never closed are told as their ends would have settled them, so
// that a name from FN can name them too.
void tellOpenCards(Conversion& conversion, ReportNotes& notes) {
  for (const auto& card : conversion.cards.openCards()) {
    settleCard(conversion.values, notes, *card);
    notes.neverClosed(*card);
  }
}

// Runs the line loop over the source into the created output and finishes
// both; whatever was written goes when anything is thrown on the way.
StreamEnd convertLines(const Source& source, std::string_view all, Conversion& conversion,
                       Output& output) {
  try {
    ProgressMeter& progress = conversion.progress;
    progress.piece(0, progress.now().sourceBytes, all.size());
    progress.step(vcard::ProgressStep::Converting);
    const StreamEnd end = analyse(source, all, conversion);
    if (end == StreamEnd::Done) {
      tellOpenCards(conversion, conversion.notes);
      conversion.notes.finish();
    }
    output.finish();
    if (end == StreamEnd::Done) progress.finish();
    return end;
  } catch (...) {
    output.removeWritten();
    throw;
  }
}

// What becomes of a finished output: put in place when cards were written
// to it, else removed, so that whatever stood at its place stays; and the
// texts that say which.
ResultTexts settleOutput(Output& output, OutputStore& store, const Conversion& conversion,
                         vcard::ConversionReport* report) {
  const std::uint64_t outCount = conversion.cards.written();
  if (output.failed()) {
    output.removeWritten();
    return {kCannotWriteAlert, kFailedLog};
  }
  if (outCount == 0) {
    // A file with no card (a picture named .vcf, an empty file) must not
    // replace an address book written before.
    output.removeWritten();
    if (report != nullptr) report->noCardFound = conversion.cards.begun() == 0;
    return {"", kNoOutputLog};
  }
  if (!store.commit()) {
    output.removeWritten();
    return {kCannotWriteAlert, kFailedLog};
  }
  return {"", successLog(conversion.cards.ended(), outCount)};
}

// One conversion of the source. Nothing, with nothing left written, when a
// piece turned out not to be what the first reading promised (the file is
// not Shift_JIS after all, or changed on the way): then the whole-file
// loader decides.
std::optional<ResultTexts> convertSource(const vcard::ConvertOptions& options,
                                         vcard::ConversionReport* report, const Source& source,
                                         OutputStore& store, const std::string& dstPath) {
  if (report != nullptr) report->target = options.target;
  ProgressMeter progress(options, sourceSize(source));
  progress.step(vcard::ProgressStep::Reading);
  LoadedSource loaded;
  if (source.stream() == nullptr) {
    loaded = loadWhole(source, options.carrier);
    if (loaded.code == kLoadUnsupportedEncoding)
      return ResultTexts{kUnsupportedEncodingAlert, kFailedLog};
    if (loaded.code != kLoadOK) return ResultTexts{kCannotReadAlert, kFailedLog};
  } else {
    loaded.info = source.stream()->info();
  }
  const vcard::SourceInfo& info = loaded.info;
  if (report != nullptr) {
    report->loaded = true;
    report->source = info;
  }

  Output output(store, options, report, &progress);
#if !defined(__EMSCRIPTEN__)
  // A large source's iPhone form is written on a thread of its own, as it is
  // read on another (the browser's engine has no threads).
  if (source.stream() != nullptr && source.writeBlock > 0 &&
      options.target == vcard::Target::IPhone)
    output.writeInBackground(source.writeBlock);
#endif
  if (!output.create(dstPath)) return ResultTexts{kCannotWriteAlert, kFailedLog};
  ReportNotes notes(report, info);
  const std::string_view all =
      loaded.text ? std::string_view(loaded.text.get(), loaded.length) : std::string_view();
  // Pieces are handed over as well-formed UTF-8; a whole text is checked.
  const bool knownUTF8 = source.stream() != nullptr || utf::validateUTF8(all);
  Conversion conversion(options, info, knownUTF8, output, notes, progress);
  const StreamEnd end = convertLines(source, all, conversion, output);
  if (report != nullptr) {
    report->inCount = conversion.cards.ended();
    report->outCount = conversion.cards.written();
  }
  if (end != StreamEnd::Done) {
    // What was written is no conversion of the source.
    output.removeWritten();
    if (end == StreamEnd::ReadFailed) return ResultTexts{kCannotReadAlert, kFailedLog};
    return std::nullopt;
  }
  return settleOutput(output, store, conversion, report);
}

// Replaces one engine-wide path copy; a failed copy leaves it empty rather
// than pointing at the previous conversion's path.
void setPath(char** slot, const char* path) {
  std::free(*slot);
  *slot = StrAlloc(path != nullptr ? path : "");
}

}  // namespace

std::array<std::string, 2> vcard::detail::convertFile(const char* orgPath, const char* dstPath,
                                                      const ConvertOptions& options,
                                                      ConversionReport* report,
                                                      const StreamLimits& limits) {
  if (report != nullptr) *report = ConversionReport{};
  bool keepsEarlier = false;  // an earlier output stands at dstPath
  try {
    // Kept for callers of the engine's C functions; nothing here reads them.
    setPath(&orgFile, orgPath);
    setPath(&dstFile, dstPath);
    if (report != nullptr) report->target = options.target;
    if (orgPath == nullptr || dstPath == nullptr) return {kCannotReadAlert, kFailedLog};

    // The source is opened once for the run. A large source in UTF-8 or
    // Shift_JIS is read in pieces; any other is loaded whole.
    SourceStream stream(orgPath, options.carrier, limits);
    if (stream.plan() == SourcePlan::Unreadable) return {kCannotReadAlert, kFailedLog};
    // An output that is the source itself (under another name, or through
    // a link) is refused: the source is never written.
    if (stream.isSourceAt(dstPath)) return {vcard::kSameFileAlert, kFailedLog};
    // The temporaries a killed run left beside the output go first; the
    // earlier outputs are what a stop keeps.
    platform::removeAbandonedStagedFiles(platform::folderOf(dstPath));
    keepsEarlier = !vcard::existingOutputs(dstPath, options.target).empty();
    StagedFileStore store(dstPath, options.target);
    const bool whole = stream.plan() == SourcePlan::Whole;
    std::optional<ResultTexts> result = convertSource(
        options, report, Source{std::nullopt, &stream, !whole, limits.writeBlock}, store, dstPath);
    if (!result) {
      if (report != nullptr) *report = ConversionReport{};
      result = convertSource(options, report, Source{std::nullopt, &stream}, store, dstPath);
    }
    if (report != nullptr) report->superseded = store.superseded();
    // The whole-file loader never asks to start again.
    return result.value_or(ResultTexts{kCannotReadAlert, kFailedLog});
  } catch (const ConversionStopped&) {
    return {"", keepsEarlier ? vcard::kStoppedKeptLog : vcard::kStoppedLog};
  } catch (const std::bad_alloc&) {
    // Said as it happened: the source is not to blame.
    return {vcard::kOutOfMemoryAlert, kFailedLog};
  } catch (...) {
    return {vcard::kUnexpectedFailureAlert, kFailedLog};
  }
}

std::array<std::string, 2> vCardConvert(const char* orgPath, const char* dstPath,
                                        const vcard::ConvertOptions& options,
                                        vcard::ConversionReport* report) {
  return vcard::detail::convertFile(orgPath, dstPath, options, report, StreamLimits{});
}

std::array<std::string, 2> vCardConvert(const char* orgPath, const char* dstPath,
                                        vcard::ConversionReport* report) {
  return vCardConvert(orgPath, dstPath, vcard::ConvertOptions{}, report);
}

vcard::MemoryConversion vcard::convertBytes(std::string_view source,
                                            const ConvertOptions& options) {
  MemoryConversion conversion;
  try {
    // Bytes have no paths; an earlier conversion's must not pass for this
    // one's.
    setPath(&orgFile, "");
    setPath(&dstFile, "");
    FileCollector files(&conversion.outputs);
    ReceiverStore store(files, outputFileName(options.target));
    // Bytes in memory are loaded whole: there is nothing to start again.
    conversion.result = convertSource(options, &conversion.report, Source{source}, store, "")
                            .value_or(ResultTexts{kCannotReadAlert, kFailedLog});
  } catch (const ConversionStopped&) {
    conversion.outputs.clear();
    conversion.result = {"", vcard::kStoppedLog};
  } catch (const std::bad_alloc&) {
    conversion.outputs.clear();
    conversion.result = {vcard::kOutOfMemoryAlert, kFailedLog};
  } catch (...) {
    // Whatever was written is no conversion of the source.
    conversion.outputs.clear();
    conversion.result = {vcard::kUnexpectedFailureAlert, kFailedLog};
  }
  return conversion;
}

vcard::ReceivedConversion vcard::detail::convertPieces(SourceReader& source,
                                                       const ConvertOptions& options,
                                                       OutputReceiver& receiver,
                                                       const StreamLimits& limits) {
  ReceivedConversion conversion;
  conversion.report.target = options.target;
  std::optional<ReceiverStore> store;
  try {
    setPath(&orgFile, "");
    setPath(&dstFile, "");
    store.emplace(receiver, outputFileName(options.target));
    SourceStream stream(source, options.carrier, limits);
    if (stream.plan() == SourcePlan::Unreadable) {
      conversion.result = {kCannotReadAlert, kFailedLog};
      return conversion;
    }
    const bool whole = stream.plan() == SourcePlan::Whole;
    std::optional<ResultTexts> result = convertSource(
        options, &conversion.report, Source{std::nullopt, &stream, !whole}, *store, "");
    if (!result) {
      conversion.report = ConversionReport{};
      result =
          convertSource(options, &conversion.report, Source{std::nullopt, &stream}, *store, "");
    }
    conversion.result = result.value_or(ResultTexts{kCannotReadAlert, kFailedLog});
    return conversion;
  } catch (const ConversionStopped&) {
    conversion.result = {"", vcard::kStoppedLog};
  } catch (const std::bad_alloc&) {
    conversion.result = {vcard::kOutOfMemoryAlert, kFailedLog};
  } catch (...) {
    conversion.result = {vcard::kUnexpectedFailureAlert, kFailedLog};
  }
  // Whatever was written is no conversion of the source.
  if (store) store->removeAll();
  return conversion;
}

vcard::ReceivedConversion vcard::convertPieces(SourceReader& source, const ConvertOptions& options,
                                               OutputReceiver& receiver) {
  return vcard::detail::convertPieces(source, options, receiver, StreamLimits{});
}
