// Helpers shared by the format codecs: an output byte buffer that never throws
// from inside a C library's callback, bitmap creation with a status, palette
// handling, the encoder settings and the per-format entry points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "DVImageCodecs.h"

namespace gw::codec {

using dv::Status;

/// A growable byte buffer for encoders. Append reports an allocation failure
/// as false instead of throwing, so it can be called from a C library's
/// callback; the caller turns the failure into std::bad_alloc afterwards.
class ByteBuffer {
  public:
    ByteBuffer() = default;
    ~ByteBuffer() { std::free(data_); }
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;

    bool Append(const void* bytes, size_t count);
    /// Makes the size at least count bytes (new bytes zero); false on failure.
    bool Resize(size_t count);
    uint8_t* Data() { return data_; }
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }
    bool Failed() const { return failed_; }
    void Clear() { size_ = 0; }

  private:
    bool Reserve(size_t count);
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    bool failed_ = false;
};

/// Encoder settings taken from an encoder parameter block.
struct EncodeSettings {
    uint32_t quality = 75;     ///< JPEG quality 0..100
    uint32_t compression = 0;  ///< TIFF: 0 default, else an EncoderValueCompression value
    uint32_t depth = 0;        ///< TIFF: 0 keep, else 1, 4, 8, 24 or 32
    bool multiFrame = false;   ///< TIFF: multi-frame flag (one frame is written)
};

/// The most bytes one byte of deflate (zlib) data can decode to: a 258-byte
/// match coded in two bits. Bounds what a PNG's or a TIFF's compressed data
/// can hold.
inline constexpr uint64_t kMaxDeflateExpansion = 1032;

/// Makes a bitmap, turning a failure into a status (a too large image gives
/// OutOfMemory). Allocation failure throws std::bad_alloc.
dv::Status NewBitmap(uint32_t width, uint32_t height, int32_t format, dv::Bitmap** out);

/// Sets a palette of count entries (ARGB), padding with opaque black up to the
/// format's entry count.
void SetPaletteEntries(dv::Bitmap* bitmap, const uint32_t* entries, uint32_t count);

/// The bitmap's palette as ARGB entries (empty for 24-bit).
std::vector<uint32_t> PaletteOf(const dv::Bitmap* bitmap);

/// Sets the resolution when both values are usable (above 0 and finite), else
/// leaves the bitmap's 96 dpi.
void SetResolutionIfValid(dv::Bitmap* bitmap, double dpiX, double dpiY);

/// True when the palette is the 256-entry grey ramp.
bool IsGreyRamp(const std::vector<uint32_t>& palette);
/// True when every entry is a neutral grey (red = green = blue).
bool IsNeutral(const std::vector<uint32_t>& palette);

/// Composites a colour channel over white with an alpha of 0..255.
inline uint8_t OverWhite(uint32_t value, uint32_t alpha) {
    return uint8_t((value * alpha + 255u * (255u - alpha) + 127u) / 255u);
}
/// An ARGB palette entry composited over white, made opaque.
uint32_t EntryOverWhite(uint8_t r, uint8_t g, uint8_t b, uint8_t a);

/// Writes one row of a bitmap as blue, green, red bytes (3 * width).
void RowToBgr(const dv::Bitmap* bitmap, const std::vector<uint32_t>& palette, uint32_t y,
              uint8_t* out);
/// Writes one row as 8-bit grey levels through a neutral palette, or as
/// palette indexes expanded to one byte per pixel when grey is false.
void RowToBytes(const dv::Bitmap* bitmap, const std::vector<uint32_t>& palette, uint32_t y,
                bool grey, uint8_t* out);

/// Index into the fixed 256-colour palette (a 6x6x6 colour cube followed by 40
/// greys) of the entry nearest to a colour.
uint8_t FixedPaletteIndex(uint8_t r, uint8_t g, uint8_t b);
/// The fixed 256-colour palette, ARGB.
const uint32_t* FixedPalette();

/// An indexed copy of a bitmap's pixels with at most maxColours entries: the
/// exact colours when they fit, else the fixed palette (16 or 256 entries).
struct IndexedImage {
    std::vector<uint32_t> palette;  ///< ARGB entries
    std::vector<uint8_t> indexes;   ///< width * height, row by row
};
IndexedImage ToIndexed(const dv::Bitmap* bitmap, uint32_t maxColours);

/// Reads a whole file into memory. False when it cannot be opened or read.
bool ReadFile(const std::string& path, std::vector<uint8_t>& out);
/// Writes a whole file. False on any failure.
bool WriteFile(const std::string& path, const uint8_t* data, size_t size);
/// Converts a wide path with wcstombs in the current locale; false when the
/// conversion fails.
bool NarrowPath(const wchar_t* path, std::string& out);

