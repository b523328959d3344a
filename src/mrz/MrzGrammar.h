// The zone's grammar: formats, field layouts, position classes, check digits,
// and the decoding of ranked character candidates into a checked zone.
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "GlyphwickMrz.h"
#include "mrz/MrzLimits.h"

namespace gw::mrz {

/// The 37 characters of a zone, in class-index order.
inline constexpr char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ<";
inline constexpr int kClasses = 37;
static_assert(sizeof(kAlphabet) == kClasses + 1);

/// Class index of c (0-36), or -1.
int ClassOf(char c);

/// The value of c in a check-digit sum, -1 for a character outside the zone's alphabet.
int CharValue(char c);

/// Probabilities (or scores, 0 to 1, higher better) of the 37 characters at one position.
using Scores = std::array<float, kClasses>;

/// What a position may hold. A name's places hold letters, as codes' do, but
/// a digit read there is taken as its letter look-alike (names never hold
/// digits, where a code may be printed in them).
enum class Cls { Letter, Digit, Alnum, Check, Sex, Passport, Card, Name };

/// The class of every position of a zone of format name ("TD1" ...), or an
/// empty vector for an unknown format.
std::vector<std::vector<Cls>> PositionClasses(const std::string& format);

/// The places of a zone of format name that a check digit covers, the
/// check digits' own too (line, then column), or an empty vector for an
/// unknown format. What no check covers (names, sex, state codes, a visa's
/// optional data) answers to MrzLimits::kUncheckedMinProbability.
std::vector<std::vector<bool>> CheckedPlaces(const std::string& format);

/// The format of lineCount lines of length characters whose first character
/// is documentCode, or "" when no format has that shape.
std::string FormatOf(size_t lineCount, size_t length, char documentCode);

/// The positions (line, column) of a zone of lineCount lines of length
/// characters that hold its birth and expiry dates and their check digits:
/// digits, or fillers for a part not known, in every document of that shape.
/// Empty when no format has that shape.
std::vector<std::pair<int, int>> DateCells(size_t lineCount, size_t length);

/// The cells of a date: its six, then its check digit's.
using DateScores = std::array<const Scores*, 7>;

/// Whether a date's cells (its six, then its check digit's, as DateCells
/// lists them) can read as a date whose check holds, as Decode would decide
/// them: by their most probable symbols, or by a change of them at least
/// MrzLimits::kCorrectionRatio as probable. A date is two digits or two
/// fillers each for year, month (to 12) and day (to 31), a filler counting
/// 0 in the sum. Text of digits that is no zone meets it about one time in
/// a hundred; a zone's date read at its place, always.
bool DateMayHold(const DateScores& cells);

/// Whether position (line, column) of a zone of format may hold c.
bool Admits(const std::string& format, size_t line, size_t column, char c);

/// Whether a zone's name field (raw, fillers as printed) keeps to the form
/// of a name: the primary identifier, a double filler, then the secondary
/// identifier's parts each after one filler, and fillers to the end. A
/// second double filler with letters after it is no name's form: a letter
/// of the given names was read as a filler (a small K, whose strokes blur
/// into a chevron). Such a zone is never valid (run Z1 of
/// docs/mrz-tuning.md).
bool NameHasForm(const std::string& raw);

/// The character a place of class cls takes from its cell's probabilities
/// s before any check decides it (the best its class admits, unless the
/// cell read one outside it far more surely), and that character's
/// probability from the cell alone, given the class: its look-alikes of the
/// other kind (a 0 for an O in a name), which the place cannot hold, do not
/// count against it. The probability every character of a valid zone must
/// reach (DecodeLimits), unless a check digit decides the character.
std::pair<char, float> ReadAt(const Scores& s, Cls cls);

/// The decoding's one threshold: a zone is valid only when every character,
/// as decided, has at least this probability (MrzLimits::kMinProbability by
/// default; a host may ask for more).
struct DecodeLimits {
    float minProbability = MrzLimits::kMinProbability;
};

/// Decodes a zone from the probabilities of its cells (lines top to bottom,
/// all of one length; each cell's 37 probabilities summing to about 1) into
/// result: characters, lines, fields, corrections and validity. Every field
/// under a check digit is decided as a whole with its digit: the most
/// probable reading that the class admits and the check holds, taken when it
/// is not far less probable than the best reading character by character
/// (each change reported as a correction). A character's confidence is its
/// probability given its check digit (or, in a state code, given the list of
/// codes); the zone is valid when every check holds, every field fits its
/// class, the state codes are known and every confidence reaches the limit.
/// Leaves result.found false when the shape is no zone's.
///
/// When sure is given, it is set to whether the zone would be valid if every
/// check digit held: every character as sure as a valid zone's, the state
/// codes known and every field in its class, and no character under a check
/// that fails unsure. Such print reads no better from another cut or place,
/// so checks that fail are the document's own. When printed is given, it is
/// set to whether every check that fails has no unsure character under it
/// (true when every check holds): whatever else is unsure, another cut or
/// place would not make those checks hold.
void Decode(const std::vector<std::vector<Scores>>& cells, const DecodeLimits& limits,
            MrzResult& result, bool* sure = nullptr, bool* printed = nullptr);

/// How much of the grammar a decoded zone bears out, as a count of
/// agreements that print of another kind meets only by chance: each field
/// under a check digit that holds as read (no correction), fits its class
/// and is not all fillers; each state code that is a known code as read;
/// each date that is one (six digits, month 01-12, day 01-31). A zone read
/// right shows several; text, tables and forms one or two.
int GrammarEvidence(const MrzResult& r);

/// Decodes text lines (unread characters as '?', spread over every
/// character) as if each character had been read with probability certain,
/// sharing only a little with its OCR-B look-alikes: the rules on their own.
MrzResult DecodeText(const std::vector<std::string>& lines, const DecodeLimits& limits = {});

}  // namespace gw::mrz
