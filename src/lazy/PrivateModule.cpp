// Opening a private module and taking its table.
#include "lazy/PrivateModule.h"

#include "platform/Modules.h"

namespace gw::lazy {

OpenedTable OpenModuleTable(const char* name, const char* symbol, int revision) {
    OpenedTable out;
    std::string directory = dv::OwnModulePath();
    const size_t slash = directory.rfind('/');
    directory.resize(slash == std::string::npos ? 0 : slash + 1);
    void* module = nullptr;
    for (const char* folder : {"", "glyphwick/"}) {
        module = dv::OpenModule((directory + folder + name).c_str());
        if (module) break;
    }
    if (!module) {
        out.error = std::string("the library's module ") + name + " could not be loaded";
        return out;
    }
    using TableFunction = const void* (*)();
    auto get = reinterpret_cast<TableFunction>(dv::FindModuleSymbol(module, symbol));
    const void* table = get ? get() : nullptr;
    if (!table || *static_cast<const int*>(table) != revision) {
        out.error = std::string("the library's module ") + name + " is of another build";
        dv::CloseModule(module);
        return out;
    }
    out.table = table;
    return out;
}

}  // namespace gw::lazy
