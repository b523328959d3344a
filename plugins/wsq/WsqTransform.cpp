// Dequantization, wavelet synthesis and conversion to pixels, in single-
// precision float with the reference decoder's order of operations (the build
// keeps -ffp-contract=off, so no product is fused into a sum).
//
// Each synthesis step filters the columns of its node into a scratch plane,
// then the rows of the scratch plane back into the node. Columns are filtered
// four at a time with SIMD vectors; each lane computes exactly the scalar sum.
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

// dst row k (stride dstStride) = plan terms over src rows (stride srcStride),
// for cols columns.
void FilterColumns(const LinePlan& plan, const float* src, ptrdiff_t srcStride, int cols,
                   float* dst, size_t dstStride) {
    const size_t n = plan.first.size() - 1;
    constexpr int kBlock = 256;
    for (int c0 = 0; c0 < cols; c0 += kBlock) {
        const int width = cols - c0 < kBlock ? cols - c0 : kBlock;
        for (size_t k = 0; k < n; ++k) {
            float* out = dst + k * dstStride + c0;
            const uint32_t t0 = plan.first[k], t1 = plan.first[k + 1];
            const float* in = src + plan.offset[t0] * srcStride + c0;
            const float c = plan.coef[t0];
            int x = 0;
            for (; x + 4 <= width; x += 4) Store(out + x, Load(in + x) * c);
            for (; x < width; ++x) out[x] = in[x] * c;
            for (uint32_t t = t0 + 1; t < t1; ++t) {
                const float* s = src + plan.offset[t] * srcStride + c0;
                const float ct = plan.coef[t];
                x = 0;
                for (; x + 4 <= width; x += 4) Store(out + x, Load(out + x) + Load(s + x) * ct);
                for (; x < width; ++x) out[x] = out[x] + s[x] * ct;
            }
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

Status Reconstruct(const Geometry& g, const TransformTable& t, int width, int height,
                   float* plane) {
    // The scratch plane is as large as the frame and each step uses it from
    // its origin, as the reference does: short rows read on past their end.
    std::vector<float> scratch(static_cast<size_t>(width) * static_cast<size_t>(height), 0.0f);
    LinePlan cols, rows;
    const size_t stride = static_cast<size_t>(width);
    for (int k = kNodes - 1; k >= 0; --k) {
        const Region& r = g.node[static_cast<size_t>(k)];
        if (r.w == 0 || r.h == 0) continue;
        if (Status s = PlanNode(g, k, t, width, height, &cols, &rows); s != Status::Ok) return s;
        float* node = plane + static_cast<size_t>(r.y) * stride + r.x;
        FilterColumns(cols, node, static_cast<ptrdiff_t>(stride), r.w, scratch.data(), stride);
        FilterRows(rows, scratch.data(), stride, r.h, node, stride);
    }
    return Status::Ok;
}

void RowToPixels(const float* row, int width, float mShift, float rScale, uint8_t* pixels) {
    for (int x = 0; x < width; ++x) {
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
