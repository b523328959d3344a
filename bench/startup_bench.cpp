// The tool's start-up: `glyphwick barcode` on a 16 x 16 white PNG, 20
// processes one after another, beside /bin/true (what starting any process
// costs) in the same run. Prints the median wall time and the median
// processor time (user and system, from the child's rusage) of each, and
// the goal of at most 10 ms a process. Usage: bench_startup_bench [TOOL].
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "DVImageProcessor.h"

extern char** environ;

namespace {

struct Times {
    double wallMs = 0, cpuMs = 0;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Runs argv (output to /dev/null) count times; the medians.
Times Run(const std::vector<std::string>& args, int count) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    std::vector<double> wall, cpu;
    for (int i = 0; i < count; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0) break;
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
        cpu.push_back(1e3 * double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      1e-3 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec));
    }
    posix_spawn_file_actions_destroy(&files);
    if (wall.empty()) return {};
    return {Median(wall), Median(cpu)};
}

}  // namespace

int main(int argc, char** argv) {
    const std::string tool = argc > 1 ? argv[1] : GW_TOOL;
    char folder[] = "/tmp/gw-startup-XXXXXX";
    if (mkdtemp(folder) == nullptr) return 1;
    const std::string image = std::string(folder) + "/white16.png";
    DVImageProcessor white;
    white.Create(16, 16, dv::PixelFormat8bppIndexed);
    white.SetDefaultPalette();
    std::vector<uint8_t> bits(16 * 16, 255);
    white.SetBits(bits.data(), 16);
    if (white.SaveToFile(image.c_str(), 5, nullptr) != 0) {
        std::printf("cannot write %s\n", image.c_str());
        return 1;
    }
    constexpr int kRuns = 20;
    Run({tool, "barcode", image}, 3);  // the files into the page cache
    const Times floor = Run({"/bin/true"}, kRuns);
    const Times t = Run({tool, "barcode", image}, kRuns);
    std::printf("%d processes each, medians\n", kRuns);
    std::printf("  /bin/true                    %6.2f ms wall %6.2f ms processor\n", floor.wallMs,
                floor.cpuMs);
    std::printf(
        "  glyphwick barcode 16 x 16    %6.2f ms wall %6.2f ms processor (goal at most "
        "10 ms)%s\n",
        t.wallMs, t.cpuMs, t.wallMs <= 10 ? "" : "  MISSED");
    std::remove(image.c_str());
    rmdir(folder);
    return 0;
}
