// The tool's view of a machine-readable zone read by the library (see
// GlyphwickMrz.h): the format as a name, the fields and corrections as the
// tool prints them.
#pragma once

#include <string>
#include <vector>

namespace gwtool {

enum class MrzFormat { TD1, TD2, TD3, MRVA, MRVB };

/// "TD1", "TD2", "TD3", "MRV-A" or "MRV-B".
const char* MrzFormatName(MrzFormat format);

/// The format named name ("MRV-A" ...); TD3 for any other name.
MrzFormat MrzFormatFromName(const std::string& name);

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

/// A text line of the zone with its box in image pixels.
struct TextLine {
    std::string text;
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

}  // namespace gwtool
