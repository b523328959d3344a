// Machine-readable zones of travel documents (ICAO 9303): finding the zone's
// lines among the lines read from a page, naming the format, splitting the
// fields, checking the check digits and correcting single misread characters
// where a check digit proves the correction.
//
// This file knows nothing of images or of the library: it works on text lines
// and their boxes, so that every rule here can be tested on its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gwtool {

enum class MrzFormat { TD1, TD2, TD3, MRVA, MRVB };

/// "TD1", "TD2", "TD3", "MRV-A" or "MRV-B".
const char* MrzFormatName(MrzFormat format);

/// The format of a zone of lineCount lines of length characters whose first
/// character is documentCode: 3 x 30 TD1; 2 x 36 TD2, or MRV-B for a visa
/// ("V"); 2 x 44 TD3, or MRV-A for a visa. Nothing for any other shape.
std::optional<MrzFormat> MrzFormatOf(size_t lineCount, size_t length, char documentCode);

/// The value of a character in a check-digit sum: digits 0-9, letters A-Z
/// 10-35, the filler "<" 0; -1 for any other character.
int MrzCharValue(char c);

/// The check digit (0-9) of a text with the weights 7, 3, 1 repeated, or -1
/// when the text holds a character without a value.
int MrzCheckDigit(std::string_view text);

/// One field of a zone.
struct MrzField {
    std::string name;      ///< e.g. "document_number", "birth_date"
    std::string raw;       ///< the characters as they stand in the zone
    std::string value;     ///< fillers turned into blanks, trimmed
    bool checked = false;  ///< the field has a check digit
    char check = 0;        ///< the check digit as read (when checked)
    bool valid = true;     ///< the check digit agrees (true when not checked)
};

/// One character that a check digit corrected.
struct MrzCorrection {
    int line = 0;    ///< 0-based line of the zone
    int column = 0;  ///< 0-based column
    char from = 0;   ///< as read
    char to = 0;     ///< as corrected
    std::string field;
};

/// A zone read and checked.
struct MrzReading {
    MrzFormat format = MrzFormat::TD3;
    std::vector<std::string> lines;  ///< after the corrections
    std::vector<MrzField> fields;
    std::vector<MrzCorrection> corrections;
    bool valid = false;  ///< every check digit agrees
};

/// Splits and checks the lines of a zone, correcting where it can. Lines are
/// given top to bottom; unread characters may stand as "?". scores, when
/// given, holds the match score of every character (same shape as lines):
/// where several single changes would make a check digit agree, the one at
/// the character of the clearly lowest score is taken. Nothing when the lines
/// have no zone's shape.
std::optional<MrzReading> ParseMrz(const std::vector<std::string>& lines,
                                   const std::vector<std::vector<int>>& scores = {});

/// A text line read from a page, with its box in image pixels.
struct TextLine {
    std::string text;  ///< one character per object, no blanks
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    std::vector<int> scores;  ///< the match score of each character, or empty
};

/// Picks the lines of a zone among the lines of a page: consecutive lines
/// (by their top) of 30, 36 or 44 characters, as many as the length asks for
/// (3 of 30, 2 of 36 or 44), stacked one below the other, starting within
/// two character widths of each other. Of several such groups the lowest on
/// the page wins. Returns the indexes of the chosen lines, top to bottom, or
/// an empty vector.
std::vector<size_t> FindMrzLines(const std::vector<TextLine>& lines);

}  // namespace gwtool
