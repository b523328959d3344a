#include "platform/PixelMemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace gw {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kMapAtLeast = size_t{4} << 20;

}  // namespace

void PixelMemoryFree::operator()(uint8_t* p) const {
    if (mapping != nullptr)
        ::munmap(mapping, mapped);
    else
        std::free(p);
}

PixelMemory AllocatePixelMemory(size_t bytes) {
    if (bytes >= kMapAtLeast && bytes < SIZE_MAX / 2) {
        const size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
        const size_t mapped = rounded + kHugePage;
        void* block =
            ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block != MAP_FAILED) {
            auto* aligned = reinterpret_cast<uint8_t*>(
                (reinterpret_cast<uintptr_t>(block) + kHugePage - 1) & ~uintptr_t(kHugePage - 1));
#ifdef MADV_HUGEPAGE
            ::madvise(aligned, rounded, MADV_HUGEPAGE);  // advice only: failure changes nothing
#endif
            return PixelMemory(aligned, PixelMemoryFree{block, mapped});
        }
    }
    auto* p = static_cast<uint8_t*>(std::calloc(bytes ? bytes : 1, 1));
    if (!p) throw std::bad_alloc();
    return PixelMemory(p);
}

}  // namespace gw
