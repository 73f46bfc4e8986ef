// The state records the audio thread last published, for the main thread to read while blocks
// run. Three buffers, so that neither side ever waits: the writer fills its own buffer and swaps
// it with the shared one; the reader takes the shared one when it is newer than its own.
#pragma once

#include "dsp/algoaccessor.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace Calvereth {
namespace Qel {

class StateSnapshot
{
public:
    // Main thread, while no block runs: room for `size` entries. std::bad_alloc when memory runs
    // out, with the buffers as they were.
    void allocate(int32 size)
    {
        const int32 n = size > 0 ? size : 0;
        std::unique_ptr<DSP::ParameterEntry[]> made[3];
        for (auto& b : made)
            b = std::make_unique<DSP::ParameterEntry[]>(static_cast<std::size_t>(n > 0 ? n : 1));
        for (int i = 0; i < 3; ++i)
            buffers[i].swap(made[i]);
        bytes = n;
        writer = 0;
        reader = 1;
        shared.store(2, std::memory_order_relaxed);
    }
    int32 size() const { return bytes; }

    // Writer side.
    DSP::ParameterEntry* writeBuffer() { return buffers[writer].get(); }
    void publish() { writer = shared.exchange(writer | kFresh, std::memory_order_acq_rel) & kIndex; }

    // Reader side: the newest published records.
    const DSP::ParameterEntry* latest()
    {
        if (shared.load(std::memory_order_acquire) & kFresh)
            reader = shared.exchange(reader, std::memory_order_acq_rel) & kIndex;
        return buffers[reader].get();
    }

private:
    static constexpr int kIndex = 3;
    static constexpr int kFresh = 4;

    std::unique_ptr<DSP::ParameterEntry[]> buffers[3];
    int32 bytes = 0;
    int writer = 0;
    int reader = 1;
    std::atomic<int> shared{2};
};

} // namespace Qel
} // namespace Calvereth
