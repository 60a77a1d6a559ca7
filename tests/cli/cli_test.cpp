// vcard-convert run as a process: checks, overwrite refusal, output streams,
// exit codes and the progress shown on a terminal.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine_texts.h"
#include "files.h"
#include "param_names.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

namespace fs = std::filesystem;

struct ProcessResult {
  int status;
  std::string out;
  std::string err;
};

// A run whose standard error is a terminal: what the terminal received.
struct TerminalResult {
  int status;
  std::string out;
  std::string terminal;
};

std::string slurp(const fs::path& path) {
  return testsupport::readBytes(path.string());
}

// Lines of standard error that are not the process log's time-stamped
// diagnostics.
std::string messages(const std::string& err) {
  std::string kept;
  std::size_t start = 0;
  while (start < err.size()) {
    std::size_t end = err.find('\n', start);
    if (end == std::string::npos) end = err.size();
    const std::string line = err.substr(start, end - start);
    if (!(line.size() > 4 && line[0] == '2' && line[4] == '-')) kept += line + "\n";
    start = end + 1;
  }
  return kept;
}

class CliTest : public testing::Test {
 protected:
  // Runs the program inside the temporary folder with the given arguments.
  ProcessResult run(const std::vector<std::string>& args) const {
    const fs::path out = dir_ / ".stdout";
    const fs::path err = dir_ / ".stderr";
    const pid_t child = ::fork();
    if (child == 0) {
      if (!std::freopen(err.c_str(), "w", stderr)) ::_exit(127);
      execute(args, out);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ProcessResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out),
                         messages(slurp(err))};
    fs::remove(out);
    fs::remove(err);
    return result;
  }

  // Runs the program with standard error on a pseudo-terminal, left raw so
  // that the bytes arrive as written, and standard output in a file.
  TerminalResult runOnTerminal(const std::vector<std::string>& args) const {
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {-1, "", "openpty"};
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    const fs::path out = dir_ / ".stdout";
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(master);
      if (::dup2(slave, STDERR_FILENO) < 0) ::_exit(127);
      ::close(slave);
      execute(args, out);
    }
    ::close(slave);
    // Read as the program writes, so that it never waits on a full terminal;
    // the read fails (EIO) once the program has closed its end.
    std::string terminal;
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(master, buffer, sizeof buffer);
      if (got > 0) {
        terminal.append(buffer, static_cast<std::size_t>(got));
      } else if (got < 0 && errno == EINTR) {
        continue;
      } else {
        break;
      }
    }
    ::close(master);
    int status = 0;
    ::waitpid(child, &status, 0);
    TerminalResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), terminal};
    fs::remove(out);
    return result;
  }

  // In the child: becomes the program in the temporary folder, with
  // standard output in the file out.
  [[noreturn]] void execute(const std::vector<std::string>& args, const fs::path& out) const {
    if (::chdir(dir_.c_str()) != 0 || !std::freopen(out.c_str(), "w", stdout)) ::_exit(127);
    std::vector<char*> argv{const_cast<char*>(VCARD_CONVERT)};
    for (const std::string& a : args)
      argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(VCARD_CONVERT, argv.data());
    ::_exit(127);
  }

  testsupport::TempDir folder_;
  const fs::path dir_ = folder_.path();
};

constexpr std::string_view kCard = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:A;;;;\r\nEND:VCARD\r\n";
const std::string kDone = testsupport::successLog(1, 1);

// An alert as the program prints it: on its own line.
std::string line(const char* alert) {
  return std::string(alert) + "\n";
}

struct Case {
  std::string_view name;
  std::vector<std::string> setupFiles;  // created with one card each; "dir/" makes a folder
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string err;      // expected messages on standard error ("" none)
  std::string written;  // file expected to exist afterwards ("" none checked)
};

