// The memory stream: growth, reading, seeking, statistics and references.
#include <gtest/gtest.h>

#include <cstring>

#include "DVImageCodecs.h"

using dv::IStream;

TEST(MemoryStream, WritesReadsSeeksAndGrows) {
    IStream* s = nullptr;
    ASSERT_EQ(dv::CreateMemoryStream(&s), 0);
    EXPECT_EQ(dv::CreateMemoryStream(nullptr), 2);

    uint32_t n = 0;
    ASSERT_EQ(s->Write("abcdef", 6, &n), 0);
    EXPECT_EQ(n, 6u);
    IStream::StatStg st{};
    ASSERT_EQ(s->Stat(&st, IStream::StatFlagNoName), 0);
    EXPECT_EQ(st.cbSize, 6u);

    uint64_t pos = 99;
    ASSERT_EQ(s->Seek(-2, IStream::SeekEnd, &pos), 0);
    EXPECT_EQ(pos, 4u);
    char buf[8] = {};
    EXPECT_EQ(s->Read(buf, 8, &n), 1);  // short read
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(std::memcmp(buf, "ef", 2), 0);

    // Before the start is refused and leaves the position; past the end a
    // write fills the gap with zeros.
    EXPECT_NE(s->Seek(-10, IStream::SeekCur, &pos), 0);
    ASSERT_EQ(s->Seek(0, IStream::SeekCur, &pos), 0);
    EXPECT_EQ(pos, 6u);
    ASSERT_EQ(s->Seek(8, IStream::SeekSet, nullptr), 0);
    ASSERT_EQ(s->Write("z", 1, nullptr), 0);
    ASSERT_EQ(s->Stat(&st, 0), 0);
    EXPECT_EQ(st.cbSize, 9u);
    ASSERT_EQ(s->Seek(0, IStream::SeekSet, nullptr), 0);
    char all[9];
    ASSERT_EQ(s->Read(all, 9, &n), 0);
    EXPECT_EQ(std::memcmp(all, "abcdef\0\0z", 9), 0);
    EXPECT_NE(s->Seek(0, 7, nullptr), 0);

    EXPECT_EQ(s->AddRef(), 2u);
    EXPECT_EQ(s->Release(), 1u);
    EXPECT_EQ(s->Release(), 0u);  // freed; the leak checker confirms
}
