// Gated loudness collectors: momentary and integrated loudness over 0.4-s windows, short-term
// loudness and loudness range over 3-s windows, with the gating of the loudness standard.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "dsp/energyhistogram.h"
#include "dsp/handoverqueue.h"
#include "dsp/samplecollector.h"
#include "platform/waitbound.h"

namespace DSP {

class CollectorProcessThread;

// LUFS of a channel-weighted mean square, in single precision.
inline float loudnessOf(float meanSquare)
{
    return log10f(meanSquare) * 10.0f + (-0.691f);
}

// Whether a window's mean square can be measured: windows without energy, and those whose energy
// is not a finite float, add nothing.
inline bool isMeasurableEnergy(float meanSquare)
{
    return meanSquare > 0.0f && meanSquare <= std::numeric_limits<float>::max();
}

// Channel summer: the channel-weighted mean square of one window.
class Collector : public Algo<double>
{
public:
    Collector(int32 channelCount, int32 windowLength);
    ~Collector() override;

    bool initialize(const Param::ParamRecord* table) override;
    bool terminate() override;
    void reset() override;
    int32 setChannelCount(int32, int32, int32) override { return 0; }

    // 0 done, 1 when the block is shorter than the window (the previous mean square stays).
    int32 weightedBlockEnergy(float** in, int32 len);
    // Running form: adds the block's sums until a window is complete; 0 when one was completed.
    int32 accumulateBlock(float** in, int32 len);

    float getMeanSquare() const { return meanSquare; }
    int32 getChannelCount() const { return channelCount; }
    void setWeight(int32 c, float w) { weights[c] = w; }
    float getWeight(int32 c) const { return weights[c]; }

private:
    int32 channelCount;
    int32 runningFill = 0;
    float meanSquare = 0.0f;
    std::unique_ptr<float[]> sums;
    std::unique_ptr<float[]> weights;
    std::unique_ptr<float[]> runningSums;
};

// Ascending list of mean squares over a preallocated node pool.
class SortedSumsList
{
public:
    explicit SortedSumsList(int32 capacity);
    virtual ~SortedSumsList();

    void insert(float z);
    void clear();
    int32 getCount() const { return count; }
    int32 getCapacity() const { return capacity; }
    double getSum() const { return sum; }
    // Values from the head, in order (for evaluation and tests).
    template <class F>
    void forEach(F f) const
    {
        for (int32 n = head; n >= 0; n = nodes[n].next)
            if (!f(nodes[n].value))
                return;
    }

private:
    struct Node
    {
        int32 next;
        float value;
    };
    int32 capacity;
    std::unique_ptr<Node[]> nodes;
    int32 count = 0;
    int32 head = -1;
    // In double: a float sum of many windows drifts by hundredths of a LU.
    double sum = 0.0;
};

using Platform::WaitClock;

// How long a read-out may still wait for workers, shared by every wait it makes, in wall time with
// stops left out as Platform::WaitBound counts them, in slices of 20 ms.
class WaitBudget
{
public:
    explicit WaitBudget(int32 ms, WaitClock& clock = WaitClock::steady())
    : bound(std::chrono::milliseconds(ms > 0 ? ms : 0), std::chrono::milliseconds(20), clock)
    {}
    bool isSpent() const { return bound.isOver(); }
    // One slice of `wait(ms)`, which answers true when it was woken before its time ran out.
    template <class Wait>
    bool waitSlice(Wait&& wait)
    {
        return bound.waitSlice([&wait](Platform::WaitBound::duration slice) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(slice).count();
            return wait(static_cast<int32>((ns + 999999) / 1000000));
        });
    }

private:
    Platform::WaitBound bound;
};

class CollectorOverlap : public Overlap
{
public:
    // Windows kept exactly; beyond them, every window is folded into a histogram.
    static constexpr int32 kCapacity = 345600;
    // How long offline processing waits for a worker, at the most, before it gives up.
    static constexpr int32 kWaitLimitMs = 8000;

    CollectorOverlap(int32 channelCount, int32 blockSize, int32 window, int32 overlap, float sampleRate, bool threaded);
    ~CollectorOverlap() override;

