#include "Commands.h"

#include <cinttypes>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <thread>

#include "Annotate.h"
#include "Batch.h"
#include "DVImageProcessor.h"
#include "Errors.h"
#include "GlyphwickJson.h"

namespace gwtool {

namespace {

std::string Quoted(const std::string& s) {
    return Json(s).dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Loads a file as the library's readers take it: any pixel format as it is
// (grey through the palette, colour weighed into brightness by the readers,
// the zone reader taking a colour page's lightest channel), so that the tool
// reads what a host reading the same file reads.
// Loads a file to read; a warning of the loader (a JPEG cut short) goes into
// out, for its JSON and its text.
std::unique_ptr<DVImageProcessor> LoadForReading(const std::string& file, const Common& common,
                                                 FileResult& out) {
    Loaded loaded = LoadImage(file, common.load);
    if (!loaded.info.warning.empty()) out.json["warning"] = loaded.info.warning;
    return std::move(loaded.image);
}

// The text of a file's result, after its loader's warning when there is one.
std::string WithWarning(const FileResult& out, const std::string& text) {
    if (!out.json.contains("warning")) return text;
    return "(warning: " + out.json["warning"].get<std::string>() + ")\n" + text;
}

// Draws and saves an annotation; a failure is kept beside the reading.
void Annotate(FileResult& out, const Common& common, size_t index,
              const std::function<void(Annotation&)>& draw, DVImageProcessor& image) {
    if (common.annotate.empty()) return;
    const std::string path = AnnotationPath(common.annotate, index, common.files.size());
    try {
        Annotation a(image);
        draw(a);
        a.Save(path);
    } catch (const InputError& e) {
        out.annotationError =
            (e.File().empty() ? path : e.File()) + ": annotation not written: " + e.what();
    }
}

// Frames and labels every object in its line's colour.
void FrameObjects(Annotation& a, const std::vector<ObjectReading>& objects) {
    for (const ObjectReading& o : objects) {
        a.Frame(o.box, LineColour(o.tag));
        a.Label(o.box, o.identity, LineColour(o.tag));
    }
}

}  // namespace

std::string AnnotationPath(const std::string& path, size_t index, size_t count) {
    if (count <= 1) return path;
    const std::filesystem::path p(path);
    std::filesystem::path out = p.parent_path() / p.stem();
    out += "-";
    out += std::to_string(index + 1);
    out += p.extension();
    return out.string();
}

unsigned DefaultJobs() {
    return std::max(1u, std::thread::hardware_concurrency());
}

std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {

// The library's JSON of a result, after the file's own keys.
void AddLibraryJson(FileResult& out, const std::string& json) {
    const Json library = Json::parse(json);
    for (const auto& [k, v] : library.items()) out.json[k] = v;
}

// A coordinate as the plain output prints it: a whole pixel, never negative.
long Pixel(float v) {
    return std::max(0L, std::lround(v));
}

std::string CornersText(const std::array<std::pair<float, float>, 4>& corners) {
    std::ostringstream out;
    for (size_t i = 0; i < corners.size(); ++i)
        out << (i ? " " : "") << Pixel(corners[i].first) << "," << Pixel(corners[i].second);
    return out.str();
}

}  // namespace

Common WithPages(const Common& common) {
    if (!common.allPages) return common;
    Common out = common;
    out.files.clear();
    out.pages.clear();
    for (const std::string& file : common.files) {
        uint32_t count = 1;
        if (file != "-") {
            try {
                count = std::max<uint32_t>(1, LoadImage(file, common.load).info.pageCount);
            } catch (const InputError&) {
                count = 1;  // the file's error is reported when it is read
            }
        }
        for (uint32_t p = 1; p <= count; ++p) out.files.push_back(file), out.pages.push_back(p);
    }
    return out;
}

gw::LoadOptions LoadOptionsFor(const Common& common, size_t index) {
    gw::LoadOptions o = common.load;
    if (index < common.pages.size()) o.page = common.pages[index];
    return o;
}

int RunRead(const Common& given, const gw::LineOptions& options) {
    const Common common = WithPages(given);
    LoadPatterns(common.patterns);
    CheckFont(options.font, options.fontIndex);
    gw::LineOptions o = options;
    o.budget.seconds = common.timeout;
    return ForEachFile(common, [&](const std::string& file, size_t index) {
        Common one = common;
        one.load = LoadOptionsFor(common, index);
        FileResult out;
        auto image = LoadForReading(file, one, out);
        const gw::LinesResult r = ReadText(*image, o, file);
        if (!common.pages.empty()) out.json["page"] = one.load.page;
        std::ostringstream text;
        for (const gw::TextLine& l : r.lines) {
            if (o.allLines) {
                text << "line " << l.tag << " (score " << l.score << ", pitch " << l.pitch
                     << "): " << l.text << "\n";
            } else {
                text << l.text << "\n"
                     << "  line " << l.tag << ", score " << l.score << ", pitch " << l.pitch
                     << ", font " << r.font << "\n";
            }
            if (!l.text.empty()) out.status = kRead;
        }
        if (r.lines.empty()) text << "(no line read)\n";
        if (r.stopped) text << "(stopped: " << r.stopReason << ")\n";
        AddLibraryJson(out, gw::LinesResultToJson(r));
        out.text = WithWarning(out, text.str());
        const auto objects = ObjectsOf(r.objects);
        Annotate(
            out, common, index, [&](Annotation& a) { FrameObjects(a, objects); }, *image);
        return out;
    });
}

int RunBarcode(const Common& given, const BarcodeSettings& settings) {
    const Common common = WithPages(given);
    gw::BarcodeOptions o = settings.options;
    o.budget.seconds = common.timeout;
    return ForEachFile(common, [&](const std::string& file, size_t index) {
        Common one = common;
        one.load = LoadOptionsFor(common, index);
        FileResult out;
        auto image = LoadForReading(file, one, out);
        gw::BarcodeReport report;
        const auto found = ReadBarcodesIn(*image, o, settings.rect, file, &report);
        if (!common.pages.empty()) out.json["page"] = one.load.page;
        std::ostringstream text;
        for (const gw::BarcodeResult& b : found) {
            const std::string shown = Quoted(Latin1ToUtf8(b.text));
            if (settings.oneLine) {
                text << file << "\t" << SymbologyName(b.symbology) << "\t" << Latin1ToUtf8(b.text)
                     << "\n";
                continue;
            }
            text << SymbologyName(b.symbology) << " " << shown << (b.gs1 ? " (GS1)" : "");
            if (!b.code32.empty()) text << ", Code 32 " << b.code32;
            text << "\n  at " << CornersText(b.corners) << ", turned " << b.orientation
                 << " degrees"
                 << (b.symbology == gw::Symbology::Code39 && b.checksOk ? ", check character ok"
                                                                        : "")
                 << "\n";
        }
        if (!found.empty()) out.status = kRead;
        if (found.empty() && !settings.oneLine) {
            const bool both = o.code39 && o.code128;
            text << "(no "
                 << (both       ? "Code 39 or Code 128"
                     : o.code39 ? "Code 39"
                                : "Code 128")
                 << " barcode found)\n";
        }
        if (report.stopped) text << "(stopped: " << report.stopReason << ")\n";
        AddLibraryJson(out, gw::BarcodeResultsToJson(found, &report));
        out.text = WithWarning(out, text.str());
        Annotate(
            out, common, index,
            [&](Annotation& a) {
                for (const gw::BarcodeResult& b : found) {
                    const Colour c = b.checksOk ? Colour{0, 160, 0} : Colour{220, 0, 0};
                    int l = INT32_MAX, t = INT32_MAX, r = 0, btm = 0;
                    for (const auto& [x, y] : b.corners) {
                        l = std::min(l, int(Pixel(x))), t = std::min(t, int(Pixel(y)));
                        r = std::max(r, int(Pixel(x))), btm = std::max(btm, int(Pixel(y)));
                    }
                    a.Frame({l, t, r, btm}, c, 3);
                    a.Text(l, std::max(0, t - 20), Latin1ToUtf8(b.text), c, 2);
                }
            },
            *image);
        return out;
    });
}

int RunMrz(const Common& given, const MrzSettings& settings) {
    const Common common = WithPages(given);
    MrzSettings s = settings;
    s.timeout = common.timeout;
    return ForEachFile(common, [&](const std::string& file, size_t index) {
        Common one = common;
        one.load = LoadOptionsFor(common, index);
        FileResult out;
        auto image = LoadForReading(file, one, out);
        const gw::MrzResult r = ReadMrz(*image, s, file);
        const std::vector<Box> lineBoxes = MrzLineBoxes(r);
        if (!common.pages.empty()) out.json["page"] = one.load.page;
        std::ostringstream text;
        if (!r.found) {
            text << "(no machine-readable zone found)\n";
            if (r.stopped) text << "(stopped: " << r.stopReason << ")\n";
        } else {
            out.status = r.valid || !s.strict ? kRead : kNothingRead;
            text << "format " << r.format << ", ";
            if (r.valid) {
                text << "valid";
            } else {
                text << "NOT VALID";
                for (size_t i = 0; i < r.reasons.size(); ++i)
                    text << (i ? "; " : ": ") << r.reasons[i];
            }
            text << " (score " << r.score << ")" << (r.orientation == 180 ? ", upside down" : "")
                 << "\n";
            for (const std::string& l : r.lines) text << "  " << l << "\n";
            for (const gw::MrzField& f : r.fields) {
                if (f.name == "name" || f.name == "composite") continue;  // shown by parts
                std::string value = f.value;
                if (f.name == "birth_date" && !r.birthDate.empty()) value = r.birthDate;
                if (f.name == "expiry_date" && !r.expiryDate.empty())
                    value = r.expiryDate + (r.expired ? " (expired)" : "");
                char line[200];
                if (f.hasCheck) {
                    std::snprintf(line, sizeof line, "  %-16s %-24s check %c %s\n", f.name.c_str(),
                                  value.c_str(), f.check, f.checkValid ? "ok" : "FAILED");
                } else {
                    std::snprintf(line, sizeof line, "  %-16s %s%s\n", f.name.c_str(),
                                  value.c_str(), f.classValid ? "" : "  (outside its class)");
                }
                text << line;
            }
            for (const gw::MrzField& f : r.fields)
                if (f.name == "composite")
                    text << "  composite check " << f.check << " "
                         << (f.checkValid ? "ok" : "FAILED") << "\n";
            for (const gw::MrzCorrection& c : r.corrections)
                text << "  corrected line " << c.line + 1 << " column " << c.column + 1 << ": "
                     << c.from << " -> " << c.to << " (" << c.field << ")\n";
        }
        AddLibraryJson(out, gw::MrzResultToJson(r));
        out.text = WithWarning(out, text.str());
        Annotate(
            out, common, index,
            [&](Annotation& a) {
                FrameObjects(a, MrzObjects(r));
                const Colour zone = r.found && r.valid ? Colour{0, 160, 0} : Colour{220, 0, 0};
                for (const Box& b : lineBoxes)
                    a.Frame({b.left - 4, b.top - 4, b.right + 4, b.bottom + 4}, zone, 2);
            },
            *image);
        return out;
    });
}

namespace {

struct Property {
    uint32_t id;
    uint16_t type;
    uint32_t length;
    std::string value;
};

// Names of the common metadata properties (EXIF and TIFF tags).
const char* PropertyName(uint32_t id) {
    switch (id) {
        case 0x010E:
            return "ImageDescription";
        case 0x010F:
            return "Make";
        case 0x0110:
            return "Model";
        case 0x0112:
            return "Orientation";
        case 0x011A:
            return "XResolution";
        case 0x011B:
            return "YResolution";
        case 0x0128:
            return "ResolutionUnit";
        case 0x0131:
            return "Software";
        case 0x0132:
            return "DateTime";
        case 0x013B:
            return "Artist";
        case 0x8298:
            return "Copyright";
        case 0x9003:
            return "DateTimeOriginal";
        default:
            return "";
    }
}

int32_t CollectProperties(dv::PropertyItem* items, uint32_t count, uint64_t argument) {
    auto* out = reinterpret_cast<std::vector<Property>*>(static_cast<uintptr_t>(argument));
    for (uint32_t i = 0; i < count; ++i) {
        const dv::PropertyItem& p = items[i];
        std::string value;
        const auto* bytes = static_cast<const unsigned char*>(p.value);
        if (p.type == 2 && bytes != nullptr) {  // ASCII
            for (uint32_t k = 0; k < p.length && bytes[k] != 0; ++k)
                value += static_cast<char>(bytes[k]);
        } else if (p.type == 3 && bytes != nullptr && p.length >= 2) {  // SHORT
            uint16_t v;
            std::memcpy(&v, bytes, 2);
            value = std::to_string(v);
        } else if (p.type == 4 && bytes != nullptr && p.length >= 4) {  // LONG
            uint32_t v;
            std::memcpy(&v, bytes, 4);
            value = std::to_string(v);
        } else if (p.type == 5 && bytes != nullptr && p.length >= 8) {  // RATIONAL
            uint32_t n, d;
            std::memcpy(&n, bytes, 4);
            std::memcpy(&d, bytes + 4, 4);
            value = std::to_string(n) + "/" + std::to_string(d);
        }
        out->push_back({p.id, p.type, p.length, value});
    }
    return 0;
}

}  // namespace

int RunInfo(const Common& given) {
    const Common common = WithPages(given);
    return ForEachFile(common, [&](const std::string& file, size_t index) {
        Loaded loaded = LoadImage(file, LoadOptionsFor(common, index));
        DVImageProcessor& image = *loaded.image;
        const gw::LoadInfo& li = loaded.info;
        std::vector<Property> properties;
        image.EnumerateProperties(&CollectProperties,
                                  static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&properties)));
        float dx = 0, dy = 0;
        image.GetResolution(&dx, &dy);
        FileResult out;
        out.status = kRead;
        out.json["format"] = li.format;
        out.json["width"] = image.GetWidth();
        out.json["height"] = image.GetHeight();
        out.json["pixel_format"] = PixelFormatName(image.GetPixelFormat());
        out.json["bits_per_pixel"] = image.GetBitsPerPixel();
        out.json["resolution"] = Json::array({dx, dy});
        out.json["pages"] = li.pageCount;
        out.json["page"] = LoadOptionsFor(common, index).page;
        out.json["exif_orientation"] = li.exifOrientation;
        if (!li.warning.empty()) out.json["warning"] = li.warning;
        Json props = Json::array();
        std::ostringstream text;
        char pf[16];
        std::snprintf(pf, sizeof pf, "0x%08X", static_cast<unsigned>(image.GetPixelFormat()));
        text << "format      " << li.format << "\n"
             << "size        " << image.GetWidth() << " x " << image.GetHeight() << "\n"
             << "pixels      " << PixelFormatName(image.GetPixelFormat()) << " (" << pf << "), "
             << image.GetBitsPerPixel() << " bits\n"
             << "resolution  " << std::round(dx * 10) / 10 << " x " << std::round(dy * 10) / 10
             << " dpi\n";
        if (li.pageCount > 1)
            text << "pages       " << li.pageCount << " (this is page "
                 << LoadOptionsFor(common, index).page << ")\n";
        if (li.exifOrientation != 0) {
            text << "orientation " << li.exifOrientation
                 << (li.exifOrientation == 1            ? " (upright)"
                     : common.load.applyExifOrientation ? " (size shown after turning upright)"
                                                        : " (size as stored)")
                 << "\n";
        }
        text << "properties  " << properties.size() << "\n";
        for (const Property& p : properties) {
            props.push_back({{"id", p.id},
                             {"name", PropertyName(p.id)},
                             {"type", p.type},
                             {"length", p.length},
                             {"value", p.value}});
            char line[64];
            std::snprintf(line, sizeof line, "  0x%04X %-16s ", p.id, PropertyName(p.id));
            if (p.value.empty()) {
                text << line << "(" << p.length << " bytes)\n";
            } else {
                text << line << p.value << "\n";
            }
        }
        out.json["properties"] = props;
        out.text = WithWarning(out, text.str());
        return out;
    });
}

