// Lock-free single-producer/single-consumer queue of window hand-overs, with ordered reset requests.
#pragma once

#include <atomic>
#include <cstdint>

namespace DSP {

struct HandOver
{
    std::int32_t samples; // window length
    float meanSquare;     // channel-weighted mean square of the window
};

// The producer (audio thread) never allocates and, in real time, never waits: a full queue drops
// the window and counts it (offline, the producer retries with tryPush instead). A reset request is one atomic word holding a generation and the write position at
// which it was posted, so it can neither be lost nor overtake the windows queued before it.
class HandOverQueue
{
public:
    // About 100 s of 0.1-s hops: a worker that falls behind for a while loses nothing.
    static constexpr std::uint32_t kCapacity = 1024;

    // Producer side. A full queue drops the item and counts it.
    bool push(const HandOver& item)
    {
        if (tryPush(item))
            return true;
        dropped.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    // A full queue leaves the item to the caller (offline processing waits and tries again).
    bool tryPush(const HandOver& item)
    {
        std::uint32_t w = writeIndex.load(std::memory_order_relaxed);
        if (w - readIndex.load(std::memory_order_acquire) >= kCapacity)
            return false;
        items[w & (kCapacity - 1)] = item;
        writeIndex.store(w + 1, std::memory_order_release);
        return true;
    }
    // Returns the new reset generation.
    std::uint32_t postReset()
    {
        std::uint64_t mark = resetMark.load(std::memory_order_relaxed);
        std::uint32_t gen = static_cast<std::uint32_t>(mark >> 32) + 1;
        std::uint32_t at = writeIndex.load(std::memory_order_relaxed);
        resetMark.store((static_cast<std::uint64_t>(gen) << 32) | at, std::memory_order_release);
        return gen;
    }
    std::uint32_t requestedGeneration() const
    {
        return static_cast<std::uint32_t>(resetMark.load(std::memory_order_acquire) >> 32);
    }

    // Consumer side. Peeks the next item; `consume` releases its slot once the item is processed.
    bool peek(HandOver& item) const
    {
        std::uint32_t r = readIndex.load(std::memory_order_relaxed);
        if (r == writeIndex.load(std::memory_order_acquire))
            return false;
        item = items[r & (kCapacity - 1)];
        return true;
    }
    // Peeks the next item only while no reset newer than appliedGen is pending: a reset posted
    // after the last takeReset may have been posted before this item was queued, and then it must
    // be carried out first (the item would otherwise be counted and then cleared away with it).
    bool peekAfter(std::uint32_t appliedGen, HandOver& item) const
    {
        if (!peek(item))
            return false;
        return requestedGeneration() == appliedGen;
    }
    void consume() { readIndex.store(readIndex.load(std::memory_order_relaxed) + 1, std::memory_order_release); }
    // A pending reset not yet applied: returns true with its generation and drops the windows
    // queued before it (the reset clears whatever they would have added).
    bool takeReset(std::uint32_t appliedGen, std::uint32_t& gen)
    {
        std::uint64_t mark = resetMark.load(std::memory_order_acquire);
        gen = static_cast<std::uint32_t>(mark >> 32);
        if (gen == appliedGen)
            return false;
        std::uint32_t at = static_cast<std::uint32_t>(mark);
        std::uint32_t r = readIndex.load(std::memory_order_relaxed);
        if (static_cast<std::int32_t>(at - r) > 0)
            readIndex.store(at, std::memory_order_release);
        return true;
    }

    // Any thread.
    bool empty() const
    {
        return readIndex.load(std::memory_order_acquire) == writeIndex.load(std::memory_order_acquire);
    }
    // Items queued so far (wraps); changes with every push.
    std::uint32_t pushedCount() const { return writeIndex.load(std::memory_order_acquire); }
    // Items consumed or dropped by a reset so far (wraps): the read position.
    std::uint32_t consumedCount() const { return readIndex.load(std::memory_order_acquire); }
    // Items queued and not yet consumed (exact on the producer's thread, a snapshot elsewhere).
    std::uint32_t size() const
    {
        return writeIndex.load(std::memory_order_acquire) - readIndex.load(std::memory_order_acquire);
    }
    std::uint32_t droppedCount() const { return dropped.load(std::memory_order_relaxed); }
    void clearDropped() { dropped.store(0, std::memory_order_relaxed); }

private:
    HandOver items[kCapacity] = {};
    alignas(64) std::atomic<std::uint32_t> writeIndex{0};
    alignas(64) std::atomic<std::uint32_t> readIndex{0};
    alignas(64) std::atomic<std::uint64_t> resetMark{0};
    std::atomic<std::uint32_t> dropped{0};
};

} // namespace DSP
