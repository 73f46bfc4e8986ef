// Memory for the blocks a session has in flight, which a host keeps from one session to the next.
// The blocks are among the largest memory a session has and the last it gives back: freed, they lie
// at the top of the heap, which the C library then gives back to the system, and the next file's
// set-up has them from the system again, a page fault for every page it touches. A host that meters
// file after file hands each session the same BlockMemory and so has fresh pages only when a set-up
// needs more than any before it.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace qelhost {

class BlockMemory
{
public:
    static constexpr std::size_t kAlign = 64;

    // At least `bytes` on a kAlign boundary, with whatever it held: the memory already held when it
    // is as large, else new memory, had after the old is given back, so the two are never held at
    // once. Throws std::bad_alloc when the memory cannot be had, and then holds nothing.
    std::byte* hold(std::size_t bytes);
    std::size_t size() const { return size_; }
    // Lets go of the memory without giving it back: a stalled session's audio thread may still be
    // in it, to the end of the process.
    void abandon();

private:
    struct GiveBack
    {
        void operator()(std::byte* p) const { ::operator delete (p, std::align_val_t{kAlign}); }
    };
    std::unique_ptr<std::byte, GiveBack> memory_;
    std::size_t size_ = 0;
};

} // namespace qelhost
