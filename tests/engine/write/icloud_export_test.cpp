// Every peer vCard file converted for iCloud.com and read back by the tests'
// own reader (peer_reader.h), not the engine: each file obeys every rule of
// iCloud's importer, and every value a user keeps arrives, notes and
// addresses with their line breaks.
//
// The files live beside the project (../shared/peer-data) and are not part of
// it; without them the check is skipped.
#include <gtest/gtest.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "convert.h"
#include "convert_options.h"
#include "files.h"
#include "param_names.h"
#include "peer_compare.h"
#include "vcard.h"
#include "vcard_report.h"

namespace {

vcard::ConvertOptions iCloudOptions() {
  vcard::ConvertOptions options;
  options.target = vcard::Target::ICloud;
  return options;
}

using peer::peerFiles;

// iCloud.com's limits as the importer states them, in the smaller kilobyte.
constexpr std::size_t kMaxPhotoBytes = 224'000;
constexpr std::size_t kMaxCardBytes = 256'000;
constexpr std::size_t kMaxCards = 50'000;

bool wellFormedUTF8(std::string_view bytes) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  u_strFromUTF8(nullptr, 0, &length, bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  return status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status);
}

// ---- The rules of the importer ------------------------------------------------

struct Logical {
  std::string text;
  std::size_t bytes;  // the physical lines it took, CR LF included
};

// The file's logical lines (3.0 folding: CR LF and one blank removed), each
// with the octets it took in the file.
std::vector<Logical> logicalLines(const std::string& bytes, std::vector<std::string>* faults) {
  std::vector<Logical> lines;
  std::size_t start = 0;
  int number = 0;
  while (start < bytes.size()) {
    ++number;
    const std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      faults->push_back("the file does not end with CR LF");
      break;
    }
    const std::string physical = bytes.substr(start, end - start);
    start = end + 2;
    if (physical.size() > 75)
      faults->push_back("line " + std::to_string(number) + " is longer than 75 octets");
    if (physical.find_first_of("\r\n") != std::string::npos)
      faults->push_back("line " + std::to_string(number) + " holds a bare CR or LF");
    if (!physical.empty() && physical[0] == ' ' && !lines.empty()) {
      lines.back().text += physical.substr(1);
      lines.back().bytes += physical.size() + 2;
    } else {
      lines.push_back({physical, physical.size() + 2});
    }
  }
  return lines;
}

struct Parsed {
  std::string name;  // upper case, group dropped
  std::vector<std::string> params;
  std::string value;
};

Parsed parse(const std::string& line) {
  const auto halves = peer::splitUnquoted(line, ':', 2);
  Parsed parsed;
  parsed.value = halves.size() > 1 ? halves[1] : "";
  auto head = peer::splitUnquoted(halves[0], ';');
  parsed.name = peer::upper(head[0]);
  if (const auto dot = parsed.name.rfind('.'); dot != std::string::npos)
    parsed.name.erase(0, dot + 1);
  parsed.params.assign(head.begin() + 1, head.end());
  return parsed;
}

bool isTextProperty(const std::string& name) {
  for (const char* text : {"N", "FN", "NOTE", "ADR", "ORG", "TITLE", "NICKNAME", "EMAIL",
                           "X-PHONETIC-LAST-NAME", "X-PHONETIC-FIRST-NAME", "X-ABLABEL"}) {
    if (name == text) return true;
  }
  return false;
}

bool isStructured(const std::string& name) {
  return name == "N" || name == "ADR" || name == "ORG";
}

