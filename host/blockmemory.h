// Memory for the blocks a session has in flight, which a host keeps from one session to the next.
// The blocks are among the largest memory a session has: a host that meters file after file hands
// each session the same BlockMemory and so has fresh pages only when a set-up needs more than any
// before it. The memory is mapped for the blocks alone, out of the heap: held there across files, it
// would stand among the plug-in's memory, which then could not take the same place from one set-up
// to the next, and grow the heap around it.
#pragma once

#include <cstddef>
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

    BlockMemory() = default;
    BlockMemory(const BlockMemory&) = delete;
    BlockMemory& operator=(const BlockMemory&) = delete;
    ~BlockMemory() { giveBack(); }

private:
    void giveBack();
    std::byte* memory_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace qelhost
