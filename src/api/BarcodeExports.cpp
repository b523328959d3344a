// The exports of Glyphwick.h for the barcode readers: each crosses to its
// library call in gw (see api/Calls.h).
#include "api/Calls.h"

extern "C" {

int32_t GW_ReadCode39(const RECT* rect, char* text) {
    return gw::ReadCode39Text(rect, text);
}

int32_t GW_ReadCode128(const RECT* rect, char* text) {
    return gw::ReadCode128Text(rect, text);
}

}  // extern "C"
