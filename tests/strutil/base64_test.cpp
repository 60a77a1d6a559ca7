// The one Base64 codec: decoding that passes over whatever is not Base64,
// encoding that pads.
#include <gtest/gtest.h>

#include <string>

#include "base64.h"
#include "param_names.h"

namespace {

using testsupport::CaseName;
using testsupport::PrintTo;

struct Base64Case {
  std::string name;
  std::string text;
  std::string bytes;
};

const Base64Case kDecodeCases[] = {
    {"Padded", "QQ==", "A"},
    {"FoldedAsPhonesWriteIt", "\r\n QUJD\r\n\tREVG", "ABCDEF"},
    // "=" is skipped wherever it stands, not read as a zero digit.
    {"PadInsideSkipped", "QQ==QUJD", "A\x04\x14\x24"},
    {"StrayAndHighBytesSkipped", "Q*U\xC3\xA9J!D", "ABC"},
    {"BitsShortOfAByteDropped", "QUJDR", "ABC"},
    {"ZeroBytesKept", "AAAA", std::string(3, '\0')},
};

class Base64CodecTest : public testing::TestWithParam<Base64Case> {};

TEST_P(Base64CodecTest, DecodesWhateverTheFoldsAndPaddingAre) {
  EXPECT_EQ(strutil::decodeBase64(GetParam().text), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Texts, Base64CodecTest, testing::ValuesIn(kDecodeCases), CaseName());

const Base64Case kEncodeCases[] = {
    {"Empty", "", ""},
    {"OneByteTwoPads", "/w==", "\xFF"},
    {"TwoBytesOnePad", "//4=", "\xFF\xFE"},
    {"ThreeBytesNoPad", "//79", "\xFF\xFE\xFD"},
    {"FourBytes", "//79/A==", "\xFF\xFE\xFD\xFC"},
};

class Base64EncodeTest : public testing::TestWithParam<Base64Case> {};

TEST_P(Base64EncodeTest, EncodesWithPadding) {
  std::string text = "PHOTO:";
  strutil::appendBase64(GetParam().bytes, &text);
  EXPECT_EQ(text, "PHOTO:" + GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Bytes, Base64EncodeTest, testing::ValuesIn(kEncodeCases), CaseName());

TEST(Base64EncodeTest, EveryByteValueDecodesBack) {
  std::string bytes;
  for (int i = 0; i < 256; ++i)
    bytes.push_back(static_cast<char>(i));
  std::string text;
  strutil::appendBase64(bytes, &text);
  EXPECT_EQ(strutil::decodeBase64(text), bytes);
}

}  // namespace
