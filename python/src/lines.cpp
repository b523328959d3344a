// read_lines: the library's line reading (gw::ReadLines) returning the
// library's own LinesResult.
#include <optional>

#include <pybind11/stl.h>

#include "GlyphwickLines.h"
#include "load.h"

namespace gwpy {
namespace {

using Pair = std::pair<int, int>;

gw::LinesResult ReadLines(py::handle image, std::optional<std::array<int, 4>> rect,
                          std::optional<std::string> font, int fontIndex,
                          std::vector<std::string> patterns, bool spaces, int spacing, bool split,
                          Pair minSize, Pair maxSize, std::optional<std::array<int, 4>> fragments,
                          int holes, bool trim, unsigned threshold, bool allLines, bool punctuation,
                          uint32_t page, bool exif, double timeout) {
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
    o.budget.seconds = timeout;
    Source source = LoadAny(image, LoadOptionsOf(page, exif));
    gw::LinesResult r;
    {
        // ReadLines takes the library lock itself.
        py::gil_scoped_release nogil;
        r = source.Rows() ? gw::ReadLines(*source.Rows(), o) : gw::ReadLines(source.Image(), o);
    }
    if (r.status == gw::kLinesBadOptions || r.status == gw::kLinesBadRect)
        throw py::value_error(r.error);
    if (r.status != gw::kLinesOk) Raise(r.error);
    return r;
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
    if (!path) source = LoadAny(image, {});
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
          py::arg("punctuation"), py::arg("page"), py::arg("exif"), py::arg("timeout"));
}

}  // namespace gwpy
