// "OpenJPEG_32.dll" called directly: the size query and the conversions from
// memory and files against images encoded here with OpenJPEG's own encoder.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cwchar>
#include <random>

#include "PluginTestSupport.h"
#include "support/AllocationProbe.h"

namespace {

using namespace plugintest;

// The six entry points, bound once for the whole suite.
struct J2kPlugin {
    using SizeBuffer = int32_t (*)(const uint8_t*, uint32_t, uint32_t*);
    using ConvertBuffer = int32_t (*)(const uint8_t*, uint32_t, uint8_t*, uint32_t, int32_t);
    using SizeFileA = int32_t (*)(const char*, uint32_t*);
    using SizeFileW = int32_t (*)(const wchar_t*, uint32_t*);
    using ConvertFileA = int32_t (*)(const char*, uint8_t*, uint32_t, int32_t);
    using ConvertFileW = int32_t (*)(const wchar_t*, uint8_t*, uint32_t, int32_t);

    J2kPlugin() {
        handle = dlopen((ProgramDirectory() + "OpenJPEG_32.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        sizeBuffer = SizeBuffer(dlsym(handle, "GetBMPBufferSizeFromJ2KBuffer"));
        convertBuffer = ConvertBuffer(dlsym(handle, "ConvertJ2KBufferToBMPBuffer"));
        sizeFileA = SizeFileA(dlsym(handle, "GetBMPBufferSizeFromJ2KFileA"));
        sizeFileW = SizeFileW(dlsym(handle, "GetBMPBufferSizeFromJ2KFileW"));
        convertFileA = ConvertFileA(dlsym(handle, "ConvertJ2KFileToBMPBufferA"));
        convertFileW = ConvertFileW(dlsym(handle, "ConvertJ2KFileToBMPBufferW"));
    }
    bool Complete() const {
        return sizeBuffer && convertBuffer && sizeFileA && sizeFileW && convertFileA &&
               convertFileW;
    }

    void* handle = nullptr;
    SizeBuffer sizeBuffer = nullptr;
    ConvertBuffer convertBuffer = nullptr;
    SizeFileA sizeFileA = nullptr;
    SizeFileW sizeFileW = nullptr;
    ConvertFileA convertFileA = nullptr;
    ConvertFileW convertFileW = nullptr;
};

const J2kPlugin& Plugin() {
    static const J2kPlugin plugin;
    return plugin;
}

// Converts data in memory: the size query, then a zero-filled buffer of that
// size. Empty when either step fails.
std::vector<uint8_t> ToBmp(const std::vector<uint8_t>& data) {
    uint32_t size = 0;
    if (!Plugin().sizeBuffer(data.data(), uint32_t(data.size()), &size)) return {};
    std::vector<uint8_t> bmp(size, 0);
    if (!Plugin().convertBuffer(data.data(), uint32_t(data.size()), bmp.data(), size, 0)) return {};
    return bmp;
}

// Checks a converted BMP against the image it was encoded from (lossless).
void ExpectSamePixels(const std::vector<uint8_t>& bmpBytes, const gwtest::J2kImage& image) {
    BmpFile bmp;
    ASSERT_TRUE(ParseBmp(bmpBytes.data(), bmpBytes.size(), &bmp));
    const bool grey = image.planes.size() < 3;
    ASSERT_EQ(bmp.width, image.width);
    ASSERT_EQ(bmp.height, image.height);
    ASSERT_EQ(bmp.bitsPerPixel, grey ? 8u : 24u);
    EXPECT_TRUE(bmp.paddingZero);
    if (grey) {
        for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(bmp.palette[i], i * 0x010101u) << i;
    }
    size_t mismatches = 0;
    const uint32_t channels = grey ? 1 : 3;
    for (size_t p = 0; p < size_t(image.width) * image.height; ++p) {
        for (uint32_t c = 0; c < channels; ++c) {
            // BMP pixels are blue, green, red.
            const uint32_t component = grey ? 0 : 2 - c;
            const uint8_t want = To8(image.planes[component][p], image.precision, image.isSigned);
            mismatches += bmp.pixels[p * channels + c] != want;
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

TEST(OpenJpegPlugin, ExportsTheSixFunctionsAndNothingElse) {
    ASSERT_NE(Plugin().handle, nullptr) << dlerror();
    EXPECT_TRUE(Plugin().Complete());
    // Internal helpers and OpenJPEG stay hidden behind the six exports.
    EXPECT_EQ(dlsym(Plugin().handle, "_ZN2gw3j2k10ReadLayoutEPKhmPNS0_9BmpLayoutE"), nullptr);
    EXPECT_EQ(dlsym(Plugin().handle, "ReadFile"), nullptr);
}

TEST(OpenJpegPlugin, GreyAndColourImagesBecomeCompleteBmpFiles) {
    ASSERT_TRUE(Plugin().Complete());
    struct Case {
        uint32_t width, height, components, precision;
        bool isSigned;
        uint32_t bmpSize;  // headers + palette + padded rows
    };
    const Case cases[] = {
        {37, 23, 1, 8, false, 54 + 1024 + 40 * 23},   // odd width: 3 padding bytes
        {29, 17, 3, 8, false, 54 + 88 * 17},          // 87 bytes a row + 1
        {16, 9, 2, 8, false, 54 + 1024 + 16 * 9},     // grey with alpha: grey
        {21, 14, 1, 12, false, 54 + 1024 + 24 * 14},  // 12-bit scaled down
        {19, 12, 1, 8, true, 54 + 1024 + 20 * 12},    // signed samples
        {13, 11, 3, 4, false, 54 + 40 * 11},          // 4-bit scaled up
        {1, 1, 1, 8, false, 54 + 1024 + 4},
    };
    for (const Case& c : cases) {
        for (const bool jp2 : {false, true}) {
            SCOPED_TRACE(::testing::Message()
                         << c.width << "x" << c.height << " x" << c.components << " prec "
                         << c.precision << (c.isSigned ? " signed" : "")
                         << (jp2 ? " JP2" : " J2K"));
            const auto image = MakeImage(c.width, c.height, c.components, c.precision, c.isSigned);
            const auto data = gwtest::EncodeJ2k(image, jp2);
            ASSERT_FALSE(data.empty());
            uint32_t size = 0;
            ASSERT_NE(Plugin().sizeBuffer(data.data(), uint32_t(data.size()), &size), 0);
            EXPECT_EQ(size, c.bmpSize);
            const auto bmp = ToBmp(data);
            ASSERT_EQ(bmp.size(), c.bmpSize);
            ExpectSamePixels(bmp, image);
            // A larger buffer takes the same file and keeps its tail.
            std::vector<uint8_t> larger(size + 7, 0xAB);
            ASSERT_NE(Plugin().convertBuffer(data.data(), uint32_t(data.size()), larger.data(),
                                             size + 7, 0),
                      0);
            EXPECT_TRUE(std::equal(bmp.begin(), bmp.end(), larger.begin()));
            EXPECT_EQ(larger.back(), 0xAB);
        }
    }
}

TEST(OpenJpegPlugin, SubsampledComponentsAreRepeated) {
    ASSERT_TRUE(Plugin().Complete());
    auto image = MakeImage(15, 9, 1);
    const auto chroma = MakeImage(8, 5, 2);  // 15 x 9 sampled every second pixel
    image.planes.push_back(chroma.planes[0]);
    image.planes.push_back(chroma.planes[1]);
    image.subsampling = 2;
    const auto bmpBytes = ToBmp(gwtest::EncodeJ2k(image, false));
    BmpFile bmp;
    ASSERT_TRUE(ParseBmp(bmpBytes.data(), bmpBytes.size(), &bmp));
    ASSERT_EQ(bmp.width, 15u);
    ASSERT_EQ(bmp.height, 9u);
    ASSERT_EQ(bmp.bitsPerPixel, 24u);
    size_t mismatches = 0;
    for (uint32_t y = 0; y < 9; ++y) {
        for (uint32_t x = 0; x < 15; ++x) {
            const uint8_t* pixel = &bmp.pixels[(y * 15 + x) * 3];
            const size_t coarse = (y / 2) * 8 + x / 2;
            mismatches += pixel[2] != image.planes[0][y * 15 + x];
            mismatches += pixel[1] != image.planes[1][coarse];
            mismatches += pixel[0] != image.planes[2][coarse];
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

TEST(OpenJpegPlugin, FilesByNarrowAndWidePath) {
    ASSERT_TRUE(Plugin().Complete());
    TempFolder folder;
    const auto image = MakeImage(31, 18, 3);
    const auto data = gwtest::EncodeJ2k(image, true);
    const auto path = folder.Path() / "page.jp2";
    ASSERT_TRUE(WriteFile(path, data));
    const auto expected = ToBmp(data);
    ASSERT_FALSE(expected.empty());

    uint32_t sizeA = 0, sizeW = 0;
    ASSERT_NE(Plugin().sizeFileA(path.c_str(), &sizeA), 0);
    ASSERT_NE(Plugin().sizeFileW(path.wstring().c_str(), &sizeW), 0);
    EXPECT_EQ(sizeA, expected.size());
    EXPECT_EQ(sizeW, expected.size());
    std::vector<uint8_t> bmpA(sizeA), bmpW(sizeW);
    ASSERT_NE(Plugin().convertFileA(path.c_str(), bmpA.data(), sizeA, 0), 0);
    ASSERT_NE(Plugin().convertFileW(path.wstring().c_str(), bmpW.data(), sizeW, 0), 0);
    EXPECT_EQ(bmpA, expected);
    EXPECT_EQ(bmpW, expected);

    // Missing, empty and unusable paths fail without touching the size.
    uint32_t untouched = 77;
    const auto missing = folder.Path() / "missing.jp2";
    EXPECT_EQ(Plugin().sizeFileA(missing.c_str(), &untouched), 0);
    EXPECT_EQ(Plugin().sizeFileW(missing.wstring().c_str(), &untouched), 0);
    EXPECT_EQ(Plugin().sizeFileA("", &untouched), 0);
    EXPECT_EQ(Plugin().sizeFileA(nullptr, &untouched), 0);
    EXPECT_EQ(Plugin().sizeFileW(nullptr, &untouched), 0);
    EXPECT_EQ(Plugin().sizeFileA(folder.Path().c_str(), &untouched), 0);  // a folder
    EXPECT_EQ(untouched, 77u);
    EXPECT_EQ(Plugin().sizeFileA(path.c_str(), nullptr), 0);
    EXPECT_EQ(Plugin().convertFileA(missing.c_str(), bmpA.data(), sizeA, 0), 0);
    EXPECT_EQ(Plugin().convertFileW(missing.wstring().c_str(), bmpA.data(), sizeA, 0), 0);
    EXPECT_EQ(Plugin().convertFileA(path.c_str(), nullptr, sizeA, 0), 0);
    EXPECT_EQ(Plugin().convertFileW(nullptr, bmpA.data(), sizeA, 0), 0);
}

TEST(OpenJpegPlugin, RefusesBadArgumentsShortBuffersAndForeignData) {
    ASSERT_TRUE(Plugin().Complete());
    const auto data = gwtest::EncodeJ2k(MakeImage(20, 10, 1), false);
    const uint32_t n = uint32_t(data.size());
    uint32_t size = 0;
    ASSERT_NE(Plugin().sizeBuffer(data.data(), n, &size), 0);
    std::vector<uint8_t> bmp(size);
    EXPECT_EQ(Plugin().sizeBuffer(nullptr, n, &size), 0);
    EXPECT_EQ(Plugin().sizeBuffer(data.data(), n, nullptr), 0);
    EXPECT_EQ(Plugin().convertBuffer(nullptr, n, bmp.data(), size, 0), 0);
    EXPECT_EQ(Plugin().convertBuffer(data.data(), n, nullptr, size, 0), 0);
    // One byte short: refused, never written past.
    std::vector<uint8_t> shortBuffer(size - 1);
    EXPECT_EQ(Plugin().convertBuffer(data.data(), n, shortBuffer.data(), size - 1, 0), 0);
    EXPECT_EQ(Plugin().convertBuffer(data.data(), n, bmp.data(), 0, 0), 0);

    // Other formats, and signatures alone.
    const uint8_t png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0};
    const uint8_t codestream[] = {0xFF, 0x4F, 0xFF, 0x51, 0x00};
    const uint8_t jp2[] = {0, 0, 0, 0x0C, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
    for (const auto& [bytes, length] : {std::pair<const uint8_t*, uint32_t>{png, sizeof png},
                                        {codestream, sizeof codestream},
                                        {jp2, sizeof jp2},
                                        {data.data(), 0},
                                        {data.data(), 3}}) {
        size = 99;
        EXPECT_EQ(Plugin().sizeBuffer(bytes, length, &size), 0);
        EXPECT_EQ(size, 99u);
        EXPECT_EQ(Plugin().convertBuffer(bytes, length, bmp.data(), uint32_t(bmp.size()), 0), 0);
    }
}

// Truncations and random corruptions of both kinds of data: every call returns
// (ASan would catch a read past the exact-size copy), nothing is printed, and
// a conversion that succeeds yields a complete file of the size the query gave.
TEST(OpenJpegPlugin, SurvivesTruncatedAndCorruptedDataSilently) {
    ASSERT_TRUE(Plugin().Complete());
    std::mt19937 random(12345);
    size_t refusals = 0, conversions = 0;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    for (const bool jp2 : {false, true}) {
        const auto image = MakeImage(24, 20, jp2 ? 3 : 1);
        const auto data = gwtest::EncodeJ2k(image, jp2, jp2 ? 0.0f : 8.0f);
        ASSERT_FALSE(data.empty());
        std::vector<std::vector<uint8_t>> variants;
        for (size_t cut = 1; cut < data.size(); cut += 1 + cut / 4)
            variants.emplace_back(data.begin(), data.begin() + cut);
        for (int i = 0; i < 150; ++i) {
            auto bytes = data;
            const int flips = 1 + int(random() % 4);
            for (int f = 0; f < flips; ++f) bytes[random() % bytes.size()] = uint8_t(random());
            variants.push_back(std::move(bytes));
        }
        for (const auto& bytes : variants) {
            // Heap copies of exactly the data's length.
            const std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
            std::copy(bytes.begin(), bytes.end(), exact.get());
            uint32_t size = 0;
            if (!Plugin().sizeBuffer(exact.get(), uint32_t(bytes.size()), &size)) {
                ++refusals;
                continue;
            }
            ASSERT_GT(size, 54u);
            // A corrupted size field can describe a large image that decodes
            // (to blank) correctly but slowly under the sanitizers: its size
            // was checked, its decoding is left out.
            if (size > (256u << 10)) continue;
            std::vector<uint8_t> bmp(size);
            if (Plugin().convertBuffer(exact.get(), uint32_t(bytes.size()), bmp.data(), size, 0)) {
                ++conversions;
                BmpFile parsed;
                EXPECT_TRUE(ParseBmp(bmp.data(), bmp.size(), &parsed));
            } else {
                ++refusals;
            }
        }
    }
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    // Both outcomes occur, so both paths were exercised.
    EXPECT_GT(refusals, 0u);
    EXPECT_GT(conversions, 0u);
}

// A codestream whose SIZ segment claims 50000 tiles in a few hundred bytes
// (each tile needs a tile-part of at least 14 bytes) is refused before
// OpenJPEG sets the tiles up, in the size query and the conversion alike.
TEST(OpenJpegPlugin, RefusesSizesTheDataCannotHoldOrTooManySamples) {
    ASSERT_TRUE(Plugin().Complete());
    // Both buffer functions refuse the codestream before any large allocation.
    const auto refused = [](const std::vector<uint8_t>& data) {
        gwtest::AllocationProbe probe;
        uint32_t size = 0;
        std::vector<uint8_t> bmp(1 << 16);
        EXPECT_EQ(Plugin().sizeBuffer(data.data(), uint32_t(data.size()), &size), 0);
        EXPECT_EQ(Plugin().convertBuffer(data.data(), uint32_t(data.size()), bmp.data(),
                                         uint32_t(bmp.size()), 0),
                  0);
        if (probe.Available()) {
            EXPECT_LT(probe.LargestBytes(), size_t{1} << 20);
        }
    };
    // SIZ: Xsiz and Ysiz at 8 and 12, the tile size XTsiz, YTsiz at 24 and 28.
    const auto put32 = [](std::vector<uint8_t>& data, size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) data[at + i] = uint8_t(value >> (24 - 8 * i));
    };
    auto data = gwtest::EncodeJ2k(MakeImage(20, 10, 1), false);
    ASSERT_GT(data.size(), 32u);
    ASSERT_EQ(data[27], 20u);  // one 20 x 10 tile
    ASSERT_EQ(data[31], 10u);
    // 50,000 tiles declared, one present.
    put32(data, 12, 10 * 50000);
    refused(data);
    // One tile of three components: 10 x 10,000,000 pixels are within the
    // pixel limit, but their 3 x 10^8 samples are not.
    auto colour = gwtest::EncodeJ2k(MakeImage(20, 10, 3), false);
    put32(colour, 8, 10000000);
    put32(colour, 24, 10000000);
    refused(colour);
}

}  // namespace
