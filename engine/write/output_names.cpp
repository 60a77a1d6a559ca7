#include "output_names.h"

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

}  // namespace vcard
