// Best-line filters: keep the line with the most recognised characters and
// return its text, plain or with blanks.
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
}  // namespace gw

extern "C" {

int32_t GW_FilterBestLine(char* text, int32_t textSize) {
    ObjectList* list = gw::CurrentList();
    if (list == nullptr || text == nullptr || textSize < 1) return 0;
    int32_t best = 0;
    int64_t bestCount = 0;
    for (int32_t tag = GW_GetPotentialLine(0); tag != 0; tag = GW_GetPotentialLine(tag)) {
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

int32_t GW_FilterBestLineWithSpaces(char* text, int32_t textSize) {
    const int32_t best = GW_FilterBestLine(text, textSize);
    if (best == 0) return 0;
    return GW_GetLineIdentityWithSpaces(best, text, textSize);
}

}  // extern "C"
