// A Shift_JIS decoder that looks each character up in a table read from ICU's
// own converter, for the whole-file decoding of large exports: going through
// ICU's UTF-16 and then to UTF-8 costs several times more per character.
// ICU stays the reference: the table holds what ICU gives for each character
// alone, and anything the table does not hold is left to ICU.
#pragma once

#include <unicode/localpointer.h>
#include <unicode/ucnv.h>

#include <optional>
#include <string>
#include <string_view>

#include "text_encoding.h"

namespace platform::detail {

// The ICU converter for the encoding; null when ICU has none.
[[nodiscard]] icu::LocalUConverterPointer openConverter(Encoding encoding);

// What decodeToUTF8Block(bytes, Encoding::ShiftJIS) gives, when every byte
// sequence of bytes is one the table holds (ASCII, half-width katakana, a
// lead byte with a trail byte that ICU maps to one character); otherwise
// nothing, and the caller decodes with ICU.
[[nodiscard]] std::optional<DecodedText> decodeShiftJISByTable(std::string_view bytes);

// decodeShiftJISByTable for a short text (a value), as a string, once some
// large file has had the table built; nothing before that, or where
// decodeShiftJISByTable gives nothing. Valid Shift_JIS decodes the same
// strictly and lossily, so the lossy decoding of values may use it too.
[[nodiscard]] std::optional<std::string> decodeShiftJISByBuiltTable(std::string_view bytes);

// The same decoding through ICU alone, the general form the table stands in
// for.
[[nodiscard]] std::optional<DecodedText> decodeShiftJISByICU(std::string_view bytes);

}  // namespace platform::detail
