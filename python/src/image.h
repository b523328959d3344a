// glyphwick.Image: the library's image object in Python.
#pragma once

#include <memory>

#include <pybind11/pybind11.h>

#include "DVImageProcessor.h"

namespace gwpy {

/// The Python face of an image object. Readers share the object; every
/// method runs under the library lock with the GIL released.
struct PyImage {
    std::shared_ptr<DVImageProcessor> image;
};

void BindImage(pybind11::module_& m);

}  // namespace gwpy
