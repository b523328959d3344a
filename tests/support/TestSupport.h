// Helpers shared by the tests: data paths and temporary folders.
#pragma once

#include <filesystem>
#include <string>

namespace gwtest {

/// Path of a file under tests/data.
std::string DataPath(const std::string& name);

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
