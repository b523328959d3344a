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
// inclusive. Names, values and layouts here are kept for the hosts that link
// the library (docs/compatibility.md lists them). An allocation failure
// leaves an export as std::bad_alloc.
//
// The header compiles as C11 as well: the image object is then an opaque
// struct, and GW_SetDefaultArea (C++ linkage, kept for the hosts that link
// it so; see docs/compatibility.md) is left out.
#ifndef GLYPHWICK_GLYPHWICK_H
#define GLYPHWICK_GLYPHWICK_H

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>  // free, for FreeIdentityInfo

#include "GlyphwickExport.h"

#ifdef __cplusplus
class DVImageProcessor;
#define GW_STATIC_ASSERT(condition) static_assert(condition, #condition)
#else
typedef struct DVImageProcessor DVImageProcessor;
#define GW_STATIC_ASSERT(condition) _Static_assert(condition, #condition)
#endif

/// A rectangle in image pixels; right and bottom are inclusive.
typedef struct RECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
} RECT;
GW_STATIC_ASSERT(sizeof(RECT) == 16);

/// The settings of an area, read once by GW_InitialiseArea and not kept.
typedef struct AREAPARAMS {
    int32_t minObjectWidth;   ///< narrower objects are ignored by GW_CleanObjects
    int32_t minObjectHeight;  ///< lower objects are ignored by GW_CleanObjects
    int32_t maxObjectWidth;   ///< wider objects are ignored; widest group of fragments
    int32_t maxObjectHeight;  ///< higher objects are ignored; highest group of fragments
    int32_t fragMinWidth;     ///< smallest width of a fragment that may be grouped
    int32_t fragMinHeight;    ///< smallest height of a fragment
    int32_t fragMaxWidth;     ///< largest width of a fragment
    int32_t fragMaxHeight;    ///< largest height; grouping runs when either maximum is non-zero
    int32_t fontIndex;        ///< font to identify with when fontName is null
    const char* fontName;     ///< font to identify with (any case), or null
    int32_t maxHoleSize;      ///< > 0: fill enclosed holes of at most this many pixels
    uint32_t options;         ///< bit 0: trim object rectangles before the redraw
    uint32_t threshold;       ///< 8-bit grey below the low byte of this is ink; 0 means 128
} AREAPARAMS;
GW_STATIC_ASSERT(offsetof(AREAPARAMS, minObjectWidth) == 0);
GW_STATIC_ASSERT(offsetof(AREAPARAMS, maxObjectWidth) == 8);
GW_STATIC_ASSERT(offsetof(AREAPARAMS, fragMinWidth) == 16);
GW_STATIC_ASSERT(offsetof(AREAPARAMS, fragMaxHeight) == 28);
GW_STATIC_ASSERT(offsetof(AREAPARAMS, fontIndex) == 32);
GW_STATIC_ASSERT(offsetof(AREAPARAMS, fontName) == 40);
GW_STATIC_ASSERT(offsetof(AREAPARAMS, maxHoleSize) == 48);
GW_STATIC_ASSERT(offsetof(AREAPARAMS, options) == 52);
GW_STATIC_ASSERT(offsetof(AREAPARAMS, threshold) == 56);
GW_STATIC_ASSERT(sizeof(AREAPARAMS) == 64);

/// The current area. Opaque to the host.
typedef struct AREAINFO AREAINFO;

/// An object as the host sees it: the exports hand out the address of an
/// object's rectangle, followed by the pixel its fill starts from. seedRow is
/// counted from the area's top, seedColumn from the area's left.
typedef struct OBJECTINFO {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
    int32_t seedRow;
    int32_t seedColumn;
} OBJECTINFO;
GW_STATIC_ASSERT(sizeof(OBJECTINFO) == 24);

/// Makes area the current area; nothing else changes (the area-initialised
/// flag and the pixel accessors stay as the last GW_InitialiseArea left them).
/// Null leaves no current area while keeping the area that was current alive.
/// A pointer that is not a live area from GW_InitialiseArea is ignored.
/// This export alone has C++ linkage.
#ifdef __cplusplus
GW_API void GW_SetDefaultArea(AREAINFO* area);

extern "C" {
#endif

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

#ifdef __cplusplus
}  // extern "C"
#endif

// ---------------------------------------------------------------------------
// Recognition: pattern files, identification, lines, line text, best line,
// split and join.
//
// Fonts come from pattern files into one process-wide pattern store, which
// outlives areas; when libglyphwick.so is loaded it loads the pattern file
// beside it (its own path with the file name cut at ".so" and ".PAT"
// appended), and at unload it empties the store. Every other export below
// works on the current area; without one it does nothing and returns 0,
// null or an empty text.
// ---------------------------------------------------------------------------

/// One try of GW_IdentifyObject: the box's cell string and the best pattern
/// that admitted it.
typedef struct CANDIDATEINFO {
    char* cells;      ///< gridWidth x gridHeight + 1 bytes; empty when no pattern was accepted
    void* reserved1;  ///< 0
    void* reserved2;  ///< 0
    char character;   ///< the best pattern's character, 0 when none
    int32_t score;    ///< its score, -1 when none
} CANDIDATEINFO;

