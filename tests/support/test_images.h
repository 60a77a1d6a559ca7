// Pictures for the photo tests, made on the spot: random pixels, which
// compress badly, so a picture of a few hundred pixels across is already
// larger than any photo limit; and pictures of four coloured quadrants, whose
// colours tell whether a decoder turned rows or columns around. JPEG and PNG
// are written with the libraries the photo library reads them with, TIFF and
// GIF with libtiff and giflib, BMP byte by byte.
#pragma once

#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>
#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

inline std::vector<unsigned char> noisePixels(int width, int height, int channels,
                                              unsigned seed = 7) {
  std::mt19937 random(seed);
  std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * channels);
  for (auto& p : pixels)
    p = static_cast<unsigned char>(random() & 0xFF);
  return pixels;
}

inline std::string noisyJPEG(int width, int height, int quality = 95) {
  const auto pixels = noisePixels(width, height, 3);
  tjhandle handle = tjInitCompress();
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::string jpeg;
  if (tjCompress2(handle, pixels.data(), width, 0, height, TJPF_RGB, &buffer, &size, TJSAMP_444,
                  quality, 0) == 0)
    jpeg.assign(reinterpret_cast<const char*>(buffer), size);
  tjFree(buffer);
  tjDestroy(handle);
  return jpeg;
}

// An RGBA PNG when alpha, else RGB.
inline std::string noisyPNG(int width, int height, bool alpha = false) {
  const int channels = alpha ? 4 : 3;
  const auto pixels = noisePixels(width, height, channels);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  if (png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr) == 0)
    return {};
  std::string png(size, '\0');
  if (png_image_write_to_memory(&image, png.data(), &size, 0, pixels.data(), 0, nullptr) == 0)
    return {};
  png.resize(size);
  return png;
}

// Width and height of a JPEG; (0, 0) when it does not decode.
inline std::pair<int, int> jpegSize(const std::string& jpeg) {
  tjhandle handle = tjInitDecompress();
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colorspace = 0;
  const bool read = tjDecompressHeader3(handle, reinterpret_cast<const unsigned char*>(jpeg.data()),
                                        static_cast<unsigned long>(jpeg.size()), &width, &height,
                                        &subsampling, &colorspace) == 0;
  std::vector<unsigned char> rgb(read ? static_cast<std::size_t>(width) * height * 3 : 0);
  const bool decoded =
      read && tjDecompress2(handle, reinterpret_cast<const unsigned char*>(jpeg.data()),
                            static_cast<unsigned long>(jpeg.size()), rgb.data(), width, 0, height,
                            TJPF_RGB, 0) == 0;
  tjDestroy(handle);
  return decoded ? std::pair{width, height} : std::pair{0, 0};
}

// The pixel at (x, y) of a JPEG as RGB; all -1 when it does not decode.
inline std::vector<int> jpegPixel(const std::string& jpeg, int x, int y) {
  const auto [width, height] = jpegSize(jpeg);
  if (width == 0) return {-1, -1, -1};
  tjhandle handle = tjInitDecompress();
  std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
  tjDecompress2(handle, reinterpret_cast<const unsigned char*>(jpeg.data()),
                static_cast<unsigned long>(jpeg.size()), rgb.data(), width, 0, height, TJPF_RGB, 0);
  tjDestroy(handle);
  const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
  return {rgb[at], rgb[at + 1], rgb[at + 2]};
}

// ---- Palette pictures as TIFF, GIF and BMP ----------------------------------

using Colour = std::array<unsigned char, 3>;

// A picture of palette indices, rows top down.
struct Indexed {
  int width = 0;
  int height = 0;
  std::vector<Colour> palette;
  std::vector<unsigned char> indices;
};

constexpr Colour kRed{220, 30, 30};
constexpr Colour kGreen{30, 200, 30};
constexpr Colour kBlue{30, 30, 220};
constexpr Colour kYellow{230, 220, 40};
constexpr Colour kWhite{255, 255, 255};

