// Recognition of image formats from their first bytes, and the decoder factory.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "DVImageCodecs.h"
#include "codecs/CodecSupport.h"

namespace {

// Bytes recognition reads from files and streams.
constexpr uint32_t kSignatureBytes = 12;

struct Part {
    uint32_t offset;
    uint32_t count;  // 0: no part
    uint8_t bytes[12];
};

struct Signature {
    ImageFormat format;
    uint32_t minLength;  // the data must be at least this long
    Part first;
    Part second;  // JPEG also needs the JFIF identifier at offset 6
};

// Tested in this order; the first that holds decides.
constexpr Signature kSignatures[] = {
    {ImageFormatBmp, 2, {0, 2, {0x42, 0x4D}}, {}},
    {ImageFormatJpeg, 11, {0, 4, {0xFF, 0xD8, 0xFF, 0xE0}}, {6, 5, {0x4A, 0x46, 0x49, 0x46, 0x00}}},
    {ImageFormatGif, 3, {0, 3, {0x47, 0x49, 0x46}}, {}},
    {ImageFormatTiff, 3, {0, 3, {0x49, 0x49, 0x2A}}, {}},
    {ImageFormatTiff, 4, {0, 4, {0x4D, 0x4D, 0x00, 0x2A}}, {}},
    {ImageFormatPng, 8, {0, 8, {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}}, {}},
    {ImageFormatJpeg2000, 5, {0, 5, {0xFF, 0x4F, 0xFF, 0x51, 0x00}}, {}},
    {ImageFormatJpeg2000,
     12,
     {0, 12, {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A}},
     {}},
    {ImageFormatWsq, 2, {0, 2, {0xFF, 0xA0}}, {}},
};

constexpr bool PartsFit() {
    for (const Signature& s : kSignatures) {
        if (s.first.offset + s.first.count > s.minLength) return false;
        if (s.second.offset + s.second.count > s.minLength) return false;
    }
    return true;
}
static_assert(PartsFit(), "every compared byte lies inside the required length");

bool Matches(const Part& part, const uint8_t* data) {
    return part.count == 0 || std::memcmp(data + part.offset, part.bytes, part.count) == 0;
}

}  // namespace

ImageFormat DetectImageFormat(const uint8_t* data, uint32_t length) {
    if (!data) return ImageFormatUnknown;
    for (const Signature& s : kSignatures) {
        if (length >= s.minLength && Matches(s.first, data) && Matches(s.second, data)) {
            return s.format;
        }
    }
    return ImageFormatUnknown;
}

ImageFormat DetectImageFormat(const wchar_t* path) {
    std::string narrow;
    if (!path || !gw::codec::NarrowPath(path, narrow)) return ImageFormatUnknown;
    std::FILE* f = std::fopen(narrow.c_str(), "rb");
    if (!f) return ImageFormatUnknown;
    uint8_t head[kSignatureBytes];
    size_t got = 0;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long length = std::ftell(f);
        if (length >= long{kSignatureBytes} && std::fseek(f, 0, SEEK_SET) == 0) {
            got = std::fread(head, 1, kSignatureBytes, f);
        }
    }
    std::fclose(f);
    return got >= kSignatureBytes ? DetectImageFormat(head, uint32_t(got)) : ImageFormatUnknown;
}

ImageFormat DetectImageFormat(dv::IStream* stream) {
    if (!stream) return ImageFormatUnknown;
    uint8_t head[kSignatureBytes];
    uint32_t got = 0;
    ImageFormat format = ImageFormatUnknown;
    if (stream->Seek(0, dv::IStream::SeekSet, nullptr) == 0 &&
        stream->Read(head, kSignatureBytes, &got) == 0 && got >= kSignatureBytes) {
        format = DetectImageFormat(head, got);
    }
    stream->Seek(0, dv::IStream::SeekSet, nullptr);
    return format;
}

DVImageDecoder* CreateDecoder(int32_t format) {
    switch (format) {
        case ImageFormatBmp:
        case ImageFormatJpeg:
        case ImageFormatGif:
        case ImageFormatTiff:
        case ImageFormatPng:
            return new (std::nothrow) DVGdiplusDecoder();
        case ImageFormatJpeg2000:
            return new (std::nothrow) DVJpeg2kDecoder();
        case ImageFormatWsq:
            return new (std::nothrow) DVWSQDecoder();
        default:
            return nullptr;
    }
}
