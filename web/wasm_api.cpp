#include "wasm_api.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "memory_convert.h"
#include "report_json.h"
#include "vcard_report.h"

namespace {

// vcard-convert's exit codes, which the page reads as it would the tool's.
constexpr int kExitOk = 0;
constexpr int kExitConversionFailed = 1;
constexpr int kExitUsage = 64;

struct LastConversion {
  vcard::MemoryConversion conversion;
  std::string json;
  std::string reportText;
};

std::unique_ptr<LastConversion> g_last;

struct ProgressHook {
  vcw_progress_fn fn = nullptr;
  std::chrono::milliseconds interval{0};
};

ProgressHook g_progress;

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
std::string usageAlert(const unsigned char* bytes, unsigned long length, int target, int carrier) {
  if (!targetOf(target)) return "不明な変換先です: " + std::to_string(target);
  if (!carrierOf(carrier)) return "不明な携帯会社です: " + std::to_string(carrier);
  if (bytes == nullptr && length != 0) return "変換元ファイルが指定されていません。";
  return {};
}

const vcard::OutputFile* outputAt(int i) {
  if (!g_last || i < 0) return nullptr;
  const auto index = static_cast<std::size_t>(i);
  if (index >= g_last->conversion.outputs.size()) return nullptr;
  return &g_last->conversion.outputs[index];
}

}  // namespace

int vcw_convert(const unsigned char* bytes, unsigned long length, int target, int carrier) {
  // The previous conversion goes first: two at once may not fit the
  // module's memory.
  g_last.reset();
  try {
    auto last = std::make_unique<LastConversion>();
    const std::string alert = usageAlert(bytes, length, target, carrier);
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
    const std::string_view source(reinterpret_cast<const char*>(bytes), length);
    last->conversion = vcard::convertBytes(source, options);
    const vcard::MemoryConversion& done = last->conversion;
    const int status = done.result[0].empty() ? kExitOk : kExitConversionFailed;
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

const char* vcw_json(void) {
  return g_last ? g_last->json.c_str() : nullptr;
}

const char* vcw_report_text(void) {
  return g_last ? g_last->reportText.c_str() : nullptr;
}

int vcw_output_count(void) {
  if (!g_last) return 0;
  const std::size_t count = g_last->conversion.outputs.size();
  return count > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(count);
}

const char* vcw_output_name(int i) {
  const vcard::OutputFile* file = outputAt(i);
  return file != nullptr ? file->name.c_str() : nullptr;
}

const unsigned char* vcw_output_data(int i) {
  const vcard::OutputFile* file = outputAt(i);
  return file != nullptr ? reinterpret_cast<const unsigned char*>(file->bytes.data()) : nullptr;
}

unsigned long vcw_output_size(int i) {
  const vcard::OutputFile* file = outputAt(i);
  return file != nullptr ? static_cast<unsigned long>(file->bytes.size()) : 0;
}

void vcw_release(void) {
  g_last.reset();
}

void vcw_set_progress(vcw_progress_fn fn, int intervalMs) {
  g_progress.fn = fn;
  g_progress.interval = std::chrono::milliseconds(std::max(intervalMs, 0));
}
