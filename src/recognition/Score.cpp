// Cell scoring: the points table, the plain comparison and the fast form.
#include "recognition/Score.h"

#include <algorithm>
#include <bit>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gw {
namespace {

// Points of (pattern code, object code). Pattern codes: "-", "0", "1", "X",
// "/", "?", any other; object codes in kObjectCodes order.
constexpr int8_t kPoints[7][4] = {
    {1, -2, -10, -10}, {1, 1, 0, -5}, {0, 0, 1, 1}, {-10, -5, 1, 1},
    {1, 1, -2, -5},    {1, 1, 1, 1},  {0, 0, 0, 0},
};
constexpr int32_t kBias = 10;  // makes every entry of kPoints a byte of 0..11
constexpr int32_t kMostBiased = 1 + kBias;

// Cells summed in bytes before the sums are widened, and the widened sums
// of the largest grid, which must fit 16 bits.
constexpr int32_t kBlock = 255 / kMostBiased;
static_assert(kBlock * kMostBiased <= 255);
static_assert(int64_t{kMaxGridCells} * kMostBiased <= 65535);

constexpr char kPatternCodes[] = "-01X/?";

// Index of a code in "-01X/?", 6 for any other; the first four are the
// object codes in index order.
constexpr int32_t PatternIndex(char code) {
    for (int32_t i = 0; i < 6; ++i)
        if (kPatternCodes[i] == code) return i;
    return 6;
}
static_assert(PatternIndex('?') == 5 && PatternIndex('a') == 6 && kPoints[5][3] + kBias == 11);
static_assert(PatternIndex(kObjectCodes[0]) == 0 && PatternIndex(kObjectCodes[1]) == 1 &&
              PatternIndex(kObjectCodes[2]) == 2 && PatternIndex(kObjectCodes[3]) == 3);

#if defined(__SSE2__)
// Every row of a font's table starts 16-byte aligned: the table's storage
// comes from operator new and its stride is a whole number of lanes.
static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= sizeof(__m128i) && kLanes % sizeof(__m128i) == 0);

// The biased sums of lanes patterns (at most 16 x Groups) from table, one
// row of stride bytes a (cell, object code) pair.
template <int Groups>
void SumLanes(const uint8_t* table, size_t stride, const uint8_t* codes, int32_t cells,
              uint16_t* sums) {
    const __m128i zero = _mm_setzero_si128();
    __m128i low[Groups], high[Groups];
    for (int g = 0; g < Groups; ++g) low[g] = high[g] = zero;
    for (int32_t start = 0; start < cells; start += kBlock) {
        __m128i bytes[Groups];
        const int32_t end = std::min(cells, start + kBlock);
        const uint8_t* rows = table + static_cast<size_t>(start) * 4 * stride;
        for (int g = 0; g < Groups; ++g) bytes[g] = zero;
        for (int32_t i = start; i < end; ++i, rows += 4 * stride) {
            const auto* row = reinterpret_cast<const __m128i*>(rows + codes[i] * stride);
            for (int g = 0; g < Groups; ++g)
                bytes[g] = _mm_add_epi8(bytes[g], _mm_load_si128(row + g));
        }
        for (int g = 0; g < Groups; ++g) {
            low[g] = _mm_add_epi16(low[g], _mm_unpacklo_epi8(bytes[g], zero));
            high[g] = _mm_add_epi16(high[g], _mm_unpackhi_epi8(bytes[g], zero));
        }
    }
    for (int g = 0; g < Groups; ++g) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + g * kLanes), low[g]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + g * kLanes + 8), high[g]);
    }
}
#endif

// Calls f with the number of 16-lane groups (1 to 4) as a constant, for
// lanes lanes (a whole number of groups, at most four).
template <class F>
void ByGroups(size_t lanes, F f) {
    switch (lanes / kLanes) {
        case 1:
            return f(std::integral_constant<int, 1>{});
        case 2:
            return f(std::integral_constant<int, 2>{});
        case 3:
            return f(std::integral_constant<int, 3>{});
        default:
            return f(std::integral_constant<int, 4>{});
    }
}

// Set bits of a 16-bit mask, without the popcnt instruction that the x86-64
// baseline lacks (std::popcount would call a library function).
int32_t CountBits(uint32_t mask) {
    mask = mask - ((mask >> 1) & 0x5555u);
    mask = (mask & 0x3333u) + ((mask >> 2) & 0x3333u);
    mask = (mask + (mask >> 4)) & 0x0f0fu;
    return static_cast<int32_t>((mask + (mask >> 8)) & 0x1fu);
}

