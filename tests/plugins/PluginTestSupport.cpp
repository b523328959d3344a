// Helpers of the plug-in tests.
#include "PluginTestSupport.h"

#include <algorithm>

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

}  // namespace plugintest
