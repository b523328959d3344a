// The zone's grammar: formats, field layouts, position classes, check digits,
// and the decoding of ranked character candidates into a checked zone.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "GlyphwickMrz.h"

namespace gw::mrz {

/// The 37 characters of a zone, in class-index order.
inline constexpr char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ<";
inline constexpr int kClasses = 37;
static_assert(sizeof(kAlphabet) == kClasses + 1);

/// Class index of c (0-36), or -1.
int ClassOf(char c);

/// The value of c in a check-digit sum, -1 for a character outside the zone's alphabet.
int CharValue(char c);

/// Scores (0 to 1, higher better) of the 37 characters at one position.
using Scores = std::array<float, kClasses>;

/// What a position may hold.
enum class Cls { Letter, Digit, Alnum, Check, Sex, Passport };

/// The class of every position of a zone of format name ("TD1" ...), or an
/// empty vector for an unknown format.
std::vector<std::vector<Cls>> PositionClasses(const std::string& format);

/// The format of lineCount lines of length characters whose first character
/// is documentCode, or "" when no format has that shape.
std::string FormatOf(size_t lineCount, size_t length, char documentCode);

/// The character that looks like c in OCR-B and that no check digit tells
/// from it (0 and U, 8 and S, 6 and G; their values differ by 10 or 20), or 0.
char BlindLookAlike(char c);

/// Whether position (line, column) of a zone of format may hold c.
bool Admits(const std::string& format, size_t line, size_t column, char c);

/// Tunables of the decoding.
struct DecodeLimits {
    float alternativeGap = 0.08f;  ///< a candidate within this of the best may be confirmed
    float keepOutOfClass = 0.12f;  ///< an out-of-class best this far ahead is kept (and fails)
    float minConfidence = 0.7f;    ///< lowest confidence of a valid zone
    float ambiguity = 0.02f;       ///< a rival this close leaves a character in doubt
    float lookAlike = 0.1f;        ///< a look-alike this close may take its field's kind
    float blindGap = 0.1f;         ///< a rival the check digits cannot tell apart this close: doubt
    float classGap = 0.08f;        ///< a class overriding a reading this much better: doubt
    float lineGap = 0.08f;         ///< a line's mean confidence this far below the best's: doubt
    float stateTie = 0.03f;        ///< a rival this close may spell the one known state code
    float lookAlikeDoubt = 0.05f;  ///< a digit-or-letter look-alike this close is unsure
    float blindClear = 0.15f;  ///< a blind 0-or-U's lead needing no second set (others 0.01 less)
    float blindBoth = 0.135f;  ///< its lead in the second set otherwise
};

/// Decodes a zone from the scores of its cells (lines top to bottom, all of
/// one length) into result: characters, lines, fields, corrections and
/// validity. Leaves result.found false when the shape is no zone's.
void Decode(const std::vector<std::vector<Scores>>& cells, const DecodeLimits& limits,
            MrzResult& result);

/// Decodes text lines (unread characters as '?') as if every character had
/// been read with full confidence: the rules on their own.
MrzResult DecodeText(const std::vector<std::string>& lines, const DecodeLimits& limits = {});

}  // namespace gw::mrz
