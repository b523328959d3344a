// Loading, saving and metadata properties of the image object.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "DVImageProcessor.h"

namespace {

// File types of the saving operations and their MIME types.
constexpr const wchar_t* kMimeTypes[] = {L"image/bmp", L"image/jpeg", L"image/gif", L"image/tiff",
                                         L"image/png"};

bool EncoderFor(uint32_t fileType, dv::CLSID* clsid) {
    if (fileType < 1 || fileType > 5) return false;
    return dv::FindEncoderClsid(kMimeTypes[fileType - 1], clsid);
}

// Converts a narrow path in the locale's code to wide characters; false when
// the conversion refuses it.
bool WidePath(const char* path, std::vector<wchar_t>& wide) {
    const size_t length = std::mbstowcs(nullptr, path, 0);
    if (length == static_cast<size_t>(-1)) return false;
    wide.assign(length + 1, L'\0');
    std::mbstowcs(wide.data(), path, length + 1);
    return true;
}

}  // namespace

template <class Detect, class Decode>
uint32_t DVImageProcessor::LoadWith(DVImageDecoder* decoder, Detect detect, Decode decode) {
    std::unique_ptr<DVImageDecoder> owned;
    if (!decoder) {
        const ImageFormat format = detect();
        if (format == ImageFormatUnknown) return dv::UnknownImageFormat;
        owned.reset(CreateDecoder(format));
        if (!owned) return Record(DVErrNoDecoder);
        decoder = owned.get();
    }
    Destroy();
    ownsBitmap = true;
    const uint32_t status = uint32_t(decode(decoder, &bitmap));
    if (status == dv::Ok) {
        Refresh();
        return DVOk;
    }
    return status == dv::GenericError ? Record(DVErrDecode) : status;
}

uint32_t DVImageProcessor::LoadFromStream(dv::IStream* stream, DVImageDecoder* decoder) {
    lastError = DVOk;
    if (!stream) return dv::InvalidParameter;
    return LoadWith(
        decoder, [&] { return DetectImageFormat(stream); },
        [&](DVImageDecoder* d, dv::Bitmap** out) { return d->DecodeFromStream(out, stream); });
}

uint32_t DVImageProcessor::LoadFromFile(const wchar_t* path, DVImageDecoder* decoder) {
    lastError = DVOk;
    if (!path) return dv::InvalidParameter;
    return LoadWith(
        decoder, [&] { return DetectImageFormat(path); },
        [&](DVImageDecoder* d, dv::Bitmap** out) { return d->DecodeFromFile(out, path); });
}

uint32_t DVImageProcessor::LoadFromFile(const char* path, DVImageDecoder* decoder) {
    lastError = DVOk;
    if (!path || *path == '\0') return dv::InvalidParameter;
    std::vector<wchar_t> wide;
    if (!WidePath(path, wide)) return dv::InvalidParameter;
    return LoadFromFile(wide.data(), decoder);
}

uint32_t DVImageProcessor::LoadFromMemory(const uint8_t* data, uint32_t size,
                                          DVImageDecoder* decoder) {
    lastError = DVOk;
    if (!data) return dv::InvalidParameter;
    dv::IStream* stream = nullptr;
    dv::CreateMemoryStream(&stream);
    std::unique_ptr<dv::IStream, void (*)(dv::IStream*)> release(
        stream, [](dv::IStream* s) { s->Release(); });
    stream->Write(data, size, nullptr);
    return LoadFromStream(stream, decoder);
}

uint32_t DVImageProcessor::SaveToStream(dv::IStream* stream, uint32_t* sizeOut, uint32_t fileType,
                                        bool rewind, DVImageEncoder* encoder) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (!stream) return dv::InvalidParameter;
    dv::CLSID clsid{};
    if (!EncoderFor(fileType, &clsid)) return Record(DVErrNoEncoder);
    const uint32_t status = encoder
                                ? uint32_t(encoder->EncodeToStream(bitmap, stream, &clsid))
                                : uint32_t(dv::SaveImageToStream(bitmap, stream, &clsid, nullptr));
    if (status != dv::Ok) return status;
    if (sizeOut) {
        dv::IStream::StatStg stat{};
        stream->Stat(&stat, dv::IStream::StatFlagNoName);
        *sizeOut = uint32_t(stat.cbSize);
    }
    if (rewind) stream->Seek(0, dv::IStream::SeekSet, nullptr);
    return DVOk;
}

uint32_t DVImageProcessor::SaveToFile(const wchar_t* path, uint32_t fileType,
                                      DVImageEncoder* encoder) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (!path) return dv::InvalidParameter;
    dv::CLSID clsid{};
    if (!EncoderFor(fileType, &clsid)) return Record(DVErrNoEncoder);
    return encoder ? uint32_t(encoder->EncodeToFile(bitmap, path, &clsid))
                   : uint32_t(dv::SaveImageToFile(bitmap, path, &clsid, nullptr));
}

uint32_t DVImageProcessor::SaveToFile(const char* path, uint32_t fileType,
                                      DVImageEncoder* encoder) {
    lastError = DVOk;
    if (!path || *path == '\0') return dv::InvalidParameter;
    std::vector<wchar_t> wide;
    if (!WidePath(path, wide)) return dv::InvalidParameter;
    return SaveToFile(wide.data(), fileType, encoder);
}

uint32_t DVImageProcessor::GetProperty(uint32_t id, uint16_t* type, uint32_t* length,
                                       uint8_t* value) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    const uint32_t size = bitmap->GetPropertyItemSize(id);
    if (size == 0) return dv::PropertyNotFound;
    std::vector<uint8_t> buffer(size);
    auto* item = reinterpret_cast<dv::PropertyItem*>(buffer.data());
    const dv::Status status = bitmap->GetPropertyItem(id, size, item);
    if (status != dv::Ok) return status;
    if (type) *type = item->type;
    if (length) *length = item->length;
    if (value && item->length > 0) std::memcpy(value, item->value, item->length);
    return DVOk;
}

uint32_t DVImageProcessor::EnumerateProperties(DVPropertyCallback callback, uint64_t argument) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (!callback) return dv::InvalidParameter;
    uint32_t total = 0, count = 0;
    dv::Status status = bitmap->GetPropertySize(&total, &count);
    if (status != dv::Ok) return status;
    // At least one byte, so that an empty list still has an address.
    std::vector<uint8_t> buffer(total > 0 ? total : 1);
    auto* items = reinterpret_cast<dv::PropertyItem*>(buffer.data());
    status = bitmap->GetAllPropertyItems(total, count, items);
    if (status == dv::Ok) callback(items, count, argument);
    return status;
}

uint32_t DVImageProcessor::SetProperty(uint32_t id, uint16_t type, uint32_t length,
                                       const void* value) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (!value) return dv::InvalidParameter;
    dv::PropertyItem item{id, length, type, const_cast<void*>(value)};
    return bitmap->SetPropertyItem(&item);
}
