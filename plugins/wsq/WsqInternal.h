// Pieces of the WSQ decoder shared by its source files: the byte reader, the
// tables and frame as read from the stream, the entropy decoder, the subband
// geometry and the wavelet synthesis.
#ifndef GLYPHWICK_WSQINTERNAL_H
#define GLYPHWICK_WSQINTERNAL_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "WsqDecoder.h"

namespace gw::wsq {

/// Marker codes (big-endian on the wire).
enum Marker : uint16_t {
    kSoi = 0xFFA0,
    kEoi = 0xFFA1,
    kSof = 0xFFA2,
    kSob = 0xFFA3,
    kDtt = 0xFFA4,
    kDqt = 0xFFA5,
    kDht = 0xFFA6,
    kCom = 0xFFA8,
};

/// Bounds-checked reader of big-endian fields; a read past the end fails and
/// leaves the position unchanged.
class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool U8(uint8_t* v);
    bool U16(uint16_t* v);
    bool U32(uint32_t* v);
    bool Skip(size_t n);
    size_t Position() const { return pos_; }
    size_t Size() const { return size_; }
    const uint8_t* Data() const { return data_; }
    void Seek(size_t pos) { pos_ = pos < size_ ? pos : size_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

/// Odd filter lengths accepted in a transform table.
inline constexpr int kMinTaps = 3;
inline constexpr int kMaxTaps = 31;

/// Synthesis filters, expanded to full symmetric length.
struct TransformTable {
    bool defined = false;
    std::vector<float> lo;  ///< lowpass synthesis taps
    std::vector<float> hi;  ///< highpass synthesis taps
};

/// Quantizer bin widths of the 64 subbands (60 are used).
struct QuantTable {
    bool defined = false;
    float binCenter = 0.0f;
    std::array<float, 64> q{};  ///< bin width; 0 means the subband is not coded
    std::array<float, 64> z{};  ///< zero-bin width
};

/// Huffman code-length counts and values as stored in the stream.
struct HuffmanTable {
    bool defined = false;
    std::array<uint8_t, 16> counts{};  ///< codes of length 1..16
    std::array<uint8_t, 257> values{};
    int numValues = 0;
};

inline constexpr int kHuffmanTables = 8;

/// Everything the table segments define, in the state the stream leaves it.
struct Tables {
    TransformTable dtt;
    QuantTable dqt;
    std::array<HuffmanTable, kHuffmanTables> dht;
    bool sawNistcom = false;
    int32_t ppi = -1;
};

/// Frame header values.
struct Frame {
    int32_t width = 0;
    int32_t height = 0;
    float mShift = 0.0f;
    float rScale = 0.0f;
};

// --- WsqParse.cpp: marker segments ---------------------------------------

/// Reads a table or comment segment (DTT, DQT, DHT, COM) whose marker was just read.
Status ReadTableSegment(uint16_t marker, ByteReader& r, Tables* tables);
/// Reads the frame header that follows SOF.
Status ReadFrameHeader(ByteReader& r, Frame* frame);
/// Reads the block header that follows SOB; *table is the Huffman table id.
Status ReadBlockHeader(ByteReader& r, int* table);

// --- WsqHuffman.cpp: entropy-coded blocks ---------------------------------

/// Decodes the entropy-coded data of one block, which starts at the reader's
/// position, appending quantized coefficients to *coefficients (or only
/// counting them when it is null) and adding their number to *count, which
/// must not exceed limit. Leaves the reader after the marker that ends the
/// block and stores that marker in *marker.
Status DecodeBlock(const HuffmanTable& table, ByteReader& r, int64_t limit,
                   std::vector<int16_t>* coefficients, int64_t* count, uint16_t* marker);

// --- WsqGeometry.cpp: subbands and synthesis plans -------------------------

/// A rectangle of the coefficient plane.
struct Region {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
};

inline constexpr int kNodes = 20;     ///< synthesis steps, run from last to first
inline constexpr int kSubbands = 60;  ///< coded subbands

/// Where the subbands and synthesis steps of a frame lie.
struct Geometry {
    std::array<Region, kNodes> node;
    std::array<bool, kNodes> invertRows{};  ///< highpass half first along rows
    std::array<bool, kNodes> invertCols{};  ///< highpass half first along columns
    std::array<Region, 64> subband;
};

/// Splits a width x height frame into its synthesis steps and subbands.
Geometry BuildGeometry(int width, int height);

/// Coefficients the coded subbands (bin width not 0) hold.
int64_t CodedCoefficients(const Geometry& g, const QuantTable& q);

/// Terms of a one-dimensional synthesis: output k is the float sum, in order,
/// of sample[offset[t]] * coef[t] for t in [first[k], first[k + 1]). Offsets
/// count samples from the start of the line and may fall outside it: on very
/// short lines the symmetric extension runs past the line's ends, and the
/// reference then reads whatever its buffers hold there, which the decoder
/// reproduces wherever that lies inside the buffers.
struct LinePlan {
    std::vector<uint32_t> first;
    std::vector<int32_t> offset;
    std::vector<float> coef;
    int32_t minOffset = 0;
    int32_t maxOffset = 0;
};

/// Builds the synthesis of a line of n samples (lowpass half first, or
/// highpass half first when invert). FrameTooSmall for n == 1, whose output
/// would spill past the line.
Status BuildLinePlan(int n, bool invert, const TransformTable& t, LinePlan* plan);

/// The synthesis plans of a frame: one per distinct line length and
/// orientation, and for every step the plans of its columns and rows.
struct Synthesis {
    std::vector<LinePlan> plans;
    std::array<int, kNodes> cols{};
    std::array<int, kNodes> rows{};
    /// True if no row plan reads outside its row, which lets the rows be
    /// filtered as the columns of a transposed block.
    bool rowsInLine = true;
};

/// Plans every synthesis step of a width x height frame. Columns are read from
/// the coefficient plane and written to a scratch plane of the same size at its
/// origin; rows are read from there and written back into the node.
/// FrameTooSmall if a line has one sample or a read would leave its plane.
Status PlanSynthesis(const Geometry& g, const TransformTable& t, int width, int height,
                     Synthesis* out);

// --- WsqTransform.cpp: dequantization and reconstruction -------------------

/// Places the dequantized coefficients into a zeroed width x height plane.
void Dequantize(const Geometry& g, const QuantTable& q, const std::vector<int16_t>& coefficients,
                int width, float* plane);

/// Runs the planned wavelet synthesis over the width x height plane in place,
/// with *scratch (resized to the plane's size) as the intermediate plane.
void Reconstruct(const Geometry& g, const Synthesis& plan, int width, int height, float* plane,
                 std::vector<float>* scratch);

/// Converts one reconstructed row to pixels.
void RowToPixels(const float* row, int width, float mShift, float rScale, uint8_t* pixels);

// --- WsqBmp.cpp: output file ------------------------------------------------

/// Bytes before the first pixel row: file header, info header, palette.
inline constexpr size_t kBmpPixelOffset = 14 + 40 + 256 * 4;

/// Bytes per stored BMP row (width rounded up to a multiple of 4).
inline size_t BmpStride(int32_t width) {
    return (static_cast<size_t>(width) + 3) & ~size_t{3};
}

/// Writes the headers and grey palette of a BMP file for a valid frame.
void WriteBmpHeader(const FrameInfo& info, uint8_t* out);

}  // namespace gw::wsq

#endif  // GLYPHWICK_WSQINTERNAL_H
