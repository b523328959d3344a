// Helpers of the plug-in tests.
#include "PluginTestSupport.h"

#include <dlfcn.h>

#include <algorithm>

#include "platform/Modules.h"

namespace plugintest {

std::string ProgramDirectory() {
    const std::string program = dv::HostProgramPath();
    return program.substr(0, program.rfind('/') + 1);
}

bool IsLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

gwtest::J2kImage MakeImage(uint32_t width, uint32_t height, uint32_t components) {
    gwtest::J2kImage image;
    image.width = width;
    image.height = height;
    const int64_t top = 255;
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
                plane[size_t(y) * width + x] = int32_t(std::min(ramp + noise, top));
            }
        }
        image.planes.push_back(std::move(plane));
    }
    return image;
}

}  // namespace plugintest
