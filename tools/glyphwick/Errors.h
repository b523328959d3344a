// The tool's failures: bad usage or input, reported as one line naming the
// file (when there is one) and the reason, with exit status 2.
#pragma once

#include <sstream>
#include <stdexcept>
#include <string>

namespace gwtool {

/// The parts written one after the other into one text.
template <class... Parts>
std::string Cat(const Parts&... parts) {
    std::ostringstream s;
    (s << ... << parts);
    return s.str();
}

/// Exit statuses: something read, nothing read, bad usage or input, and a
/// file of a batch not read within its time (see --timeout).
enum ExitStatus : int { kRead = 0, kNothingRead = 1, kBadInput = 2, kTimedOut = 3 };

/// Bad usage or input. file is empty for an error of the command line itself.
class InputError : public std::runtime_error {
  public:
    InputError(std::string file, const std::string& reason)
        : std::runtime_error(reason), file_(std::move(file)) {}
    const std::string& File() const { return file_; }
    /// "FILE: reason", or the reason alone without a file.
    std::string Line() const { return file_.empty() ? what() : file_ + ": " + what(); }

  private:
    std::string file_;
};

}  // namespace gwtool
