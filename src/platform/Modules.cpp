// Module services over the dynamic loader, /proc and the C environment.
#include "platform/Modules.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace dv {
namespace {

struct ModuleSearch {
    const char* name;
    std::string path;
};

// Called once per loaded object, the program first; stops at the first object
// whose file name matches.
int MatchLoadedObject(dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<ModuleSearch*>(data);
    const char* path = info->dlpi_name;
    if (!path || !*path) return 0;
    const char* slash = std::strrchr(path, '/');
    const char* file = slash ? slash + 1 : path;
    if (std::strcmp(file, search->name) != 0) return 0;
    search->path = path;
    return 1;
}

}  // namespace

std::string LoadedModulePath(const char* name) {
    if (!name || !*name) return {};
    ModuleSearch search{name, {}};
    dl_iterate_phdr(MatchLoadedObject, &search);
    return search.path;
}

std::string HostProgramPath() {
    // readlink does not say whether it truncated: grow until the link fits.
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), size_t(n));
        if (buffer.size() >= (size_t{1} << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string OwnModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnModulePath), &info) == 0 || !info.dli_fname) return {};
    // A program's own name can come back bare; /proc tells its full path.
    if (!std::strchr(info.dli_fname, '/')) return HostProgramPath();
    return info.dli_fname;
}

bool GetEnvironmentValue(const char* name, std::string* value) {
    if (!name || !value) return false;
    const char* text = std::getenv(name);
    if (!text) return false;
    *value = text;
    return true;
}

bool SetEnvironmentValue(const char* name, const char* value) {
    if (!name || !value || !*name || std::strchr(name, '=')) return false;
    return setenv(name, value, 1) == 0;
}

void* OpenModule(const char* path) {
    if (!path || !*path) return nullptr;
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* FindModuleSymbol(void* module, const char* name) {
    if (!module || !name) return nullptr;
    return dlsym(module, name);
}

void CloseModule(void* module) {
    if (module) dlclose(module);
}

}  // namespace dv
