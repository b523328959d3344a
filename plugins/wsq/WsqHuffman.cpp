// Entropy-coded blocks: canonical Huffman codes of up to 16 bits over byte-
// stuffed data (FF 00 stands for FF), ended by the next marker.
//
// Symbols: 1..100 a run of that many zero coefficients; 101/102 a positive /
// negative 8-bit magnitude follows; 103/104 the same with 16 bits; 105/106 a
// zero run whose length follows in 8 / 16 bits; 107..254 the coefficient
// symbol - 180. Padding bits before the marker never complete a code, so a
// code cut short by the end of the data ends the block, while escape bits cut
// short are an error, as in the reference decoder.
#include <cstring>

#include "WsqInternal.h"

namespace gw::wsq {
namespace {

constexpr int kFastBits = 9;

// Canonical decoding tables: a direct lookup for codes of up to kFastBits bits
// and first/last code per length for longer ones.
class CodeBook {
  public:
    Status Build(const HuffmanTable& t) {
        std::memset(fast_, 0, sizeof(fast_));
        int code = 0;
        int k = 0;
        for (int len = 1; len <= 16; ++len) {
            const int n = t.counts[static_cast<size_t>(len - 1)];
            firstCode_[len] = code;
            firstIndex_[len] = k;
            lastCode_[len] = n > 0 ? code + n - 1 : -1;
            // Codes of this length must fit in len bits.
            if (code + n > (1 << len)) return Status::OverSubscribedCode;
            for (int i = 0; i < n; ++i, ++code, ++k) {
                if (len <= kFastBits) {
                    const int shift = kFastBits - len;
                    for (int f = 0; f < (1 << shift); ++f) {
                        fast_[(code << shift) | f] = Entry{static_cast<uint8_t>(len), t.values[k]};
                    }
                }
            }
            code <<= 1;
        }
        values_ = t.values.data();
        return Status::Ok;
    }

    // Decodes the code at the top of a 16-bit window; returns its length, or 0
    // when the window starts no code.
    int Decode(uint32_t window, int* symbol) const {
        const Entry e = fast_[window >> (16 - kFastBits)];
        if (e.length != 0) {
            *symbol = e.value;
            return e.length;
        }
        for (int len = kFastBits + 1; len <= 16; ++len) {
            const int code = static_cast<int>(window >> (16 - len));
            if (code <= lastCode_[len]) {
                *symbol = values_[firstIndex_[len] + code - firstCode_[len]];
                return len;
            }
        }
        return 0;
    }

  private:
    struct Entry {
        uint8_t length;
        uint8_t value;
    };
    Entry fast_[1 << kFastBits];
    int firstCode_[17] = {};
    int lastCode_[17] = {};
    int firstIndex_[17] = {};
    const uint8_t* values_ = nullptr;
};

// Bits of the unstuffed block data, most significant first; reads past the end
// see zero bits (the buffer carries zero padding).
class BitReader {
  public:
    BitReader(const uint8_t* data, size_t bytes) : data_(data), bits_(bytes * 8) {}
    size_t Left() const { return bits_ - pos_; }
    uint32_t Peek16() const {
        const uint8_t* p = data_ + (pos_ >> 3);
        const uint32_t w = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
        return (w >> (8 - (pos_ & 7))) & 0xFFFF;
    }
    void Consume(int n) { pos_ += static_cast<size_t>(n); }
    uint32_t Take(int n) {
        const uint32_t v = Peek16() >> (16 - n);
        pos_ += static_cast<size_t>(n);
        return v;
    }

  private:
    const uint8_t* data_;
    size_t bits_;
    size_t pos_ = 0;
};

// Finds the marker that ends the block at the reader's position, copies the
// data before it with stuffed zeros removed (plus 4 zero bytes of padding) and
// leaves the reader after the marker.
Status Unstuff(ByteReader& r, std::vector<uint8_t>* out, uint16_t* marker) {
    const uint8_t* data = r.Data();
    const size_t size = r.Size();
    size_t p = r.Position();
    out->clear();
    for (;;) {
        const void* hit = std::memchr(data + p, 0xFF, size - p);
        if (hit == nullptr) return Status::Truncated;
        const size_t ff = static_cast<size_t>(static_cast<const uint8_t*>(hit) - data);
        if (ff + 1 >= size) return Status::Truncated;
        out->insert(out->end(), data + p, data + ff + 1);
        if (data[ff + 1] != 0x00) {
            out->pop_back();
            *marker = static_cast<uint16_t>(0xFF00 | data[ff + 1]);
            r.Seek(ff + 2);
            break;
        }
        p = ff + 2;
    }
    out->insert(out->end(), 4, 0);
    return Status::Ok;
}

}  // namespace

Status DecodeBlock(const HuffmanTable& table, ByteReader& r, int64_t limit,
                   std::vector<int16_t>* coefficients, int64_t* count, uint16_t* marker) {
    CodeBook book;
    if (Status s = book.Build(table); s != Status::Ok) return s;
    std::vector<uint8_t> bytes;
    if (Status s = Unstuff(r, &bytes, marker); s != Status::Ok) return s;
    BitReader bits(bytes.data(), bytes.size() - 4);

    int64_t n = *count;
    auto emitZeros = [&](int64_t run) {
        if (run > limit - n) return false;
        n += run;
        if (coefficients != nullptr) coefficients->insert(coefficients->end(), run, 0);
        return true;
    };
    auto emitValue = [&](int v) {
        if (n >= limit) return false;
        ++n;
        if (coefficients != nullptr) coefficients->push_back(static_cast<int16_t>(v));
        return true;
    };

    Status status = Status::Ok;
    while (bits.Left() > 0) {
        int symbol = 0;
        const int len = book.Decode(bits.Peek16(), &symbol);
        if (len == 0 && bits.Left() >= 16) {
            status = Status::BadHuffmanCode;
            break;
        }
        if (len == 0 || static_cast<size_t>(len) > bits.Left()) break;  // padding
        bits.Consume(len);
        bool fits = true;
        if (symbol >= 1 && symbol <= 100) {
            fits = emitZeros(symbol);
        } else if (symbol >= 107 && symbol <= 254) {
            fits = emitValue(symbol - 180);
        } else if (symbol >= 101 && symbol <= 106) {
            const int extra = (symbol == 103 || symbol == 104 || symbol == 106) ? 16 : 8;
            if (bits.Left() < static_cast<size_t>(extra)) {
                status = Status::EscapeTruncated;
                break;
            }
            const uint32_t v = bits.Take(extra);
            if (symbol >= 105) {
                fits = emitZeros(v);
            } else {
                // Magnitudes are stored in 16-bit signed coefficients and wrap.
                const uint32_t signedValue = (symbol == 102 || symbol == 104) ? 0u - v : v;
                fits = emitValue(static_cast<int16_t>(static_cast<uint16_t>(signedValue)));
            }
        } else {
            status = Status::BadSymbol;
            break;
        }
        if (!fits) {
            status = Status::TooManyCoefficients;
            break;
        }
    }
    *count = n;
    return status;
}

}  // namespace gw::wsq
