#include "BarcodeRead.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

#include "DVImageProcessor.h"
#include "Errors.h"
#include "Glyphwick.h"
#include "barcode/Code128Text.h"

namespace gwtool {

namespace {

struct AreaGuard {
    ~AreaGuard() { GW_DestroyArea(); }
};

AREAPARAMS BarParams(int maxSize) {
    AREAPARAMS p{};
    p.minObjectWidth = 1;
    p.minObjectHeight = 12;
    p.maxObjectWidth = 40;
    p.maxObjectHeight = maxSize;
    return p;
}

bool Matches(const std::string& digits, size_t at, std::string_view pattern) {
    if (digits.size() < at + pattern.size()) return false;
    for (size_t i = 0; i < pattern.size(); ++i)
        if (digits[at + i] != '?' && digits[at + i] != pattern[i]) return false;
    return true;
}

}  // namespace

int Code128StartOf(const std::string& digits) {
    // Start A, B and C as bar and space widths in modules.
    static constexpr std::array<std::pair<std::string_view, int>, 3> kStarts{
        {{"211412", 103}, {"211214", 104}, {"211232", 105}}};
    for (const auto& [pattern, value] : kStarts)
        if (Matches(digits, 0, pattern)) return value;
    return 0;
}

std::vector<int> Code128Values(const std::string& numbers, int start) {
    std::vector<int> values{start};
    std::vector<int> found;
    // Depth-first over the ways to split; the texts are short.
    std::function<bool(size_t)> split = [&](size_t at) -> bool {
        if (at == numbers.size()) {
            if (values.size() < 2) return false;
            long sum = values[0];
            for (size_t i = 1; i + 1 < values.size(); ++i) sum += static_cast<long>(i) * values[i];
            if (values.back() >= 0 && sum % 103 == values.back()) {
                found = values;
                return true;
            }
            if (found.empty()) found = values;  // the first split, if no check holds
            return false;
        }
        if (numbers.compare(at, 2, "XX") == 0) {
            values.push_back(-1);
            if (split(at + 2)) return true;
            values.pop_back();
            return false;
        }
        for (size_t len : {size_t{2}, size_t{3}}) {
            if (at + len > numbers.size()) break;
            const std::string part = numbers.substr(at, len);
            if (!std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
                break;
            const int v = std::stoi(part);
            if (len == 3 && (v < 100 || v > 105)) break;
            values.push_back(v);
            if (split(at + len)) return true;
            values.pop_back();
        }
        return false;
    };
    split(0);
    return found;
}

std::vector<BarcodeReading> ReadWholeImage(const DVImageProcessor& image,
                                           std::optional<Symbology> type) {
    gw::BarcodeOptions options;
    options.code39 = type != Symbology::Code128;
    options.code128 = type != Symbology::Code39;
    options.code39FullAscii = true;
    std::vector<BarcodeReading> out;
    for (gw::BarcodeResult& r : gw::ReadBarcodes(image, options)) {
        BarcodeReading b;
        b.symbology = r.symbology == gw::Symbology::Code39 ? Symbology::Code39 : Symbology::Code128;
        float l = 1e9f, t = 1e9f, rt = -1e9f, bt = -1e9f;
        for (const auto& [x, y] : r.corners)
            l = std::min(l, x), t = std::min(t, y), rt = std::max(rt, x), bt = std::max(bt, y);
        b.rect =
            Box{int(std::floor(l)), int(std::floor(t)), int(std::ceil(rt)), int(std::ceil(bt))};
        b.result = 0;
        b.text = r.text;
        b.values = r.values;
        b.human = r.code32.empty() ? r.text : r.code32;
        b.gs1 = r.gs1;
        b.read = true;
        b.found = std::move(r);
        out.push_back(std::move(b));
    }
    return out;
}

BarcodeReading ReadBarcode(DVImageProcessor& image, Symbology type, const Box& box,
                           const std::string& file) {
    CheckInside(box, image.GetWidth(), image.GetHeight(), file);
    const RECT r{box.left, box.top, box.right, box.bottom};
    const AREAPARAMS p = BarParams(box.Height());
    if (GW_InitialiseArea(&image, &r, &p) == nullptr) {
        throw InputError(file, "the image cannot be read (it must be 1- or 8-bit)");
    }
    AreaGuard guard;
    // Far more room than any reading of this rectangle can take: one byte per
    // column for the widths, three per symbol, the space and the end.
    std::vector<char> text(static_cast<size_t>(box.Width()) * 4 + 64, '\0');
    BarcodeReading out;
    out.symbology = type;
    out.rect = box;
    if (type == Symbology::Code39) {
        out.result = GW_ReadCode39(&r, text.data());
        out.text = text.data();
        out.read = out.result == 0 && !out.text.empty() && out.text.find('?') == std::string::npos;
        return out;
    }
    out.result = GW_ReadCode128(&r, text.data());
    out.text = text.data();
    const auto space = out.text.find(' ');
    if (out.result != 0 || space == std::string::npos) return out;
    std::string digits = out.text.substr(0, space);
    int start = Code128StartOf(digits);
    if (start == 0) {
        std::reverse(digits.begin(), digits.end());
        start = Code128StartOf(digits);
    }
    if (start == 0) return out;
    out.values = Code128Values(out.text.substr(space + 1), start);
    const gw::Code128Text human = gw::Code128ValuesToText(out.values);
    out.read = human.status == gw::Code128TextStatus::Ok;
    out.human = human.text;
    out.gs1 = human.gs1;
    return out;
}

}  // namespace gwtool