namespace {

// A 24-bit copy of an indexed image with every pixel in its palette colour.
std::unique_ptr<DVImageProcessor> ColourCopy(DVImageProcessor& image) {
    const uint32_t w = image.GetWidth(), h = image.GetHeight(), bits = image.GetBitsPerPixel();
    const dv::Bitmap* bitmap = image.GetBitmap();
    std::vector<uint32_t> buffer(bitmap->GetPaletteSize() / 4 + 1);
    auto* palette = reinterpret_cast<dv::ColorPalette*>(buffer.data());
    if (bitmap->GetPalette(palette, bitmap->GetPaletteSize()) != dv::Ok) return nullptr;
    const size_t stride = size_t(w) * 3;  // packed rows, as SetBits takes them
    std::vector<uint8_t> rows(stride * h);
    const uint8_t* src = bitmap->Pixels();
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* row = src + size_t(y) * bitmap->GetStride();
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t i = bits == 1 ? (row[x >> 3] >> (7 - (x & 7))) & 1 : row[x];
            const uint32_t argb = i < palette->Count ? palette->Entries[i] : 0;
            uint8_t* p = rows.data() + size_t(y) * stride + size_t(x) * 3;
            p[0] = uint8_t(argb), p[1] = uint8_t(argb >> 8), p[2] = uint8_t(argb >> 16);
        }
    }
    auto out = std::make_unique<DVImageProcessor>();
    if (out->Create(w, h, dv::PixelFormat24bppRGB) != 0 || out->SetBits(rows.data(), 0) != 0)
        return nullptr;
    float dx = 0, dy = 0;
    image.GetResolution(&dx, &dy);
    out->SetResolution(dx, dy);
    return out;
}

