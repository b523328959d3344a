// read_lines: the library's line reading (gw::ReadLines), results as plain
// tuples that the package turns into its result classes.
#include <optional>

#include <pybind11/stl.h>

#include "GlyphwickLines.h"
#include "load.h"

namespace gwpy {
namespace {

using Pair = std::pair<int, int>;

// Plain tuples, which the package wraps in its result classes only when
// asked for: building Python objects is the larger part of a call's cost.
py::tuple BoxTuple(const std::array<int, 4>& b) {
    return py::make_tuple(b[0], b[1], b[2], b[3]);
}

py::tuple ObjectTuple(const gw::LineObject& o) {
    return py::make_tuple(BoxTuple(o.box), std::string(1, o.character), o.score, o.tag);
}

py::tuple ResultTuple(const gw::LinesResult& r) {
    py::list lines;
    for (const gw::TextLine& l : r.lines) {
        py::tuple chars(l.characters.size());
        for (size_t i = 0; i < l.characters.size(); ++i) chars[i] = ObjectTuple(l.characters[i]);
        lines.append(py::make_tuple(l.text, l.tag, l.score, l.pitch, BoxTuple(l.box), chars));
    }
    py::tuple objects(r.objects.size());
    for (size_t i = 0; i < r.objects.size(); ++i) objects[i] = ObjectTuple(r.objects[i]);
    return py::make_tuple(lines, objects, r.font);
}

py::tuple ReadLines(py::handle image, std::optional<std::array<int, 4>> rect,
                    std::optional<std::string> font, int fontIndex,
                    std::vector<std::string> patterns, bool spaces, int spacing, bool split,
                    Pair minSize, Pair maxSize, std::optional<std::array<int, 4>> fragments,
                    int holes, bool trim, unsigned threshold, bool allLines, bool punctuation) {
    gw::LineOptions o;
    o.rect = rect;
    o.font = font.value_or("");
    o.fontIndex = fontIndex;
    o.patternFiles = std::move(patterns);
    o.spaces = spaces;
    o.spacing = spacing;
    o.split = split;
    std::tie(o.minWidth, o.minHeight) = minSize;
    std::tie(o.maxWidth, o.maxHeight) = maxSize;
    if (fragments) {
        o.fragMinWidth = (*fragments)[0], o.fragMinHeight = (*fragments)[1];
        o.fragMaxWidth = (*fragments)[2], o.fragMaxHeight = (*fragments)[3];
    }
    o.holes = holes;
    o.trim = trim;
    o.threshold = threshold;
    o.allLines = allLines;
    o.punctuation = punctuation;
    Source source = LoadAny(image);
    gw::LinesResult r;
    {
        // ReadLines takes the library lock itself.
        py::gil_scoped_release nogil;
        r = source.Rows() ? gw::ReadLines(*source.Rows(), o) : gw::ReadLines(source.Image(), o);
    }
    if (r.status == gw::kLinesBadOptions || r.status == gw::kLinesBadRect)
        throw py::value_error(r.error);
    if (r.status != gw::kLinesOk) Raise(r.error);
    return ResultTuple(r);
}

// The C++ calls that read_lines makes, count times, with no Python between
// them: a path is decoded and read each time, an Image or an array read.
// For measuring the binding's own cost (bench/python_bench.py).
void CppLoop(py::handle image, std::optional<std::array<int, 4>> rect, int count) {
    gw::LineOptions o;
    o.rect = rect;
    const bool path = py::isinstance<py::str>(image);
    const std::string file = path ? image.cast<std::string>() : std::string();
    Source source;
    if (!path) source = LoadAny(image);
    py::gil_scoped_release nogil;
    for (int i = 0; i < count; ++i) {
        if (path) {
            DVImageProcessor decoded;
            decoded.LoadFromFile(file.c_str(), nullptr);
            gw::ReadLines(decoded, o);
        } else if (source.Rows()) {
            gw::ReadLines(*source.Rows(), o);
        } else {
            gw::ReadLines(*source.image, o);
        }
    }
}

}  // namespace

void BindLines(py::module_& m) {
    m.def("_cpp_loop", &CppLoop, py::arg("image"), py::arg("rect"), py::arg("count"));
    m.def("_read_lines", &ReadLines, py::arg("image"), py::arg("rect"), py::arg("font"),
          py::arg("font_index"), py::arg("patterns"), py::arg("spaces"), py::arg("spacing"),
          py::arg("split"), py::arg("min_size"), py::arg("max_size"), py::arg("fragments"),
          py::arg("holes"), py::arg("trim"), py::arg("threshold"), py::arg("all_lines"),
          py::arg("punctuation"));
}

}  // namespace gwpy
