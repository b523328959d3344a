// PNG through libpng. Bilevel files become 1-bit, palette files 8-bit (1-bit
// for a one-bit palette), grey files 8-bit grey, the rest 24-bit; alpha and
// transparent colours are composited over white. The eXIf chunk carries the
// metadata properties, pHYs the resolution. For the loader, a picture whose
// eXIf chunk comes before the image data is turned upright while its rows
// are decoded, a strip of rows at a time, and the image data of a plain
// picture is inflated at once by libdeflate.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "codecs/CodecSupport.h"
#include "codecs/ExifProperties.h"
#include "codecs/PngRows.h"
#include "platform/PixelTurn.h"

namespace gw::codec {
namespace {

constexpr double kInchesPerMetre = 0.0254;
// Rows of a strip turned at once: as many as the strip turn writes in one
// run per turned row; 64 rows of a 4032-pixel colour picture (774 KB) stay
// in the second-level cache, as the JPEG decoder's strips do. In
// bench/load_bench (2026-12-07, the turned 4032 x 3024 PNG, CPU time, median
// of 3) 16 rows took 171 ms, 32 rows 162 ms and 64 rows 149 ms.
constexpr uint32_t kStripRows = 64;

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t position;
};

// libpng reports errors here: the handler returns to the decoder's setjmp and
// prints nothing.
void OnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

void ReadBytes(png_structp png, png_bytep out, size_t count) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (r->size - r->position < count) png_error(png, "truncated");
    std::memcpy(out, r->data + r->position, count);
    r->position += count;
}

void WriteBytes(png_structp png, png_bytep data, size_t count) {
    auto* out = static_cast<ByteBuffer*>(png_get_io_ptr(png));
    if (!out->Append(data, count)) png_error(png, "out of memory");
}
void Flush(png_structp) {}

enum class Layout { Bits, Indexes, Grey, GreyAlpha, Bgr, Bgra };

// What the decoder has made so far; it lives outside the setjmp frame.
struct PngDecode {
    Reader reader{};
    png_structp png = nullptr;
    png_infop info = nullptr;
    dv::Bitmap* bitmap = nullptr;
    Layout layout = Layout::Bgr;
    std::vector<uint32_t> palette;
    std::vector<uint8_t> scratch;  // rows with alpha, composited afterwards (or a strip's)
    std::vector<png_bytep> rows;
    uint32_t scale = 1;              // keep every scale-th pixel of every scale-th row
    bool rowByRow = false;           // rows are read one at a time into one buffer
    std::vector<uint8_t> kept;       // one row of the kept pixels, as libpng gives them
    uint32_t width = 0, height = 0;  // of the picture decoded (kept pixels), before a turn
    int orientation = 0;             // the Exif orientation seen before the image data
    int32_t turn = 0;                // rotate-flip type applied while decoding
    std::vector<uint8_t> strip;      // rows in the bitmap's format before they are turned
    size_t stripStride = 0;
    PngLoad* load = nullptr;
    bool inflatedAtOnce = false;  // the rows came from InflatePngRows, not libpng
    Status status = dv::GenericError;
};

// Bytes of IDAT data in the file (each chunk as far as the file holds it).
// Chunks are length, type, data and CRC, after the 8-byte signature.
uint64_t IdatBytes(const uint8_t* data, size_t size) {
    uint64_t bytes = 0;
    for (size_t at = 8; at < size && size - at >= 8;) {
        const uint64_t length = uint64_t(data[at]) << 24 | uint64_t(data[at + 1]) << 16 |
                                uint64_t(data[at + 2]) << 8 | data[at + 3];
        if (std::memcmp(data + at + 4, "IDAT", 4) == 0) {
            bytes += std::min<uint64_t>(length, size - at - 8);
        }
        if (length > size - at - 8) break;
        at += 8 + size_t(length) + 4;
    }
    return bytes;
}

