// The glyphwick tool run as a user runs it: every command on the bundled
// samples, the JSON output parsed back, and every error path with its exit
// status and its one-line message.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <set>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "GlyphwickGrey.h"
#include "GlyphwickLoad.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string ReadFile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

class Tool : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("glyphwick-tool-test-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        // The shipped pattern file when there is one beside the library,
        // otherwise one made for the tests.
        const fs::path shipped = fs::path(GW_SOURCE_DIR) / "patterns" / "libglyphwick.PAT";
        if (!fs::exists(shipped)) {
            patterns_ = (dir_ / "test.PAT").string();
            const std::string make =
                Quote(std::string(GW_SOURCE_DIR) + "/tests/tool/make-test-patterns") + " " +
                Quote(patterns_);
            ASSERT_EQ(std::system(make.c_str()), 0);
        }
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }

    static std::string Sample(const std::string& name) {
        return std::string(GW_SOURCE_DIR) + "/samples/" + name;
    }
    static std::string Temp(const std::string& name) { return (dir_ / name).string(); }
    // "--patterns FILE" when the tests bring their own patterns.
    static std::string Patterns() {
        return patterns_.empty() ? std::string() : " --patterns " + Quote(patterns_);
    }

    static Result Run(const std::string& args) {
        const std::string err = Temp("stderr.txt");
        const std::string cmd = Quote(GW_TOOL) + " " + args + " 2>" + Quote(err);
        Result r;
        FILE* p = popen(cmd.c_str(), "r");
        if (p == nullptr) return r;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
        const int w = pclose(p);
        r.status = WIFEXITED(w) ? WEXITSTATUS(w) : 128 + WTERMSIG(w);
        r.err = ReadFile(err);
        return r;
    }

    // A failure: status 2 and exactly one line on stderr holding each of the
    // given texts.
    static void ExpectError(const Result& r, std::initializer_list<std::string> texts) {
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("glyphwick: ", 0), 0u) << r.err;
        for (const std::string& t : texts) EXPECT_NE(r.err.find(t), std::string::npos) << r.err;
    }

    static Json Facts() { return Json::parse(ReadFile(Sample("samples.json"))); }

    static inline fs::path dir_;
    static inline std::string patterns_;
};

TEST_F(Tool, MrzReadsEverySampleWithEveryCheckDigitValid) {
    const Json facts = Facts();
    ASSERT_EQ(facts.size(), 3u);
    for (const auto& [name, fact] : facts.items()) {
        SCOPED_TRACE(name);
        const Result r = Run("mrz " + Quote(Sample(name)) + " --json");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const Json j = Json::parse(r.out);
        ASSERT_EQ(j.size(), 1u);
        EXPECT_EQ(j[0]["file"], Sample(name));
        EXPECT_EQ(j[0]["found"], true);
        EXPECT_EQ(j[0]["valid"], true);
        EXPECT_EQ(j[0]["orientation"], 0);
        EXPECT_EQ(j[0]["score"], 100);
        EXPECT_EQ(j[0]["checks_ok"], true);
        EXPECT_TRUE(j[0]["reasons"].empty());
        EXPECT_EQ(j[0]["format"], fact["format"]);
        EXPECT_EQ(j[0]["lines"], fact["mrz"]);
        // The plain form says the same.
        const Result plain = Run("mrz " + Quote(Sample(name)));
        EXPECT_EQ(plain.status, 0);
        EXPECT_NE(plain.out.find("format " + fact["format"].get<std::string>() + ", valid"),
                  std::string::npos)
            << plain.out;
        for (const auto& line : fact["mrz"])
            EXPECT_NE(plain.out.find(line.get<std::string>()), std::string::npos);
    }
    const Json td3 =
        Json::parse(Run("mrz " + Quote(Sample("td3-passport.png")) + " --json").out)[0];
    EXPECT_EQ(td3["expiry_date"], "2031-07-09");
    // Expired against a day after the expiry, not against the day before.
    const auto expired = [&](const char* today) {
        return Json::parse(
            Run("mrz " + Quote(Sample("td3-passport.png")) + " --json --today " + today)
                .out)[0]["expired"];
    };
    EXPECT_EQ(expired("2031-07-10"), true);
    EXPECT_EQ(expired("2031-07-09"), false);
}

