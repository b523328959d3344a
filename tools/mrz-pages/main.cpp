// mrz-pages: seeded sets of realistic pages with machine-readable zones (and
// pages without one), and the cells the reader cuts from them, which train
// the reader's cell classifier (tools/mrz-train).
//
//   mrz-pages make DIR COUNT [SEED] [SET]
//                                     pages DIR/page-NNNN.jpg and DIR/truth.jsonl;
//                                     SET "classic" (the default: the classic
//                                     degradations in turn), "all" (those and
//                                     the hard conditions in turn),
//                                     "checks-fail" (the pages of "all" with
//                                     one check digit of each zone printed
//                                     wrong), the name of one condition
//                                     (every page in it), "serif" or
//                                     "sans-unseen" (zones in faces no other
//                                     set holds), "tiny", "accent", "curved",
//                                     "glare", "shadow" or "motion" (outside
//                                     "all": see ExtraConditions), "combo" (two or three
//                                     conditions a page), or conditions
//                                     joined by '+' (every page in all of
//                                     them: "bold+blur")
//   mrz-pages cells OUT.bin COUNT [SEED] [SET]
//                                     the pages `make` would make, read through
//                                     JPEG and the reader's own find, turn and cut:
//                                     every cell of a line the cut reads in step
//                                     with its truth, as a record of its class,
//                                     its page's condition and its patch; with
//                                     recut, half the lines again on a cut
//                                     moved out of step by up to a quarter pitch
//                                     (and, in OUT.bin.places, the class of
//                                     each cell's place: letters, digits, ...,
//                                     and whether its zone was read through
//                                     texture, cut in a narrower shape, or in
//                                     small print)
//   mrz-pages classify CELLS.bin [scores]
//                                     each cell of a `cells` file read by the
//                                     reader's network: its class, condition,
//                                     the class read and its probability, a
//                                     line each (tools/mrz-train/rate-threshold.py);
//                                     with CELLS.bin.places, then the character
//                                     the reader takes at the cell's place and
//                                     its probability there (gw::mrz::ReadAt)
//                                     (sharpened for small print) and 1 for a
//                                     zone read through texture, 1 for one cut
//                                     in a narrower face's shape, 1 for small
//                                     print;
//                                     with scores, then all 37 probabilities
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <algorithm>

#include <opencv2/imgproc.hpp>

#include "DVImageProcessor.h"
#include "GlyphwickGrey.h"
#include "GlyphwickLoad.h"
#include "GlyphwickMrz.h"
#include "Pages.h"
#include "Zones.h"
#include "mrz/MrzClassify.h"
#include "mrz/MrzCut.h"
#include "mrz/MrzFind.h"
#include "mrz/MrzGrammar.h"
#include "mrz/MrzReader.h"

