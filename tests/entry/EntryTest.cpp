// Loading the shared library loads the pattern file beside it.
//
// The library is loaded before this program's tests run, so each check runs
// a fresh copy of this program (the EntryChild test, which reports the fonts
// it finds at start) that loads a copy of libglyphwick.so from a private
// folder, through LD_LIBRARY_PATH, with or without a pattern file beside it.
// The build tree's own default pattern file is left alone.
#include <gtest/gtest.h>
#include <link.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Glyphwick.h"
#include "support/Page.h"
#include "support/TestSupport.h"

extern char** environ;

namespace {

constexpr const char* kExpect = "GW_ENTRY_EXPECT";

// Path of the loaded libglyphwick.so, as the dynamic loader knows it.
std::string LibraryFile() {
    std::string found;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            const std::string name = info->dlpi_name != nullptr ? info->dlpi_name : "";
            if (name.find("libglyphwick.so") == std::string::npos) return 0;
            *static_cast<std::string*>(out) = name;
            return 1;
        },
        &found);
    return found;
}

// Runs this program's EntryChild test with the library found first in
// folder and the fonts it must find; returns the exit status.
int RunChild(const std::string& folder, const std::string& expected) {
    const std::string libraryPath = "LD_LIBRARY_PATH";
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind(kExpect, 0) != 0 && entry.rfind(libraryPath + "=", 0) != 0)
            env.push_back(entry);
    }
    env.push_back(std::string(kExpect) + "=" + expected);
    env.push_back(libraryPath + "=" + folder);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = "/proc/self/exe";
    std::string filter = "--gtest_filter=EntryChild.*";
    char* argv[] = {program.data(), filter.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(EntryChild, FontsLoadedAtStart) {
    const char* expected = std::getenv(kExpect);
    if (expected == nullptr) GTEST_SKIP() << "run by Entry.LoadsThePatternFileBesideTheLibrary";
    std::string found;
    for (const std::string& name : gwtest::FontNames()) {
        if (!found.empty()) found += ',';
        found += name;
    }
    EXPECT_EQ(found, expected);
}

TEST(Entry, LoadsThePatternFileBesideTheLibrary) {
    const std::filesystem::path library = LibraryFile();
    ASSERT_FALSE(library.empty());
    // The build places the shipped pattern file beside the library: it is
    // what loads at start there (other tests rely on it, so it stays).
    const std::filesystem::path shipped = library.parent_path() / "libglyphwick.PAT";
    if (std::filesystem::exists(shipped)) {
        EXPECT_EQ(RunChild(library.parent_path().string(), "OCRB,OCRA"), 0);
    }
    // A copy under the name the program asks for (libglyphwick.so.<major>).
    const gwtest::TempFolder folder;
    std::filesystem::copy_file(library, folder.Path() / library.filename());
    const std::filesystem::path pat = folder.Path() / "libglyphwick.PAT";
    {
        std::ofstream file(pat);
        file << "##default ENTRYFONT MATRIX_SIZE=1x1 a 0.00 9.99 X\nSECOND\n";
        ASSERT_TRUE(file.good()) << pat;
    }
    EXPECT_EQ(RunChild(folder.Path().string(), "ENTRYFONT,SECOND"), 0);
    // A missing file is no error: the library loads with an empty store.
    std::filesystem::remove(pat);
    EXPECT_EQ(RunChild(folder.Path().string(), ""), 0);
}

}  // namespace
