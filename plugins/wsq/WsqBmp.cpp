// 8-bit grey BMP files: BITMAPFILEHEADER, BITMAPINFOHEADER, a 256-entry grey
// ramp palette, then the rows bottom-up, each padded with zeros to 4 bytes.
#include <cstring>

#include "WsqInternal.h"

namespace gw::wsq {
namespace {

void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

// Pixels per metre of a resolution in pixels per inch; 0 when unknown.
uint32_t PixelsPerMetre(int32_t ppi) {
    if (ppi < 1 || ppi > 100000) return 0;
    return static_cast<uint32_t>((int64_t{ppi} * 10000 + 127) / 254);
}

}  // namespace

size_t BmpFileSize(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0 || int64_t{width} * height > int64_t(dv::kMaxImagePixels))
        return 0;
    return kBmpPixelOffset + BmpStride(width) * static_cast<size_t>(height);
}

void WriteBmpHeader(const FrameInfo& info, uint8_t* out) {
    const size_t imageBytes = BmpStride(info.width) * static_cast<size_t>(info.height);
    const uint32_t ppm = PixelsPerMetre(info.ppi);
    std::memset(out, 0, kBmpPixelOffset);
    out[0] = 'B';
    out[1] = 'M';
    Put32(out + 2, static_cast<uint32_t>(kBmpPixelOffset + imageBytes));
    Put32(out + 10, static_cast<uint32_t>(kBmpPixelOffset));
    uint8_t* h = out + 14;
    Put32(h, 40);
    Put32(h + 4, static_cast<uint32_t>(info.width));
    Put32(h + 8, static_cast<uint32_t>(info.height));  // positive: bottom-up rows
    Put16(h + 12, 1);                                  // planes
    Put16(h + 14, 8);                                  // bits per pixel
    Put32(h + 20, static_cast<uint32_t>(imageBytes));  // compression 0 (none) at h + 16
    Put32(h + 24, ppm);
    Put32(h + 28, ppm);
    Put32(h + 32, 256);  // colours used
    uint8_t* palette = out + 54;
    for (uint32_t i = 0; i < 256; ++i) {
        palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = static_cast<uint8_t>(i);
    }
}

Status WriteBmp(const uint8_t* pixels, const FrameInfo& info, uint8_t* out, size_t outSize) {
    if (pixels == nullptr || out == nullptr) return Status::NullArgument;
    const size_t need = BmpFileSize(info.width, info.height);
    if (need == 0) return Status::BadFrameSize;
    if (outSize < need) return Status::BufferTooSmall;
    WriteBmpHeader(info, out);
    const size_t w = static_cast<size_t>(info.width);
    const size_t stride = BmpStride(info.width);
    for (int32_t y = 0; y < info.height; ++y) {
        uint8_t* row = out + kBmpPixelOffset + static_cast<size_t>(info.height - 1 - y) * stride;
        std::memcpy(row, pixels + static_cast<size_t>(y) * w, w);
        std::memset(row + w, 0, stride - w);
    }
    return Status::Ok;
}

}  // namespace gw::wsq
