#include "wasm_api.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstddef>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "memory_convert.h"
#include "report_json.h"
#include "vcard_report.h"

namespace {

// vcard-convert's exit codes, which the page reads as it would the tool's.
constexpr int kExitOk = 0;
constexpr int kExitConversionFailed = 1;
constexpr int kExitUsage = 64;

// An output file as the page gets it: the numbers of the blocks it kept.
struct KeptFile {
  std::string name;
  std::vector<int> blocks;
  double size = 0;
};

// Hands each block to the page's keep function and remembers which file the
// block belongs to.
class BlockReceiver final : public vcard::OutputReceiver {
 public:
  explicit BlockReceiver(vcw_keep_fn keep) : keep_(keep) {}

  bool create(const std::string& name, std::string_view bytes) override {
    remove(name);
    files_.push_back({name, {}, 0});
    return keepIn(files_.back(), bytes);
  }
  bool append(const std::string& name, std::string_view bytes) override {
    KeptFile* file = find(name);
    return file != nullptr && keepIn(*file, bytes);
  }
  bool rename(const std::string& from, const std::string& to) override {
    if (find(from) == nullptr) return false;
    if (from != to) remove(to);
    find(from)->name = to;
    return true;
  }
  void remove(const std::string& name) override {
    std::erase_if(files_, [&](const KeptFile& file) { return file.name == name; });
  }

  [[nodiscard]] std::vector<KeptFile> take() { return std::move(files_); }

 private:
  KeptFile* find(const std::string& name) {
    for (KeptFile& file : files_) {
      if (file.name == name) return &file;
    }
    return nullptr;
  }
  bool keepIn(KeptFile& file, std::string_view bytes) {
    // Blocks are at most the writer's block, far below INT_MAX; nothing
    // is kept of an empty one.
    if (bytes.empty()) return true;
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const int block =
        keep_(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    if (block < 0) return false;
    file.blocks.push_back(block);
    file.size += static_cast<double>(bytes.size());
    return true;
  }

  vcw_keep_fn keep_;
  std::vector<KeptFile> files_;
};

// The page's file, read through its read function.
class PageSource final : public vcard::SourceReader {
 public:
  PageSource(double size, vcw_read_fn read)
      : size_(static_cast<std::uint64_t>(size)), read_(read) {}
  [[nodiscard]] std::uint64_t size() const override { return size_; }
  [[nodiscard]] std::optional<std::size_t> readSome(char* out, std::size_t count) override {
    if (read_ == nullptr) return std::size_t{0};
    const int asked = static_cast<int>(std::min<std::size_t>(count, INT_MAX));
    const int got =
        read_(static_cast<double>(offset_), reinterpret_cast<unsigned char*>(out), asked);
    if (got < 0 || got > asked) return std::nullopt;
    offset_ += static_cast<std::uint64_t>(got);
    return static_cast<std::size_t>(got);
  }
  [[nodiscard]] bool rewind() override {
    offset_ = 0;
    return true;
  }

