// TIFF through libtiff, on memory. The first directory is read: bilevel data
// becomes 1-bit, palette data 8-bit (1-bit for a one-bit palette), grey 8-bit
// grey, RGB and CMYK 24-bit with alpha composited over white; layouts that
// the row reader does not handle (separate planes, YCbCr, odd sample sizes)
// go through libtiff's RGBA reader. Writing honours the compression
// and colour depth settings; metadata properties are added through Exiv2.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/CodecSupport.h"
#include "codecs/ExifProperties.h"
#include "image/Grey.h"
#include "platform/PixelLayout.h"

namespace gw::codec {
namespace {

// The largest single allocation libtiff may make for one file.
constexpr tmsize_t kMaxTiffAllocation = tmsize_t(1) << 30;

// A file in memory: read from data, or written into out.
struct MemoryFile {
    const uint8_t* data = nullptr;
    size_t size = 0;
    ByteBuffer* out = nullptr;
    uint64_t position = 0;
};

tmsize_t Read(thandle_t h, void* buffer, tmsize_t count) {
    auto* f = static_cast<MemoryFile*>(h);
    const uint8_t* data = f->out ? f->out->Data() : f->data;
    const size_t size = f->out ? f->out->Size() : f->size;
    if (count <= 0 || f->position >= size) return 0;
    const size_t n = std::min(size_t(count), size_t(size - f->position));
    std::memcpy(buffer, data + f->position, n);
    f->position += n;
    return tmsize_t(n);
}

tmsize_t Write(thandle_t h, void* buffer, tmsize_t count) {
    auto* f = static_cast<MemoryFile*>(h);
    if (!f->out || count < 0) return -1;
    const size_t end = size_t(f->position) + size_t(count);
    if (end > f->out->Size() && !f->out->Resize(end)) return -1;
    std::memcpy(f->out->Data() + f->position, buffer, size_t(count));
    f->position = end;
    return count;
}

toff_t Seek(thandle_t h, toff_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(h);
    const uint64_t size = f->out ? f->out->Size() : f->size;
    uint64_t base = whence == SEEK_CUR ? f->position : whence == SEEK_END ? size : 0;
    f->position = base + offset;
    return f->position;
}

int Close(thandle_t) {
    return 0;
}
toff_t Size(thandle_t h) {
    auto* f = static_cast<MemoryFile*>(h);
    return f->out ? f->out->Size() : f->size;
}
int Map(thandle_t h, void** base, toff_t* size) {
    auto* f = static_cast<MemoryFile*>(h);
    if (f->out) return 0;
    *base = const_cast<uint8_t*>(f->data);
    *size = f->size;
    return 1;
}
void Unmap(thandle_t, void*, toff_t) {}

// Messages are dropped; returning 1 keeps libtiff from printing them.
int Quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TiffPtr Open(MemoryFile& file, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) throw std::bad_alloc();
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxTiffAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
    TIFF* tif = TIFFClientOpenExt("memory", mode, &file, Read, Write, Seek, Close, Size, Map, Unmap,
                                  options);
    TIFFOpenOptionsFree(options);
    return TiffPtr(tif);
}

struct Layout {
    uint32_t width = 0, height = 0;
    uint16_t bps = 1, spp = 1, photometric = PHOTOMETRIC_MINISWHITE, planar = PLANARCONFIG_CONTIG;
    uint16_t sampleFormat = SAMPLEFORMAT_UINT, inkSet = INKSET_CMYK;
    bool alpha = false, associated = false;
};

Layout ReadLayout(TIFF* tif) {
    Layout l;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &l.sampleFormat);
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &l.inkSet);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric)) {
        l.photometric = l.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    }
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    // Extra samples count only when the pixel has room for them beside a colour
    // sample; a damaged file may declare more than it has.
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0 &&
        extraCount < l.spp && extra) {
        l.alpha = extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA;
        l.associated = extra[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    return l;
}

// True when the row reader handles the layout.
bool RowReadable(TIFF* tif, const Layout& l) {
    if (l.sampleFormat != SAMPLEFORMAT_UINT) return false;
    if (TIFFIsTiled(tif)) {
        // Tiles must start on byte boundaries within a row.
        uint32_t tileWidth = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
        if (tileWidth == 0 || (uint64_t(tileWidth) * l.bps * l.spp) % 8 != 0) return false;
    }
    if (l.spp > 1 && l.planar != PLANARCONFIG_CONTIG) return false;
    if (l.bps != 1 && l.bps != 2 && l.bps != 4 && l.bps != 8 && l.bps != 16) return false;
    switch (l.photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK:
            return l.spp == 1 || (l.spp == 2 && l.alpha);
        case PHOTOMETRIC_PALETTE:
            return l.spp == 1 && l.bps <= 8;
        case PHOTOMETRIC_RGB:
            return l.spp >= 3 && l.bps >= 8;
        case PHOTOMETRIC_SEPARATED:
            return l.spp >= 4 && l.bps == 8 && l.inkSet == INKSET_CMYK;
        default:
            return false;
    }
}

// Sample i of a row as 0..255.
uint32_t Sample(const uint8_t* row, uint32_t i, uint32_t bps) {
    switch (bps) {
        case 8:
            return row[i];
        case 16: {
            uint16_t v;
            std::memcpy(&v, row + 2 * size_t(i), 2);
            return (v * 255u + 32767u) / 65535u;
        }
        default: {
            const uint32_t bit = i * bps;
            const uint32_t v = (row[bit >> 3] >> (8 - bps - (bit & 7))) & ((1u << bps) - 1);
            return v * 255 / ((1u << bps) - 1);
        }
    }
}

uint8_t Composite(uint32_t v, uint32_t a, bool associated) {
    return associated ? uint8_t(std::min(255u, v + 255 - a)) : OverWhite(v, a);
}

std::vector<uint32_t> ReadColourMap(TIFF* tif, uint32_t count) {
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    std::vector<uint32_t> palette;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b)) return palette;
    // Some writers store 8-bit values in the 16-bit map.
    bool eightBit = true;
    for (uint32_t i = 0; i < count; ++i)
        eightBit = eightBit && r[i] < 256 && g[i] < 256 && b[i] < 256;
    const int shift = eightBit ? 0 : 8;
    for (uint32_t i = 0; i < count; ++i) {
        palette.push_back(0xFF000000u | uint32_t(r[i] >> shift) << 16 |
                          uint32_t(g[i] >> shift) << 8 | uint32_t(b[i] >> shift));
    }
    return palette;
}

