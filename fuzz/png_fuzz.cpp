// The PNG decoder called directly on the fuzzed bytes, as the codec layer
// calls it and with the loader's choice of inflating a plain picture's image
// data at once: both must decode the same bytes alike, status and pixels.
#include <memory>

#include "FuzzDecode.h"
#include "codecs/CodecSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const dv::Status plain = gwfuzz::Decode(gw::codec::DecodePng, data, size);
    dv::Bitmap* raw = nullptr;
    gw::codec::PngLoad load;
    load.inflateAtOnce = true;
    const dv::Status fast = gw::codec::DecodePng(data, size, &raw, load);
    std::unique_ptr<dv::Bitmap> bitmap(raw);
    if ((fast == dv::Ok) != (plain == dv::Ok) || (fast == dv::Ok) != (bitmap != nullptr))
        __builtin_trap();
    if (!bitmap) return 0;
    dv::Bitmap* again = nullptr;
    gw::codec::DecodePng(data, size, &again);
    std::unique_ptr<dv::Bitmap> other(again);
    if (!other || other->GetStride() != bitmap->GetStride() ||
        other->GetHeight() != bitmap->GetHeight() ||
        std::memcmp(other->Pixels(), bitmap->Pixels(),
                    size_t{bitmap->GetStride()} * bitmap->GetHeight()) != 0)
        __builtin_trap();
    return 0;
}
