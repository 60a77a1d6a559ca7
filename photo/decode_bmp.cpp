// BMP read by hand: the format is a header and rows of pixels, and a library
// for it would bring more than it saves. Read are the variants phones and
// address books write: 1, 4 and 8 bits through a palette, 24 bits, and 32
// bits either plain or with byte-wide colour masks, rows stored bottom up or
// top down. Run-length and other packed forms are refused. Every size in the
// headers is checked against the bytes there are before anything is read or
// allocated.
#include <algorithm>
#include <array>
#include <bit>

#include "decode_p.h"

namespace photo::detail {
namespace {

constexpr std::size_t kFileHeaderBytes = 14;
// The sizes of the info headers in use: the old 12-byte one (16-bit sizes,
// three-byte palette entries) and the Windows ones of 40 bytes and beyond.
constexpr std::uint32_t kCoreHeaderBytes = 12;
constexpr std::array<std::uint32_t, 5> kInfoHeaderBytes = {40, 52, 56, 108, 124};

constexpr std::uint32_t kPlainRGB = 0;   // BI_RGB
constexpr std::uint32_t kBitFields = 3;  // BI_BITFIELDS

std::uint32_t le16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t le32(std::string_view bytes, std::size_t at) {
  return le16(bytes, at) | le16(bytes, at + 2) << 16;
}

// One channel of a 32-bit pixel: where its byte sits. Only masks of one
// whole byte are read; others would need scaling no writer in use asks for.
struct Channel {
  int shift = 0;
  bool present = false;
};

std::optional<Channel> channelOf(std::uint32_t mask) {
  if (mask == 0) return Channel{};
  const int shift = std::countr_zero(mask);
  if (shift % 8 != 0 || mask >> shift != 0xFF) return std::nullopt;
  return Channel{shift, true};
}

struct Layout {
  std::int64_t width = 0;
  std::int64_t height = 0;  // positive; topDown tells the row order
  bool topDown = false;
  unsigned bits = 0;
  std::uint32_t pixelsAt = 0;
  std::vector<std::array<unsigned char, 3>> palette;  // RGB
  Channel red{16, true};
  Channel green{8, true};
  Channel blue{0, true};
  Channel alpha{};
};

std::optional<Layout> layoutOf(std::string_view bytes) {
  if (bytes.size() < kFileHeaderBytes + 4 || !bytes.starts_with("BM")) return std::nullopt;
  Layout layout;
  layout.pixelsAt = le32(bytes, 10);
  const std::uint32_t infoBytes = le32(bytes, kFileHeaderBytes);
  const bool core = infoBytes == kCoreHeaderBytes;
  if (!core && std::find(kInfoHeaderBytes.begin(), kInfoHeaderBytes.end(), infoBytes) ==
                   kInfoHeaderBytes.end())
    return std::nullopt;
  if (bytes.size() < kFileHeaderBytes + infoBytes) return std::nullopt;
  const std::size_t info = kFileHeaderBytes;
  std::uint32_t compression = kPlainRGB;
  std::uint32_t coloursUsed = 0;
  if (core) {
    layout.width = le16(bytes, info + 4);
    layout.height = le16(bytes, info + 6);
    layout.bits = le16(bytes, info + 10);
  } else {
    layout.width = static_cast<std::int32_t>(le32(bytes, info + 4));
    layout.height = static_cast<std::int32_t>(le32(bytes, info + 8));
    layout.bits = le16(bytes, info + 14);
    compression = le32(bytes, info + 16);
    coloursUsed = le32(bytes, info + 32);
  }
  // A negative height marks rows stored top down.
  if (layout.height < 0) {
    layout.topDown = true;
    layout.height = -layout.height;
  }
  if (!decodable(layout.width, layout.height)) return std::nullopt;

  switch (layout.bits) {
    case 1:
    case 4:
    case 8: {
      if (compression != kPlainRGB) return std::nullopt;
      const std::size_t entryBytes = core ? 3 : 4;
      const std::uint32_t most = 1U << layout.bits;
      const std::uint32_t count = coloursUsed == 0 ? most : std::min(coloursUsed, most);
      const std::size_t paletteAt = kFileHeaderBytes + infoBytes;
      if (bytes.size() < paletteAt + count * entryBytes) return std::nullopt;
      for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t at = paletteAt + i * entryBytes;  // blue, green, red
        layout.palette.push_back({static_cast<unsigned char>(bytes[at + 2]),
                                  static_cast<unsigned char>(bytes[at + 1]),
                                  static_cast<unsigned char>(bytes[at])});
      }
      break;
    }
    case 24:
      if (compression != kPlainRGB) return std::nullopt;
      break;
    case 32:
      if (compression == kBitFields) {
        // The masks follow a 40-byte header and sit inside the longer ones,
        // at the same place either way; the alpha mask only in the longer.
        const std::size_t masksAt = kFileHeaderBytes + 40;
        if (core || bytes.size() < masksAt + 12) return std::nullopt;
        const auto red = channelOf(le32(bytes, masksAt));
        const auto green = channelOf(le32(bytes, masksAt + 4));
        const auto blue = channelOf(le32(bytes, masksAt + 8));
        const auto alpha = infoBytes >= 56 ? channelOf(le32(bytes, masksAt + 12)) : Channel{};
        if (!red || !green || !blue || !alpha || !red->present || !green->present || !blue->present)
          return std::nullopt;
        layout.red = *red;
        layout.green = *green;
        layout.blue = *blue;
        layout.alpha = *alpha;
      } else if (compression != kPlainRGB) {
        return std::nullopt;
      }
      break;
    default:
      return std::nullopt;
  }
  return layout;
}

unsigned char channelValue(std::uint32_t pixel, Channel channel) {
  return static_cast<unsigned char>(pixel >> channel.shift);
}

}  // namespace

