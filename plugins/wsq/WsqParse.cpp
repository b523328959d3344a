// Marker segments of a WSQ stream: transform, quantization and Huffman tables,
// comments (with the NISTCOM resolution), the frame and block headers.
//
// Fixed-layout segments are read field by field as the reference decoder reads
// them; their length fields are not used. Decimal-scaled values are divided by
// ten once per scale step in float, as the reference does, so that the tables
// hold the very same floats.
#include <cstring>

#include "WsqInternal.h"

namespace gw::wsq {

bool ByteReader::U8(uint8_t* v) {
    if (size_ - pos_ < 1) return false;
    *v = data_[pos_++];
    return true;
}

bool ByteReader::U16(uint16_t* v) {
    if (size_ - pos_ < 2) return false;
    *v = static_cast<uint16_t>(data_[pos_] << 8 | data_[pos_ + 1]);
    pos_ += 2;
    return true;
}

bool ByteReader::U32(uint32_t* v) {
    if (size_ - pos_ < 4) return false;
    *v = uint32_t{data_[pos_]} << 24 | uint32_t{data_[pos_ + 1]} << 16 |
         uint32_t{data_[pos_ + 2]} << 8 | uint32_t{data_[pos_ + 3]};
    pos_ += 4;
    return true;
}

bool ByteReader::Skip(size_t n) {
    if (size_ - pos_ < n) return false;
    pos_ += n;
    return true;
}

namespace {

// value / 10^scale, one float division per step.
float DecimalScaled(float value, uint8_t scale) {
    for (; scale > 0; --scale) value = static_cast<float>(static_cast<double>(value) / 10.0);
    return value;
}

// One filter coefficient: sign byte, scale byte, 32-bit magnitude.
bool ReadCoefficient(ByteReader& r, float* out) {
    uint8_t sign, scale;
    uint32_t magnitude;
    if (!r.U8(&sign) || !r.U8(&scale) || !r.U32(&magnitude)) return false;
    float v = DecimalScaled(static_cast<float>(magnitude), scale);
    *out = sign != 0 ? -v : v;
    return true;
}

// Reads the half filter stored from its centre tap outward and expands it to
// the full symmetric filter; every odd step from the centre changes sign (the
// stored analysis filter of one band becomes the synthesis filter of the other).
bool ReadHalfFilter(ByteReader& r, int taps, std::vector<float>* filter) {
    const int centre = (taps - 1) / 2;
    filter->assign(static_cast<size_t>(taps), 0.0f);
    for (int k = 0; k <= centre; ++k) {
        float a;
        if (!ReadCoefficient(r, &a)) return false;
        const float v = (k % 2 != 0) ? -a : a;
        (*filter)[static_cast<size_t>(centre + k)] = v;
        (*filter)[static_cast<size_t>(centre - k)] = v;
    }
    return true;
}

Status ReadTransformTable(ByteReader& r, TransformTable* t) {
    uint16_t length;
    uint8_t hiTaps, loTaps;
    if (!r.U16(&length) || !r.U8(&hiTaps) || !r.U8(&loTaps)) return Status::Truncated;
    // The stream counts the analysis filters; the analysis lowpass (first)
    // yields the synthesis highpass and the other way round.
    for (int taps : {int{hiTaps}, int{loTaps}}) {
        if (taps % 2 == 0 || taps < kMinTaps || taps > kMaxTaps) return Status::BadTransformTable;
    }
    if (!ReadHalfFilter(r, hiTaps, &t->hi) || !ReadHalfFilter(r, loTaps, &t->lo)) {
        t->defined = false;
        return Status::Truncated;
    }
    t->defined = true;
    return Status::Ok;
}

Status ReadQuantTable(ByteReader& r, QuantTable* q) {
    uint16_t length, value;
    uint8_t scale;
    if (!r.U16(&length) || !r.U8(&scale) || !r.U16(&value)) return Status::Truncated;
    QuantTable t;
    t.binCenter = DecimalScaled(value, scale);
    for (size_t i = 0; i < t.q.size(); ++i) {
        uint16_t qv, zv;
        uint8_t qs, zs;
        if (!r.U8(&qs) || !r.U16(&qv) || !r.U8(&zs) || !r.U16(&zv)) return Status::Truncated;
        t.q[i] = DecimalScaled(qv, qs);
        t.z[i] = DecimalScaled(zv, zs);
    }
    t.defined = true;
    *q = t;
    return Status::Ok;
}

// A DHT segment holds one or more tables; the first may replace an earlier
// definition, a later one in the same segment may not.
Status ReadHuffmanTables(ByteReader& r, Tables* tables) {
    uint16_t length;
    if (!r.U16(&length)) return Status::Truncated;
    int left = int{length} - 2;
    bool firstTable = true;
    while (firstTable || left != 0) {
        if (left <= 0) return Status::BadHuffmanTable;
        uint8_t id;
        HuffmanTable t;
        if (!r.U8(&id)) return Status::Truncated;
        int total = 0;
        for (auto& c : t.counts) {
            if (!r.U8(&c)) return Status::Truncated;
            total += c;
        }
        if (total > static_cast<int>(t.values.size())) return Status::BadHuffmanTable;
        for (int i = 0; i < total; ++i) {
            if (!r.U8(&t.values[static_cast<size_t>(i)])) return Status::Truncated;
        }
        if (id >= kHuffmanTables) return Status::BadHuffmanTable;
        if (!firstTable && tables->dht[id].defined) return Status::BadHuffmanTable;
        t.numValues = total;
        t.defined = true;
        tables->dht[id] = t;
        left -= 17 + total;
        firstTable = false;
    }
    return Status::Ok;
}

// Value of the "PPI" line of a NISTCOM text, -1 if absent or not a number.
int32_t NistcomPpi(const uint8_t* text, size_t n) {
    size_t line = 0;
    while (line < n) {
        size_t end = line;
        while (end < n && text[end] != '\n') ++end;
        if (end - line > 4 && std::memcmp(text + line, "PPI", 3) == 0 &&
            (text[line + 3] == ' ' || text[line + 3] == '\t')) {
            size_t p = line + 3;
            while (p < end && (text[p] == ' ' || text[p] == '\t')) ++p;
            bool negative = p < end && text[p] == '-';
            if (negative) ++p;
            int64_t v = 0;
            size_t digits = 0;
            while (p < end && text[p] >= '0' && text[p] <= '9' && digits < 9) {
                v = v * 10 + (text[p++] - '0');
                ++digits;
            }
            return digits == 0 || negative ? -1 : static_cast<int32_t>(v);
        }
        line = end + 1;
    }
    return -1;
}

Status ReadComment(ByteReader& r, Tables* tables) {
    uint16_t length;
    if (!r.U16(&length)) return Status::Truncated;
    if (length < 2) return Status::BadComment;
    const size_t n = length - 2u;
    const uint8_t* text = r.Data() + r.Position();
    if (!r.Skip(n)) return Status::Truncated;
    // Only the first NISTCOM comment counts.
    static constexpr char kNistcom[] = "NIST_COM";
    if (!tables->sawNistcom && n >= 8 && std::memcmp(text, kNistcom, 8) == 0) {
        tables->sawNistcom = true;
        tables->ppi = NistcomPpi(text, n);
    }
    return Status::Ok;
}

}  // namespace

Status ReadTableSegment(uint16_t marker, ByteReader& r, Tables* tables) {
    switch (marker) {
        case kDtt:
            return ReadTransformTable(r, &tables->dtt);
        case kDqt:
            return ReadQuantTable(r, &tables->dqt);
        case kDht:
            return ReadHuffmanTables(r, tables);
        case kCom:
            return ReadComment(r, tables);
        default:
            return Status::UnexpectedMarker;
    }
}

Status ReadFrameHeader(ByteReader& r, Frame* frame) {
    uint16_t length, height, width, shift, scale16, software;
    uint8_t black, white, shiftScale, scaleScale, encoder;
    if (!r.U16(&length) || !r.U8(&black) || !r.U8(&white) || !r.U16(&height) || !r.U16(&width) ||
        !r.U8(&shiftScale) || !r.U16(&shift) || !r.U8(&scaleScale) || !r.U16(&scale16) ||
        !r.U8(&encoder) || !r.U16(&software)) {
        return Status::Truncated;
    }
    frame->width = width;
    frame->height = height;
    frame->mShift = DecimalScaled(shift, shiftScale);
    frame->rScale = DecimalScaled(scale16, scaleScale);
    return Status::Ok;
}

Status ReadBlockHeader(ByteReader& r, int* table) {
    uint16_t length;
    uint8_t id;
    if (!r.U16(&length) || !r.U8(&id)) return Status::Truncated;
    *table = id;
    return Status::Ok;
}

}  // namespace gw::wsq
