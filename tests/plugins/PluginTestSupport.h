// Helpers of the plug-in tests: test images, BMP file parsing, the folder of
// the test program (where the plug-ins are built) and temporary files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "J2kEncoder.h"
#include "support/TestSupport.h"

namespace plugintest {

/// The test program's folder, ending with '/'.
std::string ProgramDirectory();

/// True when the library at path is loaded in this process.
bool IsLoaded(const std::string& path);

/// A width x height image of 8-bit components: smooth ramps with a
/// deterministic pseudo-random texture, each component different, covering
/// the whole range of a byte.
gwtest::J2kImage MakeImage(uint32_t width, uint32_t height, uint32_t components);

using gwtest::TempFolder;
using gwtest::WriteBytes;

}  // namespace plugintest
