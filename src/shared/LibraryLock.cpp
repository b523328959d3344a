// The one process-wide lock of the whole-image readers.
#include "GlyphwickLock.h"

namespace gw {

std::recursive_mutex& LibraryMutex() {
    // A function-local static: built on first use, so a reader called while
    // another library's constructors run still finds it.
    static std::recursive_mutex mutex;
    return mutex;
}

}  // namespace gw
