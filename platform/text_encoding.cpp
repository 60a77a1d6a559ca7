// Conversion between the encodings a source or output file may use and
// Unicode, all through ICU.
#include <unicode/locid.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucsdet.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "owned_cstring.h"
#include "shift_jis_table_p.h"
#include "text_encoding.h"
#include "utf8.h"

namespace platform {

icu::LocalUConverterPointer detail::openConverter(Encoding encoding) {
  const char* name = icuConverterName(encoding);
  if (name == nullptr) return icu::LocalUConverterPointer();
  UErrorCode status = U_ZERO_ERROR;
  icu::LocalUConverterPointer conv(ucnv_open(name, &status));
  if (U_FAILURE(status)) return icu::LocalUConverterPointer();
  return conv;
}

namespace {

using detail::openConverter;

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
    const std::size_t written =
        utf::convertUTF16ToUTF8WithReplacement(units, static_cast<std::size_t>(unitCount), utf8);
    if (!sink(utf8, written)) return false;
    if (carried != 0) units[0] = units[unitCount];
    if (!more) return true;
  }
}

}  // namespace

std::optional<std::string> decodeToUTF8(std::string_view bytes, Encoding encoding) {
  std::optional<DecodedText> text = decodeToUTF8Block(bytes, encoding);
  if (!text) return std::nullopt;
  return std::string(text->view());
}

namespace {

// Below this size the table is not worth building: ICU decodes directly.
constexpr std::size_t kShiftJISTableThreshold = 64 * 1024;

std::optional<DecodedText> decodeBlockByICU(std::string_view bytes, Encoding encoding);

}  // namespace

std::optional<DecodedText> detail::decodeShiftJISByICU(std::string_view bytes) {
  return decodeBlockByICU(bytes, Encoding::ShiftJIS);
}

std::optional<DecodedText> decodeToUTF8Block(std::string_view bytes, Encoding encoding) {
  const char* name = icuConverterName(encoding);
  if (bytes.size() >= kShiftJISTableThreshold && name != nullptr &&
      std::strcmp(name, "Shift_JIS") == 0) {
    if (std::optional<DecodedText> text = detail::decodeShiftJISByTable(bytes)) return text;
  }
  return decodeBlockByICU(bytes, encoding);
}

namespace {

std::optional<DecodedText> decodeBlockByICU(std::string_view bytes, Encoding encoding) {
  if (encoding == Encoding::Unicode) {
    // The mark handling of decode; a rare case, taken the long way.
    auto text = decode(bytes, encoding);
    if (!text) return std::nullopt;
    const std::string utf8 = toUTF8(*text);
    OwnedCString block = copyToCString(utf8);
    if (!block) return std::nullopt;
    return DecodedText(block.release(), utf8.size());
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

}  // namespace

std::string decodeLossyToUTF8(const void* bytes, std::size_t length, Encoding encoding) {
  const char* p = static_cast<const char*>(bytes);
  if (p == nullptr) length = 0;
  if (encoding == Encoding::Unicode) encoding = Encoding::UTF16LE;
  if (length > static_cast<std::size_t>(INT32_MAX / 2)) return std::string();
  if (const char* name = icuConverterName(encoding);
      name != nullptr && std::strcmp(name, "Shift_JIS") == 0) {
    // A value of a large Shift_JIS file: the table that decoded the file
    // decodes it the same way when it holds every sequence.
    if (std::optional<std::string> text =
            detail::decodeShiftJISByBuiltTable(std::string_view(p, length)))
      return std::move(*text);
  }
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

std::optional<std::string> decodeShiftJISToUTF8(std::string_view bytes,
                                                const ShiftJISSubstitute& substitute, bool lossy) {
  if (bytes.size() > static_cast<std::size_t>(INT32_MAX / 2)) return std::nullopt;
  icu::LocalUConverterPointer conv = openConverter(Encoding::ShiftJIS);
  if (conv.isNull()) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(conv.getAlias(), lossy ? replacementCallback : UCNV_TO_U_CALLBACK_STOP,
                      nullptr, nullptr, nullptr, &status);
  if (U_FAILURE(status)) return std::nullopt;
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  auto append = [&out](const char* piece, std::size_t size) {
    out.append(piece, size);
    return true;
  };
  // The stretches between substituted codes go through ICU. Shift_JIS has no
  // shift state, and a stretch ends where a character ends, so decoding it
  // alone gives what decoding the whole would. The walk pairs a lead byte
  // with a following trail byte as ICU does; a lead byte without one stands
  // alone.
  const auto* u = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t stretch = 0;
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (!isShiftJISLeadByte(u[i]) || i + 1 == bytes.size() || !isShiftJISTrailByte(u[i + 1])) {
      ++i;
      continue;
    }
    if (u[i] >= 0xF0) {
      const auto code = static_cast<std::uint16_t>(u[i] << 8 | u[i + 1]);
      const std::string_view text = substitute ? substitute(code) : std::string_view();
      if (!text.empty()) {
        ucnv_resetToUnicode(conv.getAlias());
        if (!decodePieces(conv.getAlias(), bytes.substr(stretch, i - stretch), append))
          return std::nullopt;
        out.append(text);
        stretch = i + 2;
      }
    }
    i += 2;
  }
  ucnv_resetToUnicode(conv.getAlias());
  if (!decodePieces(conv.getAlias(), bytes.substr(stretch), append)) return std::nullopt;
  return out;
}

bool isKnownCharset(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  UErrorCode status = U_ZERO_ERROR;
  icu::LocalUConverterPointer conv(ucnv_open(name, &status));
  return U_SUCCESS(status) && !conv.isNull();
}

bool isCharsetTableMissing(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  // A name ICU's alias table holds (an unknown one fails to open the same
  // way, as ICU then looks for a table file of that name), whose table file
  // is not in the data.
  UErrorCode status = U_ZERO_ERROR;
  if (ucnv_countAliases(name, &status) == 0 || U_FAILURE(status)) return false;
  status = U_ZERO_ERROR;
  icu::LocalUConverterPointer conv(ucnv_open(name, &status));
  return status == U_FILE_ACCESS_ERROR;
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

std::optional<icu::UnicodeString> fromUTF8(std::string_view bytes) {
  if (!utf::validateUTF8(bytes)) return std::nullopt;
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
  if (utf::validateUTF8(content)) return Encoding::UTF8;
  return std::nullopt;
}

}  // namespace platform
