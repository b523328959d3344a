#include "mrz/MrzClassify.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include <opencv2/dnn.hpp>
#include <opencv2/dnn/all_layers.hpp>

namespace gw::mrz {

namespace {

// The network as ONNX bytes, written by tools/mrz-train/train.py.
#include "mrz/MrzModelData.inc"

// One network per thread: a cv::dnn::Net may not run two passes at once; each
// is built once per thread from the shared, read-only bytes.
cv::dnn::Net& ThreadNet() {
    thread_local cv::dnn::Net net =
        cv::dnn::readNetFromONNX(reinterpret_cast<const char*>(kModelBytes), kModelSize);
    return net;
}

// The network's own pass over count cells, by OpenCV's dnn module.
std::vector<Scores> DnnPass(const Patch* cells, size_t count) {
    std::vector<Scores> out(count);
    // The network takes the patches as they are (0 paper, 255 ink); its
    // first step scales them.
    const int dims[4] = {int(count), 1, kPatchH, kPatchW};
    cv::Mat blob(4, dims, CV_32F);
    float* in = blob.ptr<float>();
    for (size_t i = 0; i < count; ++i)
        for (size_t k = 0; k < cells[i].size(); ++k) in[i * cells[i].size() + k] = cells[i][k];
    cv::dnn::Net& net = ThreadNet();
    net.setInput(blob);
    const cv::Mat probs = net.forward();
    for (size_t i = 0; i < count; ++i) {
        const float* p = probs.ptr<float>(int(i));
        for (int c = 0; c < kClasses; ++c) out[i][size_t(c)] = p[c];
    }
    return out;
}

// The same network run by loops of our own, one cell at a time, with the
// weights taken from the dnn module's reading of the model: OpenCV picks
// its kernels by the processor (fused multiply-adds where it has them), so
// its last bits differ from machine to machine; these loops give the same
// bits on every x86-64 processor, in about the dnn module's time where the
// processor has AVX2 (3.0 ms for the 88 cells of a TD3 zone, one thread,
// the machine loaded) and about three times it elsewhere. Plane geometry: a plane of h x w values
// is kept with a border of one zero on every side, rows of w + 2, so that a 3 x 3 convolution reads
// at fixed offsets; the two columns past each row's end are computed and thrown away.
constexpr int kH1 = kPatchH, kW1 = kPatchW;  // first convolution, 24 x 20
constexpr int kH2 = kH1 / 2, kW2 = kW1 / 2;  // after the first pooling, 12 x 10
constexpr int kH3 = kH2 / 2, kW3 = kW2 / 2;  // after the second, 6 x 5
constexpr int kRow1 = kW1 + 2, kRow2 = kW2 + 2;
// Padded planes, with slack for the reads of the thrown-away columns and for
// whole 8-float vectors.
constexpr int kPlane1 = (kH1 + 2) * kRow1 + 8;
constexpr int kPlane2 = (kH2 + 2) * kRow2 + 8;
constexpr int kOut1 = (kH1 * kRow1 + 7) / 8 * 8;  // 528 outputs, whole vectors
constexpr int kOut2 = (kH2 * kRow2 + 7) / 8 * 8;  // 144
static_assert(kH1 % 4 == 0 && kW1 % 4 == 0, "two poolings of 2 x 2");
static_assert(kOut1 + 2 * kRow1 + 2 <= kPlane1 && kOut2 + 2 * kRow2 + 2 <= kPlane2);
// The offsets of the nine taps of a 3 x 3 kernel in padded planes.
constexpr int kTaps1[9] = {
    0, 1, 2, kRow1, kRow1 + 1, kRow1 + 2, 2 * kRow1, 2 * kRow1 + 1, 2 * kRow1 + 2};
constexpr int kTaps2[9] = {
    0, 1, 2, kRow2, kRow2 + 1, kRow2 + 2, 2 * kRow2, 2 * kRow2 + 1, 2 * kRow2 + 2};

struct OwnNet {
    int c1 = 0, c2 = 0, dense = 0;
    float inScale = 0, invT = 0;
    std::vector<float> w1, b1;   // c1 x 9, c1
    std::vector<float> w2, b2;   // c2 x c1 x 9, c2
    std::vector<float> w3t, b3;  // (c2 * kH3 * kW3) x dense (transposed), dense
    std::vector<float> w4, b4;   // kClasses x dense, kClasses
};

// The weights of the model as the dnn module read it, when the model has the
// shape these loops run (two convolutions of 3 x 3 with max-pooling, two
// dense layers, a scale before and after); null otherwise.
std::unique_ptr<OwnNet> Weights() {
    cv::dnn::Net net =
        cv::dnn::readNetFromONNX(reinterpret_cast<const char*>(kModelBytes), kModelSize);
    std::vector<cv::Ptr<cv::dnn::Layer>> layers;
    for (const std::string& name : net.getLayerNames())
        layers.push_back(net.getLayer(net.getLayerId(name)));
    std::vector<std::string> kinds;
    for (const auto& l : layers)
        if (l->type != "ReLU" && l->type != "Flatten" && l->type != "Identity")
            kinds.push_back(l->type);
    const std::vector<std::string> expected = {"Power",        "Convolution", "Pooling",
                                               "Convolution",  "Pooling",     "InnerProduct",
                                               "InnerProduct", "Power",       "Softmax"};
    if (kinds != expected) return nullptr;
    auto net0 = std::make_unique<OwnNet>();
    std::vector<cv::Ptr<cv::dnn::Layer>> conv, dense;
    std::vector<float> scales;
    for (const auto& l : layers) {
        if (l->type == "Convolution") conv.push_back(l);
        if (l->type == "InnerProduct") dense.push_back(l);
        if (auto p = l.dynamicCast<cv::dnn::PowerLayer>()) {
            if (p->power != 1 || p->shift != 0) return nullptr;
            scales.push_back(p->scale);
        }
    }
    auto copy = [](const cv::Mat& m, std::vector<float>& v) {
        v.assign(m.ptr<float>(), m.ptr<float>() + m.total());
    };
    const cv::Mat& k1 = conv[0]->blobs[0];
    const cv::Mat& k2 = conv[1]->blobs[0];
    const cv::Mat& d1 = dense[0]->blobs[0];
    const cv::Mat& d2 = dense[1]->blobs[0];
    OwnNet& n = *net0;
    n.c1 = k1.size[0], n.c2 = k2.size[0], n.dense = d1.size[0];
    if (k1.dims != 4 || k1.size[1] != 1 || k1.size[2] != 3 || k1.size[3] != 3 || k2.dims != 4 ||
        k2.size[1] != n.c1 || k2.size[2] != 3 || k2.size[3] != 3 ||
        d1.size[1] != n.c2 * kH3 * kW3 || d2.size[0] != kClasses || d2.size[1] != n.dense ||
        conv[0]->blobs.size() < 2 || conv[1]->blobs.size() < 2 || dense[0]->blobs.size() < 2 ||
        dense[1]->blobs.size() < 2 || n.c2 % 2 != 0)
        return nullptr;
    n.inScale = scales[0], n.invT = scales[1];
    copy(k1, n.w1), copy(conv[0]->blobs[1], n.b1);
    copy(k2, n.w2), copy(conv[1]->blobs[1], n.b2);
    copy(d2, n.w4), copy(dense[1]->blobs[1], n.b4);
    copy(dense[0]->blobs[1], n.b3);
    const int features = d1.size[1];
    n.w3t.resize(size_t(features) * size_t(n.dense));
    for (int j = 0; j < n.dense; ++j)
        for (int i = 0; i < features; ++i)
            n.w3t[size_t(i) * size_t(n.dense) + size_t(j)] = d1.at<float>(j, i);
    if (n.b1.size() != size_t(n.c1) || n.b2.size() != size_t(n.c2) ||
        n.b3.size() != size_t(n.dense) || n.b4.size() != size_t(kClasses) || n.dense % 64 != 0)
        return nullptr;
    return net0;
}

// Max-pools a c-plane output (rows of `row`, h x w values) 2 x 2 after ReLU
// into padded planes of rows of w / 2 + 2 (padded) or a flat feature vector.
void PoolRelu(const float* in, int planes, int inPlane, int row, int h, int w, float* out,
              int outPlane, bool padded) {
    const int oh = h / 2, ow = w / 2, orow = padded ? ow + 2 : ow;
    for (int c = 0; c < planes; ++c) {
        const float* src = in + size_t(c) * size_t(inPlane);
        float* dst = out + size_t(c) * size_t(outPlane) + (padded ? orow + 1 : 0);
        for (int y = 0; y < oh; ++y)
            for (int x = 0; x < ow; ++x) {
                const float* s = src + 2 * y * row + 2 * x;
                const float m = std::max(std::max(s[0], s[1]), std::max(s[row], s[row + 1]));
                dst[y * orow + x] = std::max(m, 0.0f);
            }
    }
}

// Eight floats as one value: one AVX register (Wide) where the processor has
// AVX2, two SSE registers of the baseline x86-64 (Pair) elsewhere. The pass
// below is the same source for both, each product rounded before its sum
// (no fused multiply-add), so that every x86-64 processor computes the same
// probabilities to the last bit. The helpers pass these values within this
// file only, so the warning that they would cross calls differently with
// AVX enabled is moot.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef float Wide __attribute__((vector_size(32)));
typedef float V4 __attribute__((vector_size(16)));
struct Pair {
    V4 lo, hi;
};
inline Pair operator*(Pair a, Pair b) {
    return {a.lo * b.lo, a.hi * b.hi};
}
inline Pair operator+(Pair a, Pair b) {
    return {a.lo + b.lo, a.hi + b.hi};
}
template <class V>
inline __attribute__((always_inline)) V Splat(float x) {
    V v;
    float* f = reinterpret_cast<float*>(&v);
    for (int i = 0; i < 8; ++i) f[i] = x;
    return v;
}
template <class V>
inline __attribute__((always_inline)) V Load(const float* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class V>
inline __attribute__((always_inline)) void Store(float* p, V v) {
    std::memcpy(p, &v, sizeof v);
}
inline __attribute__((always_inline)) Wide Relu(Wide v) {
    return v > 0 ? v : 0;
}
inline Pair Relu(Pair v) {
    return {v.lo > 0 ? v.lo : 0, v.hi > 0 ? v.hi : 0};
}
static_assert(sizeof(Wide) == 8 * sizeof(float) && sizeof(Pair) == 8 * sizeof(float));

// The planes of one cell's pass, made once for the cells of a call; the
// borders of the padded planes stay zero.
struct Scratch {
    std::vector<float> p1, o1, p2, o2, f, h;
    explicit Scratch(const OwnNet& n)
        : p1(kPlane1, 0.0f),
          o1(size_t(n.c1) * kOut1),
          p2(size_t(n.c1) * kPlane2, 0.0f),
          o2(size_t(n.c2) * kOut2),
          f(size_t(n.c2) * kH3 * kW3),
          h(size_t(n.dense)) {}
};

template <class V>
inline __attribute__((always_inline)) void OwnPassOf(const OwnNet& n, const Patch& cell, Scratch& t,
                                                     Scores& out) {
    float* p1 = t.p1.data();
    std::vector<float>&o1 = t.o1, &p2 = t.p2, &o2 = t.o2, &f = t.f, &h = t.h;
    for (int y = 0; y < kH1; ++y)
        for (int x = 0; x < kW1; ++x)
            p1[(y + 1) * kRow1 + x + 1] = float(cell[size_t(y * kW1 + x)]) * n.inScale;
    // First convolution: one input plane, each output a vector of 8 places.
    for (int c = 0; c < n.c1; ++c) {
        V w[9];
        for (int k = 0; k < 9; ++k) w[k] = Splat<V>(n.w1[size_t(c * 9 + k)]);
        const V b = Splat<V>(n.b1[size_t(c)]);
        float* dst = o1.data() + size_t(c) * kOut1;
        for (int p = 0; p < kOut1; p += 8) {
            V acc = b;
            for (int k = 0; k < 9; ++k) acc = w[k] * Load<V>(p1 + p + kTaps1[k]) + acc;
            Store(dst + p, acc);
        }
    }
    PoolRelu(o1.data(), n.c1, kOut1, kRow1, kH1, kW1, p2.data(), kPlane2, true);
    // Second convolution: two output planes at a time over 48 places (six
    // vectors each), so that each input vector read serves both.
    static_assert(kOut2 % 48 == 0);
    for (int c = 0; c < n.c2; c += 2) {
        const float* wa = n.w2.data() + size_t(c) * size_t(n.c1) * 9;
        const float* wb = wa + size_t(n.c1) * 9;
        for (int p0 = 0; p0 < kOut2; p0 += 48) {
            V a[6], b[6];
            for (int v = 0; v < 6; ++v)
                a[v] = Splat<V>(n.b2[size_t(c)]), b[v] = Splat<V>(n.b2[size_t(c + 1)]);
            for (int ic = 0; ic < n.c1; ++ic) {
                const float* src = p2.data() + size_t(ic) * kPlane2 + p0;
                for (int k = 0; k < 9; ++k) {
                    const float* s = src + kTaps2[k];
                    const V x = Splat<V>(wa[ic * 9 + k]);
                    const V y = Splat<V>(wb[ic * 9 + k]);
                    for (int v = 0; v < 6; ++v) {
                        const V in = Load<V>(s + 8 * v);
                        a[v] = x * in + a[v];
                        b[v] = y * in + b[v];
                    }
                }
            }
            for (int v = 0; v < 6; ++v) {
                Store(o2.data() + size_t(c) * kOut2 + p0 + 8 * v, a[v]);
                Store(o2.data() + size_t(c + 1) * kOut2 + p0 + 8 * v, b[v]);
            }
        }
    }
    PoolRelu(o2.data(), n.c2, kOut2, kRow2, kH2, kW2, f.data(), kH3 * kW3, false);
    // Dense layer: the features after ReLU are mostly zero, and a zero adds
    // nothing.
    for (int j0 = 0; j0 < n.dense; j0 += 64) {
        constexpr int lanes = 8;
        V acc[8];
        for (int v = 0; v < lanes; ++v) acc[v] = Load<V>(n.b3.data() + j0 + 8 * v);
        for (size_t i = 0; i < f.size(); ++i) {
            if (f[i] == 0.0f) continue;
            const V x = Splat<V>(f[i]);
            const float* w = n.w3t.data() + i * size_t(n.dense) + size_t(j0);
            for (int v = 0; v < lanes; ++v) acc[v] = x * Load<V>(w + 8 * v) + acc[v];
        }
        for (int v = 0; v < lanes; ++v) Store(h.data() + j0 + 8 * v, Relu(acc[v]));
    }
    // The outputs, scaled by the fitted temperature, and their softmax.
    float logits[kClasses], top = -1e30f;
    for (int k = 0; k < kClasses; ++k) {
        float s = n.b4[size_t(k)];
        const float* w = n.w4.data() + size_t(k) * size_t(n.dense);
        for (int j = 0; j < n.dense; ++j) s += w[j] * h[size_t(j)];
        logits[k] = s * n.invT;
        top = std::max(top, logits[k]);
    }
    float sum = 0;
    for (int k = 0; k < kClasses; ++k) sum += logits[k] = std::exp(logits[k] - top);
    for (int k = 0; k < kClasses; ++k) out[size_t(k)] = logits[k] / sum;
}

// The pass in AVX registers, and in the baseline's: the same sums.
__attribute__((target("avx2"))) void OwnPassWide(const OwnNet& n, const Patch& cell, Scratch& t,
                                                 Scores& out) {
    OwnPassOf<Wide>(n, cell, t, out);
}
void OwnPassPair(const OwnNet& n, const Patch& cell, Scratch& t, Scores& out) {
    OwnPassOf<Pair>(n, cell, t, out);
}

// The network's weights for the loops above, read once and shared by every
// thread; null where they cannot run (a model of another shape): the dnn
// pass then.
const OwnNet* SharedOwnNet() {
    static const std::unique_ptr<OwnNet> shared = Weights();
    return shared.get();
}

}  // namespace

std::vector<Scores> ClassifyCells(const Patch* cells, size_t count) {
    static const bool wide = __builtin_cpu_supports("avx2");
    return ClassifyCellsIn(cells, count, wide);
}

std::vector<Scores> ClassifyCellsIn(const Patch* cells, size_t count, bool wide) {
    if (count == 0 || cells == nullptr) return {};
    const OwnNet* own = SharedOwnNet();
    if (own == nullptr) return DnnPass(cells, count);
    std::vector<Scores> out(count);
    Scratch scratch(*own);
    const auto pass = wide ? OwnPassWide : OwnPassPair;
    for (size_t i = 0; i < count; ++i) pass(*own, cells[i], scratch, out[i]);
    return out;
}

std::vector<Scores> ClassifyCellsByDnn(const Patch* cells, size_t count) {
    if (count == 0 || cells == nullptr) return {};
    return DnnPass(cells, count);
}

Scores Classify(const Patch& cell) {
    return ClassifyCells(&cell, 1).front();
}

}  // namespace gw::mrz
