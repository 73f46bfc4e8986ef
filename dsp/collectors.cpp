#include "dsp/collectors.h"

#include <algorithm>
#include <cfloat>
#include <cstring>

#include "dsp/collectorthread.h"
#include "dsp/prims.h"

namespace DSP {

// ---------------------------------------------------------------------------------------------
Collector::Collector(int32 channelCount, int32 windowLength)
: Algo<double>(windowLength, 44100.0), channelCount(channelCount)
{}

Collector::~Collector()
{
    Collector::terminate();
}

bool Collector::initialize(const Param::ParamRecord*)
{
    size_t n = static_cast<size_t>(channelCount > 0 ? channelCount : 1);
    if (!sums)
        sums = std::make_unique<float[]>(n);
    if (!runningSums)
        runningSums = std::make_unique<float[]>(n);
    if (!weights) {
        weights = std::make_unique<float[]>(n);
        std::fill_n(weights.get(), n, 1.0f);
    }
    return true;
}

bool Collector::terminate()
{
    sums.reset();
    runningSums.reset();
    weights.reset();
    return true;
}

void Collector::reset()
{
    runningFill = 0;
    meanSquare = 0.0f;
    for (int32 c = 0; c < channelCount; ++c) {
        sums[c] = 0.0f;
        runningSums[c] = 0.0f;
    }
}

int32 Collector::weightedBlockEnergy(float** in, int32 len)
{
    if (blockSize > len)
        return 1;
    float total = 0.0f;
    for (int32 c = 0; c < channelCount; ++c) {
        float s = 0.0f;
        ippsSum_32f(in[c], len, &s, 2);
        sums[c] = s;
    }
    for (int32 c = 0; c < channelCount; ++c)
        total += sums[c] * weights[c];
    meanSquare = total / static_cast<float>(blockSize);
    return 0;
}

int32 Collector::accumulateBlock(float** in, int32 len)
{
    int32 take = blockSize - runningFill;
    if (take > len)
        take = len;
    for (int32 c = 0; c < channelCount; ++c) {
        float s = 0.0f;
        if (take > 0)
            ippsSum_32f(in[c], take, &s, 2);
        runningSums[c] += s;
    }
    runningFill += take;
    if (runningFill < blockSize)
        return 1;
    float total = 0.0f;
    for (int32 c = 0; c < channelCount; ++c)
        total += runningSums[c] * weights[c];
    meanSquare = total / static_cast<float>(blockSize);
    int32 rest = len - take;
    runningFill = rest > blockSize ? blockSize : rest;
    for (int32 c = 0; c < channelCount; ++c) {
        float s = 0.0f;
        if (runningFill > 0)
            ippsSum_32f(in[c] + take, runningFill, &s, 2);
        runningSums[c] = s;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Nodes are read only below count, each written as it is inserted: not zeroed.
SortedSumsList::SortedSumsList(int32 capacity)
: capacity(capacity), nodes(std::make_unique_for_overwrite<Node[]>(static_cast<size_t>(capacity > 0 ? capacity : 1)))
{}

SortedSumsList::~SortedSumsList() = default;

void SortedSumsList::insert(float z)
{
    if (count >= capacity)
        return;
    int32 node = count;
    nodes[node].value = z;
    int32 prev = -1, cur = head;
    while (cur >= 0 && nodes[cur].value < z) {
        prev = cur;
        cur = nodes[cur].next;
    }
    nodes[node].next = cur;
    if (prev < 0)
        head = node;
    else
        nodes[prev].next = node;
    ++count;
    sum += z;
}

void SortedSumsList::clear()
{
    count = 0;
    head = -1;
    sum = 0.0f;
}

// ---------------------------------------------------------------------------------------------
CollectorOverlap::CollectorOverlap(int32 channelCount, int32 blockSize, int32 window, int32 overlap, float sampleRate,
                                   bool threaded)
: Overlap(channelCount, blockSize, window, overlap, sampleRate), windowLength(window), threadedRequest(threaded)
{
    // Every wake costs a task switch on both sides: let the worker's results lag the audio by about
    // 0.3 s, rounded to whole hops (read-outs, resets and drains wake it for the rest).
    const double hops = 0.3 * static_cast<double>(sampleRate) / static_cast<double>(hop > 0 ? hop : 1);
    wakeBatch = hops >= 1.5 ? static_cast<int32>(hops + 0.5) : 1;
}

CollectorOverlap::~CollectorOverlap()
{
    stopWorker();
    destroySummer();
}

void CollectorOverlap::createSummer()
{
    destroySummer();
    summer = std::make_unique<Collector>(channelCount, windowLength);
    summer->initialize(nullptr);
    summer->reset();
}

void CollectorOverlap::destroySummer()
{
    if (summer)
        summer->terminate();
    summer.reset();
}

bool CollectorOverlap::initialize(const Param::ParamRecord* table)
{
    Overlap::initialize(table);
    createSummer();
    folded = std::make_unique<EnergyHistogram>();
    return true;
}

bool CollectorOverlap::terminate()
{
    stopWorker();
    destroySummer();
    Overlap::terminate();
    folded.reset();
    return true;
}

void CollectorOverlap::freeAllBuffers()
{
    destroySummer();
    Overlap::freeAllBuffers();
}

void CollectorOverlap::allocateAllBuffers()
{
    createSummer();
    Overlap::allocateAllBuffers();
    Overlap::reset();
}

int32 CollectorOverlap::setChannelCount(int32 in, int32 out, int32 aux)
{
    if (in != out || in < 1)
        return kChannelsRefused;
    if (in == channelCount)
        return kChannelsAccepted;
    // The worker owns the gating state that the buffers are rebuilt around: stop it first.
    bool hadWorker = worker != nullptr;
    stopWorker();
    Overlap::setChannelCount(in, out, aux);
    resetPending();
    if (hadWorker)
        startWorker(workerName);
    return kChannelsAccepted;
}

void CollectorOverlap::startWorker(const char* name)
{
    if (worker)
        return;
    workerName = name;
    worker = std::make_unique<CollectorProcessThread>(name, this);
    if (worker->isSemaphoreValid())
        worker->start();
    // Without a semaphore or a thread the collector measures on the calling thread instead.
    if (!worker->isUsable())
        worker.reset();
}

void CollectorOverlap::stopWorker()
{
    if (!worker)
        return;
    holdWorker(false);
    worker->stop();
    worker.reset();
    // Whatever the worker had not reached yet (a last reset above all) is carried out here.
    processPending();
}

void CollectorOverlap::reset()
{
    Overlap::reset();
    windowsLost = false;
    currentLoudness = -80.0f;
    peakLoudness = -INFINITY;
    if (summer)
        summer->reset();
    if (worker && !worker->hasQuit()) {
        queue.postReset();
        worker->wake();
    } else {
        processPending();
        resetPending();
    }
}

void CollectorOverlap::processOverlappedBlock(float** window, int32 length)
{
    if (!summer)
        return;
    summer->weightedBlockEnergy(window, length);
    float z = summer->getMeanSquare();
    if (!isMeasurableEnergy(z))
        return;
    float l = loudnessOf(z);
    currentLoudness = l;
    if (l > peakLoudness)
        peakLoudness = l;
    if (worker && !worker->hasQuit()) {
        const HandOver item{length, z};
        if (!offline) {
            if (queue.push(item))
                wakeForBatch();
            return;
        }
        // Offline there is time: let the worker catch up (or take its part) rather than lose the
        // window. Once it has failed to answer, the readings are lost anyway: no more waiting.
        if (queue.tryPush(item) || (!windowsLost && drain(waitLimitMs) && queue.tryPush(item))) {
            wakeForBatch();
            return;
        }
        if (!worker->hasQuit()) {
            // The worker did not answer: the window is lost, and every read-out says so until a reset.
            queue.push(item);
            windowsLost = true;
            return;
        }
    }
    if (worker) {
        // The worker has ended on its own: catch up with what it left and go on directly.
        processPending();
    }
    processWindow(length, z);
}

void CollectorOverlap::wakeForBatch()
{
    if (queue.size() >= static_cast<std::uint32_t>(getWakeBatch()))
        worker->wake();
}

void CollectorOverlap::requestResults()
{
    if (measuresDirectly())
        processPending();
    else if (!isSettled())
        worker->wake();
}

bool CollectorOverlap::measuresDirectly() const
{
    return !worker || worker->hasQuit();
}

void CollectorOverlap::settleDirectly()
{
    if (measuresDirectly())
        processPending();
}

void CollectorOverlap::processPending()
{
    for (;;) {
        std::uint32_t gen = 0;
        const std::uint32_t applied = appliedGeneration.load(std::memory_order_relaxed);
        if (queue.takeReset(applied, gen)) {
            resetPending();
            appliedGeneration.store(gen, std::memory_order_relaxed);
            publishedGeneration.store(gen, std::memory_order_release);
            continue;
        }
        HandOver h;
        if (!queue.peekAfter(applied, h)) {
            if (queue.requestedGeneration() != applied)
                continue; // a reset came in meanwhile: carry it out first
            break;
        }
        processWindow(h.samples, h.meanSquare);
        queue.consume();
    }
    // One evaluation covers every window taken in: a read-out's results then miss none of them.
    if (evaluationDue) {
        evaluate();
        evaluationDue = false;
    }
    settledCount.store(queue.consumedCount(), std::memory_order_release);
}

void CollectorOverlap::resetPending()
{
    gatedLoudness.store(-80.0f, std::memory_order_relaxed);
    evaluationDue = false;
    if (folded)
        folded->clear();
    clearGating();
}

bool CollectorOverlap::resultsCurrent() const
{
    return publishedGeneration.load(std::memory_order_acquire) == queue.requestedGeneration();
}

bool CollectorOverlap::isSettled() const
{
    return queue.empty() && settledCount.load(std::memory_order_acquire) == queue.pushedCount() && resultsCurrent();
}

float CollectorOverlap::getGatedLoudness()
{
    settleDirectly();
    return resultsCurrent() ? gatedLoudness.load(std::memory_order_relaxed) : -80.0f;
}

void CollectorOverlap::serveWorker()
{
    // Held (tests): busy and stuck here until released, as a worker that is never scheduled.
    workerHeld.wait(true, std::memory_order_acquire);
    processPending();
    if (settleWanted.exchange(false, std::memory_order_acq_rel))
        worker->signalSettled();
}

bool CollectorOverlap::settleBy(WaitBudget& budget, bool help)
{
    for (;;) {
        if (measuresDirectly()) {
            processPending();
            return true;
        }
        if (isSettled())
            return true;
        if (help && worker->takeSleep()) {
            // The worker sleeps: what it has not taken in is taken in here, without a task switch.
            processPending();
            worker->releaseSleep();
            continue;
        }
        // It is busy: it answers the request once it has taken in everything queued so far.
        settleWanted.store(true, std::memory_order_seq_cst);
        if (help)
            worker->wake();
        if (isSettled())
            return true;
        if (budget.isSpent())
            return false;
        budget.waitSlice([this](int32 ms) { return worker->waitSettled(ms); });
    }
}

bool CollectorOverlap::completeBy(WaitBudget& budget)
{
    // The results miss the dropped windows whatever the worker does: nothing to wait for.
    return !windowsLost && settleBy(budget);
}

bool CollectorOverlap::drain(int32 timeoutMs)
{
    WaitBudget budget(timeoutMs, *waitClock);
    return completeBy(budget);
}

bool CollectorOverlap::awaitWorker(int32 timeoutMs)
{
    WaitBudget budget(timeoutMs, *waitClock);
    return settleBy(budget, false);
}

void CollectorOverlap::holdWorker(bool held)
{
    workerHeld.store(held, std::memory_order_release);
    if (held) {
        if (worker)
            worker->wake();
    } else {
        workerHeld.notify_all();
    }
}

// ---------------------------------------------------------------------------------------------
CollectorIntegrated::CollectorIntegrated(int32 channelCount, int32 blockSize, int32 window, int32 overlap,
                                         float sampleRate, bool threaded)
: CollectorOverlap(channelCount, blockSize, window, overlap, sampleRate, threaded)
{}

CollectorIntegrated::~CollectorIntegrated()
{
    stopWorker();
    blockStore.reset();
}

void CollectorIntegrated::allocateStore()
{
    // Read only below storedCount: a window is stored before it is read.
    blockStore = makeFloatsForOverwrite(capacity);
}

bool CollectorIntegrated::initialize(const Param::ParamRecord* table)
{
    CollectorOverlap::initialize(table);
    allocateStore();
    storedCount = 0;
    runningSum = 0.0f;
    if (threadedRequest)
        startWorker("CIThread");
    return true;
}

bool CollectorIntegrated::terminate()
{
    CollectorOverlap::terminate();
    blockStore.reset();
    return true;
}

void CollectorIntegrated::freeAllBuffers()
{
    blockStore.reset();
    CollectorOverlap::freeAllBuffers();
}

void CollectorIntegrated::allocateAllBuffers()
{
    allocateStore();
    CollectorOverlap::allocateAllBuffers();
}

void CollectorIntegrated::clearGating()
{
    storedCount = 0;
    runningSum = 0.0;
    latestLoudness = -80.0f;
    belowGate.store(false, std::memory_order_relaxed);
}

bool CollectorIntegrated::isBelowRelativeGate()
{
    settleDirectly();
    return resultsCurrent() && belowGate.load(std::memory_order_relaxed);
}

void CollectorIntegrated::integrateBlock(int32, float z)
{
    if (!isMeasurableEnergy(z) || !blockStore || !folded)
        return;
    latestLoudness = loudnessOf(z);
    evaluationDue = true;
    if (!(latestLoudness > -70.0f))
        return;
    // Once the exact store has filled, every window goes to the histogram.
    if (folded->getCount() > 0) {
        folded->add(z);
        return;
    }
    blockStore[storedCount] = z;
    ++storedCount;
    runningSum += z;
    if (storedCount >= capacity) {
        for (int32 i = 0; i < storedCount; ++i)
            folded->add(blockStore[i]);
        storedCount = 0;
        runningSum = 0.0;
    }
}

void CollectorIntegrated::evaluate()
{
    const std::int64_t count = storedCount + folded->getCount();
    if (count == 0)
        return;
    const double gate = (runningSum + folded->getSum()) / static_cast<double>(count) * 0.1;
    double sum = 0.0;
    std::int64_t above = 0;
    for (int32 i = 0; i < storedCount; ++i) {
        if (blockStore[i] > gate) {
            sum += blockStore[i];
            ++above;
        }
    }
    folded->addAbove(gate, above, sum);
    // Nothing above the relative gate: the previous result stands.
    if (above > 0) {
        gatedLoudness.store(loudnessOf(static_cast<float>(sum / static_cast<double>(above))),
                            std::memory_order_relaxed);
        belowGate.store(loudnessOf(static_cast<float>(gate)) > latestLoudness, std::memory_order_relaxed);
    }
}

// ---------------------------------------------------------------------------------------------
CollectorLoudnessRange::CollectorLoudnessRange(int32 channelCount, int32 blockSize, int32 window, int32 overlap,
                                               float sampleRate, bool threaded)
: CollectorOverlap(channelCount, blockSize, window, overlap, sampleRate, threaded)
{}

CollectorLoudnessRange::~CollectorLoudnessRange()
{
    stopWorker();
    distribution.reset();
}

bool CollectorLoudnessRange::initialize(const Param::ParamRecord* table)
{
    CollectorOverlap::initialize(table);
    distribution = std::make_unique<SortedSumsList>(capacity);
    if (threadedRequest)
        startWorker("LRThread");
    return true;
}

bool CollectorLoudnessRange::terminate()
{
    CollectorOverlap::terminate();
    distribution.reset();
    return true;
}

void CollectorLoudnessRange::clearGating()
{
    if (distribution)
        distribution->clear();
    range.store(0.0f, std::memory_order_relaxed);
    lowPoint.store(0.0f, std::memory_order_relaxed);
    highPoint.store(0.0f, std::memory_order_relaxed);
}

float CollectorLoudnessRange::getRange()
{
    settleDirectly();
    return resultsCurrent() ? range.load(std::memory_order_relaxed) : 0.0f;
}

float CollectorLoudnessRange::getLowPoint()
{
    settleDirectly();
    return resultsCurrent() ? lowPoint.load(std::memory_order_relaxed) : 0.0f;
}

float CollectorLoudnessRange::getHighPoint()
{
    settleDirectly();
    return resultsCurrent() ? highPoint.load(std::memory_order_relaxed) : 0.0f;
}

void CollectorLoudnessRange::rangeStep(int32, float z)
{
    if (!isMeasurableEnergy(z) || !distribution || !folded)
        return;
    evaluationDue = true;
    if (!(loudnessOf(z) > -70.0f))
        return;
    // Once the distribution has filled, every window goes to the histogram.
    if (folded->getCount() == 0 && distribution->getCount() < distribution->getCapacity()) {
        distribution->insert(z);
        return;
    }
    distribution->forEach([&](float v) {
        folded->add(v);
        return true;
    });
    distribution->clear();
    folded->add(z);
}

void CollectorLoudnessRange::evaluate()
{
    const std::int64_t count = distribution->getCount() + folded->getCount();
    if (count == 0)
        return;
    const double gate = (distribution->getSum() + folded->getSum()) / static_cast<double>(count) * 0.01;
    std::int64_t above = 0;
    double unused = 0.0;
    folded->addAbove(gate, above, unused);
    int32 passed = 0;
    distribution->forEach([&](float v) {
        if (v <= gate) {
            ++passed;
            return true;
        }
        return false;
    });
    above += distribution->getCount() - passed;
    if (above == 0)
        return;
    const float x = static_cast<float>(above - 1);
    const std::int64_t hi = static_cast<std::int64_t>(x * 0.95f + 0.5f);
    const std::int64_t lo = static_cast<std::int64_t>(x * 0.1f + 0.5f);
    float low = 0.0f, high = 0.0f;
    if (folded->getCount() > 0) {
        low = folded->valueAt(gate, lo);
        high = folded->valueAt(gate, hi);
    } else {
        std::int64_t index = -passed;
        distribution->forEach([&](float v) {
            if (index == lo)
                low = v;
            if (index == hi) {
                high = v;
                return false;
            }
            ++index;
            return true;
        });
    }
    lowPoint.store(low, std::memory_order_relaxed);
    highPoint.store(high, std::memory_order_relaxed);
    range.store((log10f(high) * 10.0f - 0.691f) - (log10f(low) * 10.0f - 0.691f), std::memory_order_relaxed);
}

} // namespace DSP
