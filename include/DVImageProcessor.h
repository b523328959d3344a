// DVImageProcessor: the image object that a host and Glyphwick share.
//
// One raster in a platform bitmap in one of three pixel formats (1-bit
// indexed, 8-bit indexed, 24-bit blue-green-red), with cached width, height
// and stride, the code of the last operation, and 38 virtual operations whose
// order in the virtual table is part of the binary interface.
//
// Result conventions. An operation either records a code in lastError and
// returns 1 for a non-zero code and 0 for success, or returns a code directly
// without recording it (2 for a missing pointer argument, 13 for unrecognised
// image data, 19 for an absent property), or passes a platform status on
// unchanged (Create, RotateFlip, saving and the property operations).
//
// Codes: 0 success, 1 no image, 2 invalid argument or format, 3 no pixel
// operation, 4 missing pixel-operation argument, 5 palette entry count does
// not match, 6 no view, 7 view without pixels, 8 indexed view without palette,
// 9 view without owner, 10 missing buffer or buffer stride too small, 11 pixel
// lock refused, 12 no encoder for the file type, 13 image format not
// recognised or a row or column outside the image, 14 no decoder for the
// format, 15 decoder failed, 19 property absent.
#ifndef GLYPHWICK_DVIMAGEPROCESSOR_H
#define GLYPHWICK_DVIMAGEPROCESSOR_H

#include <cstdint>

#include "DVImageCodecs.h"

/// The codes of the table above. The values cross the binary interface as
/// uint32_t and never change.
enum DVResult : uint32_t {
    DVOk = 0,
    DVErrNoImage = 1,
    DVErrArgument = 2,
    DVErrNoOperation = 3,
    DVErrOperationArgument = 4,
    DVErrPaletteCount = 5,
    DVErrNoView = 6,
    DVErrNoPixels = 7,
    DVErrNoPalette = 8,
    DVErrNoOwner = 9,
    DVErrBuffer = 10,
    DVErrLock = 11,
    DVErrNoEncoder = 12,
    DVErrNotRecognised = 13,
    DVErrNoDecoder = 14,
    DVErrDecode = 15,
    DVErrNoProperty = 19,
};

/// The checks of DVImageProcessor::CheckView, bits of its mask.
enum DVViewCheck : uint32_t {
    DVCheckPixels = 1,   ///< pixels present, else DVErrNoPixels
    DVCheckFormat = 2,   ///< a supported format, else DVErrArgument
    DVCheckPalette = 4,  ///< a palette when indexed, else DVErrNoPalette
    DVCheckOwner = 8,    ///< an owner bitmap, else DVErrNoOwner
    DVCheckData = DVCheckPixels | DVCheckFormat,
    DVCheckIndexed = DVCheckData | DVCheckPalette,
};

/// A locked rectangle of a bitmap as a pixel operation sees it.
struct DVPixelView {
    dv::Bitmap* owner;          ///< bitmap the view was taken from
    uint8_t* pixels;            ///< the rectangle's top-left pixel
    uint32_t size;              ///< height * stride bytes
    uint32_t width;             ///< pixels per row
    uint32_t height;            ///< rows
    uint32_t stride;            ///< bytes from one row to the next
    int32_t format;             ///< pixel-format code
    dv::ColorPalette* palette;  ///< copy of the bitmap's palette, null without one
    uint32_t paletteSize;       ///< size of that copy in bytes
};

/// Change flags of a pixel operation: it wrote pixels, it wrote the palette copy.
inline constexpr uint32_t kChangedPixels = 1;
inline constexpr uint32_t kChangedPalette = 2;

/// A pixel operation on one view, and on a source and a destination view.
/// Each returns 0 for success or a code of the table above.
using DVPixelOperation = uint32_t (*)(DVPixelView* view, uint32_t* changes, void* argument);
using DVPixelPairOperation = uint32_t (*)(DVPixelView* source, uint32_t* sourceChanges,
                                          DVPixelView* destination, uint32_t* destinationChanges,
                                          void* argument);

/// The callback of EnumerateProperties: all items, their count, the caller's
/// argument. Its result is not used.
using DVPropertyCallback = int32_t (*)(dv::PropertyItem* items, uint32_t count, uint64_t argument);

class GW_API DVImageProcessor {
  public:
    /// An empty object: no bitmap, width, height and stride 0, tag0 0, tag1 1,
    /// imageFlag 0.
    DVImageProcessor();

