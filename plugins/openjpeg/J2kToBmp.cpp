// JPEG 2000 to BMP conversion: OpenJPEG decodes from memory, the samples are
// scaled to 8 bits and written bottom-up into BMP rows.
#include "J2kToBmp.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace gw::j2k {
namespace {

constexpr uint8_t kCodestreamSignature[] = {0xFF, 0x4F, 0xFF, 0x51};
constexpr uint8_t kJp2Signature[] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50,
                                     0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kGreyPaletteBytes = 256 * 4;

enum class Kind { None, Codestream, Jp2 };

Kind DetectKind(const uint8_t* data, size_t size) {
    if (size >= sizeof kJp2Signature && std::memcmp(data, kJp2Signature, sizeof kJp2Signature) == 0)
        return Kind::Jp2;
    if (size >= sizeof kCodestreamSignature &&
        std::memcmp(data, kCodestreamSignature, sizeof kCodestreamSignature) == 0)
        return Kind::Codestream;
    return Kind::None;
}

uint32_t ReadBe32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// One box of a JP2 file: its type and the extent of its content.
struct Box {
    uint32_t type = 0;
    size_t begin = 0;
    size_t end = 0;
};

// Reads the box at pos (within [pos, limit)) and moves pos past it. A box
// longer than the data is refused, or with cut true ends at limit.
bool NextBox(const uint8_t* data, size_t limit, size_t& pos, Box* box, bool cut = false) {
    if (limit - pos < 8) return false;
    uint64_t length = ReadBe32(data + pos);
    box->type = ReadBe32(data + pos + 4);
    size_t header = 8;
    if (length == 1) {
        if (limit - pos < 16) return false;
        length = uint64_t(ReadBe32(data + pos + 8)) << 32 | ReadBe32(data + pos + 12);
        header = 16;
    } else if (length == 0) {
        length = limit - pos;
    }
    if (length < header || (length > limit - pos && !cut)) return false;
    length = std::min<uint64_t>(length, limit - pos);
    box->begin = pos + header;
    box->end = pos + size_t(length);
    pos = box->end;
    return true;
}

// Number of channels a JP2 palette expands the image into (the component
// mapping's entries), or 0 when the file has no palette. OpenJPEG applies the
// palette only while decoding, so the headers alone do not show it.
uint32_t PaletteChannels(const uint8_t* data, size_t size) {
    constexpr uint32_t kHeaderBox = 0x6A703268;   // "jp2h"
    constexpr uint32_t kPaletteBox = 0x70636C72;  // "pclr"
    constexpr uint32_t kMappingBox = 0x636D6170;  // "cmap"
    size_t pos = 0;
    Box box;
    while (NextBox(data, size, pos, &box)) {
        if (box.type != kHeaderBox) continue;
        bool palette = false;
        uint32_t mapped = 0;
        size_t inner = box.begin;
        Box sub;
        while (NextBox(data, box.end, inner, &sub)) {
            if (sub.type == kPaletteBox) palette = true;
            if (sub.type == kMappingBox) mapped = uint32_t((sub.end - sub.begin) / 4);
        }
        return palette ? mapped : 0;
    }
    return 0;
}

// The codestream within the data: all of it, or the content of a JP2 file's
// "jp2c" box (up to the end of the data when the box is cut short). False when
// a JP2 file has none before its boxes stop making sense.
bool FindCodestream(const uint8_t* data, size_t size, Kind kind, size_t* begin, size_t* end) {
    constexpr uint32_t kCodestreamBox = 0x6A703263;  // "jp2c"
    if (kind == Kind::Codestream) {
        *begin = 0, *end = size;
        return true;
    }
    size_t pos = 0;
    Box box;
    while (NextBox(data, size, pos, &box, true)) {
        if (box.type == kCodestreamBox) {
            *begin = box.begin, *end = box.end;
            return true;
        }
    }
    return false;
}

uint32_t ReadBe16(const uint8_t* p) {
    return uint32_t(p[0]) << 8 | p[1];
}

// True when every one of tiles tiles has a tile-part. The main header's
// segments lead to the first SOT segment; each SOT names its tile (Isot) and
// the tile-part's length (Psot, 0: up to the end), which leads to the next.
// The last tile-part may be cut short by the end of the data.
bool EveryTileHasPart(const uint8_t* cs, size_t length, uint64_t tiles) {
    constexpr uint32_t kSot = 0xFF90;
    size_t at = 2;  // past SOC
    while (at + 4 <= length && ReadBe16(cs + at) != kSot) at += 2 + ReadBe16(cs + at + 2);
    std::vector<bool> seen(size_t(tiles), false);
    uint64_t count = 0;
    while (at + 10 <= length && ReadBe16(cs + at) == kSot) {
        const uint32_t tile = ReadBe16(cs + at + 4);
        const uint64_t part = ReadBe32(cs + at + 6);
        if (tile < tiles && !seen[tile]) seen[tile] = true, ++count;
        if (part == 0 || part > length - at) break;
        at += size_t(part);
    }
    return count == tiles;
}

// Checks the image and tile sizes of the codestream's SIZ segment against its
// data before OpenJPEG reads the headers (it sets up every tile there, and
// decodes a missing one as blank, so a damaged size could cost seconds):
// the image may have at most kMaxImagePixels pixels on the reference grid,
// and every tile needs a tile-part of its own, each at least a 12-byte SOT
// segment and a 2-byte SOD marker (so n bytes hold at most n / 14 tiles). A
// segment OpenJPEG will refuse anyway (a zero tile size, offsets past the
// image) is left to it.
bool SizesFitData(const uint8_t* data, size_t size, Kind kind) {
    constexpr size_t kSizEnd = 42;  // markers, Lsiz, Rsiz, 8 sizes and offsets, Csiz
    constexpr uint64_t kMinTilePart = 14;
    size_t begin = 0, end = 0;
    if (!FindCodestream(data, size, kind, &begin, &end)) return true;
    const uint8_t* cs = data + begin;
    const size_t length = end - begin;
    if (length < kSizEnd || cs[2] != 0xFF || cs[3] != 0x51) return true;
    const uint64_t x1 = ReadBe32(cs + 8), y1 = ReadBe32(cs + 12);
    const uint64_t x0 = ReadBe32(cs + 16), y0 = ReadBe32(cs + 20);
    const uint64_t tileWidth = ReadBe32(cs + 24), tileHeight = ReadBe32(cs + 28);
    const uint64_t tileX0 = ReadBe32(cs + 32), tileY0 = ReadBe32(cs + 36);
    if (x0 >= x1 || y0 >= y1 || tileWidth == 0 || tileHeight == 0 || tileX0 > x0 || tileY0 > y0) {
        return true;
    }
    if ((x1 - x0) * (y1 - y0) > dv::kMaxImagePixels) return false;
    const uint64_t tiles =
        ((x1 - tileX0 + tileWidth - 1) / tileWidth) * ((y1 - tileY0 + tileHeight - 1) / tileHeight);
    return tiles <= length / kMinTilePart && EveryTileHasPart(cs, length, tiles);
}

// OpenJPEG reads from the caller's memory through these callbacks.
struct MemorySource {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

OPJ_SIZE_T ReadSource(void* buffer, OPJ_SIZE_T count, void* user) {
    auto* source = static_cast<MemorySource*>(user);
    if (source->pos >= source->size) return static_cast<OPJ_SIZE_T>(-1);
    const size_t n = std::min<size_t>(count, source->size - source->pos);
    std::memcpy(buffer, source->data + source->pos, n);
    source->pos += n;
    return n;
}

OPJ_OFF_T SkipSource(OPJ_OFF_T count, void* user) {
    auto* source = static_cast<MemorySource*>(user);
    if (count < 0 ? uint64_t(-count) > source->pos : uint64_t(count) > source->size - source->pos)
        return -1;
    source->pos = size_t(OPJ_OFF_T(source->pos) + count);
    return count;
}

OPJ_BOOL SeekSource(OPJ_OFF_T position, void* user) {
    auto* source = static_cast<MemorySource*>(user);
    if (position < 0 || uint64_t(position) > source->size) return OPJ_FALSE;
    source->pos = size_t(position);
    return OPJ_TRUE;
}

void Quiet(const char*, void*) {}

// The codec, stream and image of one decoding, released together.
class Decoding {
  public:
    Decoding(const uint8_t* data, size_t size) : source_{data, size, 0} {}
    ~Decoding() {
        if (image_) opj_image_destroy(image_);
        if (stream_) opj_stream_destroy(stream_);
        if (codec_) opj_destroy_codec(codec_);
    }
    Decoding(const Decoding&) = delete;
    Decoding& operator=(const Decoding&) = delete;

