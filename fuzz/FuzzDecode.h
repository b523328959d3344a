// Shared by the decoder fuzz targets: decodes the input with one format's
// decoder, as the codec layer calls it, and reads every row of a result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "DVImageCodecs.h"

namespace gwfuzz {

using Decoder = dv::Status (*)(const uint8_t* data, size_t size, dv::Bitmap** out);

/// Decodes data with decode and returns its status. A bitmap must come with Ok
/// and only with Ok, and every byte of its rows must be readable (ASan checks
/// the reads).
inline dv::Status Decode(Decoder decode, const uint8_t* data, size_t size) {
    dv::Bitmap* raw = nullptr;
    const dv::Status status = decode(data, size, &raw);
    std::unique_ptr<dv::Bitmap> bitmap(raw);
    if ((status == dv::Ok) != (bitmap != nullptr)) __builtin_trap();
    if (!bitmap) return status;
    const size_t bytes = size_t{bitmap->GetStride()} * bitmap->GetHeight();
    volatile uint8_t sink = 0;
    for (size_t i = 0; i < bytes; i += 64) sink = sink ^ bitmap->Pixels()[i];
    if (bytes > 0) sink = sink ^ bitmap->Pixels()[bytes - 1];
    return status;
}

}  // namespace gwfuzz
