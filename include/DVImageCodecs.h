// Glyphwick platform types, bitmap store, memory stream, decoders and encoders.
//
// These are the types that cross the library's binary interface besides the
// GW_ exports: the status values, GUIDs, palettes, property items and encoder
// parameter blocks in their platform layouts, the platform bitmap that an image
// object holds, the growable memory stream, and the decoder and encoder class
// families whose virtual slot order is fixed.
#ifndef GLYPHWICK_DVIMAGECODECS_H
#define GLYPHWICK_DVIMAGECODECS_H

#include <cstddef>
#include <cstdint>

#include "GlyphwickExport.h"

namespace dv {

/// Platform status values, numbered as the platform numbers them.
enum Status : int32_t {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    ObjectBusy = 4,
    InsufficientBuffer = 5,
    NotImplemented = 6,
    Win32Error = 7,
    WrongState = 8,
    Aborted = 9,
    FileNotFound = 10,
    ValueOverflow = 11,
    AccessDenied = 12,
    UnknownImageFormat = 13,
    FontFamilyNotFound = 14,
    FontStyleNotFound = 15,
    NotTrueTypeFont = 16,
    UnsupportedGdiplusVersion = 17,
    GdiplusNotInitialized = 18,
    PropertyNotFound = 19,
    PropertyNotSupported = 20,
    ProfileNotFound = 21,
};

/// Platform pixel-format codes. Only the first three are supported; the others
/// are known so that they can be recognised and refused.
enum PixelFormatCode : int32_t {
    PixelFormat1bppIndexed = 0x00030101,
    PixelFormat8bppIndexed = 0x00030803,
    PixelFormat24bppRGB = 0x00021808,
    PixelFormat4bppIndexed = 0x00030402,
    PixelFormat16bppGrayScale = 0x00101004,
    PixelFormat16bppRGB555 = 0x00021005,
    PixelFormat16bppRGB565 = 0x00021006,
    PixelFormat16bppARGB1555 = 0x00061007,
    PixelFormat32bppRGB = 0x00022009,
    PixelFormat32bppARGB = 0x0026200A,
    PixelFormat32bppPARGB = 0x000E200B,
    PixelFormat48bppRGB = 0x0010300C,
    PixelFormat64bppARGB = 0x0034400D,
    PixelFormat64bppPARGB = 0x001A400E,
};

/// Bit of a pixel-format code that marks an indexed format.
inline constexpr int32_t PixelFormatIndexed = 0x00010000;

/// Palette flag of a grey palette.
inline constexpr uint32_t PaletteFlagsGrayScale = 2;

/// Lock modes of Bitmap::LockBits.
enum ImageLockMode : uint32_t { ImageLockModeRead = 1, ImageLockModeWrite = 2 };

/// A 16-byte class or parameter identifier in the platform's layout.
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
using CLSID = GUID;
static_assert(sizeof(GUID) == 16);

/// A rectangle as X, Y, width, height (signed).
struct Rect {
    int32_t X;
    int32_t Y;
    int32_t Width;
    int32_t Height;
};

/// An unsigned position (x, y) and size (width, height), as Combine takes them.
struct Position {
    uint32_t x;
    uint32_t y;
};
struct Size {
    uint32_t width;
    uint32_t height;
};

/// The platform palette layout: flags, count, then count ARGB entries.
/// Entries is declared with one element; a palette of n entries occupies
/// 8 + 4 * n bytes.
struct ColorPalette {
    uint32_t Flags;
    uint32_t Count;
    uint32_t Entries[1];
};
static_assert(offsetof(ColorPalette, Entries) == 8);

/// Size in bytes of a palette of count entries.
constexpr uint32_t PaletteBytes(uint32_t count) {
    return static_cast<uint32_t>(offsetof(ColorPalette, Entries)) + 4u * count;
}

/// A metadata property item: id, value length in bytes, type, value bytes.
struct PropertyItem {
    uint32_t id;
    uint32_t length;
    uint16_t type;
    void* value;
};

/// One encoder parameter: identifier, number of values, value type, values.
struct EncoderParameter {
    GUID Guid;
    uint32_t NumberOfValues;
    uint32_t Type;
    void* Value;
};
static_assert(sizeof(EncoderParameter) == 32);

/// A block of encoder parameters: a count, then that many entries
/// (8 + 32 * count bytes).
struct EncoderParameters {
    uint32_t Count;
    EncoderParameter Parameter[1];
};
static_assert(offsetof(EncoderParameters, Parameter) == 8);

/// What a pixel lock hands out: the locked rectangle's size, its row stride,
/// its format and the address of its top-left pixel.
struct BitmapData {
    uint32_t Width;
    uint32_t Height;
    int32_t Stride;
    int32_t PixelFormat;
    void* Scan0;
    uintptr_t Reserved;
};

/// Largest number of pixels a bitmap may hold (2^28). Larger requests are
/// refused with OutOfMemory before anything is allocated.
inline constexpr uint64_t kMaxImagePixels = uint64_t{1} << 28;

/// Bits per pixel of a supported format: 1, 8 or 24; 0 for any other code.
GW_API uint32_t BitsPerPixel(int32_t format);

/// Palette entries of a format: 2 for 1-bit, 256 for 8-bit, 0 otherwise.
GW_API uint32_t PaletteEntryCount(int32_t format);

/// The platform bitmap: a raster in one of the three supported formats, rows
/// 4-byte aligned and owned by the bitmap, with its palette, resolution
/// (96 x 96 dpi when new) and metadata property items.
///
/// Operations return a Status; every failing status is also remembered as the
/// bitmap's last status (GetLastStatus).
class GW_API Bitmap {
  public:
    /// Makes a new blank bitmap of width x height pixels in a supported format.
    /// A new 1-bit bitmap holds the black and white pair as its palette and a
    /// new 8-bit bitmap the grey ramp. Returns null and sets *status (when
    /// given) to InvalidParameter for a zero size or an unsupported format, and
    /// OutOfMemory for more than kMaxImagePixels pixels. An allocation failure
    /// throws std::bad_alloc.
    static Bitmap* Create(uint32_t width, uint32_t height, int32_t format,
                          Status* status = nullptr);

