// Line text and score: the characters of a line, the text with blanks by
// character pitch (recording each blank as a space object), and the mean
// score of a line.
#include <cmath>
#include <cstdint>
#include <vector>

#include "api/Calls.h"
#include "Glyphwick.h"
#include "recognition/Lines.h"

namespace gw {
namespace {

// a + b with wrap-around: a moved or spaced box may leave the 32-bit range.
int32_t Plus(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// Pitch between neighbouring objects: left edge to left edge.
int32_t Pitch(const Object& before, const Object& after) {
    return static_cast<int32_t>(static_cast<uint32_t>(after.left) -
                                static_cast<uint32_t>(before.left));
}

// The space object for a blank after object: its box moved right by spacing.
Object* SpaceAfter(ObjectList& list, Object* object, int32_t spacing, int32_t tag) {
    Object* space = NewObject(Plus(object->left, spacing), object->top,
                              Plus(object->right, spacing), object->bottom, '^', tag);
    InsertAfter(list, object, space);
    return space;
}

// Writes the line's text with blanks into text (textSize >= 2) and inserts
// the space objects. A spacing of 0 gives no blanks.
void WriteSpaced(ObjectList& list, const std::vector<Object*>& line, int32_t tag,
                 const std::vector<int32_t>& pitches, int32_t spacing, char* text,
                 int32_t textSize) {
    const int64_t limit = int64_t{textSize} - 2;  // characters after the first one
    int64_t written = 0;
    text[0] = line[0]->identity;
    Object* current = line[0];
    for (const int32_t pitch : pitches) {
        if (written >= limit) break;
        // Saturating the step count keeps the conversion defined; the text
        // limit stops far earlier.
        const double steps =
            spacing == 0 ? 0.0 : static_cast<double>(pitch) / static_cast<double>(spacing) + 0.5;
        const int64_t k = static_cast<int64_t>(std::fmin(steps, 1e15));
        for (int64_t blank = 1; blank < k && written < limit; ++blank) {
            text[1 + written++] = ' ';
            current = SpaceAfter(list, current, spacing, tag);
        }
        current = LineFrom(current->next, tag);
        if (written < limit) text[1 + written++] = current->identity;
    }
    text[1 + written] = '\0';
}

}  // namespace
void GetLineIdentity(int32_t tag, char* text) {
    ObjectList* list = gw::CurrentList();
    if (list == nullptr || text == nullptr) return;
    size_t n = 0;
    for (gw::Object* o = list->head.next; o != nullptr; o = o->next)
        if (gw::InLine(*o, tag)) text[n++] = o->identity;
    text[n] = '\0';
    list->current = nullptr;
}

int32_t GetLineIdentityWithSpacing(int32_t tag, char* text, int32_t textSize, int32_t spacing) {
    ObjectList* list = gw::CurrentList();
    if (list == nullptr) return 0;
    const bool writes = text != nullptr && textSize >= 1;
    const std::vector<gw::Object*> line = gw::LineObjects(*list, tag);
    const size_t L = line.size();
    if (writes) text[0] = '\0';
    if ((L < 4 && spacing == 0) || L == 0) return 0;

    std::vector<int32_t> pitches(L - 1);
    std::vector<int64_t> values(L - 1);
    for (size_t i = 0; i + 1 < L; ++i) values[i] = pitches[i] = gw::Pitch(*line[i], *line[i + 1]);
    // The median pitch is the one of rank L / 2 rounded up.
    const std::vector<int32_t> ranks = gw::RankValues(values);
    int32_t median = 0;
    for (size_t i = 0; i + 1 < L; ++i)
        if (static_cast<size_t>(ranks[i]) == (L + 1) / 2) median = pitches[i];
    const int32_t used = spacing != 0 ? spacing : median;

    if (writes && textSize >= 2) gw::WriteSpaced(*list, line, tag, pitches, used, text, textSize);
    list->current = nullptr;
    return median;
}

int32_t GetLineIdentityWithSpaces(int32_t tag, char* text, int32_t textSize) {
    return GetLineIdentityWithSpacing(tag, text, textSize, 0);
}

int32_t GetLineScore(int32_t tag) {
    ObjectList* list = gw::CurrentList();
    if (list == nullptr) return 0;
    int64_t sum = 0;
    int64_t n = 0;
    for (gw::Object* o = list->head.next; o != nullptr; o = o->next) {
        if (o->ignored != 0 || (tag != 0 && o->lineTag != tag)) continue;
        sum += o->score;
        n += o->score != 0;
    }
    list->current = nullptr;
    if (n == 0) return 0;
    // Rounds the mean half away from zero.
    return static_cast<int32_t>((sum + sum % n) / n);
}

}  // namespace gw
