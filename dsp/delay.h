// Ring-buffer delay lines: one channel, a power-of-two ring, and several channels behind one algorithm.
#pragma once

#include <memory>
#include <vector>

#include "dsp/algo.h"
#include "dsp/prims.h"

namespace DSP {

class Delay : public Algo<double>
{
public:
    Delay(int32 blockSize, double sampleRate, float maxMs);
    ~Delay() override;

    int32 setSampleRate(double rate) override;
    void setActive(bool state) override;
    int32 setChannelCount(int32, int32, int32) override { return 0; }
    void reset() override;

    virtual void setDelayMs(float ms);
    virtual void setDelaySamples(int32 n);
    virtual void setMaxDelaySamples(int32 n);
    virtual void processChannel(const float* in, float* out, int32 n);
    virtual float processSample(float x);
    virtual bool isBufferSilent(int32 stride);
    virtual void applyDelaySamples(int32 n);

    int32 getDelaySamples() const { return delaySamples; }
    float getDelayMs() const { return delayMs; }
    float getMaxDelayMs() const { return maxDelayMs; }
    int32 getSize() const { return size; }

protected:
    void allocateRing(int32 n);

    float maxDelayMs;
    float delayMs = 0.0f;
    float silenceThreshold;
    FloatBuffer ring;
    int32 readIndex = 0;
    int32 writeIndex = 0;
    int32 size = 0;
    int32 delaySamples = 0;
};

class DelayPow2 : public Delay
{
public:
    DelayPow2(int32 blockSize, double sampleRate, float maxMs);

    int32 setSampleRate(double rate) override;
    void setMaxDelaySamples(int32 n) override;
    void processChannel(const float* in, float* out, int32 n) override;
    float processSample(float x) override;

    int32 getMask() const { return mask; }

protected:
    int32 mask = 0;
};

class DelayMultiCh : public Algo<double>
{
public:
    DelayMultiCh(int32 blockSize, double sampleRate, float maxMs);
    ~DelayMultiCh() override;

    // Both throw std::bad_alloc when memory runs out, with the lines as they were.
    int32 setChannelCount(int32 in, int32 out, int32 aux) override;
    void setBlockSize(int32 n) override;
    int32 setSampleRate(double rate) override;
    void process(float** in, float** out, int32 n) override;
    void reset() override;
    void setActive(bool state) override;

    virtual void setDelayMs(float ms);
    virtual void setDelaySamples(int32 n);
    virtual void setMaxDelaySamples(int32 n);

    int32 getChannelCount() const { return channelCount; }
    DelayPow2* getChannel(int32 c) const { return channels[static_cast<size_t>(c)].get(); }
    int32 getDelaySamples() const { return delaySamples; }
    // Whether any channel delays (else process merely copies).
    bool isDelaying() const;

private:
    // `count` new lines for blocks of `block`, in place of the old ones.
    void buildChannels(int32 count, int32 block);
    void destroyChannels();

    int32 channelCount = 0;
    int32 delaySamples = -1;
    float delayMs = 2.0f;
    float maxDelayMs;
    std::vector<std::unique_ptr<DelayPow2>> channels;
};

} // namespace DSP
