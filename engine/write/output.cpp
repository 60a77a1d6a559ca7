#include "output.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "icloud_writer.h"
#include "output_names.h"
#include "platform.h"
#include "utf8.h"

namespace vcard::detail {

namespace {
// Collected output is appended once this much has been gathered.
constexpr std::size_t kOutputBlock = std::size_t{1} << 20;
}  // namespace

// Encodes cards' UTF-8 form to UTF-16LE and appends it to one file, on a
// thread of its own. One text waits while the one before it is written; a
// failure (text that is not UTF-8, a full disk) ends the writing and is
// told by finish, as running out of memory is.
class BackgroundWriter {
 public:
  // May throw std::system_error when no thread can be had.
  BackgroundWriter(OutputStore& store, std::string path) : store_(store), path_(std::move(path)) {
    thread_ = std::thread([this] { run(); });
  }
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;
  ~BackgroundWriter() { abandon(); }

  // Takes the text to be written; text is left empty, to gather the next.
  void hand(std::string& text) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return !queued_ || exited_; });
      // A writer that gave up (out of memory) takes nothing more; finish
      // tells why.
      if (!exited_) {
        waiting_.swap(text);
        queued_ = true;
      }
    }
    changed_.notify_all();
    text.clear();
  }
  // Writes what was handed and what is still collected; false when the
  // writing failed.
  [[nodiscard]] bool finish() {
    {
      const std::lock_guard lock(mutex_);
      finishing_ = true;
    }
    changed_.notify_all();
    thread_.join();
    if (error_) std::rethrow_exception(error_);
    return !failed_;
  }
  // Stops, leaving unwritten what was not written yet.
  void abandon() noexcept {
    if (!thread_.joinable()) return;
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  [[nodiscard]] bool failed() const noexcept { return failed_.load(std::memory_order_relaxed); }

 private:
  void run() {
    try {
      std::string text;
      for (;;) {
        bool finished = false;
        {
          std::unique_lock lock(mutex_);
          changed_.wait(lock, [this] { return queued_ || finishing_ || stop_; });
          if (stop_) break;
          finished = !queued_;  // finishing, and all was handed over
          if (!finished) {
            text.swap(waiting_);
            queued_ = false;
          }
        }
        if (finished) {
          if (!failed_ && !encoded_.empty()) append();
          break;
        }
        changed_.notify_all();
        if (!failed_ && !utf::convertUTF8ToUTF16LE(text, &encoded_)) failed_ = true;
        if (!failed_ && encoded_.size() >= kOutputBlock) append();
        text.clear();
      }
    } catch (...) {
      error_ = std::current_exception();
      failed_ = true;
    }
    {
      const std::lock_guard lock(mutex_);
      exited_ = true;
    }
    changed_.notify_all();
  }
  void append() {
    if (!store_.append(path_, encoded_)) failed_ = true;
    encoded_.clear();
  }

  OutputStore& store_;
  const std::string path_;
  std::string waiting_;  // handed over, not yet taken
  std::string encoded_;  // UTF-16LE not yet appended
  bool queued_ = false;
  bool finishing_ = false;
  bool stop_ = false;
  bool exited_ = false;  // the thread is done, whatever the reason
  std::atomic<bool> failed_{false};
  std::exception_ptr error_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
};

Output::Output(OutputStore& store, const ConvertOptions& options, ConversionReport* report,
               ProgressMeter* progress) noexcept
    : store_(store), options_(options), report_(report), progress_(progress) {}

Output::~Output() = default;

bool FileStore::create(const std::string& name, std::string_view bytes) {
  return platform::writeFileAtomically(name, bytes);
}
bool FileStore::append(const std::string& name, std::string_view bytes) {
  return platform::appendToFile(name, bytes);
}
bool FileStore::rename(const std::string& from, const std::string& to) {
  return platform::renameFile(from, to);
}
void FileStore::remove(const std::string& name) {
  (void)platform::removeFile(name);
}