const Case kCases[] = {
    {"ConvertsBesideSource", {"a.vcf"}, {"a.vcf"}, 0, kDone, "", "PC→iPhone.vcf"},
    {"ConvertsToGivenOutput", {"a.vcf"}, {"a.vcf", "out.vcf"}, 0, kDone, "", "out.vcf"},
    {"MissingSource", {}, {"none.vcf"}, 2, "", line(testsupport::kMissingSourceAlert), ""},
    {"EmptySource", {}, {""}, 2, "", line(testsupport::kEmptySourceAlert), ""},
    {"WrongExtension", {"a.txt"}, {"a.txt"}, 2, "", line(testsupport::kNotVCardAlert), ""},
    {"OutputIsSource",
     {"a.vcf"},
     {"a.vcf", "./a.vcf"},
     2,
     "",
     line(testsupport::kSameFileAlert),
     ""},
    {"OutputIsSourceEvenWithForce",
     {"a.vcf"},
     {"--force", "a.vcf", "a.vcf"},
     2,
     "",
     line(testsupport::kSameFileAlert),
     ""},
    {"ExistingOutputRefused",
     {"a.vcf", "PC→iPhone.vcf"},
     {"a.vcf"},
     3,
     "",
     "出力ファイルが既に存在します: PC→iPhone.vcf\n上書きする場合は --force "
     "を指定してください。\n",
     ""},
    {"ExistingOutputForced",
     {"a.vcf", "PC→iPhone.vcf"},
     {"--force", "a.vcf"},
     0,
     kDone,
     "",
     "PC→iPhone.vcf"},
    {"SourceCheckBeforeOverwrite",
     {"PC→iPhone.vcf"},
     {"none.vcf"},
     2,
     "",
     line(testsupport::kMissingSourceAlert),
     ""},
    {"EngineFailure",
     {"a.vcf", "dir/"},
     {"--force", "a.vcf", "dir"},
     1,
     testsupport::kFailedLog,
     line(testsupport::kCannotWriteAlert),
     ""},
    {"NoArguments", {}, {}, 64, "", "", ""},
    {"TooManyArguments", {"a.vcf"}, {"a.vcf", "b", "c"}, 64, "", "", ""},
    {"UnknownOption", {"a.vcf"}, {"--fast", "a.vcf"}, 64, "", "", ""},
    {"UnknownTarget", {"a.vcf"}, {"--target=android", "a.vcf"}, 64, "", "", ""},
    {"TargetWithoutValue", {"a.vcf"}, {"--target", "a.vcf"}, 64, "", "", ""},
    {"IPhoneTargetIsTheDefaultForm",
     {"a.vcf"},
     {"--target=iphone", "a.vcf"},
     0,
     kDone,
     "",
     "PC→iPhone.vcf"},
    {"ICloudEarlierSplitRefused",
     {"a.vcf", "PC→iCloud-1.vcf"},
     {"--target=icloud", "a.vcf"},
     3,
     "",
     "出力ファイルが既に存在します: PC→iCloud-1.vcf\n上書きする場合は --force "
     "を指定してください。\n",
     ""},
    // Every part counts, whichever numbers are left.
    {"ICloudEarlierLaterPartsRefused",
     {"a.vcf", "PC→iCloud-3.vcf", "PC→iCloud-2.vcf", "PC→iCloud-02.vcf"},
     {"--target=icloud", "a.vcf"},
     3,
     "",
     "出力ファイルが既に存在します: PC→iCloud-2.vcf、PC→iCloud-3.vcf\n上書きする場合は --force "
     "を指定してください。\n",
     ""},
    {"IPhoneIgnoresAnICloudSplit",
     {"a.vcf", "PC→iCloud-1.vcf"},
     {"a.vcf"},
     0,
     kDone,
     "",
     "PC→iPhone.vcf"},
    {"ICloudOutputOnlyRefusedUnderItsOwnName",
     {"a.vcf", "PC→iCloud.vcf"},
     {"--target=icloud", "a.vcf"},
     3,
     "",
     "出力ファイルが既に存在します: PC→iCloud.vcf\n上書きする場合は --force "
     "を指定してください。\n",
     ""},
    {"CarrierNamed", {"a.vcf"}, {"--carrier=softbank", "a.vcf"}, 0, kDone, "", "PC→iPhone.vcf"},
    {"UnknownCarrier", {"a.vcf"}, {"--carrier=kddi", "a.vcf"}, 64, "", "", ""},
    {"CarrierWithoutValue", {"a.vcf"}, {"--carrier", "a.vcf"}, 64, "", "", ""},
};