TEST_F(Tool, MrzUpsideDownSeveralFilesAndAnnotation) {
    const std::string turned = Temp("turned.png");
    ASSERT_EQ(Run("convert " + Quote(Sample("td1-card.png")) + " " + Quote(turned) + " --rotate 2")
                  .status,
              0);
    const std::string annotated = Temp("zone.png");
    const Result r = Run("mrz " + Quote(turned) + " " + Quote(Sample("td3-passport.png")) +
                         Patterns() + " --json --annotate " + Quote(annotated));
    ASSERT_EQ(r.status, 0) << r.err;
    const Json j = Json::parse(r.out);
    ASSERT_EQ(j.size(), 2u);
    EXPECT_EQ(j[0]["orientation"], 180);
    EXPECT_EQ(j[0]["lines"], Facts()["td1-card.png"]["mrz"]);
    EXPECT_EQ(j[1]["format"], "TD3");
    // Corners of the turned card in its own pixels: the zone is at its top.
    for (const Json& corner : j[0]["corners"]) EXPECT_LT(corner[1].get<float>(), 638 / 2);
    // One annotated image per file, in colour and of the file's size.
    for (const std::string& out : {Temp("zone-1.png"), Temp("zone-2.png")}) {
        const Result info = Run("info " + Quote(out) + " --json");
        ASSERT_EQ(info.status, 0) << info.err;
        const Json i = Json::parse(info.out)[0];
        EXPECT_EQ(i["pixel_format"], "24bppRGB");
        EXPECT_EQ(i["format"], "PNG");
    }
    EXPECT_EQ(Json::parse(Run("info " + Quote(Temp("zone-2.png")) + " --json").out)[0]["width"],
              1476);
}

TEST_F(Tool, BarcodesAreFoundAndRead) {
    const Json facts = Facts();
    for (const std::string name : {"td3-passport.png", "td3-scan.jpg"}) {
        SCOPED_TRACE(name);
        const Result c128 = Run("barcode " + Quote(Sample(name)) + " --type code128 --json");
        ASSERT_EQ(c128.status, 0) << c128.err << c128.out;
        const Json j = Json::parse(c128.out)[0];
        ASSERT_EQ(j["barcodes"].size(), 1u) << c128.out;
        const Json& b = j["barcodes"][0];
        EXPECT_EQ(b["symbology"], "code128");
        EXPECT_EQ(b["text"], facts[name]["code128"]);
        EXPECT_EQ(b["checks_ok"], true);
        EXPECT_EQ(b["gs1"], false);
        EXPECT_GE(b["values"].size(), 3u);  // start, data, check

        const Result c39 = Run("barcode " + Quote(Sample(name)) + " --symbologies code39 --json");
        ASSERT_EQ(c39.status, 0) << c39.err << c39.out;
        const Json c39json = Json::parse(c39.out)[0]["barcodes"];
        ASSERT_EQ(c39json.size(), 1u) << c39.out;
        EXPECT_EQ(c39json[0]["text"], facts[name]["code39"]);
    }
    // With a rectangle only that rectangle is read; a rectangle without a
    // barcode reads nothing (status 1). Inside one, corners stand in the
    // whole image's pixels.
    const Result none = Run("barcode " + Quote(Sample("td1-card.png")) + " --rect 10,10,400,100");
    EXPECT_EQ(none.status, 1) << none.err;
    EXPECT_NE(none.out.find("no Code 39 or Code 128 barcode found"), std::string::npos);
    const Json whole =
        Json::parse(Run("barcode " + Quote(Sample("td3-passport.png")) + " --json").out)[0];
    const Json part = Json::parse(
        Run("barcode " + Quote(Sample("td3-passport.png")) + " --rect 850,150,1300,320 --json")
            .out)[0];
    ASSERT_EQ(part["barcodes"].size(), 1u) << part.dump();
    EXPECT_EQ(part["barcodes"][0]["symbology"], "code128");
    for (const Json& b : whole["barcodes"]) {
        if (b["symbology"] != "code128") continue;
        for (size_t c = 0; c < 4; ++c)
            for (size_t k = 0; k < 2; ++k)
                EXPECT_NEAR(part["barcodes"][0]["corners"][c][k].get<float>(),
                            b["corners"][c][k].get<float>(), 2.0f);
    }
    // Plain output: the text, whole non-negative pixels, no internal codes.
    const Result plain = Run("barcode " + Quote(Sample("td3-passport.png")) + " --type code39");
    EXPECT_EQ(plain.status, 0);
    EXPECT_NE(plain.out.find("code39 \"P-XK4719203\"\n  at "), std::string::npos) << plain.out;
    EXPECT_EQ(plain.out.find("result"), std::string::npos) << plain.out;
    const size_t at = plain.out.find("  at ");
    ASSERT_NE(at, std::string::npos) << plain.out;
    const std::string where = plain.out.substr(at, plain.out.find('\n', at) - at);
    EXPECT_EQ(where.find_first_of(".-"), std::string::npos) << where;
    // One line per symbol with -1.
    const Result one = Run("barcode -1 " + Quote(Sample("td3-passport.png")));
    EXPECT_EQ(one.out, Sample("td3-passport.png") + "\tcode128\tUTO-XK4719203\n" +
                           Sample("td3-passport.png") + "\tcode39\tP-XK4719203\n");
    // A minimum length above the texts' reads nothing; an unknown name fails.
    EXPECT_EQ(Run("barcode " + Quote(Sample("td3-passport.png")) + " --min-length 20").status, 1);
    ExpectError(Run("barcode " + Quote(Sample("td3-passport.png")) + " --symbologies code39,qr"),
                {"unknown symbology 'qr'"});
    // Without a symbology named, both are read, each result naming its own.
    std::set<std::pair<std::string, std::string>> found;
    for (const Json& b : whole["barcodes"])
        found.insert({b["symbology"].get<std::string>(), b["text"].get<std::string>()});
    EXPECT_TRUE(found.count({"code39", "P-XK4719203"})) << whole.dump();
    EXPECT_EQ(found.size(), 2u) << whole.dump();
}

