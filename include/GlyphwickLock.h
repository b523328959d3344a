// The library lock. The design's exports keep one current area, the pattern
// store and the library cache in process-wide variables, so only one thread
// may be inside them at a time. The whole-image readers (ReadMrz,
// ReadBarcodes, ReadLines, LoadImageFile) hold this lock for their whole run,
// so hosts may call them from any thread. A host that mixes them with the
// GW_ exports from several threads holds the same lock around its own calls.
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
