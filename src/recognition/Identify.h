// Identification of objects as characters.
//
// A box is divided into the selected font's cell grid; every cell becomes
// one of four codes by its share of ink ("-" none, "0" under half, "1" at
// least half, "X" all), and the resulting cell string is scored against every
// pattern whose ratio range admits the box. The box is tried as it is and
// with each edge moved one pixel inwards; the best of the five tries wins.
//
// Pixels are read from the area's working rows; pixels outside the area's
// rows or past the end of a row are never ink.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "area/Area.h"
#include "recognition/PatternStore.h"

namespace gw {

/// Lowest score that identifies a character; lower scores give "?".
inline constexpr int32_t kAcceptance = 78;

/// Number of tries of a box.
inline constexpr int32_t kTries = 5;

/// A box in image pixels, right and bottom inclusive, wide enough that no
/// edge moved inwards overflows.
struct Box {
    int64_t left, top, right, bottom;
};

/// Try t (0 to 4) of a box: unchanged, top + 1, bottom - 1, left + 1, right - 1.
Box TryOf(const Box& box, int32_t t);

/// The font of the area's fontName (first match ignoring ASCII case) or, when
/// that is null, of its fontIndex; null when none matches.
PatternFont* SelectFont(const AREAINFO& area);

/// The code ("-", "0", "1", "X") of the cell w x h whose top-left pixel is at
/// image column x, image row y.
char ClassifyCell(const AREAINFO& area, int64_t x, int64_t y, int64_t w, int64_t h);

/// The cell string of a box on a grid of gridW x gridH (both at least 1):
/// the extra columns and rows of the box go to the cells at which the
/// accumulators of the remainders wrap (7 columns on 5 cells: 1, 1, 2, 1, 2).
std::string NormaliseToGrid(const AREAINFO& area, const Box& box, int32_t gridW, int32_t gridH);

/// Width/height ratio of a box as whole part and hundredths; 9.99 when the
/// box has no height.
Ratio BoxRatio(const Box& box);

/// Matches boxes against one font, reusing its buffers between boxes.
///
/// Begin(box) counts the ink of the box once into a table of sums, from
/// which the cells of the box and of every box inside it are counted in a
/// few steps each; other boxes are counted pixel by pixel.
class FontMatcher {
  public:
    /// Largest table of sums, in entries; larger boxes are counted directly.
    static constexpr size_t kTableLimit = size_t{1} << 22;

    FontMatcher(const AREAINFO& area, PatternFont& font);

    /// Cells of the font's grid.
    int32_t Cells() const { return cells_; }

    /// Prepares the sums of a box whose tries follow.
    void Begin(const Box& outer);

    /// Scores the box against every pattern in file order; when a pattern
    /// that admits the box scores strictly above score, the first such of the
    /// highest score replaces score and character, the box's cell codes go to
    /// codes (Cells() bytes) and the result is true.
    bool Match(const Box& box, int32_t& score, char& character, uint8_t* codes);

    /// Begin(box), then Match of its five tries in order, each into the
    /// cells, character and score of slots[t] when each is true; otherwise
    /// all into slots[0], so that a later try wins only with a higher score.
    void MatchTries(const Box& box, CANDIDATEINFO* slots, bool each);

  private:
    template <bool Bits>
    void BuildSums(const Box& outer);
    template <bool Bits>
    void DirectCodes(const Box& box);
    void SummedCodes(const Box& box);
    bool Covers(const Box& box) const;
    bool Admit(int64_t key);
    void ColumnWidths(int64_t W);

    const AREAINFO& area_;
    const PatternFont& font_;
    int32_t cells_;
    std::vector<uint8_t> codes_;      // code index of each cell
    std::vector<uint16_t> laneSums_;  // biased sum of each pattern lane
    bool haveBase_ = false;           // the box's first scored try is kept:
    std::vector<uint8_t> baseCodes_;  // its codes
    std::vector<uint16_t> baseSums_;  // and its sums
    std::vector<uint8_t> bestCodes_;  // codes of each slot's best try
    std::vector<int64_t> limits_;     // each pattern's lowest and highest ratio, as keys
    bool admittedValid_ = false, anyAdmitted_ = false;
    int64_t admittedKey_ = 0;            // the ratio key that admitted_ was found for
    std::vector<uint8_t> admitted_;      // 1 for each pattern that admits the box
    std::vector<int32_t> areas_;         // pixels less one of the cells of a band of each height
    std::vector<int64_t> inkOfColumns_;  // ink of each cell of a row, counted directly
    std::vector<int64_t> columnWidths_;
    std::vector<int32_t> edges_;          // cell edges in the table of sums
    std::vector<int32_t> lines_;          // ink left of each edge above each band of rows
    std::vector<uint8_t> taller_;         // 1 for each band of one more row than the least
    std::vector<const int32_t*> bounds_;  // the line above each band, and below the last
    bool shareColumns_ = false;           // columns_ is used for the outer box's columns
    bool haveColumns_ = false;            // and holds them
    std::vector<int32_t> columns_;        // ink left of each of its edges, on every row

    // The table of sums: sums_[y * (sumW_ + 1) + x] is the ink of image rows
    // sumTop_ .. sumTop_ + y - 1 and columns sumLeft_ .. sumLeft_ + x - 1.
    bool summed_ = false;
    Box outer_ = {};
    int64_t sumLeft_ = 0, sumTop_ = 0, sumW_ = 0, sumH_ = 0;
    std::vector<int32_t> sums_;
};

}  // namespace gw
