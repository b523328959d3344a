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

#if defined(GW_BUILDING_LIBRARY)
#define GW_API __attribute__((visibility("default")))
#else
#define GW_API
#endif

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

    uint32_t GetWidth() const;
    uint32_t GetHeight() const;
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
    /// buffer and its row stride.
    uint8_t* Pixels();
    const uint8_t* Pixels() const;
    uint32_t GetStride() const;

    struct Impl;

  private:
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

}  // namespace dv

class DVImageDecoder;
class DVImageEncoder;

#endif  // GLYPHWICK_DVIMAGECODECS_H
