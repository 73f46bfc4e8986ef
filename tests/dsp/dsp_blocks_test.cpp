// Algorithm defaults, block statistics, delay lines, crossfader, value maps and the RMS meter.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "dsp/algo.h"
#include "dsp/blockstats.h"
#include "dsp/crossfader.h"
#include "dsp/delay.h"
#include "dsp/rms.h"
#include "dsp/valuemap.h"
#include "dsp_support.h"

using namespace DSP;

namespace {

class Plain : public Algo<double>
{
public:
    Plain() : Algo<double>(64, 48000.0) {}
    int32 setChannelCount(int32, int32, int32) override { return 0; }
};

class WithLatency : public Plain
{
public:
    int32 getLatency() override { return 17; }
};

int destroyed = 0;
class Tracked : public Plain
{
public:
    ~Tracked() override { ++destroyed; }
};

} // namespace

TEST(DspAlgo, DefaultsOfTheBaseClass)
{
    Plain a;
    EXPECT_EQ(a.setSampleRate(44100.0), 0);
    EXPECT_EQ(a.getSampleRate(), 44100.0);
    EXPECT_EQ(a.setChannelConfig(2, 2, 0, 3), kChannelsRefused);
    EXPECT_EQ(a.setChannelMasks(3, 3, 0), kChannelsNotHandled);
    EXPECT_EQ(a.getLatency(), 0);
    EXPECT_EQ(a.getMaxLatency(), 0);
    for (int id = -3; id < 60; ++id)
        EXPECT_EQ(a.getValue(id), 0.0);
    EXPECT_FALSE(a.isActive());
    a.setActive(true);
    EXPECT_TRUE(a.isActive());
    WithLatency l;
    EXPECT_EQ(l.getMaxLatency(), 17);
}

TEST(DspAlgo, DeletingThroughTheInterfaceRunsTheDerivedDestructor)
{
    destroyed = 0;
    IAlgo<double>* a = new Tracked();
    delete a;
    EXPECT_EQ(destroyed, 1);
}

TEST(DspBlockStats, AbsMaxAndIndices)
{
    const float a[] = {0.5f, -0.9f, 0.3f};
    EXPECT_EQ(absMax(a, 3), 0.9f);
    const float b[] = {-0.5f, 0.5f};
    EXPECT_EQ(absMax(b, 2), 0.5f);
    EXPECT_EQ(absMax(a, 0), 0.0f);
    const float c[] = {0.2f, -0.7f, 0.7f};
    int32 index = -1;
    EXPECT_EQ(absMaxIndex(c, 3, &index), 0.7f);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(maxIndex(c, 3, &index), 0.7f);
    EXPECT_EQ(index, 2);
    minAbsIndex(c, 3, &index);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(maxValue(c, 3), 0.7f);
}

TEST(DspBlockStats, SilenceLooksAtEverySample)
{
    dsptest::Signal s(2, 64);
    int32 n = 64, ch = 2, stride = 32;
    float thr = 1e-6f;
    EXPECT_TRUE(isSilentBlock(s.at(0), &n, &ch, &thr, &stride));
    s.data[1][5] = 1.0f; // a sample between the strided positions
    EXPECT_FALSE(isSilentBlock(s.at(0), &n, &ch, &thr, &stride));
    // A full-scale tone at fs/32 is zero at every 32nd sample: still not silent.
    dsptest::Signal tone(1, 4096);
    dsptest::addSine(tone, 0, 48000.0 / 32.0, 1.0, 48000.0);
    for (size_t i = 0; i < 4096; i += 32)
        tone.data[0][i] = 0.0f;
    int32 n2 = 4096, one = 1;
    EXPECT_FALSE(isSilentBlock(tone.at(0), &n2, &one, &thr, &stride));
    // Non-finite samples count as silent.
    dsptest::Signal bad(1, 16);
    bad.data[0][3] = std::numeric_limits<float>::quiet_NaN();
    bad.data[0][7] = std::numeric_limits<float>::infinity();
    int32 n3 = 16;
    EXPECT_TRUE(isSilentBlock(bad.at(0), &n3, &one, &thr, &stride));
    int32 none = 0;
    EXPECT_TRUE(isSilentBlock(s.at(0), &n, &none, &thr, &stride));
}

