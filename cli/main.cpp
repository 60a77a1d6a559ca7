// vcard-convert: converts one vCard file to the form an iPhone address book
// imports (or, with --target=icloud, the form iCloud.com's Contacts page
// imports), with the same checks and the same engine as the desktop window.
#include <unistd.h>

#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert.h"
#include "icloud_limits.h"
#include "platform.h"
#include "progress_line.h"
#include "report_json.h"
#include "source_check.h"
#include "vcard.h"
#include "vcard_report.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitConversionFailed = 1;
constexpr int kExitSourceRejected = 2;
constexpr int kExitOutputExists = 3;
constexpr int kExitUsage = 64;

// The usage text; the iCloud.com photo limit is the one the engine keeps to.
std::string usage() {
  return "使い方: vcard-convert [--force] [--json] [--target=iphone|icloud] [--carrier=携帯会社]\n"
         "                      変換元ファイル [出力ファイル]\n"
         "\n"
         "vCardファイル（Shift_JIS、UTF-8、UTF-16）をiPhoneの連絡先に取り込める形式\n"
         "（UTF-16LE、CR LF）に変換します。出力ファイルを省略すると、変換元ファイルと\n"
         "同じフォルダの「PC→iPhone.vcf」に書き出します。\n"
         "--target=icloud では、iCloud.com の連絡先に読み込める形式（vCard 3.0、UTF-8、\n"
         "CR LF、FN付き、写真は " +
         vcard::limitText(vcard::kICloudMaxPhotoBytes) +
         " まで）で「PC→iCloud.vcf」に書き出します。\n"
         "50,000件を超えるときは「PC→iCloud-1.vcf」「PC→iCloud-2.vcf」…に分けます。\n"
         "\n"
         "変換結果のあとに、書き出さなかったカードとその理由などの変換レポートを表示します\n"
         "（カードの名前を含みます）。\n"
         "\n"
         "  --force  出力ファイルが既にあるときも上書きします\n"
         "  --json   結果とレポートを一つの JSON 文書として標準出力に書きます\n"
         "  --target=iphone  iPhone で開くファイルを書き出します（既定）\n"
         "  --target=icloud  iCloud.com に読み込むファイルを書き出します\n"
         "  --carrier=auto|docomo|au|softbank|none\n"
         "           携帯電話の絵文字をどの携帯会社のものとして Unicode の絵文字にするか\n"
         "           （auto: ファイルから判定〔既定〕、none: 変換しない）\n"
         "  --help   この説明を表示します\n"
         "\n"
         "終了コード: 0 変換完了、1 変換失敗、2 変換元ファイルの確認で不可、\n"
         "            3 出力ファイルが既に存在、64 使い方の誤り\n";
}

void printLine(std::FILE* stream, const std::string& text) {
  std::fputs(text.c_str(), stream);
  if (!text.empty() && text.back() != '\n') std::fputc('\n', stream);
}

// True when --json stands among the options (before any "--"), wherever
// the argument that fails is: a usage error is answered in JSON too.
bool asksForJson(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--") return false;
    if (argument == "--json") return true;
  }
  return false;
}

// How long a run goes before its progress is shown. The tests set
// VCARD_CONVERT_PROGRESS_DELAY_MS (0 shows it at once) so that they need not
// depend on how fast the machine converts.
std::chrono::milliseconds progressDelay() {
  const char* value = std::getenv("VCARD_CONVERT_PROGRESS_DELAY_MS");
  if (value == nullptr) return cli::kProgressDelay;
  const std::string_view text = value;
  unsigned milliseconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), milliseconds);
  if (error != std::errc() || end != text.data() + text.size()) return cli::kProgressDelay;
  return std::chrono::milliseconds(milliseconds);
}

}  // namespace

