// The typical line reading behind gw::ReadLines, on a grey copy of the image
// that the library makes and owns.
#include "GlyphwickLines.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <strings.h>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "GlyphwickGrey.h"
#include "image/Grey.h"
#include "lines/Clean.h"
#include "area/Area.h"
#include "recognition/Lines.h"
#include "recognition/PatternStore.h"
#include "shared/Deadline.h"

namespace gw {
namespace {

// Destroys the current area when a reading ends, also by an exception.
struct AreaGuard {
    ~AreaGuard() { GW_DestroyArea(); }
};

LinesResult Failure(int status, std::string error) {
    LinesResult r;
    r.status = status;
    r.error = std::move(error);
    return r;
}

std::string BoxText(const std::array<int, 4>& b) {
    return std::to_string(b[0]) + "," + std::to_string(b[1]) + "," + std::to_string(b[2]) + "," +
           std::to_string(b[3]);
}

std::vector<std::string> FontNames() {
    int32_t count = 0;
    GW_GetFontList(nullptr, &count);
    std::vector<char*> names(size_t(std::max(count, 0)), nullptr);
    if (count > 0) GW_GetFontList(names.data(), &count);
    std::vector<std::string> out;
    for (char* n : names) out.emplace_back(n != nullptr ? n : "");
    return out;
}

// What identifies a pattern file's contents without reading it: its path,
// size and last change.
struct FileStamp {
    std::string path;
    uintmax_t size = 0;
    std::filesystem::file_time_type changed{};
    bool operator==(const FileStamp&) const = default;
};

// Pattern files read for readings that named them: built aside, once per
// list of files as they stand, and never changed after, so any number of
// readings share them. The last few lists are kept.
class PatternCache {
  public:
    std::shared_ptr<PatternStore> Find(const std::vector<FileStamp>& key) {
        const std::lock_guard<std::mutex> guard(mutex_);
        for (const auto& [k, store] : entries_)
            if (k == key) return store;
        return nullptr;
    }
    void Add(std::vector<FileStamp> key, std::shared_ptr<PatternStore> store) {
        const std::lock_guard<std::mutex> guard(mutex_);
        if (entries_.size() == kKept) entries_.erase(entries_.begin());
        entries_.emplace_back(std::move(key), std::move(store));
    }

