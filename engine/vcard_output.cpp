#include "vcard_output.h"

#include <climits>
#include <cstddef>

#include "icloud_card.h"
#include "platform.h"
#include "vcard.h"

namespace vcard::detail {
namespace {

// Collected output is appended once this much has been gathered.
constexpr std::size_t kOutputBlock = std::size_t{1} << 20;

bool g_failed = false;

struct Batch {
  std::string output;  // collected UTF-16LE bytes
  std::string path;
};
Batch* g_batch = nullptr;

// The iCloud.com form of the running conversion; null for the iPhone's.
struct ICloudRun {
  ConvertOptions options;
  ConversionReport* report = nullptr;
  std::string path;         // the output path given
  std::string current;      // the file cards go to now
  std::uint64_t part = 0;   // its number, 0 while it is the output path itself
  std::uint64_t cards = 0;  // cards in the current file
  std::vector<OutputPart> parts;
};
ICloudRun* g_icloud = nullptr;

void flush(Batch* batch) noexcept {
  if (batch->output.empty()) return;
  try {
    if (!g_failed && !platform::appendToFile(batch->path, batch->output)) g_failed = true;
  } catch (...) {
    g_failed = true;
  }
  batch->output.clear();
}

// Appends bytes already in the output's encoding to the file at path, or to
// the batch when there is one.
void collectBytes(const std::string& path, std::string_view bytes) {
  if (g_batch == nullptr) {
    if (!platform::appendToFile(path, bytes)) g_failed = true;
    return;
  }
  if (!g_batch->output.empty() && g_batch->path != path) flush(g_batch);
  g_batch->path = path;
  g_batch->output.append(bytes);
  if (g_batch->output.size() >= kOutputBlock) flush(g_batch);
}

// Moves on to the next numbered file: the first file written so far takes
// the name of part 1, and part 2 and on start empty.
void startNextPart(ICloudRun* run) {
  if (g_batch != nullptr) flush(g_batch);
  if (run->part == 0) {
    run->part = 1;
    const std::string first = partPath(run->path, 1);
    if (!platform::renameFile(run->path, first)) {
      g_failed = true;
      return;
    }
    run->current = first;
    run->parts.push_back({first, run->cards});
  }
  ++run->part;
  run->current = partPath(run->path, run->part);
  if (!platform::writeFileAtomically(run->current, "")) {
    g_failed = true;
    return;
  }
  run->parts.push_back({run->current, 0});
  run->cards = 0;
}

void writeICloudCard(ICloudRun* run, const char* cardText, std::uint64_t position) noexcept {
  if (g_failed || cardText == nullptr) return;
  try {
    const std::string_view text(cardText);
    if (!utf::validateUTF8(text)) {
      g_failed = true;
      return;
    }
    ICloudCard card = icloudCard(text);
    if (run->cards >= run->options.cardsPerFile && run->options.cardsPerFile > 0)
      startNextPart(run);
    if (g_failed) return;
    collectBytes(run->current, card.text);
    ++run->cards;
    if (!run->parts.empty()) run->parts.back().cards = run->cards;
    if (run->report == nullptr) return;
    for (const PhotoOutcome& photo : card.photos) {
      if (photo.fate == PhotoFate::Kept) continue;
      PhotoAdapted adapted{position, card.name, photo.sourceBytes, photo.writtenBytes,
                           photo.format};
      if (adapted.name.empty()) adapted.name = "（名前なし）";
      (photo.fate == PhotoFate::Scaled ? run->report->icloud.photosScaled
                                       : run->report->icloud.photosLeftOut)
          .push_back(std::move(adapted));
    }
  } catch (...) {
    g_failed = true;
  }
}

void collect(Batch* batch, const char* path, const char* cardText) noexcept {
  if (g_failed || path == nullptr || cardText == nullptr) return;
  try {
    if (!batch->output.empty() && batch->path != path) flush(batch);
    batch->path = path;
    if (!appendUTF16LE(cardText, &batch->output)) {
      g_failed = true;
      batch->output.clear();
      return;
    }
    if (batch->output.size() >= kOutputBlock) flush(batch);
  } catch (...) {
    g_failed = true;
    batch->output.clear();
  }
}

}  // namespace

bool outputFailed() noexcept {
  return g_failed;
}

void clearOutputFailure() noexcept {
  g_failed = false;
}

bool appendUTF16LE(std::string_view utf8, std::string* out) {
  // The same texts the platform's conversion takes: well-formed UTF-8 of at
  // most INT32_MAX bytes.
  if (utf8.size() > static_cast<std::size_t>(INT32_MAX)) return false;
  return utf::convertUTF8ToUTF16LE(utf8, out);
}

void writeCard(const char* path, const char* cardText, std::uint64_t position) noexcept {
  if (g_icloud != nullptr) {
    writeICloudCard(g_icloud, cardText, position);
    return;
  }
  if (g_batch == nullptr) {
    (void)OutputFile(path, cardText);
    return;
  }
  collect(g_batch, path, cardText);
}

OutputBatch::OutputBatch() noexcept {
  static Batch batch;
  batch.output.clear();
  g_batch = &batch;
}

OutputBatch::~OutputBatch() {
  flush(g_batch);
  g_batch->output.shrink_to_fit();
  g_batch = nullptr;
}

bool keepsValueBreaks() noexcept {
  return g_icloud != nullptr;
}

TargetScope::TargetScope(const ConvertOptions& options, ConversionReport* report) noexcept {
  delete g_icloud;
  g_icloud = nullptr;
  if (report != nullptr) report->target = options.target;
  if (options.target != Target::ICloud) return;
  try {
    g_icloud = new ICloudRun{options, report, {}, {}, 0, 0, {}};
  } catch (...) {
    g_failed = true;  // out of memory: nothing is written
  }
}

TargetScope::~TargetScope() {
  if (g_icloud != nullptr && g_icloud->report != nullptr) {
    try {
      g_icloud->report->icloud.parts = g_icloud->parts;
    } catch (...) {
      // Out of memory: the parts go untold.
    }
  }
  delete g_icloud;
  g_icloud = nullptr;
}

int createOutputFile(const char* path) {
  if (g_icloud == nullptr) return Output_CreateFile(path);
  try {
    g_icloud->path = path != nullptr ? path : "";
    g_icloud->current = g_icloud->path;
    if (path == nullptr || !platform::writeFileAtomically(path, "")) {
      g_failed = true;
      return 0;
    }
    g_failed = false;
    return 1;
  } catch (...) {
    g_failed = true;
    return 0;
  }
}

std::vector<std::string> outputFiles() {
  std::vector<std::string> files;
  if (g_icloud == nullptr || g_icloud->parts.empty()) {
    if (dstFile != nullptr) files.emplace_back(dstFile);
    return files;
  }
  for (const OutputPart& part : g_icloud->parts)
    files.push_back(part.path);
  return files;
}

std::string partPath(const std::string& path, std::uint64_t number) {
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) dot = path.size();
  return path.substr(0, dot) + "-" + std::to_string(number) + path.substr(dot);
}

}  // namespace vcard::detail

int Output_CreateFile(const char* path) {
  static const unsigned char bom[2] = {0xFF, 0xFE};
  try {
    if (path == nullptr ||
        !platform::writeFileAtomically(
            path, std::string_view(reinterpret_cast<const char*>(bom), sizeof bom))) {
      vcard::detail::g_failed = true;
      return 0;
    }
    // A fresh output file: appends to it may go ahead.
    vcard::detail::g_failed = false;
    return 1;
  } catch (...) {
    vcard::detail::g_failed = true;
    return 0;
  }
}

void Output_CloseFile() {}

int OutputFile(const char* path, const char* cardText) {
  using vcard::detail::g_failed;
  if (g_failed || path == nullptr || cardText == nullptr) return 0;
  try {
    std::string body;
    const bool written =
        vcard::detail::appendUTF16LE(cardText, &body) && platform::appendToFile(path, body);
    if (!written) g_failed = true;
    return written ? 1 : 0;
  } catch (...) {
    g_failed = true;
    return 0;
  }
}
