// Signals and a parameter table for the engine tests.
#pragma once

#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <vector>

#include "dsp/bigmeter.h"
#include "dsp/bigmeteracc.h"
#include "dsp/collectors.h"
#include "dsp/loudness.h"
#include "dsp/paramrecord.h"
#include "tests/common/slice_clock.h"
#include "tests/common/unloaded_clock.h"

#include <thread>

namespace dsptest {

inline Param::ParamRecord row(int id, const char* name, const char* title, double mn, double mx, double step, int type,
                              unsigned flags)
{
    Param::ParamRecord r{};
    std::strncpy(r.name, name, sizeof(r.name) - 1);
    std::strncpy(r.title, title, sizeof(r.title) - 1);
    r.id = id, r.min = mn, r.max = mx, r.step = step, r.type = type, r.flags = flags;
    return r;
}

// The processor's twelve rows, in table order.
inline const std::vector<Param::ParamRecord>& processorTable()
{
    static const std::vector<Param::ParamRecord> t = {
        row(1, "loudnessM", "Momentary", -80, 48, 0.1, 1, 0x2),
        row(2, "loudnessS", "ShortTerm", -80, 48, 0.1, 1, 0x2),
        row(3, "loudnessI", "Integrated", -80, 48, 0.1, 1, 0x2),
        row(8, "loudnessMMax", "MomentMax", -80, 48, 0.1, 1, 0x2),
        row(9, "loudnessSTMax", "ShortTermMax", -80, 48, 0.1, 1, 0x2),
        row(10, "loudnessRange", "LoudnessRange", 0, 100, 0.1, 1, 0x2),
        row(11, "truePeak", "TruePeak", -80, 48, 0.1, 1, 0x2),
        row(4, "resetLoudness", "ResetLoudness", 0, 1, 1, 2, 0),
        row(5, "resetLoudnessMMax", "ResetLoudnessMMax", 0, 1, 1, 2, 0),
        row(7, "resetTruePeak", "ResetTruePeak", 0, 1, 1, 2, 0),
        row(48, "scaleModeLoudness", "ScaleLU", 0, 1, 1, 0, 0),
        row(0, "bypass", "Bypass", 0, 1, 1, 2, 0x10000),
    };
    return t;
}

// Planar multichannel buffer.
struct Signal
{
    Signal(int channels, size_t frames)
    : data(static_cast<size_t>(channels), std::vector<float>(frames, 0.0f)), ptrs(static_cast<size_t>(channels))
    {}
    int channels() const { return static_cast<int>(data.size()); }
    size_t frames() const { return data[0].size(); }
    // Pointers to frame `offset` of every channel.
    float** at(size_t offset)
    {
        for (size_t c = 0; c < data.size(); ++c)
            ptrs[c] = data[c].data() + offset;
        return ptrs.data();
    }
    std::vector<std::vector<float>> data;
    std::vector<float*> ptrs;
};

inline void addSine(Signal& s, int channel, double freq, double amplitude, double fs, double phase = 0.0,
                    size_t from = 0, size_t to = ~size_t(0))
{
    if (to > s.frames())
        to = s.frames();
    for (size_t i = from; i < to; ++i)
        s.data[static_cast<size_t>(channel)][i] +=
            static_cast<float>(amplitude * std::sin(2.0 * M_PI * freq * static_cast<double>(i) / fs + phase));
}

// Deterministic noise in [-1, 1).
struct Lcg
{
    unsigned state = 12345u;
    float next()
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<int>(state >> 8) - (1 << 23)) / static_cast<float>(1 << 23);
    }
};

inline double dbToAmp(double db)
{
    return std::pow(10.0, db / 20.0);
}

// Magnitude of the designed K-weighting at frequency f, from its taps in double precision.
inline double kWeightingGain(double fs, double f)
{
    float s[6], h[6];
    Loudness::designShelf(fs, s);
    Loudness::designHighPass(fs, h);
    const std::complex<double> z = std::polar(1.0, -2.0 * M_PI * f / fs);
    auto stage = [&](const float* t) {
        const double b0 = t[0], b1 = t[1], b2 = t[2], a1 = t[4], a2 = t[5];
        return (b0 + b1 * z + b2 * z * z) / (1.0 + a1 * z + a2 * z * z);
    };
    return std::abs(stage(s) * stage(h));
}

// The meter's accessor over the processor's rows, loudness on.
inline std::unique_ptr<BigMeterAcc> makeMeter(double rate = 48000.0, DSP::int32 block = 512, bool threaded = false,
                                              DSP::uint64 mask = 3)
{
    const auto& t = processorTable();
    auto acc = std::make_unique<BigMeterAcc>(block, rate, t.data(), static_cast<DSP::int32>(t.size()), threaded);
    acc->setChannelMasks(mask, mask, 0);
    acc->setParameter(13, 1.0);
    return acc;
}

// The wait clock for the tests' waits for workers that are free to answer: it counts what an
// unloaded machine would, so a busy one that runs the workers slowly does not run a bound out.
inline testclock::UnloadedClock& unloadedClock()
{
    static testclock::UnloadedClock clock;
    return clock;
}

// The meter's loudness waits on unloadedClock() (set again after anything that makes a new one).
inline void waitUnloaded(BigMeterAcc& acc)
{
    if (Loudness* loudness = acc.getMeter()->getLoudness())
        loudness->setWaitClock(unloadedClock());
}

// Feeds the whole signal in blocks of `block` samples; the output is dropped.
inline void feed(DSP::IAlgo<double>& a, Signal& s, size_t block)
{
    Signal out(s.channels(), block);
    for (size_t pos = 0; pos < s.frames(); pos += block)
        a.process(s.at(pos), out.at(0), static_cast<DSP::int32>(std::min(block, s.frames() - pos)));
}

// A stereo programme: noise at four levels in turn, with a tone on the first channel.
inline Signal programme(size_t frames)
{
    Signal s(2, frames);
    Lcg rng;
    for (size_t i = 0; i < frames; ++i) {
        const float env = 0.02f + 0.3f * static_cast<float>((i / 20000) % 4);
        s.data[0][i] = rng.next() * env + 0.2f * static_cast<float>(std::sin(static_cast<double>(i) * 0.05));
        s.data[1][i] = rng.next() * env * 0.7f;
    }
    return s;
}

// A collector whose worker stalls inside its first window until released.
class StallingCollector : public DSP::CollectorIntegrated
{
public:
    StallingCollector() : DSP::CollectorIntegrated(1, 4096, 480, 360, 1200.0f, true) {}
    std::atomic<bool> hold{true};
    std::atomic<int> entered{0};

protected:
    void processWindow(DSP::int32 samples, float z) override
    {
        entered.fetch_add(1);
        entered.notify_all();
        hold.wait(true);
        DSP::CollectorIntegrated::processWindow(samples, z);
    }
};

} // namespace dsptest
