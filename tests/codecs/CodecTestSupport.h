// Helpers of the codec tests: test images, pixel comparison, temporary files
// and coding in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DVImageCodecs.h"
#include "support/TestSupport.h"
#include "DVImageProcessor.h"

namespace codectest {

/// A bitmap deleted at scope end.
using BitmapPtr = std::unique_ptr<dv::Bitmap>;

/// A width x height test image in a pixel format: a pattern of stripes and
/// blocks using many colours (24-bit), a non-grey 256-entry palette (8-bit),
/// or the black and white pair (1-bit). Resolution 200 x 150 dpi.
BitmapPtr MakeImage(uint32_t width, uint32_t height, int32_t format);

/// Number of pixels whose colours differ (sizes must match; else -1).
int64_t DifferentPixels(const dv::Bitmap& a, const dv::Bitmap& b);

/// Pixels of an image as red, green, blue bytes, row by row.
std::vector<uint8_t> Rgb(const dv::Bitmap& bitmap);

using TempDir = gwtest::TempFolder;

/// Encodes a bitmap with a platform encoder into memory.
std::vector<uint8_t> Encode(dv::Bitmap* bitmap, const dv::CLSID& clsid,
                            const dv::EncoderParameters* parameters = nullptr,
                            dv::Status* status = nullptr);

/// Decodes memory; null when the decoder refuses (status says why).
BitmapPtr Decode(const std::vector<uint8_t>& data, dv::Status* status = nullptr);

/// A one-entry parameter block for a long value.
struct OneParameter {
    dv::EncoderParameters block;
    uint32_t value;
    OneParameter(const dv::GUID& id, uint32_t v);
};

}  // namespace codectest
