#include "vcard_output.h"

#include <climits>
#include <cstddef>
#include <memory>
#include <utility>

#include "platform.h"
#include "vcard.h"
#include "write/card_reader.h"
#include "write/icloud_writer.h"

namespace vcard::detail {

// Where the output's files are made. The conversion chooses the store; the
// writers below make the same calls whichever it is.
class OutputStore {
 public:
  virtual ~OutputStore() = default;
  // The name the store files the output given as path under.
  [[nodiscard]] virtual std::string destination(const char* path) const = 0;
  // Creates or replaces the file with exactly these bytes, never half-written.
  [[nodiscard]] virtual bool create(const std::string& name, std::string_view bytes) = 0;
  // Appends to an existing file; a missing one is not created.
  [[nodiscard]] virtual bool append(const std::string& name, std::string_view bytes) = 0;
  // Renames a file, replacing one of the new name.
  [[nodiscard]] virtual bool rename(const std::string& from, const std::string& to) = 0;
  virtual void remove(const std::string& name) = 0;
};

namespace {

// Collected output is appended once this much has been gathered.
constexpr std::size_t kOutputBlock = std::size_t{1} << 20;

bool g_failed = false;

// Files beside each other on disk, named by their paths.
class FileStore final : public OutputStore {
 public:
  [[nodiscard]] std::string destination(const char* path) const override { return path; }
  [[nodiscard]] bool create(const std::string& name, std::string_view bytes) override {
    return platform::writeFileAtomically(name, bytes);
  }
  [[nodiscard]] bool append(const std::string& name, std::string_view bytes) override {
    return platform::appendToFile(name, bytes);
  }
  [[nodiscard]] bool rename(const std::string& from, const std::string& to) override {
    return platform::renameFile(from, to);
  }
  void remove(const std::string& name) override { (void)platform::removeFile(name); }
};

// Files in memory, in the order they were made, under the one name the
// output has there (and the numbered parts the writers derive from it):
// the path a caller passes along names nothing.
class MemoryStore final : public OutputStore {
 public:
  MemoryStore(std::vector<OutputFile>* files, std::string name)
      : files_(files), name_(std::move(name)) {}

  [[nodiscard]] std::string destination(const char* /*path*/) const override { return name_; }
  [[nodiscard]] bool create(const std::string& name, std::string_view bytes) override {
    if (OutputFile* file = find(name)) {
      file->bytes.assign(bytes);
      return true;
    }
    files_->push_back({name, std::string(bytes)});
    return true;
  }
  [[nodiscard]] bool append(const std::string& name, std::string_view bytes) override {
    OutputFile* file = find(name);
    if (file == nullptr) return false;
    file->bytes.append(bytes);
    return true;
  }
  [[nodiscard]] bool rename(const std::string& from, const std::string& to) override {
    if (find(from) == nullptr) return false;
    if (from != to) remove(to);
    find(from)->name = to;
    return true;
  }
  void remove(const std::string& name) override {
    std::erase_if(*files_, [&](const OutputFile& file) { return file.name == name; });
  }

 private:
  OutputFile* find(const std::string& name) {
    for (OutputFile& file : *files_) {
      if (file.name == name) return &file;
    }
    return nullptr;
  }

  std::vector<OutputFile>* files_;
  std::string name_;
};

FileStore g_fileStore;
OutputStore* g_store = &g_fileStore;

struct Batch {
  std::string output;  // collected UTF-16LE bytes
  std::string path;
};
Batch* g_batch = nullptr;

// The iCloud.com form of the running conversion; null for the iPhone's.
struct ICloudRun {
  ConvertOptions options;
  ConversionReport* report = nullptr;
  std::string path;         // the output path given (in memory, its name)
  std::string current;      // the file cards go to now
  std::uint64_t part = 0;   // its number, 0 while it is the output path itself
  std::uint64_t cards = 0;  // cards in the current file
  std::vector<OutputPart> parts;
  Card model;  // the card being written, its storage kept from card to card
};
ICloudRun* g_icloud = nullptr;

void flush(Batch* batch) noexcept {
  if (batch->output.empty()) return;
  try {
    if (!g_failed && !g_store->append(batch->path, batch->output)) g_failed = true;
  } catch (...) {
    g_failed = true;
  }
  batch->output.clear();
}

// Appends bytes already in the output's encoding to the file at path, or to
// the batch when there is one.
void collectBytes(const std::string& path, std::string_view bytes) {
  if (g_batch == nullptr) {
    if (!g_store->append(path, bytes)) g_failed = true;
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
    if (!g_store->rename(run->path, first)) {
      g_failed = true;
      return;
    }
    run->current = first;
    run->parts.push_back({first, run->cards});
  }
  ++run->part;
  run->current = partPath(run->path, run->part);
  if (!g_store->create(run->current, "")) {
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
    readCard(text, &run->model);
    ICloudCard card = icloudCard(run->model);
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
    const std::string destination = g_store->destination(path);
    if (!batch->output.empty() && batch->path != destination) flush(batch);
    batch->path = destination;
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
    // The engine's C function, not the in-memory file of the same name.
    (void)::OutputFile(path, cardText);
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
    g_icloud = new ICloudRun{options, report, {}, {}, 0, 0, {}, {}};
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
    g_icloud->path = path != nullptr ? g_store->destination(path) : "";
    g_icloud->current = g_icloud->path;
    if (path == nullptr || !g_store->create(g_icloud->path, "")) {
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

void removeOutputFiles() {
  if (g_icloud == nullptr || g_icloud->parts.empty()) {
    if (dstFile != nullptr) g_store->remove(g_store->destination(dstFile));
    return;
  }
  for (const OutputPart& part : g_icloud->parts)
    g_store->remove(part.path);
}

MemoryOutputScope::MemoryOutputScope(std::vector<OutputFile>* files, std::string name)
    : store_(std::make_unique<MemoryStore>(files, std::move(name))) {
  g_store = store_.get();
}

MemoryOutputScope::~MemoryOutputScope() {
  g_store = &g_fileStore;
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
    using vcard::detail::g_store;
    if (path == nullptr ||
        !g_store->create(g_store->destination(path),
                         std::string_view(reinterpret_cast<const char*>(bom), sizeof bom))) {
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
    using vcard::detail::g_store;
    const bool written = vcard::detail::appendUTF16LE(cardText, &body) &&
                         g_store->append(g_store->destination(path), body);
    if (!written) g_failed = true;
    return written ? 1 : 0;
  } catch (...) {
    g_failed = true;
    return 0;
  }
}
