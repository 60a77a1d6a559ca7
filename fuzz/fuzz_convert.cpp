// Feeds arbitrary bytes through the whole conversion: loading with every
// encoding path, line analysis, recognition, rewrite rules and output, in a
// private temporary folder. Aborts when the source changes, when the result
// is not one of the fixed texts, or when a failed conversion leaves output;
// and when the source read in pieces (of a size the first byte picks)
// converts otherwise than loaded whole.
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "convert.h"
#include "read/source_stream.h"
#include "vcard.h"
#include "vcard_report.h"

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::string& workFolder() {
  static const std::string folder = [] {
    char name[] = "/tmp/vcard-fuzz-XXXXXX";
    if (mkdtemp(name) == nullptr) std::abort();
    return std::string(name);
  }();
  return folder;
}

bool isKnownAlert(const std::string& alert) {
  static const char* const kAlerts[] = {
      "",
      "変換元ファイルが読み込めません。\n他で使用中もしくは破損している可能性があります。",
      "変換元ファイルの文字コードに対応していません。",
      "出力ファイルに書き込めません。",
      "変換元ファイルと出力ファイルが同じです。",
      ("メモリーが足りないため、変換を続けられませんでした。\n"
       "ほかのアプリを閉じるか、ファイルを分けてから変換してください。"),
  };
  for (const char* known : kAlerts) {
    if (alert == known) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string source = workFolder() + "/source.vcf";
  const std::string output = workFolder() + "/PC→iPhone.vcf";
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(source, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::filesystem::remove(output);

  vcard::ConversionReport report;
  const std::array<std::string, 2> result =
      vcard::detail::convertFile(source.c_str(), output.c_str(), vcard::ConvertOptions{}, &report,
                                 vcard::detail::StreamLimits{UINT64_MAX, 1u << 20});
  const std::string whole = readAll(output);
  std::filesystem::remove(output);

  // In pieces, read ahead on a thread, and the output written on another a
  // few cards at a time.
  vcard::ConversionReport piecesReport;
  const std::size_t pieceSize = 1 + (size > 0 ? data[0] % 64u : 0u);
  const std::array<std::string, 2> pieces = vcard::detail::convertFile(
      source.c_str(), output.c_str(), vcard::ConvertOptions{}, &piecesReport,
      vcard::detail::StreamLimits{1, pieceSize, pieceSize});
  if (pieces != result || readAll(output) != whole ||
      vcard::reportText(piecesReport) != vcard::reportText(report)) {
    std::fprintf(stderr, "read in pieces, the source converts otherwise\n");
    std::abort();
  }

  if (readAll(source) != bytes) {
    std::fprintf(stderr, "source file changed\n");
    std::abort();
  }
  if (!isKnownAlert(result[0])) {
    std::fprintf(stderr, "unexpected alert: %s\n", result[0].c_str());
    std::abort();
  }
  if (result[1].empty()) {
    std::fprintf(stderr, "empty log text\n");
    std::abort();
  }
  // An output exists exactly when cards were written: a failure or a file
  // with no card leaves none.
  const bool hasOutput = std::filesystem::exists(output);
  if ((result[0].empty() && report.outCount > 0) != hasOutput) {
    std::fprintf(stderr, "alert \"%s\" but output %s\n", result[0].c_str(),
                 hasOutput ? "exists" : "is missing");
    std::abort();
  }
  if (hasOutput) {
    const std::string written = readAll(output);
    if (written.size() < 2 || written.size() % 2 != 0 || written.compare(0, 2, "\xFF\xFE") != 0) {
      std::fprintf(stderr, "output is not UTF-16LE with a mark\n");
      std::abort();
    }
  }
  std::filesystem::remove(output);
  return 0;
}