// Hands out the raw sample rows of the image one by one, from strips or from
// a band of tiles read as a whole.
class RowSource {
  public:
    RowSource(TIFF* tif, const Layout& l)
        : tif_(tif), height_(l.height), rowSize_(size_t(TIFFScanlineSize64(tif))) {
        if (!TIFFIsTiled(tif)) return;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth_);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight_);
        pixelBits_ = uint64_t(l.bps) * l.spp;
        width_ = l.width;
    }

    size_t RowSize() const { return rowSize_; }

    bool Get(uint32_t y, uint8_t* out) {
        if (tileWidth_ == 0) return TIFFReadScanline(tif_, out, y, 0) >= 0;
        if (tileHeight_ == 0) return false;
        const uint32_t top = y / tileHeight_ * tileHeight_;
        if (top != bandTop_ && !LoadBand(top)) return false;
        std::memcpy(out, &band_[size_t(y - top) * rowSize_], rowSize_);
        return true;
    }

  private:
    bool LoadBand(uint32_t top) {
        const size_t tileRow = size_t(TIFFTileRowSize64(tif_));
        const size_t tileSize = size_t(TIFFTileSize64(tif_));
        if (tileRow == 0 || tileSize < tileRow * tileHeight_) return false;
        tile_.resize(tileSize);
        band_.assign(rowSize_ * tileHeight_, 0);
        const uint32_t rows = std::min(tileHeight_, height_ - top);
        for (uint32_t x = 0; x < width_; x += tileWidth_) {
            if (TIFFReadTile(tif_, tile_.data(), x, top, 0, 0) < 0) return false;
            const size_t at = size_t(x * pixelBits_ / 8);
            const size_t bytes = std::min(tileRow, rowSize_ - at);
            for (uint32_t r = 0; r < rows; ++r) {
                std::memcpy(&band_[r * rowSize_ + at], &tile_[r * tileRow], bytes);
            }
        }
        bandTop_ = top;
        return true;
    }

    TIFF* tif_;
    uint32_t height_;
    size_t rowSize_;
    uint32_t width_ = 0, tileWidth_ = 0, tileHeight_ = 0;
    uint64_t pixelBits_ = 0;
    uint32_t bandTop_ = UINT32_MAX;
    std::vector<uint8_t> tile_, band_;
};

