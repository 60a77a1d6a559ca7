// Photos made to fit a size limit: a JPEG, PNG, TIFF, GIF or BMP picture
// decoded, scaled down and written again as JPEG until its bytes fit. Plain bytes in, plain bytes
// out; nothing here knows about vCards.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace photo {

enum class Format { Unknown, JPEG, PNG, GIF, BMP, TIFF };

// The picture format by the file's leading bytes (its signature).
[[nodiscard]] Format formatOf(std::string_view bytes) noexcept;

// The vCard TYPE value of the format: "JPEG", "PNG", "GIF", "BMP", "TIFF";
// "" for Unknown.
[[nodiscard]] const char* typeName(Format format) noexcept;

struct Shrunk {
  std::string jpeg;  // the new picture
  int width = 0;
  int height = 0;
};

// The picture (JPEG, PNG, TIFF, GIF or BMP) as a JPEG of at most maxBytes
// bytes, scaled down as little as the limit allows (never up); transparency
// is laid on white, and of an animated GIF the first frame is taken. nullopt
// when the picture cannot be decoded (another format, damaged or cut-off
// data, a colour model or variant the decoder does not convert, more pixels
// than it takes) or does not fit even at a few pixels across.
[[nodiscard]] std::optional<Shrunk> shrinkToJPEG(std::string_view picture, std::size_t maxBytes);

}  // namespace photo
