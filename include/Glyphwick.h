// Glyphwick: the exported interface.
//
// A host hands the library an image object and a rectangle of it (the current
// area), asks it to find the ink objects there, cleans the object list and
// measures the ink. Every export except GW_InitialiseArea, GW_SetDefaultArea,
// GW_IsAreaInitialised and GW_GetVersion works on the one process-wide current
// area; with no current area such an export does nothing and returns 0 or null.
// Nothing is thread-safe: call the library from one thread at a time.
//
// Coordinates are image pixels; in rectangles `right` and `bottom` are
// inclusive. An allocation failure leaves an export as std::bad_alloc.
#ifndef GLYPHWICK_GLYPHWICK_H
#define GLYPHWICK_GLYPHWICK_H

#include <cstddef>
#include <cstdint>

#include "DVImageCodecs.h"

class DVImageProcessor;

/// A rectangle in image pixels; right and bottom are inclusive.
struct RECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
static_assert(sizeof(RECT) == 16);

/// The settings of an area, read once by GW_InitialiseArea and not kept.
struct AREAPARAMS {
    int32_t minObjectWidth;   ///< narrower objects are ignored by GW_CleanObjects
    int32_t minObjectHeight;  ///< lower objects are ignored by GW_CleanObjects
    int32_t maxObjectWidth;   ///< wider objects are ignored; widest group of fragments
    int32_t maxObjectHeight;  ///< higher objects are ignored; highest group of fragments
    int32_t fragMinWidth;     ///< smallest width of a fragment that may be grouped
    int32_t fragMinHeight;    ///< smallest height of a fragment
    int32_t fragMaxWidth;     ///< largest width of a fragment (grouping runs when this
    int32_t fragMaxHeight;    ///< or the largest fragment height is non-zero)
    int32_t fontIndex;        ///< font to identify with when fontName is null
    const char* fontName;     ///< font to identify with (any case), or null
    int32_t maxHoleSize;      ///< > 0: fill enclosed holes of at most this many pixels
    uint32_t options;         ///< bit 0: trim object rectangles before the redraw
    uint32_t threshold;       ///< 8-bit grey below the low byte of this is ink; 0 means 128
};
static_assert(offsetof(AREAPARAMS, minObjectWidth) == 0);
static_assert(offsetof(AREAPARAMS, maxObjectWidth) == 8);
static_assert(offsetof(AREAPARAMS, fragMinWidth) == 16);
static_assert(offsetof(AREAPARAMS, fragMaxHeight) == 28);
static_assert(offsetof(AREAPARAMS, fontIndex) == 32);
static_assert(offsetof(AREAPARAMS, fontName) == 40);
static_assert(offsetof(AREAPARAMS, maxHoleSize) == 48);
static_assert(offsetof(AREAPARAMS, options) == 52);
static_assert(offsetof(AREAPARAMS, threshold) == 56);
static_assert(sizeof(AREAPARAMS) == 64);

/// The current area. Opaque to the host.
struct AREAINFO;

/// An object as the host sees it: the exports hand out the address of an
/// object's rectangle, followed by the pixel its fill starts from. seedRow is
/// counted from the area's top, seedColumn from the area's left.
struct OBJECTINFO {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
    int32_t seedRow;
    int32_t seedColumn;
};
static_assert(sizeof(OBJECTINFO) == 24);

/// Makes area the current area; nothing else changes (the area-initialised
/// flag and the pixel accessors stay as the last GW_InitialiseArea left them).
/// Null leaves no current area while keeping the area that was current alive.
/// A pointer that is not a live area from GW_InitialiseArea is ignored.
/// This export alone has C++ linkage.
GW_API void GW_SetDefaultArea(AREAINFO* area);