Status ReadRows(TIFF* tif, const Layout& l, dv::Bitmap** out) {
    const bool bilevel = l.bps == 1 && l.spp == 1 && l.photometric != PHOTOMETRIC_RGB;
    const bool colour = l.photometric == PHOTOMETRIC_RGB || l.photometric == PHOTOMETRIC_SEPARATED;
    const int32_t format = bilevel  ? dv::PixelFormat1bppIndexed
                           : colour ? dv::PixelFormat24bppRGB
                                    : dv::PixelFormat8bppIndexed;
    std::vector<uint32_t> palette;
    if (l.photometric == PHOTOMETRIC_PALETTE) {
        palette = ReadColourMap(tif, 1u << l.bps);
        if (palette.empty()) return dv::GenericError;
    } else if (bilevel) {
        palette = {0xFF000000u, 0xFFFFFFFFu};
        if (l.photometric == PHOTOMETRIC_MINISWHITE) std::swap(palette[0], palette[1]);
    }
    RowSource rows(tif, l);
    std::vector<uint8_t> row(rows.RowSize());
    if (row.empty()) return dv::GenericError;
    dv::Bitmap* bm = nullptr;
    Status status = NewBitmap(l.width, l.height, format, &bm);
    if (status != dv::Ok) return status;
    std::unique_ptr<dv::Bitmap> guard(bm);
    const bool invert = l.photometric == PHOTOMETRIC_MINISWHITE;
    for (uint32_t y = 0; y < l.height; ++y) {
        if (!rows.Get(y, row.data())) return dv::GenericError;
        uint8_t* dst = bm->Pixels() + size_t(y) * bm->GetStride();
        const uint8_t* src = row.data();
        if (bilevel) {
            std::memcpy(dst, src, (l.width + 7) / 8);
        } else if (l.photometric == PHOTOMETRIC_PALETTE) {
            for (uint32_t x = 0; x < l.width; ++x) {
                dst[x] = uint8_t(l.bps == 8 ? src[x]
                                            : Sample(src, x, l.bps) * ((1u << l.bps) - 1) / 255);
            }
        } else if (!colour) {
            for (uint32_t x = 0; x < l.width; ++x) {
                uint32_t v = Sample(src, x * l.spp, l.bps);
                if (invert) v = 255 - v;
                dst[x] = l.alpha ? Composite(v, Sample(src, x * l.spp + 1, l.bps), l.associated)
                                 : uint8_t(v);
            }
        } else if (l.photometric == PHOTOMETRIC_RGB) {
            for (uint32_t x = 0; x < l.width; ++x) {
                const uint32_t i = x * l.spp;
                const uint32_t a = l.alpha && l.spp >= 4 ? Sample(src, i + 3, l.bps) : 255;
                for (uint32_t c = 0; c < 3; ++c) {
                    dst[3 * x + 2 - c] = Composite(Sample(src, i + c, l.bps), a, l.associated);
                }
            }
        } else {
            for (uint32_t x = 0; x < l.width; ++x) {
                const uint8_t* s = src + size_t(x) * l.spp;
                const uint32_t k = 255 - s[3];
                for (uint32_t c = 0; c < 3; ++c)
                    dst[3 * x + 2 - c] = uint8_t(((255 - s[c]) * k + 127) / 255);
            }
        }
    }
    if (!palette.empty()) SetPaletteEntries(bm, palette.data(), uint32_t(palette.size()));
    *out = guard.release();
    return dv::Ok;
}

