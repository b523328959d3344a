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
// bits on every x86-64 processor, in less than the dnn module's time where
// the processor has AVX2 (2.1 ms for the 88 cells of a TD3 zone, held-out
// cells, one thread, the machine loaded; 1.5 ms in AVX-512 registers) and
// about three and a half times it elsewhere.
//
// Plane geometry: the cell's plane of h x w values is kept with a border of
// one zero on every side, rows of w + 2, so that a 3 x 3 convolution reads
// at fixed offsets; the two columns past each row's end are computed and
// thrown away. The second convolution's input planes are kept three times
// over instead, in rows of w with a zero row above and below, one copy for
// each column of the kernel (the values one column to the left, in place,
// to the right, zero past the edges): a run of places then reads each tap
// at one offset across the ends of rows, and no place is computed to be
// thrown away.
constexpr int kH1 = kPatchH, kW1 = kPatchW;  // first convolution, 24 x 20
constexpr int kH2 = kH1 / 2, kW2 = kW1 / 2;  // after the first pooling, 12 x 10
constexpr int kH3 = kH2 / 2, kW3 = kW2 / 2;  // after the second, 6 x 5
constexpr int kRow1 = kW1 + 2;
// The first convolution's padded plane, with slack for the reads of the
// thrown-away columns and for whole 8-float vectors, and its outputs.
constexpr int kPlane1 = (kH1 + 2) * kRow1 + 8;
constexpr int kOut1 = (kH1 * kRow1 + 7) / 8 * 8;  // 528 outputs, whole vectors
// The second's places in whole vectors of 8 (120) or of 16 (128), and each
// of its input copies (rows of kW2 from one above to one below the plane),
// with slack for the reads of the places past the plane's end.
template <int L>
inline constexpr int kOut2 = ((kH2 * kW2 + L - 1) / L) * L;
constexpr int kShifted = kOut2<16> + 2 * kW2;  // 148
static_assert(kShifted >= (kH2 + 2) * kW2);
// The network's outputs in whole vectors of 16 (and of 8).
constexpr int kOutPlaces = (kClasses + 15) / 16 * 16;  // 48
static_assert(kH1 % 4 == 0 && kW1 % 4 == 0, "two poolings of 2 x 2");
static_assert(kOut1 + 2 * kRow1 + 2 <= kPlane1);
// The offsets of the nine taps of a 3 x 3 kernel in the padded plane, and in
// the three copies of a plane (one after another, kShifted apart).
constexpr int kTaps1[9] = {
    0, 1, 2, kRow1, kRow1 + 1, kRow1 + 2, 2 * kRow1, 2 * kRow1 + 1, 2 * kRow1 + 2};
constexpr int kTaps2[9] = {0,       kShifted,           2 * kShifted,
                           kW2,     kShifted + kW2,     2 * kShifted + kW2,
                           2 * kW2, kShifted + 2 * kW2, 2 * kShifted + 2 * kW2};

struct OwnNet {
    int c1 = 0, c2 = 0, dense = 0;
    float inScale = 0, invT = 0;
    std::vector<float> w1, b1;   // c1 x 9, c1 x 16 (each bias in a whole vector)
    std::vector<float> w2, b2;   // c2 x c1 x 9, c2 x 16
    std::vector<float> w3t, b3;  // (c2 * kH3 * kW3) x dense (transposed), dense
    std::vector<float> w4t, b4;  // dense x kOutPlaces (transposed), kOutPlaces: zero past kClasses
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
    // The biases sixteen times over, loaded as whole vectors of any width.
    auto copies = [](const cv::Mat& m, std::vector<float>& v) {
        v.clear();
        for (size_t i = 0; i < m.total(); ++i) v.insert(v.end(), 16, m.ptr<float>()[i]);
    };
    copy(k1, n.w1), copies(conv[0]->blobs[1], n.b1);
    copy(k2, n.w2), copies(conv[1]->blobs[1], n.b2);
    copy(dense[1]->blobs[1], n.b4);
    n.b4.resize(kOutPlaces, 0.0f);
    n.w4t.assign(size_t(n.dense) * kOutPlaces, 0.0f);
    for (int k = 0; k < kClasses; ++k)
        for (int j = 0; j < n.dense; ++j)
            n.w4t[size_t(j) * kOutPlaces + size_t(k)] = d2.at<float>(k, j);
    copy(dense[0]->blobs[1], n.b3);
    const int features = d1.size[1];
    n.w3t.resize(size_t(features) * size_t(n.dense));
    for (int j = 0; j < n.dense; ++j)
        for (int i = 0; i < features; ++i)
            n.w3t[size_t(i) * size_t(n.dense) + size_t(j)] = d1.at<float>(j, i);
    if (n.b1.size() != size_t(n.c1) * 16 || n.b2.size() != size_t(n.c2) * 16 ||
        n.b3.size() != size_t(n.dense) || n.b4.size() != size_t(kOutPlaces) || n.dense % 64 != 0)
        return nullptr;
    return net0;
}

