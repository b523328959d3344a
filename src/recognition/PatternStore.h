// The pattern store: the fonts loaded from pattern files, shared by every
// area of the process.
//
// A font is a cell grid size and a list of character patterns drawn on that
// grid; a pattern is the character, its cell string (one code per cell, row
// by row: "-", "0", "1", "X", "/", "?") and the range of width/height ratios
// of the boxes it admits. The store keeps the fonts in the order they were
// added; lookups by name take the first match.
//
// The process's store lives behind a plain pointer that is created on first
// use and deleted by EmptyStore, so that no static destructor of this library
// or of the host decides when it goes. The GW_ exports change it (the host
// holds the library lock around them); every change publishes a read-only
// copy, FontsSnapshot, that whole-image readers on any thread take without
// the lock and use through a ReadingFonts scope.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gw {

/// A ratio read from ratio text: whole part and hundredths.
struct Ratio {
    int32_t whole = 0;
    int32_t hundredths = 0;
};

/// Reads ratio text: the first character minus "0" is the whole part, the
/// second character is skipped, and the number from the third character on,
/// read as atoi reads it, is the hundredths ("1.5" is 1 and 5 hundredths).
/// Text shorter than 3 characters has 0 hundredths; empty text reads 0.
Ratio ReadRatio(const char* text);

/// Reads a decimal number as atoi does: optional leading white space and
/// sign, then digits up to the first other character; no digits give 0.
/// Values beyond the 32-bit range saturate.
int32_t ReadNumber(const char* text);

/// Most cells a grid may have; larger grid sizes are refused when read.
inline constexpr int32_t kMaxGridCells = 4096;

struct CharPattern {
    char character = 0;
    std::string cells;                  ///< accepted rows, top to bottom
    std::array<char, 5> minRatio = {};  ///< ratio text, at most 4 characters
    std::array<char, 7> maxRatio = {};  ///< ratio text, at most 6 characters
    int32_t width = 0;                  ///< grid columns when the pattern was read
    int32_t height = 0;                 ///< grid rows when the pattern was read
    Ratio low;                          ///< minRatio, read
    Ratio high;                         ///< maxRatio, read
};

struct PatternFont {
    std::vector<CharPattern> patterns;  ///< in file order
    std::string name;                   ///< the token that opened the font
    int32_t index = 0;                  ///< fonts in the store when it was added
    int32_t gridWidth = 5;
    int32_t gridHeight = 5;

    /// Scoring tables for the grid of gridWidth x gridHeight cells, built by
    /// PrepareFont once the font is complete (see Score.h).
    int32_t preparedCells = 0;
    std::vector<uint8_t> weights;
};

struct PatternStore {
    std::vector<std::unique_ptr<PatternFont>> fonts;
};

/// Names the pattern file that the process's store reads before its first
/// use (Store, FontCount, LoadPatternFile, FontsSnapshot), unless EmptyStore
/// comes first. The library names its default file when it is loaded; a
/// later call, or a null path, changes nothing.
void SetDefaultPatternFile(const char* path);

/// The store the calling thread reads: the fonts of its open ReadingFonts
/// scope, otherwise the process's store, created empty on first use.
PatternStore& Store();

/// Frees every font and pattern of the process's store; the next font added
/// gets index 0.
void EmptyStore();

/// Number of fonts in the store the calling thread reads (0 when the
/// process's store was never created).
int32_t FontCount();

/// Loads one pattern file into the process's store (see GW_LoadPatternFile).
int32_t LoadPatternFile(const char* path);

/// Loads one pattern file into store, as GW_LoadPatternFile does into the
/// process's; returns 1 when the whole file was read.
int32_t LoadPatternFileInto(PatternStore& store, const char* path);

/// A copy of the process's store as the last change left it, shared and
/// never changed (null only when out of memory at the change; then empty).
/// Safe to call from any thread without the library lock.
std::shared_ptr<PatternStore> FontsSnapshot();

/// Makes fonts the store that Store() gives on this thread for the scope's
/// lifetime. fonts must not change while a scope uses it; scopes nest.
class ReadingFonts {
  public:
    explicit ReadingFonts(PatternStore& fonts);
    ~ReadingFonts();
    ReadingFonts(const ReadingFonts&) = delete;
    ReadingFonts& operator=(const ReadingFonts&) = delete;

  private:
    PatternStore* previous_;
};

/// Builds the font's scoring tables for its current grid size.
void PrepareFont(PatternFont& font);

}  // namespace gw
