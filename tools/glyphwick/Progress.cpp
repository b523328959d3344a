#include "Progress.h"

#include <cstdio>
#include <unistd.h>

#include "Errors.h"

namespace gwtool {

Progress::Progress(size_t total, bool active) : total_(total), active_(active) {}

Progress::~Progress() {
    Clear();
}

bool Progress::Wanted(size_t total) {
    return total > 1 && isatty(STDERR_FILENO) == 1;
}

std::string Progress::Bar(size_t done, size_t total, size_t width, const std::string& file) {
    if (total == 0) total = 1;
    if (done > total) done = total;
    const size_t filled = done * width / total;
    std::string bar = Cat("[", std::string(filled, '#'), std::string(width - filled, '.'), "] ",
                          done, "/", total, " ");
    // Keep the line short: the end of a long file name matters most.
    constexpr size_t kName = 40;
    bar += file.size() > kName ? Cat("...", file.substr(file.size() - kName + 3)) : file;
    return bar;
}

void Progress::Step(size_t done, const std::string& file) {
    if (!active_) return;
    std::fprintf(stderr, "\r\033[K%s", Bar(done, total_, 30, file).c_str());
    std::fflush(stderr);
    shown_ = true;
}

void Progress::Clear() {
    if (!shown_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace gwtool
