#include "photo_shrink.h"

#include <png.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "decode_p.h"

namespace photo {
namespace {

using detail::Image;
using detail::kMaxDecodedPixels;

// Decoded pictures are kept at most this wide and high: a picture that has to
// fit a few hundred kilobytes ends up far smaller anyway, and the cap bounds
// the memory a huge or hostile picture can take.
constexpr int kWorkingSide = 2048;
// Below this width and height a picture is no longer worth keeping.
constexpr int kSmallestSide = 16;
constexpr int kQuality = 85;

struct TjDeleter {
  void operator()(void* handle) const noexcept { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjDeleter>;

std::optional<Image> decodeJPEG(std::string_view bytes) {
  TjHandle handle(tjInitDecompress());
  if (!handle) return std::nullopt;
  auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto size = static_cast<unsigned long>(bytes.size());
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colorspace = 0;
  if (tjDecompressHeader3(handle.get(), data, size, &width, &height, &subsampling, &colorspace) !=
          0 ||
      width <= 0 || height <= 0)
    return std::nullopt;

  // The decoder scales by eighths on the way; the largest scale that keeps
  // the picture within the working size saves most of the work on big photos.
  int count = 0;
  const tjscalingfactor* factors = tjGetScalingFactors(&count);
  int scaledWidth = width;
  int scaledHeight = height;
  for (int i = 0; factors != nullptr && i < count; ++i) {
    const tjscalingfactor f = factors[i];
    if (f.num > f.denom) continue;
    const int w = (width * f.num + f.denom - 1) / f.denom;
    const int h = (height * f.num + f.denom - 1) / f.denom;
    const bool fits = w <= kWorkingSide && h <= kWorkingSide;
    const bool larger = w > scaledWidth || h > scaledHeight;
    const bool currentFits = scaledWidth <= kWorkingSide && scaledHeight <= kWorkingSide;
    if ((fits && (!currentFits || larger)) || (!currentFits && w < scaledWidth)) {
      scaledWidth = w;
      scaledHeight = h;
    }
  }
  if (static_cast<std::uint64_t>(scaledWidth) * static_cast<std::uint64_t>(scaledHeight) >
      kMaxDecodedPixels)
    return std::nullopt;
  Image image;
  image.width = scaledWidth;
  image.height = scaledHeight;
  image.rgb.resize(static_cast<std::size_t>(scaledWidth) * static_cast<std::size_t>(scaledHeight) *
                   3);
  if (tjDecompress2(handle.get(), data, size, image.rgb.data(), scaledWidth, 0, scaledHeight,
                    TJPF_RGB, 0) != 0)
    return std::nullopt;
  return image;
}

std::optional<Image> decodePNG(std::string_view bytes) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()) == 0) return std::nullopt;
  struct Release {
    png_image* png;
    ~Release() { png_image_free(png); }
  } release{&png};
  if (png.width == 0 || png.height == 0 ||
      static_cast<std::uint64_t>(png.width) * png.height > kMaxDecodedPixels)
    return std::nullopt;
  png.format = PNG_FORMAT_RGB;
  Image image;
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.rgb.resize(static_cast<std::size_t>(png.width) * png.height * 3);
  png_color white{255, 255, 255};
  if (png_image_finish_read(&png, &white, image.rgb.data(), 0, nullptr) == 0) return std::nullopt;
  return image;
}

// The picture resized to width x height (never larger): every target pixel
// the average of the source pixels it covers.
Image resized(const Image& source, int width, int height) {
  Image target;
  target.width = width;
  target.height = height;
  target.rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  std::vector<int> columnStart(static_cast<std::size_t>(width) + 1);
  for (int x = 0; x <= width; ++x) {
    columnStart[static_cast<std::size_t>(x)] =
        static_cast<int>(static_cast<std::int64_t>(x) * source.width / width);
  }
  std::vector<std::uint32_t> sums(static_cast<std::size_t>(width) * 3);
  for (int y = 0; y < height; ++y) {
    const int top = static_cast<int>(static_cast<std::int64_t>(y) * source.height / height);
    const int bottom = std::max(
        top + 1, static_cast<int>(static_cast<std::int64_t>(y + 1) * source.height / height));
    std::fill(sums.begin(), sums.end(), 0U);
    for (int sy = top; sy < bottom; ++sy) {
      const unsigned char* row =
          source.rgb.data() + static_cast<std::size_t>(sy) * source.width * 3;
      for (int x = 0; x < width; ++x) {
        const int left = columnStart[static_cast<std::size_t>(x)];
        const int right = std::max(left + 1, columnStart[static_cast<std::size_t>(x) + 1]);
        for (int sx = left; sx < right; ++sx) {
          for (int c = 0; c < 3; ++c)
            sums[static_cast<std::size_t>(x) * 3 + c] += row[static_cast<std::size_t>(sx) * 3 + c];
        }
      }
    }
    unsigned char* out = target.rgb.data() + static_cast<std::size_t>(y) * width * 3;
    for (int x = 0; x < width; ++x) {
      const int left = columnStart[static_cast<std::size_t>(x)];
      const int right = std::max(left + 1, columnStart[static_cast<std::size_t>(x) + 1]);
      const auto area = static_cast<std::uint32_t>((right - left) * (bottom - top));
      for (int c = 0; c < 3; ++c) {
        const std::uint32_t sum = sums[static_cast<std::size_t>(x) * 3 + c];
        out[static_cast<std::size_t>(x) * 3 + c] =
            static_cast<unsigned char>((sum + area / 2) / area);
      }
    }
  }
  return target;
}

std::optional<std::string> encodeJPEG(const Image& image) {
  TjHandle handle(tjInitCompress());
  if (!handle) return std::nullopt;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const int status = tjCompress2(handle.get(), image.rgb.data(), image.width, 0, image.height,
                                 TJPF_RGB, &buffer, &size, TJSAMP_420, kQuality, 0);
  std::optional<std::string> jpeg;
  if (status == 0 && buffer != nullptr) jpeg.emplace(reinterpret_cast<const char*>(buffer), size);
  tjFree(buffer);
  return jpeg;
}

// The side scaled by factor, at least 1.
int scaledSide(int side, double factor) {
  return std::max(1, static_cast<int>(std::lround(side * factor)));
}

// The picture by the decoder of the format its bytes show, whatever the
// vCard's TYPE parameter claimed.
std::optional<Image> decoded(Format format, std::string_view picture) {
  switch (format) {
    case Format::JPEG:
      return decodeJPEG(picture);
    case Format::PNG:
      return decodePNG(picture);
    case Format::TIFF:
      return detail::decodeTIFF(picture);
    case Format::GIF:
      return detail::decodeGIF(picture);
    case Format::BMP:
      return detail::decodeBMP(picture);
    case Format::Unknown:
      break;
  }
  return std::nullopt;
}

}  // namespace