// Format codecs. Decoders read a complete file in memory and store a new
// bitmap (metadata properties and resolution included) on success; encoders
// append a complete file to out.
dv::Status DecodeBmp(const uint8_t* data, size_t size, dv::Bitmap** out);
dv::Status DecodeJpeg(const uint8_t* data, size_t size, dv::Bitmap** out);
/// How the loader decodes a JPEG file beyond DecodeJpeg's defaults.
struct JpegLoad {
    uint32_t scale = 1;           ///< decode at 1/scale (1, 2, 4 or 8) by DCT scaling
    bool acceptCutShort = false;  ///< data that ends early gives what it holds
    bool cutShort = false;        ///< set when the data ended early
    /// Turn the picture upright as its Exif orientation says, while decoding.
    bool upright = false;
    int turnedFrom = 0;  ///< the orientation (2 to 8) it was turned from, else 0
};

/// The rotate-flip type that shows a picture of Exif orientation 1 to 8
/// upright: 2 mirrored, 3 upside down, 4 flipped, 5 transposed, 6 turned a
/// quarter anticlockwise, 7 transversed, 8 turned a quarter clockwise.
inline constexpr int32_t kUprightTurn[9] = {0, 0, 4, 2, 6, 5, 1, 7, 3};

/// The orientation tag (1 to 8) of IFD0 of an Exif block (the TIFF data
/// after "Exif\0\0"), or 0 when it has none.
int ExifOrientation(const uint8_t* block, size_t size);

/// As DecodeJpeg, with the loader's choices; the resolution is divided by
/// the scale.
dv::Status DecodeJpeg(const uint8_t* data, size_t size, dv::Bitmap** out, JpegLoad& load);
dv::Status DecodeGif(const uint8_t* data, size_t size, dv::Bitmap** out);
dv::Status DecodeTiff(const uint8_t* data, size_t size, dv::Bitmap** out);
/// The directory (page) of a TIFF file numbered page from 0, decoded as
/// DecodeTiff decodes the first; InvalidParameter when there is no such page.
dv::Status DecodeTiffPage(const uint8_t* data, size_t size, uint32_t page, dv::Bitmap** out);
/// Number of directories (pages) of a TIFF file; 0 when libtiff cannot open it.
uint32_t TiffPageCount(const uint8_t* data, size_t size);
dv::Status DecodePng(const uint8_t* data, size_t size, dv::Bitmap** out);
/// As DecodePng, keeping every scale-th pixel of every scale-th row (scale 1,
/// 2, 4 or 8; each side rounded up) as the rows are decoded, so that the
/// full picture is never held; the resolution is divided by scale.
dv::Status DecodePng(const uint8_t* data, size_t size, dv::Bitmap** out, uint32_t scale);
/// How the loader decodes a PNG file beyond DecodePng's defaults.
struct PngLoad {
    uint32_t scale = 1;  ///< as DecodePng's scale
    /// Turn the picture upright as its Exif orientation says, while decoding,
    /// when the eXIf chunk comes before the image data and the file is not
    /// interlaced nor of 1-bit pixels; otherwise the picture is left as
    /// stored (turnedFrom 0).
    bool upright = false;
    /// Inflate the image data of a plain picture (8 bits a sample: grey,
    /// palette or colour, with or without alpha, no tRNS transparency but in
    /// a palette, not interlaced) at once, several times faster than libpng
    /// does (PngRows.h); any other file goes through libpng.
    bool inflateAtOnce = false;
    int turnedFrom = 0;  ///< the orientation (2 to 8) it was turned from, else 0
};
/// As DecodePng, with the loader's choices.
dv::Status DecodePng(const uint8_t* data, size_t size, dv::Bitmap** out, PngLoad& load);

dv::Status EncodeBmp(const dv::Bitmap* bitmap, const EncodeSettings& settings, ByteBuffer& out);
dv::Status EncodeJpeg(const dv::Bitmap* bitmap, const EncodeSettings& settings, ByteBuffer& out);
dv::Status EncodeGif(const dv::Bitmap* bitmap, const EncodeSettings& settings, ByteBuffer& out);
dv::Status EncodeTiff(const dv::Bitmap* bitmap, const EncodeSettings& settings, ByteBuffer& out);
dv::Status EncodePng(const dv::Bitmap* bitmap, const EncodeSettings& settings, ByteBuffer& out);

}  // namespace gw::codec