platform::StagedFile* StagedFileStore::find(const std::string& name) {
  for (const auto& file : files_) {
    if (file->destination() == name) return file.get();
  }
  return nullptr;
}
bool StagedFileStore::create(const std::string& name, std::string_view bytes) {
  remove(name);
  std::unique_ptr<platform::StagedFile> file = platform::StagedFile::create(name);
  if (file == nullptr || !file->append(bytes)) return false;
  files_.push_back(std::move(file));
  return true;
}
bool StagedFileStore::append(const std::string& name, std::string_view bytes) {
  platform::StagedFile* file = find(name);
  return file != nullptr && file->append(bytes);
}
bool StagedFileStore::rename(const std::string& from, const std::string& to) {
  if (find(from) == nullptr) return false;
  if (from != to) remove(to);
  find(from)->setDestination(to);
  return true;
}
void StagedFileStore::remove(const std::string& name) {
  // Destroying a staged file removes its temporary.
  std::erase_if(files_, [&](const auto& file) { return file->destination() == name; });
}
bool StagedFileStore::commit() {
  // Every file is on the disk before the first is put in place, so that a
  // failure to flush leaves every earlier output as it was.
  for (const auto& file : files_) {
    if (!file->finish()) return false;
  }
  for (const auto& file : files_) {
    if (!file->replace()) return false;
    committed_.push_back(file->destination());
  }
  for (const std::string& earlier : existingOutputs(output_, target_)) {
    if (std::find(committed_.begin(), committed_.end(), earlier) != committed_.end()) continue;
    if (platform::removeFile(earlier)) superseded_.push_back(earlier);
  }
  // The renames and removals are made lasting too: a power cut after the
  // run must not bring back the earlier files.
  (void)platform::syncFolder(platform::folderOf(output_));
  return true;
}

bool ReceiverStore::create(const std::string& name, std::string_view bytes) {
  if (std::find(held_.begin(), held_.end(), name) == held_.end()) held_.push_back(name);
  return receiver_.create(name, bytes);
}
bool ReceiverStore::rename(const std::string& from, const std::string& to) {
  if (!receiver_.rename(from, to)) return false;
  if (from != to) std::erase(held_, to);
  std::replace(held_.begin(), held_.end(), from, to);
  return true;
}
void ReceiverStore::remove(const std::string& name) {
  std::erase(held_, name);
  receiver_.remove(name);
}
void ReceiverStore::removeAll() {
  for (const std::string& name : held_)
    receiver_.remove(name);
  held_.clear();
}

OutputFile* FileCollector::find(const std::string& name) {
  for (OutputFile& file : *files_) {
    if (file.name == name) return &file;
  }
  return nullptr;
}
bool FileCollector::create(const std::string& name, std::string_view bytes) {
  if (OutputFile* file = find(name)) {
    file->bytes.assign(bytes);
    return true;
  }
  files_->push_back({name, std::string(bytes)});
  return true;
}
bool FileCollector::append(const std::string& name, std::string_view bytes) {
  OutputFile* file = find(name);
  if (file == nullptr) return false;
  file->bytes.append(bytes);
  return true;
}
bool FileCollector::rename(const std::string& from, const std::string& to) {
  if (find(from) == nullptr) return false;
  if (from != to) remove(to);
  find(from)->name = to;
  return true;
}
void FileCollector::remove(const std::string& name) {
  std::erase_if(*files_, [&](const OutputFile& file) { return file.name == name; });
}

bool appendUTF16LE(std::string_view utf8, std::string* out) {
  // The same texts the platform's conversion takes: well-formed UTF-8 of at
  // most INT32_MAX bytes.
  if (utf8.size() > static_cast<std::size_t>(INT32_MAX)) return false;
  return utf::convertUTF8ToUTF16LE(utf8, out);
}

bool Output::create(const std::string& path) {
  static constexpr char kByteOrderMark[] = {'\xFF', '\xFE'};
  path_ = store_.destination(path);
  current_ = path_;
  const std::string_view empty =
      options_.target == Target::ICloud ? std::string_view() : std::string_view(kByteOrderMark, 2);
  failed_ = !store_.create(path_, empty);
  return !failed_;
}

void Output::appendTo(const std::string& path) {
  path_ = store_.destination(path);
  current_ = path_;
}

void Output::flush() {
  if (batch_.empty()) return;
  if (!failed_ && !store_.append(batchPath_, batch_)) failed_ = true;
  batch_.clear();
}

