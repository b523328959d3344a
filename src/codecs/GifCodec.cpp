// GIF through giflib. The first frame is placed on the logical screen; a
// two-colour table gives a 1-bit image, any other an 8-bit image with its
// palette padded to 256 entries. The transparent colour becomes white. 24-bit
// images are written through the fixed palette; indexed ones keep theirs.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/CodecSupport.h"
#include "platform/PixelLayout.h"

namespace gw::codec {
namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t position;
};

int ReadBytes(GifFileType* gif, GifByteType* out, int count) {
    auto* r = static_cast<Reader*>(gif->UserData);
    const size_t n = std::min(size_t(count < 0 ? 0 : count), r->size - r->position);
    std::memcpy(out, r->data + r->position, n);
    r->position += n;
    return int(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

// Reads records up to the first image's descriptor, noting the transparent
// index of a graphic control extension before it.
bool FindFirstImage(GifFileType* gif, int& transparent) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    do {
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
        if (type == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(gif) != GIF_ERROR;
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
            while (block) {
                if (code == GRAPHICS_EXT_FUNC_CODE && block[0] >= 4) {
                    GraphicsControlBlock gcb;
                    DGifExtensionToGCB(block[0], block + 1, &gcb);
                    transparent = gcb.TransparentColor;
                }
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
            }
        }
    } while (type != TERMINATE_RECORD_TYPE);
    return false;
}

// The most pixels that LZW data can stand for. Every code takes at least
// codeSize + 1 bits, and the k-th code after a clear stands for at most k
// pixels (each new table entry is an older one plus one pixel), never more
// than the 4096 that the table can chain.
uint64_t MaxLzwPixels(uint64_t bytes, uint32_t codeSize) {
    constexpr uint64_t kLongest = 4096;
    const uint64_t codes = bytes * 8 / (codeSize + 1);
    if (codes <= kLongest) return codes * (codes + 1) / 2;
    return kLongest * (kLongest + 1) / 2 + (codes - kLongest) * kLongest;
}

// True when the frame's LZW data can hold its pixels. giflib has read the
// minimum code size byte (the last byte consumed); after it come sub-blocks of
// data, each led by its length, up to an empty one or the end of the file.
// Checked before the frame's buffers are made, so that a few header bytes
// cannot claim a frame of 2^28 pixels.
bool LzwCoversFrame(const Reader& r, uint64_t pixels) {
    if (r.position == 0 || r.position > r.size) return false;
    const uint32_t codeSize = std::min<uint32_t>(r.data[r.position - 1], 8);
    uint64_t bytes = 0;
    for (size_t at = r.position; at < r.size && r.data[at] != 0; at += 1 + size_t(r.data[at])) {
        bytes += std::min<size_t>(r.data[at], r.size - at - 1);
    }
    return pixels <= MaxLzwPixels(bytes, codeSize);
}

}  // namespace

