// Dequantization, wavelet synthesis and conversion to pixels, in single-
// precision float with the reference decoder's order of operations (the build
// keeps -ffp-contract=off, so no product is fused into a sum).
//
// Each synthesis step filters the columns of its node into a scratch plane,
// then the rows of the scratch plane back into the node. Columns are filtered
// four at a time with SIMD vectors; each lane computes exactly the scalar sum.
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstring>

#include "WsqInternal.h"

namespace gw::wsq {
namespace {

typedef float Vec4 __attribute__((vector_size(16)));

inline Vec4 Load(const float* p) {
    Vec4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store(float* p, Vec4 v) {
    std::memcpy(p, &v, sizeof v);
}

inline Vec4 Splat(float c) {
    return Vec4{c, c, c, c};
}

// Output k of the plan over 16 lanes from x, accumulated in registers.
inline void Sum16(const LinePlan& plan, size_t k, const float* src, ptrdiff_t srcStride,
                  float* out) {
    const uint32_t t0 = plan.first[k], t1 = plan.first[k + 1];
    const float* in = src + plan.offset[t0] * srcStride;
    Vec4 c = Splat(plan.coef[t0]);
    Vec4 a0 = Load(in) * c, a1 = Load(in + 4) * c, a2 = Load(in + 8) * c, a3 = Load(in + 12) * c;
    for (uint32_t t = t0 + 1; t < t1; ++t) {
        in = src + plan.offset[t] * srcStride;
        c = Splat(plan.coef[t]);
        a0 = a0 + Load(in) * c;
        a1 = a1 + Load(in + 4) * c;
        a2 = a2 + Load(in + 8) * c;
        a3 = a3 + Load(in + 12) * c;
    }
    Store(out, a0);
    Store(out + 4, a1);
    Store(out + 8, a2);
    Store(out + 12, a3);
}

// The same over 4 lanes.
inline void Sum4(const LinePlan& plan, size_t k, const float* src, ptrdiff_t srcStride,
                 float* out) {
    const uint32_t t0 = plan.first[k], t1 = plan.first[k + 1];
    Vec4 a = Load(src + plan.offset[t0] * srcStride) * Splat(plan.coef[t0]);
    for (uint32_t t = t0 + 1; t < t1; ++t) {
        a = a + Load(src + plan.offset[t] * srcStride) * Splat(plan.coef[t]);
    }
    Store(out, a);
}

// dst row k (stride dstStride) = plan terms over src rows (stride srcStride),
// for cols columns.
void FilterColumns(const LinePlan& plan, const float* src, ptrdiff_t srcStride, int cols,
                   float* dst, size_t dstStride) {
    const size_t n = plan.first.size() - 1;
    for (size_t k = 0; k < n; ++k) {
        float* out = dst + k * dstStride;
        int x = 0;
        for (; x + 16 <= cols; x += 16) Sum16(plan, k, src + x, srcStride, out + x);
        for (; x + 4 <= cols; x += 4) Sum4(plan, k, src + x, srcStride, out + x);
        for (; x < cols; ++x) {
            uint32_t t = plan.first[k];
            float acc = src[plan.offset[t] * srcStride + x] * plan.coef[t];
            for (++t; t < plan.first[k + 1]; ++t) {
                acc = acc + src[plan.offset[t] * srcStride + x] * plan.coef[t];
            }
            out[x] = acc;
        }
    }
}

// dst row r (stride dstStride) = plan terms over src row r (stride srcStride).
void FilterRows(const LinePlan& plan, const float* src, size_t srcStride, int rows, float* dst,
                size_t dstStride) {
    const size_t n = plan.first.size() - 1;
    const uint32_t* first = plan.first.data();
    const int32_t* offset = plan.offset.data();
    const float* coef = plan.coef.data();
    for (int r = 0; r < rows; ++r) {
        const float* in = src + static_cast<size_t>(r) * srcStride;
        float* out = dst + static_cast<size_t>(r) * dstStride;
        for (size_t k = 0; k < n; ++k) {
            uint32_t t = first[k];
            float acc = in[offset[t]] * coef[t];
            for (++t; t < first[k + 1]; ++t) acc = acc + in[offset[t]] * coef[t];
            out[k] = acc;
        }
    }
}

// dst[c][r] = src[r][c] for a rows x cols block, in 4 x 4 tiles.
void Transpose(const float* src, size_t srcStride, int rows, int cols, float* dst,
               size_t dstStride) {
    int r = 0;
#if defined(__SSE2__)
    for (; r + 4 <= rows; r += 4) {
        const float* in = src + static_cast<size_t>(r) * srcStride;
        int c = 0;
        for (; c + 4 <= cols; c += 4) {
            __m128 a = _mm_loadu_ps(in + c);
            __m128 b = _mm_loadu_ps(in + srcStride + c);
            __m128 d = _mm_loadu_ps(in + 2 * srcStride + c);
            __m128 e = _mm_loadu_ps(in + 3 * srcStride + c);
            _MM_TRANSPOSE4_PS(a, b, d, e);
            float* out = dst + static_cast<size_t>(c) * dstStride + r;
            _mm_storeu_ps(out, a);
            _mm_storeu_ps(out + dstStride, b);
            _mm_storeu_ps(out + 2 * dstStride, d);
            _mm_storeu_ps(out + 3 * dstStride, e);
        }
        for (; c < cols; ++c) {
            for (int i = 0; i < 4; ++i) {
                dst[static_cast<size_t>(c) * dstStride + r + i] = in[i * srcStride + c];
            }
        }
    }
#endif
    for (; r < rows; ++r) {
        const float* in = src + static_cast<size_t>(r) * srcStride;
        for (int c = 0; c < cols; ++c) dst[static_cast<size_t>(c) * dstStride + r] = in[c];
    }
}

}  // namespace

void Dequantize(const Geometry& g, const QuantTable& q, const std::vector<int16_t>& coefficients,
                int width, float* plane) {
    const float centre = q.binCenter;
    size_t k = 0;
    for (size_t s = 0; s < kSubbands; ++s) {
        const float bin = q.q[s];
        if (bin == 0.0f) continue;
        const double halfZero = static_cast<double>(q.z[s]) / 2.0;
        const Region& r = g.subband[s];
        for (int y = 0; y < r.h; ++y) {
            float* row = plane + static_cast<size_t>(r.y + y) * static_cast<size_t>(width) + r.x;
            for (int x = 0; x < r.w; ++x) {
                const int v = coefficients[k++];
                if (v > 0) {
                    row[x] = static_cast<float>(
                        static_cast<double>(bin * (static_cast<float>(v) - centre)) + halfZero);
                } else if (v < 0) {
                    row[x] = static_cast<float>(
                        static_cast<double>(bin * (static_cast<float>(v) + centre)) - halfZero);
                } else {
                    row[x] = 0.0f;
                }
            }
        }
    }
}

void Reconstruct(const Geometry& g, const Synthesis& plan, int width, int height, float* plane,
                 std::vector<float>* scratch) {
    const size_t stride = static_cast<size_t>(width);
    const size_t area = stride * static_cast<size_t>(height);
    if (plan.rowsInLine) {
        scratch->resize(area);
    } else {
        scratch->assign(area, 0.0f);  // short rows may read parts never written
    }
    // Row strips of kStrip rows are transposed so that their rows are filtered
    // as columns, kStrip lanes wide.
    constexpr int kStrip = 16;
    std::vector<float> lines(stride * kStrip), sums(stride * kStrip);
    for (int k = kNodes - 1; k >= 0; --k) {
        const size_t i = static_cast<size_t>(k);
        const Region& r = g.node[i];
        if (r.w == 0 || r.h == 0) continue;
        const LinePlan& cols = plan.plans[static_cast<size_t>(plan.cols[i])];
        const LinePlan& rows = plan.plans[static_cast<size_t>(plan.rows[i])];
        float* node = plane + static_cast<size_t>(r.y) * stride + r.x;
        if (plan.rowsInLine) {
            const size_t w = static_cast<size_t>(r.w);
            FilterColumns(cols, node, static_cast<ptrdiff_t>(stride), r.w, scratch->data(), w);
            for (int r0 = 0; r0 < r.h; r0 += kStrip) {
                const int n = r.h - r0 < kStrip ? r.h - r0 : kStrip;
                const size_t lanes = static_cast<size_t>(n);
                Transpose(scratch->data() + static_cast<size_t>(r0) * w, w, n, r.w, lines.data(),
                          lanes);
                FilterColumns(rows, lines.data(), n, n, sums.data(), lanes);
                Transpose(sums.data(), lanes, r.w, n, node + static_cast<size_t>(r0) * stride,
                          stride);
            }
        } else {
            // The reference's own layout, so that reads past short rows see
            // what the reference sees there.
            FilterColumns(cols, node, static_cast<ptrdiff_t>(stride), r.w, scratch->data(), stride);
            FilterRows(rows, scratch->data(), stride, r.h, node, stride);
        }
    }
}

void RowToPixels(const float* row, int width, float mShift, float rScale, uint8_t* pixels) {
    int x = 0;
#if defined(__SSE2__)
    // v * scale + shift, then + 0.5 in float: rounding the exact sum of two
    // floats to double and then to float gives the float sum, so this equals
    // the reference's double addition. max() maps NaN to 0 like the tail.
    const __m128 scale = _mm_set1_ps(rScale), shift = _mm_set1_ps(mShift);
    const __m128 half = _mm_set1_ps(0.5f), zero = _mm_setzero_ps(), top = _mm_set1_ps(255.0f);
    for (; x + 16 <= width; x += 16) {
        __m128i q[4];
        for (int i = 0; i < 4; ++i) {
            __m128 v = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(row + x + 4 * i), scale), shift);
            v = _mm_min_ps(_mm_max_ps(_mm_add_ps(v, half), zero), top);
            q[i] = _mm_cvttps_epi32(v);
        }
        const __m128i lo = _mm_packs_epi32(q[0], q[1]), hi = _mm_packs_epi32(q[2], q[3]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels + x), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; x < width; ++x) {
        float v = row[x] * rScale + mShift;
        v = static_cast<float>(static_cast<double>(v) + 0.5);
        uint8_t p = 0;  // also for NaN, which only hostile tables produce
        if (v > 255.0f) {
            p = 255;
        } else if (v >= 0.0f) {
            p = static_cast<uint8_t>(v);
        }
        pixels[x] = p;
    }
}

}  // namespace gw::wsq