    // Reads the headers; the image then describes the components.
    bool ReadHeader(Kind kind) {
        if (!SizesFitData(source_.data, source_.size, kind)) return false;
        codec_ = opj_create_decompress(kind == Kind::Jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
        stream_ = opj_stream_create(1 << 16, OPJ_TRUE);
        if (!codec_ || !stream_) return false;
        opj_set_info_handler(codec_, Quiet, nullptr);
        opj_set_warning_handler(codec_, Quiet, nullptr);
        opj_set_error_handler(codec_, Quiet, nullptr);
        opj_dparameters_t parameters;
        opj_set_default_decoder_parameters(&parameters);
        if (!opj_setup_decoder(codec_, &parameters)) return false;
        opj_stream_set_user_data(stream_, &source_, nullptr);
        opj_stream_set_user_data_length(stream_, source_.size);
        opj_stream_set_read_function(stream_, ReadSource);
        opj_stream_set_skip_function(stream_, SkipSource);
        opj_stream_set_seek_function(stream_, SeekSource);
        return opj_read_header(stream_, codec_, &image_) && image_;
    }

    bool Decode() {
        return opj_decode(codec_, stream_, image_) && opj_end_decompress(codec_, stream_);
    }

    const opj_image_t* Image() const { return image_; }

  private:
    MemorySource source_;
    opj_codec_t* codec_ = nullptr;
    opj_stream_t* stream_ = nullptr;
    opj_image_t* image_ = nullptr;
};

uint32_t CeilDiv(uint32_t a, uint32_t b) {
    return uint32_t((uint64_t(a) + b - 1) / b);
}

// Width and height of a component on the reference grid at full resolution.
bool ComponentSize(const opj_image_t& image, const opj_image_comp_t& comp, uint64_t* width,
                   uint64_t* height) {
    if (comp.dx == 0 || comp.dy == 0 || image.x1 <= image.x0 || image.y1 <= image.y0) return false;
    *width = CeilDiv(image.x1, comp.dx) - CeilDiv(image.x0, comp.dx);
    *height = CeilDiv(image.y1, comp.dy) - CeilDiv(image.y0, comp.dy);
    return *width > 0 && *height > 0;
}

bool MakeLayout(uint64_t width, uint64_t height, uint32_t channels, BmpLayout* layout) {
    if (channels == 0 || width == 0 || height == 0 || width * height > dv::kMaxImagePixels)
        return false;
    const bool grey = channels < 3;
    layout->width = uint32_t(width);
    layout->height = uint32_t(height);
    layout->bitsPerPixel = grey ? 8 : 24;
    layout->stride = uint32_t((width * (grey ? 1 : 3) + 3) & ~uint64_t{3});
    layout->pixelOffset = kFileHeaderBytes + kInfoHeaderBytes + (grey ? kGreyPaletteBytes : 0);
    layout->fileSize = uint32_t(layout->pixelOffset + uint64_t(layout->stride) * height);
    return true;
}

// Layout from the headers, before any decoding.
bool HeaderLayout(const opj_image_t& image, uint32_t paletteChannels, BmpLayout* layout) {
    if (image.numcomps == 0 || !image.comps) return false;
    // Every component is decoded, and OpenJPEG keeps each sample as a 32-bit
    // integer, more than once while it decodes a tile: the samples of all
    // components together are held to the pixel limit (1 GB as integers).
    // A blank tile compresses to a few bytes, so a small file can declare a
    // large image legally; this bounds what it can cost.
    uint64_t samples = 0;
    for (uint32_t c = 0; c < image.numcomps; ++c) {
        uint64_t w = 0, h = 0;
        if (!ComponentSize(image, image.comps[c], &w, &h)) return false;
        samples += w * h;
        if (samples > dv::kMaxImagePixels) return false;
    }
    uint64_t width = 0, height = 0;
    ComponentSize(image, image.comps[0], &width, &height);
    return MakeLayout(width, height, paletteChannels ? paletteChannels : image.numcomps, layout);
}

void PutLe16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
    PutLe16(p, v);
    PutLe16(p + 2, v >> 16);
}

void WriteHeaders(const BmpLayout& layout, uint8_t* out) {
    std::memset(out, 0, layout.pixelOffset);
    out[0] = 'B';
    out[1] = 'M';
    PutLe32(out + 2, layout.fileSize);
    PutLe32(out + 10, layout.pixelOffset);
    uint8_t* info = out + kFileHeaderBytes;
    PutLe32(info, kInfoHeaderBytes);
    PutLe32(info + 4, layout.width);
    PutLe32(info + 8, layout.height);  // positive: rows stored bottom-up
    PutLe16(info + 12, 1);
    PutLe16(info + 14, layout.bitsPerPixel);
    PutLe32(info + 20, layout.stride * layout.height);
    if (layout.bitsPerPixel == 8) {
        PutLe32(info + 32, 256);
        uint8_t* palette = info + kInfoHeaderBytes;
        for (uint32_t i = 0; i < 256; ++i) {
            palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = uint8_t(i);
        }
    }
}

// Maps a component's samples to 8 bits and reads them on the first
// component's grid (coarser components repeat their samples).
class Channel {
  public:
    bool Init(const opj_image_comp_t& comp, const opj_image_comp_t& first) {
        if (!comp.data || comp.w == 0 || comp.h == 0 || comp.prec < 1 || comp.prec > 31 ||
            comp.dx == 0 || comp.dy == 0)
            return false;
        comp_ = &comp;
        offset_ = comp.sgnd ? int64_t{1} << (comp.prec - 1) : 0;
        shift_ = comp.prec > 8 ? comp.prec - 8 : 0;
        max_ = comp.prec < 8 ? (int64_t{1} << comp.prec) - 1 : 0;
        same_ = comp.w == first.w && comp.h == first.h;
        firstDx_ = first.dx;
        firstDy_ = first.dy;
        return true;
    }