// Any other layout, through libtiff's RGBA reader (top-left origin).
Status ReadRgba(TIFF* tif, const Layout& l, dv::Bitmap** out) {
    std::vector<uint32_t> rgba(size_t(l.width) * l.height);
    if (!TIFFReadRGBAImageOriented(tif, l.width, l.height, rgba.data(), ORIENTATION_TOPLEFT, 0)) {
        return dv::GenericError;
    }
    dv::Bitmap* bm = nullptr;
    const Status status = NewBitmap(l.width, l.height, dv::PixelFormat24bppRGB, &bm);
    if (status != dv::Ok) return status;
    for (uint32_t y = 0; y < l.height; ++y) {
        uint8_t* dst = bm->Pixels() + size_t(y) * bm->GetStride();
        const uint32_t* src = &rgba[size_t(y) * l.width];
        for (uint32_t x = 0; x < l.width; ++x) {
            const uint32_t p = src[x], a = TIFFGetA(p);
            dst[3 * x] = Composite(TIFFGetB(p), a, true);
            dst[3 * x + 1] = Composite(TIFFGetG(p), a, true);
            dst[3 * x + 2] = Composite(TIFFGetR(p), a, true);
        }
    }
    *out = bm;
    return dv::Ok;
}

// The most bytes one byte of strip or tile data decodes to under a
// compression, or 0 where no bound holds. PackBits turns 2 bytes into at most
// 128; an LZW code of at least 9 bits stands for at most 4096 bytes; deflate
// expands at most kMaxDeflateExpansion times; a CCITT code row takes at least one bit
// (rowBytes: bytes of a decoded row). JPEG data that ends early is padded by
// libjpeg, so it bounds nothing, nor do the rarer codecs.
uint64_t MaxExpansion(uint16_t compression, uint64_t rowBytes) {
    switch (compression) {
        case COMPRESSION_NONE:
            return 1;
        case COMPRESSION_PACKBITS:
            return 64;
        case COMPRESSION_LZW:
            return 4096 * 8 / 9 + 1;
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
            return kMaxDeflateExpansion;
        case COMPRESSION_CCITTRLE:
        case COMPRESSION_CCITTRLEW:
        case COMPRESSION_CCITTFAX3:
        case COMPRESSION_CCITTFAX4:
            return rowBytes > UINT64_MAX / 8 ? UINT64_MAX : 8 * rowBytes;
        default:
            return 0;
    }
}

// True when the strips or tiles present in the file can decode to the whole
// image: the bytes of each that lie inside the file, times the compression's
// largest expansion, must reach the decoded size of all of them. Checked
// before anything is allocated for the image, so that a small file cannot
// claim a large one.
bool DataCoversImage(TIFF* tif, const Layout& l, uint16_t compression, uint64_t fileSize) {
    const bool tiled = TIFFIsTiled(tif);
    const uint64_t rowBytes = tiled ? TIFFTileRowSize64(tif) : TIFFScanlineSize64(tif);
    const uint64_t ratio = MaxExpansion(compression, rowBytes);
    if (ratio == 0) return true;
    const uint32_t count = TIFFNumberOfStrips(tif);  // tiles too, when tiled
    const uint64_t planes = l.planar == PLANARCONFIG_SEPARATE ? l.spp : 1;
    uint64_t needed = 0;  // an overflowing size is refused
    const bool sized =
        tiled ? !__builtin_mul_overflow(TIFFTileSize64(tif), count, &needed)
              : !__builtin_mul_overflow(TIFFVStripSize64(tif, l.height), planes, &needed);
    if (!sized) return false;
    uint64_t present = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t offset = TIFFGetStrileOffset(tif, i);
        if (offset < fileSize) {
            present += std::min(TIFFGetStrileByteCount(tif, i), fileSize - offset);
        }
    }
    return present >= needed / ratio + (needed % ratio != 0);
}

}  // namespace

Status DecodeTiff(const uint8_t* data, size_t size, dv::Bitmap** out) {
    return DecodeTiffPage(data, size, 0, out);
}

uint32_t TiffPageCount(const uint8_t* data, size_t size) {
    MemoryFile file;
    file.data = data;
    file.size = size;
    TiffPtr tif = Open(file, "r");
    return tif ? uint32_t(TIFFNumberOfDirectories(tif.get())) : 0;
}

