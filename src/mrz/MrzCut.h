// Cutting an upright zone into character cells: the lines are found by the
// rows' ink, each line's slope by the ink's centre in its quarters, and the
// cells by the zone's fixed pitch fitted to the line's ink, so that touching
// and broken characters still fall one to a cell.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace gw::mrz {

/// A cell normalised to kCellW x kCellH (the cell's pitch by the line's
/// capital height) with kPad pixels around it; 255 full ink, 0 paper.
inline constexpr int kCellW = 16;
inline constexpr int kCellH = 20;
inline constexpr int kPad = 2;
inline constexpr int kPatchW = kCellW + 2 * kPad;
inline constexpr int kPatchH = kCellH + 2 * kPad;
using Patch = std::array<uint8_t, kPatchW * kPatchH>;

/// The capital height (in pixels) the zone is brought to before cutting.
inline constexpr float kWorkHeight = 28.0f;

/// A line of the upright zone: its centre row at column x is
/// center + slope * (x - middle) + bend * (x - middle)^2 (bend 0 but on a
/// page that does not lie flat), its capitals reach above by up, below by
/// down.
struct LineBand {
    float center = 0;
    float middle = 0;
    float slope = 0;
    float bend = 0;
    float up = 0;
    float down = 0;
    float Height() const { return up + down; }
    float At(float x) const { return center + (slope + bend * (x - middle)) * (x - middle); }
    /// The line's slope at column x.
    float SlopeAt(float x) const { return slope + 2 * bend * (x - middle); }
};

/// Joins runs of ink into parts: runs (row, first and last pixel) in row
/// order, rowStart[y] the first of row y and rowStart[rows] their count;
/// runs of consecutive rows that overlap or touch at a corner are one part
/// (8-connected). parent[i] becomes the first run of run i's part, which
/// comes before it.
void JoinRuns(const std::vector<cv::Vec3i>& runs, const std::vector<int>& rowStart,
              std::vector<int>& parent);

/// Clears the parts of ink (8-bit, 0 paper; 8-connected) of fewer than
/// minArea pixels: the parts cv::connectedComponentsWithStats counts, found
/// by their runs of ink joined row to row, in a third of its time.
void DropSpecks(cv::Mat& ink, int minArea);

/// cv::adaptiveThreshold(grey, ink, 255, ADAPTIVE_THRESH_MEAN_C,
/// THRESH_BINARY_INV, block, delta) of an 8-bit image (ink another image),
/// to the pixel: OpenCV's mean (its box filter), and its test of each pixel
/// against it made sixteen pixels at a time, where OpenCV's takes them one
/// by one through a table.
void InkBelowMean(const cv::Mat& grey, int block, double delta, cv::Mat& ink);

/// cv::morphologyEx(src, dst, MORPH_OPEN, a 2 x 2 rectangle) of an 8-bit
/// image (its default anchor and borders: each pixel with those above and to
/// its left), to the pixel, sixteen pixels at a time; dst may be src. src is
/// a whole image: of a part of a larger one, OpenCV reads the pixels round it.
void OpenTwoByTwo(const cv::Mat& src, cv::Mat& dst);
/// Ink (255 in ink, grey's size) kept only beside print among the darkest
/// of its neighbourhood in grey: within fraction of the range from the
/// darkest to the lightest pixel of the square of side pixels round it, or
/// next to such a pixel (a stroke's edges are lighter than its core). The
/// rest is made paper (0). Lines of texture lighter than the print beside
/// them go; print darker than all round it stays.
void KeepDarkest(const cv::Mat& grey, int side, float fraction, cv::Mat& ink);

/// The ink of an upright grey zone image: 255 ink, 0 paper, without the
/// specks fine texture leaves (parts smaller than MrzLimits::kSpeckArea).
/// With throughTexture, only print among the darkest of its neighbourhood
/// (KeepDarkest), for a zone the finder saw through texture.
cv::Mat InkOf(const cv::Mat& grey, bool throughTexture = false);

/// InkOf's first step: the pixels of grey clearly darker than the mean of
/// the square round them (255), by a share of its range of levels. The
/// mean repeats the edge pixels outward, so the dark pixels of grey flipped
/// either way or turned half round are these flipped or turned with it.
cv::Mat DarkOf(const cv::Mat& grey);

/// InkOf(grey, throughTexture) from DarkOf(grey) given as dark (not
/// changed).
cv::Mat InkOf(const cv::Mat& grey, bool throughTexture, const cv::Mat& dark);

