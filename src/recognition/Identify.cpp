// Identification: font selection, cell codes, ratio admission, the five
// tries, and the three identification exports.
#include "api/Calls.h"
#include "recognition/Identify.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "recognition/Score.h"
#include "shared/Deadline.h"

namespace gw {
namespace {

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

// Splits length pixels from start into parts, calling part(i, from, size)
// for each: the extra pixels go to the parts at which an accumulator of the
// remainder wraps (7 pixels on 5 parts: 1, 1, 2, 1, 2).
template <class Part>
void Split(int64_t start, int64_t length, int32_t parts, Part part) {
    const int64_t base = length / parts;
    const int64_t rem = length % parts;
    int64_t acc = 0;
    for (int32_t i = 0; i < parts; ++i) {
        acc += rem;
        int64_t size = base;
        if (acc >= parts) ++size, acc -= parts;
        part(i, start, size);
        start += size;
    }
}

// Cells of a grid row whose codes are found together; the row buffers of
// the sums path are padded to a multiple of it.
constexpr int32_t kQuad = 4;

int32_t Padded(int32_t n) {
    return (n + kQuad - 1) / kQuad * kQuad;
}

// CodeOf of the n cells of a band of rows from the ink left of each cell
// edge above the band (upper) and below it (lower): cell c holds the ink
// between edges c and c + 1 out of lesser[c] + 1 pixels (never less than
// its ink). Writes Padded(n) codes; upper and lower hold Padded(n) + 1
// entries, lesser Padded(n).
void RowCodes(const int32_t* upper, const int32_t* lower, const int32_t* lesser, int32_t n,
              uint8_t* codes) {
#if defined(__SSE2__)
    const auto load = [](const int32_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    };
    const __m128i two = _mm_set1_epi32(2);
    for (int32_t c = 0; c < n; c += kQuad) {
        const __m128i count = _mm_sub_epi32(_mm_sub_epi32(load(lower + c + 1), load(upper + c + 1)),
                                            _mm_sub_epi32(load(lower + c), load(upper + c)));
        const __m128i fewer = load(lesser + c);
        // 2, less one under half inked (pixels - 1 > 2 x ink), plus one when
        // full (ink > pixels - 1), never both; 0 when empty.
        const __m128i under = _mm_cmpgt_epi32(fewer, _mm_add_epi32(count, count));
        const __m128i full = _mm_cmpgt_epi32(count, fewer);
        __m128i code = _mm_sub_epi32(_mm_add_epi32(two, under), full);
        code = _mm_andnot_si128(_mm_cmpeq_epi32(count, _mm_setzero_si128()), code);
        code = _mm_packs_epi32(code, code);
        const auto bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(code, code)));
        std::memcpy(codes + c, &bytes, kQuad);
    }
#else
    for (int32_t c = 0; c < n; ++c)
        codes[c] = CodeOf((lower[c + 1] - upper[c + 1]) - (lower[c] - upper[c]), lesser[c] + 1);
#endif
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

void* Allocate(size_t bytes) {
    void* p = std::calloc(1, bytes);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

// A ratio as one number that orders as ratios compare: whole parts first,
// then hundredths.
int64_t RatioKey(const Ratio& r) {
    return int64_t{r.whole} * (int64_t{1} << 32) + (int64_t{r.hundredths} - INT32_MIN);
}

Box BoxOf(const Object& o) {
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
    std::string cells;
    Split(box.top, box.bottom - box.top + 1, gridH, [&](int32_t, int64_t y, int64_t h) {
        Split(box.left, box.right - box.left + 1, gridW,
              [&](int32_t, int64_t x, int64_t w) { cells += ClassifyCell(area, x, y, w, h); });
    });
    return cells;
}

Ratio BoxRatio(const Box& box) {
    const int64_t W = box.right - box.left + 1;
    const int64_t H = box.bottom - box.top + 1;
    if (H == 0) return {9, 99};
    return {static_cast<int32_t>(W / H), static_cast<int32_t>((W % H) * 100 / H)};
}

FontMatcher::FontMatcher(const AREAINFO& area, PatternFont& font)
    : area_(area), font_(font), cells_(font.gridWidth * font.gridHeight) {
    if (font.preparedCells != cells_ ||
        font.weights.size() !=
            static_cast<size_t>(cells_) * 4 * PatternStride(font.patterns.size()))
        PrepareFont(font);
    const auto cells = static_cast<size_t>(cells_);
    const auto columns = static_cast<size_t>(font.gridWidth);
    codes_.resize(cells + kQuad);                           // room for the last row's padding
    admitted_.resize(PatternStride(font.patterns.size()));  // lanes past the last stay 0
    laneSums_.resize(PatternStride(font.patterns.size()));
    baseSums_.resize(PatternStride(font.patterns.size()));
    baseCodes_.resize(cells);
    bestCodes_.resize(cells * kTries);
    for (const CharPattern& pattern : font.patterns) {
        limits_.push_back(RatioKey(pattern.low));
        limits_.push_back(RatioKey(pattern.high));
    }
    areas_.resize(2 * static_cast<size_t>(Padded(font.gridWidth)));
    inkOfColumns_.resize(columns);
    columnWidths_.resize(columns);
    edges_.resize(columns + 1);
    lines_.resize((static_cast<size_t>(font.gridHeight) + 1) *
                  (static_cast<size_t>(Padded(font.gridWidth)) + kQuad));
    taller_.resize(static_cast<size_t>(font.gridHeight));
    bounds_.resize(static_cast<size_t>(font.gridHeight) + 1);
}

void FontMatcher::ColumnWidths(int64_t W) {
    Split(0, W, font_.gridWidth, [&](int32_t c, int64_t, int64_t w) { columnWidths_[c] = w; });
}

// The fast form of NormaliseToGrid for any box: the same cells, as code
// indexes, with every row of a cell read once.
template <bool Bits>
void FontMatcher::DirectCodes(const Box& box) {
    const int32_t gridW = font_.gridWidth;
    ColumnWidths(box.right - box.left + 1);
    const Readable readable = ReadableOf(area_);
    const uint8_t limit = InkLimit(area_);
    Split(box.top, box.bottom - box.top + 1, font_.gridHeight,
          [&](int32_t r, int64_t y, int64_t h) {
              std::fill(inkOfColumns_.begin(), inkOfColumns_.end(), 0);
              for (int64_t row = std::max(y, readable.top); row < std::min(y + h, readable.bottom);
                   ++row) {
                  const uint8_t* pixels = area_.workRows[row - area_.top];
                  int64_t x = box.left;
                  for (int32_t c = 0; c < gridW; ++c) {
                      const int64_t from = std::max<int64_t>(x, 0);
                      const int64_t to = std::min(x + columnWidths_[c], readable.columns);
                      if (from < to) inkOfColumns_[c] += CountInk<Bits>(pixels, from, to, limit);
                      x += columnWidths_[c];
                  }
              }
              for (int32_t c = 0; c < gridW; ++c) {
                  codes_[static_cast<size_t>(r) * gridW + c] =
                      CodeOf(inkOfColumns_[c], columnWidths_[c] * h);
              }
          });
}

#if defined(__SSE2__)
// Sixteen entries of a row of the table of sums from 16 pixels whose ink is
// given as 0 or 1 bytes: to[k] = from[k] + run + the ink of pixels 0 .. k.
// Returns run plus the ink of all 16.
[[gnu::always_inline]] inline int32_t SumSixteen(__m128i ink, int32_t run, const __m128i* from,
                                                 __m128i* to) {
    const __m128i zero = _mm_setzero_si128();
    ink = _mm_add_epi8(ink, _mm_slli_si128(ink, 1));
    ink = _mm_add_epi8(ink, _mm_slli_si128(ink, 2));
    ink = _mm_add_epi8(ink, _mm_slli_si128(ink, 4));
    ink = _mm_add_epi8(ink, _mm_slli_si128(ink, 8));
    const __m128i words[2] = {_mm_unpacklo_epi8(ink, zero), _mm_unpackhi_epi8(ink, zero)};
    const __m128i base = _mm_set1_epi32(run);
    for (int k = 0; k < 4; ++k) {
        const __m128i part = k % 2 == 0 ? _mm_unpacklo_epi16(words[k / 2], zero)
                                        : _mm_unpackhi_epi16(words[k / 2], zero);
        _mm_storeu_si128(to + k,
                         _mm_add_epi32(_mm_add_epi32(part, base), _mm_loadu_si128(from + k)));
    }
    return run + _mm_extract_epi16(words[1], 7);
}
#endif

// One row of the table of sums: sums[0] = 0 and sums[x + 1] = above[x + 1]
// + the ink of pixels[left] .. pixels[left + x]. Byte rows go 16 pixels at a
// time, their ink as 0 or 1 bytes. When the row can be read up to 16
// pixels past the box (end is the first column that cannot), the last
// pixels go the same way, and up to 15 entries past the row are written:
// they are the next row's, written again when it is summed, so the table
// needs kSpill entries past its end.
constexpr size_t kSpill = 16;

template <bool Bits>
void SumRow(const uint8_t* pixels, int32_t left, int32_t width, [[maybe_unused]] int64_t end,
            uint8_t limit, const int32_t* above, int32_t* sums) {
    int32_t run = 0;
    int32_t x = 0;
    sums[0] = 0;
#if defined(__SSE2__)
    if (!Bits && limit > 0) {
        const __m128i highest = _mm_set1_epi8(static_cast<char>(limit - 1));
        const auto inkOf = [&](int32_t at) {
            const __m128i bytes =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + left + at));
            return _mm_and_si128(_mm_cmpeq_epi8(_mm_min_epu8(bytes, highest), bytes),
                                 _mm_set1_epi8(1));
        };
        const auto* from = reinterpret_cast<const __m128i*>(above + 1);
        auto* to = reinterpret_cast<__m128i*>(sums + 1);
        for (; x + 16 <= width; x += 16) run = SumSixteen(inkOf(x), run, from + x / 4, to + x / 4);
        if (x < width && left + x + 16 <= end) {
            // Pixels past the box count as no ink.
            const __m128i lanes =
                _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
            const __m128i inside =
                _mm_cmplt_epi8(lanes, _mm_set1_epi8(static_cast<char>(width - x)));
            SumSixteen(_mm_and_si128(inkOf(x), inside), run, from + x / 4, to + x / 4);
            return;
        }
    }
#endif
    for (; x < width; ++x) {
        run += Pixels<Bits>::Ink(pixels, left + x, limit);
        sums[x + 1] = above[x + 1] + run;
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
    sums_.resize(stride * static_cast<size_t>(sumH_ + 1) + kSpill);
    std::fill_n(sums_.begin(), stride, 0);  // SumRow writes every later row whole
    for (int64_t y = 0; y < sumH_; ++y) {
        SumRow<Bits>(area_.workRows[sumTop_ + y - area_.top], static_cast<int32_t>(sumLeft_),
                     static_cast<int32_t>(sumW_), readable.columns, InkLimit(area_),
                     sums_.data() + static_cast<size_t>(y) * stride,
                     sums_.data() + static_cast<size_t>(y + 1) * stride);
    }
}

void FontMatcher::Begin(const Box& outer) {
    haveBase_ = false;
    const int64_t W = outer.right - outer.left + 1;
    const int64_t H = outer.bottom - outer.top + 1;
    summed_ = W >= 1 && H >= 1 &&
              static_cast<uint64_t>(W + 1) * static_cast<uint64_t>(H + 1) <= kTableLimit;
    haveColumns_ = false;
    if (!summed_) return;
    outer_ = outer;
    if (BitAccessors()) {
        BuildSums<true>(outer);
    } else {
        BuildSums<false>(outer);
    }
    // The shared columns' lines on every row of the table, when they stay
    // within the table's limit; the padding past the edges stays 0.
    const size_t lines =
        static_cast<size_t>(sumH_ + 1) * (static_cast<size_t>(Padded(font_.gridWidth)) + kQuad);
    shareColumns_ = lines <= kTableLimit;
    if (shareColumns_) columns_.resize(lines);
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
    const int64_t H = box.bottom - box.top + 1;
    const int64_t rowBase = H / gridH;
    ColumnWidths(box.right - box.left + 1);
    // Column edges of the cells in the table (pixels outside it hold no ink),
    // and the pixels less one of the cells of a band of rowBase and rowBase
    // + 1 rows.
    int32_t* edges = edges_.data();
    int32_t* areas = areas_.data();
    const int32_t padded = Padded(gridW);
    int64_t x = box.left;
    edges[0] = static_cast<int32_t>(std::clamp<int64_t>(x - sumLeft_, 0, sumW_));
    for (int32_t c = 0; c < gridW; ++c) {
        x += columnWidths_[c];
        edges[c + 1] = static_cast<int32_t>(std::clamp<int64_t>(x - sumLeft_, 0, sumW_));
        areas[c] = static_cast<int32_t>(columnWidths_[c] * rowBase - 1);
        areas[padded + c] = static_cast<int32_t>(columnWidths_[c] * (rowBase + 1) - 1);
    }
    // The ink left of each edge on the table's rows: tries 0 to 2 share
    // their columns, so those read every row's edges from one gathering.
    const auto stride = static_cast<size_t>(sumW_ + 1);
    const size_t lineLength = static_cast<size_t>(padded) + kQuad;
    const auto gather = [&](int64_t row, int32_t* line) {
        const int32_t* sums = sums_.data() + static_cast<size_t>(row) * stride;
        for (int32_t e = 0; e <= gridW; ++e) line[e] = sums[edges[e]];
    };
    const bool shared = shareColumns_ && box.left == outer_.left && box.right == outer_.right;
    if (shared && !haveColumns_) {
        for (int64_t row = 0; row <= sumH_; ++row)
            gather(row, columns_.data() + static_cast<size_t>(row) * lineLength);
        haveColumns_ = true;
    }
    // Each band's upper and lower edge line, gathered before any is read
    // back four at a time.
    const int32_t** bounds = bounds_.data();
    uint8_t* taller = taller_.data();
    int32_t* lines = lines_.data();
    const auto bound = [&](int32_t r, int64_t y) {
        const int64_t row = std::clamp<int64_t>(y - sumTop_, 0, sumH_);
        if (shared) {
            bounds[r] = columns_.data() + static_cast<size_t>(row) * lineLength;
        } else {
            int32_t* line = lines + static_cast<size_t>(r) * lineLength;
            gather(row, line);
            bounds[r] = line;
        }
    };
    Split(box.top, H, gridH, [&](int32_t r, int64_t y, int64_t h) {
        bound(r, y);
        if (r == gridH - 1) bound(gridH, y + h);
        taller[r] = h != rowBase;
    });
    uint8_t* codes = codes_.data();
    for (int32_t r = 0; r < gridH; ++r) {
        // Each row's padding codes are overwritten by the next row's.
        RowCodes(bounds[r], bounds[r + 1], areas + (taller[r] != 0 ? padded : 0), gridW,
                 codes + static_cast<size_t>(r) * gridW);
    }
}

bool FontMatcher::Admit(int64_t key) {
    // The tries of a box have three ratios at most, each often repeated.
    if (admittedValid_ && key == admittedKey_) return anyAdmitted_;
    const size_t patterns = font_.patterns.size();
    const int64_t* limits = limits_.data();
    uint8_t* admitted = admitted_.data();
    bool any = false;
    for (size_t p = 0; p < patterns; ++p) {
        admitted[p] = limits[2 * p] <= key && key <= limits[2 * p + 1];
        any |= admitted[p] != 0;
    }
    admittedValid_ = true;
    admittedKey_ = key;
    anyAdmitted_ = any;
    return any;
}

bool FontMatcher::Match(const Box& box, int32_t& score, char& character, uint8_t* codes) {
    // Without an admitting pattern the try changes nothing: no cell work.
    if (!Admit(RatioKey(BoxRatio(box)))) return false;
    if (box.right < box.left || box.bottom < box.top) {
        std::fill(codes_.begin(), codes_.end(), 0);  // every cell is empty
    } else if (Covers(box)) {
        SummedCodes(box);
    } else if (BitAccessors()) {
        DirectCodes<true>(box);
    } else {
        DirectCodes<false>(box);
    }
    // The tries of a box differ in few cells: the first scored is summed in
    // full, the rest from it.
    const uint16_t* sums = baseSums_.data();
    if (haveBase_) {
        ResumPatterns(font_, baseCodes_.data(), baseSums_.data(), codes_.data(), laneSums_.data());
        sums = laneSums_.data();
    } else {
        SumPatterns(font_, codes_.data(), baseSums_.data());
        std::copy_n(codes_.begin(), cells_, baseCodes_.begin());
        haveBase_ = true;
    }
    int32_t top = 0;
    const size_t best = BestAdmitted(font_, sums, admitted_.data(), &top);
    if (top <= score) return false;
    score = top;
    character = font_.patterns[best].character;
    std::memcpy(codes, codes_.data(), static_cast<size_t>(cells_));
    return true;
}

void FontMatcher::MatchTries(const Box& box, CANDIDATEINFO* slots, bool each) {
    Begin(box);
    // Codes of each slot's best try, spelt out once at the end.
    bool won[kTries] = {};
    for (int32_t t = 0; t < kTries; ++t) {
        const int32_t s = each ? t : 0;
        won[s] |= Match(TryOf(box, t), slots[s].score, slots[s].character,
                        bestCodes_.data() + static_cast<size_t>(s) * cells_);
    }
    for (int32_t s = 0; s < kTries; ++s) {
        if (!won[s]) continue;
        const uint8_t* codes = bestCodes_.data() + static_cast<size_t>(s) * cells_;
        char* cells = slots[s].cells;
        for (int32_t i = 0; i < cells_; ++i) cells[i] = kObjectCodes[codes[i]];
        cells[cells_] = '\0';
    }
}

const char* IdentifyObjects() {
    AREAINFO* area = gw::CurrentArea();
    if (area == nullptr) return nullptr;
    gw::PatternFont* font = gw::SelectFont(*area);
    if (font == nullptr) return nullptr;
    gw::FontMatcher matcher(*area, *font);
    const int32_t cells = matcher.Cells();
    ObjectList& list = *area->objects;
    gw::Deadline* deadline = gw::State().deadline;
    for (Object* o = list.FindFirst(); o != nullptr; o = list.FindNext()) {
        if (deadline != nullptr && deadline->expired()) break;
        char* buffer = new char[static_cast<size_t>(cells) + 1];
        buffer[0] = '\0';
        // Every try competes with the earlier ones for one result.
        CANDIDATEINFO best = {buffer, nullptr, nullptr, 0, -40 * cells};
        matcher.MatchTries(gw::BoxOf(*o), &best, false);
        delete[] o->cellString;
        o->cellString = buffer;
        o->score = best.score;
        o->identity = best.score >= gw::kAcceptance ? best.character : '?';
    }
    list.current = nullptr;
    return font->name.c_str();
}

IDENTITYINFO* IdentifyObject(int32_t* rect) {
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

    matcher.MatchTries({rect[0], rect[1], rect[2], rect[3]}, info->candidates, true);
    for (int32_t t = 0; t < gw::kTries; ++t) {
        const CANDIDATEINFO& candidate = info->candidates[t];
        if (candidate.score > info->score) {
            info->score = candidate.score;
            info->character = candidate.character;
        }
    }
    if (info->score < gw::kAcceptance) info->character = '?';
    return info.release();
}

char GetObjectIdentity(char** cells, int32_t* score, int32_t* tag) {
    AREAINFO* area = gw::CurrentArea();
    const Object* current = area != nullptr ? area->objects->current : nullptr;
    if (current == nullptr) {
        // Reads as an object never identified, so a host loop sees no character.
        if (cells != nullptr) *cells = nullptr;
        if (score != nullptr) *score = 0;
        if (tag != nullptr) *tag = 0;
        return '?';
    }
    const Object& o = *current;
    if (cells != nullptr) *cells = o.cellString;
    if (score != nullptr) *score = o.score;
    if (tag != nullptr) *tag = o.lineTag;
    return o.identity;
}

}  // namespace gw