namespace {

using namespace mrzpages;
using gw::render::Random;

const char* kFont = "/usr/share/fonts/opentype/ocr-b/OCRB.otf";

// The plain monospace faces of the "mono" pages, taken in turn: zeros
// dotted, slashed and plain, slab and sans serifs (Debian's fonts-dejavu-core,
// fonts-liberation2, fonts-freefont-ttf, fonts-noto-mono, fonts-inconsolata,
// fonts-hack).
constexpr const char* kMonoFonts[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf",
    "/usr/share/fonts/truetype/freefont/FreeMono.ttf",
    "/usr/share/fonts/truetype/noto/NotoMono-Regular.ttf",
    "/usr/share/fonts/truetype/inconsolata/Inconsolata.otf",
    "/usr/share/fonts/truetype/hack/Hack-Regular.ttf",
};

// The sans-serif faces of the "sans" pages, regular and bold, taken in
// turn and set at a fixed pitch: faces of varying widths that some issuers
// print their zones in (same packages).
constexpr const char* kSansFonts[] = {
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "/usr/share/fonts/truetype/freefont/FreeSans.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/freefont/FreeSansBold.ttf",
};

// The faces of the "sans-unseen" pages, set as the sans ones: ten other
// sans-serif faces, DIN-like, humanist and condensed (fonts-dejavu-extra,
// fonts-opendin, fonts-roboto-unhinted, fonts-open-sans, fonts-b612,
// fonts-lato, fonts-urw-base35, fonts-cantarell), in no set the network
// learns from: how it reads a sans face it has not learnt.
constexpr const char* kSansUnseenFonts[] = {
    "/usr/share/fonts/truetype/opendin/OSP-DIN.ttf",
    "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf",
    "/usr/share/fonts/truetype/open-sans/OpenSans-Semibold.ttf",
    "/usr/share/fonts/opentype/b612/B612-Regular.otf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed.ttf",
    "/usr/share/fonts/truetype/lato/Lato-Bold.ttf",
    "/usr/share/fonts/opentype/urw-base35/NimbusSansNarrow-Regular.otf",
    "/usr/share/fonts/truetype/roboto/unhinted/RobotoCondensed-Bold.ttf",
    "/usr/share/fonts/opentype/cantarell/Cantarell-Regular.otf",
    "/usr/share/fonts/truetype/open-sans/OpenSans-CondLight.ttf",
};

// The serif faces of the "serif" pages, set as the sans ones: faces that
// no set the network learns from holds ("serif" is not in "all"), to
// measure how it reads a face it has never seen.
constexpr const char* kSerifFonts[] = {
    "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf",
    "/usr/share/fonts/truetype/freefont/FreeSerif.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSerif-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf",
    "/usr/share/fonts/truetype/freefont/FreeSerifBold.ttf",
};

// The faces of a list, all of them or none (each is a package of
// scripts/install-deps): a set must not change with what happens to be
// installed.
template <size_t N>
std::vector<std::unique_ptr<gw::render::TextRenderer>> FacesOf(const char* const (&paths)[N]) {
    std::vector<std::unique_ptr<gw::render::TextRenderer>> faces;
    for (const char* path : paths) {
        faces.push_back(std::make_unique<gw::render::TextRenderer>(path));
        if (!faces.back()->Valid()) {
            std::fprintf(stderr, "mrz-pages: no font %s\n", path);
            return {};
        }
    }
    return faces;
}
using Faces = std::vector<std::unique_ptr<gw::render::TextRenderer>>;

// The faces other than OCR-B that pages draw zones in.
struct OtherFaces {
    Faces mono = FacesOf(kMonoFonts), sans = FacesOf(kSansFonts), serif = FacesOf(kSerifFonts),
          sansUnseen = FacesOf(kSansUnseenFonts);
    bool Valid() const {
        return !mono.empty() && !sans.empty() && !serif.empty() && !sansUnseen.empty();
    }
};

// The conditions of a set of pages, one per page in turn (none when set
// names no set and no condition).
std::vector<std::string> Kinds(const std::string& set) {
    if (set == "classic") return Degradations();
    std::vector<std::string> kinds = Degradations();
    for (const std::string& k : HardConditions()) kinds.push_back(k);
    if (set == "all" || set == "checks-fail") return kinds;
    if (std::find(kinds.begin(), kinds.end(), set) != kinds.end()) return {set};
    if (set == "serif" || set == "sans-unseen") return {set};  // measured, never learnt from
    const auto& extra = ExtraConditions();
    if (std::find(extra.begin(), extra.end(), set) != extra.end()) return {set};
    if (set == "combo") return {set};  // two or three conditions a page, drawn per page
    // Conditions joined by '+': every page in all of them.
    if (set.find('+') == std::string::npos) return {};
    for (const std::string& part : Conditions(set))
        if (std::find(kinds.begin(), kinds.end(), part) == kinds.end() || !HasZone(part)) return {};
    return {set};
}

// Two or three of the conditions of pages with a zone, joined by '+' (at
// most one other face; "clean" adds nothing).
std::string Combination(Random& rng) {
    std::vector<std::string> pool;
    for (const auto* list : {&Degradations(), &HardConditions()})
        for (const std::string& k : *list)
            if (HasZone(k) && k != "clean") pool.push_back(k);
    const size_t count = rng.Uniform() < 0.5 ? 2 : 3;
    std::vector<std::string> chosen;
    while (chosen.size() < count) {
        const std::string& k = pool[size_t(rng.Uniform() * double(pool.size())) % pool.size()];
        const bool face = k == "mono" || k == "sans";
        if (std::find(chosen.begin(), chosen.end(), k) != chosen.end()) continue;
        if (face && std::any_of(chosen.begin(), chosen.end(),
                                [](const std::string& c) { return c == "mono" || c == "sans"; }))
            continue;
        chosen.push_back(k);
    }
    std::string out;
    for (const std::string& k : chosen) out += (out.empty() ? "" : "+") + k;
    return out;
}

// In a cells dump's .places file, the bit set beside the place's class (a
// gw::mrz::Cls) when the cell's zone was read in a pass through texture.
constexpr char kThroughTexture = 0x40;
// ... this one when its zone was cut in a narrower face's shape, and this
// one when it was small print (its probabilities sharpened as the reader
// sharpens them).
constexpr char kNarrow = 0x20;
constexpr char kSmall = 0x10;

// The check digits of a zone of format (line, column) that may be printed
// wrong: the number's, the dates' and the composite, where the format has
// one. (A TD3's personal number check may stand as a filler; it is left.)
std::vector<std::pair<size_t, size_t>> CheckDigits(const std::string& format) {
    if (format == "TD1") return {{0, 14}, {1, 6}, {1, 14}, {1, 29}};
    if (format == "TD2") return {{1, 9}, {1, 19}, {1, 27}, {1, 35}};
    if (format == "TD3") return {{1, 9}, {1, 19}, {1, 27}, {1, 43}};
    return {{1, 9}, {1, 19}, {1, 27}};  // MRV-A, MRV-B
}

// Prints one check digit of zone wrong: another digit in its place, so that
// its check (and the composite over it) fails, as on documents issued with
// a wrong digit.
void PrintOneCheckWrong(Zone& zone, Random& rng) {
    const auto checks = CheckDigits(zone.format);
    const auto [line, column] =
        checks[size_t(rng.Uniform() * double(checks.size())) % checks.size()];
    char& c = zone.lines[line][column];
    const int was = c >= '0' && c <= '9' ? c - '0' : 0;
    c = char('0' + (was + 1 + int(rng.Uniform() * 9) % 9) % 10);
}

// Page i of a set: its zone (format "none" and no lines on a page without
// one), the page, and its condition.
struct Made {
    Zone zone;
    Page page;
    std::string kind;
    uint64_t seed = 0;
    bool checksFail = false;
};

Made MakeOne(const gw::render::TextRenderer& font, const OtherFaces& others,
             const std::vector<std::string>& kinds, int i, uint64_t seed, bool checksFail) {
    Made m;
    Random rng(seed * 1000003u + uint64_t(i));
    m.kind = kinds[size_t(i) % kinds.size()];
    if (m.kind == "combo") {
        Random combo(seed * 1000039u + uint64_t(i));
        m.kind = Combination(combo);
    }
    const Faces* faces = HasCondition(m.kind, "mono")          ? &others.mono
                         : HasCondition(m.kind, "sans")        ? &others.sans
                         : HasCondition(m.kind, "serif")       ? &others.serif
                         : HasCondition(m.kind, "sans-unseen") ? &others.sansUnseen
                                                               : nullptr;
    const gw::render::TextRenderer* face =
        faces ? (*faces)[(size_t(i) / kinds.size()) % faces->size()].get() : nullptr;
    Random lookAlikes(seed * 1000033u + uint64_t(i));
    m.zone = RandomZone(rng, HasCondition(m.kind, "lookalike") ? &lookAlikes : nullptr);
    if (checksFail) {
        Random wrong(seed * 1000037u + uint64_t(i));
        PrintOneCheckWrong(m.zone, wrong);
    }
    m.seed = seed * 7919u + uint64_t(i);
    m.page = MakePage(font, m.zone, m.seed, m.kind, face);
    m.checksFail = checksFail && m.page.hasZone;
    if (!m.page.hasZone) m.zone = Zone{"none", {}};
    return m;
}

int Make(const std::string& dir, int count, uint64_t seed, const std::string& set) {
    gw::render::TextRenderer font(kFont);
    if (!font.Valid()) return std::fprintf(stderr, "mrz-pages: no OCR-B font\n"), 2;
    const OtherFaces others;
    if (!others.Valid()) return 2;
    std::filesystem::create_directories(dir);
    std::ofstream truth(dir + "/truth.jsonl");
    const auto kinds = Kinds(set);
    for (int i = 0; i < count; ++i) {
        const Made m = MakeOne(font, others, kinds, i, seed, set == "checks-fail");
        const Zone& zone = m.zone;
        const Page& page = m.page;
        char name[32];
        std::snprintf(name, sizeof name, "page-%04d.jpg", i);
        if (!WriteJpeg(dir + "/" + name, page.bgr, page.quality)) return 2;
        truth << "{\"file\": \"" << name << "\", \"format\": \"" << zone.format
              << "\", \"lines\": [";
        for (size_t l = 0; l < zone.lines.size(); ++l)
            truth << (l ? ", " : "") << "\"" << zone.lines[l] << "\"";
        truth << "], \"rotation\": " << page.rotation
              << ", \"mirrored\": " << (page.mirrored ? "true" : "false")
              << ", \"checks_fail\": " << (m.checksFail ? "true" : "false")
              << ", \"degradation\": \"" << m.kind << "\", \"char_height\": " << page.charHeight
              << ", \"jpeg_quality\": " << page.quality;
        if (set != "classic") truth << ", \"seed\": " << m.seed;
        truth << "}\n";
    }
    return 0;
}

// The share of characters of reading that match truth line by line (0 when
// the shapes differ).
double Agreement(const std::vector<std::string>& reading, const std::vector<std::string>& truth) {
    if (reading.size() != truth.size()) return 0;
    size_t same = 0, all = 0;
    for (size_t l = 0; l < truth.size(); ++l) {
        if (reading[l].size() != truth[l].size()) return 0;
        for (size_t c = 0; c < truth[l].size(); ++c) same += reading[l][c] == truth[l][c];
        all += truth[l].size();
    }
    return all ? double(same) / double(all) : 0;
}

int Cells(const std::string& out, int count, uint64_t seed, const std::string& set, bool recut) {
    using namespace gw::mrz;
    gw::render::TextRenderer font(kFont);
    const OtherFaces others;
    if (!font.Valid() || !others.Valid()) return std::fprintf(stderr, "mrz-pages: no fonts\n"), 2;
    std::ofstream f(out, std::ios::binary), places(out + ".places", std::ios::binary);
    if (!f || !places) return std::fprintf(stderr, "mrz-pages: cannot write %s\n", out.c_str()), 2;
    const auto kinds = Kinds(set);
    // A line whose reading agrees with its truth on this share of its
    // characters is taken to be cut in step with it.
    constexpr double kInStep = 0.75;
    // A share kRecutShare of the lines cut in step is written again with
    // its first cell moved by up to kRecutShift pitches either way and its
    // pitch changed by up to kRecutDrift pitches over the line; cells moved
    // more than kRecutShift in all are left out. A third of a pitch is where
    // a cell starts to hold more of its neighbour than of its character.
    constexpr double kRecutShare = 0.5;
    constexpr double kRecutShift = 0.25;
    constexpr double kRecutDrift = 0.3;
    gw::render::Random jitter(seed ^ 0x6a09e667f3bcc908ull);
    const auto all = Kinds("all");
    int zones = 0, taken = 0;
    long cells = 0;
    for (int i = 0; i < count; ++i) {
        const Made m = MakeOne(font, others, kinds, i, seed, set == "checks-fail");
        if (!m.page.hasZone) continue;
        ++zones;
        std::vector<uint8_t> jpeg;
        DVImageProcessor image;
        if (!EncodeJpeg(m.page.bgr, m.page.quality, jpeg) ||
            gw::LoadImageMemory(jpeg.data(), jpeg.size(), image).status != gw::kLoaded)
            return std::fprintf(stderr, "mrz-pages: page %d does not load\n", i), 2;
        gw::GreyImage g = gw::ToGrey(image, kPageGrey);
        const cv::Mat page(int(g.height), int(g.width), CV_8U, g.pixels.data());
        // A zone in coloured ink is read from the page's middle channel, as
        // the reader reads it.
        const cv::Mat colour = gw::mrz::ColourPixels(image.GetBitmap());
        cv::Mat middle;
        DecodeLimits limits;
        UprightReading best;
        gw::mrz::Upright bestUp;
        double bestAgree = 0;
        // The reader's passes, each look made once.
        const FinderPage look = LookAt(page);
        FinderPage textureless;
        for (const FinderPass& pass : kFinderPasses) {
            if (pass.throughTexture && textureless.ink.empty())
                textureless = LookThroughTexture(page);
            for (const ZoneCandidate& z :
                 FindZones(pass.throughTexture ? textureless : look, 6, pass.turned, pass.tilt))
                for (gw::mrz::Upright u; const bool around : {false, true}) {
                    u = around ? gw::mrz::TurnAround(u, pass.throughTexture)
                               : gw::mrz::TurnPlace(page, colour, middle, z, pass);
                    UprightReading r = ReadUpright(u, pass.throughTexture, {limits});
                    const double a = Agreement(r.result.lines, m.zone.lines);
                    if (a > bestAgree && r.cuts.size() == m.zone.lines.size())
                        bestAgree = a, best = std::move(r), bestUp = u;
                    if (bestAgree == 1.0) break;
                }
            if (bestAgree == 1.0) break;
        }
        if (bestAgree == 0) continue;
        ++taken;
        const auto kind = uint8_t(std::find(all.begin(), all.end(), m.kind) - all.begin());
        const auto classes = gw::mrz::PositionClasses(m.zone.format);
        if (classes.size() != m.zone.lines.size())
            return std::fprintf(stderr, "mrz-pages: no places for format %s\n",
                                m.zone.format.c_str()),
                   2;
        auto write = [&](const CutLine& cut, size_t l, size_t c) {
            const uint8_t head[2] = {uint8_t(ClassOf(m.zone.lines[l][c])), kind};
            f.write(reinterpret_cast<const char*>(head), 2);
            f.write(reinterpret_cast<const char*>(cut.cells[c].data()),
                    std::streamsize(cut.cells[c].size()));
            places.put(char(int(classes[l][c]) | (best.throughTexture ? kThroughTexture : 0) |
                            (best.narrow ? kNarrow : 0) | (best.small ? kSmall : 0)));
            ++cells;
        };
        for (size_t l = 0; l < m.zone.lines.size(); ++l) {
            const std::string& want = m.zone.lines[l];
            const std::string& got = best.result.lines[l];
            size_t same = 0;
            for (size_t c = 0; c < want.size(); ++c) same += want[c] == got[c];
            if (double(same) < kInStep * double(want.size())) continue;
            for (size_t c = 0; c < want.size(); ++c) write(best.cuts[l], l, c);
            // Some lines again on a cut out of step with the print, as a
            // strong keystone or a merged character leaves it: the network
            // learns the character, not where the cut put it.
            if (!recut || jitter.Uniform() >= kRecutShare || l >= best.lines.size()) continue;
            CutLine off = best.cuts[l];
            const float shift = float(kRecutShift * (2 * jitter.Uniform() - 1));
            const float drift =
                float(kRecutDrift * (2 * jitter.Uniform() - 1)) / float(want.size());
            off.left += shift * off.pitch;
            off.pitch *= 1 + drift;
            if (!RecutCells(bestUp.grey, bestUp.ink, best.lines[l], int(want.size()), off,
                            best.throughTexture))
                continue;
            for (size_t c = 0; c < want.size(); ++c) {
                const float at = off.Edge(int(c), int(want.size())) -
                                 best.cuts[l].Edge(int(c), int(want.size()));
                if (std::abs(at) <= kRecutShift * off.pitch) write(off, l, c);
            }
        }
        if ((i + 1) % 200 == 0)
            std::fprintf(stderr, "mrz-pages: %d pages, %d of %d zones cut, %ld cells\n", i + 1,
                         taken, zones, cells);
    }
    std::fprintf(stderr, "mrz-pages: %d of %d zones cut in step, %ld cells\n", taken, zones, cells);
    return f && places ? 0 : 2;
}

int Classify(const std::string& in, bool all) {
    using namespace gw::mrz;
    std::ifstream f(in, std::ios::binary);
    if (!f) return std::fprintf(stderr, "mrz-pages: cannot read %s\n", in.c_str()), 2;
    std::vector<uint8_t> heads;
    std::vector<Patch> cells;
    uint8_t head[2];
    Patch p;
    while (f.read(reinterpret_cast<char*>(head), 2) &&
           f.read(reinterpret_cast<char*>(p.data()), std::streamsize(p.size()))) {
        heads.insert(heads.end(), head, head + 2);
        cells.push_back(p);
    }
    // The class of each cell's place in its zone, where the dump wrote them.
    std::ifstream at(in + ".places", std::ios::binary);
    std::vector<char> places((std::istreambuf_iterator<char>(at)),
                             std::istreambuf_iterator<char>());
    if (!places.empty() && places.size() != cells.size())
        return std::fprintf(stderr, "mrz-pages: %s.places does not match its cells\n", in.c_str()),
               2;
    const std::vector<Scores> scores = ClassifyCells(cells.data(), cells.size());
    for (size_t i = 0; i < scores.size(); ++i) {
        const auto best = std::max_element(scores[i].begin(), scores[i].end());
        std::printf("%d %d %d %.9g", heads[2 * i], heads[2 * i + 1], int(best - scores[i].begin()),
                    double(*best));
        if (!places.empty()) {
            Scores asRead = scores[i];
            if (places[i] & kSmall) SharpenSmall(asRead);
            const auto [c, p] =
                ReadAt(asRead, Cls(places[i] & ~(kThroughTexture | kNarrow | kSmall)));
            std::printf(" %d %.9g %d %d %d", ClassOf(c), double(p),
                        (places[i] & kThroughTexture) ? 1 : 0, (places[i] & kNarrow) ? 1 : 0,
                        (places[i] & kSmall) ? 1 : 0);
        }
        if (all)
            for (float v : scores[i]) std::printf(" %.9g", double(v));
        std::printf("\n");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "classify" && (argc == 3 || (argc == 4 && std::string(argv[3]) == "scores")))
        return Classify(argv[2], argc == 4);
    const uint64_t seed = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1;
    const std::string set = argc > 5 ? argv[5] : "classic";
    if (Kinds(set).empty())
        return std::fprintf(stderr,
                            "mrz-pages: SET is classic, all, checks-fail, combo, one condition or "
                            "conditions joined by +\n"),
               2;
    if (cmd == "make" && argc >= 4) return Make(argv[2], std::atoi(argv[3]), seed, set);
    const bool recut = argc > 6 && std::string(argv[6]) == "recut";
    if (cmd == "cells" && argc >= 4) return Cells(argv[2], std::atoi(argv[3]), seed, set, recut);
    std::fprintf(stderr,
                 "usage: mrz-pages make DIR COUNT [SEED] [SET] | cells OUT.bin COUNT [SEED] [SET] "
                 "[recut] | classify CELLS.bin [scores]\n");
    return 2;
}
