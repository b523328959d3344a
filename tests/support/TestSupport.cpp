#include "support/TestSupport.h"

#include <stdlib.h>

namespace gwtest {

std::string DataPath(const std::string& name) {
    return std::string(GW_TEST_DATA) + "/" + name;
}

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "glyphwick-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

}  // namespace gwtest
