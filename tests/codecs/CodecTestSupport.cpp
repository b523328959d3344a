#include "codecs/CodecTestSupport.h"

namespace codectest {

BitmapPtr MakeImage(uint32_t width, uint32_t height, int32_t format) {
    BitmapPtr bm(dv::Bitmap::Create(width, height, format));
    if (!bm) return bm;
    const uint32_t stride = bm->GetStride();
    uint8_t* p = bm->Pixels();
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* row = p + size_t(y) * stride;
            if (format == dv::PixelFormat24bppRGB) {
                row[3 * x] = uint8_t(x * 7 + y);
                row[3 * x + 1] = uint8_t(y * 5 + (x / 8) * 40);
                row[3 * x + 2] = uint8_t((x ^ y) * 3);
            } else if (format == dv::PixelFormat8bppIndexed) {
                row[x] = uint8_t(x * 3 + y * 11);
            } else if (((x / 3) + (y / 2)) % 3 == 0 || x == y) {
                row[x >> 3] |= uint8_t(0x80 >> (x & 7));
            }
        }
    }
    if (format == dv::PixelFormat8bppIndexed) {
        std::vector<uint8_t> bytes(dv::PaletteBytes(256));
        auto* pal = reinterpret_cast<dv::ColorPalette*>(bytes.data());
        pal->Flags = 0;
        pal->Count = 256;
        for (uint32_t i = 0; i < 256; ++i) {
            pal->Entries[i] =
                0xFF000000u | ((i * 37) & 0xFF) << 16 | ((255 - i) << 8) | ((i * 5) & 0xFF);
        }
        bm->SetPalette(pal);
    }
    bm->SetResolution(200, 150);
    return bm;
}

// The ARGB colour of pixel (x, y), through the palette for indexed images.
static uint32_t ColourAt(const dv::Bitmap& bm, uint32_t x, uint32_t y) {
    const uint8_t* row = bm.Pixels() + size_t(y) * bm.GetStride();
    if (bm.GetPixelFormat() == dv::PixelFormat24bppRGB) {
        return 0xFF000000u | uint32_t(row[3 * x + 2]) << 16 | uint32_t(row[3 * x + 1]) << 8 |
               row[3 * x];
    }
    const uint32_t index = bm.GetPixelFormat() == dv::PixelFormat1bppIndexed
                               ? (row[x >> 3] >> (7 - (x & 7))) & 1
                               : row[x];
    std::vector<uint8_t> bytes(bm.GetPaletteSize());
    auto* pal = reinterpret_cast<dv::ColorPalette*>(bytes.data());
    bm.GetPalette(pal, uint32_t(bytes.size()));
    return index < pal->Count ? pal->Entries[index] : 0;
}

std::vector<uint8_t> Rgb(const dv::Bitmap& bm) {
    std::vector<uint8_t> out;
    out.reserve(size_t(bm.GetWidth()) * bm.GetHeight() * 3);
    for (uint32_t y = 0; y < bm.GetHeight(); ++y) {
        for (uint32_t x = 0; x < bm.GetWidth(); ++x) {
            const uint32_t c = ColourAt(bm, x, y);
            out.push_back(uint8_t(c >> 16));
            out.push_back(uint8_t(c >> 8));
            out.push_back(uint8_t(c));
        }
    }
    return out;
}

int64_t DifferentPixels(const dv::Bitmap& a, const dv::Bitmap& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return -1;
    const std::vector<uint8_t> ra = Rgb(a), rb = Rgb(b);
    int64_t n = 0;
    for (size_t i = 0; i < ra.size(); i += 3) {
        n += ra[i] != rb[i] || ra[i + 1] != rb[i + 1] || ra[i + 2] != rb[i + 2];
    }
    return n;
}

std::vector<uint8_t> Encode(dv::Bitmap* bitmap, const dv::CLSID& clsid,
                            const dv::EncoderParameters* parameters, dv::Status* status) {
    dv::IStream* stream = nullptr;
    dv::CreateMemoryStream(&stream);
    const dv::Status s = dv::SaveImageToStream(bitmap, stream, &clsid, parameters);
    if (status) *status = s;
    dv::IStream::StatStg stat{};
    stream->Stat(&stat, 0);
    std::vector<uint8_t> out(size_t(stat.cbSize));
    stream->Seek(0, dv::IStream::SeekSet, nullptr);
    stream->Read(out.data(), uint32_t(out.size()), nullptr);
    stream->Release();
    return out;
}

BitmapPtr Decode(const std::vector<uint8_t>& data, dv::Status* status) {
    dv::Bitmap* bm = nullptr;
    static const uint8_t empty = 0;
    const dv::Status s = dv::DecodeImage(data.empty() ? &empty : data.data(), data.size(), &bm);
    if (status) *status = s;
    return BitmapPtr(bm);
}

OneParameter::OneParameter(const dv::GUID& id, uint32_t v) : block{}, value(v) {
    block.Count = 1;
    block.Parameter[0].Guid = id;
    block.Parameter[0].NumberOfValues = 1;
    block.Parameter[0].Type = dv::EncoderParameterValueTypeLong;
    block.Parameter[0].Value = &value;
}

}  // namespace codectest
