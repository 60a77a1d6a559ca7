// The main window's source checks and output-path rule, shared with the
// command-line converter.
#include "source_check.h"

#include <cstring>
#include <string_view>

#include "ascii_letters.h"
#include "platform.h"
#include "regex_additions.h"

namespace vcard {

namespace {

// Paths are file-system bytes; a stray non-UTF-8 byte counts as one unit.
icu::UnicodeString toText(const std::string& path) {
  return platform::decodeLossy(path.data(), path.size(), platform::Encoding::UTF8);
}

bool isFound(const rx::Range& range) {
  return range.location != rx::NSNotFound && range.length > 0;
}

// True when the name's extension, upper-cased, is "VCF": the text after its
// last "." when no "/" follows. Checked on the bytes, not decoded: "." and
// "/" stand for themselves in UTF-8 (a stray byte never swallows them), and
// no character but v, c and f upper-cases to V, C or F.
bool hasVCardExtension(std::string_view path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return false;
  return platform::asciiUpperEquals(path.substr(dot + 1), "VCF");
}

}  // namespace

std::string checkSourcePath(const std::string& path) {
  try {
    if (path.empty()) return kEmptySourceAlert;
    if (!platform::fileExists(path)) return kMissingSourceAlert;
    if (!hasVCardExtension(path)) return kNotVCardAlert;
    if (toText(path).length() > 255) return kPathTooLongAlert;
    return "";
  } catch (...) {
    return kMissingSourceAlert;
  }
}

std::string outputPathForSource(const std::string& source) {
  return outputPathForSource(source, Target::IPhone);
}

std::string outputPathForSource(const std::string& source, Target target) {
  std::string folder;
  try {
    const rx::Range range = rx::rangeOfRegex(toText(source), icu::UnicodeString(u"/[^/]+$"));
    // The match starts at the last slash, so the folder is cut at that byte
    // and the path's own bytes are kept even where they are not UTF-8.
    if (isFound(range)) folder = source.substr(0, source.rfind('/') + 1);
  } catch (...) {
    folder.clear();
  }
  return folder + outputFileName(target);
}

std::string existingOutput(const std::string& output, Target target) {
  std::string names;
  for (const std::string& path : existingOutputs(output, target))
    names += (names.empty() ? "" : "、") + path;
  return names;
}

}  // namespace vcard
