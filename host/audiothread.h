// A session's audio thread: runs the plug-in's process calls for the blocks the main thread hands
// over, in order. Each side only wakes the other when that one has said it is waiting, so a busy
// pipeline makes no system calls.
#pragma once

#include "host/idlebound.h"
#include "host/qelabi.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <semaphore>
#include <thread>

namespace qelhost {

// One block as the audio thread takes it: the call's data, and what process() answered.
struct ProcessBlock
{
    ProcessData data{};
    tresult result = kResultOk;
    // When set, the audio thread takes the block back itself: it calls this right after process(),
    // before the block counts as done. A host whose audio thread also runs the display sets it.
    void (*takeBack)(ProcessBlock&) = nullptr;
};

class AudioThread
{
public:
    static constexpr std::uint64_t kRing = 128; // blocks handed over and not yet taken back, at most

    // `clock` is where the main thread's bound on a stopped plug-in reads the time.
    explicit AudioThread(IAudioProcessor* proc, WaitClock& clock = WaitClock::steady());
    ~AudioThread();
    AudioThread(const AudioThread&) = delete;
    AudioThread& operator=(const AudioThread&) = delete;

    void submit(ProcessBlock* b);
    // Wakes the audio thread when it waits: the main thread calls it after a batch of blocks and
    // before it waits or sleeps itself, so the audio thread wakes once per batch.
    void kick();
    std::uint64_t done() const { return done_.load(std::memory_order_acquire); }
    std::thread::id id() const { return thread_.get_id(); }
    // Main thread: returns true once done() has reached `target`; the audio thread wakes it only
    // then. False when no block was done for `stall`: the plug-in has stopped in a process call.
    // The bound counts wall time, less stops of a second or more (a suspended job, a debugger).
    bool waitFor(std::uint64_t target, std::chrono::steady_clock::duration stall);

    // Tests: where each thread can be held, so that the audio thread can be kept behind or let keep
    // up whatever the machine does.
    struct Probe
    {
        virtual void handedOver(std::uint64_t /*blocks*/) {} // main thread, after each submit()
        // Main thread, in waitFor(target) between its last look at done() and each wait that follows.
        virtual void lastLook(std::uint64_t /*target*/) {}
        virtual void beforeBlock(std::uint64_t /*k*/) {} // audio thread, before block k (from 0)
        virtual void processed(std::uint64_t /*k*/) {}   // audio thread, before block k is taken back
        // Audio thread, once block k is done and it has looked whether the main thread waits for it
        // (`waiting`), before it wakes that thread.
        virtual void lookedForWaiter(std::uint64_t /*k*/, bool /*waiting*/) {}
        // Audio thread, once block k is done and a main thread that waited for it has been woken.
        virtual void afterBlock(std::uint64_t /*k*/) {}

    protected:
        ~Probe() = default;
    };
    // The probe must outlive the audio thread: it is called to the end of the last block.
    void setProbe(Probe* probe) { probe_.store(probe); }

private:
    void loop();

    IAudioProcessor* proc_;
    WaitClock& clock_;
    ProcessBlock* ring_[kRing] = {};
    std::atomic<std::uint64_t> seq_{0};
    std::atomic<std::uint64_t> done_{0};
    std::atomic<bool> audioWaiting_{false};
    std::atomic<bool> mainWaiting_{false};
    std::atomic<std::uint64_t> mainTarget_{0};
    std::counting_semaphore<> wake_{0};
    std::atomic<Probe*> probe_{nullptr};
    std::thread thread_;
};

} // namespace qelhost
