// The bindings of the library's result types (results.cpp).
#pragma once

#include <pybind11/pybind11.h>

namespace gwpy {

namespace py = pybind11;

/// Binds MrzResult, MrzField, MrzCheck, MrzCorrection, MrzCharacter, Barcode,
/// LinesResult, TextLine and Character into m.
void BindResults(py::module_& m);

}  // namespace gwpy