Format formatOf(std::string_view bytes) noexcept {
  using namespace std::string_view_literals;
  if (bytes.starts_with("\xFF\xD8\xFF")) return Format::JPEG;
  if (bytes.starts_with("\x89PNG\r\n\x1A\n")) return Format::PNG;
  if (bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a")) return Format::GIF;
  if (bytes.starts_with("BM")) return Format::BMP;
  // Either byte order, each with the number 42 in that order.
  if (bytes.starts_with("II*\0"sv) || bytes.starts_with("MM\0*"sv)) return Format::TIFF;
  return Format::Unknown;
}

const char* typeName(Format format) noexcept {
  switch (format) {
    case Format::JPEG:
      return "JPEG";
    case Format::PNG:
      return "PNG";
    case Format::GIF:
      return "GIF";
    case Format::BMP:
      return "BMP";
    case Format::TIFF:
      return "TIFF";
    case Format::Unknown:
      break;
  }
  return "";
}

std::optional<Shrunk> shrinkToJPEG(std::string_view picture, std::size_t maxBytes) {
  try {
    std::optional<Image> picked = decoded(formatOf(picture), picture);
    if (!picked) return std::nullopt;
    Image source = std::move(*picked);
    if (source.width > kWorkingSide || source.height > kWorkingSide) {
      const double factor = std::min(static_cast<double>(kWorkingSide) / source.width,
                                     static_cast<double>(kWorkingSide) / source.height);
      source = resized(source, scaledSide(source.width, factor), scaledSide(source.height, factor));
    }

    // JPEG size grows about with the pixel count, so each try scales the
    // sides by the square root of the share that was too much, a little
    // more to land below the limit rather than just above it.
    double factor = 1.0;
    while (true) {
      const int width = scaledSide(source.width, factor);
      const int height = scaledSide(source.height, factor);
      std::optional<std::string> jpeg =
          factor == 1.0 ? encodeJPEG(source) : encodeJPEG(resized(source, width, height));
      if (!jpeg) return std::nullopt;
      if (jpeg->size() <= maxBytes) return Shrunk{std::move(*jpeg), width, height};
      if (width <= kSmallestSide && height <= kSmallestSide) return std::nullopt;
      const double share = static_cast<double>(maxBytes) / static_cast<double>(jpeg->size());
      factor *= std::clamp(std::sqrt(share) * 0.95, 0.25, 0.9);
    }
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace photo
