// WSQ (FBI wavelet scalar quantization) fingerprint decoder.
//
// Decodes the grey-scale WSQ format into 8-bit pixels and 8-bit grey BMP files.
// The reconstruction repeats the reference codec's (NIST NBIS) float arithmetic
// operation for operation, so decoded pixels equal the reference decodes bit
// for bit. Every function checks its arguments first, never reads outside the
// data it is given, never prints, and reports each failure with its own status.
// Allocation failure throws std::bad_alloc.
#ifndef GLYPHWICK_WSQDECODER_H
#define GLYPHWICK_WSQDECODER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "DVImageCodecs.h"  // dv::kMaxImagePixels

namespace gw::wsq {

/// Outcome of a decoder call; 0 is success, every failure has its own value.
enum class Status : int32_t {
    Ok = 0,
    NullArgument = 1,          ///< a required pointer is null or a size is not positive
    Truncated = 2,             ///< the data end inside a segment, entropy block or before EOI
    NoStartOfImage = 3,        ///< the data do not start with the SOI marker
    UnexpectedMarker = 4,      ///< a marker that is not allowed where it stands
    BadTransformTable = 5,     ///< filter lengths not odd and within 3..31
    BadHuffmanTable = 6,       ///< table id above 7, too many codes, a repeated id, no bytes
    OverSubscribedCode = 7,    ///< code-length counts that no prefix code can have
    BadComment = 8,            ///< a comment segment shorter than its own length field
    MissingTable = 9,          ///< transform, quantization or block's Huffman table undefined
    BadFrameSize = 10,         ///< zero width or height
    ImageTooLarge = 11,        ///< more than dv::kMaxImagePixels pixels
    FrameTooSmall = 12,        ///< a 1-sample line, or synthesis reads outside its buffers
    BadHuffmanCode = 13,       ///< 16 bits that start no code of the block's table
    BadSymbol = 14,            ///< a decoded symbol with no meaning (0 or 255)
    EscapeTruncated = 15,      ///< the extra bits of an escape run into a marker
    TooManyCoefficients = 16,  ///< the blocks decode more coefficients than pixels
    TooFewCoefficients = 17,   ///< the blocks decode fewer coefficients than coded subbands hold
    BufferTooSmall = 18,       ///< the output buffer is shorter than the BMP file
    OutOfMemory = 19,          ///< an allocation failed (only at the plug-in boundary)
};

/// Facts about a frame read from its headers.
struct FrameInfo {
    int32_t width = 0;   ///< pixels per row
    int32_t height = 0;  ///< rows
    int32_t ppi = -1;    ///< pixels per inch from the first NISTCOM comment, -1 if not given
};

/// Short English name of a status ("Ok", "Truncated", ...); never null.
const char* StatusName(Status status);

/// Checks that data (size bytes) is a complete WSQ stream that Decode would
/// accept: markers, tables, frame header, every block's entropy-coded data and
/// the coefficient count, and that the synthesis fits the frame. Does not run
/// the reconstruction. On success fills *info.
Status Inspect(const uint8_t* data, size_t size, FrameInfo* info);

/// Decodes data into width * height grey pixels, rows top to bottom without
/// padding, in *pixels (resized). On success fills *info. On failure *pixels
/// is left empty.
Status Decode(const uint8_t* data, size_t size, FrameInfo* info, std::vector<uint8_t>* pixels);

/// Byte length of the 8-bit grey BMP file of a width x height frame (headers,
/// 256-entry palette, rows padded to 4 bytes), or 0 if either side is not
/// positive or the frame exceeds dv::kMaxImagePixels.
size_t BmpFileSize(int32_t width, int32_t height);

/// Writes an 8-bit grey BMP file of the top-down pixels (info.width bytes per
/// row) into out, which must hold BmpFileSize bytes (further bytes are left
/// untouched). Rows are stored bottom-up; the resolution is info.ppi converted
/// to pixels per metre when it is in 1..100000, else 0.
Status WriteBmp(const uint8_t* pixels, const FrameInfo& info, uint8_t* out, size_t outSize);

/// Decode followed by WriteBmp into out (outSize bytes, at least the BMP file's
/// length), converting straight into the BMP rows.
Status DecodeToBmp(const uint8_t* data, size_t size, uint8_t* out, size_t outSize);

}  // namespace gw::wsq

#endif  // GLYPHWICK_WSQDECODER_H