#if defined(__SSE2__)
// The cells whose codes changed, for ChangeLanes.
struct Change {
    const uint8_t* table;     // the font's table from the first lane summed
    size_t stride;            // of the table
    const uint16_t* changes;  // one bit a changed cell, 16 cells to a word
    int32_t cells;
    const uint8_t* codes;      // new codes
    const uint8_t* baseCodes;  // old codes
};

// The sums of 16 x Groups lanes from the base sums, each changed cell's old
// points taken away and its new ones added. Sums wrap at 16 bits on the way
// but end where the full sum would.
template <int Groups>
void ChangeLanes(const Change& change, const uint16_t* baseSums, uint16_t* sums) {
    const __m128i zero = _mm_setzero_si128();
    __m128i low[Groups], high[Groups];
    for (int g = 0; g < Groups; ++g) {
        low[g] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(baseSums + g * kLanes));
        high[g] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(baseSums + g * kLanes + 8));
    }
    for (int32_t word = 0; word * 16 < change.cells; ++word) {
        for (uint32_t mask = change.changes[word]; mask != 0; mask &= mask - 1) {
            const int32_t i = word * 16 + std::countr_zero(mask);
            const uint8_t* cell = change.table + static_cast<size_t>(i) * 4 * change.stride;
            const auto* add =
                reinterpret_cast<const __m128i*>(cell + change.codes[i] * change.stride);
            const auto* take =
                reinterpret_cast<const __m128i*>(cell + change.baseCodes[i] * change.stride);
            for (int g = 0; g < Groups; ++g) {
                const __m128i in = _mm_load_si128(add + g);
                const __m128i out = _mm_load_si128(take + g);
                low[g] = _mm_add_epi16(low[g], _mm_sub_epi16(_mm_unpacklo_epi8(in, zero),
                                                             _mm_unpacklo_epi8(out, zero)));
                high[g] = _mm_add_epi16(high[g], _mm_sub_epi16(_mm_unpackhi_epi8(in, zero),
                                                               _mm_unpackhi_epi8(out, zero)));
            }
        }
    }
    for (int g = 0; g < Groups; ++g) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + g * kLanes), low[g]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + g * kLanes + 8), high[g]);
    }
}
#endif

int32_t ScoreOfSum(const PatternFont& font, uint16_t sum) {
    return 4 * (sum - kBias * font.preparedCells);
}

}  // namespace

int32_t CompareCells(const char* objectCells, const std::string& patternCells) {
    int32_t sum = 0;
    for (size_t i = 0; objectCells[i] != '\0'; ++i) {
        const int32_t o = PatternIndex(objectCells[i]);
        if (i >= patternCells.size() || o > 3) continue;
        sum += kPoints[PatternIndex(patternCells[i])][o];
    }
    return sum * 4;
}

void PrepareFont(PatternFont& font) {
    const int32_t cells = font.gridWidth * font.gridHeight;
    const size_t stride = PatternStride(font.patterns.size());
    font.preparedCells = cells;
    font.weights.assign(static_cast<size_t>(cells) * 4 * stride, 0);
    for (size_t p = 0; p < font.patterns.size(); ++p) {
        const std::string& pattern = font.patterns[p].cells;
        for (int32_t i = 0; i < cells; ++i) {
            // Past the pattern's end every object code earns 0 points.
            const int32_t code =
                static_cast<size_t>(i) < pattern.size() ? PatternIndex(pattern[i]) : 6;
            for (int32_t o = 0; o < 4; ++o) {
                font.weights[(static_cast<size_t>(i) * 4 + o) * stride + p] =
                    static_cast<uint8_t>(kPoints[code][o] + kBias);
            }
        }
    }
}