TEST(DspBlockStats, FinitePeakSkipsNonFiniteAtEveryPosition)
{
    for (int len : {1, 3, 7, 8, 9, 16, 33}) {
        for (int pos = 0; pos < len; ++pos) {
            std::vector<float> x(static_cast<size_t>(len), 0.25f);
            x[static_cast<size_t>(len / 2)] = -0.5f;
            x[static_cast<size_t>(pos)] = (pos & 1) ? std::numeric_limits<float>::infinity() : std::nanf("");
            bool bad = false;
            float p = finitePeak(x.data(), len, &bad);
            EXPECT_TRUE(bad);
            EXPECT_EQ(p, pos == len / 2 ? (len > 1 ? 0.25f : 0.0f) : 0.5f) << len << " " << pos;
            std::vector<float> y(x.size());
            copyFinite(x.data(), y.data(), len);
            EXPECT_EQ(y[static_cast<size_t>(pos)], 0.0f);
        }
    }
}

TEST(DspBlockStats, MixDown)
{
    dsptest::Signal s(3, 5);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 5; ++i)
            s.data[static_cast<size_t>(c)][static_cast<size_t>(i)] = static_cast<float>(c + i);
    std::vector<float> out(5);
    mixDown(out.data(), s.at(0), 5, 3, false);
    EXPECT_EQ(out[2], 9.0f);
    mixDown(out.data(), s.at(0), 5, 3, true);
    EXPECT_FLOAT_EQ(out[2], 3.0f);
}

TEST(DspDelay, PowerOfTwoRingSizes)
{
    DelayPow2 d(512, 44100.0, 200.0f);
    EXPECT_EQ(d.getSize(), 16384);
    EXPECT_NEAR(d.getMaxDelayMs(), 371.5, 0.1);
    EXPECT_EQ(d.getDelaySamples(), 882);
    d.setMaxDelaySamples(1);
    EXPECT_EQ(d.getSize(), 2);
    EXPECT_EQ(d.getMask(), 1);
}

TEST(DspDelay, DelaysAcrossBlocksAndPassesThroughAtZero)
{
    for (int kind = 0; kind < 2; ++kind) {
        std::unique_ptr<Delay> d(kind ? static_cast<Delay*>(new DelayPow2(64, 48000.0, 50.0f))
                                      : new Delay(64, 48000.0, 50.0f));
        d->setDelaySamples(37);
        d->reset();
        std::vector<float> in(300), out(300);
        for (int i = 0; i < 300; ++i)
            in[static_cast<size_t>(i)] = static_cast<float>(i + 1);
        for (int off = 0; off < 300; off += 50)
            d->processChannel(in.data() + off, out.data() + off, 50);
        for (int i = 0; i < 300; ++i)
            EXPECT_EQ(out[static_cast<size_t>(i)], i < 37 ? 0.0f : static_cast<float>(i - 36)) << kind << " " << i;
        d->setDelaySamples(0);
        std::vector<float> io = in;
        d->processChannel(io.data(), io.data(), 300);
        EXPECT_EQ(io, in);
        d->processChannel(in.data(), out.data(), 300);
        EXPECT_EQ(out, in);
    }
}

TEST(DspDelay, SettingsThatChangeNothing)
{
    Delay d(64, 48000.0, 100.0f);
    d.setDelayMs(10.0f);
    const int32 samples = d.getDelaySamples();
    EXPECT_EQ(samples, 480);
    d.setDelayMs(10.0005f);
    EXPECT_EQ(d.getDelaySamples(), samples);
    d.setDelaySamples(-5);
    EXPECT_EQ(d.getDelaySamples(), 0);
    d.setDelaySamples(1000000);
    EXPECT_EQ(d.getDelaySamples(), d.getSize() - 1);
}

TEST(DspDelay, MultiChannel)
{
    DelayMultiCh m(64, 48000.0, 200.0f);
    EXPECT_EQ(m.getChannelCount(), 1);
    EXPECT_EQ(m.setChannelCount(2, 3, 0), kChannelsRefused);
    EXPECT_EQ(m.setChannelCount(2, 2, 0), kChannelsAccepted);
    EXPECT_EQ(m.getChannel(0)->getDelaySamples(), 96); // 2 ms default
    m.setDelaySamples(5);
    EXPECT_EQ(m.getChannel(1)->getDelaySamples(), 5);
    m.setMaxDelaySamples(9);
    EXPECT_EQ(m.getChannel(0)->getSize(), 16);
    dsptest::Signal in(2, 20), out(2, 20);
    for (int i = 0; i < 20; ++i) {
        in.data[0][static_cast<size_t>(i)] = static_cast<float>(i + 1);
        in.data[1][static_cast<size_t>(i)] = -static_cast<float>(i + 1);
    }
    m.process(in.at(0), out.at(0), 20);
    EXPECT_EQ(out.data[0][4], 0.0f);
    EXPECT_EQ(out.data[0][5], 1.0f);
    EXPECT_EQ(out.data[1][19], -15.0f);
    m.setDelaySamples(0);
    m.process(in.at(0), out.at(0), 20);
    EXPECT_EQ(out.data, in.data);
}