Status DecodeTiffPage(const uint8_t* data, size_t size, uint32_t page, dv::Bitmap** out) {
    MemoryFile file;
    file.data = data;
    file.size = size;
    TiffPtr tif = Open(file, "r");
    if (!tif) return dv::GenericError;
    if (page > 0 && !TIFFSetDirectory(tif.get(), tdir_t(page))) return dv::InvalidParameter;
    Layout l = ReadLayout(tif.get());
    if (l.width == 0 || l.height == 0) return dv::GenericError;
    if (uint64_t(l.width) * l.height > dv::kMaxImagePixels) return dv::OutOfMemory;
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &compression);
    if (!DataCoversImage(tif.get(), l, compression, size)) return dv::GenericError;
    if (compression == COMPRESSION_JPEG && l.photometric == PHOTOMETRIC_YCBCR) {
        // libtiff's JPEG codec turns YCbCr into RGB rows.
        TIFFSetField(tif.get(), TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        l.photometric = PHOTOMETRIC_RGB;
    }
    dv::Bitmap* bm = nullptr;
    const Status status =
        RowReadable(tif.get(), l) ? ReadRows(tif.get(), l, &bm) : ReadRgba(tif.get(), l, &bm);
    if (status != dv::Ok) return status;
    float xres = 0, yres = 0;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
    if (TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &xres) &&
        TIFFGetField(tif.get(), TIFFTAG_YRESOLUTION, &yres) && unit != RESUNIT_NONE) {
        const double scale = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
        SetResolutionIfValid(bm, xres * scale, yres * scale);
    }
    tif.reset();
    ReadTiffProperties(data, size, bm);
    *out = bm;
    return dv::Ok;
}

namespace {

// The rows of one output file: samples per pixel, bits per sample,
// photometric interpretation, colour map, and a row maker.
struct Plan {
    uint16_t spp = 1, bps = 8, photometric = PHOTOMETRIC_MINISBLACK;
    std::vector<uint32_t> colourMap;
    IndexedImage indexed;  // for palette output made by quantising
};

bool IsBlackWhite(const std::vector<uint32_t>& p) {
    return p.size() == 2 && (p[0] & 0xFFFFFF) == 0 && (p[1] & 0xFFFFFF) == 0xFFFFFF;
}

// One output row of y into row (TIFFScanlineSize bytes).
void MakeRow(const dv::Bitmap* bm, const std::vector<uint32_t>& source, const Plan& plan,
             uint32_t y, std::vector<uint8_t>& scratch, uint8_t* row) {
    const uint32_t width = bm->GetWidth();
    const int32_t format = bm->GetPixelFormat();
    if (plan.bps == 1) {
        if (format == dv::PixelFormat1bppIndexed) {
            const uint8_t* src = bm->Pixels() + size_t(y) * bm->GetStride();
            std::memcpy(row, src, (width + 7) / 8);
        } else {
            RowToBgr(bm, source, y, scratch.data());
            std::memset(row, 0, (width + 7) / 8);
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* p = &scratch[3 * x];
                const uint32_t grey = GreyLevel(0xFF000000u | p[2] << 16 | p[1] << 8 | p[0]);
                PutBit(row, x, grey > 128);
            }
        }
    } else if (!plan.indexed.indexes.empty()) {
        const uint8_t* src = &plan.indexed.indexes[size_t(y) * width];
        if (plan.bps == 8) {
            std::memcpy(row, src, width);
        } else {
            std::memset(row, 0, (width + 1) / 2);
            for (uint32_t x = 0; x < width; ++x) row[x / 2] |= uint8_t(src[x] << (x & 1 ? 0 : 4));
        }
    } else if (plan.spp == 1) {
        RowToBytes(bm, source, y, plan.photometric == PHOTOMETRIC_MINISBLACK, row);
    } else {
        RowToBgr(bm, source, y, scratch.data());
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* d = row + size_t(x) * plan.spp;
            d[0] = scratch[3 * x + 2], d[1] = scratch[3 * x + 1], d[2] = scratch[3 * x];
            if (plan.spp == 4) d[3] = 255;
        }
    }
}