// Max-pools a c-plane output (rows of `row`, h x w values) 2 x 2 after ReLU
// into a flat feature vector (planes of h / 2 x w / 2). Built into each pass
// in its own registers, not called as baseline code from the wide ones.
inline __attribute__((always_inline)) void PoolRelu(const float* in, int planes, int inPlane,
                                                    int row, int h, int w, float* out) {
    const int oh = h / 2, ow = w / 2;
    for (int c = 0; c < planes; ++c) {
        const float* src = in + size_t(c) * size_t(inPlane);
        float* dst = out + size_t(c) * size_t(oh * ow);
        for (int y = 0; y < oh; ++y)
            for (int x = 0; x < ow; ++x) {
                const float* s = src + 2 * y * row + 2 * x;
                const float m = std::max(std::max(s[0], s[1]), std::max(s[row], s[row + 1]));
                dst[y * ow + x] = std::max(m, 0.0f);
            }
    }
}

// The same pooling of a plane of the first convolution's output (rows of
// kRow1) into the second's three input copies of it (3 x kShifted floats),
// whose borders stay zero.
inline __attribute__((always_inline)) void PoolReluShifted(const float* src, float* out) {
    float* dst = out + kW2;
    for (int y = 0; y < kH2; ++y) {
        float row[kW2];
        for (int x = 0; x < kW2; ++x) {
            const float* s = src + 2 * y * kRow1 + 2 * x;
            const float m = std::max(std::max(s[0], s[1]), std::max(s[kRow1], s[kRow1 + 1]));
            row[x] = std::max(m, 0.0f);
        }
        // The copy of the left column takes the row one place on, the copy
        // of the right one one place back.
        float* at = dst + y * kW2;
        std::memcpy(at + 1, row, (kW2 - 1) * sizeof(float));
        std::memcpy(at + kShifted, row, kW2 * sizeof(float));
        std::memcpy(at + 2 * kShifted, row + 1, (kW2 - 1) * sizeof(float));
    }
}

// A row of floats as one value: sixteen in one AVX-512 register (Wide16)
// where the processor has it, eight in one AVX register (Wide) where it has
// AVX2, eight in two SSE registers of the baseline x86-64 (Pair) elsewhere.
// The pass below is the same source for all three, each place computed
// alone, each product rounded before its sum (no fused multiply-add), so
// that every x86-64 processor computes the same probabilities to the last
// bit. The helpers pass these values within this file only, so GCC's note
// that they would cross calls differently with AVX enabled is moot (it is
// turned off for this file in CMakeLists.txt: the pragma does not reach it).
typedef float Wide16 __attribute__((vector_size(64)));
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
// x - V{} is x in every place (x - 0 is x, a negative zero too): the pass
// writes its copies of a float so, in its own body, where the compiler
// broadcasts it in one instruction. A helper function returning the copies
// is compiled for the baseline first and built them one by one, which took
// half the time of the second convolution.
inline Pair operator-(float x, Pair zero) {
    return {x - zero.lo, x - zero.hi};
}
template <class V>
inline constexpr int kLanes = int(sizeof(V) / sizeof(float));
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
// Keeps v in a register: an input vector read by several products is loaded
// once, not once in each (the compiler would fold the load into every
// product, and loads, not products, then set the pace).
// (A hint only: clang checks the constraint against the template's own
// target, where a 32- or 64-byte vector fits no register, and gets none.)
template <class V>
inline __attribute__((always_inline)) void InRegister([[maybe_unused]] V& v) {
#if !defined(__clang__)
    asm("" : "+v"(v));
#endif
}
template <>
inline __attribute__((always_inline)) void InRegister(Pair&) {}
template <class V>
inline __attribute__((always_inline)) V Relu(V v) {
    return v > 0 ? v : 0;
}
template <>
inline Pair Relu(Pair v) {
    return {v.lo > 0 ? v.lo : 0, v.hi > 0 ? v.hi : 0};
}
static_assert(kLanes<Wide16> == 16 && kLanes<Wide> == 8 && kLanes<Pair> == 8);

