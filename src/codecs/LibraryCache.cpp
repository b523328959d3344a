// Finding, loading and keeping the outside libraries.
#include "codecs/LibraryCache.h"

#include <cstring>

#include "platform/Modules.h"

namespace dv {
namespace {

LibraryCache* g_cache = nullptr;

// Runs when this library (or the program it is linked into) is unloaded,
// after every static object's destructor, so the cache outlives any decoder
// that a static object might still hold.
__attribute__((destructor)) void ReleaseLibraryCache() {
    delete g_cache;
    g_cache = nullptr;
}

// Writes into buffer the directory that outside libraries are loaded from,
// ending with its '/', or fails when the module's file name does not fit.
bool LibraryDirectory(char (&buffer)[LibraryCache::kPathBufferSize]) {
    std::string module = LoadedModulePath(LibraryCache::kReaderLibrary);
    if (module.empty()) module = HostProgramPath();
    if (module.size() >= sizeof buffer) return false;
    std::memcpy(buffer, module.c_str(), module.size() + 1);
    // Cut after the last '/'; a name without one stays whole.
    if (char* slash = std::strrchr(buffer, '/')) slash[1] = '\0';
    return true;
}

// Where the shared library keeps its plug-ins, tried when the search above
// finds nothing: beside the library (its build tree), then in the glyphwick
// folder beside it (an installed tree, ${libdir}/glyphwick). Code linked into
// the program itself keeps to the search above.
void* OpenBesideLibrary(const char* name) {
    std::string directory = OwnModulePath();
    if (directory.empty() || directory == HostProgramPath()) return nullptr;
    const size_t slash = directory.rfind('/');
    if (slash == std::string::npos) return nullptr;
    directory.resize(slash + 1);
    for (const char* folder : {"", "glyphwick/"}) {
        if (void* module = OpenModule((directory + folder + name).c_str())) return module;
    }
    return nullptr;
}

}  // namespace

LibraryCache& LibraryCache::Instance() {
    if (!g_cache) g_cache = new LibraryCache;
    return *g_cache;
}

LibraryCache::~LibraryCache() {
    for (auto& [name, module] : modules_) CloseModule(module);
    modules_.clear();
}

void* LibraryCache::Load(const char* name) {
    if (!name) return nullptr;
    if (auto found = modules_.find(name); found != modules_.end()) return found->second;

    char path[kPathBufferSize];
    if (!LibraryDirectory(path)) return nullptr;
    const size_t directoryLength = std::strlen(path);
    const size_t nameLength = std::strlen(name);
    if (nameLength >= sizeof path - directoryLength) return nullptr;

    std::string oldPath;
    const bool pathSet = GetEnvironmentValue("PATH", &oldPath);
    if (pathSet) SetEnvironmentValue("PATH", (oldPath + ":" + path).c_str());

    std::memcpy(path + directoryLength, name, nameLength + 1);
    void* module = OpenModule(path);

    if (pathSet) SetEnvironmentValue("PATH", oldPath.c_str());

    if (!module) module = OpenBesideLibrary(name);
    if (module) modules_.emplace(name, module);
    return module;
}

}  // namespace dv
