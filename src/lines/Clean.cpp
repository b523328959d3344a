#include "lines/Clean.h"

#include <algorithm>
#include <cstddef>

namespace gw::lines {
namespace {

int Width(const Box& b) {
    return b[2] - b[0] + 1;
}
int Height(const Box& b) {
    return b[3] - b[1] + 1;
}

// Whether small sits where punctuation of the character beside it would.
bool Beside(const Box& small, const Box& character) {
    const int h = Height(character);
    const int larger = std::max(Width(small), Height(small));
    if (larger * 8 < h || Width(small) > h || Height(small) * 3 > h * 2) return false;
    if (small[1] < character[1] - h / 4 || small[3] > character[3] + h / 2) return false;
    const int gap = std::max(small[0] - character[2], character[0] - small[2]) - 1;
    return gap <= h;
}

}  // namespace

std::vector<Keep> ClassifyObjects(const std::vector<Box>& boxes, const SizeLimits& limits,
                                  bool punctuation) {
    std::vector<Keep> keep(boxes.size(), Keep::Drop);
    std::vector<size_t> normal;  // indexes of Normal boxes, by left edge
    for (size_t i = 0; i < boxes.size(); ++i) {
        const int w = Width(boxes[i]), h = Height(boxes[i]);
        if (w > limits.maxWidth || h > limits.maxHeight) continue;
        if (w >= limits.minWidth && h >= limits.minHeight) {
            keep[i] = Keep::Normal;
            normal.push_back(i);
        }
    }
    if (!punctuation || normal.empty()) return keep;
    std::sort(normal.begin(), normal.end(),
              [&](size_t a, size_t b) { return boxes[a][0] < boxes[b][0]; });
    // A neighbour is at most its own height (<= maxHeight) away, so only
    // characters whose left edge lies within that reach need be looked at.
    const int reach = limits.maxWidth + limits.maxHeight + 1;
    for (size_t i = 0; i < boxes.size(); ++i) {
        const Box& s = boxes[i];
        if (keep[i] != Keep::Drop || Width(s) > limits.maxWidth || Height(s) > limits.maxHeight)
            continue;
        auto it = std::lower_bound(normal.begin(), normal.end(), s[0] - reach,
                                   [&](size_t n, int left) { return boxes[n][0] < left; });
        for (; it != normal.end() && boxes[*it][0] <= s[2] + reach; ++it) {
            if (Beside(s, boxes[*it])) {
                keep[i] = Keep::Small;
                break;
            }
        }
    }
    return keep;
}

std::vector<int> AttachPunctuation(const std::vector<Box>& boxes, std::vector<int> tags) {
    struct Line {
        Box box{};
        std::vector<size_t> members;
        int height = 0;  // median object height
    };
    const int tagCount = tags.empty() ? 0 : *std::max_element(tags.begin(), tags.end());
    std::vector<Line> lines(size_t(std::max(tagCount, 0)) + 1);
    for (size_t i = 0; i < boxes.size(); ++i) {
        if (tags[i] <= 0) continue;
        Line& l = lines[size_t(tags[i])];
        const Box& b = boxes[i];
        l.box = l.members.empty() ? b
                                  : Box{std::min(l.box[0], b[0]), std::min(l.box[1], b[1]),
                                        std::max(l.box[2], b[2]), std::max(l.box[3], b[3])};
        l.members.push_back(i);
    }
    for (Line& l : lines) {
        std::vector<int> heights;
        for (size_t i : l.members) heights.push_back(Height(boxes[i]));
        if (heights.empty()) continue;
        std::nth_element(heights.begin(), heights.begin() + std::ptrdiff_t(heights.size() / 2),
                         heights.end());
        l.height = heights[heights.size() / 2];
    }
    auto fits = [&](const Line& small, const Line& big) {
        const int h = big.height;
        if (big.members.size() <= small.members.size()) return false;
        for (size_t i : small.members) {
            const Box& b = boxes[i];
            if (Height(b) * 3 > h * 2 || b[1] < big.box[1] - h / 4 || b[3] > big.box[3] + h / 2 ||
                b[0] < big.box[0] - h || b[2] > big.box[2] + h)
                return false;
        }
        return true;
    };
    for (size_t s = 1; s < lines.size(); ++s) {
        if (lines[s].members.empty() || lines[s].members.size() > 2) continue;
        for (size_t t = 1; t < lines.size(); ++t) {
            if (t == s || !fits(lines[s], lines[t])) continue;
            for (size_t i : lines[s].members) tags[i] = int(t);
            break;
        }
    }
    return tags;
}

}  // namespace gw::lines
