// The conversion driver: load, create the output file, analyse, count, and
// turn the outcome into the alert and log texts.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine_p.h"
#include "platform.h"
#include "source_check.h"
#include "strutil.h"
#include "vcard.h"

char* orgFile = nullptr;
char* dstFile = nullptr;

namespace vcard::detail {

bool outputFailed = false;

bool appendText(char** buffer, const char* piece) noexcept {
  char* grown = StrAdd(*buffer, piece);
  if (grown == nullptr) return false;
  *buffer = grown;
  return true;
}

}  // namespace vcard::detail

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

}  // namespace

int Output_CreateFile(const char* path) {
  static const unsigned char bom[2] = {0xFF, 0xFE};
  try {
    if (path == nullptr ||
        !platform::writeFileAtomically(
            path, std::string_view(reinterpret_cast<const char*>(bom), sizeof bom))) {
      vcard::detail::outputFailed = true;
      return 0;
    }
    // A fresh output file: appends to it may go ahead.
    vcard::detail::outputFailed = false;
    return 1;
  } catch (...) {
    vcard::detail::outputFailed = true;
    return 0;
  }
}

void Output_CloseFile() {}

std::array<std::string, 2> vCardConvert(const char* orgPath, const char* dstPath) {
  using namespace vcard::detail;
  try {
    setPath(&orgFile, orgPath);
    setPath(&dstFile, dstPath);
    outputFailed = false;
    if (orgFile == nullptr || dstFile == nullptr) return {kCannotReadAlert, kFailedLog};

    // Writing over the source would destroy it before it is read again
    // (the loader re-reads the file by path).
    if (vcard::isSameFile(orgFile, dstFile)) return {vcard::kSameFileAlert, kFailedLog};

    char* text = nullptr;
    const int code = vCard_GetData(orgFile, &text);
    if (code == -5) return {kUnsupportedEncodingAlert, kFailedLog};
    if (code != 0) return {kCannotReadAlert, kFailedLog};

    const bool created = Output_CreateFile(dstFile) == 1;
    VCARDLIST list{0, nullptr};
    std::uint64_t inCount = 0;
    std::uint64_t outCount = 0;
    if (created) (void)vCard_AnalysData(text, &list, &inCount, &outCount);
    vCard_ReleaseData(&list, text);
    Output_CloseFile();

    if (!created) return {kCannotWriteAlert, kFailedLog};
    if (outputFailed) {
      // Only a file this call created is removed: a folder or a file that
      // could not be replaced stays as it was.
      platform::removeFile(dstFile);
      return {kCannotWriteAlert, kFailedLog};
    }
    if (outCount == 0) return {"", kNoOutputLog};
    return {"", successLog(inCount, outCount)};
  } catch (...) {
    return {kCannotReadAlert, kFailedLog};
  }
}