    /// Makes a new bitmap holding a copy of the rectangle (x, y, width,
    /// height) of this one, palette and resolution included. The format must be
    /// this bitmap's. Returns null (and the status) when the rectangle is not
    /// inside the bitmap or the format differs.
    Bitmap* Clone(int32_t x, int32_t y, int32_t width, int32_t height, int32_t format,
                  Status* status = nullptr) const;

    ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    /// Width and height in pixels.
    uint32_t GetWidth() const;
    uint32_t GetHeight() const;
    /// The pixel format (PixelFormat1bppIndexed, PixelFormat24bppRGB, ...).
    int32_t GetPixelFormat() const;

    /// Locks a rectangle (null: the whole bitmap) for reading or writing in the
    /// bitmap's own format and describes it in *data. The view points straight
    /// at the pixels; only a 1-bit rectangle whose left edge is not on a byte
    /// boundary is handed out as a shifted copy (pixel 0 of each row at bit 7 of
    /// its first byte), written back at unlock when locked for writing.
    /// InvalidParameter: no data, a rectangle not inside the bitmap, another
    /// format, or a mode that is neither read nor write. WrongState: already
    /// locked.
    Status LockBits(const Rect* rect, uint32_t mode, int32_t format, BitmapData* data);

    /// Releases the lock that *data describes.
    Status UnlockBits(BitmapData* data);

    /// Size in bytes of the palette in the ColorPalette layout (8 + 4 * count).
    uint32_t GetPaletteSize() const;
    /// Copies the palette into a buffer of size bytes (at least GetPaletteSize).
    Status GetPalette(ColorPalette* palette, uint32_t size) const;
    /// Replaces the palette of an indexed bitmap. InvalidParameter for a null
    /// palette, a bitmap without palette, or more entries than the format has
    /// pixel values.
    Status SetPalette(const ColorPalette* palette);

    /// Resolution in dots per inch across and down.
    float GetHorizontalResolution() const;
    float GetVerticalResolution() const;
    /// Sets the resolution in dots per inch; negative values are refused.
    Status SetResolution(float horizontal, float vertical);

    /// Rotates and mirrors in place: type 0 to 7 as the platform's
    /// RotateFlipType (1 = 90 degrees clockwise, 4 = mirror left-right, ...).
    Status RotateFlip(int32_t type);

