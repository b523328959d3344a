// Format recognition from memory, files and streams, and the decoder factory.
#include <gtest/gtest.h>

#include "codecs/CodecTestSupport.h"

using namespace codectest;

namespace {

std::vector<uint8_t> Padded(std::vector<uint8_t> head, size_t length = 12) {
    head.resize(std::max(head.size(), length), 0x55);
    return head;
}

ImageFormat Detect(const std::vector<uint8_t>& data) {
    return DetectImageFormat(data.data(), uint32_t(data.size()));
}

}  // namespace

TEST(Detect, SignaturesFromMemory) {
    // BMP, JFIF, little-endian TIFF and the JPEG 2000 codestream are below,
    // at their shortest.
    EXPECT_EQ(Detect(Padded({'G', 'I', 'F', '8', '9', 'a'})), ImageFormatGif);
    EXPECT_EQ(Detect(Padded({0x4D, 0x4D, 0x00, 0x2A})), ImageFormatTiff);
    EXPECT_EQ(Detect(Padded({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})), ImageFormatPng);
    EXPECT_EQ(Detect(Padded({0xFF, 0xA0})), ImageFormatWsq);
    EXPECT_EQ(Detect(Padded({0x00, 0x01})), ImageFormatUnknown);
    EXPECT_EQ(DetectImageFormat(nullptr, 12), ImageFormatUnknown);

    // Exif JPEG (APP1 first) and a JPEG without the JFIF identifier are not recognised.
    EXPECT_EQ(Detect(Padded({0xFF, 0xD8, 0xFF, 0xE1, 0, 16, 'E', 'x', 'i', 'f', 0})),
              ImageFormatUnknown);
    EXPECT_EQ(Detect(Padded({0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'X', 'X', 0})),
              ImageFormatUnknown);
    EXPECT_EQ(Detect(Padded({0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 1})),
              ImageFormatUnknown);
    // FF D8 FF E0 with any two bytes then "JFIF" 0: exactly 11 bytes give JPEG, 10 do not.
    const std::vector<uint8_t> eleven = {0xFF, 0xD8, 0xFF, 0xE0, 0xAB, 0xCD, 'J', 'F', 'I', 'F', 0};
    EXPECT_EQ(DetectImageFormat(eleven.data(), 11), ImageFormatJpeg);
    EXPECT_EQ(DetectImageFormat(eleven.data(), 10), ImageFormatUnknown);
    // Minimum lengths: a codestream needs 5 bytes, a JP2 box all 12, "II*" 3.
    const uint8_t codestream[] = {0xFF, 0x4F, 0xFF, 0x51, 0x00};
    EXPECT_EQ(DetectImageFormat(codestream, 5), ImageFormatJpeg2000);
    EXPECT_EQ(DetectImageFormat(codestream, 4), ImageFormatUnknown);
    const uint8_t box[] = {0, 0, 0, 0x0C, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
    EXPECT_EQ(DetectImageFormat(box, 12), ImageFormatJpeg2000);
    EXPECT_EQ(DetectImageFormat(box, 11), ImageFormatUnknown);
    const uint8_t ii[] = {0x49, 0x49, 0x2A};
    EXPECT_EQ(DetectImageFormat(ii, 3), ImageFormatTiff);
    EXPECT_EQ(DetectImageFormat(ii, 2), ImageFormatUnknown);
    // "BM" is tested first: a file starting "BM" is BMP whatever follows.
    EXPECT_EQ(Detect(Padded({0x42, 0x4D, 0x89, 'P', 'N', 'G'})), ImageFormatBmp);
}
