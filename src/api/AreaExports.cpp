// The exports of Glyphwick.h for areas, object lists, cleaning and
// measurements: each crosses to its library call in gw (see api/Calls.h).
#include "api/Calls.h"

void GW_SetDefaultArea(AREAINFO* area) {
    gw::SetDefaultArea(area);
}

extern "C" {

AREAINFO* GW_InitialiseArea(DVImageProcessor* image, const RECT* rect, const AREAPARAMS* settings) {
    return gw::InitialiseArea(image, rect, settings);
}

void GW_DestroyArea() {
    gw::DestroyArea();
}

uint8_t GW_IsAreaInitialised() {
    return gw::IsAreaInitialised();
}

const char* GW_GetVersion() {
    return gw::GetVersion();
}

void GW_RemoveIgnoredObjects(int32_t writeBack) {
    gw::RemoveIgnoredObjects(writeBack);
}

void GW_CleanObjects(int32_t writeBack) {
    gw::CleanObjects(writeBack);
}

void GW_ProduceObjectList() {
    gw::ProduceObjectList();
}

int32_t GW_GetPixelDistrubution(int32_t* bins) {
    return gw::GetPixelDistrubution(bins);
}

int32_t GW_ComparePixelDistrubution(const int32_t* a, const int32_t* b) {
    return gw::ComparePixelDistrubution(a, b);
}

int32_t GW_GetDocRect(RECT* out) {
    return gw::GetDocRect(out);
}

int32_t GW_GetNumberOfObjects() {
    return gw::GetNumberOfObjects();
}

OBJECTINFO* GW_FindFirstObject() {
    return gw::FindFirstObject();
}

OBJECTINFO* GW_FindNextObject() {
    return gw::FindNextObject();
}

void GW_IgnoreObject() {
    gw::IgnoreObject();
}

void GW_ResetIgnoredObjects() {
    gw::ResetIgnoredObjects();
}

int32_t GW_ObjectListBounds(int32_t* rectangle) {
    return gw::ObjectListBounds(rectangle);
}

void GW_MoveObject(int32_t dx, int32_t dy) {
    gw::MoveObject(dx, dy);
}

}  // extern "C"
