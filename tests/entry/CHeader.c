/* Glyphwick.h compiled as C: the layouts a C host sees. */
#include <stddef.h>

#include "Glyphwick.h"

const size_t gw_c_layouts[] = {sizeof(RECT),
                               sizeof(AREAPARAMS),
                               offsetof(AREAPARAMS, fontName),
                               offsetof(AREAPARAMS, threshold),
                               sizeof(OBJECTINFO),
                               sizeof(CANDIDATEINFO),
                               sizeof(IDENTITYINFO),
                               offsetof(IDENTITYINFO, character),
                               (size_t)(GW_READ_CHECK_FAILED + 5)};