Status DecodeGif(const uint8_t* data, size_t size, dv::Bitmap** out) {
    Reader reader{data, size, 0};
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&reader, ReadBytes, &error));
    if (!gif) return error == D_GIF_ERR_NOT_ENOUGH_MEM ? dv::OutOfMemory : dv::GenericError;
    int transparent = NO_TRANSPARENT_COLOR;
    if (!FindFirstImage(gif.get(), transparent)) return dv::GenericError;

    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!map || frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0) {
        return dv::GenericError;
    }
    // The canvas is the logical screen, grown to hold the frame if it is too small.
    const uint32_t width = uint32_t(std::max(gif->SWidth, frame.Left + frame.Width));
    const uint32_t height = uint32_t(std::max(gif->SHeight, frame.Top + frame.Height));
    if (uint64_t(width) * height > dv::kMaxImagePixels) return dv::OutOfMemory;
    const size_t frameWidth = size_t(frame.Width);
    if (!LzwCoversFrame(reader, uint64_t(frameWidth) * uint64_t(frame.Height))) {
        return dv::GenericError;
    }

    std::vector<uint32_t> palette;
    for (int i = 0; i < map->ColorCount; ++i) {
        const GifColorType& c = map->Colors[i];
        palette.push_back(0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue);
    }
    if (transparent >= 0 && size_t(transparent) < palette.size()) palette[transparent] = 0xFFFFFFFF;
    // Outside the frame: the transparent colour when there is one, else the
    // background colour.
    int fill = transparent >= 0 ? transparent : gif->SBackGroundColor;
    if (fill < 0 || fill >= map->ColorCount) fill = 0;

    // The frame is decoded whole before the canvas is made. Interlaced frames
    // deliver rows in four passes.
    std::vector<GifPixelType> pixels(frameWidth * size_t(frame.Height));
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    const int passes = frame.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = frame.Interlace ? kStart[pass] : 0;
        const int step = frame.Interlace ? kStep[pass] : 1;
        for (int y = start; y < frame.Height; y += step) {
            if (DGifGetLine(gif.get(), &pixels[size_t(y) * frameWidth], frame.Width) == GIF_ERROR) {
                return dv::GenericError;
            }
        }
    }

    const bool bits = map->ColorCount <= 2;
    dv::Bitmap* bm = nullptr;
    const Status status = NewBitmap(
        width, height, bits ? dv::PixelFormat1bppIndexed : dv::PixelFormat8bppIndexed, &bm);
    if (status != dv::Ok) return status;
    std::vector<uint8_t> line(width);
    for (uint32_t y = 0; y < height; ++y) {
        std::fill(line.begin(), line.end(), uint8_t(fill));
        if (y >= uint32_t(frame.Top) && y - uint32_t(frame.Top) < uint32_t(frame.Height)) {
            std::memcpy(&line[size_t(frame.Left)], &pixels[(y - frame.Top) * frameWidth],
                        frameWidth);
        }
        uint8_t* row = bm->Pixels() + size_t(y) * bm->GetStride();
        if (bits) {
            for (uint32_t x = 0; x < width; ++x) PutBit(row, x, line[x] & 1);
        } else {
            std::memcpy(row, line.data(), width);
        }
    }
    SetPaletteEntries(bm, palette.data(), uint32_t(palette.size()));
    *out = bm;
    return dv::Ok;
}

namespace {

int WriteBytes(GifFileType* gif, const GifByteType* data, int count) {
    auto* out = static_cast<ByteBuffer*>(gif->UserData);
    return out->Append(data, size_t(count)) ? count : 0;
}

}  // namespace

Status EncodeGif(const dv::Bitmap* bm, const EncodeSettings&, ByteBuffer& out) {
    const uint32_t width = bm->GetWidth(), height = bm->GetHeight();
    if (width > 0xFFFF || height > 0xFFFF) return dv::ValueOverflow;
    std::vector<uint32_t> palette = PaletteOf(bm);
    std::vector<uint8_t> indexes(size_t(width) * height);
    if (bm->GetPixelFormat() == dv::PixelFormat24bppRGB) {
        palette.assign(FixedPalette(), FixedPalette() + 256);
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* row = bm->Pixels() + size_t(y) * bm->GetStride();
            for (uint32_t x = 0; x < width; ++x) {
                indexes[size_t(y) * width + x] =
                    FixedPaletteIndex(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
            }
        }
    } else {
        for (uint32_t y = 0; y < height; ++y) {
            RowToBytes(bm, palette, y, false, &indexes[size_t(y) * width]);
        }
    }
    GifColorType colours[256];
    for (size_t i = 0; i < palette.size(); ++i) {
        colours[i] = {uint8_t(palette[i] >> 16), uint8_t(palette[i] >> 8), uint8_t(palette[i])};
    }
    ColorMapObject* map = GifMakeMapObject(int(palette.size()), colours);
    if (!map) return dv::OutOfMemory;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, WriteBytes, &error);
    if (!gif) {
        GifFreeMapObject(map);
        return dv::OutOfMemory;
    }
    EGifSetGifVersion(gif, true);
    bool ok =
        EGifPutScreenDesc(gif, int(width), int(height), map->BitsPerPixel, 0, map) != GIF_ERROR &&
        EGifPutImageDesc(gif, 0, 0, int(width), int(height), false, nullptr) != GIF_ERROR;
    for (uint32_t y = 0; ok && y < height; ++y) {
        ok = EGifPutLine(gif, &indexes[size_t(y) * width], int(width)) != GIF_ERROR;
    }
    if (EGifCloseFile(gif, &error) == GIF_ERROR) ok = false;
    GifFreeMapObject(map);
    if (out.Failed()) return dv::OutOfMemory;
    return ok ? dv::Ok : dv::GenericError;
}

}  // namespace gw::codec
