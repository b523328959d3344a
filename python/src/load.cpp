#include "load.h"

#include "GlyphwickLoad.h"
#include "image.h"

namespace gwpy {
namespace {

// The raster of an array as PixelRows; raises for a dtype or shape the
// library cannot read.
gw::PixelRows RowsOf(const py::array& a) {
    // By kind and size, not identity: a uint8 dtype with metadata is uint8.
    if (a.dtype().kind() != 'u' || a.dtype().itemsize() != 1)
        throw py::value_error("the array must be uint8, not " + std::string(py::str(a.dtype())));
    const bool rgb = a.ndim() == 3 && a.shape(2) == 3;
    if (a.ndim() != 2 && !rgb)
        throw py::value_error("the array must be H x W (grey) or H x W x 3 (RGB)");
    if (a.shape(0) <= 0 || a.shape(1) <= 0) throw py::value_error("the array is empty");
    if (uint64_t(a.shape(0)) * uint64_t(a.shape(1)) > dv::kMaxImagePixels)
        Raise("array of " + std::to_string(a.shape(1)) + " x " + std::to_string(a.shape(0)) +
              ": the image has more pixels than the library takes (at most 268,435,456)");
    gw::PixelRows r;
    r.pixels = static_cast<const uint8_t*>(a.data());
    r.height = uint32_t(a.shape(0));
    r.width = uint32_t(a.shape(1));
    r.rowStep = a.strides(0);
    r.pixelStep = a.strides(1);
    r.channels = rgb ? 3 : 1;
    r.channelStep = rgb ? a.strides(2) : 1;
    return r;
}

// The library's one loader reads any supported file (JPEG of any marker
// layout, TIFF pages, Exif orientation applied); its reason is raised as
// glyphwick.Error, and a missing file as FileNotFoundError.
void RaiseLoad(const gw::LoadInfo& info, const std::string& what) {
    if (info.status == gw::kLoadNoSuchFile) {
        PyErr_SetObject(PyExc_FileNotFoundError, py::make_tuple(2, "no such file", what).ptr());
        throw py::error_already_set();
    }
    Raise(what + ": " + info.reason);
}

// A loaded file the loader has a warning about (a JPEG cut short) is read as
// far as it goes, with a Python warning naming the file.
void WarnLoad(const gw::LoadInfo& info, const std::string& what) {
    if (info.warning.empty()) return;
    const std::string text = what + ": " + info.warning;
    if (PyErr_WarnEx(PyExc_UserWarning, text.c_str(), 1) != 0) throw py::error_already_set();
}

std::shared_ptr<DVImageProcessor> DecodeBytes(const std::string_view data, const std::string& what,
                                              const gw::LoadOptions& options) {
    auto image = std::make_shared<DVImageProcessor>();
    gw::LoadInfo info;
    {
        py::gil_scoped_release nogil;
        info = gw::LoadImageMemory(reinterpret_cast<const uint8_t*>(data.data()), data.size(),
                                   *image, options);
    }
    if (info.status != gw::kLoaded) RaiseLoad(info, what);
    WarnLoad(info, what);
    return image;
}

std::shared_ptr<DVImageProcessor> DecodeFile(const std::string& path,
                                             const gw::LoadOptions& options) {
    auto image = std::make_shared<DVImageProcessor>();
    gw::LoadInfo info;
    {
        py::gil_scoped_release nogil;
        info = gw::LoadImageFile(path, *image, options);
    }
    if (info.status != gw::kLoaded) RaiseLoad(info, path);
    WarnLoad(info, path);
    return image;
}

}  // namespace

bool IsArray(py::handle obj) {
    static const py::object& modules = *new py::object(py::module_::import("sys").attr("modules"));
    return modules.contains("numpy") && py::isinstance<py::array>(obj);
}

void Raise(const std::string& reason) {
    static const py::object& error =
        *new py::object(py::module_::import("glyphwick._glyphwick").attr("Error"));
    PyErr_SetString(error.ptr(), reason.c_str());
    throw py::error_already_set();
}

gw::LoadOptions LoadOptionsOf(uint32_t page, bool exif) {
    if (page < 1) throw py::value_error("page counts from 1");
    gw::LoadOptions o;
    o.page = page;
    o.applyExifOrientation = exif;
    return o;
}

std::shared_ptr<DVImageProcessor> Decode(py::handle obj, const gw::LoadOptions& options) {
    // Any object with the buffer protocol holds an encoded file: bytes,
    // bytearray, memoryview, array.array, mmap.
    if (PyObject_CheckBuffer(obj.ptr())) {
        const auto data = py::reinterpret_steal<py::bytes>(PyBytes_FromObject(obj.ptr()));
        if (!data) throw py::error_already_set();
        return DecodeBytes(std::string_view(data), "bytes", options);
    }
    if (py::isinstance<py::str>(obj) || py::hasattr(obj, "__fspath__")) {
        const py::object path = py::module_::import("os").attr("fsdecode")(obj);
        return DecodeFile(path.cast<std::string>(), options);
    }
    // A stream (an open file, io.BytesIO): what it reads from here on.
    if (py::hasattr(obj, "read")) {
        const py::object data = obj.attr("read")();
        if (!PyObject_CheckBuffer(data.ptr()))
            throw py::type_error("the stream's read() gave " +
                                 std::string(py::str(py::type::of(data).attr("__name__"))) +
                                 ", not bytes: open the file in binary mode");
        const auto bytes = py::reinterpret_steal<py::bytes>(PyBytes_FromObject(data.ptr()));
        if (!bytes) throw py::error_already_set();
        return DecodeBytes(std::string_view(bytes), "stream", options);
    }
    throw py::type_error(
        "expected a path, bytes, a stream, a glyphwick.Image, a PIL image or a "
        "NumPy array, not " +
        std::string(py::str(py::type::of(obj).attr("__name__"))));
}

std::shared_ptr<DVImageProcessor> FromArray(py::handle obj) {
    const py::array a = py::array::ensure(obj);
    if (!a) throw py::type_error("expected a NumPy array");
    const gw::PixelRows r = RowsOf(a);
    auto image = std::make_shared<DVImageProcessor>();
    const int32_t format = r.channels == 3 ? dv::PixelFormat24bppRGB : dv::PixelFormat8bppIndexed;
    {
        py::gil_scoped_release nogil;
        if (image->Create(r.width, r.height, format) != 0 || image->GetBitmap() == nullptr)
            throw std::bad_alloc();
        dv::Bitmap& bitmap = *image->GetBitmap();
        for (uint32_t y = 0; y < r.height; ++y) {
            const uint8_t* src = r.pixels + ptrdiff_t(y) * r.rowStep;
            uint8_t* dst = bitmap.Pixels() + size_t(y) * bitmap.GetStride();
            for (uint32_t x = 0; x < r.width; ++x) {
                const uint8_t* p = src + ptrdiff_t(x) * r.pixelStep;
                if (r.channels == 1) {
                    dst[x] = *p;
                } else {  // the bitmap holds blue, green, red
                    dst[3 * x] = p[2 * r.channelStep];
                    dst[3 * x + 1] = p[r.channelStep];
                    dst[3 * x + 2] = p[0];
                }
            }
        }
    }
    return image;
}

const DVImageProcessor& Source::Image() {
    if (image == nullptr) image = FromArray(array);
    return *image;
}

std::optional<gw::ImageView> Source::View() const {
    if (!rows_) return std::nullopt;
    const gw::PixelRows& r = *rows_;
    // Pixels side by side, channels in order, rows going down.
    const bool packed = r.channels == 1 ? r.pixelStep == 1 : r.pixelStep == 3 && r.channelStep == 1;
    if (!packed || r.rowStep < ptrdiff_t(r.width) * r.pixelStep) return std::nullopt;
    return gw::ImageView(r.pixels, int(r.width), int(r.height),
                         r.channels == 1 ? gw::PixelFormat::Grey8 : gw::PixelFormat::RGB24,
                         r.rowStep);
}

Source LoadAny(py::handle obj, const gw::LoadOptions& options) {
    Source s;
    if (py::isinstance<PyImage>(obj)) {
        s.image = obj.cast<const PyImage&>().image;
    } else if (IsArray(obj)) {
        s.array = py::reinterpret_borrow<py::object>(obj);
        s.rows_ = RowsOf(py::reinterpret_borrow<py::array>(obj));
    } else {
        s.image = Decode(obj, options);
    }
    return s;
}

}  // namespace gwpy