int main(int argc, char** argv) {
  bool force = false;
  const bool json = asksForJson(argc, argv);
  vcard::ConvertOptions options;
  // A run that stops before converting: the message on standard error as
  // always (then the usage, for a usage error), and with --json its document
  // on standard output.
  auto fail = [&](const std::string& alert, int exitCode) {
    printLine(stderr, alert);
    if (exitCode == kExitUsage) std::fputs(usage().c_str(), stderr);
    if (json) std::fputs(vcard::failureJson(alert, exitCode, options.target).c_str(), stdout);
    return exitCode;
  };
  bool optionsEnded = false;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (!optionsEnded && argument == "--help") {
      std::fputs(usage().c_str(), stdout);
      return kExitOk;
    }
    if (!optionsEnded && argument == "--force") {
      force = true;
    } else if (!optionsEnded && argument == "--json") {
      // Seen before the loop.
    } else if (!optionsEnded && argument.starts_with("--target=")) {
      // Told like an unknown carrier: the option is known, its word is not.
      const std::string word = argument.substr(std::strlen("--target="));
      if (word != "iphone" && word != "icloud")
        return fail("不明な書き出し先です: " + word + "（iphone か icloud を指定してください）",
                    kExitUsage);
      options.target = word == "icloud" ? vcard::Target::ICloud : vcard::Target::IPhone;
    } else if (!optionsEnded && argument.starts_with("--carrier=")) {
      const std::string word = argument.substr(std::strlen("--carrier="));
      const std::optional<vcard::CarrierChoice> choice = vcard::parseCarrierChoice(word);
      if (!choice) return fail("不明な携帯会社です: " + word, kExitUsage);
      options.carrier = *choice;
    } else if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      return fail("不明なオプションです: " + argument, kExitUsage);
    } else {
      paths.push_back(argument);
    }
  }
  if (paths.empty() || paths.size() > 2) {
    // Standard error has the usage alone; the document says what was wrong.
    std::fputs(usage().c_str(), stderr);
    if (json) {
      const std::string alert = paths.empty() ? "変換元ファイルが指定されていません。"
                                              : "指定できるファイルは変換元と出力の2つまでです。";
      std::fputs(vcard::failureJson(alert, kExitUsage, options.target).c_str(), stdout);
    }
    return kExitUsage;
  }

  const std::string& source = paths[0];
  if (const std::string alert = vcard::checkSourcePath(source); !alert.empty())
    return fail(alert, kExitSourceRejected);
  const std::string output =
      paths.size() == 2 ? paths[1] : vcard::outputPathForSource(source, options.target);
  if (platform::isSameFile(source, output)) return fail(vcard::kSameFileAlert, kExitSourceRejected);
  if (const std::string existing = vcard::existingOutput(output, options.target);
      !existing.empty() && !force) {
    return fail("出力ファイルが既に存在します: " + existing +
                    "\n上書きする場合は --force を指定してください。",
                kExitOutputExists);
  }

  // Progress goes only to a person watching standard error; a file or pipe
  // gets exactly what it always did.
  std::optional<cli::ProgressLine> progressLine;
  if (::isatty(STDERR_FILENO) == 1) {
    progressLine.emplace([] { return std::chrono::steady_clock::now(); },
                         [](std::string_view bytes) {
                           std::fwrite(bytes.data(), 1, bytes.size(), stderr);
                           std::fflush(stderr);
                         },
                         progressDelay());
    options.progress = [&progressLine](const vcard::Progress& progress) {
      progressLine->show(progress);
      return true;
    };
  }
  vcard::ConversionReport report;
  const std::array<std::string, 2> result =
      vCardConvert(source.c_str(), output.c_str(), options, &report);
  if (progressLine) progressLine->clear();
  const int status = result[0].empty() ? kExitOk : kExitConversionFailed;
  if (json) {
    std::fputs(vcard::reportJson(result, report, status).c_str(), stdout);
    return status;
  }
  if (!result[0].empty()) printLine(stderr, result[0]);
  std::fputs(result[1].c_str(), stdout);
  std::fputs(vcard::reportText(report).c_str(), stdout);
  return status;
}
