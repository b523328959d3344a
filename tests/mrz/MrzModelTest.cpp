// The trained cell classifier: it reads OCR-B cells drawn with FreeType and
// cut by the reader's own cut, its probabilities add up, and its validity
// threshold is the calibrated one, whichever way the network is run.
// (Readers on several threads: tests/threads.)
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "TextRender.h"
#include "mrz/MrzClassify.h"
#include "mrz/MrzCut.h"

namespace {

using namespace gw::mrz;

const char* kOcrB = "/usr/share/fonts/opentype/ocr-b/OCRB.otf";

// A zone of every character: the lines of a TD1 card's layout, upright, at
// the reader's working height.
const std::vector<std::string> kZone = {"I<UTOD231458907ABCDEFGHIJKLMNO",
                                        "7408122F1204159UTO<<<<<<<<<<<6",
                                        "PQRSTUVWXYZ<<ERIKSSON<<ANNA<<<"};

// The upright grey image of lines drawn with v, lines 1.9 capital heights apart.
cv::Mat Draw(const gw::render::TextRenderer& font, const std::vector<std::string>& lines,
             const gw::render::Variation& v) {
    const int step = int(std::lround(v.capHeight * 1.9));
    std::vector<cv::Mat> drawn;
    int width = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        gw::render::Variation lv = v;
        lv.seed = v.seed * 31 + i;
        const gw::render::GreyImage g = font.RenderLine(lines[i], lv, v.capHeight);
        drawn.emplace_back(g.height, g.width, CV_8U, const_cast<uint8_t*>(g.pixels.data()));
        drawn.back() = drawn.back().clone();
        width = std::max(width, g.width);
    }
    cv::Mat out(drawn[0].rows + step * int(lines.size() - 1), width, CV_8U, cv::Scalar(255));
    for (size_t i = 0; i < drawn.size(); ++i) {
        cv::Mat place = out(cv::Rect(0, step * int(i), drawn[i].cols, drawn[i].rows));
        cv::min(place, drawn[i], place);
    }
    return out;
}

// The cells of lines drawn with v, cut as the reader cuts; false when the
// cut does not find the lines.
bool CutCells(const gw::render::TextRenderer& font, const std::vector<std::string>& lines,
              const gw::render::Variation& v, std::vector<Patch>& cells) {
    const cv::Mat grey = Draw(font, lines, v);
    const cv::Mat ink = InkOf(grey);
    for (const auto& set : FindLineSets(ink)) {
        if (set.size() != lines.size()) continue;
        cells.clear();
        for (size_t l = 0; l < set.size(); ++l) {
            CutLine cut;
            if (!CutLineCells(grey, ink, set[l], int(lines[l].size()), cut)) return false;
            cells.insert(cells.end(), cut.cells.begin(), cut.cells.end());
        }
        return true;
    }
    return false;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l;
    return s;
}

// Cells sampled again at a cut's own edges are its cells, byte for byte
// (the training cells cut out of step rely on it), and so is each cell
// sampled alone (the reader samples only the cells it reads); a pitch
// further on, each cell holds the next character.
TEST(MrzModel, CellsSampledAgainFollowTheirEdges) {
    gw::render::TextRenderer font(kOcrB);
    ASSERT_TRUE(font.Valid()) << "fonts-ocr-b is not installed";
    gw::render::Variation v;
    v.capHeight = 28;
    v.blur = 0.5;
    v.noise = 2;
    v.seed = 9;
    const cv::Mat grey = Draw(font, kZone, v);
    const cv::Mat ink = InkOf(grey);
    const auto sets = FindLineSets(ink);
    ASSERT_FALSE(sets.empty());
    ASSERT_EQ(sets[0].size(), kZone.size());
    for (size_t l = 0; l < kZone.size(); ++l) {
        const int n = int(kZone[l].size());
        CutLine cut;
        ASSERT_TRUE(CutLineCells(grey, ink, sets[0][l], n, cut));
        CutLine again = cut;
        again.cells.clear();
        ASSERT_TRUE(RecutCells(grey, ink, sets[0][l], n, again));
        EXPECT_TRUE(again.cells == cut.cells) << "line " << l;
        // Sampled one at a time, in any order, each cell is the one sampled
        // with the rest.
        const LineLevels levels = LevelsOfLine(grey, InkAcross(ink, sets[0][l]), sets[0][l], n);
        for (int i = n - 1; i >= 0; --i) {
            Patch alone{};
            SampleCutCell(grey, sets[0][l], levels, n, cut, i, alone);
            EXPECT_TRUE(alone == cut.cells[size_t(i)]) << "line " << l << " cell " << i;
        }

        CutLine on = cut;
        on.left = cut.Edge(1, n);
        ASSERT_TRUE(RecutCells(grey, ink, sets[0][l], n, on));
        const std::vector<Scores> scores = ClassifyCells(on.cells.data(), on.cells.size());
        int wrong = 0;
        for (int i = 0; i + 1 < n; ++i) {
            const Scores& s = scores[size_t(i)];
            wrong += kAlphabet[std::max_element(s.begin(), s.end()) - s.begin()] !=
                     kZone[l][size_t(i + 1)];
        }
        EXPECT_LE(wrong, 1) << "line " << l << " a pitch on";
    }
}

