// TIFF by libtiff, read from the bytes in memory. Address books on a Mac
// export photos as TIFF; libtiff's RGBA interface turns every colour model it
// knows (RGB, grey, palette, YCbCr, CMYK, with or without alpha, in strips or
// tiles) into one form.
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "decode_p.h"

namespace photo::detail {
namespace {

// The bytes libtiff reads, as if they were an open file.
struct MemoryFile {
  std::string_view bytes;
  std::uint64_t at = 0;
};

tmsize_t readBytes(thandle_t handle, void* buffer, tmsize_t size) {
  auto* file = static_cast<MemoryFile*>(handle);
  if (size <= 0 || file->at >= file->bytes.size()) return 0;
  const std::uint64_t count =
      std::min(static_cast<std::uint64_t>(size), file->bytes.size() - file->at);
  std::memcpy(buffer, file->bytes.data() + file->at, count);
  file->at += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t writeNothing(thandle_t, void*, tmsize_t) {
  return 0;
}

toff_t seekTo(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(handle);
  std::uint64_t base = 0;
  if (whence == SEEK_CUR)
    base = file->at;
  else if (whence == SEEK_END)
    base = file->bytes.size();
  else if (whence != SEEK_SET)
    return static_cast<toff_t>(-1);
  // A backward move arrives as a huge unsigned offset and wraps as it should;
  // a place past the end is allowed, as with a file, and reads nothing there.
  file->at = base + offset;
  return file->at;
}

int closeNothing(thandle_t) {
  return 0;
}

toff_t sizeOf(thandle_t handle) {
  return static_cast<MemoryFile*>(handle)->bytes.size();
}

int mapNothing(thandle_t, void**, toff_t*) {
  return 0;
}

void unmapNothing(thandle_t, void*, toff_t) {}

// libtiff writes its warnings and errors to stderr unless a handler takes
// them; a damaged photo is told in the report, not on the terminal.
int swallowMessage(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

struct OptionsDeleter {
  void operator()(TIFFOpenOptions* options) const noexcept { TIFFOpenOptionsFree(options); }
};

struct TiffCloser {
  void operator()(TIFF* tiff) const noexcept { TIFFClose(tiff); }
};

// No one allocation of libtiff's own (a strip, a tile, the strip tables) may
// take more than the largest picture the photo library decodes would at four
// bytes a pixel; a file that claims more is refused by libtiff itself.
constexpr tmsize_t kMaxLibraryAllocation = static_cast<tmsize_t>(kMaxDecodedPixels * 4);

}  // namespace

std::optional<Image> decodeTIFF(std::string_view bytes) {
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (!options) return std::nullopt;
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), swallowMessage, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), swallowMessage, nullptr);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxLibraryAllocation);

  MemoryFile file{bytes};
  // "m": the bytes are not mapped, so libtiff never writes into them.
  std::unique_ptr<TIFF, TiffCloser> tiff(
      TIFFClientOpenExt("photo", "rm", &file, readBytes, writeNothing, seekTo, closeNothing, sizeOf,
                        mapNothing, unmapNothing, options.get()));
  if (!tiff) return std::nullopt;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  if (TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
      TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) != 1 || !decodable(width, height))
    return std::nullopt;
  char why[1024];
  if (TIFFRGBAImageOK(tiff.get(), why) != 1) return std::nullopt;

  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  std::vector<std::uint32_t> raster(pixels);
  if (TIFFReadRGBAImageOriented(tiff.get(), width, height, raster.data(), ORIENTATION_TOPLEFT, 1) !=
      1)
    return std::nullopt;

  Image image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.rgb.resize(pixels * 3);
  unsigned char* out = image.rgb.data();
  for (const std::uint32_t pixel : raster) {
    // The RGBA interface gives alpha premultiplied, whether the file had it
    // so or not: white shows through by what alpha leaves. A damaged file
    // can hold a colour above its alpha, hence the cap.
    const unsigned uncovered = 255 - TIFFGetA(pixel);
    *out++ = static_cast<unsigned char>(std::min(255U, TIFFGetR(pixel) + uncovered));
    *out++ = static_cast<unsigned char>(std::min(255U, TIFFGetG(pixel) + uncovered));
    *out++ = static_cast<unsigned char>(std::min(255U, TIFFGetB(pixel) + uncovered));
  }
  return image;
}

}  // namespace photo::detail
