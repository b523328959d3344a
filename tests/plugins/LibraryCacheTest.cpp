// The library cache and the module services beneath it, with stand-in
// libraries that record the "PATH" they saw when loaded and their unloading.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "codecs/LibraryCache.h"
#include "PluginTestSupport.h"
#include "platform/Modules.h"

namespace {

using plugintest::IsLoaded;
using plugintest::ProgramDirectory;

std::optional<std::string> Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

// Puts "PATH" back as the test found it.
struct PathGuard {
    const std::optional<std::string> saved = Env("PATH");
    ~PathGuard() {
        if (saved)
            setenv("PATH", saved->c_str(), 1);
        else
            unsetenv("PATH");
    }
};

TEST(LibraryCache, LoadsEachNameOnceAndReleasesInNameOrder) {
    unsetenv("GW_FAKE_UNLOAD_LOG");
    const std::string dir = ProgramDirectory();
    {
        dv::LibraryCache cache;
        void* b = cache.Load("FakeLibB.dll");
        void* a = cache.Load("FakeLibA.dll");
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_NE(a, b);
        EXPECT_EQ(cache.Load("FakeLibB.dll"), b);
        EXPECT_EQ(cache.Load("FakeLibA.dll"), a);
        EXPECT_EQ(cache.Count(), 2u);
        EXPECT_TRUE(IsLoaded(dir + "FakeLibA.dll"));
        // Names are compared byte by byte: another spelling is another load,
        // which fails here.
        EXPECT_EQ(cache.Load("fakelibA.dll"), nullptr);
        EXPECT_EQ(cache.Load(nullptr), nullptr);
        EXPECT_EQ(cache.Count(), 2u);
        EXPECT_EQ(Env("GW_FAKE_UNLOAD_LOG"), std::nullopt);
    }
    // One release each unloaded them, so each was loaded once; A went first.
    EXPECT_EQ(Env("GW_FAKE_UNLOAD_LOG"), "AB");
    EXPECT_FALSE(IsLoaded(dir + "FakeLibA.dll"));
    EXPECT_FALSE(IsLoaded(dir + "FakeLibB.dll"));
}

TEST(LibraryCache, ExtendsPathForTheLoadAndRestoresIt) {
    PathGuard guard;
    const std::string dir = ProgramDirectory();
    dv::LibraryCache cache;

    setenv("PATH", "/usr/bin:/bin", 1);
    unsetenv("GW_FAKE_PATH_AT_LOAD");
    ASSERT_NE(cache.Load("FakeLibA.dll"), nullptr);
    EXPECT_EQ(Env("GW_FAKE_PATH_AT_LOAD"), "/usr/bin:/bin:" + dir);
    EXPECT_EQ(Env("PATH"), "/usr/bin:/bin");

    EXPECT_EQ(cache.Load("NoSuchLibrary.dll"), nullptr);
    EXPECT_EQ(Env("PATH"), "/usr/bin:/bin");

    // A cached name touches nothing.
    setenv("GW_FAKE_PATH_AT_LOAD", "untouched", 1);
    ASSERT_NE(cache.Load("FakeLibA.dll"), nullptr);
    EXPECT_EQ(Env("GW_FAKE_PATH_AT_LOAD"), "untouched");

    // An empty "PATH" is set, so it is extended too.
    setenv("PATH", "", 1);
    ASSERT_NE(cache.Load("FakeLibB.dll"), nullptr);
    EXPECT_EQ(Env("GW_FAKE_PATH_AT_LOAD"), ":" + dir);
    EXPECT_EQ(Env("PATH"), "");

    // An unset "PATH" is left unset, and the load still works.
    unsetenv("PATH");
    ASSERT_NE(cache.Load("FakeLibC.dll"), nullptr);
    EXPECT_EQ(Env("GW_FAKE_PATH_AT_LOAD"), "(unset)");
    EXPECT_EQ(Env("PATH"), std::nullopt);
    EXPECT_EQ(cache.Load("NoSuchLibrary.dll"), nullptr);
    EXPECT_EQ(Env("PATH"), std::nullopt);
}

TEST(LibraryCache, LooksBesideTheReaderLibraryWhenItIsLoaded) {
    PathGuard guard;
    setenv("PATH", "/bin", 1);
    const std::string readerDir = ProgramDirectory() + "qlx/";
    dv::LibraryCache cache;
    // Not beside the program, and the reader library is not loaded yet.
    EXPECT_EQ(dv::LoadedModulePath("QLXReaderLowLevelAPI.dll"), "");
    EXPECT_EQ(cache.Load("FakeInQlx.dll"), nullptr);

    void* reader = dlopen((readerDir + "QLXReaderLowLevelAPI.dll").c_str(), RTLD_NOW);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(dv::LoadedModulePath("QLXReaderLowLevelAPI.dll"),
              readerDir + "QLXReaderLowLevelAPI.dll");
    EXPECT_NE(cache.Load("FakeInQlx.dll"), nullptr);
    EXPECT_EQ(Env("GW_FAKE_PATH_AT_LOAD"), "/bin:" + readerDir);
    // Libraries beside the program are no longer found.
    EXPECT_EQ(cache.Load("FakeLibC.dll"), nullptr);
    dlclose(reader);
}

TEST(LibraryCache, DirectoryAndNameMustFit260Bytes) {
    PathGuard guard;
    setenv("PATH", "/bin", 1);
    const std::string dir = ProgramDirectory();
    const std::string base = "FakeLibA.dll";
    if (dir.size() + base.size() + 1 > 259) GTEST_SKIP() << "build folder path too long";
    // Extra slashes name the same file: directory + name is exactly 259
    // bytes, 260 with the terminating zero.
    const std::string fits = std::string(259 - dir.size() - base.size(), '/') + base;
    dv::LibraryCache cache;
    EXPECT_NE(cache.Load(fits.c_str()), nullptr);
    const std::string tooLong = "/" + fits;
    EXPECT_EQ(cache.Load(tooLong.c_str()), nullptr);
    EXPECT_EQ(cache.Load(std::string(5000, 'x').c_str()), nullptr);
    EXPECT_EQ(Env("PATH"), "/bin");
    EXPECT_EQ(cache.Count(), 1u);
}

}  // namespace
