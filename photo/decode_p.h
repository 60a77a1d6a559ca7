// The decoded picture the photo library scales and encodes, the bound on its
// size that every decoder checks before it allocates, and the decoders of the
// formats besides JPEG and PNG (one file each).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace photo::detail {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;  // width * height * 3 bytes, rows top down
};

// A picture with more pixels than this is not decoded at all.
constexpr std::uint64_t kMaxDecodedPixels = std::uint64_t{64} << 20;

// Whether a picture of width x height may be decoded: both sides positive and
// no more than kMaxDecodedPixels pixels in all.
constexpr bool decodable(std::int64_t width, std::int64_t height) {
  return width > 0 && height > 0 && static_cast<std::uint64_t>(width) <= kMaxDecodedPixels &&
         static_cast<std::uint64_t>(height) <= kMaxDecodedPixels &&
         static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <=
             kMaxDecodedPixels;
}

// A colour channel with its coverage alpha (0 to 255, not premultiplied) laid
// on white.
constexpr unsigned char onWhite(unsigned channel, unsigned alpha) {
  return static_cast<unsigned char>((channel * alpha + 255 * (255 - alpha) + 127) / 255);
}

// Each gives nullopt for a picture it cannot read whole: damaged or cut off,
// a variant it does not know, or more pixels than kMaxDecodedPixels.
[[nodiscard]] std::optional<Image> decodeTIFF(std::string_view bytes);
[[nodiscard]] std::optional<Image> decodeGIF(std::string_view bytes);
[[nodiscard]] std::optional<Image> decodeBMP(std::string_view bytes);

}  // namespace photo::detail
