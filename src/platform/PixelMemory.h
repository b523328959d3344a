// Zeroed memory for pixels: small blocks from calloc, large ones mapped on
// 2 MB boundaries and offered huge pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace gw {

/// Frees a block of PixelMemory as it was taken.
struct PixelMemoryFree {
    void* mapping = nullptr;  ///< the mapped block, when the memory was mapped
    size_t mapped = 0;
    void operator()(uint8_t* p) const;
};
using PixelMemory = std::unique_ptr<uint8_t[], PixelMemoryFree>;

/// bytes of zeroed memory. Memory arrives zeroed from the system, so a new
/// blank picture costs no clearing pass. Blocks of 4 MB and more are mapped
/// on 2 MB boundaries with huge pages asked for: touching a fresh block page
/// by page costs a fault every 4 KB, which on a virtual machine takes longer
/// than decoding a JPEG into it. Throws std::bad_alloc when there is none.
PixelMemory AllocatePixelMemory(size_t bytes);

}  // namespace gw
