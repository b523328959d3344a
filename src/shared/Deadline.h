// The clock side of a WorkBudget: a reader makes one Deadline at the start of
// a call and asks it between units of work whether to go on.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "GlyphwickBudget.h"

namespace gw {

/// Default budget: a fixed part for any call, in seconds, and a part per
/// megapixel of the image. Generous for real pages, which read in tens of
/// milliseconds; they bound pathological texture, not normal work.
inline constexpr double kBudgetBaseSeconds = 2.0;
inline constexpr double kBudgetSecondsPerMegapixel = 0.25;

class Deadline {
public:
    using Clock = std::chrono::steady_clock;

    /// Starts the clock for a call over an image of pixels pixels.
    Deadline(const WorkBudget& budget, double pixels)
        : cancel_(budget.cancel), start_(Clock::now()) {
        double seconds = budget.seconds;
        if (seconds == 0) seconds = kBudgetBaseSeconds + kBudgetSecondsPerMegapixel * pixels / 1e6;
        limited_ = seconds > 0;
        if (limited_)
            end_ = start_ + std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(seconds));
    }

    /// True once the call should stop: cancelled, or out of time. Once true
    /// it stays true, and reason() says why.
    bool expired() {
        if (!reason_.empty()) return true;
        if (cancel_ && cancel_->load(std::memory_order_relaxed))
            reason_ = "cancelled";
        else if (limited_ && Clock::now() >= end_)
            reason_ = "time budget of " + SecondsText() + " s used up";
        return !reason_.empty();
    }

    /// Why expired() said stop; empty while it has not.
    const std::string& reason() const { return reason_; }

    /// Seconds since the call started.
    double elapsed() const {
        return std::chrono::duration<double>(Clock::now() - start_).count();
    }

private:
    std::string SecondsText() const {
        const double s = std::chrono::duration<double>(end_ - start_).count();
        char text[32];
        std::snprintf(text, sizeof text, "%.3g", s);
        return text;
    }

    const std::atomic<bool>* cancel_;
    Clock::time_point start_, end_{};
    bool limited_ = false;
    std::string reason_;
};

}  // namespace gw
