// The exports of Glyphwick.h for pattern files, identification, lines and
// their text: each crosses to its library call in gw (see api/Calls.h).
#include "api/Calls.h"

extern "C" {

int32_t GW_SplitJoinedObjectsInLine(int32_t tag) {
    return gw::SplitJoinedObjectsInLine(tag);
}

void GW_JoinBrokenObjects(int32_t maxGap) {
    gw::JoinBrokenObjects(maxGap);
}

int32_t GW_FilterBestLine(char* text, int32_t textSize) {
    return gw::FilterBestLine(text, textSize);
}

int32_t GW_FilterBestLineWithSpaces(char* text, int32_t textSize) {
    return gw::FilterBestLineWithSpaces(text, textSize);
}

void GW_SetLineTags() {
    gw::SetLineTags();
}

void GW_FilterLineTags(int32_t minCount, int32_t maxCount) {
    gw::FilterLineTags(minCount, maxCount);
}

void GW_IgnoreLineTag(int32_t tag) {
    gw::IgnoreLineTag(tag);
}

int32_t GW_GetPotentialLine(int32_t previousTag) {
    return gw::GetPotentialLine(previousTag);
}

void GW_GetLineIdentity(int32_t tag, char* text) {
    gw::GetLineIdentity(tag, text);
}

int32_t GW_GetLineIdentityWithSpacing(int32_t tag, char* text, int32_t textSize, int32_t spacing) {
    return gw::GetLineIdentityWithSpacing(tag, text, textSize, spacing);
}

int32_t GW_GetLineIdentityWithSpaces(int32_t tag, char* text, int32_t textSize) {
    return gw::GetLineIdentityWithSpaces(tag, text, textSize);
}

int32_t GW_GetLineScore(int32_t tag) {
    return gw::GetLineScore(tag);
}

const char* GW_IdentifyObjects() {
    return gw::IdentifyObjects();
}

IDENTITYINFO* GW_IdentifyObject(int32_t* rect) {
    return gw::IdentifyObject(rect);
}

char GW_GetObjectIdentity(char** cells, int32_t* score, int32_t* tag) {
    return gw::GetObjectIdentity(cells, score, tag);
}

int32_t GW_LoadPatternFile(const char* path) {
    return gw::LoadPatternFile(path);
}

int32_t GW_UnloadAllPatternFiles() {
    return gw::UnloadAllPatternFiles();
}

void GW_GetFontList(char** names, int32_t* count) {
    gw::GetFontList(names, count);
}

}  // extern "C"
