#include "image.h"

#include <algorithm>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include "GlyphwickGrey.h"
#include "GlyphwickLoad.h"
#include "load.h"

namespace gwpy {
namespace {

// Runs f on the image object with the GIL released and the image's lock held.
template <class F>
auto Locked(const PyImage& self, F f) {
    py::gil_scoped_release nogil;
    const std::lock_guard<std::mutex> lock(*self.guard);
    return f(*self.image);
}

const char* ModeOf(const DVImageProcessor& image) {
    switch (image.GetBitsPerPixel()) {
        case 1:
            return "1";
        case 8:
            return "L";
        case 24:
            return "RGB";
        default:
            return "";
    }
}

void CheckInside(const DVImageProcessor& image, int64_t x, int64_t y) {
    if (x < 0 || y < 0 || x >= int64_t(image.GetWidth()) || y >= int64_t(image.GetHeight()))
        throw py::index_error("pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                              ") is outside the " + std::to_string(image.GetWidth()) + " x " +
                              std::to_string(image.GetHeight()) + " image");
}

// Whether every palette entry of an indexed image is a grey (red, green and
// blue equal): its grey levels are then the entries themselves, exactly.
bool GreyPalette(const DVImageProcessor& image) {
    const dv::Bitmap* bitmap = image.GetBitmap();
    if (bitmap == nullptr || image.GetBitsPerPixel() > 8) return false;
    std::vector<uint32_t> buffer(bitmap->GetPaletteSize() / 4 + 1);
    auto* palette = reinterpret_cast<dv::ColorPalette*>(buffer.data());
    if (bitmap->GetPalette(palette, bitmap->GetPaletteSize()) != dv::Ok) return false;
    for (uint32_t i = 0; i < palette->Count; ++i) {
        const uint32_t c = palette->Entries[i];
        if (((c >> 16) & 0xFF) != (c & 0xFF) || ((c >> 8) & 0xFF) != (c & 0xFF)) return false;
    }
    return true;
}

py::array ToNumpy(const PyImage& self) {
    const DVImageProcessor& image = *self.image;
    const size_t h = image.GetHeight(), w = image.GetWidth();
    if (image.GetBitsPerPixel() == 24) {
        py::array_t<uint8_t> out({h, w, size_t(3)});
        uint8_t* dst = out.mutable_data();
        Locked(self, [&](const DVImageProcessor& i) {
            const uint8_t* rows = i.GetBitmap()->Pixels();
            for (size_t y = 0; y < h; ++y)
                for (size_t x = 0; x < w; ++x)
                    for (size_t c = 0; c < 3; ++c)
                        dst[(y * w + x) * 3 + c] = rows[y * i.GetStride() + x * 3 + 2 - c];
        });
        return out;
    }
    py::array_t<uint8_t> out({h, w});
    uint8_t* dst = out.mutable_data();
    Locked(self, [&](const DVImageProcessor& i) {
        // A grey palette's levels as they are (a weighted sum could round
        // them down by one); a colour palette's by their brightness.
        const gw::GreyImage g =
            gw::ToGrey(i, GreyPalette(i) ? gw::GreyMode::Lightest : gw::GreyMode::Weighted);
        std::copy(g.pixels.begin(), g.pixels.end(), dst);
    });
    return out;
}

PyImage Convert(const PyImage& self, const std::string& mode) {
    if (mode != "L" && mode != "1" && mode != "RGB")
        throw py::value_error("mode must be 'L' (8-bit grey), '1' (1-bit) or 'RGB' (24-bit)");
    PyImage out{std::make_shared<DVImageProcessor>()};
    const uint32_t result = Locked(self, [&](DVImageProcessor& i) {
        if (i.CopyTo(out.image.get(), 0, nullptr) != 0) return 1u;
        if (mode == ModeOf(*out.image)) return 0u;
        if (mode == "L") return out.image->ConvertToGrey(0.3f, 0.59f, 0.11f);
        if (mode == "1") return out.image->ConvertTo1Bit();
        return out.image->ConvertTo24Bit();
    });
    if (result != 0)
        Raise("cannot convert the image to " + mode + " (code " +
              std::to_string(out.image->GetLastError()) + ")");
    return out;
}

}  // namespace