    /// Size in bytes of one property item with its value (0 when absent).
    uint32_t GetPropertyItemSize(uint32_t id) const;
    /// Copies one item into a buffer of size bytes: the PropertyItem record
    /// followed by its value bytes, which item->value points at.
    Status GetPropertyItem(uint32_t id, uint32_t size, PropertyItem* buffer) const;
    /// Total size and count of all items.
    Status GetPropertySize(uint32_t* totalBytes, uint32_t* count) const;
    /// Copies all items: count records, then all values.
    Status GetAllPropertyItems(uint32_t totalBytes, uint32_t count, PropertyItem* all) const;
    /// Adds an item, or replaces the item of the same id.
    Status SetPropertyItem(const PropertyItem* item);
    /// Removes an item. PropertyNotFound when there is none.
    Status RemovePropertyItem(uint32_t id);

    /// The last failing status, which the call then resets to Ok.
    Status GetLastStatus();
    /// Records a status as the last one (Ok is not recorded).
    void SetLastStatus(Status status);

    /// Direct access for the library's own code: the first byte of the pixel
    /// buffer and its row stride. A pointer for writing is good until the
    /// next call into the library, which may have kept rows to copy later:
    /// take it again after each call.
    uint8_t* Pixels();
    const uint8_t* Pixels() const;
    uint32_t GetStride() const;

    struct Impl;

  private:
    friend struct BitmapWatch;
    explicit Bitmap(Impl* impl);
    Impl* impl_;
};

/// A growable, seekable, reference-counted stream. A stream starts with one
/// reference; Release frees it at the last one.
class GW_API IStream {
  public:
    /// Origins of Seek.
    enum : uint32_t { SeekSet = 0, SeekCur = 1, SeekEnd = 2 };
    /// Stream statistics; of them only the total size is kept.
    struct StatStg {
        uint64_t cbSize;
    };
    /// Flag of Stat: leave out the name (there is none).
    static constexpr uint32_t StatFlagNoName = 1;

    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;
    /// Reads up to count bytes from the position; *read (when given) gets the
    /// number read. Returns 0, or 1 when fewer than count bytes were read.
    virtual int32_t Read(void* buffer, uint32_t count, uint32_t* read) = 0;
    /// Writes count bytes at the position, growing the stream as needed.
    /// Returns 0, or a non-zero code when it cannot grow.
    virtual int32_t Write(const void* data, uint32_t count, uint32_t* written) = 0;
    /// Moves the position; *newPosition (when given) gets it. A position
    /// before the start is refused (non-zero result, position unchanged).
    virtual int32_t Seek(int64_t move, uint32_t origin, uint64_t* newPosition) = 0;
    /// Fills the statistics: the stream's total size.
    virtual int32_t Stat(StatStg* stat, uint32_t flags) = 0;