 private:
  std::uint64_t size_;
  vcw_read_fn read_;
  std::uint64_t offset_ = 0;
};

struct LastConversion {
  std::vector<KeptFile> files;
  std::string json;
  std::string reportText;
};

std::unique_ptr<LastConversion> g_last;

struct ProgressHook {
  vcw_progress_fn fn = nullptr;
  std::chrono::milliseconds interval{0};
};

ProgressHook g_progress;

// The page's module cannot unwind (see cmake/WebBuild.cmake): a throw there
// ends it, and only running out of memory throws. The handler notes that
// first, then lets the allocation fail.
bool g_outOfMemory = false;

#if defined(__EMSCRIPTEN__)
void noteOutOfMemory() {
  g_outOfMemory = true;
  std::set_new_handler(nullptr);
}
#endif

// The step as vcw_progress_fn numbers it.
int stepCode(vcard::ProgressStep step) {
  switch (step) {
    case vcard::ProgressStep::Reading:
      return 0;
    case vcard::ProgressStep::Converting:
      return 1;
    case vcard::ProgressStep::ScalingPhotos:
      return 2;
  }
  return 1;
}

// The page cannot stop a conversion it waits for, so the hook only listens.
vcard::ProgressCallback progressCallback(const ProgressHook& hook) {
  if (hook.fn == nullptr) return {};
  return [fn = hook.fn](const vcard::Progress& p) {
    fn(stepCode(p.step), static_cast<double>(p.bytesRead), static_cast<double>(p.sourceBytes),
       static_cast<double>(p.currentCard), static_cast<double>(p.cardsWritten));
    return true;
  };
}

std::optional<vcard::Target> targetOf(int code) {
  switch (code) {
    case 0:
      return vcard::Target::IPhone;
    case 1:
      return vcard::Target::ICloud;
    default:
      return std::nullopt;
  }
}

std::optional<vcard::CarrierChoice> carrierOf(int code) {
  switch (code) {
    case 0:
      return vcard::CarrierChoice::Auto;
    case 1:
      return vcard::CarrierChoice::Docomo;
    case 2:
      return vcard::CarrierChoice::AU;
    case 3:
      return vcard::CarrierChoice::SoftBank;
    case 4:
      return vcard::CarrierChoice::None;
    default:
      return std::nullopt;
  }
}

// Why the arguments cannot be converted, as the page shows it; "" when
// they can.
std::string usageAlert(double size, int target, int carrier, vcw_read_fn read, vcw_keep_fn keep) {
  if (!targetOf(target)) return "不明な変換先です: " + std::to_string(target);
  if (!carrierOf(carrier)) return "不明な携帯会社です: " + std::to_string(carrier);
  if ((read == nullptr && size != 0) || !(size >= 0)) return "変換元ファイルが指定されていません。";
  if (keep == nullptr) return "出力の受け取り先が指定されていません。";
  return {};
}

const KeptFile* outputAt(int i) {
  if (!g_last || i < 0) return nullptr;
  const auto index = static_cast<std::size_t>(i);
  if (index >= g_last->files.size()) return nullptr;
  return &g_last->files[index];
}

}  // namespace

int vcw_convert(double size, int target, int carrier, vcw_read_fn read, vcw_keep_fn keep) {
  // The previous conversion goes first: two at once may not fit the
  // module's memory.
  g_last.reset();
  g_outOfMemory = false;
#if defined(__EMSCRIPTEN__)
  std::set_new_handler(noteOutOfMemory);
#endif
  try {
    auto last = std::make_unique<LastConversion>();
    const std::string alert = usageAlert(size, target, carrier, read, keep);
    if (!alert.empty()) {
      last->json =
          vcard::failureJson(alert, kExitUsage, targetOf(target).value_or(vcard::Target::IPhone));
      g_last = std::move(last);
      return kExitUsage;
    }
    vcard::ConvertOptions options;
    options.target = *targetOf(target);
    options.carrier = *carrierOf(carrier);
    options.progress = progressCallback(g_progress);
    options.progressInterval = g_progress.interval;
    PageSource source(size, read);
    BlockReceiver receiver(keep);
    const vcard::ReceivedConversion done = vcard::convertPieces(source, options, receiver);
    const int status = done.result[0].empty() ? kExitOk : kExitConversionFailed;
    last->files = receiver.take();
    last->json = vcard::reportJson(done.result, done.report, status);
    last->reportText = vcard::reportText(done.report);
    g_last = std::move(last);
    return status;
  } catch (...) {
    // Out of memory: nothing to show but the failure.
    g_last.reset();
    return kExitConversionFailed;
  }
}

int vcw_out_of_memory(void) {
  return g_outOfMemory ? 1 : 0;
}

const char* vcw_json(void) {
  return g_last ? g_last->json.c_str() : nullptr;
}

const char* vcw_report_text(void) {
  return g_last ? g_last->reportText.c_str() : nullptr;
}

int vcw_output_count(void) {
  if (!g_last) return 0;
  const std::size_t count = g_last->files.size();
  return count > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(count);
}

const char* vcw_output_name(int i) {
  const KeptFile* file = outputAt(i);
  return file != nullptr ? file->name.c_str() : nullptr;
}

double vcw_output_size(int i) {
  const KeptFile* file = outputAt(i);
  return file != nullptr ? file->size : 0;
}

int vcw_output_block_count(int i) {
  const KeptFile* file = outputAt(i);
  return file != nullptr ? static_cast<int>(file->blocks.size()) : 0;
}

int vcw_output_block(int i, int j) {
  const KeptFile* file = outputAt(i);
  if (file == nullptr || j < 0 || static_cast<std::size_t>(j) >= file->blocks.size()) return -1;
  return file->blocks[static_cast<std::size_t>(j)];
}

void vcw_release(void) {
  g_last.reset();
}

void vcw_set_progress(vcw_progress_fn fn, int intervalMs) {
  g_progress.fn = fn;
  g_progress.interval = std::chrono::milliseconds(std::max(intervalMs, 0));
}