/// Candidate line sets of an upright zone: runs of rows with ink, grouped as
/// 2 or 3 consecutive lines of like height and spacing, those nearest the
/// image's middle row first.
std::vector<std::vector<LineBand>> FindLineSets(const cv::Mat& ink);

/// A line cut into cells at a fitted pitch, which may grow or shrink along
/// the line (print seen at a slant, where the far end stands smaller).
struct CutLine {
    float left = 0;    ///< the first cell's left edge
    float pitch = 0;   ///< cell width in the middle of the line
    float growth = 0;  ///< change of the cell width from the first cell to the last, over pitch
    float fit = 0;     ///< mean ink on the cell boundaries (0 best, 1 worst)
    std::vector<Patch> cells;

    /// The left edge of cell k of n (k = n: the last cell's right edge).
    float Edge(int k, int n) const { return Edge(left, pitch, growth, k, n); }
    static float Edge(float left, float pitch, float growth, int k, int n) {
        return left + Offset(pitch, growth, k, n);
    }
    /// How far the left edge of cell k of n stands from the first's.
    static float Offset(float pitch, float growth, int k, int n) {
        return pitch * float(k) * (1.0f + 0.5f * growth * float(k - n) / float(n));
    }
};

/// A line's ink across the image, column by column along its slope (the
/// share of the line's height that is ink), and the extent of that ink as
/// InkExtent gives it (found false when the line has none).
struct LineInk {
    std::vector<float> columns;
    bool found = false;
    float left = 0, right = 0;
};

/// The ink of line in the ink image.
LineInk InkAcross(const cv::Mat& ink, const LineBand& line);

/// Cuts line of the grey zone image (with its ink) into length cells, at a
/// pitch fitted to its ink with the first and last cell edges just outside
/// the two ends of its ink (MrzLimits::kEndInsideMin to kEndInsideMax
/// pitches), or near pitch when that is above 0 (and then starting near left
/// when that is given, and growing near growth). Returns false when the line
/// holds no ink or no cut fits its ends.
bool CutLineCells(const cv::Mat& grey, const cv::Mat& ink, const LineBand& line, int length,
                  CutLine& out, float pitch = 0, float left = -1e9f, float growth = 0);

/// CutLineCells with the line's ink already measured (InkAcross), for a
/// line cut more than once.
bool CutLineCells(const cv::Mat& grey, const LineInk& across, const LineBand& line, int length,
                  CutLine& out, float pitch = 0, float left = -1e9f, float growth = 0);

/// The ink on the inner boundaries (edges 1 to length - 1, at offsets at
/// from the first) of cuts of a line whose ink by columns is ink, from each
/// of the starts lefts[0, n), into costs, as FitLineCut sums it: boundary
/// by boundary in turn, linear between columns, the end columns' ink past
/// the ends. With wide, eight starts at a time in AVX2 registers (the
/// processor must have them): the same sums, to the bit.
void BoundaryInk(const std::vector<float>& ink, const float* at, int length, const float* lefts,
                 size_t n, float* costs, bool wide);

/// The cut alone: CutLineCells's edges, its fit and its answer, with no
/// cells sampled (out.cells left empty), for a cut whose cells may not be
/// needed. SampleCutCells samples them after, as CutLineCells would have.
bool FitLineCut(const LineInk& across, int length, CutLine& out, float pitch = 0,
                float left = -1e9f, float growth = 0);
void SampleCutCells(const cv::Mat& grey, const LineInk& across, const LineBand& line, int length,
                    CutLine& out);

/// The grey level below which percent of the count pixels that histogram
/// (a count a grey level) holds lie: the first whose running count passes
/// that share, 255 when none does. Print and paper are its 3rd and 90th
/// percentiles over a line's band.
int LevelAt(const std::array<uint32_t, 256>& histogram, size_t count, size_t percent);

/// The patch value (0 paper, 255 print) of each grey level of a line, set
/// by the paper and the darkest print of its band over its ink. With
/// throughTexture, the levels within MrzLimits::kTexturePaper of the range
/// from the paper are paper too, and the rest spread over the whole range:
/// lines of texture lighter than the print that cross the cells leave them.
using CellLevels = std::array<uint8_t, 256>;

