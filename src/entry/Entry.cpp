// What runs when the library is loaded into a process and unloaded from it.
// Both hooks use only the pattern store, which is a plain pointer created on
// first use, so they depend on no other static object's construction order.
#include "entry/DefaultPatternFile.h"

namespace {

__attribute__((constructor)) void OnLoad() {
    try {
        gw::AttachLibrary();
    } catch (...) {
        // Loading the library never fails: without memory the store stays as
        // far as it was read.
    }
}

__attribute__((destructor)) void OnUnload() {
    gw::DetachLibrary();
}

}  // namespace
