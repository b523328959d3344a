// The zone decoder alone: cell probabilities in, a decoded zone out, with no
// image work, so that it runs at thousands of inputs a second. The first
// byte chooses the shape (the zone shapes, or any of up to 3 lines of up to
// 44 cells) and whether the input is cells or text: each cell takes two
// candidates and their probabilities from the input (the rest shared by the
// other characters), or a text byte read as a sure character. One decoding
// an input: a decoding of a zone of 90 cells costs some 0.06 ms unsanitized
// and 5 to 10 times that under ASan, UBSan and the comparison hooks (most of
// it in the check-digit paths and what allocations are left), so two an
// input halved the rate. Whatever it decodes must be consistent: characters
// shaped as the lines, confidences between 0 and 1, corrections that name
// what now stands, and a valid zone only with every check digit agreeing,
// every field in its class and every confidence at the threshold.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "GlyphwickMrz.h"
#include "mrz/MrzGrammar.h"

namespace {

using gw::mrz::kClasses;
using gw::mrz::Scores;

Scores Cell(fuzz::Input& in) {
    Scores s{};
    const uint8_t mode = in.Byte();
    const int a = mode % kClasses, b = in.Byte() % kClasses;
    if (mode >= 224) {  // unreadable
        s.fill(1.0f / kClasses);
        return s;
    }
    const float pa = float(in.Byte()) / 255.0f;
    const float pb = std::min(1.0f - pa, float(in.Byte()) / 255.0f);
    const float rest = std::max(0.0f, 1.0f - pa - pb) / float(kClasses - 2);
    s.fill(rest);
    s[size_t(a)] = pa;
    s[size_t(b)] += pb;
    return s;
}

void Check(const gw::MrzResult& r, float threshold) {
    if (!r.found) {
        if (r.valid) __builtin_trap();
        return;
    }
    if (r.characters.size() != r.lines.size()) __builtin_trap();
    for (size_t l = 0; l < r.lines.size(); ++l) {
        if (r.characters[l].size() != r.lines[l].size()) __builtin_trap();
        for (const gw::MrzCharacter& c : r.characters[l]) {
            if (!(c.confidence >= -1e-4f && c.confidence <= 1.0001f)) __builtin_trap();
            if (r.valid && c.confidence < threshold) __builtin_trap();
        }
    }
    for (const gw::MrzCorrection& c : r.corrections) {
        if (c.line < 0 || size_t(c.line) >= r.lines.size()) __builtin_trap();
        if (c.column < 0 || size_t(c.column) >= r.lines[size_t(c.line)].size()) __builtin_trap();
        if (c.from == c.to) __builtin_trap();
    }
    if (!r.valid) return;
    for (const gw::MrzField& f : r.fields)
        if (!f.checkValid || !f.classValid) __builtin_trap();
}

}  // namespace

// The decoder allocates a few small vectors for every field it decides;
// ASan's default quarantine (256 MB) and fill of every allocation made those
// fresh pages, whose faults cost a third of an input. A small quarantine
// still catches a use after free within an input.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16:max_malloc_fill_size=0";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    static constexpr size_t kShapes[4][2] = {{3, 30}, {2, 36}, {2, 44}, {0, 0}};
    const uint8_t shape = in.Byte();
    size_t lines = kShapes[shape % 4][0], length = kShapes[shape % 4][1];
    if (lines == 0) lines = size_t(in.Range(1, 3)), length = size_t(in.Range(1, 44));
    if (shape & 0x40) {
        // Every text the rules may meet, as DecodeText takes it.
        std::vector<std::string> text(lines);
        for (auto& t : text)
            for (size_t c = 0; c < length; ++c) t += char(in.Byte());
        Check(gw::mrz::DecodeText(text), gw::mrz::MrzLimits::kMinProbability);
        return 0;
    }
    std::vector<std::vector<Scores>> cells(lines);
    for (auto& line : cells) {
        line.reserve(length);
        for (size_t c = 0; c < length; ++c) line.push_back(Cell(in));
    }
    gw::mrz::DecodeLimits limits;
    if (shape & 0x80) limits.minProbability = float(in.Byte()) / 255.0f;
    gw::MrzResult r;
    // The search's stop verdicts too: what a sure reading asks of its
    // characters holds for it whatever its checks say.
    bool sure = false, printed = false;
    gw::mrz::Decode(cells, limits, r, &sure, &printed);
    Check(r, limits.minProbability);
    if (sure)
        for (const auto& line : r.characters)
            for (const gw::MrzCharacter& c : line)
                if (c.confidence < limits.minProbability) __builtin_trap();
    return 0;
}
