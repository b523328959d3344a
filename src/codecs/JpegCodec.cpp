// JPEG through libjpeg-turbo. Grey files become 8-bit grey, colour and CMYK
// files 24-bit. The JFIF density gives the resolution and an APP1 Exif
// segment the metadata properties. Files are written as JFIF (so that format
// recognition finds them), with Exif after the JFIF segment.
#include <cstdio>  // jpeglib.h needs FILE
#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "codecs/CodecSupport.h"
#include "codecs/ExifProperties.h"
#include "platform/PixelTurn.h"

namespace gw::codec {
namespace {

constexpr uint8_t kExifId[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr size_t kMaxSegment = 65533;  // bytes of an APP segment after its length

// Errors return to the setjmp of the running call; messages are dropped.
struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
    bool truncated;  // libjpeg met the end of the data before the image's end
};

void OnError(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}
void OnMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
        reinterpret_cast<ErrorManager*>(cinfo->err)->truncated = true;
    }
}
void OnOutput(j_common_ptr) {}

void InitErrors(ErrorManager& err) {
    jpeg_std_error(&err.base);
    err.base.error_exit = OnError;
    err.base.emit_message = OnMessage;
    err.base.output_message = OnOutput;
    err.truncated = false;
}

struct JpegDecode {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    dv::Bitmap* bitmap = nullptr;
    std::vector<uint8_t> cmyk;   // one row of CMYK samples
    std::vector<uint8_t> strip;  // rows decoded before they are turned into place
    int32_t turn = 0;            // rotate-flip type applied while decoding
    std::vector<uint8_t> exif;   // the Exif block, copied before libjpeg frees its markers
    Status status = dv::GenericError;
    JpegLoad* load = nullptr;
};

bool Start(JpegDecode& d, const uint8_t* data, size_t size) {
    jpeg_decompress_struct& c = d.cinfo;
    jpeg_mem_src(&c, data, static_cast<unsigned long>(size));
    jpeg_save_markers(&c, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&c, TRUE);
    if (uint64_t(c.image_width) * c.image_height > dv::kMaxImagePixels) {
        d.status = dv::OutOfMemory;
        return false;
    }
    // Huffman-coded data spends at least one bit on every 8 x 8 block of a
    // component it codes, and a component sampled 4 times more coarsely each
    // way still has a block for every 32 x 32 pixels: a byte holds at most
    // 8 * 1024 pixels. Data that ends early is refused (see Decompress), so a
    // small file cannot claim a large image. Arithmetic coding has no such
    // bound.
    constexpr uint64_t kMaxPixelsPerByte = 8 * 32 * 32;
    if (!c.arith_code && uint64_t(c.image_width) * c.image_height > kMaxPixelsPerByte * size) {
        return false;
    }
    if (d.load->scale > 1) {
        c.scale_num = 1;
        c.scale_denom = d.load->scale;
    }
    int32_t format = dv::PixelFormat24bppRGB;
    if (c.jpeg_color_space == JCS_GRAYSCALE) {
        c.out_color_space = JCS_GRAYSCALE;
        format = dv::PixelFormat8bppIndexed;
    } else if (c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK) {
        c.out_color_space = JCS_CMYK;
    } else {
        c.out_color_space = JCS_EXT_BGR;
    }
    jpeg_calc_output_dimensions(&c);
    for (jpeg_saved_marker_ptr m = c.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && m->data_length > sizeof kExifId &&
            std::memcmp(m->data, kExifId, sizeof kExifId) == 0) {
            d.exif.assign(m->data + sizeof kExifId, m->data + m->data_length);
            break;
        }
    }
    if (d.load->upright && !d.exif.empty()) {
        const int orientation = ExifOrientation(d.exif.data(), d.exif.size());
        d.turn = kUprightTurn[orientation];
        if (d.turn != 0) d.load->turnedFrom = orientation;
    }
    const bool swap = (d.turn & 1) != 0;
    d.status = NewBitmap(swap ? c.output_height : c.output_width,
                         swap ? c.output_width : c.output_height, format, &d.bitmap);
    if (d.status != dv::Ok) return false;
    if (c.out_color_space == JCS_CMYK) d.cmyk.resize(size_t(c.output_width) * 4);
    d.status = dv::GenericError;
    return true;
}

