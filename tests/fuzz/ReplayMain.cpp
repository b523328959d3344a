// Replays a fuzz target on stored inputs without libFuzzer: every regular file
// of each folder named on the command line is read and handed to
// LLVMFuzzerTestOneInput once, in name order. A missing folder is skipped (a
// target may have no regressions yet), but no input at all is a failure, so a
// misplaced corpus cannot pass silently. A fault in the target shows as a
// sanitizer report and a non-zero exit.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        if (!fs::is_directory(argv[i], error)) continue;
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(argv[i])) {
            if (entry.is_regular_file()) files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::ifstream in(file, std::ios::binary);
            const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            if (!in.eof() && in.fail()) {
                std::fprintf(stderr, "cannot read %s\n", file.c_str());
                return 1;
            }
            // An empty vector's data() may be null; give libFuzzer's non-null.
            static const uint8_t kEmpty = 0;
            LLVMFuzzerTestOneInput(bytes.empty() ? &kEmpty : bytes.data(), bytes.size());
            ++replayed;
        }
    }
    std::printf("%zu inputs replayed\n", replayed);
    return replayed > 0 ? 0 : 1;
}