    // Fills row y (of the first component's grid), width samples.
    void Row(uint32_t y, uint32_t width, uint8_t* row) const {
        const uint32_t cy = same_ ? y : Coarse(y, firstDy_, comp_->dy, comp_->h);
        const OPJ_INT32* src = comp_->data + size_t(cy) * comp_->w;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t cx = same_ ? x : Coarse(x, firstDx_, comp_->dx, comp_->w);
            row[x] = To8(src[cx]);
        }
    }

  private:
    static uint32_t Coarse(uint32_t i, uint32_t from, uint32_t to, uint32_t count) {
        return uint32_t(std::min<uint64_t>(uint64_t(i) * from / to, count - 1));
    }

    uint8_t To8(OPJ_INT32 sample) const {
        int64_t v = int64_t(sample) + offset_;
        if (shift_) v >>= shift_;
        if (max_) v = v * 255 / max_;
        return uint8_t(std::clamp<int64_t>(v, 0, 255));
    }

    const opj_image_comp_t* comp_ = nullptr;
    int64_t offset_ = 0;
    uint32_t shift_ = 0;
    int64_t max_ = 0;
    bool same_ = true;
    uint32_t firstDx_ = 1;
    uint32_t firstDy_ = 1;
};

uint8_t Clamp8(int32_t v) {
    return uint8_t(std::clamp(v, 0, 255));
}

// sYCC (full range, as OpenJPEG's own tools read it) to RGB, in 16.16 fixed
// point.
void YccToRgb(uint8_t* r, uint8_t* g, uint8_t* b, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x) {
        const int32_t y = r[x], cb = g[x] - 128, cr = b[x] - 128;
        r[x] = Clamp8(y + ((91881 * cr + 32768) >> 16));
        g[x] = Clamp8(y - ((22554 * cb + 46802 * cr - 32768) >> 16));
        b[x] = Clamp8(y + ((116130 * cb + 32768) >> 16));
    }
}

