// WSQ stream layout and the decoder's entry points.
//
// SOI, then table and comment segments up to SOF and the frame header, then
// blocks: each SOB and block header is followed by entropy-coded data that the
// next marker ends; tables may stand between blocks, and the marker that ends
// the last block is EOI. The coefficients of all blocks form one sequence that
// fills the coded subbands in order; the tables as the stream leaves them
// dequantize and synthesize it.
#include <algorithm>

#include "WsqInternal.h"

namespace gw::wsq {
namespace {

bool IsTableMarker(uint16_t m) {
    return m == kDtt || m == kDqt || m == kDht || m == kCom;
}

struct Stream {
    Tables tables;
    Frame frame;
    Geometry geometry;
    Synthesis synthesis;
    std::vector<int16_t> coefficients;
};

// Planes kept between the decodes of a thread, so that decoding a series of
// images does not map and fault in fresh memory each time; anything above
// kKeepBytes is given back after the decode.
struct Workspace {
    static constexpr size_t kKeepBytes = size_t{16} << 20;
    std::vector<float> plane;
    std::vector<float> scratch;

    void Trim() {
        if ((plane.capacity() + scratch.capacity()) * sizeof(float) > kKeepBytes) {
            plane = {};
            scratch = {};
        }
    }
};

Workspace& ThreadWorkspace() {
    thread_local Workspace w;
    return w;
}

// Trims the workspace when the decode ends, also when an allocation throws.
struct TrimOnExit {
    Workspace& w;
    ~TrimOnExit() { w.Trim(); }
};

Status ReadHeaders(ByteReader& r, Stream* s) {
    uint16_t m;
    if (!r.U16(&m)) return Status::Truncated;
    if (m != kSoi) return Status::NoStartOfImage;
    for (;;) {
        if (!r.U16(&m)) return Status::Truncated;
        if (m == kSof) break;
        if (!IsTableMarker(m)) return Status::UnexpectedMarker;
        if (Status st = ReadTableSegment(m, r, &s->tables); st != Status::Ok) return st;
    }
    if (Status st = ReadFrameHeader(r, &s->frame); st != Status::Ok) return st;
    const Frame& f = s->frame;
    if (f.width == 0 || f.height == 0) return Status::BadFrameSize;
    if (int64_t{f.width} * f.height > int64_t(dv::kMaxImagePixels)) return Status::ImageTooLarge;
    s->geometry = BuildGeometry(f.width, f.height);
    return Status::Ok;
}

// Reads the blocks up to EOI; keeps the coefficients only when keep.
Status ReadBlocks(ByteReader& r, bool keep, Stream* s) {
    const int64_t pixels = int64_t{s->frame.width} * s->frame.height;
    if (keep && s->tables.dqt.defined) {
        // Room for what the coded subbands need, within what the data could hold.
        const int64_t expected = CodedCoefficients(s->geometry, s->tables.dqt);
        const int64_t plausible = static_cast<int64_t>(r.Size() - r.Position()) * 16;
        s->coefficients.reserve(static_cast<size_t>(std::min(expected, plausible)));
    }
    int64_t count = 0;
    uint16_t m;
    if (!r.U16(&m)) return Status::Truncated;
    for (;;) {
        while (m != kSob) {
            if (!IsTableMarker(m)) return Status::UnexpectedMarker;
            if (Status st = ReadTableSegment(m, r, &s->tables); st != Status::Ok) return st;
            if (!r.U16(&m)) return Status::Truncated;
        }
        int id;
        if (Status st = ReadBlockHeader(r, &id); st != Status::Ok) return st;
        if (id >= kHuffmanTables || !s->tables.dht[static_cast<size_t>(id)].defined) {
            return Status::MissingTable;
        }
        if (Status st = DecodeBlock(s->tables.dht[static_cast<size_t>(id)], r, pixels,
                                    keep ? &s->coefficients : nullptr, &count, &m);
            st != Status::Ok) {
            return st;
        }
        if (m == kEoi) break;
    }
    const Tables& t = s->tables;
    if (!t.dtt.defined || !t.dqt.defined) return Status::MissingTable;
    if (count < CodedCoefficients(s->geometry, t.dqt)) return Status::TooFewCoefficients;
    return PlanSynthesis(s->geometry, t.dtt, s->frame.width, s->frame.height, &s->synthesis);
}

Status Parse(const uint8_t* data, size_t size, bool keep, Stream* s) {
    if (data == nullptr || size == 0) return Status::NullArgument;
    ByteReader r(data, size);
    if (Status st = ReadHeaders(r, s); st != Status::Ok) return st;
    return ReadBlocks(r, keep, s);
}

FrameInfo InfoOf(const Stream& s) {
    return {s.frame.width, s.frame.height, s.tables.ppi};
}

// Dequantized and synthesized coefficient plane of a parsed stream.
void Synthesize(const Stream& s, Workspace* w) {
    const Frame& f = s.frame;
    w->plane.assign(static_cast<size_t>(f.width) * static_cast<size_t>(f.height), 0.0f);
    Dequantize(s.geometry, s.tables.dqt, s.coefficients, f.width, w->plane.data());
    Reconstruct(s.geometry, s.synthesis, f.width, f.height, w->plane.data(), &w->scratch);
}

// With no coded subband every synthesized value is a zero, so every pixel is
// the one a zero converts to; no plane is needed (a small stream may declare
// a large flat frame).
bool IsFlat(const Stream& s, uint8_t* pixel) {
    if (CodedCoefficients(s.geometry, s.tables.dqt) != 0) return false;
    const float zero = 0.0f;
    RowToPixels(&zero, 1, s.frame.mShift, s.frame.rScale, pixel);
    return true;
}

// Converts the frame row by row; row(y) is where the pixels of row y go.
template <typename RowOut>
void EmitRows(const Stream& s, RowOut row) {
    const int w = s.frame.width;
    uint8_t flat;
    if (IsFlat(s, &flat)) {
        for (int y = 0; y < s.frame.height; ++y) std::fill(row(y), row(y) + w, flat);
        return;
    }
    Workspace& work = ThreadWorkspace();
    const TrimOnExit trim{work};
    Synthesize(s, &work);
    for (int y = 0; y < s.frame.height; ++y) {
        RowToPixels(work.plane.data() + static_cast<size_t>(y) * static_cast<size_t>(w), w,
                    s.frame.mShift, s.frame.rScale, row(y));
    }
}

}  // namespace

const char* StatusName(Status status) {
    switch (status) {
        case Status::Ok:
            return "Ok";
        case Status::NullArgument:
            return "NullArgument";
        case Status::Truncated:
            return "Truncated";
        case Status::NoStartOfImage:
            return "NoStartOfImage";
        case Status::UnexpectedMarker:
            return "UnexpectedMarker";
        case Status::BadTransformTable:
            return "BadTransformTable";
        case Status::BadHuffmanTable:
            return "BadHuffmanTable";
        case Status::OverSubscribedCode:
            return "OverSubscribedCode";
        case Status::BadComment:
            return "BadComment";
        case Status::MissingTable:
            return "MissingTable";
        case Status::BadFrameSize:
            return "BadFrameSize";
        case Status::ImageTooLarge:
            return "ImageTooLarge";
        case Status::FrameTooSmall:
            return "FrameTooSmall";
        case Status::BadHuffmanCode:
            return "BadHuffmanCode";
        case Status::BadSymbol:
            return "BadSymbol";
        case Status::EscapeTruncated:
            return "EscapeTruncated";
        case Status::TooManyCoefficients:
            return "TooManyCoefficients";
        case Status::TooFewCoefficients:
            return "TooFewCoefficients";
        case Status::BufferTooSmall:
            return "BufferTooSmall";
        case Status::OutOfMemory:
            return "OutOfMemory";
    }
    return "Unknown";
}

Status Inspect(const uint8_t* data, size_t size, FrameInfo* info) {
    if (info == nullptr) return Status::NullArgument;
    Stream s;
    if (Status st = Parse(data, size, false, &s); st != Status::Ok) return st;
    *info = InfoOf(s);
    return Status::Ok;
}

Status Decode(const uint8_t* data, size_t size, FrameInfo* info, std::vector<uint8_t>* pixels) {
    if (info == nullptr || pixels == nullptr) return Status::NullArgument;
    pixels->clear();
    Stream s;
    if (Status st = Parse(data, size, true, &s); st != Status::Ok) return st;
    const size_t w = static_cast<size_t>(s.frame.width);
    pixels->resize(w * static_cast<size_t>(s.frame.height));
    EmitRows(s, [&](int y) { return pixels->data() + static_cast<size_t>(y) * w; });
    *info = InfoOf(s);
    return Status::Ok;
}

Status DecodeToBmp(const uint8_t* data, size_t size, uint8_t* out, size_t outSize) {
    if (out == nullptr) return Status::NullArgument;
    Stream s;
    if (Status st = Parse(data, size, true, &s); st != Status::Ok) return st;
    const FrameInfo info = InfoOf(s);
    if (outSize < BmpFileSize(info.width, info.height)) return Status::BufferTooSmall;
    WriteBmpHeader(info, out);
    const size_t w = static_cast<size_t>(info.width);
    const size_t stride = BmpStride(info.width);
    auto row = [&](int y) {
        return out + kBmpPixelOffset + static_cast<size_t>(info.height - 1 - y) * stride;
    };
    for (int y = 0; y < info.height; ++y) std::fill(row(y) + w, row(y) + stride, uint8_t{0});
    EmitRows(s, row);
    return Status::Ok;
}

}  // namespace gw::wsq