/// The levels of a line of cells, what SampleCutCells makes once for its
/// cells: the line's own, one table, where the light is even along it; where
/// a shadow's edge crosses it (the paper of some stretch of 2 *
/// MrzLimits::kLevelsAround + 1 cells more than MrzLimits::kLevelsShift of
/// the line's range from the line's), a table for each of the line's length
/// even steps over its ink: the stretch's paper where it stands apart, the
/// line's elsewhere, and the line's print throughout (print a glare washed
/// out stays faint).
struct LineLevels {
    std::vector<CellLevels> tables;
    float left = 0;  ///< where the steps begin, in the image's columns
    float step = 1;  ///< their width
    /// The table of the step holding column x.
    const CellLevels& At(float x) const;
};
LineLevels LevelsOfLine(const cv::Mat& grey, const LineInk& across, const LineBand& line,
                        int length, bool throughTexture = false);

/// Cell i of the length cells of cut (a cut of line, its edges set), with
/// the line's levels: the patch SampleCutCells makes for it, made alone, for
/// a cut of which only some cells may be read.
void SampleCutCell(const cv::Mat& grey, const LineBand& line, const LineLevels& levels, int length,
                   const CutLine& cut, int i, Patch& out);

/// Samples the cells of line again at out's edges (its left, pitch and
/// growth, however they were set), as CutLineCells would (at the levels
/// LevelsOfLine gives with throughTexture). False, and out unchanged, when
/// the line holds no ink or out has no pitch.
bool RecutCells(const cv::Mat& grey, const cv::Mat& ink, const LineBand& line, int length,
                CutLine& out, bool throughTexture = false);

/// The map (upright pixels to rectified pixels) that undoes the keystone of
/// a zone seen at a slant, where its lines draw together towards the far end:
/// the centres of the first and last lines of its first line set (sets as
/// FindLineSets gives them) near both ends of their ink are brought to a
/// rectangle. False, and no map, when the lines stand parallel (within 3
/// percent) or cannot be measured, and with endsTogether when their ink
/// starts or ends more than MrzLimits::kKeystoneEnds line heights apart.
bool Keystone(const cv::Mat& ink, const std::vector<std::vector<LineBand>>& sets, cv::Matx33f& map,
              bool endsTogether = false);

/// The grey image sampled at the map m (patch pixel (u, v) at grey pixel
/// m * (u, v, 1)) into a w x h image at out (rows of w), as
/// cv::warpAffine(grey, out, m, {w, h}, INTER_LINEAR | WARP_INVERSE_MAP,
/// BORDER_REPLICATE) gives it, to the level: its fixed-point positions and
/// weights (1/32 of a pixel, weights in 1/32768), the edge pixels repeated
/// outside; rows outStep apart (0: w). Any size: an upright zone image too,
/// in less than OpenCV's time where the processor has AVX2.
void SampleLinear(const cv::Mat& grey, const cv::Matx23f& m, int w, int h, uint8_t* out,
                  size_t outStep = 0);

/// The grey image sampled at the map m into a w x h image at out (rows
/// outStep apart), as cv::warpAffine(grey, out, m, {w, h}, INTER_CUBIC |
/// WARP_INVERSE_MAP, BORDER_REPLICATE) gives it, to the level: its
/// fixed-point positions, its table of bicubic weights in 1/32768, the edge
/// pixels repeated outside.
void SampleCubic(const cv::Mat& grey, const cv::Matx23f& m, int w, int h, uint8_t* out,
                 size_t outStep);

/// The grey image sampled at the perspective map m (pixel (u, v) at grey
/// pixel (x / z, y / z), (x, y, z) = m * (u, v, 1)) into a w x h image at
/// out (rows outStep apart), bicubic or bilinear, as
/// cv::warpPerspective(grey, out, m, {w, h}, INTER_CUBIC or INTER_LINEAR |
/// WARP_INVERSE_MAP, BORDER_REPLICATE) gives it, to the level: its
/// positions in 1/32 of a pixel, summed as it sums them, and the weights of
/// SampleCubic and SampleLinear. On one thread, without OpenCV's work of
/// dividing the image among threads and its maps.
void SamplePerspective(const cv::Mat& grey, const cv::Matx33f& m, int w, int h, bool cubic,
                       uint8_t* out, size_t outStep);

/// The extent [left, right] of the line's ink (its longest run of columns
/// with gaps shorter than a character); false when it has none.
bool InkExtent(const cv::Mat& ink, const LineBand& line, float& left, float& right);

}  // namespace gw::mrz