// Red top left, green top right, blue bottom left, yellow bottom right; with
// two colours only (for one bit a pixel), red on the left and green on the
// right.
inline Indexed quadrants(int width, int height, bool twoColours = false) {
  Indexed picture{width, height, {kRed, kGreen}, {}};
  if (!twoColours) picture.palette.insert(picture.palette.end(), {kBlue, kYellow});
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int right = x >= width / 2 ? 1 : 0;
      const int bottom = !twoColours && y >= height / 2 ? 2 : 0;
      picture.indices.push_back(static_cast<unsigned char>(right + bottom));
    }
  }
  return picture;
}

// 256 random colours at random.
inline Indexed noisyIndexed(int width, int height) {
  Indexed picture{width, height, {}, noisePixels(width, height, 1, 11)};
  const auto colours = noisePixels(256, 1, 3, 13);
  for (std::size_t i = 0; i < 256; ++i)
    picture.palette.push_back({colours[i * 3], colours[i * 3 + 1], colours[i * 3 + 2]});
  return picture;
}

inline std::vector<unsigned char> rgbOf(const Indexed& picture) {
  std::vector<unsigned char> rgb;
  for (const unsigned char index : picture.indices)
    rgb.insert(rgb.end(), picture.palette[index].begin(), picture.palette[index].end());
  return rgb;
}

// A growing in-memory file for libtiff to write into.
struct TiffSink {
  std::string bytes;
  std::uint64_t at = 0;

  static tmsize_t read(thandle_t h, void* buffer, tmsize_t size) {
    auto* sink = static_cast<TiffSink*>(h);
    if (sink->at >= sink->bytes.size()) return 0;
    const auto count =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(size), sink->bytes.size() - sink->at);
    std::memcpy(buffer, sink->bytes.data() + sink->at, count);
    sink->at += count;
    return static_cast<tmsize_t>(count);
  }
  static tmsize_t write(thandle_t h, void* buffer, tmsize_t size) {
    auto* sink = static_cast<TiffSink*>(h);
    const auto end = sink->at + static_cast<std::uint64_t>(size);
    if (sink->bytes.size() < end) sink->bytes.resize(end);
    std::memcpy(sink->bytes.data() + sink->at, buffer, static_cast<std::size_t>(size));
    sink->at = end;
    return size;
  }
  static toff_t seek(thandle_t h, toff_t offset, int whence) {
    auto* sink = static_cast<TiffSink*>(h);
    const std::uint64_t base = whence == SEEK_CUR   ? sink->at
                               : whence == SEEK_END ? sink->bytes.size()
                                                    : 0;
    sink->at = base + offset;
    return sink->at;
  }
  static int close(thandle_t) { return 0; }
  static toff_t size(thandle_t h) { return static_cast<TiffSink*>(h)->bytes.size(); }
  static int map(thandle_t, void**, toff_t*) { return 0; }
  static void unmap(thandle_t, void*, toff_t) {}
};

struct TiffOptions {
  bool bottomUp = false;      // rows stored bottom first, the orientation tag saying so
  bool clearTopLeft = false;  // RGBA, the top-left quadrant fully transparent
  int compression = COMPRESSION_NONE;
};

