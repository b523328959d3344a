// The default pattern file: the pattern file beside the library, loaded when
// the library is loaded into a process.
#pragma once

#include <string>

namespace gw {

/// The default pattern file of a library file: its path with the file name
/// cut at ".so" (followed by the end of the name or a ".") and ".PAT"
/// appended, so "/opt/x/libglyphwick.so.2" gives "/opt/x/libglyphwick.PAT".
/// Empty when the file name holds no ".so".
std::string DefaultPatternPath(const std::string& libraryPath);

/// The path of the loaded file that holds this library's code, or empty.
std::string LibraryPath();

/// At load: loads the default pattern file into the pattern store; a missing
/// file is no error.
void AttachLibrary();

/// At unload: empties the pattern store.
void DetachLibrary();

}  // namespace gw
