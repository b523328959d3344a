// The default pattern file: the pattern file beside the library, named when
// the library is loaded into a process and read when its fonts are first used.
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

/// At load: names the default pattern file, which the pattern store reads on
/// its first use (SetDefaultPatternFile); a missing file is no error.
void AttachLibrary();

/// At unload: empties the pattern store.
void DetachLibrary();

}  // namespace gw
