// The grey level of a colour, computed in single precision in a fixed order so
// that every machine gives the same result.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include <tmmintrin.h>

namespace gw {

inline constexpr float kWeightRed = 0.3f;
inline constexpr float kWeightGreen = 0.59f;
inline constexpr float kWeightBlue = 0.11f;

/// floor((r * wR + g * wG) + b * wB), each product and sum rounded to single
/// precision, truncated to an integer. With weights that sum above 1 the result
/// can exceed 255; callers that store a byte keep its low 8 bits.
inline int32_t GreyLevelWeighted(uint8_t r, uint8_t g, uint8_t b, float wR, float wG, float wB) {
    const float red = float(r) * wR;
    const float green = float(g) * wG;
    const float blue = float(b) * wB;
    const float sum = std::floor((red + green) + blue);
    // Weights from a caller can give NaN or sums outside 32 bits; those give 0
    // rather than an undefined conversion.
    if (!(sum >= -2147483648.0f && sum < 2147483648.0f)) return 0;
    return int32_t(sum);
}

/// Grey level of an ARGB colour with the standard weights 0.3, 0.59, 0.11.
inline uint32_t GreyLevel(uint32_t argb) {
    return uint32_t(GreyLevelWeighted(uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb),
                                      kWeightRed, kWeightGreen, kWeightBlue));
}

/// The middle one of three levels.
inline uint8_t MiddleOf(uint8_t a, uint8_t b, uint8_t c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

namespace detail {

template <bool kMiddle>
inline uint8_t OneOfThree(const uint8_t* p) {
    return kMiddle ? MiddleOf(p[0], p[1], p[2]) : std::max({p[0], p[1], p[2]});
}

// The byte shuffles that gather channel k of sixteen 3-byte pixels from the
// 48 bytes of three 16-byte loads: mask j of channel k picks from load j the
// bytes that fall in it (0x80, elsewhere, gives a zero).
constexpr std::array<std::array<std::array<uint8_t, 16>, 3>, 3> ChannelShuffles() {
    std::array<std::array<std::array<uint8_t, 16>, 3>, 3> masks{};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 3; ++j)
            for (int p = 0; p < 16; ++p) {
                const int at = 3 * p + k - 16 * j;
                masks[size_t(k)][size_t(j)][size_t(p)] = at >= 0 && at < 16 ? uint8_t(at) : 0x80;
            }
    return masks;
}
inline constexpr auto kChannelShuffles = ChannelShuffles();

// One channel of sixteen 3-byte pixels at a time: the lightest (kMiddle
// false) or the middle one (true), max(min(a, b), min(max(a, b), c)).
template <bool kMiddle>
__attribute__((target("ssse3"))) inline void OneOfThreeShuffled(const uint8_t* in, uint8_t* out,
                                                                size_t n) {
    __m128i mask[3][3];
    for (size_t k = 0; k < 3; ++k)
        for (size_t j = 0; j < 3; ++j)
            mask[k][j] =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(kChannelShuffles[k][j].data()));
    size_t x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m128i* p = reinterpret_cast<const __m128i*>(in + 3 * x);
        const __m128i part[3] = {_mm_loadu_si128(p), _mm_loadu_si128(p + 1),
                                 _mm_loadu_si128(p + 2)};
        __m128i c[3];
        for (size_t k = 0; k < 3; ++k)
            c[k] = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(part[0], mask[k][0]),
                                             _mm_shuffle_epi8(part[1], mask[k][1])),
                                _mm_shuffle_epi8(part[2], mask[k][2]));
        const __m128i v = kMiddle ? _mm_max_epu8(_mm_min_epu8(c[0], c[1]),
                                                 _mm_min_epu8(_mm_max_epu8(c[0], c[1]), c[2]))
                                  : _mm_max_epu8(_mm_max_epu8(c[0], c[1]), c[2]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), v);
    }
    for (; x < n; ++x) out[x] = OneOfThree<kMiddle>(in + 3 * x);
}

// One channel of each of n 3-byte pixels into out, by the shuffles where
// the processor has SSSE3 (chosen at the first call: no load-time resolver,
// which the thread sanitizer's start-up does not survive).
template <bool kMiddle>
inline void OneOfThreeRow(const uint8_t* in, uint8_t* out, size_t n) {
    static const bool shuffles = __builtin_cpu_supports("ssse3");
    if (shuffles) return OneOfThreeShuffled<kMiddle>(in, out, n);
    for (size_t x = 0; x < n; ++x) out[x] = OneOfThree<kMiddle>(in + 3 * x);
}

}  // namespace detail

/// The lightest channel of each of n 3-byte pixels into out: sixteen pixels
/// at a time by byte shuffles where the processor has SSSE3, one at a time
/// elsewhere; the same levels either way. The compiler's own AVX2 build of
/// the plain loop took a third longer than the plain loop; the shuffles take
/// a third of its time.
inline void LightestOfThree(const uint8_t* in, uint8_t* out, size_t n) {
    detail::OneOfThreeRow<false>(in, out, n);
}

/// The middle channel of each of n 3-byte pixels into out, as
/// LightestOfThree: a dark ink of one strong colour (dark blue) keeps two
/// channels dark, where the lightest is its own light one.
inline void MiddleOfThree(const uint8_t* in, uint8_t* out, size_t n) {
    detail::OneOfThreeRow<true>(in, out, n);
}

}  // namespace gw
