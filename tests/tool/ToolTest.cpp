// The glyphwick tool run as a user runs it: every command on the bundled
// samples, the JSON output parsed back, and every error path with its exit
// status and its one-line message.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

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
        const Result r = Run("mrz " + Quote(Sample(name)) + Patterns() + " --json");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const Json j = Json::parse(r.out);
        ASSERT_EQ(j.size(), 1u);
        EXPECT_EQ(j[0]["file"], Sample(name));
        EXPECT_EQ(j[0]["found"], true);
        EXPECT_EQ(j[0]["valid"], true);
        EXPECT_EQ(j[0]["upside_down"], false);
        EXPECT_EQ(j[0]["format"], fact["format"]);
        EXPECT_EQ(j[0]["lines"], fact["mrz"]);
        EXPECT_TRUE(j[0]["corrections"].empty());
        for (const auto& [field, f] : j[0]["fields"].items()) {
            if (f.contains("valid")) {
                EXPECT_EQ(f["valid"], true) << field;
            }
        }
        // The plain form says the same.
        const Result plain = Run("mrz " + Quote(Sample(name)) + Patterns());
        EXPECT_EQ(plain.status, 0);
        EXPECT_NE(plain.out.find("format " + fact["format"].get<std::string>() + ", valid"),
                  std::string::npos)
            << plain.out;
        for (const auto& line : fact["mrz"])
            EXPECT_NE(plain.out.find(line.get<std::string>()), std::string::npos);
    }
    const Json td3 = Json::parse(
        Run("mrz " + Quote(Sample("td3-passport.png")) + Patterns() + " --json").out)[0];
    EXPECT_EQ(td3["fields"]["surname"]["value"], "HALVORSEN");
    EXPECT_EQ(td3["fields"]["given_names"]["value"], "MARIT ELISE");
    EXPECT_EQ(td3["fields"]["document_number"]["value"], "XK4719203");
    EXPECT_EQ(td3["fields"]["birth_date"]["value"], "840312");
    EXPECT_EQ(td3["fields"]["composite"]["check"], "6");
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
    EXPECT_EQ(j[0]["upside_down"], true);
    EXPECT_EQ(j[0]["valid"], true);
    EXPECT_EQ(j[0]["lines"], Facts()["td1-card.png"]["mrz"]);
    EXPECT_EQ(j[1]["format"], "TD3");
    // Boxes of the turned card in its own pixels: the zone is at its top.
    EXPECT_LT(j[0]["boxes"][2][3].get<int>(), 638 / 2);
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
        EXPECT_EQ(j["type"], "code128");
        bool found = false;
        for (const Json& b : j["barcodes"]) {
            if (b["read"] != true) continue;
            found = true;
            EXPECT_EQ(b["human"], facts[name]["code128"]);
            EXPECT_EQ(b["result"], 0);
            EXPECT_EQ(b["gs1"], false);
            EXPECT_GE(b["values"].size(), 3u);  // start, data, check
        }
        EXPECT_TRUE(found);

        const Result c39 = Run("barcode " + Quote(Sample(name)) + " --type code39 --json");
        ASSERT_EQ(c39.status, 0) << c39.err << c39.out;
        found = false;
        const Json c39json = Json::parse(c39.out);
        for (const Json& b : c39json[0]["barcodes"]) {
            if (b["read"] == true) {
                EXPECT_EQ(b["text"], facts[name]["code39"]);
                found = true;
            }
        }
        EXPECT_TRUE(found);
    }
    // With a rectangle only that rectangle is read; a rectangle without a
    // barcode reads nothing (status 1).
    const Result none =
        Run("barcode " + Quote(Sample("td1-card.png")) + " --type code128 --rect 10,10,400,100");
    EXPECT_EQ(none.status, 1) << none.err;
    EXPECT_NE(none.out.find("result"), std::string::npos);
    const Result plain = Run("barcode " + Quote(Sample("td3-passport.png")) + " --type code39");
    EXPECT_EQ(plain.status, 0);
    EXPECT_NE(plain.out.find("\"P-XK4719203\""), std::string::npos) << plain.out;
}