bool Decompress(JpegDecode& d, const uint8_t* data, size_t size) {
    if (setjmp(d.err.jump)) return false;
    jpeg_decompress_struct& c = d.cinfo;
    if (!Start(d, data, size)) return false;
    jpeg_start_decompress(&c);
    dv::Bitmap* bm = d.bitmap;
    // Adobe files store CMYK inverted.
    const bool inverted = c.saw_Adobe_marker;
    // Straight into the bitmap's rows, in its order (blue, green, red), as
    // many rows a call as the decoder gives at once; a picture to be turned
    // goes through a strip of rows that are then turned into place.
    // A strip of 64 rows gives each turned row a run of 64 pixels (1 or 3
    // whole cache lines' worth) and stays in the second-level cache.
    constexpr JDIMENSION kRowsAtOnce = 64;
    const uint32_t bytes = c.out_color_space == JCS_GRAYSCALE ? 1 : 3;
    const size_t stripStride = size_t(c.output_width) * bytes;
    if (d.turn != 0) d.strip.resize(stripStride * kRowsAtOnce + 8);  // + 8: see TurnColumns
    JSAMPROW rows[kRowsAtOnce];
    while (c.output_scanline < c.output_height) {
        const JDIMENSION y0 = c.output_scanline;
        const JDIMENSION n = c.out_color_space == JCS_CMYK
                                 ? 1
                                 : std::min<JDIMENSION>(kRowsAtOnce, c.output_height - y0);
        uint8_t* first = d.turn != 0 ? d.strip.data() : bm->Pixels() + size_t(y0) * bm->GetStride();
        const size_t stride = d.turn != 0 ? stripStride : bm->GetStride();
        if (c.out_color_space != JCS_CMYK) {
            for (JDIMENSION k = 0; k < n; ++k) rows[k] = first + size_t(k) * stride;
            for (JDIMENSION got = 0; got < n;) {
                const JDIMENSION k = jpeg_read_scanlines(&c, rows + got, n - got);
                if (k == 0) break;  // suspended: cannot happen with data in memory
                got += k;
            }
        } else {
            uint8_t* samples = d.cmyk.data();
            jpeg_read_scanlines(&c, &samples, 1);
            for (uint32_t x = 0; x < c.output_width; ++x) {
                uint32_t k = samples[4 * x + 3];
                if (!inverted) k = 255 - k;
                for (int ch = 0; ch < 3; ++ch) {
                    uint32_t v = samples[4 * x + 2 - ch];  // yellow, magenta, cyan give B, G, R
                    if (!inverted) v = 255 - v;
                    first[3 * x + ch] = uint8_t((v * k + 127) / 255);
                }
            }
        }
        if (d.turn != 0)
            TurnStrip(d.turn, bytes, d.strip.data(), stripStride, c.output_width, c.output_height,
                      y0, c.output_scanline - y0, bm->Pixels(), bm->GetStride());
    }
    jpeg_finish_decompress(&c);
    d.load->cutShort = d.err.truncated;
    return !d.err.truncated || d.load->acceptCutShort;
}

}  // namespace

int ExifOrientation(const uint8_t* b, size_t size) {
    if (b == nullptr || size < 8) return 0;
    const bool le = b[0] == 'I' && b[1] == 'I', be = b[0] == 'M' && b[1] == 'M';
    if (!le && !be) return 0;
    const auto u16 = [&](size_t at) -> uint32_t {
        return le ? uint32_t(b[at] | b[at + 1] << 8) : uint32_t(b[at] << 8 | b[at + 1]);
    };
    const auto u32 = [&](size_t at) -> uint32_t {
        return le ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    const size_t ifd = u32(4);
    if (ifd > size - 2) return 0;
    const uint32_t entries = u16(ifd);
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t e = ifd + 2 + 12 * size_t(i);
        if (e > size - 12) return 0;
        if (u16(e) != 0x0112) continue;
        if (u16(e + 2) != 3 || u32(e + 4) != 1) return 0;  // one SHORT
        const uint32_t v = u16(e + 8);
        return v >= 1 && v <= 8 ? int(v) : 0;
    }
    return 0;
}

namespace {

void ReadMetadata(JpegDecode& d) {
    const jpeg_decompress_struct& c = d.cinfo;
    double dpiX = 0, dpiY = 0;
    if (c.saw_JFIF_marker && c.density_unit == 1) {
        dpiX = c.X_density, dpiY = c.Y_density;
    } else if (c.saw_JFIF_marker && c.density_unit == 2) {
        dpiX = c.X_density * 2.54, dpiY = c.Y_density * 2.54;
    }
    SetResolutionIfValid(d.bitmap, dpiX / d.load->scale, dpiY / d.load->scale);
    if (!d.exif.empty()) ReadExifProperties(d.exif.data(), d.exif.size(), d.bitmap);
}

}  // namespace

Status DecodeJpeg(const uint8_t* data, size_t size, dv::Bitmap** out) {
    JpegLoad load;
    return DecodeJpeg(data, size, out, load);
}

Status DecodeJpeg(const uint8_t* data, size_t size, dv::Bitmap** out, JpegLoad& load) {
    JpegDecode d;
    d.load = &load;
    load.cutShort = false;
    InitErrors(d.err);
    d.cinfo.err = &d.err.base;
    jpeg_create_decompress(&d.cinfo);
    // Progressive files keep all coefficients; a header that claims more than
    // this is refused instead of being allocated.
    d.cinfo.mem->max_memory_to_use = 1L << 30;
    bool ok = false;
    try {
        ok = Decompress(d, data, size);
        if (ok) ReadMetadata(d);
    } catch (...) {
        jpeg_destroy_decompress(&d.cinfo);
        delete d.bitmap;
        throw;
    }
    jpeg_destroy_decompress(&d.cinfo);
    if (!ok) {
        delete d.bitmap;
        return d.status;
    }
    *out = d.bitmap;
    return dv::Ok;
}

