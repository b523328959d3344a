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

    const bool bits = map->ColorCount <= 2;
    std::vector<uint8_t> indexes(size_t(width) * height, uint8_t(fill));
    std::vector<GifPixelType> line(size_t(frame.Width));
    // Interlaced frames deliver rows in four passes.
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    const int passes = frame.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = frame.Interlace ? kStart[pass] : 0;
        const int step = frame.Interlace ? kStep[pass] : 1;
        for (int y = start; y < frame.Height; y += step) {
            if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) {
                return dv::GenericError;
            }
            std::memcpy(&indexes[size_t(frame.Top + y) * width + size_t(frame.Left)], line.data(),
                        line.size());
        }
    }

    dv::Bitmap* bm = nullptr;
    const Status status = NewBitmap(
        width, height, bits ? dv::PixelFormat1bppIndexed : dv::PixelFormat8bppIndexed, &bm);
    if (status != dv::Ok) return status;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = bm->Pixels() + size_t(y) * bm->GetStride();
        const uint8_t* src = &indexes[size_t(y) * width];
        if (bits) {
            for (uint32_t x = 0; x < width; ++x) PutBit(row, x, src[x] & 1);
        } else {
            std::memcpy(row, src, width);
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
