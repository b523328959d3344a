// The library's private modules: parts that need a large outside library
// (OpenCV for the zone reader, libtiff and Exiv2 for TIFF files and Exif
// metadata) are built as modules of their own, which the shared library opens
// on first use. A process that never reads a zone or a TIFF file or an image's
// metadata never loads those libraries, and starts in a few milliseconds.
//
// A module and the library are built together from the same sources; each
// module exports one function returning a table of its implementations, and
// passes the library's own types between two copies of the same code.
#pragma once

#include <string>

namespace gw::lazy {

/// A module's table, or null with why in error.
struct OpenedTable {
    const void* table = nullptr;
    std::string error;
};

/// Opens the module file name beside this library (its build tree) or in the
/// glyphwick folder beside it (an installed tree keeps its modules in
/// ${libdir}/glyphwick), calls its exported function symbol and returns what
/// it returns, checking that the table's first int is revision. The module
/// stays loaded for the life of the process.
OpenedTable OpenModuleTable(const char* name, const char* symbol, int revision);

}  // namespace gw::lazy
