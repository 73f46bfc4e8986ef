#include "host/audiothread.h"

namespace qelhost {

namespace {
constexpr std::uint64_t kStopBit = 1ull << 63;
} // namespace

AudioThread::AudioThread(IAudioProcessor* proc, WaitClock& clock)
: proc_(proc), clock_(clock), thread_([this] { loop(); })
{}

AudioThread::~AudioThread()
{
    seq_.fetch_or(kStopBit);
    seq_.notify_all();
    thread_.join();
}

void AudioThread::submit(ProcessBlock* b)
{
    std::uint64_t k = seq_.load(std::memory_order_relaxed) & ~kStopBit;
    ring_[k % kRing] = b;
    seq_.store(k + 1);
    if (Probe* p = probe_.load(std::memory_order_relaxed))
        p->handedOver(k + 1);
}

void AudioThread::kick()
{
    if (audioWaiting_.load())
        seq_.notify_one();
}

bool AudioThread::waitFor(std::uint64_t target, std::chrono::steady_clock::duration stall)
{
    kick();
    if (done_.load() >= target)
        return true;
    // Say that we wait before looking again: a block done after the look sees the flag and wakes us.
    mainTarget_.store(target);
    mainWaiting_.store(true);
    IdleBound idle(stall, clock_);
    std::uint64_t d = done_.load();
    for (;;) {
        const std::uint64_t now = done_.load();
        if (now >= target || (now == d && idle.isOver())) {
            // Take the flag back; if the audio thread took it first, its wake is on the way.
            if (!mainWaiting_.exchange(false))
                wake_.acquire();
            return now >= target;
        }
        if (now != d) {
            d = now;
            idle.restart();
        }
        if (Probe* p = probe_.load(std::memory_order_relaxed))
            p->lastLook(target);
        if (idle.waitSlice([this](auto slice) { return wake_.try_acquire_for(slice); }))
            return true; // the audio thread took the flag back and woke us
    }
}

void AudioThread::loop()
{
    std::uint64_t k = 0;
    for (;;) {
        std::uint64_t f = seq_.load(std::memory_order_acquire);
        if (k == (f & ~kStopBit)) {
            if (f & kStopBit)
                return;
            audioWaiting_.store(true);
            if (seq_.load() == f)
                seq_.wait(f);
            audioWaiting_.store(false);
            continue;
        }
        if (Probe* p = probe_.load(std::memory_order_relaxed))
            p->beforeBlock(k);
        ProcessBlock* b = ring_[k % kRing];
        b->result = proc_->process(b->data);
        Probe* p = probe_.load(std::memory_order_relaxed);
        if (p)
            p->processed(k);
        if (b->takeBack)
            b->takeBack(*b);
        ++k;
        // Done before the look: a main thread that says it waits after the look finds the block done.
        done_.store(k);
        const bool waiting = mainWaiting_.load() && k >= mainTarget_.load() && mainWaiting_.exchange(false);
        if (p)
            p->lookedForWaiter(k - 1, waiting);
        if (waiting)
            wake_.release();
        if (p)
            p->afterBlock(k - 1);
    }
}

} // namespace qelhost