    bool initialize(const Param::ParamRecord* table) override;
    bool terminate() override;
    void reset() override;
    void freeAllBuffers() override;
    void allocateAllBuffers() override;
    int32 setChannelCount(int32 in, int32 out, int32 aux) override;
    void processOverlappedBlock(float** window, int32 length) override;
    // Offline, a full hand-over queue makes the feed wait (a bounded time) for room instead of
    // dropping the window. Nobody watches the readings as they come offline, so the worker is woken
    // for large batches, and each read-out completes the readings first.
    void setOfflineProcessing(bool state) override { offline = state; }
    // Worker side: true when a hand-over, a reset or a settle request is waiting (or the worker is
    // held).
    bool hasPending() const
    {
        return workerHeld.load(std::memory_order_acquire) || !queue.empty() ||
               queue.requestedGeneration() != appliedGeneration.load(std::memory_order_relaxed) ||
               settleWanted.load(std::memory_order_acquire);
    }
    // The worker's turn: takes in what is pending, then answers a settle request.
    void serveWorker();

    // The consuming thread (the worker, the feeding thread while the worker sleeps, or the owner's
    // thread without a worker): carries out every reset request and hand-over in the order they
    // were posted, then evaluates the gating over every window so far.
    virtual void processPending();
    // Consuming thread: clears the gating state.
    virtual void resetPending();

    // Loudness of the latest window (audio thread), -80 before the first.
    float getCurrentLoudness() const { return currentLoudness; }
    // Largest window loudness since the last call (audio thread); -inf when no window was measured.
    float takePeakLoudness()
    {
        float p = peakLoudness;
        peakLoudness = -INFINITY;
        return p;
    }
    // The gated results cover every window the worker has taken in; without a worker, every window.
    float getGatedLoudness();
    Collector* getSummer() const { return summer.get(); }
    bool isThreaded() const { return worker != nullptr; }
    // Windows dropped because the worker's queue was full.
    std::uint32_t getDroppedWindows() const { return queue.droppedCount(); }
    // Brings every window completed so far into the gated results (the feeding thread, or any one
    // thread while nothing is fed): what the worker has not taken in yet is taken in here while it
    // sleeps, and a busy worker is waited for, as long as `budget` lasts. True when the results
    // cover every window; false when the worker did not answer in time, and false at once, with no
    // waiting, when an offline feed had to drop a window since the last reset.
    bool completeBy(WaitBudget& budget);
    // The same with a budget of `timeoutMs` (wall time, a stop of a second or more left out), on
    // the wait clock.
    bool drain(int32 timeoutMs = kWaitLimitMs);
    // Whether an offline feed dropped a window since the last reset.
    bool hasLostWindows() const { return windowsLost; }
    // Once per read-out, on the feeding thread, never waiting: wakes the worker for whatever it has
    // not evaluated yet, so the next read-out shows it. Without a worker, the results are brought
    // up to date here.
    void requestResults();
    // How long an offline feed waits for room in the queue before it drops a window (wall time, a
    // stop of a second or more left out). It waits once: after a dropped window, no more until reset.
    void setWaitLimit(int32 ms) { waitLimitMs = ms; }
    // Where the waits' budgets read the time and sleep: the machine's monotonic clock, or a test's
    // scripted one. Owner's thread, while nothing is fed or read out.
    void setWaitClock(WaitClock& clock) { waitClock = &clock; }
    // For tests: a held worker stops, busy, before it takes in anything (as a worker that the
    // system does not schedule); it goes on when released. Owner's thread (releasing: any thread).
    void holdWorker(bool held);
    // For tests: waits, at most `timeoutMs` (as drain counts it), until the worker has evaluated
    // everything, without waking it or doing its part: true only when something else woke it.
    bool awaitWorker(int32 timeoutMs);
    // Windows the worker is left to collect before the feed wakes it.
    int32 getWakeBatch() const { return offline ? kOfflineWakeBatch : wakeBatch; }
    int32 getWindowLength() const { return windowLength; }
    // For tests: windows in the exact store and in the histogram (read after drain).
    int32 getStoredCount() const { return storedCount; }
    std::int64_t getFoldedCount() const { return folded ? folded->getCount() : 0; }

protected:
    // The summer ignores every window shorter than the one it was made for.
    bool readsStartUpWindows() const override { return windowLength < overlap + hop; }
    // One window's gating step (worker, or audio thread when unthreaded).
    virtual void processWindow(int32 samples, float meanSquare) = 0;
    // The gated results over every window taken in so far.
    virtual void evaluate() = 0;
    // Clears the worker-owned gating state.
    virtual void clearGating() = 0;
    void createSummer();
    void destroySummer();
    void startWorker(const char* name);
    void stopWorker();
    // Audio thread, after a hand-over: wakes the worker once a batch of windows waits.
    void wakeForBatch();
    bool resultsCurrent() const;
    // Whether the worker has evaluated every hand-over and reset posted so far.
    bool isSettled() const;
    // Until every hand-over and reset is evaluated (true), or until the budget is spent (false).
    // With `help`, the worker is woken, and while it sleeps its part is done here.
    bool settleBy(WaitBudget& budget, bool help = true);
    // Without a running worker the windows are gated on the feeding thread, and the results are
    // brought up to date on the reading thread.
    bool measuresDirectly() const;
    void settleDirectly();