TEST(DspCrossFader, CurveAndFade)
{
    CrossFader<float> f(512, 44100.0, 100.0f);
    f.initialize(nullptr);
    EXPECT_EQ(f.getFadeLength(), 4410);
    EXPECT_NEAR(f.getCurveMap().exponent, 1.7755, 1e-3);
    const float* c = f.getCurve();
    EXPECT_EQ(c[0], 1.0f);
    EXPECT_NEAR(c[2205], std::pow(10.0, -0.15), 1e-4);
    EXPECT_NEAR(c[4409], 0.0005, 2e-4);
    EXPECT_EQ(c[4410], 0.0f);
    EXPECT_EQ(c[f.getCurveLength() - 1], 0.0f);
    f.setNumChannels(1);
    dsptest::Signal a(1, 512), b(1, 512), out(1, 512);
    for (int i = 0; i < 512; ++i) {
        a.data[0][static_cast<size_t>(i)] = 1.0f;
        b.data[0][static_cast<size_t>(i)] = -1.0f;
        out.data[0][static_cast<size_t>(i)] = 7.0f;
    }
    f.processDual(a.at(0), b.at(0), out.at(0), 512);
    EXPECT_EQ(out.data[0][0], 7.0f); // no fade running: untouched
    f.startFade();
    int blocks = 0;
    while (f.isFading() && blocks < 20) {
        f.processDual(a.at(0), b.at(0), out.at(0), 512);
        ++blocks;
    }
    EXPECT_EQ(blocks, 9);
    EXPECT_EQ(f.getPosition(), 0);
    EXPECT_EQ(out.data[0][511], -1.0f); // the tail of the last block is pure b
    f.terminate();
}

TEST(DspValueMap, PowerAndLinear)
{
    PowerMap<float> def;
    PowerMap<float> p(0, 1, 0, 1, 0.5f, 0.1f);
    EXPECT_NEAR(def.exponent, p.exponent, 1e-5);
    EXPECT_NEAR(p.map(0.5f), 0.1f, 1e-6);
    EXPECT_NEAR(p.unmap(p.map(0.3f)), 0.3f, 1e-5);
    PowerMap<double> pd(0, 10, 0, 100, 5, 10);
    EXPECT_NEAR(pd.map(5.0), 10.0, 1e-4);
    LinearMap<double> l(0, 10, -80, 48);
    EXPECT_DOUBLE_EQ(l.map(5), -16.0);
    EXPECT_DOUBLE_EQ(l.unmap(-16.0), 5.0);
}

TEST(DspRms, TimeConstantAndFloor)
{
    Rms r(4800, 48000.0, 900.0f);
    ASSERT_EQ(r.setChannelCount(1, 1, 0), kChannelsAccepted);
    std::vector<float> ones(4800, 1.0f);
    float* p = ones.data();
    for (int k = 0; k < 9; ++k)
        r.processBlock(&p, 4800);
    // One time constant: 1 - 1/e of the step, up to the single-precision coefficient.
    EXPECT_NEAR(r.getChannelValue(0), 1.0 - std::exp(-1.0), 1e-3);
    EXPECT_NEAR(r.getChannelValue(0), 1.0 - std::pow(static_cast<double>(r.getCoefficient()), 43200.0), 2e-5);
    EXPECT_NEAR(r.getMax(), r.getChannelValue(0), 1e-7);
    r.resetMaxima();
    EXPECT_EQ(r.getMax(), 0.0f);
    EXPECT_GT(r.getChannelValue(0), 0.6f);
    std::vector<float> zeros(4800, 0.0f);
    p = zeros.data();
    for (int k = 0; k < 200; ++k)
        r.processBlock(&p, 4800);
    EXPECT_EQ(r.getChannelValue(0), 0.0f);
}

TEST(DspRms, ChannelCountAndSilence)
{
    Rms r(64, 48000.0, 900.0f);
    EXPECT_EQ(r.setChannelCount(2, 3, 0), kChannelsRefused);
    EXPECT_EQ(r.setChannelCount(2, 2, 0), kChannelsAccepted);
    dsptest::Signal s(2, 64);
    s.data[1].assign(64, 0.5f);
    r.processBlock(s.at(0), 64);
    const float ms = r.getChannelValue(1);
    EXPECT_GT(ms, 0.0f);
    EXPECT_EQ(r.setChannelCount(2, 2, 0), kChannelsAccepted);
    EXPECT_EQ(r.getChannelValue(1), ms); // same count: nothing changes
    const float mx = r.getMax();
    r.processSilence(64);
    EXPECT_EQ(r.getChannelValue(1), 0.0f);
    EXPECT_EQ(r.getMax(), mx);
}