// kill -9 in the middle of a run over an earlier output: the output stays
// as it was, and the temporary the run left is removed by the next run.
TEST_F(CliTest, KilledRunKeepsTheEarlierOutputAndTheNextRunCleansUp) {
  testsupport::writeBytes((dir_ / "a.vcf").string(), std::string(kCard));
  ASSERT_EQ(run({"a.vcf"}).status, 0);
  const std::string earlier = slurp(dir_ / "PC→iPhone.vcf");
  std::string many;
  for (int i = 0; i < 60000; ++i)
    many += "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Card" + std::to_string(i) + ";;;;\r\nEND:VCARD\r\n";
  testsupport::writeBytes((dir_ / "big.vcf").string(), many);

  const int watch = ::inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, dir_.c_str(), IN_CREATE), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) execute({"--force", "big.vcf"}, dir_ / ".stdout");
  // Killed the moment its temporary appears, before it can have finished.
  bool seen = false;
  alignas(inotify_event) char buffer[4096];
  while (!seen) {
    pollfd ready{watch, POLLIN, 0};
    if (::poll(&ready, 1, 10000) <= 0) break;
    const ssize_t got = ::read(watch, buffer, sizeof buffer);
    for (ssize_t at = 0; got > 0 && at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      const std::string_view name = event->len > 0 ? event->name : "";
      seen = seen || (name.starts_with(".vcf-") && name.ends_with(".partial"));
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(watch);
  ASSERT_TRUE(seen) << "the run made no temporary";
  ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it was killed";
  EXPECT_EQ(slurp(dir_ / "PC→iPhone.vcf"), earlier);
  const auto temporaries = [this] {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(dir_))
      count += entry.path().extension() == ".partial" ? 1 : 0;
    return count;
  };
  EXPECT_EQ(temporaries(), 1);

  EXPECT_EQ(run({"--force", "a.vcf"}).status, 0);
  EXPECT_EQ(temporaries(), 0);
  EXPECT_EQ(slurp(dir_ / "PC→iPhone.vcf"), earlier);
}

// A picture named .vcf, forced over a good output, replaces nothing.
TEST_F(CliTest, SourceWithoutACardLeavesTheOutputAlone) {
  testsupport::writeBytes(
      (dir_ / "photo.vcf").string(),
      std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) + std::string(2000, '\x8F'));
  testsupport::writeBytes((dir_ / "PC→iPhone.vcf").string(), "good");
  const ProcessResult result = run({"--force", "photo.vcf"});
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.out.starts_with(std::string(testsupport::kNoOutputLog) +
                                     "【変換レポート】vCard のカードが見つかりません"))
      << result.out;
  EXPECT_EQ(slurp(dir_ / "PC→iPhone.vcf"), "good");
}

class CliCaseTest : public CliTest, public testing::WithParamInterface<Case> {};

TEST_P(CliCaseTest, ExitsWithStatusAndMessages) {
  const Case& c = GetParam();
  for (const std::string& file : c.setupFiles) {
    if (file.back() == '/')
      fs::create_directory(dir_ / file);
    else
      testsupport::writeBytes((dir_ / file).string(), std::string(kCard));
  }
  const ProcessResult result = run(c.args);
  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(result.out, c.out);
  if (c.status == 64) {
    EXPECT_NE(result.err.find("使い方"), std::string::npos) << result.err;
  } else {
    EXPECT_EQ(result.err, c.err);
  }
  if (!c.written.empty()) {
    const std::string bytes = slurp(dir_ / c.written);
    ASSERT_GE(bytes.size(), 2U);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    EXPECT_NE(bytes, std::string(kCard)) << "the output holds the converted card";
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, CliCaseTest, testing::ValuesIn(kCases), CaseName());

TEST_F(CliTest, HelpPrintsUsageOnStandardOutput) {
  const ProcessResult result = run({"--help"});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("vcard-convert [--force]"), std::string::npos);
  EXPECT_NE(result.out.find("--target=icloud"), std::string::npos);
  EXPECT_EQ(result.err, "");
}