// Reads the header, sets the transformations and makes the bitmap. Returns
// false on a header the decoder refuses (status says why).
bool Prepare(PngDecode& d) {
    png_structp png = d.png;
    png_infop info = d.info;
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
    if (uint64_t(width) * height > dv::kMaxImagePixels) {
        d.status = dv::OutOfMemory;
        return false;
    }
    // The image data is deflate data: its bytes, at the largest expansion,
    // must reach the samples (filter bytes left out), else a small file could
    // claim a large bitmap that is made before the data runs out.
    const uint64_t sampleBytes =
        (uint64_t(width) * height * png_get_channels(png, info) * uint32_t(depth) + 7) / 8;
    if (IdatBytes(d.reader.data, d.reader.size) * kMaxDeflateExpansion < sampleBytes) return false;
    const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_bytep trnsAlpha = nullptr;
    int trnsCount = 0;
    png_color_16p trnsColour = nullptr;
    if (trns) png_get_tRNS(png, info, &trnsAlpha, &trnsCount, &trnsColour);

    int32_t format = dv::PixelFormat24bppRGB;
    if (colour == PNG_COLOR_TYPE_PALETTE) {
        png_colorp entries = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &entries, &count);
        for (int i = 0; i < count; ++i) {
            const uint8_t a = i < trnsCount && trnsAlpha ? trnsAlpha[i] : 255;
            d.palette.push_back(
                EntryOverWhite(entries[i].red, entries[i].green, entries[i].blue, a));
        }
        format = depth == 1 ? dv::PixelFormat1bppIndexed : dv::PixelFormat8bppIndexed;
        d.layout = depth == 1 ? Layout::Bits : Layout::Indexes;
        if (depth < 8 && depth > 1) png_set_packing(png);
    } else if (colour == PNG_COLOR_TYPE_GRAY && depth == 1) {
        d.palette = {0xFF000000u, 0xFFFFFFFFu};
        if (trns && trnsColour) d.palette[trnsColour->gray & 1] = 0xFFFFFFFFu;
        format = dv::PixelFormat1bppIndexed;
        d.layout = Layout::Bits;
    } else if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) {
        format = dv::PixelFormat8bppIndexed;
        d.layout = colour == PNG_COLOR_TYPE_GRAY && !trns ? Layout::Grey : Layout::GreyAlpha;
        if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
        if (trns) png_set_tRNS_to_alpha(png);
    } else {
        d.layout = colour == PNG_COLOR_TYPE_RGB && !trns ? Layout::Bgr : Layout::Bgra;
        if (trns) png_set_tRNS_to_alpha(png);
        png_set_bgr(png);
    }
    if (depth == 16) png_set_scale_16(png);  // rounded, not cut
    if (interlace != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const uint32_t k = d.scale;
    d.width = (width + k - 1) / k;
    d.height = (height + k - 1) / k;
    // The turn is made here when the orientation is known before the image
    // data and the rows come whole and in order, of whole-byte pixels;
    // otherwise the loader turns the decoded picture.
    png_bytep exif = nullptr;
    png_uint_32 exifSize = 0;
    if (d.load->upright && interlace == PNG_INTERLACE_NONE && d.layout != Layout::Bits &&
        png_get_eXIf_1(png, info, &exifSize, &exif) && exif) {
        d.orientation = ExifOrientation(exif, exifSize);
        d.turn = kUprightTurn[d.orientation];
    }
    const bool swap = (d.turn & 1) != 0;
    d.status = NewBitmap(swap ? d.height : d.width, swap ? d.width : d.height, format, &d.bitmap);
    if (d.status != dv::Ok) return false;
    d.status = dv::GenericError;  // what a later libpng error means
    const size_t rowBytes = png_get_rowbytes(png, info);
    if (d.turn != 0) {
        d.stripStride = size_t(d.width) * (format == dv::PixelFormat24bppRGB ? 3 : 1);
        d.strip.resize(d.stripStride * kStripRows + 8);  // + 8: see TurnStrip
    }
    if (k > 1) {
        // Rows go one at a time through one buffer, and only every k-th is
        // kept; an interlaced image needs all its rows at once.
        d.rowByRow = interlace == PNG_INTERLACE_NONE;
        d.scratch.resize(rowBytes * (d.rowByRow ? 1 : height));
        d.kept.resize(rowBytes);
        d.rows.resize(height);
        for (uint32_t y = 0; y < height; ++y)
            d.rows[y] = d.scratch.data() + (d.rowByRow ? 0 : size_t(y) * rowBytes);
        return true;
    }
    const bool direct = d.layout != Layout::GreyAlpha && d.layout != Layout::Bgra;
    if (d.turn != 0) {
        // A strip of rows at a time, through rows with alpha when the
        // picture has it.
        if (!direct) d.scratch.resize(rowBytes * kStripRows);
        d.rows.resize(kStripRows);
        for (uint32_t y = 0; y < kStripRows; ++y) {
            d.rows[y] = direct ? d.strip.data() + size_t(y) * d.stripStride
                               : d.scratch.data() + size_t(y) * rowBytes;
        }
        return true;
    }
    // Rows with alpha go to a whole picture of them, composited afterwards:
    // made only when libpng reads them (see PrepareAlphaRows).
    d.rows.resize(height);
    if (!direct) return true;
    for (uint32_t y = 0; y < height; ++y)
        d.rows[y] = d.bitmap->Pixels() + size_t(y) * d.bitmap->GetStride();
    return true;
}

