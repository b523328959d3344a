// Cell scoring: the points table, the plain comparison and the fast form.
#include "recognition/Score.h"

#include <algorithm>
#include <cstring>

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

void ScorePatterns(const PatternFont& font, const uint8_t* codes, int32_t* scores) {
    const int32_t cells = font.preparedCells;
    const size_t patterns = font.patterns.size();
    const size_t stride = PatternStride(patterns);
    for (size_t first = 0; first < patterns; first += 4 * kLanes) {
        // Four groups of 16 patterns at a time, kept in registers.
        uint16_t sums[4 * kLanes];
        const uint8_t* table = font.weights.data() + first;
#if defined(__SSE2__)
        switch ((std::min(patterns - first, 4 * kLanes) + kLanes - 1) / kLanes) {
            case 1:
                SumLanes<1>(table, stride, codes, cells, sums);
                break;
            case 2:
                SumLanes<2>(table, stride, codes, cells, sums);
                break;
            case 3:
                SumLanes<3>(table, stride, codes, cells, sums);
                break;
            default:
                SumLanes<4>(table, stride, codes, cells, sums);
                break;
        }
#else
        std::memset(sums, 0, sizeof sums);
        for (int32_t i = 0; i < cells; ++i) {
            const uint8_t* row = table + (static_cast<size_t>(i) * 4 + codes[i]) * stride;
            for (size_t p = 0; p < std::min(patterns - first, 4 * kLanes); ++p) sums[p] += row[p];
        }
#endif
        for (size_t p = first; p < std::min(patterns, first + 4 * kLanes); ++p)
            scores[p] = 4 * (sums[p - first] - kBias * cells);
    }
}

}  // namespace gw
