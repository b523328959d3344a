// The barcode command's reading: the library's whole-image reader
// (gw::ReadBarcodes) over the image or a rectangle of it, with the library's
// options and results as they are.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "GlyphwickBarcodes.h"
#include "Options.h"

class DVImageProcessor;

namespace gwtool {

/// Reads every symbol options allow in image, or in rect of it (corners
/// then stand in the whole image's pixels). Throws InputError naming file
/// for a rectangle outside the image or an image that cannot be cut.
/// report, when not null, says whether the reading stopped early.
std::vector<gw::BarcodeResult> ReadBarcodesIn(const DVImageProcessor& image,
                                              const gw::BarcodeOptions& options,
                                              const std::optional<Box>& rect,
                                              const std::string& file,
                                              gw::BarcodeReport* report = nullptr);

/// Parses --symbologies: names separated by commas ("code39", "code128",
/// any case, blanks and dashes ignored) into options. Throws InputError for
/// an unknown name.
void SetSymbologies(const std::string& names, gw::BarcodeOptions& options);

/// The name of a symbology as the tool and the JSON spell it.
const char* SymbologyName(gw::Symbology s);

}  // namespace gwtool
