// The image argument of every reader: a path (str or os.PathLike), the bytes
// of an encoded file, a glyphwick.Image, or a NumPy uint8 array (H x W grey or
// H x W x 3 RGB, any strides), turned into what the library reads.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "DVImageProcessor.h"
#include "GlyphwickImageView.h"
#include "GlyphwickLines.h"
#include "GlyphwickLoad.h"

namespace gwpy {

namespace py = pybind11;

/// An image argument. A NumPy array is not copied: rows describes it in
/// place and array keeps it alive; Image() makes an image object from it
/// only for a reader that needs one.
class Source {
  public:
    /// The image object to read (decoded, a glyphwick.Image's, or a copy of
    /// the array made on the first call). Call with the GIL held.
    const DVImageProcessor& Image();
    /// The array read in place, when the argument was one.
    const std::optional<gw::PixelRows>& Rows() const { return rows_; }
    /// A view over the array when its pixels lie side by side (grey, or RGB
    /// in that order) and its rows go down; else none.
    std::optional<gw::ImageView> View() const;

    std::shared_ptr<DVImageProcessor> image;  ///< decoded or shared
    std::optional<gw::PixelRows> rows_;
    py::object array;  ///< keeps the array alive while rows_ points into it
};

/// Turns a Python argument into a Source. Paths, buffers (bytes and any
/// object with the buffer protocol) and streams (objects with read()) are
/// decoded here with options (GIL released). Raises FileNotFoundError for a
/// missing file, glyphwick.Error for data the library cannot decode or an
/// array above the pixel limit, TypeError and ValueError for other arguments.
Source LoadAny(py::handle obj, const gw::LoadOptions& options);

/// The load options of the readers' page= and exif= arguments; ValueError
/// for page 0.
gw::LoadOptions LoadOptionsOf(uint32_t page, bool exif);

/// Decodes a file, buffer or stream into a new image object; raises as LoadAny.
std::shared_ptr<DVImageProcessor> Decode(py::handle obj, const gw::LoadOptions& options = {});

/// Copies a NumPy array (as LoadAny takes it) into a new image object: 8-bit
/// grey (the plain ramp) or 24-bit colour.
std::shared_ptr<DVImageProcessor> FromArray(py::handle obj);

/// True for a NumPy array; false without asking NumPy when it was never
/// imported (paths and bytes need no NumPy).
bool IsArray(py::handle obj);

/// The library's error, raised as glyphwick.Error.
[[noreturn]] void Raise(const std::string& reason);

}  // namespace gwpy