TEST(MrzModel, ReadsEveryCharacterOfDrawnZonesInEveryWeight) {
    gw::render::TextRenderer font(kOcrB);
    ASSERT_TRUE(font.Valid()) << "fonts-ocr-b is not installed";
    const std::string truth = Joined(kZone);
    std::string seen;
    for (char c : truth)
        if (seen.find(c) == std::string::npos) seen += c;
    ASSERT_EQ(seen.size(), size_t(kClasses)) << "the zone holds every character";
    struct Print {
        const char* name;
        double embolden, blur, noise;
        int capHeight;
    };
    const Print prints[] = {{"plain", 0, 0, 0, 28},     {"bold", 1.2, 0.4, 3, 27},
                            {"thin", -0.6, 0.3, 3, 29}, {"blurred", 0, 1.2, 4, 28},
                            {"small", 0.3, 0.8, 2, 25}, {"large", 0, 0.5, 2, 31}};
    for (const Print& p : prints) {
        SCOPED_TRACE(p.name);
        gw::render::Variation v;
        v.capHeight = p.capHeight;
        v.embolden = p.embolden;
        v.blur = p.blur;
        v.noise = p.noise;
        v.offsetX = 0.3;
        v.seed = 5;
        std::vector<Patch> cells;
        ASSERT_TRUE(CutCells(font, kZone, v, cells));
        ASSERT_EQ(cells.size(), truth.size());
        const std::vector<Scores> scores = ClassifyCells(cells.data(), cells.size());
        ASSERT_EQ(scores.size(), cells.size());
        int wrong = 0;
        double trueSum = 0;
        for (size_t i = 0; i < cells.size(); ++i) {
            const Scores& s = scores[i];
            double sum = 0;
            for (float x : s) {
                EXPECT_GE(x, 0.0f);
                EXPECT_LE(x, 1.0f);
                sum += x;
            }
            EXPECT_NEAR(sum, 1.0, 1e-3) << "cell " << i;
            const int best = int(std::max_element(s.begin(), s.end()) - s.begin());
            if (kAlphabet[best] != truth[i]) {
                ++wrong;
                ADD_FAILURE() << "cell " << i << ": '" << truth[i] << "' read '" << kAlphabet[best]
                              << "'";
            }
            trueSum += s[size_t(ClassOf(truth[i]))];
            // One cell alone reads as it does among the zone's others.
            if (i % 17 == 0) {
                const Scores one = Classify(cells[i]);
                for (int k = 0; k < kClasses; ++k) EXPECT_NEAR(one[k], s[k], 1e-4);
            }
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(trueSum / double(cells.size()), 0.95) << "clean print reads confidently";
    }
}

TEST(MrzModel, NoCellsIsNoAnswer) {
    EXPECT_TRUE(ClassifyCells(nullptr, 0).empty());
    EXPECT_TRUE(ClassifyCells(nullptr, 3).empty());
}

// A number of the calibration's record, as written by
// tools/mrz-train/calibrate.py (-1 when it has none).
double Recorded(const std::string& name) {
    std::ifstream f(std::string(GW_SOURCE_DIR) + "/tools/mrz-train/calibration.json");
    const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const std::string key = "\"" + name + "\": ";
    const size_t at = text.find(key);
    if (at == std::string::npos) return -1;
    return std::stod(text.substr(at + key.size()));
}

TEST(MrzModel, TheThresholdIsTheCalibratedOneAndHoldsOnHeldOutCells) {
    const double recorded = Recorded("threshold");
    const double wrongRecorded = Recorded("errors_above_threshold");
    ASSERT_GT(recorded, 0.0) << "tools/mrz-train/calibration.json has no threshold";
    ASSERT_GE(wrongRecorded, 0.0);
    EXPECT_NEAR(kMinCharProbability, recorded, 1e-6);
    EXPECT_NEAR(MrzLimits::kUncheckedMinProbability, Recorded("unchecked_threshold"), 1e-6);
    // A sample of held-out generated cells (class, condition, patch), cut by
    // the reader from pages of seed 202 and never trained on: kRandom drawn
    // at random, then every other cell of the seed the network misreads.
    std::ifstream f(std::string(GW_TEST_DATA) + "/mrz-heldout-cells.bin", std::ios::binary);
    ASSERT_TRUE(f) << "tests/data/mrz-heldout-cells.bin is missing";
    std::vector<int> classes;
    std::vector<Patch> cells;
    uint8_t head[2];
    Patch p;
    while (f.read(reinterpret_cast<char*>(head), 2) &&
           f.read(reinterpret_cast<char*>(p.data()), std::streamsize(p.size())))
        classes.push_back(head[0]), cells.push_back(p);
    ASSERT_GE(cells.size(), 1000u);
    const std::vector<Scores> scores = ClassifyCells(cells.data(), cells.size());
    constexpr size_t kRandom = 1200;
    ASSERT_GT(cells.size(), kRandom);
    int above = 0, wrongAbove = 0, wrong = 0, wrongRandom = 0, wrongUnchecked = 0;
    double meanTop = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
        const Scores& s = scores[i];
        const int best = int(std::max_element(s.begin(), s.end()) - s.begin());
        wrong += best != classes[i];
        if (i < kRandom) meanTop += s[size_t(best)], wrongRandom += best != classes[i];
        if (s[size_t(best)] >= kMinCharProbability) {
            ++above;
            wrongAbove += best != classes[i];
        }
        wrongUnchecked +=
            s[size_t(best)] >= MrzLimits::kUncheckedMinProbability && best != classes[i];
    }
    // The sample holds every misread cell of the seed, and the threshold
    // sets aside all but the few its bound allows (as the calibration
    // counted them)...
    EXPECT_GT(wrong, 0) << "the sample shows what the threshold is for";
    EXPECT_LE(wrongAbove, int(wrongRecorded));
    // ...and the stricter threshold of characters no check covers sets
    // aside every one.
    EXPECT_EQ(wrongUnchecked, 0);
    // ...while most cells reach it.
    EXPECT_GT(double(above) / double(cells.size()), 0.8);
    // Calibrated: over the random cells, the mean top probability is the
    // share read right.
    const double right = 1.0 - double(wrongRandom) / double(kRandom);
    EXPECT_NEAR(meanTop / double(kRandom), right, 0.01);
    // The reader's own loops run the model as the dnn module does: the same
    // probabilities to rounding, so the same characters on either side of
    // the threshold.
    const std::vector<Scores> byDnn = ClassifyCellsByDnn(cells.data(), cells.size());
    ASSERT_EQ(byDnn.size(), scores.size());
    for (size_t i = 0; i < cells.size(); ++i)
        for (int k = 0; k < kClasses; ++k)
            ASSERT_NEAR(scores[i][size_t(k)], byDnn[i][size_t(k)], 1e-5) << "cell " << i;
    // Every x86-64 processor reads them alike: the baseline's registers, and
    // every wider set this one has, give the same probabilities bit for bit.
    for (const Registers r : {Registers::Baseline, Registers::Avx2, Registers::Avx512}) {
        if (r > FastestRegisters()) continue;
        const std::vector<Scores> in = ClassifyCellsIn(cells.data(), cells.size(), r);
        ASSERT_EQ(in.size(), scores.size());
        EXPECT_EQ(std::memcmp(in.data(), scores.data(), scores.size() * sizeof(Scores)), 0)
            << "registers " << int(r);
    }
}

}  // namespace
