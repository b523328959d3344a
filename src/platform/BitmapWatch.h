// A watch on a bitmap's pixels, for the library's own code: an area may put
// off copying rows out of a bitmap until the rows are first read, as long as
// it takes the copy before the pixels change.
#pragma once

#include "DVImageCodecs.h"

namespace dv {

/// Called with a watched bitmap before its pixels may change or it is deleted.
using BitmapChangeHook = void (*)(const Bitmap& bitmap);

struct BitmapWatch {
    /// Watches bitmap: hook is called once, first thing, in the next call that
    /// may change its pixels (a lock for writing, RotateFlip, the writable
    /// Pixels) or in its deletion. A later Watch replaces the hook.
    static void Watch(const Bitmap& bitmap, BitmapChangeHook hook);
    /// True while the bitmap is locked in a mode that allows writing.
    static bool LockedForWriting(const Bitmap& bitmap);
    /// Ends the watch and calls its hook, if any.
    static void BeforeChange(Bitmap& bitmap);
};

}  // namespace dv