    // ---- Virtual operations, in slot order (binary interface) ----

    /// Slot 0. Releases the image (deleting the bitmap only when owned).
    virtual ~DVImageProcessor();

    /// Slot 1. Takes a platform bitmap: a private copy when copy is true, else
    /// the bitmap itself, which the object then does not delete. A null bitmap
    /// gives 2 directly; an unsupported format lastError 2.
    virtual uint32_t Attach(dv::Bitmap* bitmap, bool copy);

    /// Slot 2. Replaces the image with a new blank bitmap. An unsupported
    /// format: lastError 2, result 1, the previous image kept. Otherwise the
    /// platform's creation status (lastError stays 0).
    virtual uint32_t Create(uint32_t width, uint32_t height, int32_t format);

    /// Slot 3. Releases the image and empties the object. Result 0.
    virtual uint32_t Destroy();

    /// Slot 4. Copies the rectangle (X, Y, width, height; null for the whole
    /// image) into destination. Mode 0: pixels, palette, resolution and tags;
    /// mode 1: pixels and palette; mode 2: the destination shares this bitmap.
    /// A null destination gives 2 directly.
    virtual uint32_t CopyTo(DVImageProcessor* destination, int32_t mode, const dv::Rect* rect);

    /// Slot 5. Decodes an image held in memory (decoder null: chosen from the
    /// data's first 12 bytes). No data: 2 directly; unrecognised data: 13
    /// directly, previous image kept; no decoder: lastError 14; decode failure:
    /// lastError 15.
    virtual uint32_t LoadFromMemory(const uint8_t* data, uint32_t size, DVImageDecoder* decoder);
    /// Slot 6. As LoadFromMemory, from a stream.
    virtual uint32_t LoadFromStream(dv::IStream* stream, DVImageDecoder* decoder);
    /// Slot 7. As LoadFromMemory, from a file (wide path).
    virtual uint32_t LoadFromFile(const wchar_t* path, DVImageDecoder* decoder);
    /// Slot 8. As LoadFromMemory, from a file (path in the locale's multibyte
    /// code). An empty, null or unconvertible path gives 2 directly.
    virtual uint32_t LoadFromFile(const char* path, DVImageDecoder* decoder);

    /// Slot 9. Encodes the image into a stream as file type 1 BMP, 2 JPEG,
    /// 3 GIF, 4 TIFF or 5 PNG. No image: lastError 1; no stream: 2 directly;
    /// another type: lastError 12. On success *sizeOut (when given) gets the
    /// stream's total size and rewind puts the stream at its start.
    virtual uint32_t SaveToStream(dv::IStream* stream, uint32_t* sizeOut, uint32_t fileType,
                                  bool rewind, DVImageEncoder* encoder);
    /// Slot 10. Encodes the image into a file (wide path).
    virtual uint32_t SaveToFile(const wchar_t* path, uint32_t fileType, DVImageEncoder* encoder);
    /// Slot 11. The same for a narrow path.
    virtual uint32_t SaveToFile(const char* path, uint32_t fileType, DVImageEncoder* encoder);

    /// Slot 12. Fills the whole image from packed rows of 3 * width (24-bit),
    /// width (8-bit) or (width + 7) / 8 (1-bit) bytes. A stride of 0 stands for
    /// the row size rounded up to a multiple of 4. The stride field becomes the
    /// given (or worked-out) stride. Result: the unlock's status.
    virtual uint32_t SetBits(const uint8_t* data, uint32_t stride);
    /// Slot 13. Copies every row, padding included, to buffer + y * bufferStride
    /// (0: the image's stride). A stride below the width: lastError 10.
    virtual uint32_t GetBits(uint8_t* buffer, uint32_t bufferStride);

    /// Slot 14. Gives an 8-bit image the grey ramp and a 1-bit image the black
    /// and white pair.
    virtual uint32_t SetDefaultPalette();
    /// Slot 15. Replaces the palette of an indexed image; the count must be the
    /// format's (256 or 2), else lastError 5.
    virtual uint32_t SetPalette(const uint32_t* entries, uint32_t count);

