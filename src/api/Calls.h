// The library calls behind the exports of Glyphwick.h, one for each export
// (GW_X calls gw::X). They keep the exports' behaviour; the exports only
// cross the C boundary.
#pragma once

#include <cstdint>

#include "Glyphwick.h"

namespace gw {

// Areas, object lists, cleaning and measurements (src/area/).
void SetDefaultArea(AREAINFO* area);
AREAINFO* InitialiseArea(DVImageProcessor* image, const RECT* rect, const AREAPARAMS* settings);
void DestroyArea();
uint8_t IsAreaInitialised();
const char* GetVersion();
void RemoveIgnoredObjects(int32_t writeBack);
void CleanObjects(int32_t writeBack);
void ProduceObjectList();
int32_t GetPixelDistrubution(int32_t* bins);
int32_t ComparePixelDistrubution(const int32_t* a, const int32_t* b);
int32_t GetDocRect(RECT* out);
int32_t GetNumberOfObjects();
OBJECTINFO* FindFirstObject();
OBJECTINFO* FindNextObject();
void IgnoreObject();
void ResetIgnoredObjects();
int32_t ObjectListBounds(int32_t* rectangle);
void MoveObject(int32_t dx, int32_t dy);

// Pattern files, identification, lines and their text (src/recognition/).
int32_t SplitJoinedObjectsInLine(int32_t tag);
void JoinBrokenObjects(int32_t maxGap);
int32_t FilterBestLine(char* text, int32_t textSize);
int32_t FilterBestLineWithSpaces(char* text, int32_t textSize);
void SetLineTags();
void FilterLineTags(int32_t minCount, int32_t maxCount);
void IgnoreLineTag(int32_t tag);
int32_t GetPotentialLine(int32_t previousTag);
void GetLineIdentity(int32_t tag, char* text);
int32_t GetLineIdentityWithSpacing(int32_t tag, char* text, int32_t textSize, int32_t spacing);
int32_t GetLineIdentityWithSpaces(int32_t tag, char* text, int32_t textSize);
int32_t GetLineScore(int32_t tag);
const char* IdentifyObjects();
IDENTITYINFO* IdentifyObject(int32_t* rect);
char GetObjectIdentity(char** cells, int32_t* score, int32_t* tag);
int32_t LoadPatternFile(const char* path);
int32_t UnloadAllPatternFiles();
void GetFontList(char** names, int32_t* count);

// Barcode readers (src/barcode/).
int32_t ReadCode39Text(const RECT* rect, char* text);
int32_t ReadCode128Text(const RECT* rect, char* text);

}  // namespace gw
