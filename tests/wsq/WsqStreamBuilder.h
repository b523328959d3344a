// Writes small WSQ streams for tests: any frame size, any quantized
// coefficients, and hooks to break each segment. Every symbol is coded with 8
// bits (one Huffman table holding the symbols 1..254 at length 8), so a symbol
// s is the byte s - 1 and escape bits stay byte-aligned.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wsqtest {

class StreamBuilder {
  public:
    int width = 64;
    int height = 64;
    int loTaps = 9;          // analysis lowpass taps written to the transform table
    int hiTaps = 7;          // analysis highpass taps
    uint16_t qValue = 100;   // bin width of every coded subband, scale 1 (10.0)
    uint16_t zValue = 120;   // zero bin, scale 1
    int codedSubbands = 60;  // subbands 0..codedSubbands-1 have a bin width
    int huffmanId = 0;       // table id of the DHT and the block
    int blockTable = -1;     // table id named by the block, -1: huffmanId
    bool writeTransform = true;
    bool writeQuant = true;
    std::string comment;                      // a COM segment before the tables when not empty
    std::vector<uint8_t> extraHuffmanCounts;  // replaces the 16 counts when not empty
    std::vector<uint8_t> huffmanValues;       // replaces the symbol values when not empty
    std::vector<uint8_t> rawData;             // replaces the coded coefficients when not empty

    /// Byte stream coding the quantized coefficients, in subband order.
    std::vector<uint8_t> Build(const std::vector<int>& coefficients) const {
        std::vector<uint8_t> out;
        Marker(&out, 0xFFA0);
        if (!comment.empty()) {
            Marker(&out, 0xFFA8);
            U16(&out, static_cast<uint16_t>(comment.size() + 2));
            out.insert(out.end(), comment.begin(), comment.end());
        }
        if (writeTransform) Transform(&out);
        if (writeQuant) Quant(&out);
        Huffman(&out);
        Frame(&out);
        Marker(&out, 0xFFA3);
        U16(&out, 3);
        out.push_back(static_cast<uint8_t>(blockTable < 0 ? huffmanId : blockTable));
        const std::vector<uint8_t> data = rawData.empty() ? Code(coefficients) : rawData;
        for (uint8_t b : data) {
            out.push_back(b);
            if (b == 0xFF) out.push_back(0x00);
        }
        Marker(&out, 0xFFA1);
        return out;
    }

    /// Entropy-coded bytes (before stuffing) of a coefficient sequence.
    static std::vector<uint8_t> Code(const std::vector<int>& coefficients) {
        std::vector<uint8_t> bytes;
        auto symbol = [&](int s) { bytes.push_back(static_cast<uint8_t>(s - 1)); };
        size_t i = 0;
        while (i < coefficients.size()) {
            if (coefficients[i] == 0) {
                size_t run = 0;
                while (i + run < coefficients.size() && coefficients[i + run] == 0 && run < 65535) {
                    ++run;
                }
                if (run <= 100) {
                    symbol(static_cast<int>(run));
                } else if (run <= 255) {
                    symbol(105);
                    bytes.push_back(static_cast<uint8_t>(run));
                } else {
                    symbol(106);
                    bytes.push_back(static_cast<uint8_t>(run >> 8));
                    bytes.push_back(static_cast<uint8_t>(run));
                }
                i += run;
                continue;
            }
            const int v = coefficients[i++];
            if (v >= -73 && v <= 74) {
                symbol(v + 180);
            } else if (v > 0 && v <= 255) {
                symbol(101);
                bytes.push_back(static_cast<uint8_t>(v));
            } else if (v < 0 && v >= -255) {
                symbol(102);
                bytes.push_back(static_cast<uint8_t>(-v));
            } else {
                const int m = v < 0 ? -v : v;
                symbol(v < 0 ? 104 : 103);
                bytes.push_back(static_cast<uint8_t>(m >> 8));
                bytes.push_back(static_cast<uint8_t>(m));
            }
        }
        return bytes;
    }

  private:
    static void U16(std::vector<uint8_t>* o, uint16_t v) {
        o->push_back(static_cast<uint8_t>(v >> 8));
        o->push_back(static_cast<uint8_t>(v));
    }
    static void U32(std::vector<uint8_t>* o, uint32_t v) {
        U16(o, static_cast<uint16_t>(v >> 16));
        U16(o, static_cast<uint16_t>(v));
    }
    static void Marker(std::vector<uint8_t>* o, uint16_t m) { U16(o, m); }

    // Coefficients of the usual 9/7 analysis filters, centre tap first, as
    // magnitude / 10^9 with a sign byte; shorter or longer filters reuse them
    // cyclically (only the layout matters to those tests).
    void Transform(std::vector<uint8_t>* o) const {
        static constexpr int64_t kLo[] = {852698573, 377402819, -110624399, -23849464, 37828452};
        static constexpr int64_t kHi[] = {788485632, -418092319, -40689422, 64538885};
        Marker(o, 0xFFA4);
        const int loHalf = (loTaps + 1) / 2, hiHalf = (hiTaps + 1) / 2;
        U16(o, static_cast<uint16_t>(4 + 6 * (loHalf + hiHalf)));
        o->push_back(static_cast<uint8_t>(loTaps));
        o->push_back(static_cast<uint8_t>(hiTaps));
        for (int k = 0; k < loHalf; ++k) Coefficient(o, kLo[k % 5]);
        for (int k = 0; k < hiHalf; ++k) Coefficient(o, kHi[k % 4]);
    }
    static void Coefficient(std::vector<uint8_t>* o, int64_t v) {
        o->push_back(v < 0 ? 1 : 0);
        o->push_back(9);
        U32(o, static_cast<uint32_t>(v < 0 ? -v : v));
    }

    void Quant(std::vector<uint8_t>* o) const {
        Marker(o, 0xFFA5);
        U16(o, 389);
        o->push_back(2);
        U16(o, 44);
        for (int s = 0; s < 64; ++s) {
            const bool coded = s < codedSubbands;
            o->push_back(1);
            U16(o, coded ? qValue : 0);
            o->push_back(1);
            U16(o, coded ? zValue : 0);
        }
    }

    void Huffman(std::vector<uint8_t>* o) const {
        std::vector<uint8_t> counts(16, 0);
        counts[7] = 254;
        if (!extraHuffmanCounts.empty()) counts = extraHuffmanCounts;
        int total = 0;
        for (uint8_t c : counts) total += c;
        Marker(o, 0xFFA6);
        U16(o, static_cast<uint16_t>(2 + 1 + 16 + total));
        o->push_back(static_cast<uint8_t>(huffmanId));
        o->insert(o->end(), counts.begin(), counts.end());
        for (int v = 0; v < total; ++v) {
            o->push_back(huffmanValues.empty()
                             ? static_cast<uint8_t>(v % 254 + 1)
                             : huffmanValues[static_cast<size_t>(v) % huffmanValues.size()]);
        }
    }

    void Frame(std::vector<uint8_t>* o) const {
        Marker(o, 0xFFA2);
        U16(o, 17);
        o->push_back(0);
        o->push_back(255);
        U16(o, static_cast<uint16_t>(height));
        U16(o, static_cast<uint16_t>(width));
        o->push_back(2);
        U16(o, 12800);  // shift 128.00
        o->push_back(4);
        U16(o, 10000);  // scale 1.0000
        o->push_back(2);
        U16(o, 0);
    }
};

}  // namespace wsqtest
