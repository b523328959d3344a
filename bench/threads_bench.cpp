// Throughput of the whole-image readers on two threads against one, in the
// same run: each entry point is called kCalls times on one thread, then
// kCalls times on each of two threads at once, and the ratio of calls per
// second is printed (2.0 is perfect scaling; the goal on a 2-core machine is
// 1.8 or more). The most processor seconds per second of either run are
// printed too: on a machine loaded by other work, two threads above 1 core
// show the calls running at once even where the ratio cannot. The inputs
// are the bundled samples. Arguments are ignored
// (`make bench` passes benchmark flags to every program).
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "GlyphwickBarcodes.h"
#include "GlyphwickLines.h"
#include "GlyphwickLoad.h"
#include "GlyphwickMrz.h"

namespace {

using Clock = std::chrono::steady_clock;

// Seconds of processor time the process has used, all its threads.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Seconds that threads threads take to make calls calls each of f; cores
// is set to the processor seconds used per second of that time (above 1
// only when calls ran at once: a lock that serialised them keeps it at 1 or
// below, however loaded the machine).
double Time(int threads, int calls, const std::function<void()>& f, double& cores) {
    const auto start = Clock::now();
    const double cpu = CpuSeconds();
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t)
        running.emplace_back([&] {
            for (int i = 0; i < calls; ++i) f();
        });
    for (std::thread& t : running) t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    cores = (CpuSeconds() - cpu) / seconds;
    return seconds;
}

// The best of a few rounds of each, one thread then two, so that a burst of
// other work on the machine counts against neither; with the most cores
// each kept busy in any round.
void Report(const char* name, int calls, const std::function<void()>& f) {
    f();  // warms caches and anything built on first use
    double one = 1e30, two = 1e30, coresOne = 0, coresTwo = 0;
    for (int round = 0; round < 5; ++round) {
        double cores = 0;
        one = std::min(one, Time(1, calls, f, cores));
        coresOne = std::max(coresOne, cores);
        two = std::min(two, Time(2, calls, f, cores));
        coresTwo = std::max(coresTwo, cores);
    }
    const double perSecondOne = calls / one, perSecondTwo = 2 * calls / two;
    std::printf(
        "%-18s %8.1f calls/s on 1 thread %8.1f on 2 threads  ratio %.2f  cores %.2f / %.2f\n", name,
        perSecondOne, perSecondTwo, perSecondTwo / perSecondOne, coresOne, coresTwo);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

int main() {
    const std::string passport = std::string(GW_SOURCE_DIR) + "/samples/td3-passport.png";
    const std::string scan = std::string(GW_SOURCE_DIR) + "/samples/td3-scan.jpg";
    const std::vector<uint8_t> jpeg = ReadFile(scan);
    const std::string patterns = std::string(GW_SOURCE_DIR) + "/patterns/libglyphwick.PAT";
    if (GW_LoadPatternFile(patterns.c_str()) != 1) {
        std::fprintf(stderr, "cannot load %s\n", patterns.c_str());
        return 1;
    }
    DVImageProcessor page;
    if (gw::LoadImageFile(passport, page).status != gw::kLoaded) {
        std::fprintf(stderr, "cannot load %s\n", passport.c_str());
        return 1;
    }
    std::printf("threads_bench: %u hardware threads; inputs %s (%u x %u), %s\n",
                std::thread::hardware_concurrency(), passport.c_str(), page.GetWidth(),
                page.GetHeight(), scan.c_str());
    Report("LoadImageFile", 20, [&] {
        DVImageProcessor image;
        gw::LoadImageFile(passport, image);
    });
    Report("LoadImageMemory", 20, [&] {
        DVImageProcessor image;
        gw::LoadImageMemory(jpeg.data(), jpeg.size(), image);
    });
    Report("ReadMrz", 10, [&] { gw::ReadMrz(page); });
    Report("ReadBarcodes", 10, [&] { gw::ReadBarcodes(page); });
    gw::LineOptions lines;
    lines.allLines = true;
    Report("ReadLines", 10, [&] { gw::ReadLines(page, lines); });
    return 0;
}
