#include "output_names.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <utility>

#include "platform.h"
#include "vcard_report.h"

namespace vcard {

std::string partPath(const std::string& path, std::uint64_t number) {
  // The number goes before the extension of the file name; a dot in a folder
  // name is no extension.
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) dot = path.size();
  return path.substr(0, dot) + "-" + std::to_string(number) + path.substr(dot);
}

namespace {

// The number of a part's name, "stem-N.ext", when name is one (N written
// as partPath writes it: no sign, no leading zero); 0 when it is not.
std::uint64_t partNumber(std::string_view name, std::string_view stem, std::string_view ext) {
  if (name.size() <= stem.size() + 1 + ext.size() || !name.starts_with(stem) ||
      !name.ends_with(ext) || name[stem.size()] != '-')
    return 0;
  const std::string_view digits =
      name.substr(stem.size() + 1, name.size() - stem.size() - 1 - ext.size());
  if (digits.empty() || digits.front() == '0') return 0;
  std::uint64_t number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  return error == std::errc() && end == digits.data() + digits.size() ? number : 0;
}

}  // namespace

std::vector<std::string> existingOutputs(const std::string& output, Target target) {
  std::vector<std::string> found;
  if (platform::fileExists(output)) found.push_back(output);
  if (target != Target::ICloud || output.empty() || output.back() == '/') return found;
  // The parts are named as partPath names them: the number before the
  // extension of the file name.
  const std::size_t nameStart = output.rfind('/') + 1;  // 0 without a slash
  const std::string_view name = std::string_view(output).substr(nameStart);
  std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) dot = name.size();
  const std::string_view stem = name.substr(0, dot);
  const std::string_view ext = name.substr(dot);
  std::vector<std::pair<std::uint64_t, std::string>> parts;
  for (const std::string& entry : platform::folderEntries(platform::folderOf(output))) {
    if (const std::uint64_t number = partNumber(entry, stem, ext); number != 0)
      parts.emplace_back(number, output.substr(0, nameStart) + entry);
  }
  std::sort(parts.begin(), parts.end());
  for (auto& part : parts)
    found.push_back(std::move(part.second));
  return found;
}

std::string outputNamesText(const std::vector<std::string>& paths) {
  if (paths.empty()) return {};
  if (paths.size() == 1) return fileNameOf(paths.front());
  return fileNameOf(paths.front()) + " 〜 " + fileNameOf(paths.back());
}

}  // namespace vcard
