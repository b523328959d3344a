// Every export called as a careless host might: with no current area, with no
// current object, and with null pointer arguments. Each must return its
// nothing-value and leave what it was given untouched.
#include <gtest/gtest.h>

#include <cstring>

#include "DVImageProcessor.h"
#include "Glyphwick.h"

namespace {

constexpr int32_t kUntouched = 0x5A5A5A5A;

// The results every area-bound export gives when it has nothing to work on;
// called with no area and again with an empty area.
void ExpectNothingFromAreaExports(bool hasArea) {
    int32_t bins[40];
    std::fill(std::begin(bins), std::end(bins), kUntouched);
    RECT rect = {kUntouched, kUntouched, kUntouched, kUntouched};
    int32_t box[4] = {0, 0, 3, 3};
    char text[16];
    std::memset(text, 'x', sizeof(text));

    GW_ProduceObjectList();
    GW_CleanObjects(1);
    GW_RemoveIgnoredObjects(1);
    EXPECT_EQ(GW_GetNumberOfObjects(), 0);
    EXPECT_EQ(GW_FindFirstObject(), nullptr);
    EXPECT_EQ(GW_FindNextObject(), nullptr);
    GW_IgnoreObject();
    GW_ResetIgnoredObjects();
    GW_MoveObject(3, -3);
    EXPECT_EQ(GW_ObjectListBounds(box), 0);
    EXPECT_EQ(box[2], 3);
    // An area under 20 pixels gives 0 with zero bins; no area writes nothing.
    EXPECT_EQ(GW_GetPixelDistrubution(bins), 0);
    EXPECT_EQ(bins[0], hasArea ? 0 : kUntouched);
    EXPECT_EQ(GW_GetDocRect(&rect), hasArea ? 1 : 0);
    EXPECT_EQ(rect.left, kUntouched);  // 10 columns: none holds 11 paper pixels

    EXPECT_EQ(GW_IdentifyObjects(), nullptr);  // no font is loaded
    EXPECT_EQ(GW_IdentifyObject(box), nullptr);
    char* cells = text;
    int32_t score = kUntouched;
    int32_t tag = kUntouched;
    EXPECT_EQ(GW_GetObjectIdentity(&cells, &score, &tag), '?');
    EXPECT_EQ(cells, nullptr);
    EXPECT_EQ(score, 0);
    EXPECT_EQ(tag, 0);
    GW_SetLineTags();
    GW_FilterLineTags(1, 2);
    GW_IgnoreLineTag(1);
    EXPECT_EQ(GW_GetPotentialLine(0), 0);
    GW_GetLineIdentity(1, text);
    EXPECT_EQ(text[0], hasArea ? '\0' : 'x');
    EXPECT_EQ(GW_GetLineIdentityWithSpaces(1, text, sizeof(text)), 0);
    EXPECT_EQ(GW_GetLineIdentityWithSpacing(1, text, sizeof(text), 5), 0);
    EXPECT_EQ(GW_GetLineScore(0), 0);
    EXPECT_EQ(GW_FilterBestLine(text, sizeof(text)), 0);
    EXPECT_EQ(GW_FilterBestLineWithSpaces(text, sizeof(text)), 0);
    EXPECT_EQ(GW_SplitJoinedObjectsInLine(1), hasArea ? 1 : 0);
    GW_JoinBrokenObjects(4);
    const RECT code = {0, 0, 9, 9};
    std::memset(text, 'x', sizeof(text));
    EXPECT_EQ(GW_ReadCode39(&code, text), hasArea ? GW_READ_NO_SYMBOL : GW_READ_BAD_ARGUMENT);
    EXPECT_EQ(GW_ReadCode128(&code, text), hasArea ? GW_READ_NO_SYMBOL : GW_READ_BAD_ARGUMENT);
    EXPECT_EQ(text[0] == 'x', !hasArea);
}

TEST(ExportGuards, NoAreaNoObjectAndNullArguments) {
    GW_UnloadAllPatternFiles();
    GW_DestroyArea();
    ExpectNothingFromAreaExports(false);

    DVImageProcessor image;
    const RECT rect = {0, 0, 9, 9};
    const AREAPARAMS settings = {2, 2, 80, 80, 0, 0, 0, 0, 0, nullptr, 0, 0, 0};
    EXPECT_EQ(GW_InitialiseArea(nullptr, &rect, &settings), nullptr);
    EXPECT_EQ(GW_InitialiseArea(&image, &rect, &settings), nullptr);  // no bitmap
    ASSERT_EQ(image.Create(10, 10, dv::PixelFormat8bppIndexed), 0u);
    EXPECT_EQ(GW_InitialiseArea(&image, nullptr, &settings), nullptr);
    EXPECT_EQ(GW_InitialiseArea(&image, &rect, nullptr), nullptr);
    EXPECT_EQ(GW_IsAreaInitialised(), 0);

    // An empty area, then every pointer argument null.
    image.Clear();
    image.Invert();  // white paper
    ASSERT_NE(GW_InitialiseArea(&image, &rect, &settings), nullptr);
    ExpectNothingFromAreaExports(true);
    EXPECT_EQ(GW_ObjectListBounds(nullptr), 0);
    EXPECT_EQ(GW_GetPixelDistrubution(nullptr), 0);
    EXPECT_EQ(GW_GetDocRect(nullptr), 0);
    EXPECT_EQ(GW_IdentifyObject(nullptr), nullptr);
    EXPECT_EQ(GW_GetObjectIdentity(nullptr, nullptr, nullptr), '?');
    GW_GetLineIdentity(1, nullptr);
    EXPECT_EQ(GW_GetLineIdentityWithSpaces(1, nullptr, 8), 0);
    EXPECT_EQ(GW_FilterBestLine(nullptr, 8), 0);
    EXPECT_EQ(GW_FilterBestLineWithSpaces(nullptr, 8), 0);
    char text[8] = "kept";
    EXPECT_EQ(GW_ReadCode39(nullptr, text), GW_READ_BAD_ARGUMENT);
    EXPECT_EQ(GW_ReadCode128(nullptr, text), GW_READ_BAD_ARGUMENT);
    EXPECT_STREQ(text, "kept");
    EXPECT_EQ(GW_ReadCode39(&rect, nullptr), GW_READ_BAD_ARGUMENT);
    EXPECT_EQ(GW_ReadCode128(&rect, nullptr), GW_READ_BAD_ARGUMENT);
    GW_DestroyArea();

    const int32_t distribution[40] = {};
    EXPECT_EQ(GW_ComparePixelDistrubution(nullptr, distribution), 0);
    EXPECT_EQ(GW_ComparePixelDistrubution(distribution, nullptr), 0);
    EXPECT_EQ(GW_LoadPatternFile(nullptr), 0);
    GW_GetFontList(nullptr, nullptr);
    char* names[1] = {text};
    GW_GetFontList(names, nullptr);
    EXPECT_EQ(names[0], text);
    GW_SetDefaultArea(nullptr);
    EXPECT_EQ(GW_GetNumberOfObjects(), 0);
}

}  // namespace
