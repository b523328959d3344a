// The process-wide cache of outside libraries (the JPEG 2000 and WSQ
// converters), loaded on first use from the directory of the reader's
// low-level library or else of the host program, and kept until this library
// is unloaded.
#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace dv {

class LibraryCache {
  public:
    /// Size of the directory buffer: the directory and the library name
    /// together, with the terminating zero, must fit it (a kept limit: see
    /// docs/compatibility.md).
    static constexpr size_t kPathBufferSize = 260;

    /// The reader's low-level library; when it is loaded in the process, its
    /// directory is where outside libraries are looked for.
    static constexpr const char* kReaderLibrary = "QLXReaderLowLevelAPI.dll";

    /// The process-wide cache, created empty on the first call and destroyed
    /// (releasing every module) when this library is unloaded.
    static LibraryCache& Instance();

    /// An empty cache. The process uses Instance(); a cache of its own is for
    /// code that must see its modules released.
    LibraryCache() = default;

    /// Releases every cached module in ascending order of name.
    ~LibraryCache();

    LibraryCache(const LibraryCache&) = delete;
    LibraryCache& operator=(const LibraryCache&) = delete;

    /// The module of the library file name (compared byte by byte). A cached
    /// name gives its module at once. Otherwise the library is loaded from the
    /// directory of kReaderLibrary if that is loaded, else of the host program,
    /// with "PATH" extended by ":" and that directory during the load and set
    /// back afterwards (an unset "PATH" is left alone). When that fails and the
    /// library is a shared object of its own, its folder and the glyphwick
    /// folder beside it are tried (where it is built and installed). Only a successful load
    /// is cached. Returns null for a null name, a directory and name that do
    /// not fit kPathBufferSize bytes, or a library that cannot be loaded; a
    /// later call tries again. Not thread-safe: "PATH" changes process-wide.
    void* Load(const char* name);

    /// Number of cached modules.
    size_t Count() const { return modules_.size(); }

  private:
    std::map<std::string, void*> modules_;  // ordered by name: release order
};

}  // namespace dv