extern "C" {

/// Destroys the current area when the flag is set, then creates a new area of
/// image over rect (right and bottom inclusive) with the given settings and
/// makes it current. Returns null, leaving no current area and the flag 0,
/// when an argument is null, the image has no bitmap or is not 1- or 8-bit,
/// or rect has left or top below 0, right below left or bottom below top.
/// Parts of rect outside the image read as paper. The image must stay alive
/// while the area exists. Throws std::bad_alloc when the area's row buffers
/// would exceed 512 MiB.
GW_API AREAINFO* GW_InitialiseArea(DVImageProcessor* image, const RECT* rect,
                                   const AREAPARAMS* settings);

/// Destroys the current area (rows, objects, font name; not the image),
/// clears the flag and leaves no current area.
GW_API void GW_DestroyArea();

/// 1 after GW_InitialiseArea, 0 before it and after GW_DestroyArea.
GW_API uint8_t GW_IsAreaInitialised();

/// The library's version text "2.04.005" (always the same pointer).
GW_API const char* GW_GetVersion();

/// Reads the image rows under the area, appends one object per 8-connected
/// group of ink at least 3 pixels wide or high, in scan order (by column, then
/// row), then joins fragments when fragMaxWidth or fragMaxHeight is non-zero.
/// Afterwards the area's working rows hold no ink until a clean redraws it.
GW_API void GW_ProduceObjectList();

/// Number of objects in the list, ignored ones included.
GW_API int32_t GW_GetNumberOfObjects();

/// First object that is not ignored, which becomes the current object; null
/// when there is none.
GW_API OBJECTINFO* GW_FindFirstObject();

/// Next object after the current one that is not ignored, which becomes
/// current; null at the end or without a current object.
GW_API OBJECTINFO* GW_FindNextObject();

/// Marks the current object ignored; the current object stays. Nothing
/// happens without a current object.
GW_API void GW_IgnoreObject();

/// Clears the ignored mark of every object.
GW_API void GW_ResetIgnoredObjects();

/// Writes the union rectangle (left, top, right, bottom) of the objects that
/// are not ignored to rectangle[0..3] and returns 1; returns 0 with the output
/// untouched when there is none or rectangle is null. Leaves no current object.
GW_API int32_t GW_ObjectListBounds(int32_t* rectangle);

/// Moves the current object's pixels in the image, and its rectangle and seed,
/// by (-dx, -dy): the old rectangle's bytes become 0, then the new rectangle
/// receives a copy of the old one. The area's row buffers are not updated.
GW_API void GW_MoveObject(int32_t dx, int32_t dy);

/// Ignores every object narrower than minObjectWidth, wider than
/// maxObjectWidth, lower than minObjectHeight or higher than maxObjectHeight,
/// then runs GW_RemoveIgnoredObjects(writeBack).
GW_API void GW_CleanObjects(int32_t writeBack);

/// Rebuilds the area's working rows from the objects that are not ignored:
/// reloads the image rows, trims rectangles when bit 0 of options is set,
/// repaints each object from its seed (or its pieces' seeds), fills holes of
/// at most maxHoleSize pixels when that is above 0, and, when writeBack is
/// non-zero, writes the rows back into the image. Leaves no current object.
GW_API void GW_RemoveIgnoredObjects(int32_t writeBack);

/// Counts ink over the area in 20 column bands (bins[0..19]) and 20 row bands
/// (bins[20..39]) of width / 20 and height / 20 pixels; the remainder columns
/// and rows count in the last band. Returns 1; returns 0 with 40 zero bins for
/// an area under 20 pixels wide or high, and 0 with nothing written when bins
/// is null or there is no area.
GW_API int32_t GW_GetPixelDistrubution(int32_t* bins);

/// Similarity in per cent of two distributions of GW_GetPixelDistrubution,
/// from bins 1 to 18 and 21 to 38: 100 - 100 * sum |a - b| / sum max(a, b),
/// truncated; 100 when the maxima sum to 0; 0 when either array is null.
GW_API int32_t GW_ComparePixelDistrubution(const int32_t* a, const int32_t* b);

/// Finds the document inside a dark border: left and right become the first
/// and last image columns of the area, and top and bottom the first and last
/// rows counted from the area's top, that hold at least 11 pixels that are not
/// ink. A field for which none qualifies is not written (right and bottom
/// never take the area's first column or row). Returns 1; 0 when out is null
/// or there is no area.
GW_API int32_t GW_GetDocRect(RECT* out);

}  // extern "C"

#endif  // GLYPHWICK_GLYPHWICK_H
