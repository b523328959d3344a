#include "support/TestSupport.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>

namespace gwtest {

std::string DataPath(const std::string& name) {
    return std::string(GW_TEST_DATA) + "/" + name;
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
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
