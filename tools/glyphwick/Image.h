// Loading and saving images through the library's image object, with every
// failure turned into a one-line reason.
#pragma once

#include <memory>
#include <string>

#include "DVImageProcessor.h"

namespace gwtool {

/// Loads the image file at path. Throws InputError naming the file when it is
/// missing, unreadable, of an unrecognised format or cannot be decoded.
std::unique_ptr<DVImageProcessor> LoadImage(const std::string& path);

/// The file type code of the saving operations for a file name's extension
/// (.bmp 1, .jpg/.jpeg 2, .gif 3, .tif/.tiff 4, .png 5), or 0.
unsigned FileTypeOf(const std::string& path);

/// Options of the encoders.
struct SaveOptions {
    int quality = -1;         ///< JPEG quality 0-100, -1 for the encoder's default
    std::string compression;  ///< TIFF: "lzw", "ccitt3", "ccitt4", "rle", "none" or empty
};

/// Saves image to path in the format its extension names. Throws InputError
/// naming the file when the extension names no format or saving fails.
void SaveImage(DVImageProcessor& image, const std::string& path, const SaveOptions& options = {});

/// Turns a 24-bit image into 8-bit grey (the reading needs 1 or 8 bits).
void MakeReadable(DVImageProcessor& image, const std::string& path);

/// The platform name of a pixel-format code, e.g. "8bppIndexed".
const char* PixelFormatName(int format);

}  // namespace gwtool
