// read_barcodes: the library's whole-image barcode reader (gw::ReadBarcodes)
// returning the library's own BarcodeResult objects, with its report of
// whether the budget stopped the reading (the package wraps both in a
// glyphwick.Barcodes list).
#include <pybind11/stl.h>

#include "GlyphwickBarcodes.h"
#include "load.h"

namespace gwpy {
namespace {

py::tuple ReadBarcodes(py::handle image, bool code39, bool code128, bool fullAscii, bool checkDigit,
                       int minLength, bool tryHarder, uint32_t page, bool exif, double timeout) {
    if (!code39 && !code128) throw py::value_error("no symbology asked for");
    if (minLength < 1) throw py::value_error("min_length must be 1 or more");
    gw::BarcodeOptions o;
    o.code39 = code39;
    o.code128 = code128;
    o.code39FullAscii = fullAscii;
    o.code39CheckDigit = checkDigit;
    o.minLength = minLength;
    o.tryHarder = tryHarder;
    o.budget.seconds = timeout;
    Source source = LoadAny(image, LoadOptionsOf(page, exif));
    const DVImageProcessor& picture = source.Image();
    gw::BarcodeReport report;
    std::vector<gw::BarcodeResult> found;
    {
        py::gil_scoped_release nogil;
        found = gw::ReadBarcodes(picture, o, &report);
    }
    return py::make_tuple(std::move(found), report.stopped, report.stopReason);
}

}  // namespace

void BindBarcodes(py::module_& m) {
    m.def("_read_barcodes", &ReadBarcodes, py::arg("image"), py::arg("code39"), py::arg("code128"),
          py::arg("full_ascii"), py::arg("check_digit"), py::arg("min_length"),
          py::arg("try_harder"), py::arg("page"), py::arg("exif"), py::arg("timeout"));
}

}  // namespace gwpy
