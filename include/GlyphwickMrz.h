// Reading the machine-readable zone (MRZ) of a travel document from a page
// image: the zone is found at any of the four right-angle orientations and
// skewed by up to 15 degrees, its characters are cut at the zone's fixed pitch
// and classified with ranked candidates, and the zone's grammar (the class of
// every position and the ICAO 9303 check digits) chooses among them.
//
// Thread safety: ReadMrz and GW_ReadMrzText keep no process-wide state and
// take no lock, so any number of threads may read at once.
#ifndef GLYPHWICK_GLYPHWICKMRZ_H
#define GLYPHWICK_GLYPHWICKMRZ_H

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "GlyphwickBudget.h"
#include "GlyphwickExport.h"
#include "GlyphwickImageView.h"

class DVImageProcessor;

namespace gw {

/// How to look for the zone.
struct MrzOptions {
    bool tryAllOrientations = true;  ///< false: only the page as it stands and turned by 180
    /// Rectangle to look in (left, top, right, bottom, inclusive image pixels);
    /// the whole image when right < left.
    int left = 0, top = 0, right = -1, bottom = -1;
    /// Lowest confidence (0 to 1) of any character for the zone to be valid.
    float minConfidence = 0.7f;
    WorkBudget budget;  ///< time limit and cancellation
};

/// One character of the zone with its ranked candidates.
struct MrzCharacter {
    char value = '?';                                ///< the character reported
    float confidence = 0;                            ///< 0 to 1
    std::vector<std::pair<char, float>> candidates;  ///< best first, with scores 0 to 1
};

/// One field of the zone.
struct MrzField {
    std::string name;        ///< e.g. "document_number", "birth_date"
    std::string raw;         ///< the characters as they stand in the zone
    std::string value;       ///< fillers turned into blanks, trimmed
    bool hasCheck = false;   ///< the field has a check digit
    char check = 0;          ///< the check digit as read (when hasCheck)
    bool checkValid = true;  ///< the check digit agrees (true without one)
    bool classValid = true;  ///< every character fits the field's class
};

/// One character that a check digit confirmed as a change of the best reading.
struct MrzCorrection {
    int line = 0;    ///< 0-based line of the zone
    int column = 0;  ///< 0-based column
    char from = 0;   ///< the best candidate of the position
    char to = 0;     ///< the candidate the check digit confirmed
    std::string field;
};

/// What ReadMrz found.
struct MrzResult {
    bool found = false;              ///< a zone of 2 or 3 lines was cut and read
    std::string format;              ///< "TD1", "TD2", "TD3", "MRV-A", "MRV-B" or ""
    std::vector<std::string> lines;  ///< top to bottom, as read upright
    std::vector<std::vector<MrzCharacter>> characters;  ///< same shape as lines
    std::vector<MrzField> fields;
    std::vector<MrzCorrection> corrections;
    /// The zone's corners in image pixels: top-left, top-right, bottom-right,
    /// bottom-left as the zone reads.
    std::array<std::pair<float, float>, 4> corners{};
    int orientation = 0;      ///< degrees clockwise the image was turned to read: 0, 90, 180, 270
    float skew = 0;           ///< further degrees clockwise the zone was turned
    int characterHeight = 0;  ///< of the zone's capitals, in image pixels
    /// Every check digit agrees, every field fits its class and every
    /// character has at least the options' confidence.
    bool valid = false;
    std::string error;       ///< why nothing was read (bad input), else empty
    bool stopped = false;    ///< the budget ran out or the call was cancelled
    std::string stopReason;  ///< why it stopped, in words, when stopped
};

/// Finds and reads the zone of image (1-, 8- or 24-bit; palette images
/// through their palette). A rectangle reaching past the image is read as
/// its part inside (outside is paper). An image without a bitmap, or a
/// rectangle with no part inside, gives found false with error set. Takes no
/// lock (see the thread note above).
GW_API MrzResult ReadMrz(const DVImageProcessor& image, const MrzOptions& options = {});

/// As ReadMrz, over pixels the caller owns, read in place.
GW_API MrzResult ReadMrz(const ImageView& image, const MrzOptions& options = {});

/// The result as a JSON object (lines, format, valid, fields, corrections,
/// corners, orientation, per-character confidence and candidates).
GW_API std::string MrzResultToJson(const MrzResult& result);

/// ICAO 9303 check digit of text (weights 7, 3, 1; digits 0-9, A-Z 10-35,
/// filler 0), or -1 when text holds any other character.
GW_API int MrzCheckDigit(const std::string& text);

}  // namespace gw

extern "C" {
/// Reads the zone of image and writes the result as JSON (see
/// gw::MrzResultToJson) into buffer of size bytes, NUL-terminated. Returns
/// the length of the JSON text (without the NUL; the text is cut when size
/// is too small), or -1 when image is null.
GW_API int GW_ReadMrzText(const DVImageProcessor* image, char* buffer, int size);
}

#endif  // GLYPHWICK_GLYPHWICKMRZ_H