    /// Slot 16. Sets every byte of the pixel buffer to 0.
    virtual uint32_t Clear();
    /// Slot 17. Reads pixel (x, y) as an ARGB colour. Outside the image:
    /// lastError 13; null colour: 2 directly.
    virtual uint32_t GetPixel(uint32_t x, uint32_t y, uint32_t* colour);
    /// Slot 18. Writes pixel (x, y) from an ARGB colour (by its grey level on
    /// indexed images). Outside the image: lastError 13; null colour: 2.
    virtual uint32_t SetPixel(uint32_t x, uint32_t y, const uint32_t* colour);

    /// Slot 19. Turns a 24-bit or 1-bit image into 8-bit grey with the given
    /// weights; normalises an 8-bit grey palette that is out of order.
    virtual uint32_t ConvertToGrey(float weightRed, float weightGreen, float weightBlue);
    /// Slot 20. Turns a 1-bit or 8-bit image into 24-bit.
    virtual uint32_t ConvertTo24Bit();
    /// Slot 21. Turns a 24-bit or 8-bit image into 1-bit (grey above 128 white).
    virtual uint32_t ConvertTo1Bit();

    /// Slot 22. Counts the values of a channel (0 grey, 1 red, 2 green, 3 blue)
    /// in a rectangle (null: the whole image) into binCount bins.
    virtual uint32_t GetHistogram(uint32_t* bins, uint32_t binCount, uint32_t channel,
                                  const dv::Rect* rect);
    /// Slot 23. GetHistogram over the whole image.
    virtual uint32_t GetImageHistogram(uint32_t* bins, uint32_t binCount, uint32_t channel);

    /// Slot 24. Rotates and/or mirrors by the platform's rotate-flip type 0 to 7;
    /// the platform's status is the result.
    virtual uint32_t RotateFlip(int32_t type);

    /// Slot 25. Copies count bytes of one row, from a column, into buffer. The
    /// column is a pixel column on 24-bit images and a byte offset otherwise.
    /// Row or column outside the image: lastError 13; null buffer: 2 directly.
    /// At most the bytes left in the pixel buffer are copied.
    virtual uint32_t GetBytes(uint32_t row, uint32_t column, uint8_t* buffer, uint32_t count);
    /// Slot 26. Copies each row's bytes ((width + 7) / 8 for 1-bit, width
    /// otherwise) out to rows[y].
    virtual uint32_t GetRows(uint8_t** rows);
    /// Slot 27. Copies count bytes from data into one row (see GetBytes).
    virtual uint32_t SetBytes(uint32_t row, uint32_t column, const uint8_t* data, uint32_t count);
    /// Slot 28. Copies each row's bytes in from rows[y]. Null array: 2 directly.
    virtual uint32_t SetRows(uint8_t* const* rows);

    /// Slot 29. Counts the distinct colours.
    virtual uint32_t CountColours(uint32_t* count);

    /// Slot 30. Combines a rectangle of another bitmap into this image byte by
    /// byte: operator 0 AND, 1 OR, 2 saturating sum; each side's mode 0 takes
    /// its byte, 1 uses 0, 2 uses 255. The formats must match (lastError 2).
    virtual uint32_t Combine(dv::Bitmap* source, const dv::Position* sourcePosition,
                             const dv::Position* destinationPosition, const dv::Size* size,
                             uint32_t op, uint32_t sourceMode, uint32_t destinationMode);

    /// Slot 31. Grey levels inside [low, high] become white, the rest black.
    virtual uint32_t ThresholdBand(uint32_t low, uint32_t high);
    /// Slot 32. Grey levels at or above level become white, the rest black.
    virtual uint32_t Threshold(uint32_t level);
    /// Slot 33. Inverts every byte of the pixel buffer.
    virtual uint32_t Invert();
    /// Slot 34. Filters an 8-bit image with an integer kernel (row by row
    /// weights), dividing by the sum of the weights.
    virtual uint32_t Convolve(const int32_t* kernel, uint32_t kernelWidth, uint32_t kernelHeight);

    /// Slot 35. Reads one metadata property. Absent: 19 directly.
    virtual uint32_t GetProperty(uint32_t id, uint16_t* type, uint32_t* length, uint8_t* value);
    /// Slot 36. Hands all metadata properties to a callback.
    virtual uint32_t EnumerateProperties(DVPropertyCallback callback, uint64_t argument);
    /// Slot 37. Writes one metadata property (replacing one of the same id).
    virtual uint32_t SetProperty(uint32_t id, uint16_t type, uint32_t length, const void* value);

    // ---- Queries and setters ----

