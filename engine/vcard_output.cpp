#include "vcard_output.h"

#include <climits>
#include <cstddef>

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

void flush(Batch* batch) noexcept {
  if (batch->output.empty()) return;
  try {
    if (!g_failed && !platform::appendToFile(batch->path, batch->output)) g_failed = true;
  } catch (...) {
    g_failed = true;
  }
  batch->output.clear();
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

void writeCard(const char* path, const char* cardText) noexcept {
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