namespace {

// Compressed bytes go through a fixed buffer into the output.
struct Destination {
    jpeg_destination_mgr base;
    ByteBuffer* out;
    uint8_t buffer[65536];
};

void InitDestination(j_compress_ptr c) {
    auto* d = reinterpret_cast<Destination*>(c->dest);
    d->base.next_output_byte = d->buffer;
    d->base.free_in_buffer = sizeof d->buffer;
}
boolean EmptyBuffer(j_compress_ptr c) {
    auto* d = reinterpret_cast<Destination*>(c->dest);
    if (!d->out->Append(d->buffer, sizeof d->buffer)) ERREXIT(c, JERR_OUT_OF_MEMORY);
    InitDestination(c);
    return TRUE;
}
void TermDestination(j_compress_ptr c) {
    auto* d = reinterpret_cast<Destination*>(c->dest);
    if (!d->out->Append(d->buffer, sizeof d->buffer - d->base.free_in_buffer)) {
        ERREXIT(c, JERR_OUT_OF_MEMORY);
    }
}

struct JpegEncode {
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    Destination dest{};
    const dv::Bitmap* bitmap = nullptr;
    std::vector<uint32_t> palette;
    std::vector<uint8_t> exif;  // "Exif\0\0" and the block
    std::vector<uint8_t> row;   // an indexed row converted
};

bool Compress(JpegEncode& e, uint32_t quality) {
    if (setjmp(e.err.jump)) return false;
    jpeg_compress_struct& c = e.cinfo;
    const dv::Bitmap* bm = e.bitmap;
    const bool indexed = bm->GetPixelFormat() != dv::PixelFormat24bppRGB;
    const bool grey = indexed && IsNeutral(e.palette);
    c.dest = &e.dest.base;
    c.image_width = bm->GetWidth();
    c.image_height = bm->GetHeight();
    c.input_components = grey ? 1 : 3;
    c.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, int(quality), TRUE);
    c.write_JFIF_header = TRUE;
    c.density_unit = 1;
    auto density = [](float dpi) {
        return uint16_t(dpi < 1 ? 1 : dpi > 65535 ? 65535 : dpi + 0.5f);
    };
    c.X_density = density(bm->GetHorizontalResolution());
    c.Y_density = density(bm->GetVerticalResolution());
    jpeg_start_compress(&c, TRUE);
    if (!e.exif.empty()) {
        jpeg_write_marker(&c, JPEG_APP0 + 1, e.exif.data(), unsigned(e.exif.size()));
    }
    while (c.next_scanline < c.image_height) {
        const uint32_t y = c.next_scanline;
        JSAMPROW row = const_cast<uint8_t*>(bm->Pixels()) + size_t(y) * bm->GetStride();
        if (indexed) {
            if (grey) {
                RowToBytes(bm, e.palette, y, true, e.row.data());
            } else {
                RowToBgr(bm, e.palette, y, e.row.data());
            }
            row = e.row.data();
        }
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    return true;
}

}  // namespace

Status EncodeJpeg(const dv::Bitmap* bm, const EncodeSettings& settings, ByteBuffer& out) {
    if (bm->GetWidth() > JPEG_MAX_DIMENSION || bm->GetHeight() > JPEG_MAX_DIMENSION) {
        return dv::ValueOverflow;
    }
    JpegEncode e;
    e.bitmap = bm;
    e.palette = PaletteOf(bm);
    std::vector<uint8_t> block;
    const Status status = BuildExifBlock(bm, block);
    if (status != dv::Ok) return status;
    if (!block.empty()) {
        if (block.size() + sizeof kExifId > kMaxSegment) return dv::ValueOverflow;
        e.exif.assign(kExifId, kExifId + sizeof kExifId);
        e.exif.insert(e.exif.end(), block.begin(), block.end());
    }
    e.row.resize(size_t(bm->GetWidth()) * 3);
    e.dest.out = &out;
    e.dest.base.init_destination = InitDestination;
    e.dest.base.empty_output_buffer = EmptyBuffer;
    e.dest.base.term_destination = TermDestination;
    InitErrors(e.err);
    e.cinfo.err = &e.err.base;
    jpeg_create_compress(&e.cinfo);
    const bool ok = Compress(e, settings.quality);
    jpeg_destroy_compress(&e.cinfo);
    if (out.Failed()) return dv::OutOfMemory;
    return ok ? dv::Ok : dv::GenericError;
}

}  // namespace gw::codec