// The picture as an RGB (or RGBA) TIFF in one strip, little-endian.
inline std::string tiffOf(const Indexed& picture, TiffOptions options = {}) {
  TiffSink sink;
  TIFF* tiff = TIFFClientOpen("test", "wl", &sink, TiffSink::read, TiffSink::write, TiffSink::seek,
                              TiffSink::close, TiffSink::size, TiffSink::map, TiffSink::unmap);
  if (tiff == nullptr) return {};
  const int channels = options.clearTopLeft ? 4 : 3;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(picture.width));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(picture.height));
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, channels);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, options.compression);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(picture.height));
  TIFFSetField(tiff, TIFFTAG_ORIENTATION,
               options.bottomUp ? ORIENTATION_BOTLEFT : ORIENTATION_TOPLEFT);
  if (options.clearTopLeft) {
    const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  std::vector<unsigned char> row(static_cast<std::size_t>(picture.width) * channels);
  bool written = true;
  for (int stored = 0; stored < picture.height; ++stored) {
    const int y = options.bottomUp ? picture.height - 1 - stored : stored;
    for (int x = 0; x < picture.width; ++x) {
      const Colour& c =
          picture.palette[picture.indices[static_cast<std::size_t>(y) * picture.width + x]];
      unsigned char* out = row.data() + static_cast<std::size_t>(x) * channels;
      std::copy(c.begin(), c.end(), out);
      if (channels == 4) out[3] = x < picture.width / 2 && y < picture.height / 2 ? 0 : 255;
    }
    written =
        written && TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(stored), 0) == 1;
  }
  TIFFClose(tiff);
  return written ? sink.bytes : std::string();
}

// The little-endian TIFF with the value of one tag of its first directory
// replaced by a 32-bit one; unchanged when the tag is not there.
inline std::string withTiffTag(std::string tiff, std::uint16_t tag, std::uint32_t value) {
  auto get = [&tiff](std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
      v = v << 8 | static_cast<unsigned char>(tiff[at + static_cast<std::size_t>(i)]);
    return v;
  };
  auto put = [&tiff](std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
      tiff[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
  };
  const std::size_t directory = get(4, 4);
  const std::uint32_t count = get(directory, 2);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t entry = directory + 2 + i * 12;
    if (get(entry, 2) != tag) continue;
    put(entry + 2, 4, 2);  // LONG
    put(entry + 4, 1, 4);  // one value
    put(entry + 8, value, 4);
  }
  return tiff;
}

struct GifOptions {
  int transparent = NO_TRANSPARENT_COLOR;
  bool interlaced = false;
  // A second frame painted all in the last palette colour, shown after the
  // first in an animation.
  bool secondFrame = false;
};

// The picture as a GIF89a; its palette padded to a power of two.
inline std::string gifOf(const Indexed& picture, GifOptions options = {}) {
  std::string out;
  int error = 0;
  auto sink = [](GifFileType* gif, const GifByteType* bytes, int size) {
    static_cast<std::string*>(gif->UserData)
        ->append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
    return size;
  };
  GifFileType* gif = EGifOpen(&out, sink, &error);
  if (gif == nullptr) return {};
  EGifSetGifVersion(gif, true);
  std::vector<GifColorType> colours;
  for (const Colour& c : picture.palette)
    colours.push_back({c[0], c[1], c[2]});
  int size = 2;
  while (size < static_cast<int>(colours.size()))
    size *= 2;
  colours.resize(static_cast<std::size_t>(size), GifColorType{0, 0, 0});
  ColorMapObject* palette = GifMakeMapObject(size, colours.data());
  bool written = EGifPutScreenDesc(gif, picture.width, picture.height, 8, 0, palette) == GIF_OK;
  const int frames = options.secondFrame ? 2 : 1;
  for (int frame = 0; frame < frames && written; ++frame) {
    if (options.transparent != NO_TRANSPARENT_COLOR || options.secondFrame) {
      GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 50, options.transparent};
      GifByteType extension[4];
      EGifGCBToExtension(&control, extension);
      written = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK;
    }
    written = written && EGifPutImageDesc(gif, 0, 0, picture.width, picture.height,
                                          options.interlaced, nullptr) == GIF_OK;
    std::vector<int> rows;
    const int start[] = {0, 4, 2, 1};
    const int step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < (options.interlaced ? 4 : 1); ++pass) {
      for (int y = options.interlaced ? start[pass] : 0; y < picture.height;
           y += options.interlaced ? step[pass] : 1)
        rows.push_back(y);
    }
    std::vector<GifPixelType> line(static_cast<std::size_t>(picture.width));
    for (const int y : rows) {
      for (int x = 0; x < picture.width; ++x)
        line[static_cast<std::size_t>(x)] =
            frame == 0 ? picture.indices[static_cast<std::size_t>(y) * picture.width + x]
                       : static_cast<GifPixelType>(picture.palette.size() - 1);
      written = written && EGifPutLine(gif, line.data(), picture.width) == GIF_OK;
    }
  }
  written = EGifCloseFile(gif, &error) == GIF_OK && written;
  GifFreeMapObject(palette);
  return written ? out : std::string();
}

