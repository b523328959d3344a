// Best-line filters: keep the line with the most recognised characters and
// return its text, plain or with blanks.
#include "api/Calls.h"
#include "Glyphwick.h"
#include "recognition/Lines.h"

namespace gw {
namespace {

// Recognised characters of a line: every character but "?" ("^" counts).
int64_t Recognised(const ObjectList& list, int32_t tag) {
    int64_t n = 0;
    for (const Object* o = list.head.next; o != nullptr; o = o->next)
        n += InLine(*o, tag) && o->identity != '?';
    return n;
}

}  // namespace
int32_t FilterBestLine(char* text, int32_t textSize) {
    ObjectList* list = gw::CurrentList();
    if (list == nullptr || text == nullptr || textSize < 1) return 0;
    int32_t best = 0;
    int64_t bestCount = 0;
    for (int32_t tag = GetPotentialLine(0); tag != 0; tag = GetPotentialLine(tag)) {
        const int64_t count = gw::Recognised(*list, tag);
        if (count > bestCount) best = tag, bestCount = count;
    }
    // Other lines are ignored until the text is full; the rest stays as it is.
    const int64_t limit = int64_t{textSize} - 2;
    int64_t written = 0;
    for (gw::Object* o = list->FindFirst(); o != nullptr && written < limit; o = list->FindNext()) {
        if (o->lineTag != best) {
            o->ignored = 1;
        } else {
            text[written++] = o->identity;
        }
    }
    text[written] = '\0';
    list->current = nullptr;
    return best;
}

int32_t FilterBestLineWithSpaces(char* text, int32_t textSize) {
    const int32_t best = FilterBestLine(text, textSize);
    if (best == 0) {
        if (text != nullptr && textSize >= 1) text[0] = '\0';
        return 0;
    }
    return GetLineIdentityWithSpaces(best, text, textSize);
}

}  // namespace gw
