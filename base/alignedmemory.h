// Aligned heap blocks: the raw block address is kept in the 8 bytes below the aligned address.
#pragma once

#include <cstdint>

// Returns a block of size bytes at a multiple of alignment (a power of two of at least 2; other
// alignments below 2 or odd give null). Raises the text "Not enough memory!" (const char*)
// when no memory can be had, also for sizes that the address space cannot hold.
void* alignedMalloc(uint32_t size, uint32_t alignment);
// The same, zeroed by the C library, which leaves pages it has fresh from the system untouched until
// they are used.
void* alignedCalloc(uint32_t size, uint32_t alignment);
// Frees a block of alignedMalloc; null is allowed. Always true.
bool alignedFree(void* address);

namespace Calvereth {
using ::alignedCalloc;
using ::alignedFree;
using ::alignedMalloc;
} // namespace Calvereth
