// One result model: the tool's --json, the C exports' JSON and (in
// python/tests/test_faces.py) Python's to_dict() give the same object for
// every sample, for the zone, the barcodes and the text lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <vector>

#include "DVImageProcessor.h"
#include "GlyphwickBarcodes.h"
#include "GlyphwickJson.h"
#include "GlyphwickLoad.h"
#include "GlyphwickMrz.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

std::vector<std::string> Samples() {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(fs::path(GW_SOURCE_DIR) / "samples")) {
        const std::string ext = e.path().extension().string();
        if (ext == ".png" || ext == ".jpg") out.push_back(e.path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The tool's JSON for one file, without the keys of the file itself.
Json ToolJson(const std::string& args) {
    const std::string command = std::string(GW_TOOL) + " " + args + " --json --jobs 1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) out.append(buffer, n);
    Json j = Json::parse(out).at(0);
    j.erase("file");
    j.erase("status");
    return j;
}

// The JSON a C export writes, by asking for its size first.
template <class Export>
Json ExportJson(Export call) {
    const int size = call(nullptr, 0);
    EXPECT_GT(size, 0);
    std::string text(size_t(size) + 1, '\0');
    EXPECT_EQ(call(text.data(), size + 1), size);
    text.resize(size_t(size));
    return Json::parse(text);
}

TEST(Faces, ToolAndCExportsGiveTheSameJsonForEverySample) {
    const auto samples = Samples();
    ASSERT_GE(samples.size(), 3u);
    for (const std::string& file : samples) {
        SCOPED_TRACE(file);
        DVImageProcessor image;
        ASSERT_EQ(gw::LoadImageFile(file, image).status, gw::kLoaded);
        const Json mrz = ExportJson([&](char* b, int n) { return GW_ReadMrzText(&image, b, n); });
        EXPECT_EQ(ToolJson("mrz \"" + file + "\""), mrz);
        EXPECT_EQ(mrz["found"], true);
        const Json bars =
            ExportJson([&](char* b, int n) { return GW_ReadBarcodesJson(&image, 0, b, n); });
        EXPECT_EQ(ToolJson("barcode \"" + file + "\""), bars);
        const Json lines =
            ExportJson([&](char* b, int n) { return GW_ReadLinesJson(&image, b, n); });
        EXPECT_EQ(ToolJson("read \"" + file + "\""), lines);
        EXPECT_EQ(lines["lines"].size(), 1u);
    }
}

TEST(Faces, NumbersKeepTheirPrecisionAndTextIsEscaped) {
    gw::MrzResult r;
    r.found = true;
    r.corners[0] = {1395.9f, 0.1f};
    r.skew = -0.0f;
    r.lines = {"P<\"A\\B\x01"};
    const Json j = Json::parse(gw::MrzResultToJson(r));
    EXPECT_EQ(j["corners"][0][0].get<float>(), 1395.9f);
    EXPECT_EQ(j["corners"][0][1].get<float>(), 0.1f);
    EXPECT_EQ(j["lines"][0], "P<\"A\\B\x01");
    EXPECT_EQ(gw::MrzResultToJson(r).find("-0"), std::string::npos);
    // Code 128's bytes above 127 are Latin-1 characters, written as UTF-8.
    gw::BarcodeResult b;
    b.text = "\xE9\x1D";
    const Json bars = Json::parse(gw::BarcodeResultsToJson({b}));
    EXPECT_EQ(bars["barcodes"][0]["text"], "\xC3\xA9\x1D");
    EXPECT_EQ(bars["stopped"], false);
    // A cut buffer still ends in a NUL and the full length is returned.
    DVImageProcessor image;
    ASSERT_EQ(gw::LoadImageFile(Samples()[0], image).status, gw::kLoaded);
    char small[8];
    const int full = GW_ReadMrzText(&image, small, sizeof small);
    EXPECT_GT(full, 8);
    EXPECT_EQ(std::string(small), "{\"found");
    EXPECT_EQ(GW_ReadBarcodesJson(nullptr, 0, small, sizeof small), -1);
    EXPECT_EQ(GW_ReadLinesJson(nullptr, small, sizeof small), -1);
}

// A zone result with the given fields: name, raw characters, whether the
// field has a check and whether it holds and fits its class.
gw::MrzResult Zone(std::vector<std::tuple<std::string, std::string, bool, bool>> fields) {
    gw::MrzResult r;
    r.found = r.valid = true;
    for (const auto& [name, raw, holds, fits] : fields) {
        gw::MrzField f;
        f.name = name, f.raw = raw, f.value = raw, f.classValid = fits;
        f.hasCheck = name.ends_with("date");
        f.checkValid = holds;
        if (f.hasCheck) f.check = char('0' + (gw::MrzCheckDigit(raw) + (holds ? 0 : 1)) % 10);
        r.fields.push_back(f);
    }
    return r;
}

TEST(MrzReport, DatesTakeTheirCenturyAndEveryDoubtIsAReason) {
    gw::MrzOptions today;
    today.today = "2026-12-06";
    const auto dates = [&](const std::string& birth, const std::string& expiry) {
        gw::MrzResult r =
            Zone({{"birth_date", birth, true, true}, {"expiry_date", expiry, true, true}});
        gw::MrzReport(r, today);
        return r.birthDate + " " + r.expiryDate + (r.expired ? " expired" : "");
    };
    EXPECT_EQ(dates("261206", "761231"), "2026-12-06 2076-12-31");  // born today; 50 years on
    EXPECT_EQ(dates("261207", "770101"), "1926-12-07 1977-01-01 expired");
    EXPECT_EQ(dates("000229", "261205"), "2000-02-29 2026-12-05 expired");
    gw::MrzResult bad = Zone({{"birth_date", "010229", true, true},
                              {"expiry_date", "3O01#1", false, false},
                              {"nationality", "D2U", true, false},
                              {"issuing_state", "BDR", true, true},
                              {"surname", "VAN  DER BERG", true, true}});
    gw::MrzReport(bad, today);
    EXPECT_FALSE(bad.valid);
    EXPECT_FALSE(bad.checksOk);
    EXPECT_EQ(bad.score, 50);
    EXPECT_EQ(bad.surname, "VAN DER BERG");
    EXPECT_EQ(bad.birthDate, "");
    EXPECT_EQ(bad.reasons,
              (std::vector<std::string>{"check digit of expiry_date fails",
                                        "expiry_date holds letters", "nationality holds digits",
                                        "state code 'BDR' is not a known code "
                                        "(issuing_state)",
                                        "birth_date '010229' is no date"}));
    EXPECT_EQ(bad.checks[1].read, bad.fields[1].check);
    EXPECT_EQ(bad.checks[1].computed, '?');  // '#' is no character of the zone's alphabet
    EXPECT_FALSE(bad.fields[2].valid);
}

// The sample's pixels in a buffer of the caller's, in format, rows padded by
// 5 bytes; bottom-up (a negative stride) when flip is set.
struct Buffer {
    std::vector<uint8_t> bytes;
    gw::ImageView view;
};

Buffer BufferOf(DVImageProcessor& image, gw::PixelFormat format, bool flip) {
    const int w = int(image.GetWidth()), h = int(image.GetHeight());
    const int bpp = gw::BytesPerPixel(format);
    const ptrdiff_t stride = ptrdiff_t(w) * bpp + 5;
    Buffer b;
    b.bytes.assign(size_t(stride) * size_t(h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t argb = 0;
            image.GetPixel(uint32_t(x), uint32_t(y), &argb);
            const uint8_t r = uint8_t(argb >> 16), g = uint8_t(argb >> 8), bl = uint8_t(argb);
            uint8_t* p = b.bytes.data() + (flip ? h - 1 - y : y) * stride + x * bpp;
            switch (format) {
                case gw::PixelFormat::Grey8:
                    p[0] = r;
                    break;
                case gw::PixelFormat::RGB24:
                    p[0] = r, p[1] = g, p[2] = bl;
                    break;
                case gw::PixelFormat::BGR24:
                    p[0] = bl, p[1] = g, p[2] = r;
                    break;
                case gw::PixelFormat::RGBA32:
                    p[0] = r, p[1] = g, p[2] = bl, p[3] = 255;
                    break;
                case gw::PixelFormat::BGRA32:
                    p[0] = bl, p[1] = g, p[2] = r, p[3] = 255;
                    break;
            }
        }
    const uint8_t* first = b.bytes.data() + (flip ? (h - 1) * stride : 0);
    b.view = gw::ImageView(first, w, h, format, flip ? -stride : stride);
    return b;
}

TEST(Faces, AViewOverTheCallersPixelsReadsAsTheLoadedImage) {
    // The grey passport and the colour card (read through its lightest
    // channel by the zone reader, weighed by the line reader).
    for (const char* name : {"td3-passport.png", "td1-card.png"}) {
        SCOPED_TRACE(name);
        DVImageProcessor image;
        ASSERT_EQ(gw::LoadImageFile(std::string(GW_SOURCE_DIR) + "/samples/" + name, image).status,
                  gw::kLoaded);
        const std::string mrz = gw::MrzResultToJson(gw::ReadMrz(image));
        const std::string lines = gw::LinesResultToJson(gw::ReadLines(image));
        const std::string bars = gw::BarcodeResultsToJson(gw::ReadBarcodes(image));
        // Every format once, rows going down and up (a grey view is read in
        // place, the others through their grey levels).
        using F = gw::PixelFormat;
        const bool grey = image.GetBitsPerPixel() == 8;
        const std::vector<std::pair<F, bool>> views =
            grey ? std::vector<std::pair<F, bool>>{{F::Grey8, false},
                                                   {F::Grey8, true},
                                                   {F::BGRA32, false}}
                 : std::vector<std::pair<F, bool>>{
                       {F::RGB24, false}, {F::BGR24, true}, {F::RGBA32, false}};
        for (const auto& [format, flip] : views) {
            SCOPED_TRACE(int(format) * 2 + flip);
            const Buffer b = BufferOf(image, format, flip);
            EXPECT_EQ(gw::MrzResultToJson(gw::ReadMrz(b.view)), mrz);
            EXPECT_EQ(gw::LinesResultToJson(gw::ReadLines(b.view)), lines);
            EXPECT_EQ(gw::BarcodeResultsToJson(gw::ReadBarcodes(b.view)), bars);
        }
    }
    // Transparent pixels are paper; an empty view is refused in words.
    DVImageProcessor image;
    ASSERT_EQ(gw::LoadImageFile(std::string(GW_SOURCE_DIR) + "/samples/td1-card.png", image).status,
              gw::kLoaded);
    Buffer clear = BufferOf(image, gw::PixelFormat::RGBA32, false);
    for (int y = 0; y < clear.view.height; ++y)
        for (int x = 0; x < clear.view.width; ++x)
            clear.bytes[size_t(y * clear.view.stride + x * 4 + 3)] = 0;
    EXPECT_FALSE(gw::ReadMrz(clear.view).found);
    EXPECT_EQ(gw::ReadMrz(gw::ImageView()).error, "the image view has no pixels");
    EXPECT_EQ(gw::ReadLines(gw::ImageView()).status, gw::kLinesNoImage);
    EXPECT_TRUE(gw::ReadBarcodes(gw::ImageView()).empty());
}

}  // namespace
