// The library lock. The GW_ exports keep one current area, the pattern store
// and the library cache in process-wide variables, so only one thread may be
// inside them at a time: a host that calls them from several threads holds
// this lock around its own calls. The whole-image readers (LoadImageFile,
// LoadImageMemory, ReadMrz, ReadBarcodes, ReadLines) keep no such state and
// take no lock: they may run on any number of threads at once, beside a host
// of the GW_ exports. ReadLines reads the pattern store as the last GW_ call
// that changed it left it.
#ifndef GLYPHWICK_GLYPHWICKLOCK_H
#define GLYPHWICK_GLYPHWICKLOCK_H

#include <mutex>

#include "GlyphwickExport.h"

namespace gw {

/// The process-wide lock around the library's shared state. It is recursive,
/// so a reader that holds it may call another reader.
GW_API std::recursive_mutex& LibraryMutex();

/// Holds LibraryMutex() for the lifetime of the returned object.
inline std::unique_lock<std::recursive_mutex> LockLibrary() {
    return std::unique_lock<std::recursive_mutex>(LibraryMutex());
}

}  // namespace gw

#endif  // GLYPHWICK_GLYPHWICKLOCK_H
