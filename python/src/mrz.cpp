// read_mrz: the library's zone reader (gw::ReadMrz) returning the library's
// own MrzResult. An array whose pixels lie side by side is read through a
// gw::ImageView over its memory, with no copy.
#include <optional>

#include <pybind11/stl.h>

#include "GlyphwickMrz.h"
#include "load.h"

namespace gwpy {
namespace {

gw::MrzResult ReadMrz(py::handle image, std::optional<std::array<int, 4>> rect,
                      bool allOrientations, uint32_t page, bool exif, double timeout,
                      std::string today) {
    gw::MrzOptions o;
    o.tryAllOrientations = allOrientations;
    o.budget.seconds = timeout;
    o.today = std::move(today);
    if (rect) {
        const auto& b = *rect;
        if (b[2] < b[0] || b[3] < b[1])
            throw py::value_error(
                "the rectangle is inverted: right must not be left of left, "
                "nor bottom above top");
        o.left = b[0], o.top = b[1], o.right = b[2], o.bottom = b[3];
    }
    Source source = LoadAny(image, LoadOptionsOf(page, exif));
    gw::MrzResult r;
    if (const auto view = source.View()) {
        py::gil_scoped_release nogil;
        r = gw::ReadMrz(*view, o);
    } else {
        const DVImageProcessor& picture = source.Image();
        py::gil_scoped_release nogil;
        r = gw::ReadMrz(picture, o);
    }
    if (!r.error.empty()) throw py::value_error(r.error);
    return r;
}

}  // namespace

void BindMrz(py::module_& m) {
    m.def("_read_mrz", &ReadMrz, py::arg("image"), py::arg("rect"), py::arg("all_orientations"),
          py::arg("page"), py::arg("exif"), py::arg("timeout"), py::arg("today"));
}

}  // namespace gwpy