bool WritePixels(const opj_image_t& image, const BmpLayout& layout, uint8_t* out) {
    const uint32_t channels = layout.bitsPerPixel == 8 ? 1 : 3;
    Channel channel[3];
    for (uint32_t c = 0; c < channels; ++c) {
        if (!channel[c].Init(image.comps[c], image.comps[0])) return false;
    }
    const bool ycc = channels == 3 && image.color_space == OPJ_CLRSPC_SYCC;
    const size_t rowBytes = size_t(layout.width) * channels;
    std::unique_ptr<uint8_t[]> planes(new (std::nothrow) uint8_t[size_t(layout.width) * 3]);
    if (!planes) return false;
    uint8_t* plane[3] = {planes.get(), planes.get() + layout.width,
                         planes.get() + 2 * size_t(layout.width)};
    for (uint32_t y = 0; y < layout.height; ++y) {
        uint8_t* row = out + layout.pixelOffset + size_t(layout.height - 1 - y) * layout.stride;
        if (channels == 1) {
            channel[0].Row(y, layout.width, row);
        } else {
            for (uint32_t c = 0; c < 3; ++c) channel[c].Row(y, layout.width, plane[c]);
            if (ycc) YccToRgb(plane[0], plane[1], plane[2], layout.width);
            for (uint32_t x = 0; x < layout.width; ++x) {
                row[3 * x] = plane[2][x];
                row[3 * x + 1] = plane[1][x];
                row[3 * x + 2] = plane[0][x];
            }
        }
        std::memset(row + rowBytes, 0, layout.stride - rowBytes);
    }
    return true;
}

}  // namespace

