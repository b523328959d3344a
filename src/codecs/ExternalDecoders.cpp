// Decoders that hand their work to an outside library: "OpenJPEG_32.dll" for
// JPEG 2000 and "DVWSQLib.dll" for WSQ (names kept: docs/compatibility.md).
// Each converts the data into a complete BMP file in memory, which
// DVGdiplusDecoder then decodes. The library is loaded through the library
// cache and bound on the first decoding call.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <cwchar>
#include <memory>
#include <new>
#include <vector>

#include "DVImageCodecs.h"
#include "codecs/LibraryCache.h"
#include "platform/Modules.h"

namespace {

// A zero-filled block of memory; allocation failure throws std::bad_alloc.
struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
};
using Block = std::unique_ptr<uint8_t, FreeDeleter>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

Block ZeroedBlock(size_t size) {
    Block block(static_cast<uint8_t*>(std::calloc(size ? size : 1, 1)));
    if (!block) throw std::bad_alloc();
    return block;
}

// Looks up one entry point and stores it when found.
template <typename Function>
bool BindOne(void* module, const char* name, Function* slot) {
    void* address = dv::FindModuleSymbol(module, name);
    if (!address) return false;
    *slot = reinterpret_cast<Function>(address);
    return true;
}

// Reads a stream's whole content from its start and lets the decoder's own
// DecodeFromMemory decode it; the stream is left at its start.
dv::Status DecodeWholeStream(DVImageDecoder& decoder, dv::Bitmap** bitmap, dv::IStream* stream) {
    stream->Seek(0, dv::IStream::SeekSet, nullptr);
    stream->Seek(0, dv::IStream::SeekEnd, nullptr);
    dv::IStream::StatStg stat{};
    stream->Stat(&stat, dv::IStream::StatFlagNoName);
    const uint32_t length = uint32_t(stat.cbSize);
    Block data = ZeroedBlock(length);
    stream->Seek(0, dv::IStream::SeekSet, nullptr);
    stream->Read(data.get(), length, nullptr);
    const dv::Status status = decoder.DecodeFromMemory(bitmap, data.get(), length);
    data.reset();
    stream->Seek(0, dv::IStream::SeekSet, nullptr);
    return status;
}

// A wide path in the locale's multibyte code; empty when it has none.
std::vector<char> NarrowPath(const wchar_t* path) {
    const size_t length = std::wcstombs(nullptr, path, 0);
    if (length == static_cast<size_t>(-1)) return {};
    std::vector<char> narrow(length + 1);
    std::wcstombs(narrow.data(), path, length + 1);
    return narrow;
}

// A file through the converter's narrow or wide file functions: the BMP
// size, the conversion, then the BMP decoder of the base.
template <class Char, class SizeFn, class ConvertFn>
dv::Status DecodeJ2kFile(DVJpeg2kDecoder& decoder, dv::Bitmap** bitmap, const Char* path,
                         SizeFn size, ConvertFn convert) {
    uint32_t bmpSize = 0;
    if (size(path, &bmpSize) == 0) return dv::GenericError;
    Block bmp = ZeroedBlock(bmpSize);
    if (convert(path, bmp.get(), bmpSize, 0) == 0) return dv::GenericError;
    return decoder.DVGdiplusDecoder::DecodeFromMemory(bitmap, bmp.get(), bmpSize);
}

}  // namespace

// ---- DVExternalDecoder ----

DVExternalDecoder::DVExternalDecoder(const char* name) : libraryName{}, loaded(false) {
    if (name) std::strncpy(libraryName, name, sizeof libraryName - 1);
}

DVExternalDecoder::~DVExternalDecoder() = default;