  protected:
    virtual ~IStream() = default;
};

/// Makes a new empty memory stream with one reference. Returns 0, or 2 when
/// stream is null.
GW_API int32_t CreateMemoryStream(IStream** stream);

// ---- Image codecs: platform encoder identifiers, format detection, decoders, encoders ----

/// Class identifiers of the platform's image encoders, selected by MIME type.
inline constexpr GUID kEncoderBmp = {
    0x557CF400, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr GUID kEncoderJpeg = {
    0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr GUID kEncoderGif = {
    0x557CF402, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr GUID kEncoderTiff = {
    0x557CF405, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr GUID kEncoderPng = {
    0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

/// Encoder parameter identifiers.
inline constexpr GUID EncoderQuality = {
    0x1D5BE4B5, 0xFA4A, 0x452D, {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};
inline constexpr GUID EncoderCompression = {
    0xE09D739D, 0xCCD4, 0x44EE, {0x8E, 0xBA, 0x3F, 0xBF, 0x8B, 0xE4, 0xFC, 0x58}};
inline constexpr GUID EncoderColorDepth = {
    0x66087055, 0xAD66, 0x4C7C, {0x9A, 0x18, 0x38, 0xA2, 0x31, 0x0B, 0x83, 0x37}};
inline constexpr GUID EncoderSaveFlag = {
    0x292266FC, 0xAC40, 0x47BF, {0x8C, 0xFC, 0xA8, 0x5B, 0x89, 0xA6, 0x55, 0xDE}};

/// Values of the TIFF compression and save-flag parameters.
enum EncoderValue : uint32_t {
    EncoderValueCompressionLZW = 2,
    EncoderValueCompressionCCITT3 = 3,
    EncoderValueCompressionCCITT4 = 4,
    EncoderValueCompressionRle = 5,
    EncoderValueCompressionNone = 6,
    EncoderValueMultiFrame = 18,
};

/// Value type of an encoder parameter holding unsigned 32-bit values.
inline constexpr uint32_t EncoderParameterValueTypeLong = 4;

/// True when the two identifiers are equal (compared as two 8-byte halves).
GW_API bool SameGuid(const GUID& a, const GUID& b);

/// The class identifier of the encoder for a MIME type ("image/bmp",
/// "image/jpeg", "image/gif", "image/tiff", "image/png", compared exactly).
/// Returns false and leaves *clsid alone for any other type or a null argument.
GW_API bool FindEncoderClsid(const wchar_t* mimeType, CLSID* clsid);

/// Decodes a complete BMP, JPEG, GIF, TIFF or PNG file held in memory into a
/// new bitmap stored in *bitmap (null on failure). Bilevel data gives 1-bit,
/// indexed data and grey 8-bit, everything else 24-bit (alpha over white); the
/// first frame of a multi-frame file; resolution and metadata properties from
/// the file. InvalidParameter: null arguments; UnknownImageFormat: data of none
/// of the five formats; GenericError: data the format's decoder rejects;
/// OutOfMemory: an image above kMaxImagePixels.
GW_API Status DecodeImage(const uint8_t* data, size_t size, Bitmap** bitmap);

/// Reads a whole stream from its start and decodes it as DecodeImage does; the
/// stream is left at its start. InvalidParameter for null arguments.
GW_API Status CreateBitmapFromStream(IStream* stream, Bitmap** bitmap);

/// Reads the file at a wide path (converted with wcstombs) and decodes it as
/// DecodeImage does. InvalidParameter for null arguments or an unconvertible
/// path; Win32Error when the file cannot be read.
GW_API Status CreateBitmapFromFile(const wchar_t* path, Bitmap** bitmap);

/// Encodes a bitmap with the encoder of a class identifier and optional
/// parameters, appending the file at the stream's position. Parameters: JPEG
/// quality 0 to 100 (default 75); TIFF compression (default LZW, CCITT4 for
/// 1-bit), colour depth 1, 4, 8, 24 or 32, multi-frame flag. Parameters of
/// another encoder are ignored. InvalidParameter: null arguments, an unknown
/// class identifier, a parameter value out of range or a CCITT compression with
/// a colour depth other than 1; Win32Error: the stream refused the bytes.
GW_API Status SaveImageToStream(Bitmap* bitmap, IStream* stream, const CLSID* clsid,
                                const EncoderParameters* parameters);

/// As SaveImageToStream, into the file at a wide path, which is written only
/// when encoding succeeded. Win32Error when the file cannot be written.
GW_API Status SaveImageToFile(Bitmap* bitmap, const wchar_t* path, const CLSID* clsid,
                              const EncoderParameters* parameters);

}  // namespace dv

/// Image formats recognised from the first bytes of image data.
enum ImageFormat : int32_t {
    ImageFormatUnknown = 0,
    ImageFormatBmp = 1,
    ImageFormatJpeg = 2,
    ImageFormatGif = 3,
    ImageFormatTiff = 4,
    ImageFormatPng = 5,
    ImageFormatJpeg2000 = 6,
    ImageFormatWsq = 7,
};

/// Recognises the format of data from its first bytes by the signatures, in
/// this order: "BM"; FF D8 FF E0 with "JFIF" and 0 at offset 6 (11 bytes);
/// "GIF"; "II*"; "MM" 00 2A; the PNG signature; FF 4F FF 51 00; the JP2
/// signature box (12 bytes); FF A0. Null data or no match gives
/// ImageFormatUnknown.
GW_API ImageFormat DetectImageFormat(const uint8_t* data, uint32_t length);

/// Recognises the format of a file from its first 12 bytes. A null path, a file
/// that cannot be opened (the path is converted with wcstombs) or one shorter
/// than 12 bytes gives ImageFormatUnknown.
GW_API ImageFormat DetectImageFormat(const wchar_t* path);

/// Recognises the format of a stream from its first 12 bytes, read from its
/// start; the stream is left at its start. A null stream or fewer than 12
/// bytes gives ImageFormatUnknown.
GW_API ImageFormat DetectImageFormat(dv::IStream* stream);

/// A decoder: turns encoded image data into a new platform bitmap stored
/// through an out-pointer, which the caller then owns. Every operation returns a
/// platform status. The order of the virtual operations is binary interface.
class GW_API DVImageDecoder {
  public:
    /// Slot 0.
    virtual ~DVImageDecoder();
    /// Slot 1. Decodes size bytes of data.
    virtual dv::Status DecodeFromMemory(dv::Bitmap** bitmap, const uint8_t* data,
                                        uint32_t size) = 0;
    /// Slot 2. Decodes the whole content of a stream.
    virtual dv::Status DecodeFromStream(dv::Bitmap** bitmap, dv::IStream* stream) = 0;
    /// Slot 3. Decodes the file at a wide path.
    virtual dv::Status DecodeFromFile(dv::Bitmap** bitmap, const wchar_t* path) = 0;
    /// Slot 4. Decodes the file at a path in the locale's multibyte code.
    virtual dv::Status DecodeFromFile(dv::Bitmap** bitmap, const char* path) = 0;
};

/// The decoder of BMP, JPEG, GIF, TIFF and PNG data (dv::DecodeImage). On
/// failure *bitmap is set to null. A null out-pointer gives InvalidParameter.
class GW_API DVGdiplusDecoder : public DVImageDecoder {
  public:
    ~DVGdiplusDecoder() override;
    /// Null data gives InvalidParameter; otherwise as dv::DecodeImage.
    dv::Status DecodeFromMemory(dv::Bitmap** bitmap, const uint8_t* data, uint32_t size) override;
    /// A null stream gives InvalidParameter; otherwise as
    /// dv::CreateBitmapFromStream (the stream is left at its start).
    dv::Status DecodeFromStream(dv::Bitmap** bitmap, dv::IStream* stream) override;
    /// A null path gives InvalidParameter; otherwise as dv::CreateBitmapFromFile.
    dv::Status DecodeFromFile(dv::Bitmap** bitmap, const wchar_t* path) override;
    /// An empty path gives Ok and stores nothing; a null or unconvertible path
    /// InvalidParameter; otherwise the path is converted with mbstowcs and the
    /// wide-path operation of this class decodes the file.
    dv::Status DecodeFromFile(dv::Bitmap** bitmap, const char* path) override;
};

/// A decoder whose work is done by an outside library, loaded and bound on the
/// first decoding call. Its own decoding operations only make sure the library
/// is bound (Win32Error when it cannot be).
class GW_API DVExternalDecoder : public DVGdiplusDecoder {
  public:
    /// libraryName: file name of the outside library (at most 259 bytes kept).
    explicit DVExternalDecoder(const char* libraryName);
    ~DVExternalDecoder() override;
    dv::Status DecodeFromMemory(dv::Bitmap** bitmap, const uint8_t* data, uint32_t size) override;
    dv::Status DecodeFromStream(dv::Bitmap** bitmap, dv::IStream* stream) override;
    dv::Status DecodeFromFile(dv::Bitmap** bitmap, const wchar_t* path) override;
    dv::Status DecodeFromFile(dv::Bitmap** bitmap, const char* path) override;
    /// Slot 5. Looks up the library's entry points in a loaded module; false
    /// when the module is null or an entry point is missing. The base binds
    /// nothing and gives false.
    virtual bool BindEntryPoints(void* module);

  protected:
    /// Loads the library through the library cache and binds it once: Ok, or
    /// Win32Error when the library or an entry point is missing.
    dv::Status EnsureLoaded();

    char libraryName[260];  ///< file name of the outside library
    bool loaded;            ///< the entry points are bound
};

/// The JPEG 2000 decoder: "OpenJPEG_32.dll" converts the data to a BMP file in
/// memory, which DVGdiplusDecoder then decodes. Library failures give
/// GenericError, a missing library or entry point Win32Error.
class GW_API DVJpeg2kDecoder : public DVExternalDecoder {
  public:
    using BufferToBmp = int32_t (*)(const uint8_t* data, uint32_t size, uint8_t* bmp,
                                    uint32_t bmpSize, int32_t reserved);
    using FileToBmpA = int32_t (*)(const char* path, uint8_t* bmp, uint32_t bmpSize,
                                   int32_t reserved);
    using FileToBmpW = int32_t (*)(const wchar_t* path, uint8_t* bmp, uint32_t bmpSize,
                                   int32_t reserved);
    using BmpSizeFromBuffer = int32_t (*)(const uint8_t* data, uint32_t size, uint32_t* bmpSize);
    using BmpSizeFromFileA = int32_t (*)(const char* path, uint32_t* bmpSize);
    using BmpSizeFromFileW = int32_t (*)(const wchar_t* path, uint32_t* bmpSize);

    /// Library "OpenJPEG_32.dll", not loaded, all six entry points null.
    DVJpeg2kDecoder();
    ~DVJpeg2kDecoder() override;
    dv::Status DecodeFromMemory(dv::Bitmap** bitmap, const uint8_t* data, uint32_t size) override;
    dv::Status DecodeFromStream(dv::Bitmap** bitmap, dv::IStream* stream) override;
    dv::Status DecodeFromFile(dv::Bitmap** bitmap, const wchar_t* path) override;
    dv::Status DecodeFromFile(dv::Bitmap** bitmap, const char* path) override;
    /// Binds the six entry points in order; false at the first missing one.
    bool BindEntryPoints(void* module) override;

  protected:
    BufferToBmp convertBuffer;     ///< "ConvertJ2KBufferToBMPBuffer"
    FileToBmpA convertFileA;       ///< "ConvertJ2KFileToBMPBufferA"
    FileToBmpW convertFileW;       ///< "ConvertJ2KFileToBMPBufferW"
    BmpSizeFromBuffer sizeBuffer;  ///< "GetBMPBufferSizeFromJ2KBuffer"
    BmpSizeFromFileA sizeFileA;    ///< "GetBMPBufferSizeFromJ2KFileA"
    BmpSizeFromFileW sizeFileW;    ///< "GetBMPBufferSizeFromJ2KFileW"
};

/// The WSQ fingerprint decoder: "DVWSQLib.dll" converts the data to a BMP file
/// in memory, which DVGdiplusDecoder then decodes. Library failures give
/// GenericError, a missing library or entry point Win32Error; a file that
/// cannot be opened gives Ok and stores nothing.
class GW_API DVWSQDecoder : public DVExternalDecoder {
  public:
    using BufferToBmp = int32_t (*)(const uint8_t* data, uint32_t size, uint8_t* bmp,
                                    int32_t bmpSize);
    using BmpSize = int32_t (*)(const uint8_t* data, uint32_t size, int32_t* bmpSize);

    /// Library "DVWSQLib.dll", not loaded, both entry points null.
    DVWSQDecoder();
    ~DVWSQDecoder() override;
    dv::Status DecodeFromMemory(dv::Bitmap** bitmap, const uint8_t* data, uint32_t size) override;
    dv::Status DecodeFromStream(dv::Bitmap** bitmap, dv::IStream* stream) override;
    dv::Status DecodeFromFile(dv::Bitmap** bitmap, const wchar_t* path) override;
    dv::Status DecodeFromFile(dv::Bitmap** bitmap, const char* path) override;
    /// Binds "ConvertWSQBufferToBMPBuffer", then "GetWSQBufferSize".
    bool BindEntryPoints(void* module) override;

  protected:
    BufferToBmp convertBuffer;  ///< "ConvertWSQBufferToBMPBuffer"
    BmpSize bufferSize;         ///< "GetWSQBufferSize"
};

/// Makes a new decoder for a format, owned by the caller: DVGdiplusDecoder for
/// BMP to PNG (1 to 5), DVJpeg2kDecoder for 6, DVWSQDecoder for 7; null for
/// any other code.
GW_API DVImageDecoder* CreateDecoder(int32_t format);

/// An encoder object: carries the parameters of one output format and writes a
/// bitmap with them. The order of the virtual operations is binary interface.
class GW_API DVImageEncoder {
  public:
    /// Slot 0.
    virtual ~DVImageEncoder();
    /// Slot 1. Sets a parameter this encoder accepts to an accepted value;
    /// false (nothing changed) otherwise.
    virtual bool SetParameter(const dv::GUID& id, uint32_t value) = 0;
    /// Slot 2. Marks an accepted parameter not set (its value stays); false for
    /// a parameter this encoder does not accept.
    virtual bool ClearParameter(const dv::GUID& id) = 0;
    /// Slot 3. Writes the bitmap into a stream with the encoder of clsid and the
    /// parameters set. InvalidParameter for a null argument, OutOfMemory when
    /// the parameter block cannot be made; a failing save's status is also
    /// recorded on the bitmap.
    virtual dv::Status EncodeToStream(dv::Bitmap* bitmap, dv::IStream* stream,
                                      const dv::CLSID* clsid);
    /// Slot 4. As EncodeToStream, into the file at a wide path.
    virtual dv::Status EncodeToFile(dv::Bitmap* bitmap, const wchar_t* path,
                                    const dv::CLSID* clsid);
    /// Slot 5. Number of parameters set.
    virtual uint32_t ParameterCount() = 0;
    /// Slot 6. Fills a block whose count equals ParameterCount with the set
    /// parameters, in the encoder's order (entries point into this object).
    /// Does nothing for a null block or another count.
    virtual void FillParameters(dv::EncoderParameters* block) = 0;
    /// Slot 7. Allocates (malloc) a block of count entries, 8 + 32 * count
    /// bytes, stores it in *block and sets its count; returns its size. 0 (and
    /// nothing allocated) for a count of 0 or less, a null out-pointer or an
    /// allocation failure. The caller frees the block with free.
    virtual uint32_t AllocateParameters(dv::EncoderParameters** block, int32_t count);
    /// Slot 8. Fills entry index of a block (identifier, number of values, value
    /// type, values); nothing happens for a null block or an index not below
    /// its count.
    virtual void SetParameterEntry(dv::EncoderParameters* block, uint32_t index, const dv::GUID& id,
                                   uint32_t type, uint32_t number, void* values);

  protected:
    /// Saves through the platform with the set parameters into a stream or a
    /// file (exactly one of the two given).
    dv::Status Encode(dv::Bitmap* bitmap, dv::IStream* stream, const wchar_t* path,
                      const dv::CLSID* clsid);
};

/// JPEG encoder: EncoderQuality 0 to 100.
class GW_API DVJpegEncoder : public DVImageEncoder {
  public:
    /// No quality set.
    DVJpegEncoder();
    bool SetParameter(const dv::GUID& id, uint32_t value) override;
    bool ClearParameter(const dv::GUID& id) override;
    uint32_t ParameterCount() override;
    void FillParameters(dv::EncoderParameters* block) override;

  protected:
    bool qualitySet;   ///< the quality is set
    uint32_t quality;  ///< JPEG quality 0 to 100
};

/// TIFF encoder: EncoderCompression (LZW, CCITT3, CCITT4, RLE, none),
/// EncoderColorDepth (1, 4, 8, 24, 32), EncoderSaveFlag (multi-frame only).
class GW_API DVTiffEncoder : public DVImageEncoder {
  public:
    /// No parameter set.
    DVTiffEncoder();
    bool SetParameter(const dv::GUID& id, uint32_t value) override;
    bool ClearParameter(const dv::GUID& id) override;
    uint32_t ParameterCount() override;
    /// Fills compression, then colour depth, then save flag, those that are set.
    void FillParameters(dv::EncoderParameters* block) override;

  protected:
    bool compressionSet;   ///< the compression is set
    uint32_t compression;  ///< an EncoderValueCompression value
    bool depthSet;         ///< the colour depth is set
    uint32_t depth;        ///< bits per pixel of the file
    bool saveFlagSet;      ///< the save flag is set
    uint32_t saveFlag;     ///< EncoderValueMultiFrame
};

#endif  // GLYPHWICK_DVIMAGECODECS_H
