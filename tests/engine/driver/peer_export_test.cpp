// vCard files exported by other programs and phones, converted one by one:
// every value a user keeps (name, numbers, mail and postal addresses,
// company, title, note, photo) of every 2.1 or 3.0 card has to arrive in the
// converted card. Source and output are read back by the tests' own reader
// (peer_reader.h).
//
// The files live beside the project (../shared/peer-data) and are not part of
// it; without them the check is skipped.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine_texts.h"
#include "files.h"
#include "peer_compare.h"
#include "vcard.h"

namespace {

using peer::peerFiles;

using peer::checkFile;
using peer::FileCheck;

// ---- The peer files --------------------------------------------------------

// A conversion shows no alert or one of these.
const std::string_view kKnownAlerts[] = {
    "",
    testsupport::kCannotReadAlert,
    testsupport::kUnsupportedEncodingAlert,
    testsupport::kCannotWriteAlert,
    testsupport::kSameFileAlert,
};

// Runs one conversion in a child process: a crash then names its file and
// does not take the other files' results with it.
bool convertsWithoutCrash(const std::string& source, const std::string& output) {
  std::cout.flush();
  const pid_t child = ::fork();
  if (child == 0) {
    (void)vCardConvert(source.c_str(), output.c_str());
    std::_Exit(0);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

TEST(PeerExportTest, EveryKeptValueArrives) {
  const std::filesystem::path root = PEER_DATA_DIR;
  const auto files = peerFiles(root);
  if (files.empty()) GTEST_SKIP() << "no peer vCard files under " << root.string();

  FileCheck total;
  for (const auto& path : files) {
    const std::string label =
        path.parent_path().filename().string() + "/" + path.filename().string();
    testsupport::TempDir dir;
    const std::string source = dir.file("source.vcf");
    const std::string output = dir.file("PC→iPhone.vcf");
    const std::string sourceBytes = testsupport::readBytes(path.string());
    testsupport::writeBytes(source, sourceBytes);

    const bool survived = convertsWithoutCrash(source, output);
    EXPECT_TRUE(survived) << label << ": the conversion crashed";
    std::array<std::string, 2> result;
    if (survived) result = vCardConvert(source.c_str(), output.c_str());
    EXPECT_NE(std::find(std::begin(kKnownAlerts), std::end(kKnownAlerts), result[0]),
              std::end(kKnownAlerts))
        << label << ": unknown alert \"" << result[0] << "\"";

    const std::string outputBytes =
        survived && testsupport::exists(output) ? testsupport::readBytes(output) : "";
    const FileCheck check = checkFile(label, sourceBytes, outputBytes);
    std::cout << label << ": values checked " << check.checked << ", lost " << check.lost
              << ", cards lost " << check.cardsLost << "; alert \"" << oneLine(result[0])
              << "\"; log \"" << oneLine(result[1]) << "\"\n";
    for (const auto& line : check.report)
      std::cout << line << "\n";
    total.checked += check.checked;
    total.lost += check.lost;
    total.cardsLost += check.cardsLost;
  }
  std::cout << "values checked: " << total.checked << ", values lost: " << total.lost
            << ", cards lost: " << total.cardsLost << std::endl;
  RecordProperty("values_checked", total.checked);
  RecordProperty("values_lost", total.lost);
  RecordProperty("cards_lost", total.cardsLost);
  EXPECT_EQ(total.lost, 0);
  EXPECT_EQ(total.cardsLost, 0);
}

}  // namespace
