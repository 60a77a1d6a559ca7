#include "platform.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unicode/locid.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucsdet.h>
#include <unicode/ustring.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <utility>

namespace platform {
namespace {

// Holds a file descriptor and closes it on every path.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : m_fd(fd) {}
  ~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return m_fd; }
  // Closes now and reports whether the close succeeded (a deferred write error
  // on some file systems only shows here).
  bool close() {
    int fd = m_fd;
    m_fd = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int m_fd;
};

bool writeAll(int fd, std::string_view content) {
  const char* p = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

icu::LocalUConverterPointer openConverter(Encoding encoding) {
  const char* name = icuConverterName(encoding);
  if (name == nullptr) return icu::LocalUConverterPointer();
  UErrorCode status = U_ZERO_ERROR;
  icu::LocalUConverterPointer conv(ucnv_open(name, &status));
  if (U_FAILURE(status)) return icu::LocalUConverterPointer();
  return conv;
}

// Lossy decoding writes U+FFFD for every undecodable sequence; ICU's own
// substitution would write U+001A for some Shift_JIS bytes, a control
// character that must not end up in a card.
void replacementCallback(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                         UConverterCallbackReason reason, UErrorCode* status) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close, clone: nothing to write
  *status = U_ZERO_ERROR;
  static const UChar kReplacement = 0xFFFD;
  ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, status);
}

// Decodes with either the stop or the replacement callback.
std::optional<icu::UnicodeString> convertToUnicode(const char* bytes, std::size_t length,
                                                   Encoding encoding, bool strict) {
  if (length > static_cast<std::size_t>(INT32_MAX / 2)) return std::nullopt;
  icu::LocalUConverterPointer conv = openConverter(encoding);
  if (conv.isNull()) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(conv.getAlias(), strict ? UCNV_TO_U_CALLBACK_STOP : replacementCallback,
                      nullptr, nullptr, nullptr, &status);
  if (U_FAILURE(status)) return std::nullopt;
  icu::UnicodeString out;
  // Every supported encoding needs at most one UTF-16 unit per byte, plus a
  // little for a converter flushing state at the end.
  const int32_t capacity = static_cast<int32_t>(length) + 4;
  char16_t* buffer = out.getBuffer(capacity);
  if (buffer == nullptr) return std::nullopt;
  char16_t* target = buffer;
  const char* source = bytes;
  ucnv_toUnicode(conv.getAlias(), &target, buffer + capacity, &source, bytes + length, nullptr,
                 true, &status);
  out.releaseBuffer(static_cast<int32_t>(target - buffer));
  if (U_FAILURE(status)) return std::nullopt;
  return out;
}

