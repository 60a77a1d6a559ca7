// Pictures for the photo tests, made on the spot: random pixels, which
// compress badly, so a picture of a few hundred pixels across is already
// larger than any photo limit.
#pragma once

#include <png.h>
#include <turbojpeg.h>

#include <cstdint>
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

}  // namespace testsupport
