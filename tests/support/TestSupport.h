// Helpers shared by the tests.
#pragma once

#include <string>

namespace gwtest {

/// Path of a file under tests/data.
std::string DataPath(const std::string& name);

}  // namespace gwtest
