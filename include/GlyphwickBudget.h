// How much work a whole-image reader may do: a time budget and a flag that
// another thread sets to stop it. A reader checks both between units of work
// (a candidate region, an orientation, a line) and, when either says stop,
// returns what it has read so far, marked as stopped with the reason.
#ifndef GLYPHWICK_GLYPHWICKBUDGET_H
#define GLYPHWICK_GLYPHWICKBUDGET_H

#include <atomic>

namespace gw {

/// The limits of one reading call.
struct WorkBudget {
    /// Wall-clock seconds the call may take. 0 takes the default, generous
    /// for any real page: 2 s plus 0.25 s per megapixel of the image. A
    /// negative value sets no limit.
    double seconds = 0;
    /// When not null and set to true (by any thread), the call stops at its
    /// next check.
    const std::atomic<bool>* cancel = nullptr;
};

}  // namespace gw

#endif  // GLYPHWICK_GLYPHWICKBUDGET_H