  private:
    static constexpr size_t kKept = 4;
    std::mutex mutex_;
    std::vector<std::pair<std::vector<FileStamp>, std::shared_ptr<PatternStore>>> entries_;
};

PatternCache& Cache() {
    static PatternCache cache;
    return cache;
}

// The fonts of the pattern files, read into a store of their own; the
// process's store and every earlier reading are left as they were whatever
// happens. Errors name the file, never its contents.
std::string LoadPatterns(const std::vector<std::string>& files,
                         std::shared_ptr<PatternStore>& fonts) {
    std::vector<FileStamp> key;
    for (const std::string& f : files) {
        std::error_code error;
        FileStamp stamp{f, std::filesystem::file_size(f, error), {}};
        if (!error) stamp.changed = std::filesystem::last_write_time(f, error);
        if (error || !std::filesystem::is_regular_file(f, error))
            return f + ": no such pattern file";
        key.push_back(std::move(stamp));
    }
    if ((fonts = Cache().Find(key)) != nullptr) return {};
    auto store = std::make_shared<PatternStore>();
    for (const std::string& f : files) {
        const size_t before = store->fonts.size();
        const bool read = LoadPatternFileInto(*store, f.c_str()) == 1;
        size_t patterns = 0;
        for (size_t i = before; i < store->fonts.size(); ++i)
            patterns += store->fonts[i]->patterns.size();
        bool named = true;
        for (size_t i = before; i < store->fonts.size(); ++i)
            for (char c : store->fonts[i]->name) named = named && c > 0x20 && c < 0x7F;
        if (!read || !named) return f + ": the pattern file does not load";
        if (patterns == 0) return f + ": the pattern file holds no character patterns";
    }
    fonts = store;
    Cache().Add(std::move(key), std::move(store));
    return {};
}

// A font name as an error message may show it: printable, and short.
std::string Shown(const std::string& name) {
    std::string out;
    for (char c : name.substr(0, 32)) out += (c >= 0x20 && c < 0x7F) ? c : '?';
    return name.size() > 32 ? out + "..." : out;
}

std::string CheckFont(const std::string& name, int index) {
    const std::vector<std::string> fonts = FontNames();
    if (fonts.empty()) return "no fonts are loaded (no default pattern file)";
    std::string known;
    for (const std::string& f : fonts) known += (known.empty() ? "" : ", ") + Shown(f);
    if (!name.empty()) {
        for (const std::string& f : fonts)
            if (strcasecmp(f.c_str(), name.c_str()) == 0) return {};
        return "no such font '" + Shown(name) + "' (loaded: " + known + ")";
    }
    if (index < 0 || size_t(index) >= fonts.size())
        return "no font of index " + std::to_string(index) + " (loaded: 0 to " +
               std::to_string(fonts.size() - 1) + ")";
    return {};
}

std::string CheckOptions(const LineOptions& o) {
    const int sizes[] = {o.minWidth,      o.minHeight,     o.maxWidth,     o.maxHeight,
                         o.fragMinWidth,  o.fragMinHeight, o.fragMaxWidth, o.fragMaxHeight,
                         o.holes,         o.spacing,       o.fontIndex,    o.minLineObjects,
                         o.maxLineObjects};
    for (int s : sizes)
        if (s < 0) return "sizes, counts, the spacing and the font index must not be negative";
    if (o.threshold > 255) return "the threshold must be 0 to 255";
    return {};
}

// A new 8-bit grey image (the plain ramp) whose rows fill() writes.
template <class Fill>
std::unique_ptr<DVImageProcessor> GreyCopy(uint32_t width, uint32_t height, Fill fill) {
    auto image = std::make_unique<DVImageProcessor>();
    if (image->Create(width, height, dv::PixelFormat8bppIndexed) != 0 ||
        image->GetBitmap() == nullptr)
        return nullptr;
    dv::Bitmap& bitmap = *image->GetBitmap();
    uint8_t* rows = bitmap.Pixels();
    for (uint32_t y = 0; y < height; ++y) fill(y, rows + size_t(y) * bitmap.GetStride());
    return image;
}

LineObject ObjectOf(const OBJECTINFO& o, char character, int score, int tag) {
    return {{o.left, o.top, o.right, o.bottom}, character == '^' ? ' ' : character, score, tag};
}

// Ignores every object whose box holds no pixel of the area (a trim of an
// object with no ink left in its box), and clips the others to the area: a
// reading reports boxes inside its image only. Every removal of ignored
// objects redraws them and may trim boxes again, so this follows each one.
// Returns the number of objects newly ignored.
size_t IgnoreEmptyBoxes() {
    const AREAINFO* area = CurrentArea();
    ObjectList* list = CurrentList();
    size_t ignored = 0;
    if (area == nullptr || list == nullptr) return ignored;
    const int32_t right = area->left + area->width - 1, bottom = area->top + area->height - 1;
    for (Object* o = list->head.next; o != nullptr; o = o->next) {
        o->left = std::max(o->left, area->left);
        o->top = std::max(o->top, area->top);
        o->right = std::min(o->right, right);
        o->bottom = std::min(o->bottom, bottom);
        if (o->ignored == 0 && (o->left > o->right || o->top > o->bottom)) {
            o->ignored = 1;
            ++ignored;
        }
    }
    return ignored;
}

// As IgnoreEmptyBoxes, with the empty objects removed from the list.
void DropEmptyBoxes() {
    // The removal redraws the whole area: only when there is something to remove.
    if (IgnoreEmptyBoxes() == 0) return;
    GW_RemoveIgnoredObjects(0);
    IgnoreEmptyBoxes();
}

// Every object that is not ignored, in list order.
std::vector<LineObject> Objects() {
    std::vector<LineObject> out;
    for (OBJECTINFO* o = GW_FindFirstObject(); o != nullptr; o = GW_FindNextObject()) {
        int32_t score = 0, tag = 0;
        const char c = GW_GetObjectIdentity(nullptr, &score, &tag);
        out.push_back(ObjectOf(*o, c, score, tag));
    }
    return out;
}

// Ignores every object below the minimum size that did not read as a character.
void DropUnreadSmall(const LineOptions& o) {
    for (OBJECTINFO* b = GW_FindFirstObject(); b != nullptr; b = GW_FindNextObject()) {
        const int w = b->right - b->left + 1, h = b->bottom - b->top + 1;
        if ((w < o.minWidth || h < o.minHeight) &&
            GW_GetObjectIdentity(nullptr, nullptr, nullptr) == '?')
            GW_IgnoreObject();
    }
}

// The cleaning of GW_CleanObjects, keeping small punctuation beside characters.
void Clean(const LineOptions& o) {
    std::vector<lines::Box> boxes;
    for (OBJECTINFO* b = GW_FindFirstObject(); b != nullptr; b = GW_FindNextObject())
        boxes.push_back({b->left, b->top, b->right, b->bottom});
    const std::vector<lines::Keep> keep = lines::ClassifyObjects(
        boxes, {o.minWidth, o.minHeight, o.maxWidth, o.maxHeight}, o.punctuation);
    size_t i = 0;
    for (OBJECTINFO* b = GW_FindFirstObject(); b != nullptr; b = GW_FindNextObject(), ++i)
        if (keep[i] == lines::Keep::Drop) GW_IgnoreObject();
    GW_RemoveIgnoredObjects(0);
}

// Moves punctuation left on a line of its own into the line beside it, and
// recounts the lines' objects.
void RetagPunctuation() {
    ObjectList* list = CurrentList();
    if (list == nullptr) return;
    std::vector<Object*> objects;
    std::vector<lines::Box> boxes;
    std::vector<int> tags;
    for (Object* o = list->head.next; o != nullptr; o = o->next) {
        if (o->ignored != 0) continue;
        objects.push_back(o);
        boxes.push_back({o->left, o->top, o->right, o->bottom});
        tags.push_back(o->lineTag);
    }
    const std::vector<int> moved = lines::AttachPunctuation(boxes, tags);
    for (size_t i = 0; i < objects.size(); ++i) {
        if (moved[i] == tags[i]) continue;
        --list->tagCounts[tags[i] - 1];
        ++list->tagCounts[moved[i] - 1];
        objects[i]->lineTag = moved[i];
    }
}

int MedianPitch(const std::vector<LineObject>& chars) {
    if (chars.size() < 2) return 0;
    std::vector<int> pitches;
    for (size_t i = 1; i < chars.size(); ++i)
        pitches.push_back(chars[i].box[0] - chars[i - 1].box[0]);
    std::sort(pitches.begin(), pitches.end());
    return pitches[(chars.size() + 1) / 2 - 1];
}

// Reads line tag. characters, when given, are the line's objects as
// Objects() gives them, and buffer has room for the text of every object
// (only when no blanks are made, which add objects to the list): a page of
// many lines then costs no pass over all its objects per line.
TextLine ReadLine(int tag, const LineOptions& o,
                  const std::vector<LineObject>* characters = nullptr,
                  std::vector<char>* buffer = nullptr) {
    TextLine line;
    line.tag = tag;
    // Room for every object, and for the blanks a wide gap may call for.
    const int size = 4 * GW_GetNumberOfObjects() + 64;
    std::vector<char> own;
    if (buffer == nullptr) own.assign(size_t(size), '\0'), buffer = &own;
    std::vector<char>& text = *buffer;
    int pitch = 0;
    if (o.spacing > 0) {
        pitch = GW_GetLineIdentityWithSpacing(tag, text.data(), size, o.spacing);
    } else if (o.spaces) {
        pitch = GW_GetLineIdentityWithSpaces(tag, text.data(), size);
    } else {
        GW_GetLineIdentity(tag, text.data());
    }
    line.text = text.data();
    line.score = GW_GetLineScore(tag);
    if (characters != nullptr) {
        line.characters = *characters;
    } else {
        for (const LineObject& c : Objects())
            if (c.tag == tag) line.characters.push_back(c);
    }
    if (o.spacing == 0 && !o.spaces) pitch = MedianPitch(line.characters);
    line.pitch = pitch;
    bool first = true;
    for (const LineObject& c : line.characters) {
        if (c.character == ' ') continue;
        if (first) line.box = c.box;
        first = false;
        line.box[0] = std::min(line.box[0], c.box[0]);
        line.box[1] = std::min(line.box[1], c.box[1]);
        line.box[2] = std::max(line.box[2], c.box[2]);
        line.box[3] = std::max(line.box[3], c.box[3]);
    }
    return line;
}

std::vector<int> Tags() {
    std::vector<int> tags;
    for (int t = GW_GetPotentialLine(0); t != 0; t = GW_GetPotentialLine(t)) tags.push_back(t);
    return tags;
}

// Marks r as stopped when the deadline has passed; true then.
bool Stopped(Deadline& deadline, LinesResult& r) {
    if (!deadline.expired()) return false;
    r.stopped = true;
    r.stopReason = deadline.reason();
    return true;
}

// The reading proper, on the library's own 8-bit grey copy of the rectangle
// to read, in the thread's private area state. Boxes come out in the copy's
// coordinates. When the deadline passes, the lines read so far are kept and
// the result is marked as stopped.
LinesResult ReadGrey(DVImageProcessor& grey, const LineOptions& o, Deadline& deadline) {
    const std::array<int, 4> box{0, 0, int(grey.GetWidth()) - 1, int(grey.GetHeight()) - 1};
    const RECT rect{box[0], box[1], box[2], box[3]};
    AREAPARAMS params{};
    params.minObjectWidth = o.minWidth;
    params.minObjectHeight = o.minHeight;
    params.maxObjectWidth = o.maxWidth;
    params.maxObjectHeight = o.maxHeight;
    params.fragMinWidth = o.fragMinWidth;
    params.fragMinHeight = o.fragMinHeight;
    params.fragMaxWidth = o.fragMaxWidth;
    params.fragMaxHeight = o.fragMaxHeight;
    params.fontIndex = o.fontIndex;
    params.fontName = o.font.empty() ? nullptr : o.font.c_str();
    params.maxHoleSize = o.holes;
    params.options = o.trim ? 1u : 0u;
    params.threshold = o.threshold;
    if (GW_InitialiseArea(&grey, &rect, &params) == nullptr)
        return Failure(kLinesNoImage, "the image cannot be read");
    AreaGuard guard;
    LinesResult out;
    GW_ProduceObjectList();
    DropEmptyBoxes();
    if (Stopped(deadline, out)) return out;
    Clean(o);
    IgnoreEmptyBoxes();
    if (Stopped(deadline, out)) return out;
    GW_SetLineTags();
    if (o.punctuation) RetagPunctuation();
    GW_FilterLineTags(o.minLineObjects, o.maxLineObjects);
    if (Stopped(deadline, out)) return out;
    const char* font = GW_IdentifyObjects();
    if (font == nullptr) return Failure(kLinesNoFont, CheckFont(o.font, o.fontIndex));
    out.font = font;
    // Identification stops between objects; what it did not reach is not read.
    if (Stopped(deadline, out)) return out;
    if (o.split) {
        for (int tag : Tags()) {
            if (Stopped(deadline, out)) return out;
            GW_SplitJoinedObjectsInLine(tag);
        }
        GW_IdentifyObjects();
        if (Stopped(deadline, out)) return out;
        DropEmptyBoxes();
    }
    if (o.punctuation) DropUnreadSmall(o);
    IgnoreEmptyBoxes();
    out.objects = Objects();
    if (o.allLines) {
        // A line whose small objects were all dropped again has none left.
        const bool blanks = o.spaces || o.spacing > 0;
        std::unordered_map<int, std::vector<LineObject>> byTag;
        std::vector<char> buffer;
        if (!blanks) {
            for (const LineObject& c : out.objects) byTag[c.tag].push_back(c);
            buffer.assign(size_t(4 * GW_GetNumberOfObjects() + 64), '\0');
        }
        for (int tag : Tags()) {
            if (Stopped(deadline, out)) break;
            TextLine line = blanks ? ReadLine(tag, o) : ReadLine(tag, o, &byTag[tag], &buffer);
            if (!line.characters.empty()) out.lines.push_back(std::move(line));
        }
        SortReadingOrder(out.lines);
        return out;
    }
    std::vector<char> best(size_t(GW_GetNumberOfObjects()) + 2, '\0');
    const int tag = GW_FilterBestLine(best.data(), int32_t(best.size()));
    if (tag != 0) out.lines.push_back(ReadLine(tag, o));
    return out;
}

void Shift(std::array<int, 4>& box, int dx, int dy) {
    box[0] += dx, box[1] += dy, box[2] += dx, box[3] += dy;
}

// Checks the options, loads the patterns and checks the font; then reads the
// grey copy that make(rect) gives of the rectangle to read (of an image of
// width x height), and moves the boxes back into the image's coordinates.
template <class Make>
LinesResult Read(const LineOptions& o, uint32_t width, uint32_t height, Make make) {
    if (std::string e = CheckOptions(o); !e.empty()) return Failure(kLinesBadOptions, e);
    // The fonts of this reading: the pattern files it names, or the
    // process's fonts as last published; either is shared and never changed.
    std::shared_ptr<PatternStore> fonts;
    if (o.patternFiles.empty()) {
        fonts = FontsSnapshot();
    } else if (std::string e = LoadPatterns(o.patternFiles, fonts); !e.empty()) {
        return Failure(kLinesBadPatterns, e);
    }
    // The area calls below work on state of this thread's own, so readings
    // on other threads and hosts of the GW_ exports go on beside this one.
    const ReadingFonts reading(*fonts);
    PrivateAreaState state;
    Deadline deadline(o.budget, double(width) * double(height));
    State().deadline = &deadline;
    if (std::string e = CheckFont(o.font, o.fontIndex); !e.empty()) return Failure(kLinesNoFont, e);
    if (width == 0 || height == 0 || width > 0x7FFF'FFFF || height > 0x7FFF'FFFF)
        return Failure(kLinesNoImage, "the image is empty");
    const std::array<int, 4> whole{0, 0, int(width) - 1, int(height) - 1};
    // Parts of the rectangle outside the image are paper, so reading the part
    // inside gives the same objects; a rectangle with no part inside is refused.
    const std::array<int, 4> asked = o.rect.value_or(whole);
    const std::array<int, 4> box{std::max(asked[0], 0), std::max(asked[1], 0),
                                 std::min(asked[2], whole[2]), std::min(asked[3], whole[3])};
    if (asked[2] < asked[0] || asked[3] < asked[1] || box[2] < box[0] || box[3] < box[1])
        return Failure(kLinesBadRect, "rectangle " + BoxText(asked) + " does not overlap the " +
                                          std::to_string(width) + " x " + std::to_string(height) +
                                          " image");
    // The grey copy goes before the private state: its bitmap's watch
    // reaches the areas of the state.
    std::unique_ptr<DVImageProcessor> grey = make(box);
    if (grey == nullptr) return Failure(kLinesNoImage, "the image cannot be read");
    LinesResult r = ReadGrey(*grey, o, deadline);
    grey.reset();
    // Blanks made by spacing take a pitch's width wherever the pitch puts
    // them, which may reach past the image: they are cut at its edges.
    const int right = box[2] - box[0], bottom = box[3] - box[1];
    for (TextLine& l : r.lines) {
        for (LineObject& c : l.characters) {
            c.box[2] = std::min(c.box[2], right), c.box[3] = std::min(c.box[3], bottom);
            c.box[0] = std::min(std::max(c.box[0], 0), c.box[2]);
            c.box[1] = std::min(std::max(c.box[1], 0), c.box[3]);
        }
    }
    for (LineObject& b : r.objects) Shift(b.box, box[0], box[1]);
    for (TextLine& l : r.lines) {
        Shift(l.box, box[0], box[1]);
        for (LineObject& c : l.characters) Shift(c.box, box[0], box[1]);
    }
    return r;
}

}  // namespace

void SortReadingOrder(std::vector<TextLine>& lines) {
    std::stable_sort(lines.begin(), lines.end(), [](const TextLine& a, const TextLine& b) {
        return a.box[1] != b.box[1] ? a.box[1] < b.box[1] : a.box[0] < b.box[0];
    });
    // Rows: a line whose middle falls inside the band of the row's first line
    // belongs to that row; each row is then read left to right.
    for (size_t start = 0; start < lines.size();) {
        size_t end = start + 1;
        while (end < lines.size() &&
               (lines[end].box[1] + lines[end].box[3]) / 2 <= lines[start].box[3])
            ++end;
        std::stable_sort(lines.begin() + ptrdiff_t(start), lines.begin() + ptrdiff_t(end),
                         [](const TextLine& a, const TextLine& b) { return a.box[0] < b.box[0]; });
        start = end;
    }
}

LinesResult ReadLines(const DVImageProcessor& image, const LineOptions& options) {
    const dv::Bitmap* bitmap = image.GetBitmap();
    const uint32_t width = bitmap != nullptr ? bitmap->GetWidth() : 0;
    const uint32_t height = bitmap != nullptr ? bitmap->GetHeight() : 0;
    return Read(options, width, height,
                [&](const std::array<int, 4>& b) -> std::unique_ptr<DVImageProcessor> {
                    // Only the rectangle is turned into grey: a copy of it first.
                    const uint32_t w = uint32_t(b[2] - b[0] + 1), h = uint32_t(b[3] - b[1] + 1);
                    std::unique_ptr<dv::Bitmap> part;
                    DVImageProcessor crop;
                    if (w != width || h != height) {
                        part.reset(bitmap->Clone(b[0], b[1], int32_t(w), int32_t(h),
                                                 bitmap->GetPixelFormat()));
                        if (part == nullptr || crop.Attach(part.get(), false) != 0) return nullptr;
                    }
                    const GreyImage g = ToGrey(part != nullptr ? crop : image);
                    crop.Destroy();
                    if (g.Empty()) return nullptr;
                    return GreyCopy(g.width, g.height, [&](uint32_t y, uint8_t* row) {
                        std::copy_n(g.pixels.data() + size_t(y) * g.width, g.width, row);
                    });
                });
}

LinesResult ReadLines(const PixelRows& p, const LineOptions& options) {
    if (p.channels != 1 && p.channels != 3)
        return Failure(kLinesBadOptions, "pixels must have 1 or 3 channels");
    const bool empty = p.pixels == nullptr;
    return Read(options, empty ? 0 : p.width, empty ? 0 : p.height,
                [&](const std::array<int, 4>& b) -> std::unique_ptr<DVImageProcessor> {
                    const uint32_t w = uint32_t(b[2] - b[0] + 1), h = uint32_t(b[3] - b[1] + 1);
                    return GreyCopy(w, h, [&](uint32_t y, uint8_t* row) {
                        const uint8_t* src = p.pixels + ptrdiff_t(y + uint32_t(b[1])) * p.rowStep +
                                             ptrdiff_t(b[0]) * p.pixelStep;
                        if (p.channels == 1 && p.pixelStep == 1) {
                            std::copy_n(src, w, row);
                        } else if (p.channels == 1) {
                            for (uint32_t x = 0; x < w; ++x)
                                row[x] = src[ptrdiff_t(x) * p.pixelStep];
                        } else {
                            for (uint32_t x = 0; x < w; ++x) {
                                const uint8_t* q = src + ptrdiff_t(x) * p.pixelStep;
                                row[x] = uint8_t(GreyLevelWeighted(q[0], q[p.channelStep],
                                                                   q[2 * p.channelStep], kWeightRed,
                                                                   kWeightGreen, kWeightBlue));
                            }
                        }
                    });
                });
}

LinesResult ReadLines(const ImageView& image, const LineOptions& options) {
    if (!image.valid()) return ReadLines(PixelRows{}, options);
    PixelRows p;
    p.pixels = image.data;
    p.width = uint32_t(image.width), p.height = uint32_t(image.height);
    p.rowStep = image.stride;
    p.pixelStep = BytesPerPixel(image.format);
    p.channels = image.format == PixelFormat::Grey8 ? 1 : 3;
    const bool bgr = image.format == PixelFormat::BGR24 || image.format == PixelFormat::BGRA32;
    if (bgr) p.pixels += 2, p.channelStep = -1;  // red is the third byte
    if (image.format != PixelFormat::RGBA32 && image.format != PixelFormat::BGRA32)
        return ReadLines(p, options);
    // Alpha is laid over white paper: one RGB copy, read as such.
    std::vector<uint8_t> rgb(size_t(p.width) * p.height * 3);
    for (uint32_t y = 0; y < p.height; ++y) {
        for (uint32_t x = 0; x < p.width; ++x) {
            const uint8_t* q = p.pixels + ptrdiff_t(y) * p.rowStep + ptrdiff_t(x) * 4;
            const int alpha = (bgr ? q - 2 : q)[3];
            for (int c = 0; c < 3; ++c)
                rgb[(size_t(y) * p.width + x) * 3 + size_t(c)] =
                    uint8_t((q[c * p.channelStep] * alpha + 255 * (255 - alpha) + 127) / 255);
        }
    }
    PixelRows flat;
    flat.pixels = rgb.data();
    flat.width = p.width, flat.height = p.height;
    flat.rowStep = ptrdiff_t(p.width) * 3, flat.pixelStep = 3, flat.channels = 3;
    return ReadLines(flat, options);
}

}  // namespace gw
