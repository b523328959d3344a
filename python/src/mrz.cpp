// read_mrz: the library's zone reader (gw::ReadMrz), its result as plain
// tuples that the package turns into its Mrz classes.
#include <optional>

#include <pybind11/stl.h>

#include "GlyphwickMrz.h"
#include "load.h"

namespace gwpy {
namespace {

py::tuple ResultTuple(const gw::MrzResult& r) {
    py::list fields;
    for (const gw::MrzField& f : r.fields)
        fields.append(py::make_tuple(f.name, f.raw, f.value, f.hasCheck,
                                     f.hasCheck ? std::string(1, f.check) : std::string(),
                                     f.checkValid, f.classValid));
    py::list corrections;
    for (const gw::MrzCorrection& c : r.corrections)
        corrections.append(py::make_tuple(c.line, c.column, std::string(1, c.from),
                                          std::string(1, c.to), c.field));
    py::list characters;
    for (const auto& line : r.characters) {
        py::list row;
        for (const gw::MrzCharacter& c : line) {
            py::list candidates;
            for (const auto& [ch, score] : c.candidates)
                candidates.append(py::make_tuple(std::string(1, ch), score));
            row.append(py::make_tuple(std::string(1, c.value), c.confidence, candidates));
        }
        characters.append(row);
    }
    py::tuple corners(4);
    for (size_t i = 0; i < 4; ++i)
        corners[i] = py::make_tuple(r.corners[i].first, r.corners[i].second);
    return py::make_tuple(r.found, r.format, py::cast(r.lines), r.valid, fields, corrections,
                          characters, corners, r.orientation, r.skew, r.characterHeight);
}

py::tuple ReadMrz(py::handle image, std::optional<std::array<int, 4>> rect, bool allOrientations) {
    gw::MrzOptions o;
    o.tryAllOrientations = allOrientations;
    if (rect) {
        const auto& b = *rect;
        if (b[2] < b[0] || b[3] < b[1]) throw py::value_error("the rectangle is inverted");
        o.left = b[0], o.top = b[1], o.right = b[2], o.bottom = b[3];
    }
    Source source = LoadAny(image);
    const DVImageProcessor& picture = source.Image();
    gw::MrzResult r;
    {
        // ReadMrz takes the library lock itself.
        py::gil_scoped_release nogil;
        r = gw::ReadMrz(picture, o);
    }
    if (!r.error.empty()) throw py::value_error(r.error);
    return ResultTuple(r);
}

}  // namespace

void BindMrz(py::module_& m) {
    m.def("_read_mrz", &ReadMrz, py::arg("image"), py::arg("rect"), py::arg("all_orientations"));
}

}  // namespace gwpy
