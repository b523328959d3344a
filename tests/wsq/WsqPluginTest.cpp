// The built "DVWSQLib.dll", loaded by path beside this test program and used
// only through its two C entry points, as the image codecs use it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "WsqDecoder.h"
#include "support/TestSupport.h"

namespace {

using SizeFn = int32_t (*)(const uint8_t*, int32_t, int32_t*);
using ConvertFn = int32_t (*)(const uint8_t*, int32_t, uint8_t*, int32_t);

std::string PluginPath() {
    char exe[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string();
    dir.resize(dir.find_last_of('/') + 1);
    return dir + "DVWSQLib.dll";
}

// The size query and the conversion agree, and the file is the one the
// decoder core writes; success is 0.
TEST(WsqPlugin, ConvertsTheVectors) {
    void* handle = dlopen(PluginPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    const auto size = reinterpret_cast<SizeFn>(dlsym(handle, "GetWSQBufferSize"));
    const auto convert = reinterpret_cast<ConvertFn>(dlsym(handle, "ConvertWSQBufferToBMPBuffer"));
    ASSERT_NE(size, nullptr);
    ASSERT_NE(convert, nullptr);
    for (const char* name : {"a_ridges_256x256", "b2_gradedge_203x181", "c2_tiny_53x33"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> wsq =
            gwtest::ReadBytes(gwtest::DataPath("wsq/") + name + ".br075.wsq");
        const int32_t n = static_cast<int32_t>(wsq.size());
        int32_t bmpSize = 0;
        ASSERT_EQ(size(wsq.data(), n, &bmpSize), 0);
        gw::wsq::FrameInfo info;
        ASSERT_EQ(gw::wsq::Inspect(wsq.data(), wsq.size(), &info), gw::wsq::Status::Ok);
        ASSERT_EQ(static_cast<size_t>(bmpSize), gw::wsq::BmpFileSize(info.width, info.height));

        std::vector<uint8_t> bmp(static_cast<size_t>(bmpSize), 0);
        ASSERT_EQ(convert(wsq.data(), n, bmp.data(), bmpSize), 0);
        std::vector<uint8_t> expected(bmp.size());
        ASSERT_EQ(gw::wsq::DecodeToBmp(wsq.data(), wsq.size(), expected.data(), expected.size()),
                  gw::wsq::Status::Ok);
        EXPECT_EQ(bmp, expected);

        // Too small a buffer, and the checks of the arguments.
        EXPECT_NE(convert(wsq.data(), n, bmp.data(), bmpSize - 1), 0);
        EXPECT_NE(convert(nullptr, n, bmp.data(), bmpSize), 0);
        EXPECT_NE(convert(wsq.data(), 0, bmp.data(), bmpSize), 0);
        EXPECT_NE(convert(wsq.data(), n, nullptr, bmpSize), 0);
        EXPECT_NE(convert(wsq.data(), n, bmp.data(), -5), 0);
        int32_t unchanged = 77;
        EXPECT_NE(size(nullptr, n, &unchanged), 0);
        EXPECT_NE(size(wsq.data(), -1, &unchanged), 0);
        EXPECT_NE(size(wsq.data(), n, nullptr), 0);
        EXPECT_EQ(unchanged, 77);
    }
    dlclose(handle);
}

}  // namespace
