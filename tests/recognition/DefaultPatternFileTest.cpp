// The default pattern file's name, and what load and unload do with it.
#include "RecognitionTestSupport.h"
#include "entry/DefaultPatternFile.h"
#include "recognition/PatternStore.h"

namespace {

class DefaultPatternFileTest : public rectest::RecognitionTest {};

TEST_F(DefaultPatternFileTest, NameBesideTheLibrary) {
    EXPECT_EQ(gw::DefaultPatternPath("/opt/x/libglyphwick.so.2"), "/opt/x/libglyphwick.PAT");
    EXPECT_EQ(gw::DefaultPatternPath("/opt/x/libglyphwick.so"), "/opt/x/libglyphwick.PAT");
    EXPECT_EQ(gw::DefaultPatternPath("libglyphwick.so.2.4.5"), "libglyphwick.PAT");
    // Only ".so" that ends the name or is followed by "." counts, and only
    // in the file name.
    EXPECT_EQ(gw::DefaultPatternPath("/a.so/lib.sober.so.1"), "/a.so/lib.sober.PAT");
    EXPECT_EQ(gw::DefaultPatternPath("/a.so/glyphwick"), "");
    EXPECT_EQ(gw::DefaultPatternPath(""), "");
}

TEST_F(DefaultPatternFileTest, AttachAndDetach) {
    // This test program is no ".so": attaching loads nothing.
    EXPECT_FALSE(gw::LibraryPath().empty());
    gw::AttachLibrary();
    EXPECT_TRUE(rectest::FontNames().empty());
    // Detaching empties the store, whatever it holds.
    ASSERT_EQ(rectest::Load("ONE TWO"), 1);
    gw::DetachLibrary();
    EXPECT_TRUE(rectest::FontNames().empty());
    EXPECT_EQ(rectest::Load("THREE"), 1);
    EXPECT_EQ(gw::Store().fonts[0]->index, 0);
}

}  // namespace
