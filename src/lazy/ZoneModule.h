// The zone reader as a private module (see PrivateModule.h): reading a zone
// needs OpenCV, whose libraries cost a process tens of milliseconds to load.
#pragma once

#include <string>

#include "DVImageProcessor.h"
#include "GlyphwickGrey.h"
#include "GlyphwickMrz.h"

namespace gw::lazy {

/// The module's file name.
inline constexpr const char* kZoneModuleName = "libglyphwick-zone.so";

/// The one symbol the module exports: a function returning its table.
inline constexpr const char* kZoneTableSymbol = "gw_zone_module_table";

/// The revision of ZoneTable; a module of another revision is refused.
inline constexpr int kZoneTableRevision = 1;

/// The zone reader's public functions, as the module implements them.
struct ZoneTable {
    int revision;
    MrzResult (*readImage)(const DVImageProcessor& image, const MrzOptions& options);
    MrzResult (*readView)(const ImageView& image, const MrzOptions& options);
    int (*checkDigit)(const std::string& text);
    int (*readText)(const DVImageProcessor* image, char* buffer, int size);
};

}  // namespace gw::lazy
