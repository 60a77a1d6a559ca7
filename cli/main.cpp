// vcard-convert: converts one vCard file to the form an iPhone address book
// imports, with the same checks and the same engine as the desktop window.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform.h"
#include "source_check.h"
#include "vcard.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitConversionFailed = 1;
constexpr int kExitSourceRejected = 2;
constexpr int kExitOutputExists = 3;
constexpr int kExitUsage = 64;

constexpr const char* kUsage =
    "使い方: vcard-convert [--force] 変換元ファイル [出力ファイル]\n"
    "\n"
    "vCardファイル（Shift_JIS、UTF-8、UTF-16LE）をiPhoneの連絡先に取り込める形式\n"
    "（UTF-16LE、CR LF）に変換します。出力ファイルを省略すると、変換元ファイルと\n"
    "同じフォルダの「PC→iPhone.vcf」に書き出します。\n"
    "\n"
    "  --force  出力ファイルが既にあるときも上書きします\n"
    "  --help   この説明を表示します\n"
    "\n"
    "終了コード: 0 変換完了、1 変換失敗、2 変換元ファイルの確認で不可、\n"
    "            3 出力ファイルが既に存在、64 使い方の誤り\n";

void printLine(std::FILE* stream, const std::string& text) {
  std::fputs(text.c_str(), stream);
  if (!text.empty() && text.back() != '\n') std::fputc('\n', stream);
}

}  // namespace

int main(int argc, char** argv) {
  bool force = false;
  bool optionsEnded = false;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (!optionsEnded && argument == "--help") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    if (!optionsEnded && argument == "--force") {
      force = true;
    } else if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      std::fprintf(stderr, "不明なオプションです: %s\n", argument.c_str());
      std::fputs(kUsage, stderr);
      return kExitUsage;
    } else {
      paths.push_back(argument);
    }
  }
  if (paths.empty() || paths.size() > 2) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }

  const std::string& source = paths[0];
  if (const std::string alert = vcard::checkSourcePath(source); !alert.empty()) {
    printLine(stderr, alert);
    return kExitSourceRejected;
  }
  const std::string output = paths.size() == 2 ? paths[1] : vcard::outputPathForSource(source);
  if (vcard::isSameFile(source, output)) {
    printLine(stderr, vcard::kSameFileAlert);
    return kExitSourceRejected;
  }
  if (platform::fileExists(output) && !force) {
    printLine(stderr, "出力ファイルが既に存在します: " + output +
                          "\n上書きする場合は --force を指定してください。");
    return kExitOutputExists;
  }

  const std::array<std::string, 2> result = vCardConvert(source.c_str(), output.c_str());
  if (!result[0].empty()) printLine(stderr, result[0]);
  std::fputs(result[1].c_str(), stdout);
  return result[0].empty() ? kExitOk : kExitConversionFailed;
}
