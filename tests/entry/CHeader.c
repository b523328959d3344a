/* Glyphwick.h compiled as C: the layouts a C host sees. */
#include <stddef.h>

#include "Glyphwick.h"

size_t gw_c_layout(int which) {
    switch (which) {
        case 0:
            return sizeof(RECT);
        case 1:
            return sizeof(AREAPARAMS);
        case 2:
            return offsetof(AREAPARAMS, fontName);
        case 3:
            return offsetof(AREAPARAMS, threshold);
        case 4:
            return sizeof(OBJECTINFO);
        case 5:
            return sizeof(CANDIDATEINFO);
        case 6:
            return sizeof(IDENTITYINFO);
        case 7:
            return offsetof(IDENTITYINFO, character);
        default:
            return (size_t)(GW_READ_CHECK_FAILED + 5);
    }
}
