// Photos made to fit a byte limit: the format told by its signature, JPEG,
// PNG, TIFF, GIF and BMP scaled down and written as JPEG within the limit in
// their own colours, everything else and every damaged picture refused
// rather than passed on, without a word on stderr.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "param_names.h"
#include "photo_shrink.h"
#include "test_images.h"

namespace {

using photo::Format;
using testsupport::bmpOf;
using testsupport::BmpOptions;
using testsupport::CaseName;
using testsupport::Colour;
using testsupport::gifOf;
using testsupport::GifOptions;
using testsupport::noisyIndexed;
using testsupport::PrintTo;
using testsupport::quadrants;
using testsupport::tiffOf;
using testsupport::TiffOptions;
using testsupport::withTiffTag;

struct FormatCase {
  std::string name;
  std::string bytes;
  Format format;
};

const FormatCase kFormatCases[] = {
    {"Jpeg", "\xFF\xD8\xFF\xE0rest", Format::JPEG},
    {"Png", std::string("\x89PNG\r\n\x1A\n\0\0", 10), Format::PNG},
    {"Gif87", "GIF87a...", Format::GIF},
    {"Gif89", "GIF89a...", Format::GIF},
    {"Bmp", "BM....", Format::BMP},
    {"TiffLittleEndian", std::string("II*\0\x08\0\0\0", 8), Format::TIFF},
    {"TiffBigEndian", std::string("MM\0*\0\0\0\x08", 8), Format::TIFF},
    {"TiffMixedOrder", std::string("II\0*", 4), Format::Unknown},
    {"TiffSignatureCut", "II*", Format::Unknown},
    {"PngSignatureCut", "\x89PNG\r\n", Format::Unknown},
    {"JpegSignatureCut", "\xFF\xD8", Format::Unknown},
    {"Empty", "", Format::Unknown},
    {"Text", "hello", Format::Unknown},
};

class FormatTest : public testing::TestWithParam<FormatCase> {};

TEST_P(FormatTest, ToldBySignature) {
  EXPECT_EQ(photo::formatOf(GetParam().bytes), GetParam().format);
}

INSTANTIATE_TEST_SUITE_P(Signatures, FormatTest, testing::ValuesIn(kFormatCases), CaseName{});

struct ShrinkCase {
  std::string name;
  std::string picture;
  int width;
  int height;
  std::size_t limit;
};

const ShrinkCase kShrinkCases[] = {
    {"LargeJpeg", testsupport::noisyJPEG(900, 600), 900, 600, 224'000},
    {"PortraitJpeg", testsupport::noisyJPEG(300, 1200), 300, 1200, 100'000},
    {"LargePng", testsupport::noisyPNG(500, 400), 500, 400, 60'000},
    {"PngWithAlpha", testsupport::noisyPNG(400, 400, true), 400, 400, 50'000},
    {"JpegOverTheWorkingSize", testsupport::noisyJPEG(3000, 200, 50), 3000, 200, 60'000},
    {"LargeTiff", tiffOf(noisyIndexed(500, 400)), 500, 400, 60'000},
    {"LargeGif", gifOf(noisyIndexed(500, 400)), 500, 400, 60'000},
    {"LargeBmp", bmpOf(noisyIndexed(500, 400)), 500, 400, 60'000},
    {"SmallLimit", testsupport::noisyJPEG(400, 400), 400, 400, 4'000},
};

class ShrinkTest : public testing::TestWithParam<ShrinkCase> {};

TEST_P(ShrinkTest, FitsTheLimitAsSmallerJpegOfTheSameShape) {
  const ShrinkCase& c = GetParam();
  ASSERT_GT(c.picture.size(), c.limit) << "the picture must start above its limit";
  const auto shrunk = photo::shrinkToJPEG(c.picture, c.limit);
  ASSERT_TRUE(shrunk.has_value());
  EXPECT_LE(shrunk->jpeg.size(), c.limit);
  EXPECT_EQ(photo::formatOf(shrunk->jpeg), Format::JPEG);
  const auto [width, height] = testsupport::jpegSize(shrunk->jpeg);
  EXPECT_EQ(width, shrunk->width);
  EXPECT_EQ(height, shrunk->height);
  EXPECT_LT(width, c.width);
  EXPECT_LT(height, c.height);
  // The aspect ratio survives within rounding.
  EXPECT_NEAR(static_cast<double>(width) / height, static_cast<double>(c.width) / c.height,
              0.05 * c.width / c.height + 2.0 / height);
}

INSTANTIATE_TEST_SUITE_P(Pictures, ShrinkTest, testing::ValuesIn(kShrinkCases), CaseName{});

TEST(ShrinkTest, PngThatFitsAsJpegKeepsItsSize) {
  // A PNG of 300 x 200 random pixels is larger than 100 kB; as JPEG at the
  // same size it is not, so nothing needs scaling.
  const std::string png = testsupport::noisyPNG(300, 200);
  ASSERT_GT(png.size(), 150'000U);
  const auto shrunk = photo::shrinkToJPEG(png, 150'000);
  ASSERT_TRUE(shrunk.has_value());
  EXPECT_EQ(shrunk->width, 300);
  EXPECT_EQ(shrunk->height, 200);
}

TEST(ShrinkTest, TransparencyIsLaidOnWhite) {
  // 64 x 64 pixels, all fully transparent.
  std::vector<unsigned char> pixels(64 * 64 * 4, 0);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = 64;
  image.height = 64;
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  ASSERT_NE(png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr), 0);
  std::string png(size, '\0');
  ASSERT_NE(png_image_write_to_memory(&image, png.data(), &size, 0, pixels.data(), 0, nullptr), 0);
  png.resize(size);
  const auto shrunk = photo::shrinkToJPEG(png, 100'000);
  ASSERT_TRUE(shrunk.has_value());
  const auto pixel = testsupport::jpegPixel(shrunk->jpeg, 32, 32);
  for (const int channel : pixel)
    EXPECT_GE(channel, 250);
}

// ---- Colours and row order of TIFF, GIF and BMP ---------------------------

using testsupport::kBlue;
using testsupport::kGreen;
using testsupport::kRed;
using testsupport::kWhite;
using testsupport::kYellow;

constexpr int kQuadrantWidth = 64;
constexpr int kQuadrantHeight = 48;

struct ColourCase {
  std::string name;
  std::string picture;
  // The colour at the middle of the top-left, top-right, bottom-left and
  // bottom-right quarter.
  std::array<Colour, 4> expected;
};

const testsupport::Indexed kFour = quadrants(kQuadrantWidth, kQuadrantHeight);
const testsupport::Indexed kTwo = quadrants(kQuadrantWidth, kQuadrantHeight, true);
constexpr std::array<Colour, 4> kAsDrawn = {kRed, kGreen, kBlue, kYellow};

const ColourCase kColourCases[] = {
    {"Tiff", tiffOf(kFour), kAsDrawn},
    {"TiffStoredBottomUp", tiffOf(kFour, TiffOptions{.bottomUp = true}), kAsDrawn},
    {"TiffLzw", tiffOf(kFour, TiffOptions{.compression = COMPRESSION_LZW}), kAsDrawn},
    {"TiffAlphaOnWhite",
     tiffOf(kFour, TiffOptions{.clearTopLeft = true}),
     {kWhite, kGreen, kBlue, kYellow}},
    {"Gif", gifOf(kFour), kAsDrawn},
    {"GifInterlaced", gifOf(kFour, GifOptions{.interlaced = true}), kAsDrawn},
    {"GifTransparentOnWhite",
     gifOf(kFour, GifOptions{.transparent = 0}),
     {kWhite, kGreen, kBlue, kYellow}},
    {"GifAnimatedFirstFrame", gifOf(kFour, GifOptions{.secondFrame = true}), kAsDrawn},
    {"Bmp24", bmpOf(kFour), kAsDrawn},
    {"Bmp24TopDown", bmpOf(kFour, BmpOptions{.topDown = true}), kAsDrawn},
    {"Bmp32", bmpOf(kFour, BmpOptions{.bits = 32}), kAsDrawn},
    {"Bmp32AlphaOnWhite",
     bmpOf(kFour, BmpOptions{.bits = 32, .clearTopHalf = true}),
     {kWhite, kWhite, kBlue, kYellow}},
    {"Bmp8", bmpOf(kFour, BmpOptions{.bits = 8}), kAsDrawn},
    {"Bmp4TopDown", bmpOf(kFour, BmpOptions{.bits = 4, .topDown = true}), kAsDrawn},
    {"Bmp1", bmpOf(kTwo, BmpOptions{.bits = 1}), {kRed, kGreen, kRed, kGreen}},
};

class ColourTest : public testing::TestWithParam<ColourCase> {};

TEST_P(ColourTest, ArrivesAsJpegInItsColoursTheRightWayUp) {
  const ColourCase& c = GetParam();
  ASSERT_FALSE(c.picture.empty()) << "the test picture was not made";
  const auto shrunk = photo::shrinkToJPEG(c.picture, 100'000);
  ASSERT_TRUE(shrunk.has_value());
  EXPECT_LE(shrunk->jpeg.size(), 100'000U);
  ASSERT_EQ(testsupport::jpegSize(shrunk->jpeg), std::pair(kQuadrantWidth, kQuadrantHeight));
  const std::array<std::pair<int, int>, 4> middles = {
      std::pair{kQuadrantWidth / 4, kQuadrantHeight / 4},
      {kQuadrantWidth * 3 / 4, kQuadrantHeight / 4},
      {kQuadrantWidth / 4, kQuadrantHeight * 3 / 4},
      {kQuadrantWidth * 3 / 4, kQuadrantHeight * 3 / 4}};
  for (std::size_t q = 0; q < 4; ++q) {
    const auto pixel = testsupport::jpegPixel(shrunk->jpeg, middles[q].first, middles[q].second);
    for (std::size_t channel = 0; channel < 3; ++channel)
      EXPECT_NEAR(pixel[channel], c.expected[q][channel], 16)
          << "quarter " << q << " channel " << channel;
  }
}

INSTANTIATE_TEST_SUITE_P(Pictures, ColourTest, testing::ValuesIn(kColourCases), CaseName{});

// ---- Refusals ---------------------------------------------------------------

// The bytes with the little-endian value written over those at `at`.
std::string patched(std::string bytes, std::size_t at, std::uint32_t value, int width = 4) {
  for (int i = 0; i < width; ++i)
    bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
  return bytes;
}

const std::string kTiff = tiffOf(noisyIndexed(300, 300));
const std::string kTiffLzw =
    tiffOf(noisyIndexed(300, 300), TiffOptions{.compression = COMPRESSION_LZW});
const std::string kGif = gifOf(noisyIndexed(300, 300));
const std::string kBmp = bmpOf(noisyIndexed(300, 300));
const std::string kBmp8 = bmpOf(noisyIndexed(300, 300), BmpOptions{.bits = 8});

struct RefusalCase {
  std::string name;
  std::string picture;
  std::size_t limit;
};

const RefusalCase kRefusalCases[] = {
    {"Gif", "GIF89a" + std::string(300'000, 'x'), 224'000},
    {"Bmp", "BM" + std::string(300'000, 'x'), 224'000},
    {"TiffGarbage", std::string("II*\0", 4) + std::string(300'000, 'x'), 224'000},
    // libtiff writes the pixels first and the directory last.
    {"TiffCutOff", kTiff.substr(0, kTiff.size() / 2), 224'000},
    {"TiffPixelsPastTheEnd", withTiffTag(kTiff, TIFFTAG_STRIPOFFSETS, 0x7FFF'FFF0), 224'000},
    // libtiff mends a short count of plain pixels that are there after all;
    // compressed ones it cannot.
    {"TiffCompressedPixelsCutOff", withTiffTag(kTiffLzw, TIFFTAG_STRIPBYTECOUNTS, 1000), 224'000},
    {"TiffHuge",
     withTiffTag(withTiffTag(kTiff, TIFFTAG_IMAGEWIDTH, 100'000), TIFFTAG_IMAGELENGTH, 100'000),
     224'000},
    {"TiffUnknownCompression", withTiffTag(kTiff, TIFFTAG_COMPRESSION, 60'000), 224'000},
    {"GifCutOff", kGif.substr(0, kGif.size() / 2), 224'000},
    {"GifCutInTheHeader", kGif.substr(0, 10), 224'000},
    // Logical screen 65535 x 65535.
    {"GifHugeScreen", patched(kGif, 6, 0xFFFF'FFFF), 224'000},
    // Screen, no palette, and the trailer.
    {"GifWithoutPicture", std::string("GIF89a\x10\0\x10\0\0\0\0;", 14), 224'000},
    {"BmpCutOff", kBmp.substr(0, kBmp.size() / 2), 224'000},
    {"BmpCutInTheHeader", kBmp.substr(0, 20), 224'000},
    {"BmpCutInThePalette", kBmp8.substr(0, 14 + 40 + 100), 224'000},
    {"BmpPixelsPastTheEnd", patched(kBmp, 10, 0xFFFF'FFF0), 224'000},
    {"BmpHuge", patched(patched(kBmp, 18, 100'000), 22, 100'000), 224'000},
    {"BmpLowestHeight", patched(kBmp, 22, 0x8000'0000), 224'000},
    {"BmpNoWidth", patched(kBmp, 18, 0), 224'000},
    {"BmpRunLength", patched(kBmp8, 30, 1), 224'000},
    {"BmpSixteenBits", patched(kBmp, 28, 16, 2), 224'000},
    {"BmpUnknownHeader", patched(kBmp, 14, 200), 224'000},
    {"DamagedJpeg", "\xFF\xD8\xFF" + std::string(300'000, '\x11'), 224'000},
    {"DamagedPng", std::string("\x89PNG\r\n\x1A\n", 8) + std::string(300'000, '\x11'), 224'000},
    {"CutOffJpeg", testsupport::noisyJPEG(400, 400).substr(0, 600), 224'000},
    {"LimitBelowAnyPicture", testsupport::noisyJPEG(400, 400), 200},
    {"Empty", "", 224'000},
};

class RefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, GivesNothingRatherThanABrokenPictureAndSaysNothing) {
  testing::internal::CaptureStderr();
  const bool shrunk = photo::shrinkToJPEG(GetParam().picture, GetParam().limit).has_value();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(shrunk);
}

INSTANTIATE_TEST_SUITE_P(Pictures, RefusalTest, testing::ValuesIn(kRefusalCases), CaseName{});

}  // namespace
