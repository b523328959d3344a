#include "Commands.h"

#include <cinttypes>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "Annotate.h"
#include "DVImageProcessor.h"
#include "Errors.h"
#include "Progress.h"

namespace gwtool {

using Json = nlohmann::ordered_json;

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

// What one file gave: its JSON object, its plain text and its status.
struct FileResult {
    Json json = Json::object();
    std::string text;
    int status = kNothingRead;
};

void WriteJson(const Json& j) {
    std::cout << j.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
}

// Runs one command over every file: the progress bar, the errors of single
// files, the plain or JSON output and the exit status.
int ForEachFile(const Common& common,
                const std::function<FileResult(const std::string&, size_t)>& read) {
    Progress progress(common.files.size(), Progress::Wanted(common.files.size()));
    Json all = Json::array();
    int status = kRead;
    const bool many = common.files.size() > 1;
    for (size_t i = 0; i < common.files.size(); ++i) {
        const std::string& file = common.files[i];
        progress.Step(i + 1, file);
        FileResult r;
        try {
            r = read(file, i);
        } catch (const InputError& e) {
            progress.Clear();
            const std::string where = e.File().empty() ? file : e.File();
            std::cerr << "glyphwick: " << where << ": " << e.what() << "\n";
            r.json = Json::object();
            r.json["error"] = e.what();
            r.status = kBadInput;
        } catch (const std::bad_alloc&) {
            progress.Clear();
            std::cerr << "glyphwick: " << file << ": out of memory\n";
            r.json["error"] = "out of memory";
            r.status = kBadInput;
        }
        status = std::max(status, r.status);
        Json entry = Json::object();
        entry["file"] = file;
        entry["status"] = r.status;
        for (auto& [k, v] : r.json.items()) entry[k] = v;
        all.push_back(entry);
        if (!common.json && r.status != kBadInput) {
            progress.Clear();
            if (many) std::cout << "== " << file << "\n";
            std::cout << r.text << std::flush;
        }
    }
    progress.Clear();
    if (common.json) WriteJson(all);
    return status;
}

// Loads a file for reading: grey when it is in colour.
std::unique_ptr<DVImageProcessor> LoadForReading(const std::string& file) {
    auto image = LoadImage(file);
    MakeReadable(*image, file);
    return image;
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
        auto image = LoadForReading(file);
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
        if (!common.annotate.empty()) {
            Annotation a(*image);
            FrameObjects(a, r.objects);
            a.Save(AnnotationPath(common.annotate, index, common.files.size()));
        }
        return out;
    });
}