void SumPatterns(const PatternFont& font, const uint8_t* codes, uint16_t* sums) {
    const int32_t cells = font.preparedCells;
    const size_t stride = PatternStride(font.patterns.size());
    for (size_t first = 0; first < stride; first += 4 * kLanes) {
        // Four groups of 16 patterns at a time, kept in registers.
        const uint8_t* table = font.weights.data() + first;
        const size_t lanes = std::min(stride - first, 4 * kLanes);
#if defined(__SSE2__)
        ByGroups(lanes, [&](auto groups) {
            SumLanes<groups()>(table, stride, codes, cells, sums + first);
        });
#else
        std::fill_n(sums + first, lanes, uint16_t{0});
        for (int32_t i = 0; i < cells; ++i) {
            const uint8_t* row = table + (static_cast<size_t>(i) * 4 + codes[i]) * stride;
            for (size_t p = 0; p < lanes; ++p) sums[first + p] += row[p];
        }
#endif
    }
}

void ResumPatterns(const PatternFont& font, const uint8_t* baseCodes, const uint16_t* baseSums,
                   const uint8_t* codes, uint16_t* sums) {
    const int32_t cells = font.preparedCells;
    const size_t stride = PatternStride(font.patterns.size());
    // One bit a cell whose code changed, 16 cells to a word.
    uint16_t changes[(kMaxGridCells + 15) / 16];
    int32_t changed = 0;
    for (int32_t start = 0; start < cells; start += 16) {
        uint32_t mask = 0;
        int32_t i = start;
        const int32_t end = std::min(cells, start + 16);
#if defined(__SSE2__)
        if (end - start == 16) {
            const auto load = [](const uint8_t* p) {
                return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            };
            const __m128i same = _mm_cmpeq_epi8(load(codes + start), load(baseCodes + start));
            mask = ~static_cast<uint32_t>(_mm_movemask_epi8(same)) & 0xffffu;
            i = end;
        }
#endif
        for (; i < end; ++i) mask |= static_cast<uint32_t>(codes[i] != baseCodes[i]) << (i - start);
        changes[start / 16] = static_cast<uint16_t>(mask);
        changed += CountBits(mask);
    }
    // Changing a cell costs about four times adding one.
    if (4 * changed > cells) {
        SumPatterns(font, codes, sums);
        return;
    }
    for (size_t first = 0; first < stride; first += 4 * kLanes) {
        const size_t lanes = std::min(stride - first, 4 * kLanes);
#if defined(__SSE2__)
        const Change change = {
            font.weights.data() + first, stride, changes, cells, codes, baseCodes};
        ByGroups(lanes, [&](auto groups) {
            ChangeLanes<groups()>(change, baseSums + first, sums + first);
        });
#else
        std::copy_n(baseSums + first, lanes, sums + first);
        for (int32_t i = 0; i < cells; ++i) {
            if ((changes[i / 16] >> (i % 16) & 1u) == 0) continue;
            const uint8_t* cell = font.weights.data() + first + static_cast<size_t>(i) * 4 * stride;
            const uint8_t* add = cell + codes[i] * stride;
            const uint8_t* take = cell + baseCodes[i] * stride;
            for (size_t p = 0; p < lanes; ++p)
                sums[first + p] = static_cast<uint16_t>(sums[first + p] + add[p] - take[p]);
        }
#endif
    }
}

size_t BestAdmitted(const PatternFont& font, const uint16_t* sums, const uint8_t* admitted,
                    int32_t* score) {
    const size_t stride = PatternStride(font.patterns.size());
    // An admitted pattern competes with its sum + 1 and any other with 0, so
    // that the largest value is the best admitted pattern's (sums stay under
    // 65535: see kMostBiased).
    const auto value = [&](size_t p) {
        return admitted[p] != 0 ? static_cast<uint16_t>(sums[p] + 1) : uint16_t{0};
    };
    uint16_t top = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi16(1);
    __m128i best = zero;
    for (size_t p = 0; p < stride; p += 8) {
        const __m128i in = _mm_cmpgt_epi16(
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(admitted + p)),
                              zero),
            zero);
        const __m128i lanes = _mm_and_si128(
            in, _mm_add_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + p)), one));
        // Unsigned maximum: a - b saturated at 0, plus b.
        best = _mm_add_epi16(_mm_subs_epu16(lanes, best), best);
    }
    uint16_t lanes[8];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), best);
    for (uint16_t lane : lanes) top = std::max(top, lane);
#else
    for (size_t p = 0; p < stride; ++p) top = std::max(top, value(p));
#endif
    size_t first = 0;
    while (value(first) != top) ++first;
    *score = ScoreOfSum(font, static_cast<uint16_t>(top - 1));
    return first;
}

}  // namespace gw
