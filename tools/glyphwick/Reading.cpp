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

gw::LineOptions OptionsOf(const ReadSettings& s) {
    gw::LineOptions o;
    if (s.rect)
        o.rect = std::array<int, 4>{s.rect->left, s.rect->top, s.rect->right, s.rect->bottom};
    o.font = s.font;
    o.fontIndex = s.fontIndex;
    o.spaces = s.spaces;
    o.spacing = s.spacing;
    o.split = s.split;
    o.minWidth = s.minWidth, o.minHeight = s.minHeight;
    o.maxWidth = s.maxWidth, o.maxHeight = s.maxHeight;
    o.fragMinWidth = s.fragMinWidth, o.fragMinHeight = s.fragMinHeight;
    o.fragMaxWidth = s.fragMaxWidth, o.fragMaxHeight = s.fragMaxHeight;
    o.holes = s.holes;
    o.trim = s.trim;
    o.threshold = s.threshold;
    o.allLines = s.allLines;
    o.punctuation = s.punctuation;
    o.minLineObjects = s.minLineObjects, o.maxLineObjects = s.maxLineObjects;
    return o;
}

}  // namespace

TextReading ReadText(DVImageProcessor& image, const ReadSettings& s, const std::string& file) {
    if (s.rect) CheckInside(*s.rect, image.GetWidth(), image.GetHeight(), file);
    const gw::LinesResult r = gw::ReadLines(image, OptionsOf(s));
    if (r.status != gw::kLinesOk) throw InputError(file, r.error);
    TextReading out;
    out.font = r.font;
    for (const gw::LineObject& o : r.objects) out.objects.push_back(ObjectOf(o));
    for (const gw::TextLine& l : r.lines)
        out.lines.push_back({l.tag, l.text, l.score, int(l.pitch), BoxOf(l.box)});
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