void Output::collect(const std::string& path, std::string_view bytes) {
  if (!batch_.empty() && batchPath_ != path) flush();
  batchPath_ = path;
  batch_.append(bytes);
  if (batch_.size() >= kOutputBlock) flush();
}

void Output::write(const Card& card, std::string_view text, std::uint64_t position) {
  if (failed_) return;
  if (options_.target == Target::ICloud) {
    writeICloud(card, text, position);
    return;
  }
  if (!batch_.empty() && batchPath_ != current_) flush();
  batchPath_ = current_;
  if (backgroundBlock_ > 0) {
    writeBehind(card);
    return;
  }
  if (!card.appendIPhoneUTF16LE(&batch_)) {
    failed_ = true;
    batch_.clear();
    return;
  }
  if (batch_.size() >= kOutputBlock) flush();
}

// Moves on to the next numbered file: the first file written so far takes
// the name of part 1, and part 2 and on start empty.
void Output::startNextPart() {
  flush();
  if (part_ == 0) {
    part_ = 1;
    const std::string first = partPath(path_, 1);
    if (!store_.rename(path_, first)) {
      failed_ = true;
      return;
    }
    current_ = first;
    parts_.push_back({first, cards_});
  }
  ++part_;
  current_ = partPath(path_, part_);
  if (!store_.create(current_, "")) {
    failed_ = true;
    return;
  }
  parts_.push_back({current_, 0});
  cards_ = 0;
}

void Output::writeICloud(const Card& card, std::string_view text, std::uint64_t position) {
  // The model's parts are the card's text: well-formed when that is.
  if (!utf::validateUTF8(text)) {
    failed_ = true;
    return;
  }
  ICloudCard written = icloudCard(card, progress_);
  if (cards_ >= options_.cardsPerFile && options_.cardsPerFile > 0) startNextPart();
  if (failed_) return;
  collect(current_, written.text);
  ++cards_;
  if (!parts_.empty()) parts_.back().cards = cards_;
  if (report_ == nullptr) return;
  for (const PhotoOutcome& photo : written.photos) {
    if (photo.fate == PhotoFate::Kept) continue;
    PhotoAdapted adapted{position, written.name, photo.sourceBytes, photo.writtenBytes,
                         photo.format};
    if (adapted.name.empty()) adapted.name = "（名前なし）";
    (photo.fate == PhotoFate::Scaled ? report_->icloud.photosScaled : report_->icloud.photosLeftOut)
        .push_back(std::move(adapted));
  }
}

void Output::writeBehind(const Card& card) {
  if (writer_ != nullptr && writer_->failed()) {
    failed_ = true;
    return;
  }
  const std::size_t before = behind_.size();
  card.appendIPhoneText(&behind_);
  // A card is converted on its own as long as it has at most INT32_MAX
  // bytes, as when it is encoded here.
  if (behind_.size() - before > static_cast<std::size_t>(INT32_MAX)) {
    failed_ = true;
    behind_.clear();
    return;
  }
  if (behind_.size() >= backgroundBlock_) handOff();
}

void Output::handOff() {
  if (writer_ == nullptr) {
    try {
      writer_ = std::make_unique<BackgroundWriter>(store_, batchPath_);
    } catch (const std::system_error&) {
      // No thread to be had: the cards are encoded here after all.
      backgroundBlock_ = 0;
      if (!appendUTF16LE(behind_, &batch_)) failed_ = true;
      behind_.clear();
      if (batch_.size() >= kOutputBlock) flush();
      return;
    }
  }
  writer_->hand(behind_);
}

void Output::finish() {
  if (!behind_.empty() && !failed_) handOff();
  behind_.clear();
  behind_.shrink_to_fit();
  if (writer_ != nullptr) {
    if (!writer_->finish()) failed_ = true;
    writer_.reset();
  }
  flush();
  batch_.shrink_to_fit();
  if (report_ != nullptr && options_.target == Target::ICloud) report_->icloud.parts = parts_;
}

void Output::removeWritten() {
  writer_.reset();  // stopped first: nothing is appended after this
  if (parts_.empty()) {
    store_.remove(path_);
    return;
  }
  for (const OutputPart& part : parts_)
    store_.remove(part.path);
}

}  // namespace vcard::detail
