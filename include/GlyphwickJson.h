// Every reader's result as JSON, written by one writer in the library so that
// the tool's --json, the C exports and Python's to_dict() print the same keys
// in the same order with the same numbers (floats in the shortest form that
// reads back to the same value). The zone's writer, MrzResultToJson, is
// declared with its result in GlyphwickMrz.h.
#ifndef GLYPHWICK_GLYPHWICKJSON_H
#define GLYPHWICK_GLYPHWICKJSON_H

#include <string>
#include <vector>

#include "GlyphwickBarcodes.h"
#include "GlyphwickExport.h"
#include "GlyphwickLines.h"

class DVImageProcessor;

namespace gw {

/// The symbols of a ReadBarcodes call as one JSON object: "barcodes", a list
/// of objects (symbology "code39" or "code128", text as UTF-8, values,
/// characters, gs1, code32, human (the Code 32 reading where there is one, else
/// the text), corners, orientation, mirrored, checks_ok,
/// lines), then "stopped" and "stop_reason" from report (false and "" when
/// report is null).
GW_API std::string BarcodeResultsToJson(const std::vector<BarcodeResult>& results,
                                        const BarcodeReport* report = nullptr);

/// A ReadLines result as one JSON object: error_code (the status, 0 when
/// read), error, font, lines (text,
/// tag, score, pitch, box, characters), objects (box, character, score, tag),
/// stopped and stop_reason. Boxes are [left, top, right, bottom], inclusive.
GW_API std::string LinesResultToJson(const LinesResult& result);

}  // namespace gw

extern "C" {
/// Reads every symbol of image with the default options (symbologies:
/// GW_BARCODE_ bits, 0 for both) and writes gw::BarcodeResultsToJson of the
/// result into buffer of size bytes, NUL-terminated. Returns the length of
/// the whole JSON text (without the NUL; the text is cut when size is too
/// small), or -1 when image is null or memory runs out.
GW_API int GW_ReadBarcodesJson(const DVImageProcessor* image, unsigned symbologies, char* buffer,
                               int size);

/// Reads the best text line of image with the default options (the default
/// pattern file's first font) and writes gw::LinesResultToJson of the result
/// into buffer as GW_ReadBarcodesJson does. Returns the JSON text's length,
/// or -1 when image is null or memory runs out.
GW_API int GW_ReadLinesJson(const DVImageProcessor* image, char* buffer, int size);
}

#endif  // GLYPHWICK_GLYPHWICKJSON_H
