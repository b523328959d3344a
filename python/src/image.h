// glyphwick.Image: the library's image object in Python.
#pragma once

#include <memory>
#include <mutex>

#include <pybind11/pybind11.h>

#include "DVImageProcessor.h"

namespace gwpy {

/// The Python face of an image object. Readers share the object; every
/// method runs with the GIL released under the image's own lock, so two
/// threads never change one image at once while other images go on.
struct PyImage {
    std::shared_ptr<DVImageProcessor> image;
    std::shared_ptr<std::mutex> guard = std::make_shared<std::mutex>();
};

void BindImage(pybind11::module_& m);

}  // namespace gwpy
