// Line tagging over many objects: the indexed search for the object that
// follows gives the tags of the plain first-fit search over the whole list.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "Glyphwick.h"
#include "area/Area.h"
#include "support/Page.h"

namespace {

int64_t Middle(const gw::Object& o) {
    return int64_t{o.top} + (int64_t{o.bottom} - o.top) / 2;
}

// The tags by the chain rules, searching the whole list at every step.
std::vector<int32_t> PlainTags(const std::vector<gw::Object*>& objects) {
    std::vector<int32_t> tags(objects.size(), 0);
    int32_t total = 0;
    for (size_t a = 0; a < objects.size(); ++a) {
        if (objects[a]->ignored != 0 || tags[a] != 0) continue;
        tags[a] = ++total;
        for (size_t last = a;;) {
            const gw::Object& l = *objects[last];
            const int64_t lm = Middle(l);
            size_t b = 0;
            for (; b < objects.size(); ++b) {
                const gw::Object& o = *objects[b];
                const int64_t m = Middle(o);
                if (o.ignored == 0 && tags[b] == 0 && o.left > l.right &&
                    ((o.top < lm && lm < o.bottom) || (l.top < m && m < l.bottom)))
                    break;
            }
            if (b == objects.size()) break;
            tags[b] = total;
            last = b;
        }
    }
    return tags;
}

TEST(LineTags, IndexedSearchTagsAsThePlainOne) {
    gwtest::Page page(64, 64);
    ASSERT_NE(gwtest::AreaOver(page), nullptr);
    ObjectList& list = *gw::CurrentArea()->objects;
    // Objects mostly in order of their left edges, as extraction gives them,
    // some out of order; small ones, tall ones across many rows, boxes
    // upside down and ignored ones.
    std::mt19937 random(11);
    std::vector<gw::Object*> objects;
    for (int i = 0; i < 3000; ++i) {
        const int32_t left = i / 3 + int32_t(random() % 7) - (i % 50 == 0 ? 400 : 0);
        const int32_t top = int32_t(random() % 900);
        int32_t height = int32_t(random() % 24) + 1;
        if (i % 97 == 0) height = 700;
        if (i % 89 == 0) height = -5;
        const int32_t rect[4] = {left, top, left + int32_t(random() % 9), top + height - 1};
        objects.push_back(list.Append(rect, 0, 0));
        objects.back()->ignored = i % 13 == 0;
    }
    GW_SetLineTags();
    const std::vector<int32_t> expected = PlainTags(objects);
    size_t differ = 0, tagged = 0;
    for (size_t i = 0; i < objects.size(); ++i) {
        differ += objects[i]->lineTag != expected[i];
        tagged += expected[i] != 0;
    }
    EXPECT_EQ(differ, 0u);
    EXPECT_GT(tagged, 2000u);
    GW_DestroyArea();
}

}  // namespace