TEST_F(Tool, ReadGivesTheBestLineOrEveryLine) {
    const Json zone =
        Json::parse(Run("mrz " + Quote(Sample("td3-passport.png")) + " --json").out)[0];
    // The zone's second line: the lower half of its corners.
    const Json& c = zone["corners"];
    const std::array<int, 4> box{int(c[0][0].get<float>()),
                                 int((c[0][1].get<float>() + c[3][1].get<float>()) / 2),
                                 int(c[1][0].get<float>()), int(c[2][1].get<float>())};
    const std::string rect = std::to_string(box[0] - 5) + "," + std::to_string(box[1] - 5) + "," +
                             std::to_string(box[2] + 5) + "," + std::to_string(box[3] + 5);
    const Result r = Run("read " + Quote(Sample("td3-passport.png")) + Patterns() + " --rect " +
                         rect + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const Json j = Json::parse(r.out)[0];
    ASSERT_EQ(j["lines"].size(), 1u);
    EXPECT_EQ(j["lines"][0]["text"], Facts()["td3-passport.png"]["mrz"][1]);
    EXPECT_EQ(j["lines"][0]["pitch"], 30);  // ten characters to the inch at 300 dpi
    EXPECT_GE(j["lines"][0]["score"].get<int>(), 78);
    EXPECT_EQ(j["objects"].size(), 44u);

    // Both zone lines with --all-lines; blanks by pitch with --spacing.
    const std::string both = std::to_string(box[0] - 5) + ",880," + std::to_string(box[2] + 5) +
                             "," + std::to_string(box[3] + 5);
    const Result all = Run("read " + Quote(Sample("td3-passport.png")) + Patterns() +
                           " --all-lines --rect " + both);
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_NE(all.out.find("line 1 (score"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find(Facts()["td3-passport.png"]["mrz"][0].get<std::string>()),
              std::string::npos);
    const Result spaced = Run("read " + Quote(Sample("td1-card.png")) + Patterns() +
                              " --rect 40,485,990,532 --spacing 15 --json");
    ASSERT_EQ(spaced.status, 0) << spaced.err;
    // A pitch of 30 is two steps of 15: a blank between every two characters.
    EXPECT_EQ(Json::parse(spaced.out)[0]["lines"][0]["text"].get<std::string>().substr(0, 5),
              "9 2 0");
}

TEST_F(Tool, InfoConvertAndFonts) {
    const Result info = Run("info " + Quote(Sample("td3-passport.png")) + " " +
                            Quote(Sample("td3-scan.jpg")) + " --json");
    ASSERT_EQ(info.status, 0) << info.err;
    const Json j = Json::parse(info.out);
    ASSERT_EQ(j.size(), 2u);
    EXPECT_EQ(j[0]["format"], "PNG");
    EXPECT_EQ(j[0]["width"], 1476);
    EXPECT_EQ(j[0]["height"], 1039);
    EXPECT_EQ(j[0]["pixel_format"], "8bppIndexed");
    EXPECT_EQ(j[0]["bits_per_pixel"], 8);
    EXPECT_NEAR(j[0]["resolution"][0].get<double>(), 300.0, 0.5);
    EXPECT_EQ(j[1]["format"], "JPEG");
    EXPECT_EQ(j[1]["pixel_format"], "24bppRGB");
    const Result plain = Run("info " + Quote(Sample("td1-card.png")));
    EXPECT_NE(plain.out.find("1011 x 638"), std::string::npos) << plain.out;

    // Conversions, checked by reading the results back.
    struct Case {
        std::string out, options, format, pixels;
    };
    for (const Case& c : {Case{"a.bmp", "--1bit", "BMP", "1bppIndexed"},
                          Case{"b.tif", "--1bit --tiff-compression ccitt4", "TIFF", "1bppIndexed"},
                          Case{"c.jpg", "--grey --quality 60", "JPEG", "8bppIndexed"},
                          Case{"d.png", "--24bit --invert", "PNG", "24bppRGB"},
                          Case{"e.gif", "--threshold 100", "GIF", "8bppIndexed"}}) {
        SCOPED_TRACE(c.out);
        const Result r = Run("convert " + Quote(Sample("td1-card.png")) + " " + Quote(Temp(c.out)) +
                             " " + c.options);
        ASSERT_EQ(r.status, 0) << r.err;
        const Json back = Json::parse(Run("info " + Quote(Temp(c.out)) + " --json").out)[0];
        EXPECT_EQ(back["format"], c.format);
        EXPECT_EQ(back["pixel_format"], c.pixels);
        EXPECT_EQ(back["width"], 1011);
    }
    // A quarter turn swaps width and height.
    ASSERT_EQ(
        Run("convert " + Quote(Sample("td1-card.png")) + " " + Quote(Temp("q.png")) + " --rotate 1")
            .status,
        0);
    EXPECT_EQ(Json::parse(Run("info " + Quote(Temp("q.png")) + " --json").out)[0]["width"], 638);

    const Result fonts = Run("fonts" + Patterns() + " --json");
    ASSERT_EQ(fonts.status, 0) << fonts.err;
    const Json f = Json::parse(fonts.out)["fonts"];
    ASSERT_FALSE(f.empty());
    bool ocrb = false;
    for (const Json& font : f) ocrb = ocrb || font["name"].get<std::string>().find("OCR") == 0;
    EXPECT_TRUE(ocrb) << fonts.out;
}

TEST_F(Tool, NothingReadGivesStatusOne) {
    // A white page: the threshold at 0 makes every pixel white.
    const std::string blank = Temp("blank.png");
    ASSERT_EQ(
        Run("convert " + Quote(Sample("td1-card.png")) + " " + Quote(blank) + " --threshold 0")
            .status,
        0);
    const Result mrz = Run("mrz " + Quote(blank));
    EXPECT_EQ(mrz.status, 1);
    EXPECT_NE(mrz.out.find("no machine-readable zone"), std::string::npos) << mrz.out;
    EXPECT_EQ(mrz.err, "");
    const Result json = Run("mrz " + Quote(blank) + " --json");
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(Json::parse(json.out)[0]["found"], false);
    EXPECT_EQ(Run("read " + Quote(blank) + Patterns()).status, 1);
    EXPECT_EQ(Run("barcode " + Quote(blank) + " --type code39").status, 1);
    // The card has no barcode.
    EXPECT_EQ(Run("barcode " + Quote(Sample("td1-card.png")) + " --type code128").status, 1);
}

TEST_F(Tool, EveryErrorIsOneLineWithStatusTwo) {
    const std::string card = Quote(Sample("td1-card.png"));
    ExpectError(Run("mrz " + Quote(Temp("missing.png"))), {"missing.png", "no such file"});
    const std::string text = Temp("notes.png");
    std::ofstream(text) << "not an image at all\n";
    ExpectError(Run("info " + Quote(text)), {"notes.png", "unrecognised image format"});
    // A PNG cut short after its first kilobyte.
    const std::string cut = Temp("cut.png");
    std::ofstream(cut, std::ios::binary) << ReadFile(Sample("td1-card.png")).substr(0, 1024);
    ExpectError(Run("mrz " + Quote(cut)), {"cut.png"});
    // A JPEG cut short is read as far as it goes, with the loader's warning.
    const std::string scan = ReadFile(Sample("td3-scan.jpg")), jpeg = Temp("cut.jpg");
    std::ofstream(jpeg, std::ios::binary) << scan.substr(0, scan.size() * 9 / 10);
    EXPECT_NE(Run("read " + Quote(jpeg) + " --json").out.find("\"warning\": \"the JPEG data ends"),
              std::string::npos);
    ExpectError(Run("read " + card + Patterns() + " --rect 1100,0,2000,10"),
                {"td1-card.png", "outside the image", "1011 x 638"});
    ExpectError(Run("barcode " + card + " --type code39 --rect 0,700,10,710"),
                {"outside the image"});
    ExpectError(Run("read " + card + Patterns() + " --rect 1,2,3"), {"--rect", "L,T,R,B"});
    ExpectError(Run("read " + card + " --patterns " + Quote(Temp("none.PAT"))),
                {"none.PAT", "no such pattern file"});
    // 21 font names in one file stop the loading.
    const std::string many = Temp("many.PAT");
    {
        std::ofstream f(many);
        for (int i = 0; i < 21; ++i) f << "FONT" << i << "\n";
    }
    ExpectError(Run("read " + card + " --patterns " + Quote(many)), {"many.PAT", "does not load"});
    // The zone reader's rectangle error names the file first.
    ExpectError(Run("mrz " + card + " --rect 5000,0,5100,10"),
                {"td1-card.png: the rectangle does not overlap the image"});
    ExpectError(Run("read " + card + Patterns() + " --font NOSUCHFONT"),
                {"no such font 'NOSUCHFONT'"});
    ExpectError(Run("read " + card + Patterns() + " --font-index 99"), {"no font of index 99"});
    // Command-line mistakes.
    ExpectError(Run("barcode " + card + " --type qr"), {"--type"});
    ExpectError(Run("read"), {"IMAGE"});
    ExpectError(Run("scan " + card), {});
    ExpectError(Run("convert " + card + " " + Quote(Temp("x.webp"))),
                {"x.webp", "unknown output format"});
    ExpectError(Run("convert " + card + " " + Quote(Temp("x.png")) + " --quality 50"), {"JPEG"});
    ExpectError(Run("convert " + card + " " + Quote(Temp("x.tif")) + " --tiff-compression ccitt4"),
                {"1-bit"});
    // One bad file among good ones: the others are still read, status 2.
    const Result mixed = Run("mrz " + Quote(Temp("missing.png")) + " " + card);
    ExpectError(mixed, {"missing.png"});
    EXPECT_NE(mixed.out.find("format TD1, valid"), std::string::npos) << mixed.out;
    // Help is no error.
    const Result help = Run("mrz --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--rect"), std::string::npos);
    // Options the zone reader never used are not listed, and old scripts
    // that pass them run with a note.
    EXPECT_EQ(help.out.find("--font"), std::string::npos);
    EXPECT_EQ(help.out.find("--threshold"), std::string::npos);
    const Result old = Run("mrz " + card + " --font NOPE --threshold 100");
    EXPECT_EQ(old.status, 0);
    EXPECT_NE(old.err.find("ignores --font"), std::string::npos) << old.err;
}

// ---- Every image a user has ----

// The grey levels of a sample, through the library's loader and grey view.
gw::GreyImage GreyOf(const std::string& path) {
    DVImageProcessor image;
    gw::LoadImageFile(path, image);
    return gw::ToGrey(image);
}

void Put(std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s += char(v >> (8 * i));
}

// A TIFF file of uncompressed 8-bit grey pages.
std::string TiffPages(const std::vector<gw::GreyImage>& pages) {
    std::string out("II*\0\0\0\0\0", 8);
    size_t link = 4;  // where the offset of the next directory goes
    for (const gw::GreyImage& g : pages) {
        const uint32_t data = uint32_t(out.size());
        out.append(g.pixels.begin(), g.pixels.end());
        if (out.size() % 2) out += '\0';
        const uint32_t dir = uint32_t(out.size());
        for (int i = 0; i < 4; ++i) out[link + size_t(i)] = char(dir >> (8 * i));
        const uint32_t entries[][3] = {
            {256, 4, g.width}, {257, 4, g.height}, {258, 3, 8},
            {259, 3, 1},       {262, 3, 1},        {273, 4, data},
            {277, 3, 1},       {278, 4, g.height}, {279, 4, uint32_t(g.pixels.size())}};
        Put(out, std::size(entries), 2);
        for (const auto& e : entries) {
            Put(out, e[0], 2), Put(out, e[1], 2), Put(out, 1, 4), Put(out, e[2], 4);
        }
        link = out.size();
        Put(out, 0, 4);
    }
    return out;
}

// (Palettes, 1-bit orders, JPEG marker layouts and the Exif turn are the
// loader's and the grey view's tests; the tool loads through them alone.)
TEST_F(Tool, UnicodeNamesStandardInputAndTiffPages) {
    const std::string unicode = Temp("\xC3\xBC-\xE6\x97\xA5\xE6\x9C\xAC.png");  // ü-日本.png
    const Result conv = Run("convert " + Quote(Sample("td1-card.png")) + " " + Quote(unicode));
    ASSERT_EQ(conv.status, 0) << conv.err;
    const Result info = Run("info " + Quote(unicode) + " --json");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(Json::parse(info.out)[0]["width"], 1011);
    EXPECT_EQ(Run("mrz " + Quote(unicode)).status, 0);

    const Result in = Run("mrz - --json < " + Quote(Sample("td1-card.png")));
    ASSERT_EQ(in.status, 0) << in.err;
    EXPECT_EQ(Json::parse(in.out)[0]["format"], "TD1");
    ExpectError(Run("info - < /dev/null"), {"-: ", "nothing came on standard input"});

    const std::string tiff = Temp("pages.tif");
    gw::GreyImage blank{8, 4, std::vector<uint8_t>(32, 255)};
    std::ofstream(tiff, std::ios::binary) << TiffPages({blank, GreyOf(Sample("td1-card.png"))});
    const Json pages = Json::parse(Run("info " + Quote(tiff) + " --json --page 2").out)[0];
    EXPECT_EQ(pages["pages"], 2);
    EXPECT_EQ(pages["width"], 1011);
    EXPECT_EQ(Run("mrz " + Quote(tiff)).status, 1);
    const Result two = Run("mrz " + Quote(tiff) + " --page 2 --json");
    ASSERT_EQ(two.status, 0) << two.err;
    EXPECT_EQ(Json::parse(two.out)[0]["format"], "TD1");
    ExpectError(Run("info " + Quote(tiff) + " --page 3"), {"pages.tif", "no page 3", "2 pages"});
    // Every page: one result per page, in page order, the page named; the
    // blank page's status (nothing read) is the worst, as a file's would be.
    const Result all = Run("mrz " + Quote(tiff) + " --page all --json");
    ASSERT_EQ(all.status, 1) << all.err;
    const Json each = Json::parse(all.out);
    ASSERT_EQ(each.size(), 2u);
    EXPECT_EQ(each[0]["page"], 1);
    EXPECT_EQ(each[0]["found"], false);
    EXPECT_EQ(each[1]["page"], 2);
    EXPECT_EQ(each[1]["format"], "TD1");
    ExpectError(Run("mrz " + Quote(tiff) + " --page none"), {"--page", "all"});
}

// ---- Messages and output ----

TEST_F(Tool, MessagesSayWhatIsWrongAndJsonStaysParsable) {
    const std::string card = Quote(Sample("td1-card.png"));
    ExpectError(Run("convert " + card + " " + Quote(Temp("no/such/folder/x.png"))),
                {"x.png", "does not exist"});

    // Usage errors in JSON too.
    const Result usage = Run("read " + card + " --bogus --json");
    ExpectError(usage, {"--bogus"});
    const Json u = Json::parse(usage.out);
    EXPECT_EQ(u["status"], 2);
    EXPECT_NE(u["error"].get<std::string>().find("--bogus"), std::string::npos);

    // A failed annotation leaves the reading in the output.
    const Result annotated =
        Run("mrz " + card + " --json --annotate " + Quote(Temp("no/such/folder/a.png")));
    ExpectError(annotated, {"a.png", "annotation not written", "does not exist"});
    const Json a = Json::parse(annotated.out)[0];
    EXPECT_EQ(a["format"], "TD1");
    EXPECT_NE(a["annotation_error"].get<std::string>().find("does not exist"), std::string::npos);

    // Short range messages, a mistyped command, options a command lacks.
    const Result spacing = Run("read " + card + " --spacing 0");
    ExpectError(spacing, {"--spacing", "1 or more"});
    EXPECT_LT(spacing.err.size(), 120u);
    ExpectError(Run("read " + card + " --holes -1"), {"--holes", "0 or more"});
    ExpectError(Run("scna " + card), {"unknown command 'scna'", "mrz"});
    ExpectError(Run("info " + card + " --annotate " + Quote(Temp("i.png"))), {"--annotate"});
    // A rectangle partly outside the image is read; outside parts are paper.
    const Result partly = Run("read " + card + Patterns() + " --rect 40,485,1500,532");
    EXPECT_EQ(partly.status, 0) << partly.err;
}

// ---- Batches ----

TEST_F(Tool, WorkerProcessesGiveTheResultsOfOneInInputOrder) {
    std::string files;
    for (int i = 0; i < 3; ++i)
        for (const char* s : {"td1-card.png", "td3-passport.png", "td3-scan.jpg"})
            files += " " + Quote(Sample(s));
    files += " " + Quote(Temp("missing.png"));
    const Result one = Run("mrz" + files + " --json --jobs 1");
    const Result two = Run("mrz" + files + " --json --jobs 3");
    EXPECT_EQ(one.status, 2);
    EXPECT_EQ(two.status, 2);
    EXPECT_EQ(one.out, two.out);
    EXPECT_EQ(one.err, two.err);
    const Result lines = Run("mrz" + files + " --jsonl --jobs 2");
    std::istringstream in(lines.out);
    const Json all = Json::parse(one.out);
    size_t n = 0;
    for (std::string line; std::getline(in, line); ++n) {
        ASSERT_LT(n, all.size());
        EXPECT_EQ(Json::parse(line), all[n]);
    }
    EXPECT_EQ(n, 10u);
    const Result plain1 = Run("mrz" + files + " --jobs 1");
    EXPECT_EQ(plain1.out, Run("mrz" + files + " --jobs 2").out);
}

}  // namespace