// The rows with alpha of a whole picture that libpng reads at full size and
// upright, composited over white afterwards.
void PrepareAlphaRows(PngDecode& d) {
    if (d.scale != 1 || d.turn != 0 || (d.layout != Layout::GreyAlpha && d.layout != Layout::Bgra))
        return;
    const size_t rowBytes = png_get_rowbytes(d.png, d.info);
    d.scratch.resize(rowBytes * d.rows.size());
    for (size_t y = 0; y < d.rows.size(); ++y) d.rows[y] = d.scratch.data() + y * rowBytes;
}

// Bytes of one pixel of a row as libpng gives it (0 for bits).
uint32_t PixelBytes(Layout layout) {
    switch (layout) {
        case Layout::Bits:
            return 0;
        case Layout::Indexes:
        case Layout::Grey:
            return 1;
        case Layout::GreyAlpha:
            return 2;
        case Layout::Bgr:
            return 3;
        case Layout::Bgra:
            return 4;
    }
    return 0;
}

// Writes a row as libpng gives it (width pixels) into the bitmap's row dst:
// copied, or composited over white when it carries alpha.
void PutRow(Layout layout, const uint8_t* src, uint32_t width, uint8_t* dst) {
    if (layout == Layout::GreyAlpha) {
        for (uint32_t x = 0; x < width; ++x) dst[x] = OverWhite(src[2 * x], src[2 * x + 1]);
    } else if (layout == Layout::Bgra) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t a = src[4 * x + 3];
            for (int c = 0; c < 3; ++c) dst[3 * x + c] = OverWhite(src[4 * x + c], a);
        }
    } else if (layout == Layout::Bits) {
        std::memcpy(dst, src, (width + 7) / 8);
    } else {
        std::memcpy(dst, src, size_t(width) * PixelBytes(layout));
    }
}

// Turns the strip's first rows (rows y0 to y0 + rows - 1 of the picture) into
// their places in the bitmap.
void TurnStripIn(PngDecode& d, uint32_t y0, uint32_t rows) {
    dv::Bitmap* bm = d.bitmap;
    const uint32_t bytes = bm->GetPixelFormat() == dv::PixelFormat24bppRGB ? 3 : 1;
    TurnStrip(d.turn, bytes, d.strip.data(), d.stripStride, d.width, d.height, y0, rows,
              bm->Pixels(), bm->GetStride());
}