// The planes of one cell's pass, made once for the cells of a call; the
// borders of the padded planes stay zero.
struct Scratch {
    std::vector<float> p1, o1, p2, o2, f, h;
    std::vector<int> nonzero;  // the places of the features above zero
    explicit Scratch(const OwnNet& n)
        : p1(kPlane1, 0.0f),
          o1(2 * kOut1),
          p2(size_t(n.c1) * 3 * kShifted, 0.0f),
          o2(size_t(n.c2) * kOut2<16>),
          f(size_t(n.c2) * kH3 * kW3),
          h(size_t(n.dense)),
          nonzero(f.size()) {}
};

template <class V>
inline __attribute__((always_inline)) void OwnPassOf(const OwnNet& n, const Patch& cell, Scratch& t,
                                                     Scores& out) {
    float* p1 = t.p1.data();
    std::vector<float>&o1 = t.o1, &p2 = t.p2, &o2 = t.o2, &f = t.f, &h = t.h;
    for (int y = 0; y < kH1; ++y)
        for (int x = 0; x < kW1; ++x)
            p1[(y + 1) * kRow1 + x + 1] = float(cell[size_t(y * kW1 + x)]) * n.inScale;
    constexpr int L = kLanes<V>;
    static_assert(kOut1 % L == 0);
    // First convolution: one input plane, each output a vector of L places.
    // Each output plane is pooled while the next is made (all of them at once
    // would crowd the second convolution's input out of the nearest cache,
    // and read at once a plane would wait for its last stores).
    for (int c = 0; c <= n.c1; ++c) {
        if (c < n.c1) {
            const float* w = n.w1.data() + size_t(c) * 9;
            const V b = Load<V>(n.b1.data() + size_t(c) * 16);
            float* dst = o1.data() + size_t(c % 2) * kOut1;
            for (int p = 0; p < kOut1; p += L) {
                V acc = b;
                for (int k = 0; k < 9; ++k) acc = (w[k] - V{}) * Load<V>(p1 + p + kTaps1[k]) + acc;
                Store(dst + p, acc);
            }
        }
        if (c > 0)
            PoolReluShifted(o1.data() + size_t((c - 1) % 2) * kOut1,
                            p2.data() + size_t(c - 1) * 3 * kShifted);
    }
    // Second convolution: two output planes at a time over 40 places (five
    // vectors of 8) or 64 (four of 16), so that each input vector read serves
    // both.
    constexpr int kPlaces = kOut2<L>, kVectors = L == 8 ? 5 : 4, kBlock = kVectors * L;
    static_assert(kPlaces % kBlock == 0);
    for (int c = 0; c < n.c2; c += 2) {
        const float* wa = n.w2.data() + size_t(c) * size_t(n.c1) * 9;
        const float* wb = wa + size_t(n.c1) * 9;
        for (int p0 = 0; p0 < kPlaces; p0 += kBlock) {
            V a[kVectors], b[kVectors];
            for (int v = 0; v < kVectors; ++v) {
                a[v] = Load<V>(n.b2.data() + size_t(c) * 16);
                b[v] = Load<V>(n.b2.data() + size_t(c + 1) * 16);
            }
            for (int ic = 0; ic < n.c1; ++ic) {
                const float* src = p2.data() + size_t(ic) * 3 * kShifted + p0;
                for (int k = 0; k < 9; ++k) {
                    const float* s = src + kTaps2[k];
                    const V x = wa[ic * 9 + k] - V{}, y = wb[ic * 9 + k] - V{};
                    for (int v = 0; v < kVectors; ++v) {
                        V in = Load<V>(s + L * v);
                        InRegister(in);
                        a[v] = x * in + a[v];
                        b[v] = y * in + b[v];
                    }
                }
            }
            for (int v = 0; v < kVectors; ++v) {
                Store(o2.data() + size_t(c) * kPlaces + p0 + L * v, a[v]);
                Store(o2.data() + size_t(c + 1) * kPlaces + p0 + L * v, b[v]);
            }
        }
    }
    PoolRelu(o2.data(), n.c2, kPlaces, kW2, kH2, kW2, f.data());
    // Dense layer: the features after ReLU are mostly zero, and a zero adds
    // nothing. The others are listed first, in order, without a branch (one
    // per feature, taken at random, cost more than the sums).
    int* nonzero = t.nonzero.data();
    size_t count = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        nonzero[count] = int(i);
        count += f[i] != 0.0f;
    }
    for (int j0 = 0; j0 < n.dense; j0 += 64) {
        constexpr int lanes = 64 / L;
        V acc[lanes];
        for (int v = 0; v < lanes; ++v) acc[v] = Load<V>(n.b3.data() + j0 + L * v);
        for (size_t k = 0; k < count; ++k) {
            const size_t i = size_t(nonzero[k]);
            const V x = f[i] - V{};
            const float* w = n.w3t.data() + i * size_t(n.dense) + size_t(j0);
            for (int v = 0; v < lanes; ++v) acc[v] = x * Load<V>(w + L * v) + acc[v];
        }
        for (int v = 0; v < lanes; ++v) Store(h.data() + j0 + L * v, Relu(acc[v]));
    }
    // The outputs, scaled by the fitted temperature, and their softmax. The
    // outputs' sums run side by side, each over the dense layer's places in
    // turn, as it would alone: a sum runs no faster than its adds follow one
    // another, and one at a time they took a sixth of the pass.
    static_assert(kOutPlaces % L == 0);
    constexpr int kOutVectors = kOutPlaces / L;
    V sums[kOutVectors];
    for (int v = 0; v < kOutVectors; ++v) sums[v] = Load<V>(n.b4.data() + L * v);
    for (int j = 0; j < n.dense; ++j) {
        const V x = h[size_t(j)] - V{};
        const float* w = n.w4t.data() + size_t(j) * kOutPlaces;
        for (int v = 0; v < kOutVectors; ++v) sums[v] = Load<V>(w + L * v) * x + sums[v];
    }
    float logit[kOutPlaces];
    for (int v = 0; v < kOutVectors; ++v) Store(logit + L * v, sums[v]);
    float logits[kClasses], top = -1e30f;
    for (int k = 0; k < kClasses; ++k) {
        logits[k] = logit[k] * n.invT;
        top = std::max(top, logits[k]);
    }
    float sum = 0;
    for (int k = 0; k < kClasses; ++k) sum += logits[k] = std::exp(logits[k] - top);
    for (int k = 0; k < kClasses; ++k) out[size_t(k)] = logits[k] / sum;
}

