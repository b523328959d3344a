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
    /// The day MrzResult::expired is judged against, "YYYY-MM-DD"; empty:
    /// today by the system clock (UTC).
    std::string today;
};

/// One character of the zone with its ranked candidates.
struct MrzCharacter {
    char value = '?';  ///< the character reported
    /// 0 to 1: the probability of the character as decided (under its check
    /// digit or the list of state codes where one covers it). A character
    /// the checks could not vouch for (one of several unsure ones under one
    /// check digit, a decision short of one wrong in 10,000, a blind twin
    /// such as 0 and U that no check tells apart) has its cell's own.
    float confidence = 0;
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
    /// The field can be trusted: its check digit (if any) holds and every
    /// character fits its class.
    bool valid = true;
};

/// One check digit of the zone: the digit read and the one its data give.
struct MrzCheck {
    std::string field;   ///< the field it guards, or "composite"
    char read = 0;       ///< the digit as read
    char computed = 0;   ///< the digit the field's characters give ('?' when they hold
                         ///< a character outside the zone's alphabet)
    bool holds = false;  ///< read and computed agree
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
    /// bottom-left as the zone reads; always inside the image (0 to width,
    /// 0 to height).
    std::array<std::pair<float, float>, 4> corners{};
    int orientation = 0;      ///< degrees clockwise the image was turned to read: 0, 90, 180, 270
    float skew = 0;           ///< further degrees clockwise the zone was turned
    int characterHeight = 0;  ///< of the zone's capitals, in image pixels
    /// Every check digit agrees, every field fits its class, the name keeps
    /// to a name's form (one double filler between the primary and the
    /// secondary identifier), the state codes are known codes, and every
    /// character is as sure as the reader's calibrated threshold (surer in a
    /// zone printed narrower than OCR-B, in capitals under 10 pixels, or
    /// found only through the texture round it) and has at least the
    /// options' confidence. Never for capitals under 6
    /// pixels (characterHeight), print the reader's classifier never learnt.
    bool valid = false;
    std::string error;  ///< why nothing was read (bad input), else empty
    /// The zone's 36-character lines, begun with P or V, end less than a
    /// character's room from the image's edge, or run to the end of the part
    /// of the image the reader read them from (where a wider look read no
    /// more): the zone may be one of 44 cut short (a visa's MRV-A read as an
    /// MRV-B, a passport's TD3 as a TD2). Such a zone is never valid.
    bool reachesEdge = false;
    /// The zone was read from the picture flipped left to right: a mirrored
    /// picture, as a phone's front camera takes it (corners are where the
    /// zone stands in the image as given).
    bool mirrored = false;
    bool stopped = false;    ///< the budget ran out or the call was cancelled
    std::string stopReason;  ///< why it stopped, in words, when stopped

    // What a host acts on, worked out from the reading above (MrzReport).
    std::vector<MrzCheck> checks;  ///< every check digit, in zone order
    bool checksOk = false;         ///< a zone was read and every check digit holds
    /// Why the zone is not valid (or what is doubtful about it), in words:
    /// "check digit of document_number fails", "line 2 column 12 unsure: 'O'
    /// 0.90 or '0' 0.90", "state code 'BDR' is not a known code (nationality)",
    /// "nationality holds digits". Empty for a valid zone without doubts.
    std::vector<std::string> reasons;
    int score = 0;           ///< 0 to 100: the share of check digits that hold (0 when none)
    std::string surname;     ///< the primary identifier, fillers as single blanks
    std::string givenNames;  ///< the secondary identifier, fillers as single blanks
    /// Birth date as "YYYY-MM-DD", the century chosen so that the date is not
    /// after today; empty when the field is no date (unknown: fillers).
    std::string birthDate;
    /// Expiry date as "YYYY-MM-DD", the century chosen so that the date lies
    /// within 50 years before or after today; empty when it is no date.
    std::string expiryDate;
    bool expired = false;      ///< the expiry date is before today (see MrzOptions::today)
    std::string optionalData;  ///< optional data or personal number, fillers as blanks
};

/// Finds and reads the zone of image (1-, 8- or 24-bit; palette images
/// through their palette; colour pages by their lightest channel, so coloured
/// print beside the zone fades while the black zone stays). A rectangle
/// reaching past the image is read as its part inside (outside is paper). An
/// image without a bitmap, or a rectangle with no part inside, gives found
/// false with error set. Takes no lock (see the thread note above).
GW_API MrzResult ReadMrz(const DVImageProcessor& image, const MrzOptions& options = {});

/// As ReadMrz, over pixels the caller owns: a grey view is read in place, a
/// colour view's lightest channel is taken once (as for a colour image), so
/// both give the same reading as the same pixels loaded into an image.
GW_API MrzResult ReadMrz(const ImageView& image, const MrzOptions& options = {});

/// The result as one JSON object, the shape every face prints (the tool's
/// --json, GW_ReadMrzText, Python's to_dict()): found, format, valid,
/// checks_ok, score, reasons, lines, surname, given_names, birth_date,
/// expiry_date, expired, optional_data, fields (an object keyed by name: raw,
/// value, valid, check_valid, class_valid, and check where the field has one),
/// checks, corrections (line and column from 1), orientation, skew,
/// character_height, corners, confidence, candidates, stopped, stop_reason and
/// error. Numbers keep their full float precision.
GW_API std::string MrzResultToJson(const MrzResult& result);

/// Works out a result's report (checks, checksOk, reasons, score, dates,
/// expired, names, optional data, each field's valid) from its fields and
/// characters, and clears valid when a check fails, a field leaves its class,
/// the name leaves a name's form or a date is no date. ReadMrz does this
/// itself; a host that changes a result may call it again.
GW_API void MrzReport(MrzResult& result, const MrzOptions& options = {});

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
