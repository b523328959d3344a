// Loading and saving images through the library's image object, with every
// failure turned into a one-line reason.
#pragma once

#include <memory>
#include <string>

#include "DVImageProcessor.h"
#include "GlyphwickLoad.h"

namespace gwtool {

/// A loaded image and what the loader found.
struct Loaded {
    std::unique_ptr<DVImageProcessor> image;
    gw::LoadInfo info;
};

/// Loads the image file at path ("-": standard input, read once and kept)
/// with the library's loader. Throws InputError naming the file with the
/// loader's reason when it cannot be loaded.
Loaded LoadImage(const std::string& path, const gw::LoadOptions& options = {});

/// Options of the encoders.
struct SaveOptions {
    int quality = -1;         ///< JPEG quality 0-100, -1 for the encoder's default
    std::string compression;  ///< TIFF: "lzw", "ccitt3", "ccitt4", "rle", "none" or empty
};

/// Saves image to path in the format its extension names; the file is
/// written by its bytes, so any UTF-8 name works. Throws InputError naming
/// the file when the extension names no format, the options do not fit the
/// format or the image, or the file cannot be written.
void SaveImage(DVImageProcessor& image, const std::string& path, const SaveOptions& options = {});

/// True when an 8-bit image's palette is the grey ramp (index = level) or a
/// 1-bit image's is white then black (bit 1 ink): the readers take such
/// pixels as they are.
bool HasPlainPalette(const DVImageProcessor& image);

/// An 8-bit grey-ramp copy of image with every pixel's grey level through its
/// palette (24-bit: weights 0.3, 0.59, 0.11), resolution kept.
std::unique_ptr<DVImageProcessor> GreyCopy(const DVImageProcessor& image);

/// Makes the image readable: 24-bit colour and palettes that are not plain
/// become 8-bit grey by their colours, never by palette index.
void MakeReadable(std::unique_ptr<DVImageProcessor>& image, const std::string& path);

/// The platform name of a pixel-format code, e.g. "8bppIndexed".
const char* PixelFormatName(int format);

}  // namespace gwtool