std::optional<std::string> convertFromUnicode(const icu::UnicodeString& text, Encoding encoding,
                                              bool strict) {
  icu::LocalUConverterPointer conv = openConverter(encoding);
  if (conv.isNull()) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  if (strict) {
    ucnv_setFromUCallBack(conv.getAlias(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &status);
  } else {
    // The platform's lossy conversion writes '?' for what the target lacks.
    ucnv_setSubstChars(conv.getAlias(), "?", 1, &status);
    if (U_FAILURE(status)) status = U_ZERO_ERROR;  // keep the converter's own
  }
  if (U_FAILURE(status)) return std::nullopt;
  const int32_t length =
      ucnv_fromUChars(conv.getAlias(), nullptr, 0, text.getBuffer(), text.length(), &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
  status = U_ZERO_ERROR;
  std::string out(static_cast<std::size_t>(length), '\0');
  ucnv_resetFromUnicode(conv.getAlias());
  ucnv_fromUChars(conv.getAlias(), out.data(), length, text.getBuffer(), text.length(), &status);
  if (U_FAILURE(status)) return std::nullopt;
  return out;
}

}  // namespace

Encoding convertCFEncoding(std::uint32_t cfEncoding) {
  switch (cfEncoding) {
    case cf::UTF8:
      return Encoding::UTF8;
    default:
      return static_cast<Encoding>(cfEncoding | 0x80000000u);
  }
}

const char* icuConverterName(Encoding encoding) {
  switch (encoding) {
    case Encoding::EUCJP:
      return "EUC-JP";
    case Encoding::UTF8:
      return "UTF-8";
    // One table for every Shift_JIS flavour: it decodes the NEC and IBM
    // extensions and keeps the user-defined area as private-use characters,
    // so carrier pictograms survive a round trip.
    case Encoding::ShiftJIS:
    case Encoding::MacJapanese:
    case Encoding::DOSJapanese:
      return "Shift_JIS";
    case Encoding::Unicode:
      return "UTF-16LE";
    case Encoding::ISO2022JP:
      return "ISO_2022,locale=ja,version=0";
    case Encoding::MacOSRoman:
      return "macintosh";
    case Encoding::UTF16BE:
      return "UTF-16BE";
    case Encoding::UTF16LE:
      return "UTF-16LE";
    case Encoding::UTF32BE:
      return "UTF-32BE";
    case Encoding::UTF32LE:
      return "UTF-32LE";
  }
  return nullptr;
}

std::optional<icu::UnicodeString> decode(const void* bytes, std::size_t length, Encoding encoding) {
  const char* p = static_cast<const char*>(bytes);
  if (p == nullptr) length = 0;
  if (encoding == Encoding::Unicode) {
    // A mark chooses the order and is dropped; without one, machine order.
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    if (length >= 2 && u[0] == 0xFE && u[1] == 0xFF) {
      return convertToUnicode(p + 2, length - 2, Encoding::UTF16BE, true);
    }
    if (length >= 2 && u[0] == 0xFF && u[1] == 0xFE) {
      return convertToUnicode(p + 2, length - 2, Encoding::UTF16LE, true);
    }
    return convertToUnicode(p, length, Encoding::UTF16LE, true);
  }
  return convertToUnicode(p, length, encoding, true);
}

std::optional<icu::UnicodeString> decode(std::string_view bytes, Encoding encoding) {
  return decode(bytes.data(), bytes.size(), encoding);
}

namespace {

// UTF-16 units to UTF-8 the way toUTF8 converts them, a lone surrogate
// becoming U+FFFD; out has room for three bytes per unit. Returns the length.
std::size_t unitsToUTF8(const UChar* units, int32_t length, char* out) {
  char* o = out;
  for (int32_t i = 0; i < length; ++i) {
    // Runs of ASCII, four units at a time.
    while (i + 4 <= length && (units[i] | units[i + 1] | units[i + 2] | units[i + 3]) < 0x80) {
      o[0] = static_cast<char>(units[i]);
      o[1] = static_cast<char>(units[i + 1]);
      o[2] = static_cast<char>(units[i + 2]);
      o[3] = static_cast<char>(units[i + 3]);
      o += 4;
      i += 4;
    }
    if (i >= length) break;
    std::uint32_t c = units[i];
    if (c < 0x80) {
      *o++ = static_cast<char>(c);
      continue;
    }
    if (c < 0x800) {
      *o++ = static_cast<char>(0xC0 | c >> 6);
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
      continue;
    }
    if (U16_IS_SURROGATE(c)) {
      if (U16_IS_LEAD(c) && i + 1 < length && U16_IS_TRAIL(units[i + 1])) {
        c = U16_GET_SUPPLEMENTARY(c, units[i + 1]);
        ++i;
        *o++ = static_cast<char>(0xF0 | c >> 18);
        *o++ = static_cast<char>(0x80 | (c >> 12 & 0x3F));
        *o++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
        *o++ = static_cast<char>(0x80 | (c & 0x3F));
        continue;
      }
      c = 0xFFFD;
    }
    *o++ = static_cast<char>(0xE0 | c >> 12);
    *o++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *o++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return static_cast<std::size_t>(o - out);
}

// Decodes bytes with conv in pieces through one small UTF-16 buffer and hands
// each piece as UTF-8 to sink (which may refuse it). A high surrogate at the
// end of a piece waits for its partner so that pairs convert as pairs. False
// when the converter stops or the sink refuses.
template <typename Sink>
bool decodePieces(UConverter* conv, std::string_view bytes, Sink sink) {
  constexpr int32_t kPiece = 1 << 13;
  UChar units[kPiece + 1];
  char utf8[3 * (kPiece + 1)];
  int32_t carried = 0;
  const char* source = bytes.data();
  const char* const sourceLimit = bytes.data() + bytes.size();
  for (;;) {
    UChar* target = units + carried;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(conv, &target, units + kPiece + 1, &source, sourceLimit, nullptr, true, &status);
    const bool more = status == U_BUFFER_OVERFLOW_ERROR;
    if (U_FAILURE(status) && !more) return false;
    auto unitCount = static_cast<int32_t>(target - units);
    carried = 0;
    if (more && unitCount > 0 && U16_IS_LEAD(units[unitCount - 1])) {
      carried = 1;
      --unitCount;
    }
    if (!sink(utf8, unitsToUTF8(units, unitCount, utf8))) return false;
    if (carried != 0) units[0] = units[unitCount];
    if (!more) return true;
  }
}

}  // namespace

DecodedText::~DecodedText() {
  std::free(text_);
}

DecodedText::DecodedText(DecodedText&& other) noexcept
    : text_(std::exchange(other.text_, nullptr)), length_(std::exchange(other.length_, 0)) {}

DecodedText& DecodedText::operator=(DecodedText&& other) noexcept {
  if (this != &other) {
    std::free(text_);
    text_ = std::exchange(other.text_, nullptr);
    length_ = std::exchange(other.length_, 0);
  }
  return *this;
}

char* DecodedText::release() noexcept {
  length_ = 0;
  return std::exchange(text_, nullptr);
}

std::optional<std::string> decodeToUTF8(std::string_view bytes, Encoding encoding) {
  std::optional<DecodedText> text = decodeToUTF8Block(bytes, encoding);
  if (!text) return std::nullopt;
  return std::string(text->view());
}

std::optional<DecodedText> decodeToUTF8Block(std::string_view bytes, Encoding encoding) {
  if (encoding == Encoding::Unicode) {
    // The mark handling of decode; a rare case, taken the long way.
    auto text = decode(bytes, encoding);
    if (!text) return std::nullopt;
    const std::string utf8 = toUTF8(*text);
    auto* block = static_cast<char*>(std::malloc(utf8.size() + 1));
    if (block == nullptr) return std::nullopt;
    std::memcpy(block, utf8.c_str(), utf8.size() + 1);
    return DecodedText(block, utf8.size());
  }
  if (bytes.size() > static_cast<std::size_t>(INT32_MAX / 2)) return std::nullopt;
  icu::LocalUConverterPointer conv = openConverter(encoding);
  if (conv.isNull()) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(conv.getAlias(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  if (U_FAILURE(status)) return std::nullopt;

  // Room for the worst case (three UTF-8 bytes per source byte) is only
  // reserved; pages that are never written are never touched, and the block
  // is trimmed at the end.
  const std::size_t capacity = bytes.size() * 3 + 16;
  DecodedText out(static_cast<char*>(std::malloc(capacity)), 0);
  if (out.data() == nullptr) return std::nullopt;
  std::size_t length = 0;
  const bool decoded =
      decodePieces(conv.getAlias(), bytes, [&](const char* piece, std::size_t size) {
        if (size >= capacity - length) return false;  // never expected
        std::memcpy(out.data() + length, piece, size);
        length += size;
        return true;
      });
  if (!decoded) return std::nullopt;
  out.data()[length] = '\0';
  char* block = out.release();
  // Trimming a large block moves no bytes; should it fail, the larger one stays.
  if (auto* fitted = static_cast<char*>(std::realloc(block, length + 1))) block = fitted;
  return DecodedText(block, length);
}

std::string decodeLossyToUTF8(const void* bytes, std::size_t length, Encoding encoding) {
  const char* p = static_cast<const char*>(bytes);
  if (p == nullptr) length = 0;
  if (encoding == Encoding::Unicode) encoding = Encoding::UTF16LE;
  if (length > static_cast<std::size_t>(INT32_MAX / 2)) return std::string();
  // Opening a converter costs more than decoding a short value, and values
  // come one after another: the last one opened is kept for the next call.
  thread_local icu::LocalUConverterPointer cached;
  thread_local Encoding cachedEncoding = Encoding::UTF8;
  if (cached.isNull() || cachedEncoding != encoding) {
    cached.adoptInstead(openConverter(encoding).orphan());
    if (cached.isNull()) return std::string();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(cached.getAlias(), replacementCallback, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) {
      cached.adoptInstead(nullptr);
      return std::string();
    }
    cachedEncoding = encoding;
  } else {
    ucnv_resetToUnicode(cached.getAlias());
  }
  std::string out;
  const bool decoded = decodePieces(cached.getAlias(), std::string_view(p, length),
                                    [&](const char* piece, std::size_t size) {
                                      out.append(piece, size);
                                      return true;
                                    });
  if (!decoded) return std::string();
  return out;
}

namespace {

// replacementCallback that also counts what it replaces.
void countingReplacementCallback(const void* context, UConverterToUnicodeArgs* args,
                                 const char* codeUnits, int32_t length,
                                 UConverterCallbackReason reason, UErrorCode* status) {
  if (reason <= UCNV_IRREGULAR) ++*static_cast<std::uint64_t*>(const_cast<void*>(context));
  replacementCallback(nullptr, args, codeUnits, length, reason, status);
}

}  // namespace

std::optional<std::string> decodeLossyToUTF8(std::string_view bytes, const char* converterName,
                                             std::uint64_t* replaced) {
  if (converterName == nullptr) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  icu::LocalUConverterPointer conv(ucnv_open(converterName, &status));
  if (U_FAILURE(status)) return std::nullopt;
  std::uint64_t count = 0;
  ucnv_setToUCallBack(conv.getAlias(), countingReplacementCallback, &count, nullptr, nullptr,
                      &status);
  if (U_FAILURE(status)) return std::nullopt;
  std::string out;
  const bool decoded =
      decodePieces(conv.getAlias(), bytes, [&](const char* piece, std::size_t size) {
        out.append(piece, size);
        return true;
      });
  if (!decoded) return std::nullopt;
  if (replaced != nullptr) *replaced += count;
  return out;
}

bool isKnownCharset(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  UErrorCode status = U_ZERO_ERROR;
  icu::LocalUConverterPointer conv(ucnv_open(name, &status));
  return U_SUCCESS(status) && !conv.isNull();
}

std::optional<std::string> guessSingleByteLatinCharset(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT32_MAX)) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  icu::LocalUCharsetDetectorPointer detector(ucsdet_open(&status));
  if (U_FAILURE(status)) return std::nullopt;
  ucsdet_setText(detector.getAlias(), bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  int32_t count = 0;
  const UCharsetMatch** matches = ucsdet_detectAll(detector.getAlias(), &count, &status);
  if (U_FAILURE(status) || matches == nullptr) return std::nullopt;
  // The confidence of a short text is low even when the guess is right, so
  // the best single-byte guess is taken whatever its confidence.
  for (int32_t i = 0; i < count; ++i) {
    const char* name = ucsdet_getName(matches[i], &status);
    if (U_FAILURE(status) || name == nullptr) return std::nullopt;
    const std::string_view candidate(name);
    if (candidate.starts_with("ISO-8859-") || candidate.starts_with("windows-125")) {
      // Bytes 80-9F are controls in ISO-8859-1 but letters and quotation
      // marks in its Windows superset, which is what such files are.
      const bool c1 = std::any_of(bytes.begin(), bytes.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0x80 && b <= 0x9F;
      });
      if (candidate == "ISO-8859-1" && c1) return std::string("windows-1252");
      return std::string(candidate);
    }
  }
  return std::nullopt;
}

icu::UnicodeString decodeLossy(const void* bytes, std::size_t length, Encoding encoding) {
  const char* p = static_cast<const char*>(bytes);
  if (p == nullptr) length = 0;
  if (encoding == Encoding::Unicode) encoding = Encoding::UTF16LE;
  auto text = convertToUnicode(p, length, encoding, false);
  return text ? *text : icu::UnicodeString();
}

std::optional<std::string> encode(const icu::UnicodeString& text, Encoding encoding) {
  if (encoding == Encoding::Unicode) {
    auto body = convertFromUnicode(text, Encoding::UTF16LE, true);
    if (!body) return std::nullopt;
    return std::string("\xFF\xFE", 2) + *body;
  }
  return convertFromUnicode(text, encoding, true);
}

std::optional<std::string> encodeLossy(const icu::UnicodeString& text, Encoding encoding) {
  if (encoding == Encoding::Unicode) {
    auto body = convertFromUnicode(text, Encoding::UTF16LE, false);
    if (!body) return std::nullopt;
    return std::string("\xFF\xFE", 2) + *body;
  }
  return convertFromUnicode(text, encoding, false);
}

bool isWellFormedUTF8(std::string_view bytes) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    // Runs of ASCII, the bulk of a card file, are passed eight bytes at once.
    while (n - i >= 8) {
      std::uint64_t word;
      std::memcpy(&word, s + i, sizeof word);
      if ((word & 0x8080808080808080ULL) != 0) break;
      i += 8;
    }
    if (i >= n) break;
    unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    // Kana and kanji: a three-byte sequence whose lead puts no extra limit on
    // the second byte, checked in one go.
    if (c >= 0xE1 && c <= 0xEF && c != 0xED && n - i >= 3) {
      if (((s[i + 1] & 0xC0) | (s[i + 2] & 0xC0) << 8) != 0x8080) return false;
      i += 3;
      continue;
    }
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (n - i < len) return false;
    if (s[i + 1] < lo || s[i + 1] > hi) return false;
    for (std::size_t k = 2; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
    }
    i += len;
  }
  return true;
}

