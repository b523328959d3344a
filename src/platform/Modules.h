// Module services for loading outside libraries at run time: where a loaded
// shared object or the running program lives, a process environment variable,
// and opening, searching and closing a shared object by its full path.
//
// These are the Linux counterparts of the services the library cache needs;
// none of them is thread-safe with respect to other threads changing the
// environment or loading objects at the same time.
#pragma once

#include <string>

namespace dv {

/// Full file name of a shared object loaded in the process whose file name
/// (the text after its last '/') equals name, compared byte by byte. Returns
/// an empty string when name is null or empty or no such object is loaded.
std::string LoadedModulePath(const char* name);

/// Full file name of the running program (the target of /proc/self/exe), or an
/// empty string when it cannot be read.
std::string HostProgramPath();

/// Full file name of the shared object (or program) that holds this library's
/// own code: libglyphwick.so when linked as the shared library, the program
/// itself when the library is linked in statically. Empty when unknown.
std::string OwnModulePath();

/// Reads the environment variable name into *value. Returns false, leaving
/// *value alone, when name or value is null or the variable is not set; a
/// variable set to the empty text gives true and "".
bool GetEnvironmentValue(const char* name, std::string* value);

/// Sets (or replaces) the environment variable name to value. Returns false
/// when an argument is null, name is empty or holds '=', or the environment
/// cannot grow. Restoring a variable is setting it back to the value read.
bool SetEnvironmentValue(const char* name, const char* value);

/// Loads the shared object at path with all symbols resolved at once and kept
/// local to it. Returns its handle, or null when path is null or empty or the
/// object cannot be loaded. Each successful call must be matched by
/// CloseModule.
void* OpenModule(const char* path);

/// Address of the symbol name in an opened module, or null when an argument is
/// null or the module has no such symbol.
void* FindModuleSymbol(void* module, const char* name);

/// Releases one reference to a module that OpenModule returned; null is
/// ignored.
void CloseModule(void* module);

}  // namespace dv