TEST_F(CliTest, ICloudTargetWritesItsOwnFileBesideTheSource) {
  testsupport::writeBytes((dir_ / "a.vcf").string(), std::string(kCard));
  testsupport::writeBytes((dir_ / "PC→iPhone.vcf").string(), "kept");
  const ProcessResult result = run({"--target=icloud", "a.vcf"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, kDone);
  EXPECT_EQ(slurp(dir_ / "PC→iCloud.vcf"),
            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:A\r\nN:A;;;;\r\nEND:VCARD\r\n");
  EXPECT_EQ(slurp(dir_ / "PC→iPhone.vcf"), "kept");
}

TEST_F(CliTest, JsonOfAnICloudRunTellsThePhotoLeftOut) {
  const std::string gif = "GIF89a" + std::string(240'000, 'Z');
  std::string photo;
  static const char* const kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i + 3 <= gif.size(); i += 3) {
    const unsigned group = static_cast<unsigned char>(gif[i]) << 16 |
                           static_cast<unsigned char>(gif[i + 1]) << 8 |
                           static_cast<unsigned char>(gif[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6)
      photo += kAlphabet[(group >> shift) & 0x3F];
  }
  testsupport::writeBytes((dir_ / "p.vcf").string(),
                          "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jane\r\nPHOTO;ENCODING=b;TYPE=GIF:" +
                              photo + "\r\nEND:VCARD\r\n");
  const ProcessResult result = run({"--json", "--target=icloud", "p.vcf"});
  EXPECT_EQ(result.status, 0);
  const nlohmann::json document = nlohmann::json::parse(result.out);
  EXPECT_EQ(document["target"], "icloud");
  ASSERT_EQ(document["icloud"]["photosLeftOut"].size(), 1U);
  EXPECT_EQ(document["icloud"]["photosLeftOut"][0]["position"], 1);
  EXPECT_EQ(document["icloud"]["photosLeftOut"][0]["name"], "Doe Jane");
  EXPECT_EQ(document["icloud"]["photosLeftOut"][0]["format"], "GIF");
  EXPECT_EQ(document["icloud"]["photosLeftOut"][0]["sourceBytes"], gif.size());
  EXPECT_TRUE(document["icloud"]["photosScaled"].empty());
  EXPECT_TRUE(document["icloud"]["files"].empty());
  EXPECT_NE(document["report"].get<std::string>().find("書き出さなかった写真 1件"),
            std::string::npos);
  EXPECT_EQ(slurp(dir_ / "PC→iCloud.vcf").find("PHOTO"), std::string::npos);
}

TEST_F(CliTest, RoadOfOneCardFromPhoneExport) {
  fs::copy_file(fs::path(TEST_DATA_DIR) / "engine" / "sjis_road.vcf", dir_ / "phone.vcf");
  const ProcessResult result = run({"phone.vcf"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, kDone);
  // "X-PHONETIC-LAST-NAME:ヤマダ" CR LF in UTF-16LE appears in the output.
  const std::u16string line = u"X-PHONETIC-LAST-NAME:ヤマダ\r\n";
  const std::string bytes(reinterpret_cast<const char*>(line.data()), line.size() * 2);
  EXPECT_NE(slurp(dir_ / "PC→iPhone.vcf").find(bytes), std::string::npos);
}

// Two cards read, one rejected; one begun and cut off; a property dropped.
constexpr std::string_view kLossySource =
    "BEGIN:VCARD\r\nVERSION:5.0\r\nN:Doe;John\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Roe;Jane\r\nX-GN:friends\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Cut;Off\r\n";

TEST_F(CliTest, ReportFollowsTheLog) {
  testsupport::writeBytes((dir_ / "lossy.vcf").string(), std::string(kLossySource));
  const ProcessResult result = run({"lossy.vcf"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            testsupport::successLog(2, 1) +
                "【変換レポート】書き出さなかったカード 1件／途中で切れたカード "
                "1件（入力データに数えていません）／iPhone が取り込まない項目 1件\n"
                "書き出さなかったカードと途中で切れたカード：\n"
                "  1件目「Doe John」　対応していないバージョンです（VERSION:5.0）\n"
                "  3件目「Cut Off」　カードの途中でファイルが終わっています\n"
                "ファイル全体：\n"
                "  iPhone "
                "が取り込まない項目（書き出していません）：グループ名（X-GN）1件\n\n");
}

TEST_F(CliTest, JsonHoldsTheSameFacts) {
  testsupport::writeBytes((dir_ / "lossy.vcf").string(), std::string(kLossySource));
  const ProcessResult result = run({"--json", "lossy.vcf"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  const nlohmann::json document = nlohmann::json::parse(result.out);
  EXPECT_EQ(document["inCount"], 2);
  EXPECT_EQ(document["outCount"], 1);
  EXPECT_EQ(document["alert"], "");
  EXPECT_EQ(document["log"], testsupport::successLog(2, 1));
  ASSERT_EQ(document["skippedCards"].size(), 2U);
  EXPECT_EQ(document["skippedCards"][0]["position"], 1);
  EXPECT_EQ(document["skippedCards"][0]["name"], "Doe John");
  EXPECT_EQ(document["skippedCards"][0]["reason"], "unsupportedVersion");
  EXPECT_EQ(document["skippedCards"][0]["detail"], "VERSION:5.0");
  EXPECT_EQ(document["skippedCards"][1]["position"], 3);
  EXPECT_EQ(document["skippedCards"][1]["reason"], "neverClosed");
  ASSERT_EQ(document["droppedProperties"].size(), 1U);
  EXPECT_EQ(document["droppedProperties"][0]["name"], "X-GN");
  EXPECT_EQ(document["droppedProperties"][0]["label"], "グループ名");
  EXPECT_EQ(document["droppedProperties"][0]["count"], 1);
  EXPECT_EQ(document["source"]["encoding"], "US-ASCII");
  EXPECT_EQ(document["source"]["zeroBytesDropped"], 0);
  // The iPhone's document is as it always was.
  EXPECT_FALSE(document.contains("target"));
  EXPECT_FALSE(document.contains("icloud"));
  EXPECT_NE(document["report"].get<std::string>().find("1件目「Doe John」"), std::string::npos);
}

// An old Mac export (CR line ends) whose second card holds a stray byte in
// "山田": both are told, the card by its place.
TEST_F(CliTest, JsonTellsLineEndsAndTheCardsWithReplacedBytes) {
  testsupport::writeBytes((dir_ / "mac.vcf").string(),
                          "BEGIN:VCARD\rN:\x90\xC2\x96\xD8\rEND:VCARD\rBEGIN:VCARD\rN:\x8E\x52\xFF"
                          "\x93\x63\rEND:VCARD\r");
  const ProcessResult result = run({"--json", "mac.vcf"});
  EXPECT_EQ(result.status, 0);
  const nlohmann::json document = nlohmann::json::parse(result.out);
  EXPECT_EQ(document["outCount"], 2);
  EXPECT_EQ(document["source"]["encoding"], "Shift_JIS");
  EXPECT_EQ(document["source"]["replaced"], 1);
  EXPECT_EQ(document["source"]["replacedCards"], nlohmann::json::array({2}));
  EXPECT_EQ(document["source"]["carriageReturnLineEnds"], true);
}

// A phone export whose one pictogram, F941, is docomo's waxing moon or
// SoftBank's boy: the file does not say which.
const std::string kSharedCodeExport =
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=SHIFT_JIS:\x8E\x52\xF9\x41;\r\n"
    "SOUND;X-IRMC-N;CHARSET=SHIFT_JIS:\xD4\xCF;\r\nEND:VCARD\r\n";

// The line as it stands in the UTF-16LE output.
std::string utf16Line(const std::u16string& line) {
  return std::string(reinterpret_cast<const char*>(line.data()), line.size() * 2);
}

struct CarrierRun {
  std::string name;
  std::vector<std::string> args;
  std::u16string nameLine;
  std::string reportLine;
};

const CarrierRun kCarrierRuns[] = {
    {"AutoLeavesTheSharedCode",
     {},
     u"N:山\uE69D;\r\n",
     "  携帯電話の絵文字：変換していません（どの携帯会社の絵文字か判別できないため）\n"},
    {"AutoSpelledOut",
     {"--carrier=auto"},
     u"N:山\uE69D;\r\n",
     "  携帯電話の絵文字：変換していません（どの携帯会社の絵文字か判別できないため）\n"},
    {"Docomo",
     {"--carrier=docomo"},
     u"N:山\U0001F314;\r\n",
     "  携帯電話の絵文字：ドコモの絵文字として変換（指定による）\n"},
    {"SoftBank",
     {"--carrier=softbank"},
     u"N:山\U0001F466;\r\n",
     "  携帯電話の絵文字：ソフトバンクの絵文字として変換（指定による）\n"},
    // au has no F941: it stays as it was.
    {"AU",
     {"--carrier=au"},
     u"N:山\uE69D;\r\n",
     "  携帯電話の絵文字：auの絵文字として変換（指定による）\n"},
    {"None",
     {"--carrier=none"},
     u"N:山\uE69D;\r\n",
     "  携帯電話の絵文字：変換していません（指定による）\n"},
};

class CliCarrierTest : public CliTest, public testing::WithParamInterface<CarrierRun> {};

TEST_P(CliCarrierTest, CarrierOptionOverridesTheGuess) {
  const CarrierRun& c = GetParam();
  testsupport::writeBytes((dir_ / "phone.vcf").string(), kSharedCodeExport);
  std::vector<std::string> args = c.args;
  args.push_back("phone.vcf");
  const ProcessResult result = run(args);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_NE(slurp(dir_ / "PC→iPhone.vcf").find(utf16Line(c.nameLine)), std::string::npos);
  EXPECT_NE(result.out.find(c.reportLine), std::string::npos) << result.out;
  EXPECT_EQ(slurp(dir_ / "phone.vcf"), kSharedCodeExport);
}

INSTANTIATE_TEST_SUITE_P(Choices, CliCarrierTest, testing::ValuesIn(kCarrierRuns), CaseName());

TEST_F(CliTest, JsonTellsCarrierAndPrivateUseCards) {
  testsupport::writeBytes((dir_ / "phone.vcf").string(), std::string(kCard) + kSharedCodeExport);
  const ProcessResult guessedRun = run({"--json", "phone.vcf"});
  EXPECT_EQ(guessedRun.status, 0);
  const nlohmann::json guessed = nlohmann::json::parse(guessedRun.out)["pictograms"];
  EXPECT_EQ(guessed["carrier"], "none");
  EXPECT_EQ(guessed["basis"], "ambiguous");
  EXPECT_EQ(guessed["codes"], 1);
  EXPECT_EQ(guessed["mapped"], 0);
  EXPECT_EQ(guessed["privateUseLeft"], 1);
  EXPECT_EQ(guessed["privateUseCards"], nlohmann::json::array({2}));

  const ProcessResult named = run({"--json", "--force", "--carrier=docomo", "phone.vcf"});
  const nlohmann::json chosen = nlohmann::json::parse(named.out)["pictograms"];
  EXPECT_EQ(chosen["carrier"], "docomo");
  EXPECT_EQ(chosen["basis"], "specified");
  EXPECT_EQ(chosen["reason"], "指定による");
  EXPECT_EQ(chosen["mapped"], 1);
  EXPECT_EQ(chosen["privateUseLeft"], 0);
}

TEST_F(CliTest, JsonOfAFailedRunKeepsStatusAndAlert) {
  // The engine's own failure is part of the document, not of standard error.
  testsupport::writeBytes((dir_ / "a.vcf").string(), std::string(kCard));
  fs::create_directory(dir_ / "dir");
  const ProcessResult failed = run({"--json", "--force", "a.vcf", "dir"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err, "");
  const nlohmann::json document = nlohmann::json::parse(failed.out);
  EXPECT_EQ(document["exitCode"], 1);
  EXPECT_EQ(document["alert"], testsupport::kCannotWriteAlert);
  EXPECT_EQ(document["log"], testsupport::kFailedLog);
  EXPECT_EQ(document["report"], "");
}

// The keys of a document in their order.
std::vector<std::string> keysOf(const nlohmann::ordered_json& document) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : document.items())
    keys.push_back(key);
  return keys;
}

struct JsonFailure {
  std::string name;
  std::vector<std::string> setupFiles;  // created with one card each
  std::vector<std::string> args;        // --json is put in front unless named
  int status;
  std::string alert;  // "" when no document is expected
};

const JsonFailure kJsonFailures[] = {
    {"MissingSource", {}, {"none.vcf"}, 2, testsupport::kMissingSourceAlert},
    {"WrongExtension", {"a.txt"}, {"a.txt"}, 2, testsupport::kNotVCardAlert},
    {"OutputIsSource", {"a.vcf"}, {"a.vcf", "a.vcf"}, 2, testsupport::kSameFileAlert},
    {"ExistingOutput",
     {"a.vcf", "PC→iPhone.vcf"},
     {"a.vcf"},
     3,
     "出力ファイルが既に存在します: PC→iPhone.vcf\n上書きする場合は --force を指定してください。"},
    {"ICloudExistingSplit",
     {"a.vcf", "PC→iCloud-1.vcf"},
     {"--target=icloud", "a.vcf"},
     3,
     "出力ファイルが既に存在します: PC→iCloud-1.vcf\n上書きする場合は --force "
     "を指定してください。"},
    {"UnknownOption", {"a.vcf"}, {"--fast", "a.vcf"}, 64, "不明なオプションです: --fast"},
    {"UnknownOptionBeforeJson",
     {"a.vcf"},
     {"--fast", "--json", "a.vcf"},
     64,
     "不明なオプションです: --fast"},
    {"UnknownCarrier", {"a.vcf"}, {"--carrier=kddi", "a.vcf"}, 64, "不明な携帯会社です: kddi"},
    {"UnknownTarget",
     {"a.vcf"},
     {"--target=android", "a.vcf"},
     64,
     "不明な書き出し先です: android（iphone か icloud を指定してください）"},
    {"EmptyTarget",
     {"a.vcf"},
     {"--target=", "a.vcf"},
     64,
     "不明な書き出し先です: （iphone か icloud を指定してください）"},
    {"NoSource", {}, {}, 64, "変換元ファイルが指定されていません。"},
    {"TooManyFiles",
     {"a.vcf"},
     {"a.vcf", "b.vcf", "c.vcf"},
     64,
     "指定できるファイルは変換元と出力の2つまでです。"},
    // After "--" it is a file name, not the option.
    {"JsonAfterOptionsEnded", {}, {"--", "--json"}, 2, ""},
};

class CliJsonFailureTest : public CliTest, public testing::WithParamInterface<JsonFailure> {};

TEST_P(CliJsonFailureTest, StandardOutputHoldsADocumentAndStandardErrorIsUnchanged) {
  const JsonFailure& c = GetParam();
  for (const std::string& file : c.setupFiles)
    testsupport::writeBytes((dir_ / file).string(), std::string(kCard));
  std::vector<std::string> args = c.args;
  if (std::find(args.begin(), args.end(), "--json") == args.end())
    args.insert(args.begin(), "--json");
  const ProcessResult withJson = run(args);
  // The same run without the option (a "--json" after "--" is a file name).
  std::vector<std::string> plainArgs;
  bool optionsEnded = false;
  for (const std::string& arg : c.args) {
    if (optionsEnded || arg != "--json") plainArgs.push_back(arg);
    optionsEnded = optionsEnded || arg == "--";
  }
  const ProcessResult plain = run(plainArgs);
  EXPECT_EQ(withJson.status, c.status);
  EXPECT_EQ(plain.status, c.status);
  EXPECT_EQ(withJson.err, plain.err);
  EXPECT_EQ(plain.out, "");
  if (c.alert.empty()) {
    EXPECT_EQ(withJson.out, "");
    return;
  }
  const auto document = nlohmann::ordered_json::parse(withJson.out);
  EXPECT_EQ(document["exitCode"], c.status);
  EXPECT_EQ(document["alert"], c.alert);
  EXPECT_EQ(document["inCount"], 0);
  EXPECT_EQ(document["outCount"], 0);
  EXPECT_EQ(document["log"], "");
  EXPECT_EQ(document["skippedCards"], nlohmann::ordered_json::array());
  EXPECT_EQ(document["droppedProperties"], nlohmann::ordered_json::array());
  EXPECT_TRUE(document["source"].is_null());
  EXPECT_TRUE(document["pictograms"].is_null());
  EXPECT_TRUE(document["report"].is_null());
  // A message on standard error beside the document is the alert itself.
  if (c.status != 64) {
    EXPECT_EQ(withJson.err, c.alert + "\n");
  }

  // The keys are those of a conversion's document for the same target.
  const bool icloud = std::find(args.begin(), args.end(), "--target=icloud") != args.end();
  testsupport::writeBytes((dir_ / "ok.vcf").string(), std::string(kCard));
  std::vector<std::string> okArgs{"--json", "ok.vcf", "fresh.vcf"};
  if (icloud) okArgs.insert(okArgs.begin(), "--target=icloud");
  const ProcessResult converted = run(okArgs);
  ASSERT_EQ(converted.status, 0);
  EXPECT_EQ(keysOf(document), keysOf(nlohmann::ordered_json::parse(converted.out)));
}

INSTANTIATE_TEST_SUITE_P(Runs, CliJsonFailureTest, testing::ValuesIn(kJsonFailures), CaseName());

// Sets the progress delay for the runs of one test: the program reads it
// from its environment.
class ProgressDelay {
 public:
  explicit ProgressDelay(const char* milliseconds) {
    ::setenv("VCARD_CONVERT_PROGRESS_DELAY_MS", milliseconds, 1);
  }
  ~ProgressDelay() { ::unsetenv("VCARD_CONVERT_PROGRESS_DELAY_MS"); }
  ProgressDelay(const ProgressDelay&) = delete;
  ProgressDelay& operator=(const ProgressDelay&) = delete;
};

// Cards enough for the engine to tell its progress several times on the
// way, besides once at the end.
constexpr int kManyCards = 15'000;

std::string manyCards() {
  std::string source;
  for (int i = 1; i <= kManyCards; ++i) {
    source += "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Name" + std::to_string(i) +
              ";Given;;;\r\nTEL;CELL:090-0000-" + std::to_string(1000 + i % 9000) +
              "\r\nNOTE:" + std::string(200, 'x') + "\r\nEND:VCARD\r\n";
  }
  return source;
}

// The texts drawn on the terminal, in order, when it received nothing but
// progress lines ("\r" text ESC [ K) and the final clear ("\r" ESC [ K);
// nullopt otherwise.
std::optional<std::vector<std::string>> progressDraws(const std::string& terminal) {
  const std::string_view kErase = "\x1b[K";
  std::vector<std::string> draws;
  std::size_t at = 0;
  while (at < terminal.size()) {
    if (terminal[at] != '\r') return std::nullopt;
    const std::size_t end = terminal.find(kErase, at);
    if (end == std::string::npos) return std::nullopt;
    draws.push_back(terminal.substr(at + 1, end - at - 1));
    at = end + kErase.size();
  }
  if (draws.size() < 2 || !draws.back().empty()) return std::nullopt;
  draws.pop_back();
  return draws;
}

struct TerminalCase {
  std::string name;
  std::vector<std::string> args;  // before the source's name
};

const TerminalCase kTerminalCases[] = {
    {"IPhone", {}},
    {"ICloud", {"--target=icloud"}},
    {"Json", {"--json"}},
};

class CliTerminalTest : public CliTest, public testing::WithParamInterface<TerminalCase> {};

TEST_P(CliTerminalTest, ProgressOnlyOnATerminalAndClearedBeforeTheResult) {
  const TerminalCase& c = GetParam();
  testsupport::writeBytes((dir_ / "big.vcf").string(), manyCards());
  // The progress shows at once, so that the outcome does not depend on how
  // fast this machine converts.
  const ProgressDelay atOnce("0");
  std::vector<std::string> args = c.args;
  args.insert(args.begin(), "--force");
  args.push_back("big.vcf");

  const TerminalResult onTerminal = runOnTerminal(args);
  const ProcessResult inFile = run(args);
  EXPECT_EQ(onTerminal.status, 0);
  EXPECT_EQ(inFile.status, 0);
  // Standard error in a file gets nothing new, standard output never.
  EXPECT_EQ(inFile.err, "");
  EXPECT_EQ(onTerminal.out, inFile.out);

  const std::optional<std::vector<std::string>> draws = progressDraws(onTerminal.terminal);
  ASSERT_TRUE(draws.has_value()) << onTerminal.terminal;
  // The last line drawn is the end the engine tells, the line cleared after it.
  EXPECT_EQ(draws->back(), "変換中… 15,000件目　100%");
  for (const std::string& draw : *draws)
    EXPECT_TRUE(draw.find("変換中…") == 0 || draw.find("読み込み中…") == 0) << draw;
}

INSTANTIATE_TEST_SUITE_P(Runs, CliTerminalTest, testing::ValuesIn(kTerminalCases), CaseName());

TEST_F(CliTest, QuickRunShowsNothingOnATerminal) {
  testsupport::writeBytes((dir_ / "a.vcf").string(), std::string(kCard));
  const TerminalResult result = runOnTerminal({"a.vcf"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, kDone);
  EXPECT_EQ(result.terminal, "");
}

}  // namespace
