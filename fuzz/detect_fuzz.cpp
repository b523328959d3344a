// Format detection and LoadFromMemory as a host calls them: the fuzzed bytes
// are recognised, decoded by the decoder their first bytes select (the JPEG
// 2000 and WSQ plug-ins are absent here, so those fail cleanly), and a decoded
// image is read back row by row.
#include <cstdint>
#include <vector>

#include "DVImageProcessor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    const auto length = static_cast<uint32_t>(size);
    DetectImageFormat(data, length);

    DVImageProcessor image;
    if (image.LoadFromMemory(data, length, nullptr) != 0 || image.GetWidth() == 0) return 0;
    // Every row of the result must be readable: GetBytes copies it out.
    std::vector<uint8_t> row(image.GetStride());
    for (uint32_t y = 0; y < image.GetHeight(); ++y) {
        image.GetBytes(y, 0, row.data(), static_cast<uint32_t>(row.size()));
    }
    return 0;
}
