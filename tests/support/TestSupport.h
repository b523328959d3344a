// Helpers shared by the tests: data paths, whole files and temporary folders.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace gwtest {

/// Path of a file under tests/data.
std::string DataPath(const std::string& name);

/// The bytes of a whole file (none when it cannot be read).
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);

/// Writes bytes to a file; false when it cannot.
bool WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

/// A fresh folder under the system's temporary folder, removed with its
/// files at scope end.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    /// The path of a file in the folder.
    std::string Path(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

}  // namespace gwtest