bool WriteTiff(TIFF* tif, const dv::Bitmap* bm, const Plan& plan, uint16_t compression,
               const std::vector<uint32_t>& source) {
    const uint32_t width = bm->GetWidth(), height = bm->GetHeight();
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, plan.bps);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, plan.spp);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, plan.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    if (plan.spp == 4) {
        const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    if (compression == COMPRESSION_CCITTFAX3) TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, 0);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, double(bm->GetHorizontalResolution()));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, double(bm->GetVerticalResolution()));
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    std::vector<uint16_t> r, g, b;
    if (plan.photometric == PHOTOMETRIC_PALETTE) {
        const size_t n = size_t(1) << plan.bps;
        r.resize(n), g.resize(n), b.resize(n);
        for (size_t i = 0; i < plan.colourMap.size() && i < n; ++i) {
            const uint32_t c = plan.colourMap[i];
            r[i] = uint16_t(((c >> 16) & 0xFF) * 257);
            g[i] = uint16_t(((c >> 8) & 0xFF) * 257);
            b[i] = uint16_t((c & 0xFF) * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    }
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    std::vector<uint8_t> row(size_t(TIFFScanlineSize64(tif)) + 4);
    std::vector<uint8_t> scratch(size_t(width) * 3);
    for (uint32_t y = 0; y < height; ++y) {
        MakeRow(bm, source, plan, y, scratch, row.data());
        if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) return false;
    }
    return TIFFWriteDirectory(tif) != 0;
}

}  // namespace

Status EncodeTiff(const dv::Bitmap* bm, const EncodeSettings& settings, ByteBuffer& out) {
    const int32_t format = bm->GetPixelFormat();
    const std::vector<uint32_t> source = PaletteOf(bm);
    const bool ccitt = settings.compression == dv::EncoderValueCompressionCCITT3 ||
                       settings.compression == dv::EncoderValueCompressionCCITT4 ||
                       settings.compression == dv::EncoderValueCompressionRle;
    if (ccitt && settings.depth != 0 && settings.depth != 1) return dv::InvalidParameter;
    uint32_t depth = settings.depth;
    if (depth == 0) depth = ccitt ? 1 : dv::BitsPerPixel(format);
    uint32_t compression = settings.compression;
    if (compression == 0) {
        compression =
            depth == 1 ? dv::EncoderValueCompressionCCITT4 : dv::EncoderValueCompressionLZW;
    }
    static constexpr uint16_t kCompression[] = {COMPRESSION_LZW, COMPRESSION_CCITTFAX3,
                                                COMPRESSION_CCITTFAX4, COMPRESSION_CCITTRLE,
                                                COMPRESSION_NONE};
    const uint16_t tiffCompression = kCompression[compression - dv::EncoderValueCompressionLZW];

    Plan plan;
    if (depth == 1) {
        plan.bps = 1;
        const bool bits = format == dv::PixelFormat1bppIndexed;
        if (!bits || IsBlackWhite(source)) {
            plan.photometric = PHOTOMETRIC_MINISBLACK;
        } else if (!ccitt) {
            plan.photometric = PHOTOMETRIC_PALETTE;
            plan.colourMap = source;
        } else {
            // Fax data is black and white: the darker entry becomes black.
            const bool firstDarker = GreyLevel(source[0]) <= GreyLevel(source[1]);
            plan.photometric = firstDarker ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE;
        }
    } else if (depth == 4) {
        plan.bps = 4;
        plan.photometric = PHOTOMETRIC_PALETTE;
        plan.indexed = ToIndexed(bm, 16);
        plan.colourMap = plan.indexed.palette;
    } else if (depth == 8) {
        if (format != dv::PixelFormat24bppRGB && IsNeutral(source)) {
            plan.photometric = PHOTOMETRIC_MINISBLACK;
        } else {
            plan.photometric = PHOTOMETRIC_PALETTE;
            if (format == dv::PixelFormat24bppRGB) {
                plan.indexed = ToIndexed(bm, 256);
                plan.colourMap = plan.indexed.palette;
            } else {
                plan.colourMap = source;
            }
        }
    } else {
        plan.spp = depth == 32 ? 4 : 3;
        plan.photometric = PHOTOMETRIC_RGB;
    }

    ByteBuffer file;
    MemoryFile memory;
    memory.out = &file;
    TiffPtr tif = Open(memory, "w");
    if (!tif) return file.Failed() ? dv::OutOfMemory : dv::GenericError;
    const bool ok = WriteTiff(tif.get(), bm, plan, tiffCompression, source);
    tif.reset();  // closing writes the rest of the file
    if (file.Failed()) return dv::OutOfMemory;
    if (!ok) return dv::GenericError;
    const Status status = WriteTiffProperties(bm, file);
    if (status != dv::Ok) return status;
    return out.Append(file.Data(), file.Size()) ? dv::Ok : dv::OutOfMemory;
}

}  // namespace gw::codec
