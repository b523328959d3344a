// Finding and loading the default pattern file.
#include "entry/DefaultPatternFile.h"

#include <dlfcn.h>

#include "recognition/PatternStore.h"

namespace gw {

std::string DefaultPatternPath(const std::string& libraryPath) {
    const size_t slash = libraryPath.rfind('/');
    const size_t name = slash == std::string::npos ? 0 : slash + 1;
    for (size_t at = libraryPath.find(".so", name); at != std::string::npos;
         at = libraryPath.find(".so", at + 1)) {
        const size_t after = at + 3;
        if (after == libraryPath.size() || libraryPath[after] == '.')
            return libraryPath.substr(0, at) + ".PAT";
    }
    return std::string();
}

std::string LibraryPath() {
    Dl_info info = {};
    // Any function of the library names the file it was loaded from.
    if (dladdr(reinterpret_cast<void*>(&LibraryPath), &info) == 0 || info.dli_fname == nullptr)
        return std::string();
    return info.dli_fname;
}

void AttachLibrary() {
    const std::string path = DefaultPatternPath(LibraryPath());
    if (!path.empty()) SetDefaultPatternFile(path.c_str());
}

void DetachLibrary() {
    EmptyStore();
}

}  // namespace gw
