// Bypass crossfade along a precomputed power-law gain curve.
#pragma once

#include "dsp/algo.h"
#include "dsp/prims.h"
#include "dsp/valuemap.h"

namespace DSP {

template <class S>
class CrossFader : public Algo<double>
{
public:
    CrossFader(int32 blockSize, double sampleRate, float fadeMs);
    ~CrossFader() override;

    bool initialize(const Param::ParamRecord* table) override;
    bool terminate() override;
    void reset() override;
    void setActive(bool state) override;
    void setBlockSize(int32 n) override;
    int32 setChannelCount(int32 n, int32, int32) override;
    void processDual(float** a, float** b, float** c, int32 n) override;

    // These and setBlockSize throw std::bad_alloc when memory runs out, with the fader as it was.
    void updateSampleRate(float rate);
    void setNumChannels(int32 n);

    // Raised by the owner to start a fade.
    void startFade() { fading = true; }
    bool isFading() const { return fading; }
    int32 getPosition() const { return position; }
    int32 getFadeLength() const { return fadeLength; }
    int32 getCurveLength() const { return curveLength; }
    const float* getCurve() const { return curve.get(); }
    S** getChannelBuffers() const { return buffers; }
    int32 getChannelCount() const { return channelCount; }
    const PowerMap<float>& getCurveMap() const { return curveMap; }

private:
    void computeFadeLength();
    // The gain curve for blocks of `block` samples, and its length.
    FloatBuffer makeCurve(int32 block, int32& length) const;
    void takeCurve(FloatBuffer made, int32 length);
    void buildCurve();
    // Replaces the buffers with `channels` zeroed ones of `block` samples.
    void allocateBuffers(int32 channels, int32 block);
    void freeBuffers();

    bool initialized = false;
    bool terminated = false;
    bool fading = false;
    int32 fadeLength = 0;
    int32 position = 0;
    int32 channelCount = 1;
    int32 ownBlockSize;
    int32 curveLength = 0;
    float fadeMs;
    FloatBuffer curve;
    S** buffers = nullptr;
    PowerMap<float> curveMap;
    double curveRate;
};

extern template class CrossFader<float>;
extern template class CrossFader<double>;

// Attack/release envelope follower.
template <class T>
class AttackRelease
{
public:
    explicit AttackRelease(double sampleRate = 44100.0, T attackMs = 1, T releaseMs = 50)
    : rate(sampleRate), attackMs(attackMs), releaseMs(releaseMs)
    {
        update();
    }
    void setSampleRate(double r)
    {
        rate = r;
        update();
    }
    void setTimes(T attack, T release)
    {
        attackMs = attack;
        releaseMs = release;
        update();
    }
    T process(T input)
    {
        if (input > value)
            value = attackComplement * input + attackCoef * value;
        else
            value = releaseComplement * input + releaseCoef * value;
        if (input == T(0) && value < T(1e-9))
            value = T(0);
        return value;
    }
    void processBlock(const T* in, T* out, int n)
    {
        for (int i = 0; i < n; ++i)
            out[i] = process(in[i]);
    }
    T getValue() const { return value; }
    void reset() { value = T(0); }

private:
    void update()
    {
        attackCoef = static_cast<T>(std::exp(-1000.0 / (static_cast<double>(attackMs) * rate)));
        attackComplement = T(1) - attackCoef;
        releaseCoef = static_cast<T>(std::exp(-1000.0 / (static_cast<double>(releaseMs) * rate)));
        releaseComplement = T(1) - releaseCoef;
    }
    double rate;
    T attackMs, releaseMs;
    T attackCoef = 0, attackComplement = 1, releaseCoef = 0, releaseComplement = 1;
    T value = 0;
};

} // namespace DSP