bool ReadLayout(const uint8_t* data, size_t size, BmpLayout* layout) {
    if (!data || !layout) return false;
    const Kind kind = DetectKind(data, size);
    if (kind == Kind::None) return false;
    Decoding decoding(data, size);
    if (!decoding.ReadHeader(kind)) return false;
    const uint32_t palette = kind == Kind::Jp2 ? PaletteChannels(data, size) : 0;
    return HeaderLayout(*decoding.Image(), palette, layout);
}

bool ConvertToBmp(const uint8_t* data, size_t size, uint8_t* out, size_t outSize,
                  uint32_t* written) {
    if (!data || !out) return false;
    const Kind kind = DetectKind(data, size);
    if (kind == Kind::None) return false;
    Decoding decoding(data, size);
    BmpLayout expected;
    if (!decoding.ReadHeader(kind)) return false;
    const uint32_t palette = kind == Kind::Jp2 ? PaletteChannels(data, size) : 0;
    if (!HeaderLayout(*decoding.Image(), palette, &expected) || !decoding.Decode()) return false;

    // The decoded image decides the file; it must be the one the headers
    // promised, or the caller's buffer was sized for another file.
    const opj_image_t& image = *decoding.Image();
    BmpLayout layout;
    if (image.numcomps == 0 || !image.comps ||
        !MakeLayout(image.comps[0].w, image.comps[0].h, image.numcomps, &layout) ||
        layout.width != expected.width || layout.height != expected.height ||
        layout.bitsPerPixel != expected.bitsPerPixel || layout.fileSize > outSize)
        return false;
    WriteHeaders(layout, out);
    if (!WritePixels(image, layout, out)) return false;
    if (written) *written = layout.fileSize;
    return true;
}

}  // namespace gw::j2k