// Keeps every scale-th pixel of row y (as libpng gives it), when y is a row
// kept, in the reduced bitmap, or in the strip turned into it when it is full.
void KeepRow(PngDecode& d, const uint8_t* row, uint32_t y) {
    if (y % d.scale != 0) return;
    const uint32_t k = d.scale, width = d.width;
    uint8_t* kept = d.kept.data();
    if (d.layout == Layout::Bits) {  // first pixel in the highest bit
        std::memset(kept, 0, (width + 7) / 8);
        for (uint32_t x = 0; x < width; ++x) {
            const size_t from = size_t(x) * k;
            if (row[from / 8] >> (7 - from % 8) & 1) kept[x / 8] |= uint8_t(0x80 >> (x % 8));
        }
    } else {
        const uint32_t bytes = PixelBytes(d.layout);
        for (uint32_t x = 0; x < width; ++x)
            std::memcpy(kept + size_t(x) * bytes, row + size_t(x) * k * bytes, bytes);
    }
    if (d.turn == 0) {
        PutRow(d.layout, kept, width, d.bitmap->Pixels() + size_t(y / k) * d.bitmap->GetStride());
        return;
    }
    const uint32_t at = y / k % kStripRows;
    PutRow(d.layout, kept, width, d.strip.data() + size_t(at) * d.stripStride);
    if (at + 1 == kStripRows || y / k + 1 == d.height) TurnStripIn(d, y / k - at, at + 1);
}

// The rows of a plain picture (8 bits a sample: grey, palette or colour,
// with or without an alpha channel, no tRNS transparency outside a palette,
// not interlaced) inflated at once (PngRows.h) and put where libpng's would
// go, composited over white as libpng's are. False, with nothing decided,
// for any other picture or a file that is not plain after all: libpng reads
// it.
bool ReadPlainRows(PngDecode& d) {
    const bool palette = png_get_color_type(d.png, d.info) == PNG_COLOR_TYPE_PALETTE;
    if (!d.load->inflateAtOnce || png_get_bit_depth(d.png, d.info) != 8 ||
        png_get_interlace_type(d.png, d.info) != PNG_INTERLACE_NONE ||
        (!palette && png_get_valid(d.png, d.info, PNG_INFO_tRNS) != 0))
        return false;
    const uint32_t width = png_get_image_width(d.png, d.info);
    const uint32_t height = png_get_image_height(d.png, d.info);
    PngRows rows;
    if (!InflatePngRows(d.reader.data, d.reader.size, width, height,
                        png_get_channels(d.png, d.info), rows))
        return false;
    // An eXIf chunk after the image data counts only when none came before
    // (libpng keeps the first): then libpng reads the file to find it.
    if (rows.exifAfter && png_get_valid(d.png, d.info, PNG_INFO_eXIf) == 0) return false;
    // Row y as libpng gives it: red and blue swapped.
    std::vector<uint8_t> given(size_t(width) * 4);
    const auto asGiven = [&](uint32_t y) {
        const uint8_t* row = rows.Row(y);
        if (d.layout == Layout::Bgr) {
            CopyRgbAsBgr(row, given.data(), width);
        } else if (d.layout == Layout::Bgra) {
            for (size_t x = 0; x < width; ++x) {
                given[4 * x] = row[4 * x + 2], given[4 * x + 1] = row[4 * x + 1];
                given[4 * x + 2] = row[4 * x], given[4 * x + 3] = row[4 * x + 3];
            }
        } else {
            return row;
        }
        return static_cast<const uint8_t*>(given.data());
    };
    // Row y put into out as the bitmap holds it (colour straight into place).
    const auto put = [&](uint32_t y, uint8_t* out) {
        if (d.layout == Layout::Bgr) {
            CopyRgbAsBgr(rows.Row(y), out, width);
        } else {
            PutRow(d.layout, asGiven(y), width, out);
        }
    };
    if (d.scale > 1) {
        for (uint32_t y = 0; y < height; y += d.scale) KeepRow(d, asGiven(y), y);
    } else if (d.turn != 0) {
        for (uint32_t y0 = 0; y0 < height; y0 += kStripRows) {
            const uint32_t n = std::min(kStripRows, height - y0);
            for (uint32_t y = 0; y < n; ++y)
                put(y0 + y, d.strip.data() + size_t(y) * d.stripStride);
            TurnStripIn(d, y0, n);
        }
    } else {
        for (uint32_t y = 0; y < height; ++y)
            put(y, d.bitmap->Pixels() + size_t(y) * d.bitmap->GetStride());
    }
    d.inflatedAtOnce = true;
    return true;
}

