#include "Reading.h"

#include <algorithm>
#include <filesystem>
#include <strings.h>

#include "DVImageProcessor.h"
#include "Errors.h"
#include "Glyphwick.h"
#include "GlyphwickLines.h"

namespace gwtool {

namespace {

Box BoxOf(const std::array<int, 4>& b) {
    return {b[0], b[1], b[2], b[3]};
}

ObjectReading ObjectOf(const gw::LineObject& o) {
    return {BoxOf(o.box), o.character, o.score, o.tag};
}

}  // namespace

gw::LinesResult ReadText(DVImageProcessor& image, const gw::LineOptions& options,
                         const std::string& file) {
    if (options.rect) {
        const auto& r = *options.rect;
        CheckInside({r[0], r[1], r[2], r[3]}, image.GetWidth(), image.GetHeight(), file);
    }
    gw::LinesResult r = gw::ReadLines(image, options);
    if (r.status != gw::kLinesOk) throw InputError(file, r.error);
    return r;
}

std::vector<ObjectReading> ObjectsOf(const std::vector<gw::LineObject>& objects) {
    std::vector<ObjectReading> out;
    for (const gw::LineObject& o : objects) out.push_back(ObjectOf(o));
    return out;
}

std::vector<std::string> FontNames() {
    int32_t count = 0;
    GW_GetFontList(nullptr, &count);
    std::vector<char*> names(static_cast<size_t>(std::max(count, 0)), nullptr);
    if (count > 0) GW_GetFontList(names.data(), &count);
    std::vector<std::string> out;
    for (char* n : names) out.emplace_back(n != nullptr ? n : "");
    return out;
}

void LoadPatterns(const std::vector<std::string>& files) {
    if (files.empty()) return;
    GW_UnloadAllPatternFiles();
    for (const std::string& f : files) {
        if (!std::filesystem::exists(f)) throw InputError(f, "no such pattern file");
        if (GW_LoadPatternFile(f.c_str()) != 1) {
            throw InputError(f, "the pattern file does not load");
        }
    }
}

void CheckFont(const std::string& name, int index) {
    const auto fonts = FontNames();
    if (fonts.empty()) {
        throw InputError("", "no fonts are loaded (no default pattern file; use --patterns FILE)");
    }
    if (!name.empty()) {
        for (const std::string& f : fonts)
            if (strcasecmp(f.c_str(), name.c_str()) == 0) return;
        std::string known;
        for (const std::string& f : fonts) known += (known.empty() ? "" : ", ") + f;
        throw InputError("", "no such font '" + name + "' (loaded: " + known + ")");
    }
    if (index < 0 || index >= static_cast<int>(fonts.size())) {
        throw InputError("",
                         Cat("no font of index ", index, " (loaded: 0 to ", fonts.size() - 1, ")"));
    }
}

}  // namespace gwtool
