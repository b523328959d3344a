// The grey level of a colour, computed in single precision in a fixed order so
// that every machine gives the same result.
#pragma once

#include <cmath>
#include <cstdint>

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

}  // namespace gw
