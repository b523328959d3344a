#include "mrz/MrzClassify.h"

#include <opencv2/dnn.hpp>

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

}  // namespace

std::vector<Scores> ClassifyCells(const Patch* cells, size_t count) {
    if (count == 0 || cells == nullptr) return {};
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

Scores Classify(const Patch& cell) {
    return ClassifyCells(&cell, 1).front();
}

}  // namespace gw::mrz
