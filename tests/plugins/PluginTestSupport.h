// Helpers of the plug-in tests: test images, BMP file parsing, the folder of
// the test program (where the plug-ins are built) and temporary files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "J2kEncoder.h"

namespace plugintest {

/// The test program's folder, ending with '/'.
std::string ProgramDirectory();

/// A width x height image of the given components and precision: smooth
/// ramps with a deterministic pseudo-random texture, each component
/// different, covering the whole range of the precision.
gwtest::J2kImage MakeImage(uint32_t width, uint32_t height, uint32_t components,
                           uint32_t precision = 8, bool isSigned = false);

/// What a BMP file holds, as read back by ParseBmp.
struct BmpFile {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPixel = 0;
    std::vector<uint32_t> palette;  ///< B, G, R, 0 packed as 0x00RRGGBB
    std::vector<uint8_t> pixels;    ///< top-down rows without padding (B, G, R)
    bool paddingZero = true;        ///< every row's padding bytes are 0
};

/// Parses an uncompressed bottom-up 8 or 24-bit BMP file of exactly size
/// bytes; false (with a gtest failure) when a header field is not what a
/// complete file of that size needs.
bool ParseBmp(const uint8_t* data, size_t size, BmpFile* bmp);

/// The expected 8-bit value of a sample of the given precision.
uint8_t To8(int32_t sample, uint32_t precision, bool isSigned);

/// Writes bytes to a file; false when it cannot.
bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

/// Reads a whole file (empty when it cannot).
std::vector<uint8_t> ReadFile(const std::filesystem::path& path);

/// A fresh folder under the test temporary folder, removed at scope end.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace plugintest
