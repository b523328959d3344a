// Helpers of the plug-in tests: test images, BMP file parsing, the folder of
// the test program (where the plug-ins are built) and temporary files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "J2kEncoder.h"
#include "support/TestSupport.h"

namespace plugintest {

/// The test program's folder, ending with '/'.
std::string ProgramDirectory();

/// A width x height image of the given components and precision: smooth
/// ramps with a deterministic pseudo-random texture, each component
/// different, covering the whole range of the precision.
gwtest::J2kImage MakeImage(uint32_t width, uint32_t height, uint32_t components,
                           uint32_t precision = 8, bool isSigned = false);

/// The expected 8-bit value of a sample of the given precision.
uint8_t To8(int32_t sample, uint32_t precision, bool isSigned);

using gwtest::TempFolder;
using gwtest::WriteBytes;

}  // namespace plugintest
