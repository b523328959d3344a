// Loading any image file a user has: every supported format by its real
// signature (JPEG of any marker layout: JFIF, Exif, Adobe, none), the pages
// of multi-page TIFF files and the Exif orientation of camera pictures, with
// a status and a reason in words for every failure.
#ifndef GLYPHWICK_GLYPHWICKLOAD_H
#define GLYPHWICK_GLYPHWICKLOAD_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "GlyphwickExport.h"

class DVImageProcessor;

namespace gw {

/// How to load.
struct LoadOptions {
    bool applyExifOrientation = true;  ///< turn the pixels as the Exif orientation tag says
    uint32_t page = 1;                 ///< page of a multi-page TIFF file, from 1
    /// Load at 1/scale of the full size, each side rounded up: 1 (full size),
    /// 2, 4 or 8. JPEG pictures are decoded at that size by the codec's own
    /// DCT scaling (a smooth reduction), in a third to a half of the time of
    /// a full load: every coded coefficient is still read, only the inverse
    /// transforms and the pixels written are fewer. Other formats are
    /// decoded in full and every scale-th pixel of every scale-th row is
    /// kept (a PNG keeps only those as it is decoded, in nearly the time of
    /// a full load). The resolution is divided by scale, so the page keeps
    /// its size in inches. For readers that look at fewer pixels first, as
    /// the zone finder does.
    uint32_t scale = 1;
};

/// Status values of LoadInfo::status.
enum LoadStatus : int {
    kLoaded = 0,
    kLoadNoSuchFile = 1,     ///< the path names no file
    kLoadUnreadable = 2,     ///< the file exists but cannot be read (a folder, no permission)
    kLoadUnknownFormat = 3,  ///< the data is of no supported image format
    kLoadDamaged = 4,        ///< the data is of a supported format but cannot be decoded
    kLoadTooLarge = 5,       ///< more pixels than the library takes (dv::kMaxImagePixels)
    kLoadNoPlugin = 6,       ///< the JPEG 2000 or WSQ decoder plug-in cannot be loaded
    kLoadNoSuchPage = 7,     ///< the page asked for is not in the file
    kLoadBadArgument = 8,    ///< no data, page 0, or a scale other than 1, 2, 4 or 8
};

/// What a load found.
struct LoadInfo {
    int status = kLoaded;     ///< a LoadStatus, 0 when the image was loaded
    std::string reason;       ///< what went wrong, in words; empty on success
    std::string format;       ///< "BMP", "JPEG", "GIF", "TIFF", "PNG", "JPEG 2000", "WSQ" or ""
    int exifOrientation = 0;  ///< the file's Exif orientation tag 1 to 8, 0 when it has none
    uint32_t pageCount = 0;   ///< pages of the file (1 for single-image formats)
    /// A fault the load worked around, in words; empty when there was none.
    /// A JPEG file cut short (or missing its end marker) loads what its data
    /// holds, the rest grey as libjpeg fills it, with a warning saying so.
    std::string warning;
};

/// Loads the image file at path (bytes as the file system takes them, so any
/// UTF-8 name works whatever the locale) into image. The format is taken
/// from the data, never from the name. JPEG and PNG pictures are turned as
/// their Exif orientation tag says (values 2 to 8; the tag then reads 1)
/// unless options.applyExifOrientation is false. A JPEG file whose data ends
/// early loads with a warning (LoadInfo::warning), as image viewers show
/// it; DVImageProcessor::LoadFromFile still refuses one. On failure image is
/// left empty or as it was, and the status and reason say why. Takes no
/// lock: any number of threads may load at once (each into its own image).
GW_API LoadInfo LoadImageFile(const std::string& path, DVImageProcessor& image,
                              const LoadOptions& options = {});

/// As LoadImageFile, from size bytes of a complete file held in memory
/// (standard input, a network buffer).
GW_API LoadInfo LoadImageMemory(const uint8_t* data, size_t size, DVImageProcessor& image,
                                const LoadOptions& options = {});

/// The file type DVImageProcessor::SaveToFile takes for a path's extension,
/// case ignored: 1 ".bmp", 2 ".jpg" or ".jpeg", 3 ".gif", 4 ".tif" or
/// ".tiff", 5 ".png"; 0 for any other name.
GW_API uint32_t SaveTypeOfPath(const std::string& path);

}  // namespace gw

#endif  // GLYPHWICK_GLYPHWICKLOAD_H
