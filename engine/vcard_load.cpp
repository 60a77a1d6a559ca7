// Source loading: reads the whole file and normalises it to the internal
// text, UTF-8 without byte-order mark.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "engine_p.h"
#include "platform.h"
#include "rk_text_converter.h"
#include "strutil.h"
#include "vcard.h"

namespace {

using vcard::detail::OwnedText;

enum class Mark { None, UTF8, UTF16LE };

// The text up to its first NUL, the way a C string would carry it.
std::string_view untilNul(std::string_view bytes) {
  const auto nul = bytes.find('\0');
  return nul == std::string_view::npos ? bytes : bytes.substr(0, nul);
}

// UTF-8 that the later steps can rely on: ill-formed sequences become U+FFFD.
std::string repairedUTF8(std::string_view bytes) {
  if (platform::isWellFormedUTF8(bytes)) return std::string(bytes);
  return platform::toUTF8(
      platform::decodeLossy(bytes.data(), bytes.size(), platform::Encoding::UTF8));
}

// True when some line of the text is BEGIN:VCARD in any letter case.
bool hasBeginLine(std::string_view text) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    while (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    // Upper-casing can shrink a character to at most a third of its bytes,
    // so longer lines cannot match and are not upper-cased.
    if (!line.empty() && line.size() <= 33) {
      std::string copy(line);
      OwnedText upper(StrToUpper(copy.c_str()));
      if (upper && std::strcmp(upper.get(), "BEGIN:VCARD") == 0) return true;
    }
    start = end + 1;
  }
  return false;
}

// An owned C string of the text up to its first NUL.
char* copyText(std::string_view text) {
  const std::string_view head = untilNul(text);
  auto* copy = static_cast<char*>(std::malloc(head.size() + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, head.data(), head.size());
  copy[head.size()] = '\0';
  return copy;
}

// Content without a mark that the detector calls UTF-16. A real UTF-16 file
// (strict decoding works and a begin line appears) is taken in little-endian
// order and refused in big-endian order; anything else, such as an 8-bit file
// with a stray zero byte, is read as Shift_JIS over its full length.
int loadDetectedUTF16(std::string_view content, std::int32_t byteOrder, char** text) {
  const auto encoding =
      byteOrder == RKByteOrderBigEndian ? platform::Encoding::UTF16BE : platform::Encoding::UTF16LE;
  if (auto decoded = platform::decode(content, encoding)) {
    const std::string utf8 = platform::toUTF8(*decoded);
    if (hasBeginLine(untilNul(utf8))) {
      if (encoding == platform::Encoding::UTF16BE) return -5;
      *text = copyText(utf8);
      return *text != nullptr ? 0 : -4;
    }
  }
  // Well-formed UTF-8 keeps its characters up to the zero byte instead of
  // being misread as Shift_JIS.
  if (platform::detectFileEncoding(content) == std::optional(platform::Encoding::UTF8)) {
    *text = copyText(content);
    return *text != nullptr ? 0 : -4;
  }
  std::optional<std::string> sjis = platform::decodeToUTF8(content, platform::Encoding::ShiftJIS);
  *text = sjis ? copyText(*sjis) : StrAlloc("");
  return *text != nullptr ? 0 : -4;
}

// Content without a mark: the whole file, followed in workingBuffer by the two
// zero bytes. The buffer is released once the text is decoded.
int loadWithoutMark(std::string_view content, std::string& workingBuffer, char** text) {
  RKTextConverter converter;
  const RKEncodingInfo info = converter.encodingInfoOfTextData(&workingBuffer);
  if (info.encoding == RKTextEncodingUTF16) return loadDetectedUTF16(content, info.byteOrder, text);

  const bool platformSaysUTF8 =
      platform::detectFileEncoding(content) == std::optional(platform::Encoding::UTF8);
  const std::string_view head = untilNul(content);
  if (platformSaysUTF8) {
    *text = copyText(head);
    return *text != nullptr ? 0 : -4;
  }
  std::optional<platform::DecodedText> decoded =
      platform::decodeToUTF8Block(head, platform::Encoding::ShiftJIS);
  std::string().swap(workingBuffer);  // content and head end here
  if (!decoded) return -4;
  // The decoded block is the text itself unless it holds a NUL.
  *text = std::memchr(decoded->data(), '\0', decoded->size()) == nullptr
              ? decoded->release()
              : copyText(decoded->view());
  return *text != nullptr ? 0 : -4;
}

int load(const char* path, char** text) {
  std::optional<std::string> file = platform::readFile(path);
  if (!file) return -1;
  const std::string& bytes = *file;
  auto byteAt = [&](std::size_t i) {
    return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0U;
  };

  Mark mark = Mark::None;
  std::size_t offset = 0;
  if (byteAt(0) == 0xEF && byteAt(1) == 0xBB && byteAt(2) == 0xBF) {
    mark = Mark::UTF8;
    offset = 3;
  } else if (byteAt(0) == 0xFF && byteAt(1) == 0xFE) {
    mark = Mark::UTF16LE;
    offset = 2;
  } else if (byteAt(0) == 0xFE && byteAt(1) == 0xFF) {
    return -5;
  }

  // The content followed by two zero bytes: a NUL for a byte string and a
  // whole NUL unit for UTF-16. The file's bytes become this working buffer in
  // place, as a second copy of a large file would only raise the peak memory.
  std::string working = std::move(*file);
  working.erase(0, offset);
  working.append(2, '\0');
  const std::string_view content = std::string_view(working).substr(0, working.size() - 2);

  if (working[0] == '\0') {
    *text = StrAlloc("");
    return *text != nullptr ? 0 : -4;
  }

  char* result = nullptr;
  int code = 0;
  switch (mark) {
    case Mark::UTF8:
      result = copyText(repairedUTF8(untilNul(content)));
      code = result != nullptr ? 0 : -4;
      break;
    case Mark::UTF16LE: {
      OwnedText decoded(UTF16_to_SJIS(working.data(), icu::UnicodeString::fromUTF8(path)));
      if (!decoded) return -4;
      // The mark is not part of the text, whether or not the decoder kept it.
      const char* start = decoded.get();
      if (std::strncmp(start, "\xEF\xBB\xBF", 3) == 0) start += 3;
      result = StrAlloc(start);
      code = result != nullptr ? 0 : -4;
      break;
    }
    case Mark::None:
      code = loadWithoutMark(content, working, &result);
      break;
  }
  if (code != 0) {
    std::free(result);
    return code;
  }
  *text = result;
  return 0;
}

}  // namespace

int vCard_GetData(const char* path, char** text) {
  if (path == nullptr || text == nullptr) return -1;
  try {
    return load(path, text);
  } catch (...) {
    return -4;
  }
}
