// Identification: font selection, cell codes, ratio admission, the five
// tries, and the three identification exports.
#include "recognition/Identify.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "recognition/Score.h"

namespace gw {
namespace {

using OBJECTINFO = ObjectList::OBJECTINFO;

// Code index of a cell with count ink pixels out of n: 0 for none, 3 for
// all, 2 for at least n / 2 (2 * count + 1 >= n), 1 otherwise. Branch-free:
// the codes of neighbouring cells follow no pattern.
template <class Int>
uint8_t CodeOf(Int count, Int n) {
    const int inked = count != 0;
    return static_cast<uint8_t>(inked + (inked & (2 * count + 1 >= n)) + (inked & (count == n)));
}

// The readable part of the rows: image rows and columns of the row buffers.
struct Readable {
    int64_t top, bottom;  // image rows, bottom exclusive
    int64_t columns;      // image columns 0 .. columns - 1
};

Readable ReadableOf(const AREAINFO& area) {
    const int64_t columns = BitAccessors() ? int64_t{area.rowBytes} * 8 : int64_t{area.rowBytes};
    return {area.top, int64_t{area.top} + area.height, columns};
}

template <bool Bits>
int64_t CountInk(const uint8_t* row, int64_t from, int64_t to, uint8_t limit) {
    int64_t n = 0;
    for (int64_t x = from; x < to; ++x) n += Pixels<Bits>::Ink(row, static_cast<int32_t>(x), limit);
    return n;
}

bool SameName(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

bool Below(const Ratio& a, const Ratio& b) {
    return a.whole != b.whole ? a.whole < b.whole : a.hundredths < b.hundredths;
}

void* Allocate(size_t bytes) {
    void* p = std::calloc(1, bytes);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

Box BoxOf(const OBJECTINFO& o) {
    return {o.left, o.top, o.right, o.bottom};
}

}  // namespace

Box TryOf(const Box& box, int32_t t) {
    Box b = box;
    switch (t) {
        case 1:
            ++b.top;
            break;
        case 2:
            --b.bottom;
            break;
        case 3:
            ++b.left;
            break;
        case 4:
            --b.right;
            break;
        default:
            break;
    }
    return b;
}

PatternFont* SelectFont(const AREAINFO& area) {
    if (FontCount() == 0) return nullptr;
    for (const auto& font : Store().fonts) {
        if (area.fontName != nullptr ? SameName(font->name, area.fontName)
                                     : font->index == area.fontIndex) {
            return font.get();
        }
    }
    return nullptr;
}

char ClassifyCell(const AREAINFO& area, int64_t x, int64_t y, int64_t w, int64_t h) {
    if (w < 1) return '-';
    const Readable r = ReadableOf(area);
    int64_t count = 0;
    for (int64_t row = std::max(y, r.top); row < std::min(y + h, r.bottom); ++row) {
        for (int64_t column = std::max<int64_t>(x, 0); column < std::min(x + w, r.columns);
             ++column) {
            count += IsInk(area.workRows, static_cast<int32_t>(row - area.top),
                           static_cast<int32_t>(column)) != 0;
        }
    }
    return kObjectCodes[CodeOf(count, w * std::max<int64_t>(h, 0))];
}

std::string NormaliseToGrid(const AREAINFO& area, const Box& box, int32_t gridW, int32_t gridH) {
    const int64_t W = box.right - box.left + 1;
    const int64_t H = box.bottom - box.top + 1;
    std::string cells;
    int64_t rowAcc = 0;
    int64_t y = box.top;
    for (int32_t r = 0; r < gridH; ++r) {
        rowAcc += H % gridH;
        int64_t h = H / gridH;
        if (rowAcc >= gridH) ++h, rowAcc -= gridH;
        int64_t colAcc = 0;
        int64_t x = box.left;
        for (int32_t c = 0; c < gridW; ++c) {
            colAcc += W % gridW;
            int64_t w = W / gridW;
            if (colAcc >= gridW) ++w, colAcc -= gridW;
            cells += ClassifyCell(area, x, y, w, h);
            x += w;
        }
        y += h;
    }
    return cells;
}

Ratio BoxRatio(const Box& box) {
    const int64_t W = box.right - box.left + 1;
    const int64_t H = box.bottom - box.top + 1;
    if (H == 0) return {9, 99};
    return {static_cast<int32_t>(W / H), static_cast<int32_t>((W % H) * 100 / H)};
}

bool Admits(const CharPattern& pattern, const Ratio& ratio) {
    return !Below(ratio, pattern.low) && !Below(pattern.high, ratio);
}

FontMatcher::FontMatcher(const AREAINFO& area, PatternFont& font)
    : area_(area), font_(font), cells_(font.gridWidth * font.gridHeight) {
    if (font.preparedCells != cells_) PrepareFont(font);
    codes_.resize(static_cast<size_t>(cells_));
    masks_.resize(TableBytes(cells_));
    counts_.resize(static_cast<size_t>(font.gridWidth));
    edges_.resize(static_cast<size_t>(font.gridWidth) + 1);
    below_.resize(static_cast<size_t>(font.gridWidth) + 1);
    widths_.resize(static_cast<size_t>(font.gridWidth));
    columnWidths_.resize(static_cast<size_t>(font.gridWidth));
}

void FontMatcher::ColumnWidths(int64_t W) {
    const int32_t gridW = font_.gridWidth;
    const int64_t base = W / gridW;
    const int64_t rem = W % gridW;
    int64_t colAcc = 0;
    for (int32_t c = 0; c < gridW; ++c) {
        colAcc += rem;
        columnWidths_[c] = base;
        if (colAcc >= gridW) ++columnWidths_[c], colAcc -= gridW;
    }
}

// The fast form of NormaliseToGrid for any box: the same cells, as code
// indexes, with every row of a cell read once.
template <bool Bits>
void FontMatcher::DirectCodes(const Box& box) {
    const int32_t gridW = font_.gridWidth;
    const int32_t gridH = font_.gridHeight;
    const int64_t W = box.right - box.left + 1;
    const int64_t H = box.bottom - box.top + 1;
    ColumnWidths(W);
    const int64_t rowBase = H / gridH;
    const int64_t rowRem = H % gridH;
    const Readable readable = ReadableOf(area_);
    const uint8_t limit = InkLimit(area_);
    int64_t rowAcc = 0;
    int64_t y = box.top;
    for (int32_t r = 0; r < gridH; ++r) {
        rowAcc += rowRem;
        int64_t h = rowBase;
        if (rowAcc >= gridH) ++h, rowAcc -= gridH;
        std::fill(counts_.begin(), counts_.end(), 0);
        for (int64_t row = std::max(y, readable.top); row < std::min(y + h, readable.bottom);
             ++row) {
            const uint8_t* pixels = area_.workRows[row - area_.top];
            int64_t x = box.left;
            for (int32_t c = 0; c < gridW; ++c) {
                const int64_t from = std::max<int64_t>(x, 0);
                const int64_t to = std::min(x + columnWidths_[c], readable.columns);
                if (from < to) counts_[c] += CountInk<Bits>(pixels, from, to, limit);
                x += columnWidths_[c];
            }
        }
        for (int32_t c = 0; c < gridW; ++c)
            codes_[static_cast<size_t>(r) * gridW + c] = CodeOf(counts_[c], columnWidths_[c] * h);
        y += h;
    }
}

template <bool Bits>
void FontMatcher::BuildSums(const Box& outer) {
    const Readable readable = ReadableOf(area_);
    sumLeft_ = std::max<int64_t>(outer.left, 0);
    sumTop_ = std::max(outer.top, readable.top);
    sumW_ = std::max<int64_t>(std::min(outer.right + 1, readable.columns) - sumLeft_, 0);
    sumH_ = std::max<int64_t>(std::min(outer.bottom + 1, readable.bottom) - sumTop_, 0);
    const auto stride = static_cast<size_t>(sumW_ + 1);
    sums_.assign(stride * static_cast<size_t>(sumH_ + 1), 0);
    const uint8_t limit = InkLimit(area_);
    for (int64_t y = 0; y < sumH_; ++y) {
        const uint8_t* pixels = area_.workRows[sumTop_ + y - area_.top];
        const int32_t* above = sums_.data() + static_cast<size_t>(y) * stride;
        int32_t* sums = sums_.data() + static_cast<size_t>(y + 1) * stride;
        int32_t run = 0;
        for (int64_t x = 0; x < sumW_; ++x) {
            run += Pixels<Bits>::Ink(pixels, static_cast<int32_t>(sumLeft_ + x), limit);
            sums[x + 1] = above[x + 1] + run;
        }
    }
}

void FontMatcher::Begin(const Box& outer) {
    const int64_t W = outer.right - outer.left + 1;
    const int64_t H = outer.bottom - outer.top + 1;
    summed_ = W >= 1 && H >= 1 &&
              static_cast<uint64_t>(W + 1) * static_cast<uint64_t>(H + 1) <= kTableLimit;
    if (!summed_) return;
    outer_ = outer;
    if (BitAccessors()) {
        BuildSums<true>(outer);
    } else {
        BuildSums<false>(outer);
    }
}

bool FontMatcher::Covers(const Box& box) const {
    return summed_ && box.left >= outer_.left && box.right <= outer_.right &&
           box.top >= outer_.top && box.bottom <= outer_.bottom;
}

// NormaliseToGrid from the table of sums, for a box that it covers. The
// table holds at most kTableLimit entries, so its counts and every cell's
// pixel count fit 32 bits.
void FontMatcher::SummedCodes(const Box& box) {
    const int32_t gridW = font_.gridWidth;
    const int32_t gridH = font_.gridHeight;
    const int64_t W = box.right - box.left + 1;
    const int64_t H = box.bottom - box.top + 1;
    ColumnWidths(W);
    const int64_t rowBase = H / gridH;
    const int64_t rowRem = H % gridH;
    // Column edges of the cells in the table (pixels outside it hold no ink).
    int64_t x = box.left;
    edges_[0] = static_cast<int32_t>(std::clamp<int64_t>(x - sumLeft_, 0, sumW_));
    for (int32_t c = 0; c < gridW; ++c) {
        x += columnWidths_[c];
        edges_[c + 1] = static_cast<int32_t>(std::clamp<int64_t>(x - sumLeft_, 0, sumW_));
        widths_[c] = static_cast<int32_t>(columnWidths_[c]);
    }
    const auto stride = static_cast<size_t>(sumW_ + 1);
    int64_t rowAcc = 0;
    int64_t y = box.top;
    for (int32_t r = 0; r < gridH; ++r) {
        rowAcc += rowRem;
        int64_t h = rowBase;
        if (rowAcc >= gridH) ++h, rowAcc -= gridH;
        const int32_t* upper =
            sums_.data() + static_cast<size_t>(std::clamp<int64_t>(y - sumTop_, 0, sumH_)) * stride;
        const int32_t* lower =
            sums_.data() +
            static_cast<size_t>(std::clamp<int64_t>(y + h - sumTop_, 0, sumH_)) * stride;
        // The ink left of each edge in the row's band; a cell's ink is the
        // difference between its two edges.
        for (int32_t e = 0; e <= gridW; ++e) below_[e] = lower[edges_[e]] - upper[edges_[e]];
        uint8_t* codes = codes_.data() + static_cast<size_t>(r) * gridW;
        const auto height = static_cast<int32_t>(h);
        for (int32_t c = 0; c < gridW; ++c)
            codes[c] = CodeOf(below_[c + 1] - below_[c], widths_[c] * height);
        y += h;
    }
}

void FontMatcher::Match(const Box& box, int32_t& score, char& character, char* cells) {
    if (box.right < box.left || box.bottom < box.top) {
        std::fill(codes_.begin(), codes_.end(), 0);  // every cell is empty
    } else if (Covers(box)) {
        SummedCodes(box);
    } else if (BitAccessors()) {
        DirectCodes<true>(box);
    } else {
        DirectCodes<false>(box);
    }
    const Ratio ratio = BoxRatio(box);
    BuildMasks(codes_.data(), cells_, masks_.data());
    const size_t tableBytes = TableBytes(cells_);
    bool improved = false;
    for (size_t p = 0; p < font_.patterns.size(); ++p) {
        const CharPattern& pattern = font_.patterns[p];
        int32_t s = 0;
        if (Admits(pattern, ratio) &&
            ScoreAbove(font_.weights.data() + p * tableBytes, masks_.data(), cells_, score, s)) {
            score = s;
            character = pattern.character;
            improved = true;
        }
    }
    if (!improved) return;
    for (int32_t i = 0; i < cells_; ++i) cells[i] = kObjectCodes[codes_[i]];
    cells[cells_] = '\0';
}

}  // namespace gw

extern "C" {

const char* GW_IdentifyObjects() {
    AREAINFO* area = gw::CurrentArea();
    if (area == nullptr) return nullptr;
    gw::PatternFont* font = gw::SelectFont(*area);
    if (font == nullptr) return nullptr;
    gw::FontMatcher matcher(*area, *font);
    const int32_t cells = matcher.Cells();
    ObjectList& list = *area->objects;
    for (ObjectList::OBJECTINFO* o = list.FindFirst(); o != nullptr; o = list.FindNext()) {
        char* buffer = new char[static_cast<size_t>(cells) + 1];
        buffer[0] = '\0';
        int32_t score = -40 * cells;
        char character = 0;
        const gw::Box box = gw::BoxOf(*o);
        matcher.Begin(box);
        for (int32_t t = 0; t < gw::kTries; ++t)
            matcher.Match(gw::TryOf(box, t), score, character, buffer);
        delete[] o->cellString;
        o->cellString = buffer;
        o->score = score;
        o->identity = score >= gw::kAcceptance ? character : '?';
    }
    list.current = nullptr;
    return font->name.c_str();
}

IDENTITYINFO* GW_IdentifyObject(int32_t* rect) {
    AREAINFO* area = gw::CurrentArea();
    if (area == nullptr || rect == nullptr) return nullptr;
    gw::PatternFont* font = gw::SelectFont(*area);
    if (font == nullptr) return nullptr;
    gw::FontMatcher matcher(*area, *font);
    const size_t cellBytes = static_cast<size_t>(matcher.Cells()) + 1;

    // calloc leaves every pointer null, so a failed allocation releases
    // exactly what was made before it.
    std::unique_ptr<IDENTITYINFO, void (*)(IDENTITYINFO*)> info(
        static_cast<IDENTITYINFO*>(gw::Allocate(sizeof(IDENTITYINFO))), FreeIdentityInfo);
    info->candidates =
        static_cast<CANDIDATEINFO*>(gw::Allocate(sizeof(CANDIDATEINFO) * gw::kTries));
    info->count = gw::kTries;
    for (int32_t t = 0; t < gw::kTries; ++t) {
        info->candidates[t].cells = static_cast<char*>(gw::Allocate(cellBytes));
        info->candidates[t].score = -1;
    }
    info->gridWidth = font->gridWidth;
    info->gridHeight = font->gridHeight;
    info->score = -1;

    const gw::Box box = {rect[0], rect[1], rect[2], rect[3]};
    matcher.Begin(box);
    for (int32_t t = 0; t < gw::kTries; ++t) {
        CANDIDATEINFO& candidate = info->candidates[t];
        matcher.Match(gw::TryOf(box, t), candidate.score, candidate.character, candidate.cells);
        if (candidate.score > info->score) {
            info->score = candidate.score;
            info->character = candidate.character;
        }
    }
    if (info->score < gw::kAcceptance) info->character = '?';
    return info.release();
}

char GW_GetObjectIdentity(char** cells, int32_t* score, int32_t* tag) {
    AREAINFO* area = gw::CurrentArea();
    const ObjectList::OBJECTINFO* current = area != nullptr ? area->objects->current : nullptr;
    if (current == nullptr) {
        // Reads as an object never identified, so a host loop sees no character.
        if (cells != nullptr) *cells = nullptr;
        if (score != nullptr) *score = 0;
        if (tag != nullptr) *tag = 0;
        return '?';
    }
    const ObjectList::OBJECTINFO& o = *current;
    if (cells != nullptr) *cells = o.cellString;
    if (score != nullptr) *score = o.score;
    if (tag != nullptr) *tag = o.lineTag;
    return o.identity;
}

}  // extern "C"
