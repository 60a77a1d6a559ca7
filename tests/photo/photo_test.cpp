// Photos made to fit a byte limit: the format told by its signature, JPEG and
// PNG scaled down and written as JPEG within the limit, everything else
// refused rather than passed on.
#include <gtest/gtest.h>

#include <string>

#include "param_names.h"
#include "photo_shrink.h"
#include "test_images.h"

namespace {

using photo::Format;
using testsupport::CaseName;
using testsupport::PrintTo;

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

struct RefusalCase {
  std::string name;
  std::string picture;
  std::size_t limit;
};

const RefusalCase kRefusalCases[] = {
    {"Gif", "GIF89a" + std::string(300'000, 'x'), 224'000},
    {"Bmp", "BM" + std::string(300'000, 'x'), 224'000},
    {"DamagedJpeg", "\xFF\xD8\xFF" + std::string(300'000, '\x11'), 224'000},
    {"DamagedPng", std::string("\x89PNG\r\n\x1A\n", 8) + std::string(300'000, '\x11'), 224'000},
    {"CutOffJpeg", testsupport::noisyJPEG(400, 400).substr(0, 600), 224'000},
    {"LimitBelowAnyPicture", testsupport::noisyJPEG(400, 400), 200},
    {"Empty", "", 224'000},
};

class RefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, GivesNothingRatherThanABrokenPicture) {
  EXPECT_FALSE(photo::shrinkToJPEG(GetParam().picture, GetParam().limit).has_value());
}

INSTANTIATE_TEST_SUITE_P(Pictures, RefusalTest, testing::ValuesIn(kRefusalCases), CaseName{});

}  // namespace
