// Re-blocking of a stream into fixed blocks, and overlapping windows over those blocks.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "dsp/algo.h"
#include "dsp/prims.h"

namespace DSP {

class SampleCollector : public Algo<double>
{
public:
    SampleCollector(int32 channelCount, int32 blockSize, int32 blockLength, int32 mode, float sampleRate);
    ~SampleCollector() override;

    void setActive(bool state) override;
    int32 setChannelCount(int32 in, int32 out, int32 aux) override;
    void process(float** in, float** out, int32 n) override;
    int32 getLatency() override { return latency; }
    bool initialize(const Param::ParamRecord* table) override;
    bool terminate() override;
    void reset() override;

    virtual void setMode(int32 m);
    virtual void feed(float** in, int32 n);
    virtual void freeAllBuffers();
    virtual void allocateAllBuffers();
    virtual void freeBlockBuffers();
    virtual void allocateBlockBuffers();
    virtual void collect(float** in, float** out, int32 n);
    virtual void collectInput(float** in, int32 n);
    // Where collect and collectInput gather each block: the collect buffers here.
    virtual float** collectInto() { return collectBuffers.data(); }
    virtual void processDirect(float** in, float** out, int32 n);
    virtual void feedDirect(float** in, int32 n);
    virtual void processBlock(float** collected, float** processed, int32 n) = 0;
    virtual void processBlockInput(float** collected, int32 n);
    virtual void applyMode(int32 m);

    void setBlockLength(int32 n);
    int32 getChannelCount() const { return channelCount; }
    int32 getBlockLength() const { return blockLength; }
    int32 getFill() const { return fill; }

protected:
    void copyProcessed(int32 channel, int32 from, int32 n);

    void (SampleCollector::*processPath)(float**, float**, int32) = nullptr;
    void (SampleCollector::*feedPath)(float**, int32) = nullptr;
    int32 mode;
    int32 channelCount;
    int32 fill = 0;
    int32 latency = 0;
    int32 blockLength;
    ChannelBuffers collectBuffers;
    ChannelBuffers processedBuffers;
    std::vector<float*> inputCursors;
    std::vector<float*> outputCursors;
};

class Ols : public SampleCollector
{
public:
    Ols(int32 channelCount, int32 blockSize, int32 window, int32 overlap, float sampleRate);
    ~Ols() override;

    bool initialize(const Param::ParamRecord* table) override;
    bool terminate() override;
    void reset() override;
    void setActive(bool state) override;
    void freeAllBuffers() override;
    void allocateAllBuffers() override;
    void processBlock(float** collected, float** processed, int32 n) override;

    virtual void setPassThrough(int32 on) { passThrough = on; }
    virtual void processOverlappedBlock(float** window, int32 length) = 0;

    int32 getOverlap() const { return overlap; }
    int32 getHop() const { return hop; }

protected:
    // History and window buffers of the straightforward form.
    virtual void freeOlsBuffers();
    virtual void allocateOlsBuffers();

    int32 overlap;
    int32 hop;
    int32 passThrough = 0;
    ChannelBuffers history;
    ChannelBuffers windows;
};

// Keeps each channel's stream in one buffer longer than the window: each hop is collected straight
// into the buffer's tail and the window handed on is a pointer into it, always at an even sample
// offset of a 16-byte aligned buffer. The tail moves down only when the buffer is full (or to keep
// that offset even). The window handed on is the stream itself: processOverlappedBlock reads it only.
// The stream is the only buffer: the base classes' collect, processed, history and window buffers
// are never allocated, and the output of the process path is silence.
class Overlap : public Ols
{
public:
    Overlap(int32 channelCount, int32 blockSize, int32 window, int32 overlap, float sampleRate);
    ~Overlap() override;

    void reset() override;
    void freeBlockBuffers() override { freeStreams(); }
    void allocateBlockBuffers() override { allocateStreams(); }
    float** collectInto() override { return tails.data(); }
    void processBlock(float** collected, float** processed, int32 n) override;
    void processBlockInput(float** collected, int32 n) override;
    void applyMode(int32 m) override;
    void collectInput(float** in, int32 n) override;

    // Takes in n samples of silence, exactly as if n zeros had been fed: the windows that still
    // hold sound are completed one by one, and beyond them, where every window would be zeros
    // without energy, only the grid of windows moves on.
    void feedSilence(std::int64_t n);

    void setLengths(int32 window, int32 overlap);
    bool isStartingUp() const { return handler == &Overlap::handleStartBlock; }
    // Floats held per channel for the stream (0 before initialize).
    int32 getStreamCapacity() const { return streamCapacity; }

protected:
    // Whether processOverlappedBlock reads the start-up windows (shorter than V + H), which begin
    // with the silence before the stream's first sample.
    virtual bool readsStartUpWindows() const { return true; }
    void freeOlsBuffers() override {}
    void allocateOlsBuffers() override {}
    void computeLengths();
    void handleStartBlock(float** collected);
    void handleBlock(float** collected);
    void appendHop(float** collected);
    void advanceStream();
    void restartStream();
    int32 historyOrigin() const;
    void freeStreams();
    void allocateStreams();

    void (Overlap::*handler)(float**) = &Overlap::handleStartBlock;
    int32 keep = 0;
    int32 copyCount = 0;
    int32 sourceOffset = 0;
    int32 filled = 0;
    int32 streamCapacity = 0;
    int32 streamEnd = 0;              // one past the newest sample; the history is the V samples before it
    int32 origin = 0;                 // where the history stands after a restart or a move down
    ChannelBuffers streams;           // per channel, streamCapacity floats
    std::vector<float*> tails;        // per channel: where the next hop is collected
    std::vector<float*> windowStarts; // per channel: the window handed on
    std::int64_t silentRun = 0;       // zeros at the end of the stream, counted up to a whole window
};

} // namespace DSP
