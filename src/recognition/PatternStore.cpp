// The process-wide pattern store and its three exports.
#include "api/Calls.h"
#include "recognition/PatternStore.h"

#include "Glyphwick.h"

#include <atomic>
#include <mutex>
#include <string>
#include <utility>

namespace gw {
namespace {

// A plain pointer: nothing runs at static initialisation or destruction.
PatternStore* g_store = nullptr;

// The published copy, behind a plain pointer for the same reason (null: the
// store is empty), and the flag that guards the pointer for the moment of a
// copy or a swap.
std::shared_ptr<PatternStore>* g_snapshot = nullptr;
std::atomic_flag g_snapshotBusy = ATOMIC_FLAG_INIT;

thread_local PatternStore* t_reading = nullptr;

// The default pattern file, named when the library is loaded and read on the
// store's first use: a process that reads no text lines does not pay for it.
std::string* g_defaultFile = nullptr;
std::once_flag g_defaultNamed, g_defaultOnce;

class SnapshotGuard {
  public:
    SnapshotGuard() {
        while (g_snapshotBusy.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~SnapshotGuard() { g_snapshotBusy.clear(std::memory_order_release); }
};

PatternStore& ProcessStore() {
    if (g_store == nullptr) g_store = new PatternStore;
    return *g_store;
}

// Publishes a copy of the process's store.
void Publish() {
    std::shared_ptr<PatternStore>* next = nullptr;
    if (g_store != nullptr && !g_store->fonts.empty()) {
        auto copy = std::make_shared<PatternStore>();
        for (const auto& font : g_store->fonts) {
            copy->fonts.push_back(std::make_unique<PatternFont>(*font));
            PatternFont& f = *copy->fonts.back();
            // Prepared now, so that no reader of the copy prepares it.
            if (f.preparedCells != f.gridWidth * f.gridHeight) PrepareFont(f);
        }
        next = new std::shared_ptr<PatternStore>(std::move(copy));
    }
    {
        SnapshotGuard guard;
        std::swap(g_snapshot, next);
    }
    delete next;
}

// Reads the default pattern file, once, before the store is first used; an
// emptied store drops it unread.
void ReadDefaultFile(bool drop) {
    std::call_once(g_defaultOnce, [drop] {
        std::call_once(g_defaultNamed, [] {});  // none named later
        if (g_defaultFile != nullptr && !drop) {
            LoadPatternFileInto(ProcessStore(), g_defaultFile->c_str());
            Publish();
        }
        delete g_defaultFile;
        g_defaultFile = nullptr;
    });
}

}  // namespace

void SetDefaultPatternFile(const char* path) {
    if (path != nullptr)
        std::call_once(g_defaultNamed, [path] { g_defaultFile = new std::string(path); });
}

PatternStore& Store() {
    if (t_reading != nullptr) return *t_reading;
    ReadDefaultFile(false);
    return ProcessStore();
}

void EmptyStore() {
    ReadDefaultFile(true);
    delete g_store;
    g_store = nullptr;
    Publish();
}

int32_t FontCount() {
    if (t_reading != nullptr) return static_cast<int32_t>(t_reading->fonts.size());
    ReadDefaultFile(false);
    return g_store != nullptr ? static_cast<int32_t>(g_store->fonts.size()) : 0;
}

int32_t LoadPatternFile(const char* path) {
    ReadDefaultFile(false);
    const int32_t result = LoadPatternFileInto(ProcessStore(), path);
    Publish();
    return result;
}

std::shared_ptr<PatternStore> FontsSnapshot() {
    ReadDefaultFile(false);
    {
        SnapshotGuard guard;
        if (g_snapshot != nullptr) return *g_snapshot;
    }
    return std::make_shared<PatternStore>();
}

ReadingFonts::ReadingFonts(PatternStore& fonts) : previous_(t_reading) {
    t_reading = &fonts;
}

ReadingFonts::~ReadingFonts() {
    t_reading = previous_;
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
