#include "Reading.h"

#include <algorithm>
#include <filesystem>
#include <strings.h>

#include "DVImageProcessor.h"
#include "Errors.h"
#include "Glyphwick.h"

namespace gwtool {

namespace {

// Destroys the current area when a reading ends, also by an exception.
struct AreaGuard {
    ~AreaGuard() { GW_DestroyArea(); }
};

Box BoxOf(const OBJECTINFO& o) {
    return {o.left, o.top, o.right, o.bottom};
}

std::vector<ObjectReading> Objects() {
    std::vector<ObjectReading> out;
    for (OBJECTINFO* o = GW_FindFirstObject(); o != nullptr; o = GW_FindNextObject()) {
        char* cells = nullptr;
        int32_t score = 0;
        int32_t tag = 0;
        const char identity = static_cast<char>(GW_GetObjectIdentity(&cells, &score, &tag));
        out.push_back({BoxOf(*o), identity, score, tag});
    }
    return out;
}

std::vector<int> Tags() {
    std::vector<int> tags;
    for (int t = GW_GetPotentialLine(0); t != 0; t = GW_GetPotentialLine(t)) tags.push_back(t);
    return tags;
}

// The text of one line, with blanks when the settings ask for them, and its
// median pitch.
std::pair<std::string, int> LineText(int tag, const ReadSettings& s,
                                     const std::vector<ObjectReading>& objects) {
    // Room for every object, and for the blanks a wide gap may call for.
    const int size = 4 * GW_GetNumberOfObjects() + 64;
    std::vector<char> text(static_cast<size_t>(size), '\0');
    if (s.spacing > 0) {
        const int pitch = GW_GetLineIdentityWithSpacing(tag, text.data(), size, s.spacing);
        return {text.data(), pitch};
    }
    if (s.spaces) {
        const int pitch = GW_GetLineIdentityWithSpaces(tag, text.data(), size);
        return {text.data(), pitch};
    }
    GW_GetLineIdentity(tag, text.data());
    std::vector<Box> boxes;
    for (const ObjectReading& o : objects)
        if (o.tag == tag) boxes.push_back(o.box);
    return {text.data(), MedianPitch(boxes)};
}

LineReading ReadLine(int tag, const ReadSettings& s, const std::vector<ObjectReading>& objects) {
    LineReading line;
    line.tag = tag;
    std::tie(line.text, line.pitch) = LineText(tag, s, objects);
    line.score = GW_GetLineScore(tag);
    bool first = true;
    for (const ObjectReading& o : objects) {
        if (o.tag != tag) continue;
        if (first) {
            line.box = o.box;
            first = false;
        }
        line.box.left = std::min(line.box.left, o.box.left);
        line.box.top = std::min(line.box.top, o.box.top);
        line.box.right = std::max(line.box.right, o.box.right);
        line.box.bottom = std::max(line.box.bottom, o.box.bottom);
    }
    return line;
}

}  // namespace

int MedianPitch(const std::vector<Box>& boxes) {
    if (boxes.size() < 2) return 0;
    std::vector<int> pitches;
    for (size_t i = 1; i < boxes.size(); ++i) pitches.push_back(boxes[i].left - boxes[i - 1].left);
    std::sort(pitches.begin(), pitches.end());
    return pitches[(boxes.size() + 1) / 2 - 1];
}

TextReading ReadText(DVImageProcessor& image, const ReadSettings& s, const std::string& file) {
    const Box whole{0, 0, static_cast<int>(image.GetWidth()) - 1,
                    static_cast<int>(image.GetHeight()) - 1};
    const Box box = s.rect.value_or(whole);
    CheckInside(box, image.GetWidth(), image.GetHeight(), file);

    const RECT rect{box.left, box.top, box.right, box.bottom};
    AREAPARAMS params{};
    params.minObjectWidth = s.minWidth;
    params.minObjectHeight = s.minHeight;
    params.maxObjectWidth = s.maxWidth;
    params.maxObjectHeight = s.maxHeight;
    params.fragMinWidth = s.fragMinWidth;
    params.fragMinHeight = s.fragMinHeight;
    params.fragMaxWidth = s.fragMaxWidth;
    params.fragMaxHeight = s.fragMaxHeight;
    params.fontIndex = s.fontIndex;
    params.fontName = s.font.empty() ? nullptr : s.font.c_str();
    params.maxHoleSize = s.holes;
    params.options = s.trim ? 1u : 0u;
    params.threshold = s.threshold;
    if (GW_InitialiseArea(&image, &rect, &params) == nullptr) {
        throw InputError(file, "the image cannot be read (it must be 1- or 8-bit)");
    }
    AreaGuard guard;
    GW_ProduceObjectList();
    GW_CleanObjects(0);
    GW_SetLineTags();
    GW_FilterLineTags(s.minLineObjects, s.maxLineObjects);
    const char* font = GW_IdentifyObjects();
    if (font == nullptr) {
        throw InputError(file, s.font.empty() ? Cat("no font of index ", s.fontIndex)
                                              : "no such font '" + s.font + "'");
    }
    TextReading out;
    out.font = font;
    if (s.split) {
        for (int tag : Tags()) GW_SplitJoinedObjectsInLine(tag);
        GW_IdentifyObjects();
    }
    out.objects = Objects();
    if (s.allLines) {
        for (int tag : Tags()) out.lines.push_back(ReadLine(tag, s, out.objects));
        return out;
    }
    std::vector<char> best(static_cast<size_t>(GW_GetNumberOfObjects()) + 2, '\0');
    const int tag = GW_FilterBestLine(best.data(), static_cast<int32_t>(best.size()));
    if (tag != 0) out.lines.push_back(ReadLine(tag, s, out.objects));
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
