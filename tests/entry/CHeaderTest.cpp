// A C host's view of Glyphwick.h must be the C++ one, field for field.
#include <gtest/gtest.h>

#include <cstddef>

#include "Glyphwick.h"

extern "C" const size_t gw_c_layouts[9];

TEST(CHeader, LayoutsMatchCxx) {
    const size_t cxx[] = {sizeof(RECT),
                          sizeof(AREAPARAMS),
                          offsetof(AREAPARAMS, fontName),
                          offsetof(AREAPARAMS, threshold),
                          sizeof(OBJECTINFO),
                          sizeof(CANDIDATEINFO),
                          sizeof(IDENTITYINFO),
                          offsetof(IDENTITYINFO, character)};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(gw_c_layouts[i], cxx[i]) << i;
    EXPECT_EQ(gw_c_layouts[8], 1u);  // the reader results as C sees them
}
