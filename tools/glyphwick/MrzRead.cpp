#include "MrzRead.h"

#include <algorithm>
#include <cctype>

#include "DVImageProcessor.h"
#include "Errors.h"

namespace gwtool {

namespace {

// One reading of the page with size limits for characters of about height
// pixels (0: limits wide enough for any print from 150 to 600 dpi).
std::vector<TextLine> PageLines(DVImageProcessor& image, const ReadSettings& base, int height,
                                std::vector<ObjectReading>& objects, const std::string& file) {
    ReadSettings s = base;
    s.allLines = true;
    s.minLineObjects = 20;
    s.maxLineObjects = 60;
    if (height > 0) {
        // The filler "<" is about half as high as a capital.
        s.minWidth = std::max(1, height / 12);
        s.minHeight = std::max(4, height * 2 / 5);
        s.maxWidth = height * 3 / 2;
        s.maxHeight = height * 3 / 2;
    } else {
        s.minWidth = 1;
        s.minHeight = 6;
        s.maxWidth = 90;
        s.maxHeight = 90;
    }
    TextReading r = ReadText(image, s, file);
    objects = std::move(r.objects);
    std::vector<TextLine> out;
    for (const LineReading& l : r.lines) {
        TextLine t;
        t.text = l.text;
        t.left = l.box.left, t.top = l.box.top, t.right = l.box.right, t.bottom = l.box.bottom;
        // The scores of the line's objects, in the order of its text.
        for (const ObjectReading& o : objects)
            if (o.tag == l.tag) t.scores.push_back(o.score);
        if (t.scores.size() != t.text.size()) t.scores.clear();
        out.push_back(std::move(t));
    }
    return out;
}

// The typical height of the objects of lines that come close to a zone's
// length: the estimate of the character height for a second, tighter reading.
int CharacterHeight(const std::vector<TextLine>& lines, const std::vector<ObjectReading>& objects) {
    std::vector<int> heights;
    for (const TextLine& l : lines) {
        const size_t n = l.text.size();
        if (n < 28 || n > 48) continue;
        for (const ObjectReading& o : objects) {
            if (o.box.left >= l.left && o.box.right <= l.right && o.box.top >= l.top &&
                o.box.bottom <= l.bottom)
                heights.push_back(o.box.Height());
        }
    }
    if (heights.empty()) return 0;
    // Capitals and digits are the tallest objects; fillers are lower.
    std::sort(heights.begin(), heights.end());
    return heights[heights.size() * 3 / 4];
}

struct Attempt {
    std::optional<MrzReading> reading;
    std::vector<TextLine> lines;
    std::vector<ObjectReading> objects;
};

Attempt TryLines(std::vector<TextLine> lines, std::vector<ObjectReading> objects) {
    Attempt a;
    const auto chosen = FindMrzLines(lines);
    if (chosen.empty()) return a;
    std::vector<std::string> texts;
    std::vector<std::vector<int>> scores;
    for (size_t i : chosen) {
        texts.push_back(lines[i].text);
        scores.push_back(lines[i].scores);
        a.lines.push_back(lines[i]);
    }
    a.reading = ParseMrz(texts, scores);
    a.objects = std::move(objects);
    return a;
}

Attempt ReadOnce(DVImageProcessor& image, const ReadSettings& base, const std::string& file) {
    std::vector<ObjectReading> objects;
    auto lines = PageLines(image, base, 0, objects, file);
    Attempt first = TryLines(lines, objects);
    if (first.reading && first.reading->valid) return first;
    // Read again with limits fitted to the characters found.
    const int height = CharacterHeight(lines, objects);
    if (height < 8) return first;
    auto tight = PageLines(image, base, height, objects, file);
    Attempt second = TryLines(tight, objects);
    if (!second.reading) return first;
    if (!first.reading || second.reading->valid) return second;
    return first;
}

Box Turned(const Box& b, int width, int height) {
    return {width - 1 - b.right, height - 1 - b.bottom, width - 1 - b.left, height - 1 - b.top};
}

}  // namespace

std::pair<std::string, int> MrzFont(const MrzSettings& settings,
                                    const std::vector<std::string>& fonts) {
    if (!settings.font.empty()) return {settings.font, 0};
    if (settings.fontIndex >= 0) return {"", settings.fontIndex};
    for (const std::string& f : fonts) {
        std::string upper = f;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper.find("OCRB") != std::string::npos || upper.find("OCR-B") != std::string::npos)
            return {f, 0};
    }
    return {"", 0};
}

MrzResult ReadMrz(DVImageProcessor& image, const MrzSettings& settings, const std::string& file) {
    const auto [font, index] = MrzFont(settings, FontNames());
    ReadSettings base;
    base.rect = settings.rect;
    base.font = font;
    base.fontIndex = index;
    base.threshold = settings.threshold;

    MrzResult out;
    Attempt a = ReadOnce(image, base, file);
    if (!a.reading || !a.reading->valid) {
        // The page may lie upside down: read a turned copy.
        DVImageProcessor turned;
        if (image.CopyTo(&turned, 0, nullptr) == 0 && turned.RotateFlip(2) == 0) {
            const int w = static_cast<int>(image.GetWidth());
            const int h = static_cast<int>(image.GetHeight());
            ReadSettings t = base;
            if (t.rect) t.rect = Turned(*t.rect, w, h);
            Attempt b = ReadOnce(turned, t, file);
            if (b.reading && (!a.reading || b.reading->valid)) {
                for (TextLine& l : b.lines) {
                    const Box back = Turned({l.left, l.top, l.right, l.bottom}, w, h);
                    l.left = back.left, l.top = back.top, l.right = back.right,
                    l.bottom = back.bottom;
                }
                for (ObjectReading& o : b.objects) o.box = Turned(o.box, w, h);
                a = std::move(b);
                out.upsideDown = true;
            }
        }
    }
    out.reading = std::move(a.reading);
    out.lines = std::move(a.lines);
    out.objects = std::move(a.objects);
    return out;
}

}  // namespace gwtool