struct BmpOptions {
  int bits = 24;  // 1, 4 and 8 through the palette, 24 or 32 as colours
  bool topDown = false;
  // 32 bits only: a 108-byte header with colour masks and an alpha mask, the
  // top half fully transparent.
  bool clearTopHalf = false;
};

// The picture as a BMP file.
inline std::string bmpOf(const Indexed& picture, BmpOptions options = {}) {
  std::string out;
  auto put = [&out](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
      out += static_cast<char>(v >> (8 * i));
  };
  const bool indexed = options.bits <= 8;
  const bool masks = options.bits == 32 && options.clearTopHalf;
  const std::uint32_t infoBytes = masks ? 108 : 40;
  const std::uint32_t paletteBytes =
      indexed ? static_cast<std::uint32_t>(picture.palette.size() * 4) : 0;
  const std::uint32_t stride =
      (static_cast<std::uint32_t>(picture.width) * options.bits + 31) / 32 * 4;
  const std::uint32_t pixelsAt = 14 + infoBytes + paletteBytes;
  out += "BM";
  put(pixelsAt + stride * static_cast<std::uint32_t>(picture.height), 4);
  put(0, 4);
  put(pixelsAt, 4);
  put(infoBytes, 4);
  put(static_cast<std::uint32_t>(picture.width), 4);
  put(static_cast<std::uint32_t>(options.topDown ? -picture.height : picture.height), 4);
  put(1, 2);
  put(static_cast<std::uint32_t>(options.bits), 2);
  put(masks ? 3 : 0, 4);
  put(stride * static_cast<std::uint32_t>(picture.height), 4);
  put(2835, 4);
  put(2835, 4);
  put(indexed ? static_cast<std::uint32_t>(picture.palette.size()) : 0, 4);
  put(0, 4);
  if (masks) {
    for (const std::uint32_t mask : {0x00FF0000U, 0x0000FF00U, 0x000000FFU, 0xFF000000U})
      put(mask, 4);
    put(0x73524742, 4);  // "sRGB"
    out.append(36 + 12, '\0');
  }
  for (std::size_t i = 0; i < paletteBytes / 4; ++i) {
    const Colour& c = picture.palette[i];
    out += {static_cast<char>(c[2]), static_cast<char>(c[1]), static_cast<char>(c[0]), '\0'};
  }
  for (int stored = 0; stored < picture.height; ++stored) {
    const int y = options.topDown ? stored : picture.height - 1 - stored;
    std::string row(stride, '\0');
    for (int x = 0; x < picture.width; ++x) {
      const unsigned char index = picture.indices[static_cast<std::size_t>(y) * picture.width + x];
      const Colour& c = picture.palette[index];
      if (indexed) {
        const int bit = x * options.bits;
        row[static_cast<std::size_t>(bit / 8)] =
            static_cast<char>(static_cast<unsigned char>(row[static_cast<std::size_t>(bit / 8)]) |
                              index << (8 - options.bits - bit % 8));
      } else {
        const std::size_t at = static_cast<std::size_t>(x) * (options.bits / 8);
        row[at] = static_cast<char>(c[2]);
        row[at + 1] = static_cast<char>(c[1]);
        row[at + 2] = static_cast<char>(c[0]);
        // Plain 32-bit pictures leave the fourth byte 0, as most writers do.
        if (masks) row[at + 3] = y < picture.height / 2 ? '\0' : '\xFF';
      }
    }
    out += row;
  }
  return out;
}

}  // namespace testsupport