/// The result of GW_IdentifyObject. The record, its candidate array and the
/// candidates' cell buffers are allocated with malloc and belong to the
/// caller, who releases them with free (FreeIdentityInfo does all of it).
typedef struct IDENTITYINFO {
    int32_t count;  ///< 5
    CANDIDATEINFO*
        candidates;      ///< the unchanged box, then top + 1, bottom - 1, left + 1, right - 1
    int32_t gridWidth;   ///< the font's grid columns
    int32_t gridHeight;  ///< the font's grid rows
    int32_t reserved;    ///< 0
    char character;      ///< best character, "?" when the best score is below 78
    int32_t score;       ///< best score of the five, -1 when none found a pattern
} IDENTITYINFO;

/// Releases a record of GW_IdentifyObject with everything it holds (not an
/// export: compiled into the caller). Null does nothing.
static inline void FreeIdentityInfo(IDENTITYINFO* info) {
    if (info == NULL) return;
    if (info->candidates != NULL) {
        for (int32_t i = 0; i < info->count; ++i) free(info->candidates[i].cells);
        free(info->candidates);
    }
    free(info);
}

#ifdef __cplusplus
extern "C" {
#endif

/// Loads one pattern file into the pattern store, adding to what is there.
/// The file is read as tokens separated by white space: a font name opens a
/// font, "MATRIX_SIZE=<w>x<h>" sets the grid (5 x 5 at the start of every
/// file; ignored without a lower-case x, with a size below 1 or with more
/// than 4096 cells), a token starting with "##" is skipped, and a
/// one-character token in an open font starts a pattern: its character, the
/// lowest and highest width/height ratio ("0.45"; kept to 4 and 6
/// characters) and one row token per grid row (rows of the wrong length are
/// dropped). Returns 1 when the whole file was read; 0 when path is null, the
/// file cannot be opened or read, a font would get a 109th pattern, a 21st
/// font name opens (that font stays, empty), or the file ends inside a
/// pattern (that pattern is not added). What was read before a stop stays.
GW_API int32_t GW_LoadPatternFile(const char* path);

/// Empties the pattern store; font indexes start again at 0. Returns 1.
GW_API int32_t GW_UnloadAllPatternFiles();

/// With names null, stores the number of loaded fonts in *count. Otherwise
/// reads *count as the capacity of names and stores there the names of the
/// first fonts in load order (owned by the store, valid until it is
/// emptied); *count is unchanged. Nothing happens when count is null.
GW_API void GW_GetFontList(char** names, int32_t* count);

/// Identifies every object that is not ignored with the area's font (by
/// fontName ignoring case, else by fontIndex): each gets a cell string of
/// the font's grid, the best score of its box and of the box with each edge
/// moved one pixel inwards, and the best pattern's character, or "?" below a
/// score of 78. Returns the font's name, or null when no font matches.
/// Leaves no current object. Reads the area's working rows as they stand, so
/// produce and clean the object list first.
GW_API const char* GW_IdentifyObjects();

/// Identifies the box rect[0..3] (left, top, right, bottom, inclusive) as
/// GW_IdentifyObjects would, and returns a new record with the best result
/// of each of the five tries (see IDENTITYINFO); null when rect is null or no
/// font matches. rect is not changed; no object is changed.
GW_API IDENTITYINFO* GW_IdentifyObject(int32_t* rect);

/// The current object's identity: stores its cell string (owned by the
/// object, null when never identified), score and line tag through the
/// pointers that are not null, and returns its character ("?" when never
/// identified). Without a current object (or area) it stores a null cell
/// string, score 0 and tag 0 and returns "?".
GW_API char GW_GetObjectIdentity(char** cells, int32_t* score, int32_t* tag);

/// Groups the objects that are not ignored into lines: clears every tag,
/// then each untagged object starts a line that grows rightwards, one object
/// at a time, with the first object in list order that lies strictly right
/// of the line's last object and overlaps its middle row (or whose middle
/// row lies strictly inside it). Rebuilds the count of objects per tag.
/// Leaves no current object.
GW_API void GW_SetLineTags();

/// Ignores the objects of every line with fewer than minCount or more than
/// maxCount objects and sets that line's count to 0.
GW_API void GW_FilterLineTags(int32_t minCount, int32_t maxCount);

/// Ignores the objects of one line and sets its count to 0; a tag outside 1
/// to the number of tags does nothing.
GW_API void GW_IgnoreLineTag(int32_t tag);

/// The smallest tag above previousTag whose line still has objects, or 0.
/// A negative previousTag counts as 0.
GW_API int32_t GW_GetPotentialLine(int32_t previousTag);

/// Writes the characters of the line's objects that are not ignored, in
/// list order, and a NUL. text must hold the line's object count + 1 bytes;
/// null does nothing.
GW_API void GW_GetLineIdentity(int32_t tag, char* text);

/// The line's text with blanks: each gap between neighbouring objects whose
/// pitch (left edge to left edge) is k steps of spacing, k = pitch / spacing
/// + 0.5 truncated, gets k - 1 blanks, each also inserted into the list as a
/// space object ("^", score 0, the line's tag). spacing 0 uses the line's
/// median pitch. Writes at most textSize - 1 characters and a NUL; a line of
/// fewer than 4 objects with spacing 0 gives the empty text. Returns the
/// line's median pitch (0 for fewer than 2 objects, or fewer than 4 with
/// spacing 0). text must hold the line's object count + 1 bytes as well as
/// textSize; with textSize 1 the text is empty and with textSize 0 or less
/// (or text null) nothing is written and no space object is made.
GW_API int32_t GW_GetLineIdentityWithSpacing(int32_t tag, char* text, int32_t textSize,
                                             int32_t spacing);

/// GW_GetLineIdentityWithSpacing with spacing 0.
GW_API int32_t GW_GetLineIdentityWithSpaces(int32_t tag, char* text, int32_t textSize);

/// Mean score, rounded half away from zero, of the line's objects whose
/// score is not 0 (tag 0: of every object that is not ignored); 0 when there
/// is none.
GW_API int32_t GW_GetLineScore(int32_t tag);

/// Chooses the line with the most objects whose character is not "?" (ties:
/// the lower tag), ignores the objects of every other line and writes the
/// chosen line's characters (at most textSize - 2) and a NUL. The walk stops
/// when the text is full, leaving the later objects as they were. Returns the
/// chosen tag, or 0 (empty text) when no line has a recognised character.
/// With textSize 0 or less, or text null, returns 0 and changes nothing.
GW_API int32_t GW_FilterBestLine(char* text, int32_t textSize);

/// GW_FilterBestLine, then GW_GetLineIdentityWithSpaces on the chosen line;
/// returns that median pitch (0 and the empty text when no line was chosen).
GW_API int32_t GW_FilterBestLineWithSpaces(char* text, int32_t textSize);

/// Cuts the line's over-wide objects (wider than 1.75 times the line's
/// median width, or than maxObjectWidth) into pieces at columns with little
/// ink, after reloading the area's working rows from the image. A cut object
/// is ignored and its pieces (character "?", score 0, the line's tag) follow
/// it in the list. Returns 1; nothing is split for a tag without objects or
/// when maxObjectWidth is below 1. Returns 0 without a current area.
GW_API int32_t GW_SplitJoinedObjectsInLine(int32_t tag);

/// Reloads the area's working rows from the image, fills every horizontal
/// run of at most maxGap - 2 blank pixels between two ink pixels of the same
/// row (the area's first column never anchors a run), and writes the rows
/// back into the image. The object list is not changed.
GW_API void GW_JoinBrokenObjects(int32_t maxGap);

#ifdef __cplusplus
}  // extern "C"
#endif

