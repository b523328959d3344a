// Decoders that hand their work to an outside library (JPEG 2000, WSQ).
//
// Until the outside-library loader exists, no library can be loaded: every
// decoding call reports Win32Error, the answer for a missing library, and
// binding gives false. The state (library name, loaded flag, entry points) is
// already kept as the finished decoders will keep it.
#include <cstring>

#include "DVImageCodecs.h"

DVExternalDecoder::DVExternalDecoder(const char* name) : libraryName{}, loaded(false) {
    if (name) std::strncpy(libraryName, name, sizeof libraryName - 1);
}

DVExternalDecoder::~DVExternalDecoder() = default;

dv::Status DVExternalDecoder::EnsureLoaded() {
    return loaded ? dv::Ok : dv::Win32Error;
}

bool DVExternalDecoder::BindEntryPoints(void*) {
    return false;
}

dv::Status DVExternalDecoder::DecodeFromMemory(dv::Bitmap**, const uint8_t*, uint32_t) {
    return EnsureLoaded();
}
dv::Status DVExternalDecoder::DecodeFromStream(dv::Bitmap**, dv::IStream*) {
    return EnsureLoaded();
}
dv::Status DVExternalDecoder::DecodeFromFile(dv::Bitmap**, const wchar_t*) {
    return EnsureLoaded();
}
dv::Status DVExternalDecoder::DecodeFromFile(dv::Bitmap**, const char*) {
    return EnsureLoaded();
}

DVJpeg2kDecoder::DVJpeg2kDecoder()
    : DVExternalDecoder("OpenJPEG_32.dll"),
      convertBuffer(nullptr),
      convertFileA(nullptr),
      convertFileW(nullptr),
      sizeBuffer(nullptr),
      sizeFileA(nullptr),
      sizeFileW(nullptr) {}

DVJpeg2kDecoder::~DVJpeg2kDecoder() = default;

bool DVJpeg2kDecoder::BindEntryPoints(void*) {
    return false;
}
dv::Status DVJpeg2kDecoder::DecodeFromMemory(dv::Bitmap**, const uint8_t*, uint32_t) {
    return EnsureLoaded();
}
dv::Status DVJpeg2kDecoder::DecodeFromStream(dv::Bitmap**, dv::IStream*) {
    return EnsureLoaded();
}
dv::Status DVJpeg2kDecoder::DecodeFromFile(dv::Bitmap**, const wchar_t*) {
    return EnsureLoaded();
}
dv::Status DVJpeg2kDecoder::DecodeFromFile(dv::Bitmap**, const char*) {
    return EnsureLoaded();
}

DVWSQDecoder::DVWSQDecoder()
    : DVExternalDecoder("DVWSQLib.dll"), convertBuffer(nullptr), bufferSize(nullptr) {}

DVWSQDecoder::~DVWSQDecoder() = default;

bool DVWSQDecoder::BindEntryPoints(void*) {
    return false;
}
dv::Status DVWSQDecoder::DecodeFromMemory(dv::Bitmap**, const uint8_t*, uint32_t) {
    return EnsureLoaded();
}
dv::Status DVWSQDecoder::DecodeFromStream(dv::Bitmap**, dv::IStream*) {
    return EnsureLoaded();
}
dv::Status DVWSQDecoder::DecodeFromFile(dv::Bitmap**, const wchar_t*) {
    return EnsureLoaded();
}
dv::Status DVWSQDecoder::DecodeFromFile(dv::Bitmap**, const char*) {
    return EnsureLoaded();
}
