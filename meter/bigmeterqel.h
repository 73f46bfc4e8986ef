// The meter's processor component: the meter accessor, two stereo buses, elapsed playing time,
// offline pass-through before the second musical position, and the meter read-out.
#pragma once

#include "pluginset/common/qel/pluginqelvu.h"

#include <atomic>

namespace Norrik {

using Calvereth::int32;
using Calvereth::int64;

// Fires once each time a period of samples has gone by.
class SampleIntervalTimer
{
public:
    void reset()
    {
        fired = false;
        rearm = false;
        period = 0.0;
        accumulator = 0.0;
    }
    void setup(bool firedNow, double sampleRate, double seconds)
    {
        period = sampleRate * seconds;
        accumulator = 0.0;
        fired = firedNow;
    }
    void advance(int32 n)
    {
        accumulator += n;
        if (accumulator >= period) {
            accumulator -= period;
            fired = true;
        }
    }
    bool takeFired()
    {
        bool was = fired;
        if (was)
            fired = rearm;
        return was;
    }

private:
    bool fired = false;
    bool rearm = false;
    double period = 0.0;
    double accumulator = 0.0;
};

class BigMeterQel : public Calvereth::Qel::PluginQelVu
{
public:
    BigMeterQel();

    // Out of memory: kOutOfMemory, with nothing of it kept (no buses, no accessor, no context).
    Calvereth::tresult initialize(Calvereth::FUnknown* context) override;
    Calvereth::tresult setupProcessing(Calvereth::Qel::ProcessSetup& setup) override;
    // std::bad_alloc, with no accessor left, when memory runs out.
    void createAlgorithm() override;
    void processParameterChanges(Calvereth::Qel::ProcessData& data) override;
    int32 processMain(Calvereth::Qel::ProcessData& data) override;
    void writeMeterValues(Calvereth::Qel::IParameterChangeList* changes, int32 sampleCount) override;

    // "hh:mm:ss" of whole seconds, hours not limited to two digits.
    static void formatTime(int64 seconds, char16_t* text, int capacity);

    static Calvereth::FUnknown* createInstance(void* context);

    float getLuOffset() const { return luOffset.load(std::memory_order_relaxed); }
    int64 getElapsedSamples() const { return elapsedSamples.load(std::memory_order_relaxed); }

protected:
    // The LU offset follows a restored "ScaleLU".
    void stateApplied() override;
    // Main thread: sends the "time" text the audio thread has marked due; kOutOfMemory, with the
    // text still due, when no message could be had for it.
    Calvereth::tresult dataRequested() override;
    // The "time" text of `seconds` to the controller; false when it could not be sent.
    bool sendTime(int64 seconds);

    std::atomic<float> luOffset{0.0f};
    std::atomic<int64> elapsedSamples{0};
    SampleIntervalTimer timer;
    bool loudnessOn = true;
    // The audio thread only marks; messages are built and sent on the main thread.
    std::atomic<bool> timeDue{false};
    std::atomic<bool> timeResetDue{false};
};

} // namespace Norrik