bool ReadPixels(PngDecode& d) {
    if (setjmp(png_jmpbuf(d.png))) return false;
    if (!Prepare(d)) return false;
    if (ReadPlainRows(d)) return true;
    PrepareAlphaRows(d);
    if (d.turn != 0 && d.scale == 1) {
        for (uint32_t y0 = 0; y0 < d.height; y0 += kStripRows) {
            const uint32_t n = std::min(kStripRows, d.height - y0);
            png_read_rows(d.png, d.rows.data(), nullptr, n);
            if (!d.scratch.empty())  // composited into the strip
                for (uint32_t y = 0; y < n; ++y)
                    PutRow(d.layout, d.rows[y], d.width,
                           d.strip.data() + size_t(y) * d.stripStride);
            TurnStripIn(d, y0, n);
        }
        return true;
    }
    const uint32_t height = uint32_t(d.rows.size());
    if (d.rowByRow) {
        for (uint32_t y = 0; y < height; ++y) {
            png_read_row(d.png, d.rows[y], nullptr);
            KeepRow(d, d.rows[y], y);
        }
        return true;
    }
    png_read_image(d.png, d.rows.data());
    if (d.scale > 1)
        for (uint32_t y = 0; y < height; y += d.scale) KeepRow(d, d.rows[y], y);
    return true;
}

// Reads what follows the image data (an eXIf chunk may sit there); damage
// there does not spoil the image.
void ReadEnd(PngDecode& d) {
    if (setjmp(png_jmpbuf(d.png))) return;
    png_read_end(d.png, d.info);
}

void Composite(PngDecode& d) {
    dv::Bitmap* bm = d.bitmap;
    for (uint32_t y = 0; y < bm->GetHeight(); ++y)
        PutRow(d.layout, d.rows[y], bm->GetWidth(), bm->Pixels() + size_t(y) * bm->GetStride());
}

}  // namespace

Status DecodePng(const uint8_t* data, size_t size, dv::Bitmap** out) {
    return DecodePng(data, size, out, 1);
}

Status DecodePng(const uint8_t* data, size_t size, dv::Bitmap** out, uint32_t scale) {
    PngLoad load;
    load.scale = scale;
    return DecodePng(data, size, out, load);
}

Status DecodePng(const uint8_t* data, size_t size, dv::Bitmap** out, PngLoad& load) {
    const uint32_t scale = load.scale;
    load.turnedFrom = 0;
    if (scale != 1 && scale != 2 && scale != 4 && scale != 8) return dv::InvalidParameter;
    PngDecode d;
    d.load = &load;
    d.scale = scale;
    d.reader = {data, size, 0};
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!d.png) return dv::OutOfMemory;
    d.info = png_create_info_struct(d.png);
    if (!d.info) {
        png_destroy_read_struct(&d.png, nullptr, nullptr);
        return dv::OutOfMemory;
    }
    png_set_read_fn(d.png, &d.reader, ReadBytes);
    // Limits against files that claim huge sizes or chunks.
    png_set_user_limits(d.png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_chunk_malloc_max(d.png, 64u << 20);
    bool ok = false;
    try {
        ok = ReadPixels(d);
    } catch (...) {
        png_destroy_read_struct(&d.png, &d.info, nullptr);
        delete d.bitmap;
        throw;
    }
    if (ok) {
        if (!d.inflatedAtOnce) ReadEnd(d);  // else nothing the decode uses follows
        if (scale == 1 && d.turn == 0 && !d.inflatedAtOnce &&
            (d.layout == Layout::GreyAlpha || d.layout == Layout::Bgra))
            Composite(d);
        if (!d.palette.empty()) {
            SetPaletteEntries(d.bitmap, d.palette.data(), uint32_t(d.palette.size()));
        }
        png_uint_32 xppm = 0, yppm = 0;
        int unit = 0;
        if (png_get_pHYs(d.png, d.info, &xppm, &yppm, &unit) && unit == PNG_RESOLUTION_METER) {
            SetResolutionIfValid(d.bitmap, xppm * kInchesPerMetre, yppm * kInchesPerMetre);
        }
        if (scale > 1)  // the page keeps its size in inches
            d.bitmap->SetResolution(d.bitmap->GetHorizontalResolution() / float(scale),
                                    d.bitmap->GetVerticalResolution() / float(scale));
        png_bytep exif = nullptr;
        png_uint_32 exifSize = 0;
        if (png_get_eXIf_1(d.png, d.info, &exifSize, &exif) && exif) {
            ReadExifProperties(exif, exifSize, d.bitmap);
        }
        if (d.turn != 0) load.turnedFrom = d.orientation;
        *out = d.bitmap;
    } else {
        delete d.bitmap;
    }
    png_destroy_read_struct(&d.png, &d.info, nullptr);
    return ok ? dv::Ok : d.status;
}

