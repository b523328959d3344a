// The BMP decoder called directly on the fuzzed bytes.
#include "FuzzDecode.h"
#include "codecs/CodecSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gwfuzz::Decode(gw::codec::DecodeBmp, data, size);
    return 0;
}