// What in the file iCloud.com's importer would refuse, one line per fault.
std::vector<std::string> faultsOf(const std::string& bytes) {
  std::vector<std::string> faults;
  if (bytes.starts_with("\xEF\xBB\xBF")) faults.push_back("the file starts with a byte-order mark");
  if (!wellFormedUTF8(bytes)) faults.push_back("the file is not well-formed UTF-8");

  std::size_t cards = 0;
  bool inCard = false;
  std::size_t cardBytes = 0;
  int versions = 0;
  int names = 0;
  bool hasName = false;
  std::string firstName;
  std::string where;
  for (const Logical& line : logicalLines(bytes, &faults)) {
    const Parsed p = parse(line.text);
    if (p.name == "BEGIN") {
      ++cards;
      where = "card " + std::to_string(cards);
      inCard = true;
      cardBytes = 0;
      versions = names = 0;
      hasName = false;
      firstName.clear();
    }
    cardBytes += line.bytes;
    if (!inCard) {
      faults.push_back("a line outside a card: " + line.text.substr(0, 40));
      continue;
    }
    if (p.name == "END") {
      inCard = false;
      if (versions != 1)
        faults.push_back(where + ": " + std::to_string(versions) + " VERSION lines");
      if (names != 1) faults.push_back(where + ": " + std::to_string(names) + " FN lines");
      if (hasName && firstName.empty()) faults.push_back(where + ": FN empty though it has a name");
      if (cardBytes > kMaxCardBytes)
        faults.push_back(where + ": " + std::to_string(cardBytes) + " octets");
      continue;
    }
    if (p.name == "VERSION") {
      ++versions;
      if (p.value != "3.0") faults.push_back(where + ": VERSION:" + p.value);
    }
    if (p.name == "FN") {
      ++names;
      firstName = peer::trim(p.value);
    }
    if ((p.name == "N" || p.name == "ORG") &&
        p.value.find_first_not_of("; \t") != std::string::npos)
      hasName = true;
    for (const std::string& param : p.params) {
      const std::string upper = peer::upper(param);
      if (upper.find('=') == std::string::npos)
        faults.push_back(where + ": a bare parameter " + p.name + ";" + param);
      if (upper.starts_with("CHARSET=")) faults.push_back(where + ": " + p.name + ";" + param);
      if (upper.find("QUOTED-PRINTABLE") != std::string::npos)
        faults.push_back(where + ": quoted-printable in " + p.name);
      if (upper.starts_with("ENCODING=") && (upper != "ENCODING=B" || p.name != "PHOTO"))
        faults.push_back(where + ": " + p.name + ";" + param);
    }
    if (p.name == "PHOTO" &&
        std::find(p.params.begin(), p.params.end(), "ENCODING=b") != p.params.end()) {
      const std::size_t size = peer::unbase64(p.value).size();
      if (size > kMaxPhotoBytes)
        faults.push_back(where + ": a photo of " + std::to_string(size) + " octets");
    }
    if (!isTextProperty(p.name)) continue;
    for (std::size_t i = 0; i < p.value.size(); ++i) {
      const char c = p.value[i];
      if (c == '\\') {
        const char next = i + 1 < p.value.size() ? p.value[i + 1] : '\0';
        if (std::string_view("\\;,nN").find(next) == std::string_view::npos || next == '\0')
          faults.push_back(where + ": " + p.name + " holds an unescaped backslash");
        ++i;
      } else if (c == ';' && !isStructured(p.name)) {
        faults.push_back(where + ": " + p.name + " holds an unescaped semicolon");
      }
    }
  }
  if (inCard) faults.push_back(where + ": no END:VCARD");
  if (cards > kMaxCards) faults.push_back(std::to_string(cards) + " cards in one file");
  return faults;
}

// ---- Line breaks ------------------------------------------------------------

// A note or address as its lines: NFKC (half-width forms equal their
// full-width ones), every kind of line break one LF, other blanks dropped
// (a converter may fold or trim them).
std::string linesKey(const std::string& text) {
  std::string breaks;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    breaks += text[i] == '\r' ? '\n' : text[i];
  }
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(status);
  const icu::UnicodeString normal = nfkc->normalize(icu::UnicodeString::fromUTF8(breaks), status);
  icu::UnicodeString kept;
  for (int32_t i = 0; i < normal.length(); i = normal.moveIndex32(i, 1)) {
    const UChar32 c = normal.char32At(i);
    if (c == '\n' || !u_isUWhiteSpace(c)) kept.append(c);
  }
  std::string out;
  return kept.toUTF8String(out);
}

// The notes and addresses of a file's 2.1 and 3.0 cards that hold a line
// break, as their keys.
std::vector<std::string> brokenValues(const std::string& bytes, bool converted) {
  std::vector<std::string> keys;
  for (const peer::Card& card : peer::readCards(bytes, converted)) {
    if (!peer::counted(card)) continue;
    for (const peer::Prop& prop : card.props) {
      if (prop.name != "NOTE" && prop.name != "ADR") continue;
      std::string text;
      if (prop.name == "NOTE") {
        text = peer::unescape(prop.text);
      } else {
        for (const std::string& part : peer::components(prop.text))
          text += part + "|";
      }
      const std::string key = linesKey(text);
      if (key.find('\n') != std::string::npos) keys.push_back(key);
    }
  }
  return keys;
}