// The pass in AVX-512 registers, in AVX ones and in the baseline's: the same
// sums.
__attribute__((target("avx512f"))) void OwnPassWide16(const OwnNet& n, const Patch& cell,
                                                      Scratch& t, Scores& out) {
    OwnPassOf<Wide16>(n, cell, t, out);
}
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

Registers FastestRegisters() {
    static const Registers fastest = __builtin_cpu_supports("avx512f") ? Registers::Avx512
                                     : __builtin_cpu_supports("avx2")  ? Registers::Avx2
                                                                       : Registers::Baseline;
    return fastest;
}

std::vector<Scores> ClassifyCells(const Patch* cells, size_t count) {
    return ClassifyCellsIn(cells, count, FastestRegisters());
}

std::vector<Scores> ClassifyCellsIn(const Patch* cells, size_t count, Registers registers) {
    if (count == 0 || cells == nullptr) return {};
    const OwnNet* own = SharedOwnNet();
    if (own == nullptr) return DnnPass(cells, count);
    std::vector<Scores> out(count);
    Scratch scratch(*own);
    const auto pass = registers == Registers::Avx512 ? OwnPassWide16
                      : registers == Registers::Avx2 ? OwnPassWide
                                                     : OwnPassPair;
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

void SharpenSmall(Scores& s) {
    float sum = 0;
    for (float& v : s) v = std::pow(std::max(v, 1e-30f), MrzLimits::kSmallSharpen), sum += v;
    for (float& v : s) v /= sum;
}

}  // namespace gw::mrz