namespace {

struct PngEncode {
    png_structp png = nullptr;
    png_infop info = nullptr;
    const dv::Bitmap* bitmap = nullptr;
    std::vector<uint32_t> palette;
    std::vector<uint8_t> exif;
    ByteBuffer* out = nullptr;
};

bool WritePng(PngEncode& e) {
    png_structp png = e.png;
    png_infop info = e.info;
    if (setjmp(png_jmpbuf(png))) return false;
    const dv::Bitmap* bm = e.bitmap;
    const int32_t format = bm->GetPixelFormat();
    const bool bits = format == dv::PixelFormat1bppIndexed;
    const bool bw = bits && e.palette.size() == 2 && (e.palette[0] & 0xFFFFFF) == 0 &&
                    (e.palette[1] & 0xFFFFFF) == 0xFFFFFF;
    const bool ramp = IsGreyRamp(e.palette);
    int colour = PNG_COLOR_TYPE_RGB;
    if (format != dv::PixelFormat24bppRGB) {
        colour = bw || ramp ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE;
    }
    png_set_write_fn(png, e.out, WriteBytes, Flush);
    png_set_IHDR(png, info, bm->GetWidth(), bm->GetHeight(), bits ? 1 : 8, colour,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colour == PNG_COLOR_TYPE_PALETTE) {
        png_color entries[256];
        for (size_t i = 0; i < e.palette.size(); ++i) {
            entries[i] = {uint8_t(e.palette[i] >> 16), uint8_t(e.palette[i] >> 8),
                          uint8_t(e.palette[i])};
        }
        png_set_PLTE(png, info, entries, int(e.palette.size()));
    }
    png_set_pHYs(png, info, png_uint_32(bm->GetHorizontalResolution() / kInchesPerMetre + 0.5),
                 png_uint_32(bm->GetVerticalResolution() / kInchesPerMetre + 0.5),
                 PNG_RESOLUTION_METER);
    if (!e.exif.empty()) png_set_eXIf_1(png, info, png_uint_32(e.exif.size()), e.exif.data());
    png_write_info(png, info);
    if (colour == PNG_COLOR_TYPE_RGB) png_set_bgr(png);
    for (uint32_t y = 0; y < bm->GetHeight(); ++y) {
        png_write_row(png, bm->Pixels() + size_t(y) * bm->GetStride());
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

Status EncodePng(const dv::Bitmap* bm, const EncodeSettings&, ByteBuffer& out) {
    PngEncode e;
    e.bitmap = bm;
    e.out = &out;
    e.palette = PaletteOf(bm);
    const Status status = BuildExifBlock(bm, e.exif);
    if (status != dv::Ok) return status;
    e.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!e.png) return dv::OutOfMemory;
    e.info = png_create_info_struct(e.png);
    if (!e.info) {
        png_destroy_write_struct(&e.png, nullptr);
        return dv::OutOfMemory;
    }
    const bool ok = WritePng(e);
    png_destroy_write_struct(&e.png, &e.info);
    if (out.Failed()) return dv::OutOfMemory;
    return ok ? dv::Ok : dv::GenericError;
}

}  // namespace gw::codec
