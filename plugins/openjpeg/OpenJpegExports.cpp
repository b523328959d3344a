// The six functions of "OpenJPEG_32.dll": JPEG 2000 data from memory or from a
// file (8-bit or wide path) to a complete BMP file, with the size query first.
// Every function returns non-zero on success and 0 on any failure; none
// throws, prints or reads past its input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "J2kToBmp.h"

#define GW_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Reads a whole file; false when it cannot be opened or read, or is larger
// than a 32-bit size can describe.
bool ReadFile(const char* path, std::vector<uint8_t>* bytes) {
    if (!path || !*path) return false;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    const long length = ok ? std::ftell(file) : -1;
    ok = length >= 0 && uint64_t(length) <= UINT32_MAX && std::fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        bytes->resize(size_t(length));
        ok = std::fread(bytes->data(), 1, bytes->size(), file) == bytes->size();
    }
    std::fclose(file);
    return ok;
}

// A wide path in the locale's multibyte code; empty when it has no such form.
std::vector<char> NarrowPath(const wchar_t* path) {
    if (!path) return {};
    const size_t length = std::wcstombs(nullptr, path, 0);
    if (length == static_cast<size_t>(-1)) return {};
    std::vector<char> narrow(length + 1);
    std::wcstombs(narrow.data(), path, length + 1);
    return narrow;
}

int32_t SizeOf(const uint8_t* data, size_t size, uint32_t* bmpSize) {
    gw::j2k::BmpLayout layout;
    if (!gw::j2k::ReadLayout(data, size, &layout)) return 0;
    *bmpSize = layout.fileSize;
    return 1;
}

int32_t SizeOfFile(const char* path, uint32_t* bmpSize) {
    if (!bmpSize) return 0;
    try {
        std::vector<uint8_t> bytes;
        return ReadFile(path, &bytes) ? SizeOf(bytes.data(), bytes.size(), bmpSize) : 0;
    } catch (...) {
        return 0;
    }
}

int32_t ConvertFile(const char* path, uint8_t* bmp, uint32_t bmpSize) {
    if (!bmp) return 0;
    try {
        std::vector<uint8_t> bytes;
        if (!ReadFile(path, &bytes)) return 0;
        return gw::j2k::ConvertToBmp(bytes.data(), bytes.size(), bmp, bmpSize, nullptr) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

}  // namespace

/// Sets *bmpSize to the byte length of the BMP file that converting these
/// size bytes of J2K or JP2 data produces. Non-zero on success.
GW_PLUGIN_EXPORT int32_t GetBMPBufferSizeFromJ2KBuffer(const uint8_t* data, uint32_t size,
                                                       uint32_t* bmpSize) {
    if (!data || !bmpSize) return 0;
    try {
        return SizeOf(data, size, bmpSize);
    } catch (...) {
        return 0;
    }
}

/// Converts size bytes of J2K or JP2 data into a complete BMP file in bmp,
/// which holds bmpSize bytes (at least the size the query gave). The last
/// argument is reserved and always 0. Non-zero on success.
GW_PLUGIN_EXPORT int32_t ConvertJ2KBufferToBMPBuffer(const uint8_t* data, uint32_t size,
                                                     uint8_t* bmp, uint32_t bmpSize, int32_t) {
    if (!data || !bmp) return 0;
    try {
        return gw::j2k::ConvertToBmp(data, size, bmp, bmpSize, nullptr) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

/// As GetBMPBufferSizeFromJ2KBuffer, for the file at an 8-bit path.
GW_PLUGIN_EXPORT int32_t GetBMPBufferSizeFromJ2KFileA(const char* path, uint32_t* bmpSize) {
    return SizeOfFile(path, bmpSize);
}

/// As GetBMPBufferSizeFromJ2KBuffer, for the file at a wide path (converted in
/// the current locale).
GW_PLUGIN_EXPORT int32_t GetBMPBufferSizeFromJ2KFileW(const wchar_t* path, uint32_t* bmpSize) {
    try {
        return SizeOfFile(NarrowPath(path).data(), bmpSize);
    } catch (...) {
        return 0;
    }
}

/// As ConvertJ2KBufferToBMPBuffer, for the file at an 8-bit path.
GW_PLUGIN_EXPORT int32_t ConvertJ2KFileToBMPBufferA(const char* path, uint8_t* bmp,
                                                    uint32_t bmpSize, int32_t) {
    return ConvertFile(path, bmp, bmpSize);
}

/// As ConvertJ2KBufferToBMPBuffer, for the file at a wide path (converted in
/// the current locale).
GW_PLUGIN_EXPORT int32_t ConvertJ2KFileToBMPBufferW(const wchar_t* path, uint8_t* bmp,
                                                    uint32_t bmpSize, int32_t) {
    try {
        return ConvertFile(NarrowPath(path).data(), bmp, bmpSize);
    } catch (...) {
        return 0;
    }
}
