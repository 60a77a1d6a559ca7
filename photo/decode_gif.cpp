// GIF by giflib, the first picture only: a contact photo is a still, and an
// animation's first frame is what an address book shows of it. The record
// by record interface is used rather than reading the whole file in, so that
// the size giflib allocates for a frame is checked first and later frames
// are never decoded.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "decode_p.h"

namespace photo::detail {
namespace {

struct Reader {
  std::string_view bytes;
  std::size_t at = 0;
};

int readBytes(GifFileType* gif, GifByteType* buffer, int size) {
  auto* reader = static_cast<Reader*>(gif->UserData);
  if (size <= 0) return 0;
  const std::size_t count =
      std::min(static_cast<std::size_t>(size), reader->bytes.size() - reader->at);
  std::memcpy(buffer, reader->bytes.data() + reader->at, count);
  reader->at += count;
  return static_cast<int>(count);
}

struct GifCloser {
  void operator()(GifFileType* gif) const noexcept {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifFile = std::unique_ptr<GifFileType, GifCloser>;

// The palette index that stands for "transparent" in the extensions before
// the first picture; NO_TRANSPARENT_COLOR when none says so. False when the
// file ends or breaks before a picture begins.
bool skipToFirstPicture(GifFileType* gif, int* transparent) {
  *transparent = NO_TRANSPARENT_COLOR;
  while (true) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &record) == GIF_ERROR) return false;
    if (record == IMAGE_DESC_RECORD_TYPE) return true;
    if (record != EXTENSION_RECORD_TYPE) return false;  // the end, with no picture
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
    // The first block of an extension starts with its length.
    GraphicsControlBlock control{};
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr &&
        DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
      *transparent = control.TransparentColor;
    while (block != nullptr) {
      if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
    }
  }
}

// The rows of a picture in the order the file stores them: interlaced
// pictures hold every eighth row from row 0, then from row 4, every fourth
// from row 2 and every second from row 1.
std::vector<int> storedRowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  rows.reserve(static_cast<std::size_t>(height));
  if (!interlaced) {
    for (int y = 0; y < height; ++y)
      rows.push_back(y);
    return rows;
  }
  constexpr int kStart[] = {0, 4, 2, 1};
  constexpr int kStep[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int y = kStart[pass]; y < height; y += kStep[pass])
      rows.push_back(y);
  }
  return rows;
}

}  // namespace

std::optional<Image> decodeGIF(std::string_view bytes) {
  Reader reader{bytes};
  int error = 0;
  GifFile gif(DGifOpen(&reader, readBytes, &error));
  if (!gif) return std::nullopt;
  int transparent = NO_TRANSPARENT_COLOR;
  if (!skipToFirstPicture(gif.get(), &transparent) || DGifGetImageDesc(gif.get()) == GIF_ERROR)
    return std::nullopt;

  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* palette = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
  if (palette == nullptr || palette->Colors == nullptr || frame.Left < 0 || frame.Top < 0 ||
      frame.Width <= 0 || frame.Height <= 0)
    return std::nullopt;
  // A frame reaching past the logical screen widens it, as viewers do; what
  // the frame does not cover is transparent, so white.
  const int width = std::max(gif->SWidth, frame.Left + frame.Width);
  const int height = std::max(gif->SHeight, frame.Top + frame.Height);
  if (!decodable(width, height)) return std::nullopt;

  Image image;
  image.width = width;
  image.height = height;
  image.rgb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 255);
  std::vector<GifPixelType> line(static_cast<std::size_t>(frame.Width));
  for (const int y : storedRowOrder(frame.Height, frame.Interlace)) {
    if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return std::nullopt;
    unsigned char* out = image.rgb.data() + (static_cast<std::size_t>(frame.Top + y) *
                                                 static_cast<std::size_t>(width) +
                                             static_cast<std::size_t>(frame.Left)) *
                                                3;
    for (const GifPixelType index : line) {
      // An index past the palette's end is drawn black, as viewers draw it.
      if (index != transparent) {
        const GifColorType colour =
            index < palette->ColorCount ? palette->Colors[index] : GifColorType{0, 0, 0};
        out[0] = colour.Red;
        out[1] = colour.Green;
        out[2] = colour.Blue;
      }
      out += 3;
    }
  }
  return image;
}

}  // namespace photo::detail