int RunBarcode(const Common& common, Symbology type, const std::optional<Box>& rect) {
    const char* name = type == Symbology::Code39 ? "code39" : "code128";
    return ForEachFile(common, [&](const std::string& file, size_t index) {
        auto image = LoadForReading(file);
        std::vector<BarcodeReading> readings;
        if (rect) {
            readings.push_back(ReadBarcode(*image, type, *rect, file));
        } else {
            // No rectangle: every region with a row of bars, until one reads.
            for (const Box& region : FindBarcodeRegions(*image, std::nullopt, file)) {
                readings.push_back(ReadBarcode(*image, type, region, file));
            }
        }
        FileResult out;
        out.json["type"] = name;
        Json list = Json::array();
        std::ostringstream text;
        for (const BarcodeReading& b : readings) {
            Json j{{"rect", BoxJson(b.rect)},
                   {"result", b.result},
                   {"text", b.text},
                   {"read", b.read}};
            text << name << " at " << BoxText(b.rect) << ": result " << b.result;
            if (type == Symbology::Code128) {
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
        if (readings.empty()) text << "(no " << name << " barcode found)\n";
        out.json["barcodes"] = list;
        out.text = text.str();
        if (!common.annotate.empty()) {
            Annotation a(*image);
            for (const BarcodeReading& b : readings) {
                const Colour c = b.read ? Colour{0, 160, 0} : Colour{220, 0, 0};
                a.Frame(b.rect, c, 3);
                const std::string label = b.read ? (type == Symbology::Code128 ? b.human : b.text)
                                                 : std::string("NOT READ");
                a.Text(b.rect.left, std::max(0, b.rect.top - 20), label, c, 2);
            }
            a.Save(AnnotationPath(common.annotate, index, common.files.size()));
        }
        return out;
    });
}

int RunMrz(const Common& common, const MrzSettings& settings) {
    LoadPatterns(common.patterns);
    const auto [font, fontIndex] = MrzFont(settings, FontNames());
    CheckFont(font, fontIndex);
    return ForEachFile(common, [&](const std::string& file, size_t index) {
        auto image = LoadForReading(file);
        const MrzResult r = ReadMrz(*image, settings, file);
        FileResult out;
        std::ostringstream text;
        out.json["found"] = r.reading.has_value();
        if (!r.reading) {
            text << "(no machine-readable zone found)\n";
            out.text = text.str();
        } else {
            const MrzReading& m = *r.reading;
            out.status = kRead;
            out.json["format"] = MrzFormatName(m.format);
            out.json["valid"] = m.valid;
            out.json["upside_down"] = r.upsideDown;
            out.json["lines"] = m.lines;
            Json fields = Json::object();
            text << "format " << MrzFormatName(m.format) << ", "
                 << (m.valid ? "valid" : "NOT VALID") << (r.upsideDown ? ", upside down" : "")
                 << "\n";
            for (const std::string& l : m.lines) text << "  " << l << "\n";
            for (const MrzField& f : m.fields) {
                Json j{{"raw", f.raw}, {"value", f.value}};
                const std::string value = f.name == "composite" ? "" : f.value;
                char line[160];
                if (f.checked) {
                    j["check"] = std::string(1, f.check);
                    j["valid"] = f.valid;
                    std::snprintf(line, sizeof line, "  %-16s %-20s check %c %s\n", f.name.c_str(),
                                  value.c_str(), f.check, f.valid ? "ok" : "FAILED");
                } else {
                    std::snprintf(line, sizeof line, "  %-16s %s\n", f.name.c_str(), value.c_str());
                }
                text << line;
                fields[f.name] = j;
            }
            out.json["fields"] = fields;
            Json corrections = Json::array();
            for (const MrzCorrection& c : m.corrections) {
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
            for (const TextLine& l : r.lines)
                boxes.push_back(BoxJson({l.left, l.top, l.right, l.bottom}));
            out.json["boxes"] = boxes;
            // The library's further details: orientation, skew, corners, confidences.
            const Json details = Json::parse(r.json);
            for (auto& [k, v] : details.items())
                if (!out.json.contains(k)) out.json[k] = v;
            out.text = text.str();
        }
        if (!common.annotate.empty()) {
            Annotation a(*image);
            FrameObjects(a, r.objects);
            const Colour zone =
                r.reading && r.reading->valid ? Colour{0, 160, 0} : Colour{220, 0, 0};
            for (const TextLine& l : r.lines)
                a.Frame({l.left - 4, l.top - 4, l.right + 4, l.bottom + 4}, zone, 2);
            a.Save(AnnotationPath(common.annotate, index, common.files.size()));
        }
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

const char* FormatName(int format) {
    static constexpr const char* kNames[] = {"unknown", "BMP", "JPEG",      "GIF",
                                             "TIFF",    "PNG", "JPEG 2000", "WSQ"};
    return format >= 0 && format < 8 ? kNames[format] : "unknown";
}

}  // namespace

int RunInfo(const Common& common) {
    return ForEachFile(common, [&](const std::string& file, size_t) {
        auto image = LoadImage(file);
        const int format = DetectImageFormat(std::filesystem::path(file).wstring().c_str());
        std::vector<Property> properties;
        image->EnumerateProperties(&CollectProperties,
                                   static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&properties)));
        float dx = 0, dy = 0;
        image->GetResolution(&dx, &dy);
        FileResult out;
        out.status = kRead;
        out.json["format"] = FormatName(format);
        out.json["width"] = image->GetWidth();
        out.json["height"] = image->GetHeight();
        out.json["pixel_format"] = PixelFormatName(image->GetPixelFormat());
        out.json["bits_per_pixel"] = image->GetBitsPerPixel();
        out.json["resolution"] = Json::array({dx, dy});
        Json props = Json::array();
        std::ostringstream text;
        char pf[16];
        std::snprintf(pf, sizeof pf, "0x%08X", static_cast<unsigned>(image->GetPixelFormat()));
        text << "format      " << FormatName(format) << "\n"
             << "size        " << image->GetWidth() << " x " << image->GetHeight() << "\n"
             << "pixels      " << PixelFormatName(image->GetPixelFormat()) << " (" << pf << "), "
             << image->GetBitsPerPixel() << " bits\n"
             << "resolution  " << std::round(dx * 10) / 10 << " x " << std::round(dy * 10) / 10
             << " dpi\n"
             << "properties  " << properties.size() << "\n";
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

int RunConvert(const std::string& in, const std::string& outPath, const ConvertSettings& s) {
    if (FileTypeOf(outPath) == 0) {
        throw InputError(outPath, "unknown output format (use .bmp, .jpg, .gif, .tif or .png)");
    }
    auto image = LoadImage(in);
    auto check = [&](uint32_t result, const char* what) {
        if (result != 0) {
            throw InputError(in, std::string("cannot ") + what + " (code " +
                                     std::to_string(image->GetLastError()) + ")");
        }
    };
    using T = ConvertSettings::Target;
    if (s.target == T::Grey && image->GetBitsPerPixel() != 8)
        check(image->ConvertToGrey(0.3f, 0.59f, 0.11f), "convert to grey");
    if (s.target == T::OneBit && image->GetBitsPerPixel() != 1)
        check(image->ConvertTo1Bit(), "convert to 1 bit");
    if (s.target == T::Colour && image->GetBitsPerPixel() != 24)
        check(image->ConvertTo24Bit(), "convert to 24 bits");
    if (s.threshold >= 0) {
        if (image->GetBitsPerPixel() != 8)
            check(image->ConvertToGrey(0.3f, 0.59f, 0.11f), "convert to grey");
        check(image->Threshold(static_cast<uint32_t>(s.threshold)), "threshold");
    }
    if (s.invert) check(image->Invert(), "invert");
    if (s.rotate >= 0) check(image->RotateFlip(s.rotate), "rotate");
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