TEST_F(Tool, ReadGivesTheBestLineOrEveryLine) {
    const Json zone = Json::parse(
        Run("mrz " + Quote(Sample("td3-passport.png")) + Patterns() + " --json").out)[0];
    const auto& box = zone["boxes"][1];
    const std::string rect =
        std::to_string(box[0].get<int>() - 5) + "," + std::to_string(box[1].get<int>() - 5) + "," +
        std::to_string(box[2].get<int>() + 5) + "," + std::to_string(box[3].get<int>() + 5);
    const Result r = Run("read " + Quote(Sample("td3-passport.png")) + Patterns() + " --rect " +
                         rect + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const Json j = Json::parse(r.out)[0];
    ASSERT_EQ(j["lines"].size(), 1u);
    EXPECT_EQ(j["lines"][0]["text"], Facts()["td3-passport.png"]["mrz"][1]);
    EXPECT_EQ(j["lines"][0]["pitch"], 30);  // ten characters to the inch at 300 dpi
    EXPECT_GE(j["lines"][0]["score"].get<int>(), 78);
    EXPECT_EQ(j["objects"], 44);

    // Both zone lines with --all-lines; blanks by pitch with --spacing.
    const std::string both = std::to_string(box[0].get<int>() - 5) + ",880," +
                             std::to_string(box[2].get<int>() + 5) + "," +
                             std::to_string(box[3].get<int>() + 5);
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
    const Result mrz = Run("mrz " + Quote(blank) + Patterns());
    EXPECT_EQ(mrz.status, 1);
    EXPECT_NE(mrz.out.find("no machine-readable zone"), std::string::npos) << mrz.out;
    EXPECT_EQ(mrz.err, "");
    const Result json = Run("mrz " + Quote(blank) + Patterns() + " --json");
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(Json::parse(json.out)[0]["found"], false);
    EXPECT_EQ(Run("read " + Quote(blank) + Patterns()).status, 1);
    EXPECT_EQ(Run("barcode " + Quote(blank) + " --type code39").status, 1);
    // The card has no barcode.
    EXPECT_EQ(Run("barcode " + Quote(Sample("td1-card.png")) + " --type code128").status, 1);
}

TEST_F(Tool, EveryErrorIsOneLineWithStatusTwo) {
    const std::string card = Quote(Sample("td1-card.png"));
    ExpectError(Run("mrz " + Quote(Temp("missing.png")) + Patterns()),
                {"missing.png", "no such file"});
    const std::string text = Temp("notes.png");
    std::ofstream(text) << "not an image at all\n";
    ExpectError(Run("info " + Quote(text)), {"notes.png", "unrecognised image format"});
    // A PNG cut short after its first kilobyte.
    const std::string cut = Temp("cut.png");
    std::ofstream(cut, std::ios::binary) << ReadFile(Sample("td1-card.png")).substr(0, 1024);
    ExpectError(Run("mrz " + Quote(cut) + Patterns()), {"cut.png"});
    ExpectError(Run("read " + card + Patterns() + " --rect 0,0,2000,10"),
                {"td1-card.png", "outside the image", "1011 x 638"});
    ExpectError(Run("barcode " + card + " --type code39 --rect 0,700,10,710"),
                {"outside the image"});
    ExpectError(Run("read " + card + Patterns() + " --rect 1,2,3"), {"--rect", "L,T,R,B"});
    ExpectError(Run("read " + card + Patterns() + " --rect 9,2,3,4"), {"--rect"});
    ExpectError(Run("read " + card + Patterns() + " --min 2"), {"--min", "W,H"});
    ExpectError(Run("read " + card + " --patterns " + Quote(Temp("none.PAT"))),
                {"none.PAT", "no such pattern file"});
    // 21 font names in one file stop the loading.
    const std::string many = Temp("many.PAT");
    {
        std::ofstream f(many);
        for (int i = 0; i < 21; ++i) f << "FONT" << i << "\n";
    }
    ExpectError(Run("mrz " + card + " --patterns " + Quote(many)), {"many.PAT", "does not load"});
    ExpectError(Run("read " + card + Patterns() + " --font NOSUCHFONT"),
                {"no such font 'NOSUCHFONT'"});
    ExpectError(Run("read " + card + Patterns() + " --font-index 99"), {"no font of index 99"});
    // Command-line mistakes.
    ExpectError(Run("barcode " + card), {"--type"});
    ExpectError(Run("barcode " + card + " --type qr"), {"--type"});
    ExpectError(Run("read"), {"IMAGE"});
    ExpectError(Run("scan " + card), {});
    ExpectError(Run("read " + card + " --bogus"), {"--bogus"});
    ExpectError(Run("convert " + card + " " + Quote(Temp("x.webp"))),
                {"x.webp", "unknown output format"});
    ExpectError(Run("convert " + card + " " + Quote(Temp("x.png")) + " --quality 50"), {"JPEG"});
    ExpectError(Run("convert " + card + " " + Quote(Temp("x.tif")) + " --tiff-compression ccitt4"),
                {"1-bit"});
    // One bad file among good ones: the others are still read, status 2.
    const Result mixed = Run("mrz " + Quote(Temp("missing.png")) + " " + card + Patterns());
    ExpectError(mixed, {"missing.png"});
    EXPECT_NE(mixed.out.find("format TD1, valid"), std::string::npos) << mixed.out;
    // Help is no error.
    const Result help = Run("mrz --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--rect"), std::string::npos);
}

}  // namespace
