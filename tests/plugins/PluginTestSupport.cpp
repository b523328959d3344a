// Helpers of the plug-in tests.
#include "PluginTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>

#include "platform/Modules.h"

namespace plugintest {

std::string ProgramDirectory() {
    const std::string program = dv::HostProgramPath();
    return program.substr(0, program.rfind('/') + 1);
}

gwtest::J2kImage MakeImage(uint32_t width, uint32_t height, uint32_t components, uint32_t precision,
                           bool isSigned) {
    gwtest::J2kImage image;
    image.width = width;
    image.height = height;
    image.precision = precision;
    image.isSigned = isSigned;
    const int64_t top = (int64_t{1} << precision) - 1;
    const int64_t offset = isSigned ? int64_t{1} << (precision - 1) : 0;
    uint32_t state = 0x9E3779B9u;
    for (uint32_t c = 0; c < components; ++c) {
        std::vector<int32_t> plane(size_t(width) * height);
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                state = state * 1664525u + 1013904223u;
                const int64_t ramp = (int64_t(x) * (c + 1) * top / width +
                                      int64_t(y) * (3 - c % 3) * top / (2 * height)) %
                                     (top + 1);
                const int64_t noise = int64_t(state >> 28) * top / 64;
                plane[size_t(y) * width + x] = int32_t(std::min(ramp + noise, top) - offset);
            }
        }
        image.planes.push_back(std::move(plane));
    }
    return image;
}

uint8_t To8(int32_t sample, uint32_t precision, bool isSigned) {
    int64_t v = int64_t(sample) + (isSigned ? int64_t{1} << (precision - 1) : 0);
    if (precision > 8) v >>= precision - 8;
    if (precision < 8) v = v * 255 / ((int64_t{1} << precision) - 1);
    return uint8_t(std::clamp<int64_t>(v, 0, 255));
}

namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint32_t Le16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

}  // namespace

bool ParseBmp(const uint8_t* data, size_t size, BmpFile* bmp) {
    if (size < 54 || data[0] != 'B' || data[1] != 'M') {
        ADD_FAILURE() << "no BMP signature";
        return false;
    }
    const uint8_t* info = data + 14;
    bmp->width = Le32(info + 4);
    bmp->height = Le32(info + 8);
    bmp->bitsPerPixel = Le16(info + 14);
    const uint32_t offset = Le32(data + 10);
    const uint32_t bytesPerPixel = bmp->bitsPerPixel / 8;
    const uint32_t stride = (bmp->width * bytesPerPixel + 3) & ~3u;
    const uint32_t paletteEntries = bmp->bitsPerPixel == 8 ? 256 : 0;
    EXPECT_EQ(Le32(data + 2), size);
    EXPECT_EQ(Le32(info), 40u);
    EXPECT_EQ(int32_t(bmp->height) > 0, true) << "rows must be stored bottom-up";
    EXPECT_EQ(Le16(info + 12), 1u);
    EXPECT_EQ(Le32(info + 16), 0u) << "compression";
    EXPECT_TRUE(bmp->bitsPerPixel == 8 || bmp->bitsPerPixel == 24);
    EXPECT_EQ(Le32(info + 32), paletteEntries);
    EXPECT_EQ(offset, 54 + 4 * paletteEntries);
    if (::testing::Test::HasFailure() || uint64_t(offset) + uint64_t(stride) * bmp->height != size)
        return false;
    bmp->palette.clear();
    for (uint32_t i = 0; i < paletteEntries; ++i) bmp->palette.push_back(Le32(data + 54 + 4 * i));
    bmp->pixels.assign(size_t(bmp->width) * bytesPerPixel * bmp->height, 0);
    bmp->paddingZero = true;
    const size_t rowBytes = size_t(bmp->width) * bytesPerPixel;
    for (uint32_t y = 0; y < bmp->height; ++y) {
        const uint8_t* row = data + offset + size_t(bmp->height - 1 - y) * stride;
        std::copy(row, row + rowBytes, bmp->pixels.begin() + y * rowBytes);
        for (size_t i = rowBytes; i < stride; ++i) bmp->paddingZero &= row[i] == 0;
    }
    return true;
}

bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::path(::testing::TempDir()) /
            ("gw_plugins_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace plugintest