// ---------------------------------------------------------------------------
// Barcodes
//
// Both readers reload the current area's working rows from the image and
// cross rect, intersected with the area, with 40 horizontal scan lines spaced
// (bottom - top) / 41 rows apart; the lines that agree on their number of bar
// and space widths are merged width by width. Rectangles are in image pixels,
// right and bottom inclusive.

/// Results of GW_ReadCode39 and GW_ReadCode128 (int32_t values that never
/// change).
enum GW_ReadResult {
    GW_READ_OK = 0,               ///< read (Code 128: and checked)
    GW_READ_NO_SYMBOL = -1,       ///< too few widths (Code 39), no start symbol (Code 128)
    GW_READ_BAD_ARGUMENT = -2,    ///< no current area or a null argument
    GW_READ_UNKNOWN_SYMBOL = -3,  ///< a character or symbol matched no pattern
    GW_READ_CHECK_FAILED = -4,    ///< the Code 128 check failed
};

#ifdef __cplusplus
extern "C" {
#endif

/// Reads a Code 39 symbol left to right across rect and writes its characters
/// (start and stop "*" left out; "?" for a character not found) to text, which
/// needs (widths + 1) / 10 + 2 bytes: rect's width / 10 + 3 always suffice.
/// Returns 0 when every character was found, -3 when any gave "?", -1 when no
/// scan line held 11 or more widths (text "?"), -2 without a current area or
/// with a null argument (text untouched).
GW_API int32_t GW_ReadCode39(const RECT* rect, char* text);

/// Reads a Code 128 symbol across rect in either direction. Writes to text one
/// digit per merged width as scanned (its modules, 1 to 4, "?" when far from
/// every module width), a space, then every symbol value after the start up
/// to the check, in decimal ("00" to "09", "10" to "105"; "XX" for none), which
/// needs widths + 2 + 3 * widths / 6 bytes: 2 * rect's width + 3 always
/// suffice. Before decoding, the scan line count is presented as a message
/// captioned "Bar Count" (nothing is shown on Linux). Returns 0 when read and
/// checked, -1 without a start symbol (text: digits and the space), -3 when a
/// symbol matched no pattern, -4 when the check failed, -2 without a current
/// area or with a null argument (text untouched).
GW_API int32_t GW_ReadCode128(const RECT* rect, char* text);

#ifdef __cplusplus
}  // extern "C"
#endif

#undef GW_STATIC_ASSERT

#endif  // GLYPHWICK_GLYPHWICK_H
