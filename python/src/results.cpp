// The library's result types bound as they are (no copies into tuples): the
// package's MrzResult, Barcode, LinesResult and their parts are these
// classes. Every to_dict() is the library's own JSON (GlyphwickJson.h) read
// back by Python's json module, so it has the keys and numbers of the tool's
// --json and of the C exports.
#include <pybind11/stl.h>

#include "GlyphwickJson.h"
#include "GlyphwickMrz.h"
#include "results.h"

namespace gwpy {
namespace {

py::object FromJson(const std::string& text) {
    static const py::object& loads = *new py::object(py::module_::import("json").attr("loads"));
    return loads(py::str(text));
}

// The first item of the list under key of a JSON object read back.
py::object Item(const std::string& json, const char* key) {
    const py::object whole = FromJson(json);
    return py::object(whole[key][py::int_(0)]);
}

py::str Char(char c) {
    return py::str(std::string(1, c == 0 ? ' ' : c));
}

// Bytes 0 to 255 of a Code 128 text as the characters they stand for.
py::str Latin1(const std::string& s) {
    return py::reinterpret_steal<py::str>(
        PyUnicode_DecodeLatin1(s.data(), py::ssize_t(s.size()), nullptr));
}

py::tuple Box(const std::array<int, 4>& b) {
    return py::make_tuple(b[0], b[1], b[2], b[3]);
}

py::tuple Corners(const std::array<std::pair<float, float>, 4>& c) {
    return py::make_tuple(
        py::make_tuple(c[0].first, c[0].second), py::make_tuple(c[1].first, c[1].second),
        py::make_tuple(c[2].first, c[2].second), py::make_tuple(c[3].first, c[3].second));
}

void BindMrzTypes(py::module_& m) {
    py::class_<gw::MrzField>(m, "MrzField",
                             "One field of a zone: name, raw characters, value (fillers as "
                             "blanks), its check digit, and whether it can be trusted.")
        .def_readonly("name", &gw::MrzField::name)
        .def_readonly("raw", &gw::MrzField::raw)
        .def_readonly("value", &gw::MrzField::value)
        .def_readonly("has_check", &gw::MrzField::hasCheck)
        .def_property_readonly(
            "check", [](const gw::MrzField& f) { return f.hasCheck ? Char(f.check) : py::str(""); })
        .def_readonly("check_valid", &gw::MrzField::checkValid)
        .def_readonly("class_valid", &gw::MrzField::classValid)
        .def_readonly("valid", &gw::MrzField::valid)
        .def("__repr__", [](const gw::MrzField& f) {
            return "<MrzField " + f.name + "='" + f.value + "'" + (f.valid ? "" : " not valid") +
                   ">";
        });
    py::class_<gw::MrzCheck>(m, "MrzCheck",
                             "One check digit: the field it guards, the digit read, the digit "
                             "its data give, and whether they agree.")
        .def_readonly("field", &gw::MrzCheck::field)
        .def_property_readonly("read", [](const gw::MrzCheck& c) { return Char(c.read); })
        .def_property_readonly("computed", [](const gw::MrzCheck& c) { return Char(c.computed); })
        .def_readonly("holds", &gw::MrzCheck::holds);
    py::class_<gw::MrzCorrection>(m, "MrzCorrection",
                                  "A character a check digit confirmed: line and column (from "
                                  "0), the character read and the one reported, and its field.")
        .def_readonly("line", &gw::MrzCorrection::line)
        .def_readonly("column", &gw::MrzCorrection::column)
        .def_property_readonly("read", [](const gw::MrzCorrection& c) { return Char(c.from); })
        .def_property_readonly("corrected", [](const gw::MrzCorrection& c) { return Char(c.to); })
        .def_readonly("field", &gw::MrzCorrection::field);
    py::class_<gw::MrzCharacter>(m, "MrzCharacter",
                                 "One character of a zone: its value, confidence (0 to 1) and "
                                 "ranked candidates [(character, score), ...].")
        .def_property_readonly("value", [](const gw::MrzCharacter& c) { return Char(c.value); })
        .def_readonly("confidence", &gw::MrzCharacter::confidence)
        .def_property_readonly("candidates", [](const gw::MrzCharacter& c) {
            py::list out;
            for (const auto& [ch, score] : c.candidates)
                out.append(py::make_tuple(Char(ch), score));
            return out;
        });
    py::class_<gw::MrzResult>(m, "MrzResult",
                              "What read_mrz found. valid holds only when every check digit "
                              "holds, every field fits its class and the dates are dates; "
                              "reasons says why not, in words.")
        .def_readonly("found", &gw::MrzResult::found)
        .def_readonly("format", &gw::MrzResult::format)
        .def_readonly("lines", &gw::MrzResult::lines)
        .def_readonly("valid", &gw::MrzResult::valid)
        .def_readonly("checks_ok", &gw::MrzResult::checksOk)
        .def_readonly("score", &gw::MrzResult::score)
        .def_readonly("reasons", &gw::MrzResult::reasons)
        .def_readonly("fields", &gw::MrzResult::fields)
        .def_readonly("checks", &gw::MrzResult::checks)
        .def_readonly("corrections", &gw::MrzResult::corrections)
        .def_readonly("characters", &gw::MrzResult::characters)
        .def_property_readonly("corners", [](const gw::MrzResult& r) { return Corners(r.corners); })
        .def_readonly("orientation", &gw::MrzResult::orientation)
        .def_readonly("skew", &gw::MrzResult::skew)
        .def_readonly("character_height", &gw::MrzResult::characterHeight)
        .def_readonly("surname", &gw::MrzResult::surname)
        .def_readonly("given_names", &gw::MrzResult::givenNames)
        .def_readonly("birth_date", &gw::MrzResult::birthDate)
        .def_readonly("expiry_date", &gw::MrzResult::expiryDate)
        .def_readonly("expired", &gw::MrzResult::expired)
        .def_readonly("optional_data", &gw::MrzResult::optionalData)
        .def_readonly("reaches_edge", &gw::MrzResult::reachesEdge)
        .def_readonly("mirrored", &gw::MrzResult::mirrored)
        .def_readonly("stopped", &gw::MrzResult::stopped)
        .def_readonly("stop_reason", &gw::MrzResult::stopReason)
        .def(
            "field",
            [](const gw::MrzResult& r, const std::string& name) -> py::object {
                for (const gw::MrzField& f : r.fields)
                    if (f.name == name) return py::cast(f);
                return py::none();
            },
            py::arg("name"), "The field of that name, or None.")
        .def(
            "to_dict", [](const gw::MrzResult& r) { return FromJson(gw::MrzResultToJson(r)); },
            "The result as plain dicts and lists: the library's JSON (as glyphwick mrz --json "
            "prints it per file).")
        .def("__repr__", [](const gw::MrzResult& r) {
            return "<MrzResult " +
                   (r.found ? r.format + (r.valid ? " valid" : " not valid")
                            : std::string("not found")) +
                   ">";
        });
}

void BindBarcodeTypes(py::module_& m) {
    py::class_<gw::BarcodeResult>(m, "Barcode",
                                  "One symbol read: symbology ('code39' or 'code128'), text, "
                                  "Code 128 values or Code 39 characters, gs1, code32, corners, "
                                  "orientation, mirrored, checks_ok and the scan lines that read "
                                  "it.")
        .def_property_readonly("symbology",
                               [](const gw::BarcodeResult& b) {
                                   return b.symbology == gw::Symbology::Code39 ? "code39"
                                                                               : "code128";
                               })
        .def_property_readonly("text", [](const gw::BarcodeResult& b) { return Latin1(b.text); })
        .def_property_readonly(
            "values", [](const gw::BarcodeResult& b) { return py::tuple(py::cast(b.values)); })
        .def_readonly("characters", &gw::BarcodeResult::characters)
        .def_readonly("gs1", &gw::BarcodeResult::gs1)
        .def_readonly("code32", &gw::BarcodeResult::code32)
        .def_property_readonly("corners",
                               [](const gw::BarcodeResult& b) { return Corners(b.corners); })
        .def_readonly("orientation", &gw::BarcodeResult::orientation)
        .def_readonly("mirrored", &gw::BarcodeResult::mirrored)
        .def_readonly("checks_ok", &gw::BarcodeResult::checksOk)
        .def_readonly("lines", &gw::BarcodeResult::lines)
        .def(
            "to_dict",
            [](const gw::BarcodeResult& b) {
                return Item(gw::BarcodeResultsToJson({b}), "barcodes");
            },
            "The symbol as a plain dict: one item of the library's JSON list "
            "(glyphwick barcode --json).")
        .def("__repr__", [](const gw::BarcodeResult& b) {
            return std::string("<Barcode ") +
                   (b.symbology == gw::Symbology::Code39 ? "code39 " : "code128 ") +
                   std::string(py::repr(Latin1(b.text))) + ">";
        });
}

void BindLineTypes(py::module_& m) {
    py::class_<gw::LineObject>(m, "Character",
                               "One object as identified: box (left, top, right, bottom, "
                               "inclusive), char ('?' unread, ' ' a blank), score and line tag.")
        .def_property_readonly("box", [](const gw::LineObject& o) { return Box(o.box); })
        .def_property_readonly("char", [](const gw::LineObject& o) { return Char(o.character); })
        .def_readonly("score", &gw::LineObject::score)
        .def_readonly("tag", &gw::LineObject::tag)
        .def("to_dict", [](const gw::LineObject& o) {
            gw::LinesResult r;
            r.objects.push_back(o);
            return Item(gw::LinesResultToJson(r), "objects");
        });
    py::class_<gw::TextLine>(m, "TextLine",
                             "One line: text, tag, mean score, pitch, box and its characters.")
        .def_readonly("text", &gw::TextLine::text)
        .def_readonly("tag", &gw::TextLine::tag)
        .def_readonly("score", &gw::TextLine::score)
        .def_readonly("pitch", &gw::TextLine::pitch)
        .def_property_readonly("box", [](const gw::TextLine& l) { return Box(l.box); })
        .def_readonly("characters", &gw::TextLine::characters)
        .def("to_dict", [](const gw::TextLine& l) {
            gw::LinesResult r;
            r.lines.push_back(l);
            return Item(gw::LinesResultToJson(r), "lines");
        });
    py::class_<gw::LinesResult>(m, "LinesResult",
                                "What read_lines found: the lines, every object kept, the font "
                                "identified with, and whether the budget stopped the reading.")
        .def_readonly("lines", &gw::LinesResult::lines)
        .def_readonly("objects", &gw::LinesResult::objects)
        .def_readonly("font", &gw::LinesResult::font)
        .def_readonly("stopped", &gw::LinesResult::stopped)
        .def_readonly("stop_reason", &gw::LinesResult::stopReason)
        .def_property_readonly(
            "text",
            [](const gw::LinesResult& r) {
                std::string t;
                for (size_t i = 0; i < r.lines.size(); ++i) t += (i ? "\n" : "") + r.lines[i].text;
                return t;
            },
            "The lines' texts joined by newlines.")
        .def(
            "to_dict", [](const gw::LinesResult& r) { return FromJson(gw::LinesResultToJson(r)); },
            "The result as plain dicts and lists: the library's JSON (glyphwick read --json).");
}

}  // namespace

void BindResults(py::module_& m) {
    BindMrzTypes(m);
    BindBarcodeTypes(m);
    BindLineTypes(m);
}

}  // namespace gwpy