// Turns the image into 8-bit grey by its colours: as the readers take it,
// and a 1-bit image widened to 8 bits.
void ToGreyLevels(std::unique_ptr<DVImageProcessor>& image, const std::string& file) {
    MakeReadable(image, file);
    if (image->GetBitsPerPixel() == 1) {
        auto grey = GreyCopy(*image);
        if (!grey) throw InputError(file, "the image's pixels cannot be turned into grey levels");
        image = std::move(grey);
    }
}

}  // namespace

int RunConvert(const std::string& in, const std::string& outPath, const ConvertSettings& s) {
    if (gw::SaveTypeOfPath(outPath) == 0) {
        throw InputError(outPath, "unknown output format (use .bmp, .jpg, .gif, .tif or .png)");
    }
    auto image = LoadImage(in, s.load).image;
    auto check = [&](uint32_t result, const char* what) {
        if (result != 0) throw InputError(in, std::string("the image cannot be ") + what);
    };
    using T = ConvertSettings::Target;
    if (s.target == T::Grey) ToGreyLevels(image, in);
    if (s.target == T::OneBit && image->GetBitsPerPixel() != 1) {
        if (image->GetBitsPerPixel() == 8) ToGreyLevels(image, in);
        check(image->ConvertTo1Bit(), "turned into black and white");
    }
    if (s.target == T::Colour && image->GetBitsPerPixel() != 24) {
        auto colour = ColourCopy(*image);
        if (!colour) throw InputError(in, "the image cannot be turned into colour");
        image = std::move(colour);
    }
    if (s.threshold >= 0) {
        ToGreyLevels(image, in);
        check(image->Threshold(static_cast<uint32_t>(s.threshold)), "thresholded");
    }
    if (s.invert) check(image->Invert(), "inverted");
    if (s.rotate >= 0) check(image->RotateFlip(s.rotate), "rotated");
    SaveImage(*image, outPath, s.save);
    return kRead;
}

int RunFonts(bool json, const std::vector<std::string>& patterns) {
    LoadPatterns(patterns);
    const auto fonts = FontNames();
    if (json) {
        Json list = Json::array();
        for (size_t i = 0; i < fonts.size(); ++i)
            list.push_back({{"index", i}, {"name", fonts[i]}});
        WriteJson(Json{{"fonts", list}});
    } else {
        for (size_t i = 0; i < fonts.size(); ++i) std::cout << i << "  " << fonts[i] << "\n";
        if (fonts.empty()) std::cout << "(no fonts loaded)\n";
    }
    return fonts.empty() ? kNothingRead : kRead;
}

}  // namespace gwtool
