// Loading the shared library loads the pattern file beside it.
//
// The library is loaded before this program's tests run, so each check runs
// a fresh copy of this program (the EntryChild test, which reports the fonts
// it finds at start) after the test has placed, or removed, the file beside
// libglyphwick.so.
#include <gtest/gtest.h>
#include <link.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "Glyphwick.h"

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

// Runs this program's EntryChild test with the fonts it must find; returns
// the exit status.
int RunChild(const std::string& expected) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::string(*e).rfind(kExpect, 0) != 0) env.emplace_back(*e);
    env.push_back(std::string(kExpect) + "=" + expected);
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

// Removes the file when the test ends, passed or not.
struct RemoveAtEnd {
    std::string path;
    ~RemoveAtEnd() { std::remove(path.c_str()); }
};

TEST(EntryChild, FontsLoadedAtStart) {
    const char* expected = std::getenv(kExpect);
    if (expected == nullptr) GTEST_SKIP() << "run by Entry.LoadsThePatternFileBesideTheLibrary";
    int32_t count = 0;
    GW_GetFontList(nullptr, &count);
    std::vector<char*> names(static_cast<size_t>(count));
    GW_GetFontList(names.data(), &count);
    std::string found;
    for (const char* name : names) found += (found.empty() ? "" : ",") + std::string(name);
    EXPECT_EQ(found, expected);
}

TEST(Entry, LoadsThePatternFileBesideTheLibrary) {
    const std::string library = LibraryFile();
    ASSERT_FALSE(library.empty());
    const size_t cut = library.find(".so", library.rfind('/') + 1);
    const std::string beside = library.substr(0, cut) + ".PAT";
    if (std::ifstream(beside).good()) {
        // The build places the shipped file there: it is what loads at start,
        // and other tests rely on it, so it is left in place.
        EXPECT_EQ(RunChild("OCRB,OCRA"), 0);
        return;
    }
    const RemoveAtEnd pat = {beside};
    {
        std::ofstream file(pat.path);
        file << "##default ENTRYFONT MATRIX_SIZE=1x1 a 0.00 9.99 X\nSECOND\n";
        ASSERT_TRUE(file.good()) << pat.path;
    }
    EXPECT_EQ(RunChild("ENTRYFONT,SECOND"), 0);
    // A missing file is no error: the library loads with an empty store.
    std::remove(pat.path.c_str());
    EXPECT_EQ(RunChild(""), 0);
    // A library call after the store was filled at start still works.
    EXPECT_EQ(GW_UnloadAllPatternFiles(), 1);
}

}  // namespace
