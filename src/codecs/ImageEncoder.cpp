// Encoder objects: the parameters of JPEG and TIFF output, kept between saves
// and handed to the platform's encoder as a parameter block.
#include <cstdlib>

#include "DVImageCodecs.h"

DVImageEncoder::~DVImageEncoder() = default;

dv::Status DVImageEncoder::EncodeToStream(dv::Bitmap* bitmap, dv::IStream* stream,
                                          const dv::CLSID* clsid) {
    if (!bitmap || !stream || !clsid) return dv::InvalidParameter;
    return Encode(bitmap, stream, nullptr, clsid);
}

dv::Status DVImageEncoder::EncodeToFile(dv::Bitmap* bitmap, const wchar_t* path,
                                        const dv::CLSID* clsid) {
    if (!bitmap || !path || !clsid) return dv::InvalidParameter;
    return Encode(bitmap, nullptr, path, clsid);
}

dv::Status DVImageEncoder::Encode(dv::Bitmap* bitmap, dv::IStream* stream, const wchar_t* path,
                                  const dv::CLSID* clsid) {
    auto save = [&](const dv::EncoderParameters* block) {
        return stream ? dv::SaveImageToStream(bitmap, stream, clsid, block)
                      : dv::SaveImageToFile(bitmap, path, clsid, block);
    };
    dv::Status status = dv::Ok;
    const uint32_t n = ParameterCount();
    if (n == 0) {
        status = save(nullptr);
    } else {
        dv::EncoderParameters* block = nullptr;
        if (AllocateParameters(&block, int32_t(n)) == 0) return dv::OutOfMemory;
        FillParameters(block);
        try {
            status = save(block);
        } catch (...) {
            std::free(block);
            throw;
        }
        std::free(block);
    }
    if (status != dv::Ok) bitmap->SetLastStatus(status);
    return status;
}

uint32_t DVImageEncoder::AllocateParameters(dv::EncoderParameters** block, int32_t count) {
    if (!block || count <= 0 || count > 1000000) return 0;
    const uint32_t size = uint32_t(offsetof(dv::EncoderParameters, Parameter)) +
                          uint32_t(sizeof(dv::EncoderParameter)) * uint32_t(count);
    auto* made = static_cast<dv::EncoderParameters*>(std::malloc(size));
    if (!made) return 0;
    made->Count = uint32_t(count);
    *block = made;
    return size;
}

void DVImageEncoder::SetParameterEntry(dv::EncoderParameters* block, uint32_t index,
                                       const dv::GUID& id, uint32_t type, uint32_t number,
                                       void* values) {
    if (!block || index >= block->Count) return;
    dv::EncoderParameter& entry = block->Parameter[index];
    entry.Guid = id;
    entry.NumberOfValues = number;
    entry.Type = type;
    entry.Value = values;
}

DVJpegEncoder::DVJpegEncoder() : qualitySet(false), quality(0) {}

bool DVJpegEncoder::SetParameter(const dv::GUID& id, uint32_t value) {
    if (!dv::SameGuid(id, dv::EncoderQuality) || value > 100) return false;
    qualitySet = true;
    quality = value;
    return true;
}

bool DVJpegEncoder::ClearParameter(const dv::GUID& id) {
    if (!dv::SameGuid(id, dv::EncoderQuality)) return false;
    qualitySet = false;
    return true;
}

uint32_t DVJpegEncoder::ParameterCount() {
    return qualitySet ? 1 : 0;
}

void DVJpegEncoder::FillParameters(dv::EncoderParameters* block) {
    if (!block || block->Count != ParameterCount()) return;
    if (qualitySet) {
        SetParameterEntry(block, 0, dv::EncoderQuality, dv::EncoderParameterValueTypeLong, 1,
                          &quality);
    }
}

DVTiffEncoder::DVTiffEncoder()
    : compressionSet(false),
      compression(0),
      depthSet(false),
      depth(0),
      saveFlagSet(false),
      saveFlag(0) {}

bool DVTiffEncoder::SetParameter(const dv::GUID& id, uint32_t value) {
    if (dv::SameGuid(id, dv::EncoderCompression)) {
        if (value < dv::EncoderValueCompressionLZW || value > dv::EncoderValueCompressionNone) {
            return false;
        }
        compressionSet = true;
        compression = value;
        return true;
    }
    if (dv::SameGuid(id, dv::EncoderColorDepth)) {
        if (value != 1 && value != 4 && value != 8 && value != 24 && value != 32) return false;
        depthSet = true;
        depth = value;
        return true;
    }
    if (dv::SameGuid(id, dv::EncoderSaveFlag)) {
        if (value != dv::EncoderValueMultiFrame) return false;
        saveFlagSet = true;
        saveFlag = value;
        return true;
    }
    return false;
}

bool DVTiffEncoder::ClearParameter(const dv::GUID& id) {
    if (dv::SameGuid(id, dv::EncoderCompression)) {
        compressionSet = false;
    } else if (dv::SameGuid(id, dv::EncoderColorDepth)) {
        depthSet = false;
    } else if (dv::SameGuid(id, dv::EncoderSaveFlag)) {
        saveFlagSet = false;
    } else {
        return false;
    }
    return true;
}

uint32_t DVTiffEncoder::ParameterCount() {
    return uint32_t(compressionSet) + uint32_t(depthSet) + uint32_t(saveFlagSet);
}

void DVTiffEncoder::FillParameters(dv::EncoderParameters* block) {
    if (!block || block->Count != ParameterCount()) return;
    uint32_t next = 0;
    const uint32_t type = dv::EncoderParameterValueTypeLong;
    if (compressionSet)
        SetParameterEntry(block, next++, dv::EncoderCompression, type, 1, &compression);
    if (depthSet) SetParameterEntry(block, next++, dv::EncoderColorDepth, type, 1, &depth);
    if (saveFlagSet) SetParameterEntry(block, next++, dv::EncoderSaveFlag, type, 1, &saveFlag);
}