    int32 storedCount = 0;
    int32 capacity = kCapacity;
    int32 windowLength;
    float currentLoudness = -80.0f;
    float peakLoudness = -INFINITY;
    std::atomic<float> gatedLoudness{0.0f};
    FloatBuffer blockStore;
    std::unique_ptr<EnergyHistogram> folded;
    std::unique_ptr<Collector> summer;
    bool threadedRequest;
    bool offline = false;
    // Worker side: a window was taken in since the last evaluation.
    bool evaluationDue = false;
    int32 wakeBatch = 1;
    int32 waitLimitMs = kWaitLimitMs;
    WaitClock* waitClock = &WaitClock::steady();
    // An offline feed dropped a window (its worker did not answer): the results miss it until reset.
    bool windowsLost = false;
    // A quarter of the queue: room is left for the windows that come while the worker catches up.
    static constexpr int32 kOfflineWakeBatch = static_cast<int32>(HandOverQueue::kCapacity / 4);
    std::unique_ptr<CollectorProcessThread> worker;
    const char* workerName = "";
    HandOverQueue queue;
    std::atomic<std::uint32_t> appliedGeneration{0};
    std::atomic<bool> settleWanted{false};
    std::atomic<bool> workerHeld{false};
    std::atomic<std::uint32_t> publishedGeneration{0};
    // Hand-overs taken in and evaluated by the worker (its queue's read position then).
    std::atomic<std::uint32_t> settledCount{0};
};

class CollectorIntegrated : public CollectorOverlap
{
public:
    CollectorIntegrated(int32 channelCount, int32 blockSize, int32 window, int32 overlap, float sampleRate,
                        bool threaded);
    ~CollectorIntegrated() override;

    bool initialize(const Param::ParamRecord* table) override;
    bool terminate() override;
    void freeAllBuffers() override;
    void allocateAllBuffers() override;

    void integrateBlock(int32 samples, float meanSquare);
    bool isBelowRelativeGate();

protected:
    void processWindow(int32 samples, float meanSquare) override { integrateBlock(samples, meanSquare); }
    void evaluate() override;
    void clearGating() override;

private:
    void allocateStore();
    std::atomic<bool> belowGate{false};
    // Worker side: the exact store's sum, and the loudness of the latest window taken in.
    double runningSum = 0.0;
    float latestLoudness = -80.0f;
};

class CollectorLoudnessRange : public CollectorOverlap
{
public:
    CollectorLoudnessRange(int32 channelCount, int32 blockSize, int32 window, int32 overlap, float sampleRate,
                           bool threaded);
    ~CollectorLoudnessRange() override;

    bool initialize(const Param::ParamRecord* table) override;
    bool terminate() override;

    void rangeStep(int32 samples, float meanSquare);
    float getRange();
    float getLowPoint();
    float getHighPoint();
    const SortedSumsList* getDistribution() const { return distribution.get(); }

protected:
    void processWindow(int32 samples, float meanSquare) override { rangeStep(samples, meanSquare); }
    void evaluate() override;
    void clearGating() override;

private:
    std::atomic<float> range{0.0f};
    std::atomic<float> lowPoint{0.0f};
    std::atomic<float> highPoint{0.0f};
    std::unique_ptr<SortedSumsList> distribution;
};

} // namespace DSP