std::optional<icu::UnicodeString> fromUTF8(std::string_view bytes) {
  if (!isWellFormedUTF8(bytes)) return std::nullopt;
  if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) return std::nullopt;
  return icu::UnicodeString::fromUTF8(
      icu::StringPiece(bytes.data(), static_cast<int32_t>(bytes.size())));
}

std::string toUTF8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

icu::UnicodeString uppercase(const icu::UnicodeString& text) {
  icu::UnicodeString out(text);
  out.toUpper(icu::Locale::getRoot());
  return out;
}

std::optional<Encoding> detectFileEncoding(std::string_view content) {
  if (content.size() >= 3 && content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
  if (isWellFormedUTF8(content)) return Encoding::UTF8;
  return std::nullopt;
}

std::optional<std::string> readFile(const std::string& path) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never
  // come; with it the open returns at once and fstat turns the FIFO away.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return std::nullopt;
  struct stat st {};
  // Devices (/dev/zero never ends), sockets, FIFOs and folders are no source.
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::string content;
  if (st.st_size > 0) {
    // Room for a caller's terminator too, so that adding one does not copy
    // the whole content.
    content.reserve(static_cast<std::size_t>(st.st_size) + 8);
  }
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
  }
  return content;
}

namespace {

// A temporary name in folder that no other writer picks by chance: 64 bits
// from the kernel's random source, in hexadecimal.
std::optional<std::string> randomTemporaryName(const std::string& folder) {
  std::uint64_t bits = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(&bits);
  std::size_t filled = 0;
  while (filled < sizeof bits) {
    const ssize_t n = ::getrandom(bytes + filled, sizeof bits - filled, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    filled += static_cast<std::size_t>(n);
  }
  char suffix[17];
  std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(bits));
  return folder + "/.vcf-" + suffix;
}

}  // namespace

