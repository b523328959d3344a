// The process-wide pattern store and its three exports.
#include "api/Calls.h"
#include "recognition/PatternStore.h"

#include "Glyphwick.h"

namespace gw {
namespace {

// A plain pointer: nothing runs at static initialisation or destruction.
PatternStore* g_store = nullptr;

}  // namespace

PatternStore& Store() {
    if (g_store == nullptr) g_store = new PatternStore;
    return *g_store;
}

void EmptyStore() {
    delete g_store;
    g_store = nullptr;
}

int32_t FontCount() {
    return g_store != nullptr ? static_cast<int32_t>(g_store->fonts.size()) : 0;
}

int32_t UnloadAllPatternFiles() {
    gw::EmptyStore();
    return 1;
}

void GetFontList(char** names, int32_t* count) {
    if (count == nullptr) return;
    const int32_t fonts = gw::FontCount();
    if (names == nullptr) {
        *count = fonts;
        return;
    }
    const int32_t n = *count < fonts ? *count : fonts;
    for (int32_t i = 0; i < n; ++i) names[i] = gw::Store().fonts[i]->name.data();
}

}  // namespace gw