std::optional<Image> decodeBMP(std::string_view bytes) {
  std::optional<Layout> found = layoutOf(bytes);
  if (!found) return std::nullopt;
  const Layout& layout = *found;
  // Rows are padded to whole 32-bit words.
  const std::uint64_t stride =
      (static_cast<std::uint64_t>(layout.width) * layout.bits + 31) / 32 * 4;
  const auto height = static_cast<std::uint64_t>(layout.height);
  if (layout.pixelsAt > bytes.size() || stride * height > bytes.size() - layout.pixelsAt)
    return std::nullopt;
  const auto width = static_cast<std::size_t>(layout.width);
  auto rowAt = [&](std::uint64_t y) {
    const std::uint64_t stored = layout.topDown ? y : height - 1 - y;
    return reinterpret_cast<const unsigned char*>(bytes.data()) + layout.pixelsAt + stored * stride;
  };
  auto pixel32 = [](const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0] | at[1] << 8 | at[2] << 16) |
           static_cast<std::uint32_t>(at[3]) << 24;
  };

  // Many writers leave the alpha byte 0 everywhere although the header names
  // it; such a picture is meant opaque, not invisible.
  bool useAlpha = false;
  if (layout.alpha.present) {
    for (std::uint64_t y = 0; y < height && !useAlpha; ++y) {
      const unsigned char* row = rowAt(y);
      for (std::size_t x = 0; x < width && !useAlpha; ++x)
        useAlpha = channelValue(pixel32(row + x * 4), layout.alpha) != 0;
    }
  }

  Image image;
  image.width = static_cast<int>(layout.width);
  image.height = static_cast<int>(layout.height);
  image.rgb.resize(width * static_cast<std::size_t>(height) * 3);
  unsigned char* out = image.rgb.data();
  const std::array<unsigned char, 3> black{0, 0, 0};
  for (std::uint64_t y = 0; y < height; ++y) {
    const unsigned char* row = rowAt(y);
    for (std::size_t x = 0; x < width; ++x) {
      if (layout.bits == 24) {
        const unsigned char* at = row + x * 3;  // blue, green, red
        *out++ = at[2];
        *out++ = at[1];
        *out++ = at[0];
      } else if (layout.bits == 32) {
        const std::uint32_t pixel = pixel32(row + x * 4);
        const unsigned alpha = useAlpha ? channelValue(pixel, layout.alpha) : 255;
        *out++ = onWhite(channelValue(pixel, layout.red), alpha);
        *out++ = onWhite(channelValue(pixel, layout.green), alpha);
        *out++ = onWhite(channelValue(pixel, layout.blue), alpha);
      } else {
        // Palette indices fill each byte from its high bits; an index past
        // the palette's end is drawn black.
        const std::size_t bit = x * layout.bits;
        const unsigned index =
            (row[bit / 8] >> (8 - layout.bits - bit % 8)) & ((1U << layout.bits) - 1);
        const auto& colour = index < layout.palette.size() ? layout.palette[index] : black;
        out = std::copy(colour.begin(), colour.end(), out);
      }
    }
  }
  return image;
}

}  // namespace photo::detail
