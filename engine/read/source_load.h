// Loading a whole source into the internal text: UTF-8 without byte-order
// mark, zero bytes or U+FEFF, and the record of what was decided on the way.
#pragma once

#include <cstddef>
#include <string_view>

#include "convert_options.h"
#include "owned_cstring.h"
#include "vcard.h"

namespace vcard::detail {

// A loaded source; text (length bytes, no NUL inside) is set only when code
// is kLoadOK, and info is the decision for the conversion report and the
// decoding of values.
struct LoadedSource {
  VCardLoadResult code = kLoadUnreadable;
  platform::OwnedCString text;
  std::size_t length = 0;
  SourceInfo info;
};

// The regular file at path, loaded as vCard_GetData loads it.
[[nodiscard]] LoadedSource loadFile(const char* path, CarrierChoice carrier);

// A file's whole content, read already: loaded as loadFile loads the file.
[[nodiscard]] LoadedSource loadContent(std::string content, CarrierChoice carrier);

// A source's bytes already in memory (a page in a browser has no file to
// give): the same decisions, the same text and the same codes, an
// unreadable file aside.
[[nodiscard]] LoadedSource loadBytes(std::string_view bytes, CarrierChoice carrier);

}  // namespace vcard::detail
