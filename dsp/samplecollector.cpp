#include "dsp/samplecollector.h"

#include <algorithm>
#include <cstring>

#include "dsp/prims.h"

namespace DSP {

namespace {

inline void copyFloats(float* dst, const float* src, int32 n)
{
    if (n > 0)
        std::memcpy(dst, src, sizeof(float) * static_cast<size_t>(n));
}

inline void zeroFloats(float* dst, int32 n)
{
    if (n > 0)
        std::memset(dst, 0, sizeof(float) * static_cast<size_t>(n));
}

} // namespace

SampleCollector::SampleCollector(int32 channelCount, int32 blockSize, int32 blockLength, int32 mode, float sampleRate)
: Algo<double>(blockSize, sampleRate), mode(mode), channelCount(channelCount), blockLength(blockLength)
{}

SampleCollector::~SampleCollector()
{
    SampleCollector::freeAllBuffers();
}

void SampleCollector::freeBlockBuffers()
{
    collectBuffers.clear();
    processedBuffers.clear();
}

void SampleCollector::allocateBlockBuffers()
{
    collectBuffers.allocate(channelCount, blockLength);
    processedBuffers.allocate(channelCount, blockLength);
}

void SampleCollector::freeAllBuffers()
{
    freeBlockBuffers();
    inputCursors.clear();
    outputCursors.clear();
}

void SampleCollector::allocateAllBuffers()
{
    allocateBlockBuffers();
    inputCursors.assign(static_cast<size_t>(channelCount > 0 ? channelCount : 1), nullptr);
    outputCursors.assign(static_cast<size_t>(channelCount > 0 ? channelCount : 1), nullptr);
}

bool SampleCollector::initialize(const Param::ParamRecord*)
{
    SampleCollector::allocateAllBuffers();
    applyMode(mode);
    return true;
}

bool SampleCollector::terminate()
{
    SampleCollector::freeAllBuffers();
    return true;
}

void SampleCollector::applyMode(int32 m)
{
    mode = m;
    if (m == 0) {
        processPath = &SampleCollector::collect;
        feedPath = &SampleCollector::collectInput;
        latency = blockLength;
    } else {
        processPath = &SampleCollector::processDirect;
        feedPath = &SampleCollector::feedDirect;
        latency = 0;
    }
}

void SampleCollector::setMode(int32 m)
{
    applyMode(m);
}

void SampleCollector::setBlockLength(int32 n)
{
    if (n == blockLength)
        return;
    freeBlockBuffers();
    blockLength = n;
    if (mode == 0)
        latency = n;
    allocateBlockBuffers();
}

void SampleCollector::process(float** in, float** out, int32 n)
{
    if (processPath)
        (this->*processPath)(in, out, n);
}

void SampleCollector::feed(float** in, int32 n)
{
    if (feedPath)
        (this->*feedPath)(in, n);
}

void SampleCollector::processDirect(float**, float**, int32) {}
void SampleCollector::feedDirect(float**, int32) {}
void SampleCollector::processBlockInput(float**, int32) {}

void SampleCollector::copyProcessed(int32 c, int32 from, int32 n)
{
    // Without processed buffers (a collector that produces no output) the output is silence.
    if (!processedBuffers.empty())
        copyFloats(outputCursors[c], processedBuffers[c] + from, n);
    else
        zeroFloats(outputCursors[c], n);
}

void SampleCollector::collect(float** in, float** out, int32 n)
{
    for (int32 c = 0; c < channelCount; ++c) {
        inputCursors[c] = in[c];
        outputCursors[c] = out[c];
    }
    // An empty block length would never complete a block.
    if (n <= 0 || blockLength < 1)
        return;
    float** const dst = collectInto();
    while (fill + n >= blockLength) {
        int32 t = blockLength - fill;
        for (int32 c = 0; c < channelCount; ++c) {
            copyFloats(dst[c] + fill, inputCursors[c], t);
            copyProcessed(c, fill, t);
        }
        processBlock(dst, processedBuffers.data(), blockLength);
        for (int32 c = 0; c < channelCount; ++c) {
            inputCursors[c] += t;
            outputCursors[c] += t;
        }
        fill = 0;
        n -= t;
        if (n == 0)
            return;
    }
    for (int32 c = 0; c < channelCount; ++c) {
        copyFloats(dst[c] + fill, inputCursors[c], n);
        copyProcessed(c, fill, n);
    }
    fill += n;
}

void SampleCollector::collectInput(float** in, int32 n)
{
    for (int32 c = 0; c < channelCount; ++c)
        inputCursors[c] = in[c];
    if (n <= 0 || blockLength < 1)
        return;
    float** const dst = collectInto();
    while (fill + n >= blockLength) {
        int32 t = blockLength - fill;
        for (int32 c = 0; c < channelCount; ++c)
            copyFloats(dst[c] + fill, inputCursors[c], t);
        processBlockInput(dst, blockLength);
        for (int32 c = 0; c < channelCount; ++c)
            inputCursors[c] += t;
        fill = 0;
        n -= t;
        if (n == 0)
            return;
    }
    for (int32 c = 0; c < channelCount; ++c)
        copyFloats(dst[c] + fill, inputCursors[c], n);
    fill += n;
}

void SampleCollector::reset()
{
    if (!collectBuffers.empty() && !processedBuffers.empty())
        for (int32 c = 0; c < channelCount; ++c) {
            zeroFloats(collectBuffers[c], blockLength);
            zeroFloats(processedBuffers[c], blockLength);
        }
    fill = 0;
}

void SampleCollector::setActive(bool state)
{
    active = state;
    if (!state)
        reset();
}

int32 SampleCollector::setChannelCount(int32 in, int32 out, int32)
{
    if (in != out || in < 1)
        return kChannelsRefused;
    if (in != channelCount) {
        freeAllBuffers();
        channelCount = in;
        allocateAllBuffers();
    }
    return kChannelsAccepted;
}

Ols::Ols(int32 channelCount, int32 blockSize, int32 window, int32 overlap, float sampleRate)
: SampleCollector(channelCount, blockSize, window - overlap, 0, sampleRate), overlap(overlap), hop(window - overlap)
{
    latency = hop;
}

Ols::~Ols()
{
    freeOlsBuffers();
}

void Ols::freeOlsBuffers()
{
    history.clear();
    windows.clear();
}

void Ols::allocateOlsBuffers()
{
    history.allocate(channelCount, overlap);
    windows.allocate(channelCount, std::int64_t(overlap) + hop);
}

bool Ols::initialize(const Param::ParamRecord* table)
{
    SampleCollector::initialize(table);
    allocateOlsBuffers();
    passThrough = 0;
    return true;
}

bool Ols::terminate()
{
    freeOlsBuffers();
    SampleCollector::terminate();
    return true;
}

void Ols::freeAllBuffers()
{
    freeOlsBuffers();
    SampleCollector::freeAllBuffers();
}

void Ols::allocateAllBuffers()
{
    allocateOlsBuffers();
    SampleCollector::allocateAllBuffers();
}

void Ols::reset()
{
    SampleCollector::reset();
    if (!history.empty())
        for (int32 c = 0; c < channelCount; ++c) {
            zeroFloats(history[c], overlap);
            zeroFloats(windows[c], overlap + hop);
        }
}

void Ols::setActive(bool state)
{
    active = state;
    if (!state)
        reset();
}

void Ols::processBlock(float** collected, float** out, int32 n)
{
    if (passThrough) {
        for (int32 c = 0; c < channelCount; ++c)
            copyFloats(out[c], collected[c], n);
        return;
    }
    for (int32 c = 0; c < channelCount; ++c) {
        copyFloats(windows[c], history[c], overlap);
        copyFloats(windows[c] + overlap, collected[c], hop);
        // The history keeps the newest samples; with overlap above hop the older part shifts down.
        if (overlap <= hop) {
            copyFloats(history[c], collected[c] + (hop - overlap), overlap);
        } else {
            std::memmove(history[c], history[c] + hop, sizeof(float) * static_cast<size_t>(overlap - hop));
            copyFloats(history[c] + (overlap - hop), collected[c], hop);
        }
    }
    processOverlappedBlock(windows.data(), overlap + hop);
    for (int32 c = 0; c < channelCount; ++c)
        copyFloats(out[c], windows[c] + overlap, hop);
}

Overlap::Overlap(int32 channelCount, int32 blockSize, int32 window, int32 overlap, float sampleRate)
: Ols(channelCount, blockSize, window, overlap, sampleRate)
{
    computeLengths();
}

Overlap::~Overlap()
{
    freeStreams();
}

void Overlap::computeLengths()
{
    int32 k = overlap - hop;
    keep = k > 0 ? k : 0;
    copyCount = hop < overlap ? hop : overlap;
    int32 s = hop - copyCount;
    sourceOffset = s > 0 ? s : 0;
    filled = 0;
    handler = &Overlap::handleStartBlock;
}

void Overlap::freeStreams()
{
    streams.clear();
    tails.clear();
    windowStarts.clear();
    streamCapacity = 0;
}

void Overlap::allocateStreams()
{
    freeStreams();
    // Beyond the window, room for three windows or at least twelve hops: the tail moves down once
    // per many hops, so moving it costs about a third of a copy of the signal.
    const int32 span = overlap + hop;
    const int32 extra = span > 4 * hop ? 3 * span : 12 * hop;
    // The origin comes out of that room: a stream keeps its size, and lies where such streams lay.
    streamCapacity = span + extra;
    // Written before it is read: hop by hop, and the silence before the first sample at each restart
    // where the start-up windows are read.
    streams.allocate(channelCount, streamCapacity, true);
    const size_t n = static_cast<size_t>(channelCount > 0 ? channelCount : 1);
    tails.assign(n, nullptr);
    windowStarts.assign(n, nullptr);
    restartStream();
}

int32 Overlap::historyOrigin() const
{
    // Where the start-up windows are read, the silence before the first sample stands at 0. Where
    // they are not, it is never written: the first hop comes past the history's place, so that the
    // history moved down later lands on memory the stream has written already.
    return readsStartUpWindows() ? 0 : overlap + (overlap & 1);
}

void Overlap::restartStream()
{
    origin = historyOrigin();
    streamEnd = origin > overlap ? origin : overlap;
    const bool zeroHistory = origin == 0;
    // Silence skipped from here on counts on zeros it has written: none stand before the first hop.
    if (!zeroHistory)
        silentRun = 0;
    for (int32 c = 0; c < channelCount; ++c) {
        if (zeroHistory)
            zeroFloats(streams[c], overlap);
        tails[c] = streams[c] + streamEnd;
        windowStarts[c] = tails[c] - overlap;
    }
}

void Overlap::setLengths(int32 window, int32 ov)
{
    overlap = ov;
    hop = window - ov;
    if (!collectBuffers.empty())
        setBlockLength(hop);
    else
        blockLength = hop;
    latency = window;
    computeLengths();
    // A partial block of the old hop means nothing for the new one.
    fill = 0;
    if (!streams.empty()) {
        if (historyOrigin() + overlap + hop > streamCapacity)
            allocateStreams();
        else
            restartStream();
    }
}

void Overlap::applyMode(int32)
{
    SampleCollector::applyMode(0);
    latency = overlap + hop;
}

void Overlap::reset()
{
    silentRun = 0;
    filled = 0;
    handler = &Overlap::handleStartBlock;
    Ols::reset();
    if (!streams.empty())
        restartStream();
}

void Overlap::collectInput(float** in, int32 n)
{
    if (n <= 0)
        return;
    silentRun = 0;
    SampleCollector::collectInput(in, n);
}

void Overlap::feedSilence(std::int64_t n)
{
    if (n <= 0 || blockLength < 1 || streams.empty())
        return;
    float** const tail = collectInto();
    // Zeros go in hop by hop while a window to come may still reach back to the sound.
    const std::int64_t span = static_cast<std::int64_t>(overlap) + hop;
    while (n > 0 && silentRun < span) {
        const int32 t = static_cast<int32>(std::min<std::int64_t>(n, blockLength - fill));
        for (int32 c = 0; c < channelCount; ++c)
            zeroFloats(tail[c] + fill, t);
        fill += t;
        silentRun += t;
        n -= t;
        if (fill == blockLength) {
            fill = 0;
            processBlockInput(tail, blockLength);
        }
    }
    if (n == 0)
        return;
    // Every window from here holds zeros only: it carries no energy, so only the grid moves on. The
    // history is zeros already; the start-up handler counts the hops it would have seen.
    const std::int64_t total = fill + n;
    std::int64_t hops = total / blockLength;
    fill = static_cast<int32>(total % blockLength);
    for (; hops > 0 && handler == &Overlap::handleStartBlock && !passThrough; --hops) {
        filled += copyCount;
        if (filled >= overlap)
            handler = &Overlap::handleBlock;
    }
    for (int32 c = 0; c < channelCount; ++c)
        zeroFloats(tail[c], fill);
}

void Overlap::processBlock(float** collected, float**, int32)
{
    (this->*handler)(collected);
}

void Overlap::processBlockInput(float** collected, int32)
{
    (this->*handler)(collected);
}

void Overlap::appendHop(float** collected)
{
    for (int32 c = 0; c < channelCount; ++c) {
        float* tail = streams[c] + streamEnd;
        // Blocks collected by this class are already in place.
        if (collected[c] != tail)
            copyFloats(tail, collected[c], hop);
        windowStarts[c] = tail - overlap;
    }
}

void Overlap::advanceStream()
{
    streamEnd += hop;
    const int32 start = streamEnd - overlap;
    // The next hop must fit, and the next window must start at an even offset: the accurate sum
    // pairs its samples from an 8-byte boundary, so the offset's parity shows in the result. A window
    // that starts before the origin is a start-up one that nobody reads.
    if (streamEnd + hop > streamCapacity || (start >= origin && (start & 1) != 0)) {
        for (int32 c = 0; c < channelCount; ++c)
            if (overlap > 0)
                std::memmove(streams[c] + origin, streams[c] + start, sizeof(float) * static_cast<size_t>(overlap));
        streamEnd = origin + overlap;
    }
    for (int32 c = 0; c < channelCount; ++c)
        tails[c] = streams[c] + streamEnd;
}

void Overlap::handleBlock(float** collected)
{
    if (passThrough)
        return;
    appendHop(collected);
    processOverlappedBlock(windowStarts.data(), overlap + hop);
    advanceStream();
}

void Overlap::handleStartBlock(float** collected)
{
    if (passThrough)
        return;
    appendHop(collected);
    processOverlappedBlock(windowStarts.data(), hop + filled);
    advanceStream();
    filled += copyCount;
    if (filled >= overlap)
        handler = &Overlap::handleBlock;
}

} // namespace DSP