    dv::Bitmap* GetBitmap() const { return bitmap; }
    /// Pixel-format code of the bitmap, 0 without one.
    int32_t GetPixelFormat() const;
    /// 1, 8 or 24; 0 for another format or without a bitmap.
    uint32_t GetBitsPerPixel() const;
    uint32_t GetWidth() const { return width; }
    uint32_t GetHeight() const { return height; }
    uint32_t GetStride() const { return stride; }
    uint32_t GetLastError() const { return lastError; }
    uint32_t GetTag0() const { return tag0; }
    void SetTag0(uint32_t value) { tag0 = value; }
    uint32_t GetTag1() const { return tag1; }
    void SetTag1(uint32_t value) { tag1 = value; }
    int32_t& ImageFlag() { return imageFlag; }
    /// (0, 0, width, height) of the bitmap; all 0 without one.
    dv::Rect GetFullRect() const;
    /// Resolution in dots per inch; 0 without a bitmap.
    void GetResolution(float* horizontal, float* vertical) const;
    float GetHorizontalResolution() const;
    float GetVerticalResolution() const;
    void SetResolution(float horizontal, float vertical);
    void SetHorizontalResolution(float horizontal);
    void SetVerticalResolution(float vertical);

    /// Copies the whole image out to, or in from, rows that follow each other
    /// at (width + 7) / 8 bytes (1-bit) or width bytes (otherwise). Null
    /// buffer: lastError 4 (out), 2 directly (in).
    uint32_t GetPackedRows(uint8_t* buffer);
    uint32_t SetPackedRows(const uint8_t* buffer);

    /// The ramp kind of an 8-bit palette: 0 not a 256-entry neutral grey
    /// palette, 1 the plain ramp, 2 neutral greys out of order.
    uint32_t GetGreyPaletteKind();
    /// Rewrites an 8-bit image so that its palette becomes the plain ramp.
    uint32_t NormaliseGreyPalette();

    // ---- Pixel-operation mechanism ----

    /// Runs one operation over a locked rectangle (null: the whole bitmap).
    /// 1 without a bitmap, 3 without an operation, 11 when the lock is refused.
    static uint32_t ApplyToImage(dv::Bitmap* bitmap, const dv::Rect* rect, uint32_t lockMode,
                                 int32_t format, DVPixelOperation operation, void* argument);
    /// Runs one operation over a source and a destination rectangle.
    static uint32_t ApplyToImagePair(dv::Bitmap* source, const dv::Rect* sourceRect,
                                     uint32_t sourceLockMode, int32_t sourceFormat,
                                     dv::Bitmap* destination, const dv::Rect* destinationRect,
                                     uint32_t destinationLockMode, int32_t destinationFormat,
                                     DVPixelPairOperation operation, void* argument);
    /// Validates a view: mask 1 pixels present (7), 2 supported format (2),
    /// 4 palette present when indexed (8), 8 owner present (9); null view 6.
    static uint32_t CheckView(const DVPixelView* view, uint32_t mask);

  protected:
    /// Re-reads width, height and stride from the bitmap and resets the tags.
    void Refresh();
    /// Re-reads width, height and stride only.
    void RefreshSize();
    /// Shared body of the loaders: with no decoder, makes one for the format
    /// that detect() finds; then replaces the image with what decode(decoder,
    /// &bitmap) gives. Defined where the loaders are.
    template <class Detect, class Decode>
    uint32_t LoadWith(DVImageDecoder* decoder, Detect detect, Decode decode);
    /// Records code in lastError and gives 1 for a non-zero code, else 0.
    uint32_t Record(uint32_t code) {
        lastError = code;
        return code != 0 ? 1u : 0u;
    }

    dv::Bitmap* bitmap;  ///< the platform bitmap, null when empty
    bool ownsBitmap;     ///< Destroy deletes bitmap when true
    uint32_t stride;     ///< bytes per row, as last refreshed or set by SetBits
    uint32_t width;      ///< pixels per row
    uint32_t height;     ///< rows
    uint32_t lastError;  ///< code of the last operation that records one
    uint32_t tag0;       ///< carried for the host; reset to 0
    uint32_t tag1;       ///< carried for the host; reset to 1
    int32_t imageFlag;   ///< carried for the host; reset to 1 with a bitmap, else 0
};

#endif  // GLYPHWICK_DVIMAGEPROCESSOR_H
