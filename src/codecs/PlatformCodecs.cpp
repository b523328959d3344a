// The codec side of the platform services: decoding a file held in memory, a
// stream or a file into a bitmap, the encoder list by MIME type, and encoding
// with encoder parameters into a stream or a file.
#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "DVImageCodecs.h"
#include "codecs/CodecSupport.h"

namespace dv {
namespace {

using gw::codec::ByteBuffer;
using gw::codec::EncodeSettings;

// The decoder chosen from the data's first bytes. It accepts more than format
// recognition does (any JPEG, not only JFIF), because a caller may hand data
// straight to a decoder.
Status DecodeSniffed(const uint8_t* data, size_t size, Bitmap** out) {
    auto starts = [&](const char* magic, size_t n) {
        return size >= n && std::memcmp(data, magic, n) == 0;
    };
    if (starts("BM", 2)) return gw::codec::DecodeBmp(data, size, out);
    if (starts("\xFF\xD8\xFF", 3)) return gw::codec::DecodeJpeg(data, size, out);
    if (starts("GIF8", 4)) return gw::codec::DecodeGif(data, size, out);
    if (starts("II*\0", 4) || starts("MM\0*", 4)) return gw::codec::DecodeTiff(data, size, out);
    if (starts("\x89PNG\r\n\x1A\n", 8)) return gw::codec::DecodePng(data, size, out);
    return UnknownImageFormat;
}

using Encoder = Status (*)(const Bitmap*, const EncodeSettings&, ByteBuffer&);

struct EncoderEntry {
    const wchar_t* mimeType;
    const GUID* clsid;
    Encoder encode;
};

const EncoderEntry kEncoders[] = {
    {L"image/bmp", &kEncoderBmp, gw::codec::EncodeBmp},
    {L"image/jpeg", &kEncoderJpeg, gw::codec::EncodeJpeg},
    {L"image/gif", &kEncoderGif, gw::codec::EncodeGif},
    {L"image/tiff", &kEncoderTiff, gw::codec::EncodeTiff},
    {L"image/png", &kEncoderPng, gw::codec::EncodePng},
};

const EncoderEntry* FindEncoder(const CLSID* clsid) {
    for (const EncoderEntry& e : kEncoders) {
        if (SameGuid(*e.clsid, *clsid)) return &e;
    }
    return nullptr;
}

// Reads the settings that apply to one encoder; a known parameter with a
// malformed entry or a value out of range refuses the whole block.
Status ReadSettings(const EncoderEntry& encoder, const EncoderParameters* block,
                    EncodeSettings& settings) {
    if (!block) return Ok;
    for (uint32_t i = 0; i < block->Count; ++i) {
        const EncoderParameter& p = block->Parameter[i];
        const bool jpeg = encoder.clsid == &kEncoderJpeg, tiff = encoder.clsid == &kEncoderTiff;
        const bool quality = jpeg && SameGuid(p.Guid, EncoderQuality);
        const bool compression = tiff && SameGuid(p.Guid, EncoderCompression);
        const bool depth = tiff && SameGuid(p.Guid, EncoderColorDepth);
        const bool saveFlag = tiff && SameGuid(p.Guid, EncoderSaveFlag);
        if (!quality && !compression && !depth && !saveFlag) continue;
        if (p.Type != EncoderParameterValueTypeLong || p.NumberOfValues < 1 || !p.Value) {
            return InvalidParameter;
        }
        uint32_t v = 0;
        std::memcpy(&v, p.Value, sizeof v);
        if (quality) {
            if (v > 100) return InvalidParameter;
            settings.quality = v;
        } else if (compression) {
            if (v < EncoderValueCompressionLZW || v > EncoderValueCompressionNone) {
                return InvalidParameter;
            }
            settings.compression = v;
        } else if (depth) {
            if (v != 1 && v != 4 && v != 8 && v != 24 && v != 32) return InvalidParameter;
            settings.depth = v;
        } else {
            if (v != EncoderValueMultiFrame) return InvalidParameter;
            settings.multiFrame = true;
        }
    }
    return Ok;
}

Status EncodeToBuffer(Bitmap* bitmap, const CLSID* clsid, const EncoderParameters* parameters,
                      ByteBuffer& out) {
    const EncoderEntry* encoder = FindEncoder(clsid);
    if (!encoder) return InvalidParameter;
    if (BitsPerPixel(bitmap->GetPixelFormat()) == 0) return InvalidParameter;
    EncodeSettings settings;
    Status status = ReadSettings(*encoder, parameters, settings);
    if (status == Ok) status = encoder->encode(bitmap, settings, out);
    if (out.Failed()) throw std::bad_alloc();
    return status;
}

}  // namespace

bool SameGuid(const GUID& a, const GUID& b) {
    uint64_t ha[2], hb[2];
    std::memcpy(ha, &a, sizeof ha);
    std::memcpy(hb, &b, sizeof hb);
    return ha[0] == hb[0] && ha[1] == hb[1];
}

bool FindEncoderClsid(const wchar_t* mimeType, CLSID* clsid) {
    if (!mimeType || !clsid) return false;
    for (const EncoderEntry& e : kEncoders) {
        if (std::wcscmp(e.mimeType, mimeType) == 0) {
            *clsid = *e.clsid;
            return true;
        }
    }
    return false;
}

Status DecodeImage(const uint8_t* data, size_t size, Bitmap** bitmap) {
    if (!bitmap) return InvalidParameter;
    *bitmap = nullptr;
    if (!data) return InvalidParameter;
    Bitmap* made = nullptr;
    const Status status = DecodeSniffed(data, size, &made);
    if (status != Ok) {
        delete made;
        return status;
    }
    *bitmap = made;
    return Ok;
}

Status CreateBitmapFromStream(IStream* stream, Bitmap** bitmap) {
    if (!bitmap) return InvalidParameter;
    *bitmap = nullptr;
    if (!stream) return InvalidParameter;
    IStream::StatStg stat{};
    if (stream->Stat(&stat, IStream::StatFlagNoName) != 0 ||
        stream->Seek(0, IStream::SeekSet, nullptr) != 0) {
        return Win32Error;
    }
    if (stat.cbSize > UINT32_MAX) return OutOfMemory;
    std::vector<uint8_t> data(size_t(stat.cbSize));
    uint32_t got = 0;
    stream->Read(data.data(), uint32_t(data.size()), &got);
    stream->Seek(0, IStream::SeekSet, nullptr);
    return DecodeImage(data.data(), got, bitmap);
}

Status CreateBitmapFromFile(const wchar_t* path, Bitmap** bitmap) {
    if (!bitmap) return InvalidParameter;
    *bitmap = nullptr;
    std::string narrow;
    if (!path || !gw::codec::NarrowPath(path, narrow)) return InvalidParameter;
    std::vector<uint8_t> data;
    if (!gw::codec::ReadFile(narrow, data)) return Win32Error;
    return DecodeImage(data.data(), data.size(), bitmap);
}

Status SaveImageToStream(Bitmap* bitmap, IStream* stream, const CLSID* clsid,
                         const EncoderParameters* parameters) {
    if (!bitmap || !stream || !clsid) return InvalidParameter;
    ByteBuffer out;
    const Status status = EncodeToBuffer(bitmap, clsid, parameters, out);
    if (status != Ok) return status;
    // Streams take at most 4 GiB - 1 bytes a call.
    size_t done = 0;
    while (done < out.Size()) {
        const uint32_t chunk = uint32_t(std::min<size_t>(out.Size() - done, 1u << 30));
        uint32_t written = 0;
        if (stream->Write(out.Data() + done, chunk, &written) != 0 || written != chunk) {
            return Win32Error;
        }
        done += chunk;
    }
    return Ok;
}

Status SaveImageToFile(Bitmap* bitmap, const wchar_t* path, const CLSID* clsid,
                       const EncoderParameters* parameters) {
    if (!bitmap || !path || !clsid) return InvalidParameter;
    std::string narrow;
    if (!gw::codec::NarrowPath(path, narrow) || narrow.empty()) return InvalidParameter;
    ByteBuffer out;
    const Status status = EncodeToBuffer(bitmap, clsid, parameters, out);
    if (status != Ok) return status;
    return gw::codec::WriteFile(narrow, out.Data(), out.Size()) ? Ok : Win32Error;
}

}  // namespace dv
