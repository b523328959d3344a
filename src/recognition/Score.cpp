// Cell scoring: the points table, the plain comparison and the fast form.
#include "recognition/Score.h"

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
constexpr int32_t kBestPoints = 1;

constexpr int32_t PatternIndex(char code) {
    switch (code) {
        case '-':
            return 0;
        case '0':
            return 1;
        case '1':
            return 2;
        case 'X':
            return 3;
        case '/':
            return 4;
        case '?':
            return 5;
        default:
            return 6;
    }
}
static_assert(PatternIndex('?') == 5 && kPoints[5][3] == kBestPoints);

constexpr int32_t ObjectIndex(char code) {
    switch (code) {
        case '-':
            return 0;
        case '0':
            return 1;
        case '1':
            return 2;
        case 'X':
            return 3;
        default:
            return -1;
    }
}

}  // namespace

int32_t CompareCells(const char* objectCells, const std::string& patternCells) {
    int32_t sum = 0;
    for (size_t i = 0; objectCells[i] != '\0'; ++i) {
        const int32_t o = ObjectIndex(objectCells[i]);
        if (i >= patternCells.size() || o < 0) continue;
        sum += kPoints[PatternIndex(patternCells[i])][o];
    }
    return sum * 4;
}

void PrepareFont(PatternFont& font) {
    const int32_t cells = font.gridWidth * font.gridHeight;
    const size_t bytes = TableBytes(cells);
    font.preparedCells = cells;
    font.weights.assign(bytes * font.patterns.size(), 0);
    for (size_t p = 0; p < font.patterns.size(); ++p) {
        const std::string& pattern = font.patterns[p].cells;
        uint8_t* table = font.weights.data() + p * bytes;
        for (int32_t i = 0; i < cells; ++i) {
            // Past the pattern's end every object code earns 0 points.
            const int32_t code =
                static_cast<size_t>(i) < pattern.size() ? PatternIndex(pattern[i]) : 6;
            uint8_t* step = table + static_cast<size_t>(i / kChunk) * 4 * kChunk;
            for (int32_t o = 0; o < 4; ++o)
                step[o * kChunk + i % kChunk] = static_cast<uint8_t>(kPoints[code][o] + kBias);
        }
    }
}

void BuildMasks(const uint8_t* codes, int32_t cells, uint8_t* masks) {
    std::memset(masks, 0, TableBytes(cells));
    for (int32_t i = 0; i < cells; ++i)
        masks[static_cast<size_t>(i / kChunk) * 4 * kChunk + codes[i] * kChunk + i % kChunk] = 0xFF;
}

bool ScoreAbove(const uint8_t* table, const uint8_t* masks, int32_t cells, int32_t beat,
                int32_t& score) {
    const int32_t chunks = ChunksOf(cells);
    int64_t biased = 0;  // sum of the biased points of the cells scored so far
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (int32_t c = 0; c < chunks; ++c) {
        const auto* t = reinterpret_cast<const __m128i*>(table) + 4 * c;
        const auto* m = reinterpret_cast<const __m128i*>(masks) + 4 * c;
        // Every cell has exactly one object code, so one of the four masks
        // selects its points; cells past the grid select nothing.
        const __m128i points = _mm_or_si128(
            _mm_or_si128(_mm_and_si128(_mm_loadu_si128(t), _mm_loadu_si128(m)),
                         _mm_and_si128(_mm_loadu_si128(t + 1), _mm_loadu_si128(m + 1))),
            _mm_or_si128(_mm_and_si128(_mm_loadu_si128(t + 2), _mm_loadu_si128(m + 2)),
                         _mm_and_si128(_mm_loadu_si128(t + 3), _mm_loadu_si128(m + 3))));
        const __m128i sums = _mm_sad_epu8(points, zero);
        biased += _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
#else
    for (int32_t c = 0; c < chunks; ++c) {
        const uint8_t* t = table + static_cast<size_t>(c) * 4 * kChunk;
        const uint8_t* m = masks + static_cast<size_t>(c) * 4 * kChunk;
        for (int32_t i = 0; i < 4 * kChunk; ++i) biased += t[i] & m[i];
#endif
        // Every remaining cell earns at most kBestPoints.
        const int32_t done = (c + 1) * kChunk < cells ? (c + 1) * kChunk : cells;
        const int64_t sofar = biased - int64_t{kBias} * done;
        if (4 * (sofar + int64_t{kBestPoints} * (cells - done)) <= beat) return false;
    }
    score = static_cast<int32_t>(4 * (biased - int64_t{kBias} * cells));
    return true;
}

}  // namespace gw
