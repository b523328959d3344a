// The extension module glyphwick._glyphwick. Each reader binds itself in its
// own file; the package's __init__.py gives them their Python signatures.
#include <pybind11/pybind11.h>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "image.h"
#include "results.h"

namespace gwpy {
void BindLines(pybind11::module_& m);
void BindBarcodes(pybind11::module_& m);
void BindMrz(pybind11::module_& m);
}  // namespace gwpy

PYBIND11_MODULE(_glyphwick, m) {
    namespace py = pybind11;
    m.doc() = "Glyphwick's C++ library; use the glyphwick package.";
    static py::exception<void> error(m, "Error", PyExc_RuntimeError);
    m.attr("Error").attr("__doc__") =
        "A failure the library reports: data it cannot decode, no such font, a pattern file "
        "that does not load. The message names the reason.";
    m.attr("__version__") = GW_VERSION_STRING;
    m.attr("_python_version") = GW_PYTHON_VERSION;
    gwpy::BindImage(m);
    gwpy::BindResults(m);
    gwpy::BindLines(m);
    gwpy::BindBarcodes(m);
    gwpy::BindMrz(m);
}