// A batch always finishes: a file that never ends (a named pipe no one
// writes) holds its worker past --timeout (3 s, well above a sample's read
// under the sanitizers on a busy machine); the worker is killed, that file
// reported as not read in time (status 3), and a new worker reads the rest.
TEST_F(Tool, BatchKillsAWorkerSilentPastTheDeadline) {
    const std::string stuck = Temp("stuck.png");
    ASSERT_EQ(mkfifo(stuck.c_str(), 0600), 0);
    const std::string zone = Quote(Sample("td3-passport.png"));
    const auto start = std::chrono::steady_clock::now();
    const Result r = Run("mrz " + zone + " " + Quote(stuck) + " " + zone + " " + zone + " " + zone +
                         Patterns() + " --jobs 2 --timeout 3 --json");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fs::remove(stuck);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_LT(seconds, 30);
    const Json all = Json::parse(r.out);
    ASSERT_EQ(all.size(), 5u) << r.out;
    for (size_t i = 0; i < all.size(); ++i) {
        if (i == 1) {
            EXPECT_EQ(all[i]["status"], 3);
            EXPECT_NE(all[i]["error"].get<std::string>().find("not read within 3 s"),
                      std::string::npos)
                << all[i];
        } else {
            // The file after the stuck one is read by the new worker.
            EXPECT_EQ(all[i]["status"], 0) << all[i];
        }
    }
    EXPECT_NE(r.err.find("stuck.png: not read within"), std::string::npos) << r.err;
}
