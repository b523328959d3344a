#include "support/TestSupport.h"

namespace gwtest {

std::string DataPath(const std::string& name) {
    return std::string(GW_TEST_DATA) + "/" + name;
}

}  // namespace gwtest