bool writeFileAtomically(const std::string& path, std::string_view content) {
  const std::size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
  // Created 0666 so that the umask gives the file the permissions a plain
  // create would. The umask is only read by the kernel, never set here: it is
  // shared by every thread of the process.
  std::string tempPath;
  int descriptor = -1;
  for (int attempt = 0; attempt < 100 && descriptor < 0; ++attempt) {
    std::optional<std::string> name = randomTemporaryName(folder);
    if (!name) return false;
    tempPath = std::move(*name);
    descriptor = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0 && errno != EEXIST && errno != EINTR) return false;
  }
  FileDescriptor fd(descriptor);
  if (fd.get() < 0) return false;
  bool ok = writeAll(fd.get(), content) && ::fsync(fd.get()) == 0;
  ok = fd.close() && ok;
  ok = ok && ::rename(tempPath.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tempPath.c_str());
  return ok;
}

bool appendToFile(const std::string& path, std::string_view content) {
  FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  bool ok = writeAll(fd.get(), content);
  return fd.close() && ok;
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool removeFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

std::string homeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/";
}

void logLine(std::string_view message) {
  timeval tv{};
  ::gettimeofday(&tv, nullptr);
  tm local{};
  ::localtime_r(&tv.tv_sec, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::string line = std::string(stamp) + "." + std::to_string(tv.tv_usec / 1000 + 1000).substr(1) +
                     " " + program_invocation_short_name + "[" + std::to_string(::getpid()) + "] " +
                     std::string(message) + "\n";
  // One write so that lines from several threads do not interleave.
  (void)writeAll(STDERR_FILENO, line);
}

void logFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length >= 0) {
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(length));
    logLine(text);
  }
  va_end(args);
}

}  // namespace platform