void BindImage(py::module_& m) {
    py::class_<PyImage>(m, "Image",
                        R"(An image as the library holds it: 1-bit, 8-bit grey or 24-bit colour.

Image(source) loads a path (str or os.PathLike) or the bytes of an encoded
file (BMP, JPEG, GIF, TIFF, PNG, JPEG 2000, WSQ), or copies a NumPy uint8
array (H x W grey or H x W x 3 RGB, any strides). Every method runs with the
GIL released under the library's process-wide lock.)")
        .def(py::init([](py::object source) {
                 if (IsArray(source)) return PyImage{FromArray(source)};
                 return PyImage{Decode(source)};
             }),
             py::arg("source"))
        .def_static(
            "from_numpy", [](py::object a) { return PyImage{FromArray(a)}; }, py::arg("array"),
            "A copy of a uint8 array: H x W gives 8-bit grey, H x W x 3 (RGB) 24-bit colour.")
        .def("to_numpy", &ToNumpy,
             "A copy of the pixels: H x W x 3 RGB for colour, else H x W grey levels read "
             "through the palette (0 black).")
        .def_property_readonly("width", [](const PyImage& s) { return s.image->GetWidth(); })
        .def_property_readonly("height", [](const PyImage& s) { return s.image->GetHeight(); })
        .def_property_readonly("bits_per_pixel",
                               [](const PyImage& s) { return s.image->GetBitsPerPixel(); })
        .def_property_readonly(
            "mode", [](const PyImage& s) { return ModeOf(*s.image); },
            "'1' (1-bit), 'L' (8-bit) or 'RGB' (24-bit).")
        .def_property(
            "resolution",
            [](const PyImage& s) {
                return py::make_tuple(s.image->GetHorizontalResolution(),
                                      s.image->GetVerticalResolution());
            },
            [](PyImage& s, std::pair<float, float> r) {
                if (r.first <= 0 || r.second <= 0)
                    throw py::value_error("a resolution must be above 0");
                Locked(s, [&](DVImageProcessor& i) { i.SetResolution(r.first, r.second); });
            },
            "Dots per inch, (horizontal, vertical).")
        .def(
            "get_pixel",
            [](const PyImage& s, int64_t x, int64_t y) {
                CheckInside(*s.image, x, y);
                uint32_t argb = 0;
                Locked(s,
                       [&](DVImageProcessor& i) { i.GetPixel(uint32_t(x), uint32_t(y), &argb); });
                return py::make_tuple((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
            },
            py::arg("x"), py::arg("y"), "The colour of pixel (x, y) as (red, green, blue).")
        .def(
            "set_pixel",
            [](PyImage& s, int64_t x, int64_t y, std::tuple<uint8_t, uint8_t, uint8_t> rgb) {
                CheckInside(*s.image, x, y);
                const uint32_t argb = 0xFF000000u | uint32_t(std::get<0>(rgb)) << 16 |
                                      uint32_t(std::get<1>(rgb)) << 8 | std::get<2>(rgb);
                Locked(s,
                       [&](DVImageProcessor& i) { i.SetPixel(uint32_t(x), uint32_t(y), &argb); });
            },
            py::arg("x"), py::arg("y"), py::arg("rgb"),
            "Writes pixel (x, y) from (red, green, blue); indexed images take its grey level.")
        .def("convert", &Convert, py::arg("mode"),
             "A converted copy: 'L' 8-bit grey, '1' 1-bit (grey above 128 white), 'RGB' 24-bit.")
        .def(
            "copy", [](const PyImage& s) { return Convert(s, ModeOf(*s.image)); },
            "An independent copy.")
        .def(
            "save",
            [](const PyImage& s, py::object path) {
                const std::string p =
                    py::module_::import("os").attr("fsdecode")(path).cast<std::string>();
                const unsigned type = gw::SaveTypeOfPath(p);
                if (type == 0)
                    throw py::value_error(p +
                                          ": unknown format (use .bmp, .jpg, .gif, .tif or .png)");
                const uint32_t r = Locked(
                    s, [&](DVImageProcessor& i) { return i.SaveToFile(p.c_str(), type, nullptr); });
                if (r != 0) Raise(p + ": cannot save the image (code " + std::to_string(r) + ")");
            },
            py::arg("path"), "Saves in the format the extension names (.bmp .jpg .gif .tif .png).")
        .def("__repr__", [](const PyImage& s) {
            return "<glyphwick.Image " + std::to_string(s.image->GetWidth()) + "x" +
                   std::to_string(s.image->GetHeight()) + " " + ModeOf(*s.image) + ">";
        });
}

}  // namespace gwpy
