// A progress bar on the terminal while many files are read: shown on the
// standard error stream only when it is a terminal and there is more than
// one file, so that pipes and logs stay clean.
#pragma once

#include <cstddef>
#include <string>

namespace gwtool {

class Progress {
  public:
    /// active: whether to draw at all (see Wanted).
    Progress(size_t total, bool active);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    /// Shows that the file numbered done (1-based) is being worked on.
    void Step(size_t done, const std::string& file);
    /// Removes the bar so that a message can be written on a clean line.
    void Clear();

    /// True when a bar should be drawn for total files on this standard error.
    static bool Wanted(size_t total);
    /// The bar's text for done of total files, width characters of bar.
    static std::string Bar(size_t done, size_t total, size_t width, const std::string& file);

  private:
    size_t total_;
    bool active_;
    bool shown_ = false;
};

}  // namespace gwtool