TEST(ICloudExportTest, EveryFileObeysTheImporterAndKeepsEveryValue) {
  const std::filesystem::path root = PEER_DATA_DIR;
  const auto files = peerFiles(root);
  if (files.empty()) GTEST_SKIP() << "no peer vCard files under " << root.string();

  peer::FileCheck total;
  int faultCount = 0;
  int breaksChecked = 0;
  int breaksLost = 0;
  for (const auto& path : files) {
    const std::string label =
        path.parent_path().filename().string() + "/" + path.filename().string();
    testsupport::TempDir dir;
    const std::string source = dir.file("source.vcf");
    const std::string output = dir.file("PC→iCloud.vcf");
    const std::string sourceBytes = testsupport::readBytes(path.string());
    testsupport::writeBytes(source, sourceBytes);

    vcard::ConversionReport report;
    const auto result = vCardConvert(source.c_str(), output.c_str(), iCloudOptions(), &report);
    std::string outputBytes;
    if (report.icloud.parts.empty()) {
      if (testsupport::exists(output)) outputBytes = testsupport::readBytes(output);
      for (const std::string& fault : faultsOf(outputBytes)) {
        ++faultCount;
        std::cout << "  " << label << ": " << fault << "\n";
      }
    } else {
      for (const vcard::OutputPart& part : report.icloud.parts) {
        const std::string bytes = testsupport::readBytes(part.path);
        for (const std::string& fault : faultsOf(bytes)) {
          ++faultCount;
          std::cout << "  " << label << " " << part.path << ": " << fault << "\n";
        }
        outputBytes += bytes;
      }
    }

    // The photos all fit, so every photo arrives byte for byte.
    EXPECT_TRUE(report.icloud.photosScaled.empty()) << label;
    EXPECT_TRUE(report.icloud.photosLeftOut.empty()) << label;
    const peer::FileCheck check = peer::checkFile(label, sourceBytes, outputBytes);

    std::vector<std::string> arrived = brokenValues(outputBytes, true);
    for (const std::string& key : brokenValues(sourceBytes, false)) {
      ++breaksChecked;
      const auto found = std::find(arrived.begin(), arrived.end(), key);
      if (found != arrived.end()) {
        arrived.erase(found);
        continue;
      }
      ++breaksLost;
      std::cout << "  " << label << ": line breaks lost in " << peer::shortened(key) << "\n";
    }

    std::cout << label << ": values checked " << check.checked << ", lost " << check.lost
              << ", cards lost " << check.cardsLost << "; alert \"" << result[0] << "\"\n";
    for (const auto& line : check.report)
      std::cout << line << "\n";
    total.checked += check.checked;
    total.lost += check.lost;
    total.cardsLost += check.cardsLost;
  }
  std::cout << "files: " << files.size() << ", faults: " << faultCount
            << ", values checked: " << total.checked << ", values lost: " << total.lost
            << ", cards lost: " << total.cardsLost
            << ", values with line breaks checked: " << breaksChecked << ", lost: " << breaksLost
            << std::endl;
  EXPECT_EQ(faultCount, 0);
  EXPECT_EQ(total.lost, 0);
  EXPECT_EQ(total.cardsLost, 0);
  EXPECT_EQ(breaksLost, 0);
  EXPECT_GT(breaksChecked, 0);
}

// The validator itself catches what it is there to catch.
struct FaultCase {
  std::string name;
  std::string bytes;
  std::string fault;  // a part of the fault it must report
};

const std::string kCard = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:A\r\nN:A;;;;\r\n";

const FaultCase kFaultCases[] = {
    {"ByteOrderMark", "\xEF\xBB\xBF" + kCard + "END:VCARD\r\n", "byte-order mark"},
    {"VersionTwoOne", "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:A\r\nEND:VCARD\r\n", "VERSION:2.1"},
    {"NoFN", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:A;;;;\r\nEND:VCARD\r\n", "0 FN lines"},
    {"EmptyFNWithName", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:\r\nN:A;;;;\r\nEND:VCARD\r\n",
     "FN empty"},
    {"BareType", kCard + "TEL;CELL:1\r\nEND:VCARD\r\n", "bare parameter"},
    {"Charset", kCard + "NOTE;CHARSET=UTF-8:x\r\nEND:VCARD\r\n", "CHARSET=UTF-8"},
    {"QuotedPrintable", kCard + "NOTE;ENCODING=QUOTED-PRINTABLE:x\r\nEND:VCARD\r\n",
     "quoted-printable"},
    {"Base64Spelled", kCard + "PHOTO;ENCODING=BASE64:AAAA\r\nEND:VCARD\r\n", "ENCODING=BASE64"},
    {"LongLine", kCard + "NOTE:" + std::string(80, 'x') + "\r\nEND:VCARD\r\n", "75 octets"},
    {"BareLineFeed", kCard + "NOTE:a\nb\r\nEND:VCARD\r\n", "bare CR or LF"},
    {"UnescapedSemicolon", kCard + "NOTE:a;b\r\nEND:VCARD\r\n", "unescaped semicolon"},
    {"StrayBackslash", kCard + "NOTE:C:\\temp\r\nEND:VCARD\r\n", "unescaped backslash"},
    {"NotUTF8", kCard + "NOTE:\x82\xA0\r\nEND:VCARD\r\n", "not well-formed UTF-8"},
    {"NoEnd", kCard, "no END:VCARD"},
};

using testsupport::PrintTo;

class ICloudValidatorTest : public testing::TestWithParam<FaultCase> {};

TEST_P(ICloudValidatorTest, ReportsTheFault) {
  const auto faults = faultsOf(GetParam().bytes);
  const bool found = std::any_of(faults.begin(), faults.end(), [](const std::string& fault) {
    return fault.find(GetParam().fault) != std::string::npos;
  });
  EXPECT_TRUE(found) << "faults found: " << faults.size();
}

INSTANTIATE_TEST_SUITE_P(Files, ICloudValidatorTest, testing::ValuesIn(kFaultCases),
                         testsupport::CaseName{});

TEST(ICloudValidatorTest, AcceptsAWellFormedCard) {
  EXPECT_TRUE(faultsOf(kCard + "NOTE:a\\nb\\, c\\;d\\\\\r\nEND:VCARD\r\n").empty());
}

}  // namespace
