// read_lines: the library's line reading (gw::ReadLines), results as plain
// dicts that the package turns into its result classes.
#include <optional>

#include <pybind11/stl.h>

#include "GlyphwickLines.h"
#include "load.h"

namespace gwpy {
namespace {

using Pair = std::pair<int, int>;

py::dict ObjectDict(const gw::LineObject& o) {
    py::dict d;
    d["box"] = py::make_tuple(o.box[0], o.box[1], o.box[2], o.box[3]);
    d["char"] = std::string(1, o.character);
    d["score"] = o.score;
    d["tag"] = o.tag;
    return d;
}

py::dict ResultDict(const gw::LinesResult& r) {
    py::list lines;
    for (const gw::TextLine& l : r.lines) {
        py::list chars;
        for (const gw::LineObject& c : l.characters) chars.append(ObjectDict(c));
        py::dict d;
        d["text"] = l.text;
        d["tag"] = l.tag;
        d["score"] = l.score;
        d["pitch"] = l.pitch;
        d["box"] = py::make_tuple(l.box[0], l.box[1], l.box[2], l.box[3]);
        d["characters"] = chars;
        lines.append(d);
    }
    py::list objects;
    for (const gw::LineObject& o : r.objects) objects.append(ObjectDict(o));
    py::dict d;
    d["lines"] = lines;
    d["objects"] = objects;
    d["font"] = r.font;
    return d;
}

py::dict ReadLines(py::handle image, std::optional<std::array<int, 4>> rect,
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
    return ResultDict(r);
}

}  // namespace

void BindLines(py::module_& m) {
    m.def("_read_lines", &ReadLines, py::arg("image"), py::arg("rect"), py::arg("font"),
          py::arg("font_index"), py::arg("patterns"), py::arg("spaces"), py::arg("spacing"),
          py::arg("split"), py::arg("min_size"), py::arg("max_size"), py::arg("fragments"),
          py::arg("holes"), py::arg("trim"), py::arg("threshold"), py::arg("all_lines"),
          py::arg("punctuation"));
}

}  // namespace gwpy