dv::Status DVExternalDecoder::EnsureLoaded() {
    if (loaded) return dv::Ok;
    void* module = nullptr;
    {
        // Loads run one at a time: the cache and the search path it sets
        // for a load are the process's, and loaders run on any thread.
        static std::mutex loading;
        const std::lock_guard<std::mutex> guard(loading);
        module = dv::LibraryCache::Instance().Load(libraryName);
    }
    if (!module) return dv::Win32Error;
    // A library without every entry point stays cached; the next call binds
    // again.
    if (!BindEntryPoints(module)) return dv::Win32Error;
    loaded = true;
    return dv::Ok;
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

// ---- DVJpeg2kDecoder: success is a non-zero result ----

DVJpeg2kDecoder::DVJpeg2kDecoder()
    : DVExternalDecoder("OpenJPEG_32.dll"),
      convertBuffer(nullptr),
      convertFileA(nullptr),
      convertFileW(nullptr),
      sizeBuffer(nullptr),
      sizeFileA(nullptr),
      sizeFileW(nullptr) {}

DVJpeg2kDecoder::~DVJpeg2kDecoder() = default;

bool DVJpeg2kDecoder::BindEntryPoints(void* module) {
    if (!module) return false;
    return BindOne(module, "ConvertJ2KBufferToBMPBuffer", &convertBuffer) &&
           BindOne(module, "ConvertJ2KFileToBMPBufferA", &convertFileA) &&
           BindOne(module, "ConvertJ2KFileToBMPBufferW", &convertFileW) &&
           BindOne(module, "GetBMPBufferSizeFromJ2KBuffer", &sizeBuffer) &&
           BindOne(module, "GetBMPBufferSizeFromJ2KFileA", &sizeFileA) &&
           BindOne(module, "GetBMPBufferSizeFromJ2KFileW", &sizeFileW);
}

dv::Status DVJpeg2kDecoder::DecodeFromMemory(dv::Bitmap** bitmap, const uint8_t* data,
                                             uint32_t size) {
    if (!bitmap) return dv::InvalidParameter;
    if (const dv::Status status = EnsureLoaded(); status != dv::Ok) return status;
    uint32_t bmpSize = 0;
    if (sizeBuffer(data, size, &bmpSize) == 0) return dv::GenericError;
    Block bmp = ZeroedBlock(bmpSize);
    if (convertBuffer(data, size, bmp.get(), bmpSize, 0) == 0) return dv::GenericError;
    return DVGdiplusDecoder::DecodeFromMemory(bitmap, bmp.get(), bmpSize);
}

dv::Status DVJpeg2kDecoder::DecodeFromStream(dv::Bitmap** bitmap, dv::IStream* stream) {
    if (!bitmap || !stream) return dv::InvalidParameter;
    if (const dv::Status status = EnsureLoaded(); status != dv::Ok) return status;
    return DecodeWholeStream(*this, bitmap, stream);
}

dv::Status DVJpeg2kDecoder::DecodeFromFile(dv::Bitmap** bitmap, const wchar_t* path) {
    if (!bitmap) return dv::InvalidParameter;
    if (const dv::Status status = EnsureLoaded(); status != dv::Ok) return status;
    return DecodeJ2kFile(*this, bitmap, path, sizeFileW, convertFileW);
}

dv::Status DVJpeg2kDecoder::DecodeFromFile(dv::Bitmap** bitmap, const char* path) {
    if (!bitmap) return dv::InvalidParameter;
    if (const dv::Status status = EnsureLoaded(); status != dv::Ok) return status;
    return DecodeJ2kFile(*this, bitmap, path, sizeFileA, convertFileA);
}

// ---- DVWSQDecoder: success is a zero result ----

DVWSQDecoder::DVWSQDecoder()
    : DVExternalDecoder("DVWSQLib.dll"), convertBuffer(nullptr), bufferSize(nullptr) {}

DVWSQDecoder::~DVWSQDecoder() = default;

bool DVWSQDecoder::BindEntryPoints(void* module) {
    if (!module) return false;
    return BindOne(module, "ConvertWSQBufferToBMPBuffer", &convertBuffer) &&
           BindOne(module, "GetWSQBufferSize", &bufferSize);
}

dv::Status DVWSQDecoder::DecodeFromMemory(dv::Bitmap** bitmap, const uint8_t* data, uint32_t size) {
    if (!bitmap) return dv::InvalidParameter;
    if (const dv::Status status = EnsureLoaded(); status != dv::Ok) return status;
    int32_t bmpSize = 0;
    if (bufferSize(data, size, &bmpSize) != 0 || bmpSize < 0) return dv::GenericError;
    Block bmp = ZeroedBlock(size_t(bmpSize));
    if (convertBuffer(data, size, bmp.get(), bmpSize) != 0) return dv::GenericError;
    return DVGdiplusDecoder::DecodeFromMemory(bitmap, bmp.get(), uint32_t(bmpSize));
}

dv::Status DVWSQDecoder::DecodeFromStream(dv::Bitmap** bitmap, dv::IStream* stream) {
    if (!bitmap || !stream) return dv::InvalidParameter;
    if (const dv::Status status = EnsureLoaded(); status != dv::Ok) return status;
    return DecodeWholeStream(*this, bitmap, stream);
}

dv::Status DVWSQDecoder::DecodeFromFile(dv::Bitmap** bitmap, const wchar_t* path) {
    if (!bitmap || !path) return dv::InvalidParameter;
    if (const dv::Status status = EnsureLoaded(); status != dv::Ok) return status;
    const std::vector<char> narrow = NarrowPath(path);
    // A path with no multibyte form names no file that can be opened.
    if (narrow.empty()) return dv::Ok;
    return DVWSQDecoder::DecodeFromFile(bitmap, narrow.data());
}

dv::Status DVWSQDecoder::DecodeFromFile(dv::Bitmap** bitmap, const char* path) {
    if (!bitmap || !path) return dv::InvalidParameter;
    if (const dv::Status status = EnsureLoaded(); status != dv::Ok) return status;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) return dv::Ok;  // nothing stored: the image stays empty
    // A length that cannot be told or does not fit 32 bits (a folder, a
    // device) is data the library cannot take.
    const long end = std::fseek(file.get(), 0, SEEK_END) == 0 ? std::ftell(file.get()) : -1;
    if (end < 0 || uint64_t(end) > UINT32_MAX || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return dv::GenericError;
    const uint32_t length = uint32_t(end);
    Block data = ZeroedBlock(length);
    const size_t read = std::fread(data.get(), 1, length, file.get());
    file.reset();
    if (read != length) return dv::GenericError;
    return DecodeFromMemory(bitmap, data.get(), length);
}
