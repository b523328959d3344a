// read_barcodes: the library's whole-image barcode reader (gw::ReadBarcodes),
// results as plain tuples that the package turns into Barcode objects.
#include <pybind11/stl.h>

#include "GlyphwickBarcodes.h"
#include "load.h"

namespace gwpy {
namespace {

py::tuple BarcodeTuple(const gw::BarcodeResult& r) {
    py::tuple corners(4);
    for (size_t i = 0; i < 4; ++i)
        corners[i] = py::make_tuple(r.corners[i].first, r.corners[i].second);
    const char* symbology = r.symbology == gw::Symbology::Code39 ? "code39" : "code128";
    return py::make_tuple(symbology, r.text, py::cast(r.values), r.characters, r.gs1, r.code32,
                          corners, r.orientation, r.checksOk, r.lines);
}

py::list ReadBarcodes(py::handle image, bool code39, bool code128, bool fullAscii, bool checkDigit,
                      int minLength, bool tryHarder) {
    if (!code39 && !code128) throw py::value_error("no symbology asked for");
    if (minLength < 1) throw py::value_error("min_length must be 1 or more");
    gw::BarcodeOptions o;
    o.code39 = code39;
    o.code128 = code128;
    o.code39FullAscii = fullAscii;
    o.code39CheckDigit = checkDigit;
    o.minLength = minLength;
    o.tryHarder = tryHarder;
    Source source = LoadAny(image);
    const DVImageProcessor& picture = source.Image();
    std::vector<gw::BarcodeResult> results;
    {
        // ReadBarcodes takes the library lock itself.
        py::gil_scoped_release nogil;
        results = gw::ReadBarcodes(picture, o);
    }
    py::list out;
    for (const gw::BarcodeResult& r : results) out.append(BarcodeTuple(r));
    return out;
}

}  // namespace

void BindBarcodes(py::module_& m) {
    m.def("_read_barcodes", &ReadBarcodes, py::arg("image"), py::arg("code39"), py::arg("code128"),
          py::arg("full_ascii"), py::arg("check_digit"), py::arg("min_length"),
          py::arg("try_harder"));
}

}  // namespace gwpy
