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

namespace gwtool {

namespace {

Json BoxJson(const Box& b) {
    return Json::array({b.left, b.top, b.right, b.bottom});
}

std::string BoxText(const Box& b) {
    return std::to_string(b.left) + "," + std::to_string(b.top) + "," + std::to_string(b.right) +
           "," + std::to_string(b.bottom);
}

std::string Quoted(const std::string& s) {
    return Json(s).dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Loads a file for reading: grey levels by colour, never by palette index.
std::unique_ptr<DVImageProcessor> LoadForReading(const std::string& file, const Common& common) {
    auto image = LoadImage(file, common.load).image;
    MakeReadable(image, file);
    return image;
}

// Loads a file for the zone reader, which takes 1-, 8- and 24-bit images as
// they are: it sets coloured marks aside itself, since zones print in black.
std::unique_ptr<DVImageProcessor> LoadForZone(const std::string& file, const Common& common) {
    auto image = LoadImage(file, common.load).image;
    const uint32_t bits = image->GetBitsPerPixel();
    if (bits != 1 && bits != 8 && bits != 24) MakeReadable(image, file);
    return image;
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

int RunRead(const Common& common, const ReadSettings& settings) {
    LoadPatterns(common.patterns);
    CheckFont(settings.font, settings.fontIndex);
    return ForEachFile(common, [&](const std::string& file, size_t index) {
        auto image = LoadForReading(file, common);
        const TextReading r = ReadText(*image, settings, file);
        FileResult out;
        out.json["font"] = r.font;
        out.json["objects"] = r.objects.size();
        Json lines = Json::array();
        std::ostringstream text;
        for (const LineReading& l : r.lines) {
            lines.push_back({{"tag", l.tag},
                             {"text", l.text},
                             {"score", l.score},
                             {"pitch", l.pitch},
                             {"box", BoxJson(l.box)}});
            if (settings.allLines) {
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
        out.json["lines"] = lines;
        out.text = text.str();
        Annotate(
            out, common, index, [&](Annotation& a) { FrameObjects(a, r.objects); }, *image);
        return out;
    });
}

// The name of a symbology as the command spells it.
const char* SymbologyName(Symbology s) {
    return s == Symbology::Code39 ? "code39" : "code128";
}

int RunBarcode(const Common& common, std::optional<Symbology> type,
               const std::optional<Box>& rect) {
    return ForEachFile(common, [&](const std::string& file, size_t index) {
        auto image = LoadForReading(file, common);
        std::vector<BarcodeReading> readings;
        if (rect) {
            readings.push_back(ReadBarcode(*image, *type, *rect, file));  // --rect needs --type
        } else {
            readings = ReadWholeImage(*image, type);  // every symbol, anywhere
        }
        FileResult out;
        if (type) out.json["type"] = SymbologyName(*type);
        Json list = Json::array();
        std::ostringstream text;
        for (const BarcodeReading& b : readings) {
            const char* name = SymbologyName(b.symbology);
            Json j{{"type", name},
                   {"rect", BoxJson(b.rect)},
                   {"result", b.result},
                   {"text", b.text},
                   {"read", b.read}};
            if (b.found) {
                Json corners = Json::array();
                for (const auto& [x, y] : b.found->corners) corners.push_back({x, y});
                j["corners"] = corners;
                j["orientation"] = b.found->orientation;
                j["checks_ok"] = b.found->checksOk;
                if (b.symbology == Symbology::Code39) {
                    j["characters"] = b.found->characters;
                    j["human"] = b.human;  // the Code 32 reading, where it is one
                }
            }
            text << name << " at " << BoxText(b.rect) << ": result " << b.result;
            if (b.symbology == Symbology::Code128) {
                j["values"] = b.values;
                j["human"] = Latin1ToUtf8(b.human);
                j["gs1"] = b.gs1;
                if (b.read)
                    text << ", text " << Quoted(Latin1ToUtf8(b.human)) << (b.gs1 ? " (GS1)" : "");
                text << "\n";
                if (!b.values.empty()) {
                    text << "  values:";
                    for (int v : b.values) text << " " << v;
                    text << "\n";
                }
            } else {
                text << ", text " << Quoted(b.text) << "\n";
            }
            if (b.read) out.status = kRead;
            list.push_back(j);
        }
        if (readings.empty())
            text << "(no " << (type ? SymbologyName(*type) : "Code 39 or Code 128")
                 << " barcode found)\n";
        out.json["barcodes"] = list;
        out.text = text.str();
        Annotate(
            out, common, index,
            [&](Annotation& a) {
                for (const BarcodeReading& b : readings) {
                    const Colour c = b.read ? Colour{0, 160, 0} : Colour{220, 0, 0};
                    a.Frame(b.rect, c, 3);
                    const std::string label =
                        b.read ? (b.symbology == Symbology::Code128 ? b.human : b.text)
                               : std::string("NOT READ");
                    a.Text(b.rect.left, std::max(0, b.rect.top - 20), label, c, 2);
                }
            },
            *image);
        return out;
    });
}

int RunMrz(const Common& common, const MrzSettings& settings) {
    LoadPatterns(common.patterns);
    const auto [font, fontIndex] = MrzFont(settings, FontNames());
    CheckFont(font, fontIndex);
    return ForEachFile(common, [&](const std::string& file, size_t index) {
        auto image = LoadForZone(file, common);
        const gw::MrzResult r = ReadMrz(*image, settings, file);
        const std::vector<Box> lineBoxes = MrzLineBoxes(r);
        FileResult out;
        std::ostringstream text;
        out.json["found"] = r.found;
        if (!r.found) {
            text << "(no machine-readable zone found)\n";
            out.text = text.str();
        } else {
            const bool upsideDown = r.orientation == 180;
            out.status = kRead;
            out.json["format"] = r.format;
            out.json["valid"] = r.valid;
            out.json["upside_down"] = upsideDown;
            out.json["lines"] = r.lines;
            Json fields = Json::object();
            text << "format " << r.format << ", " << (r.valid ? "valid" : "NOT VALID")
                 << (upsideDown ? ", upside down" : "") << "\n";
            for (const std::string& l : r.lines) text << "  " << l << "\n";
            for (const gw::MrzField& f : r.fields) {
                Json j{{"raw", f.raw}, {"value", f.value}};
                const std::string value = f.name == "composite" ? "" : f.value;
                char line[160];
                if (f.hasCheck) {
                    j["check"] = std::string(1, f.check);
                    j["valid"] = f.checkValid;
                    std::snprintf(line, sizeof line, "  %-16s %-20s check %c %s\n", f.name.c_str(),
                                  value.c_str(), f.check, f.checkValid ? "ok" : "FAILED");
                } else {
                    std::snprintf(line, sizeof line, "  %-16s %s\n", f.name.c_str(), value.c_str());
                }
                text << line;
                fields[f.name] = j;
            }
            out.json["fields"] = fields;
            Json corrections = Json::array();
            for (const gw::MrzCorrection& c : r.corrections) {
                corrections.push_back({{"line", c.line + 1},
                                       {"column", c.column + 1},
                                       {"from", std::string(1, c.from)},
                                       {"to", std::string(1, c.to)},
                                       {"field", c.field}});
                text << "  corrected line " << c.line + 1 << " column " << c.column + 1 << ": "
                     << c.from << " -> " << c.to << " (" << c.field << ")\n";
            }
            out.json["corrections"] = corrections;
            Json boxes = Json::array();
            for (const Box& b : lineBoxes) boxes.push_back(BoxJson(b));
            out.json["boxes"] = boxes;
            // The library's further details (orientation, skew, corners,
            // confidences) as its own JSON writes them.
            const Json details = Json::parse(gw::MrzResultToJson(r));
            for (auto& [k, v] : details.items())
                if (!out.json.contains(k)) out.json[k] = v;
            out.text = text.str();
        }
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

int RunInfo(const Common& common) {
    return ForEachFile(common, [&](const std::string& file, size_t) {
        Loaded loaded = LoadImage(file, common.load);
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
        out.json["page"] = common.load.page;
        out.json["exif_orientation"] = li.exifOrientation;
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
            text << "pages       " << li.pageCount << " (this is page " << common.load.page
                 << ")\n";
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
        out.text = text.str();
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
