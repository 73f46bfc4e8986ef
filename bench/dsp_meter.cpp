// The metering engine on stereo 48 kHz: whole meter per block size, each stage alone, memory.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "dsp/bigmeter.h"
#include "dsp/bigmeteracc.h"
#include "dsp/blockstats.h"
#include "dsp/collectors.h"
#include "dsp/loudness.h"
#include "dsp/rms.h"
#include "dsp/truepeak.h"
#include "primitives/filters/ipps_filters.h"
#include "primitives/vector/ipps_vector.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kChannels = 2;
constexpr size_t kFrames = 48000 * 4; // material cycled through

std::vector<Param::ParamRecord> table()
{
    std::vector<Param::ParamRecord> t(12);
    const int ids[12] = {1, 2, 3, 8, 9, 10, 11, 4, 5, 7, 48, 0};
    for (int i = 0; i < 12; ++i) {
        t[static_cast<size_t>(i)] = Param::ParamRecord{};
        t[static_cast<size_t>(i)].id = ids[i];
        std::snprintf(t[static_cast<size_t>(i)].name, 128, "p%d", ids[i]);
        t[static_cast<size_t>(i)].min = -80.0;
        t[static_cast<size_t>(i)].max = 48.0;
    }
    t[11].flags = Param::kParamFlagBypass;
    return t;
}

struct Material
{
    Material() : data(kChannels, std::vector<float>(kFrames))
    {
        unsigned s = 1;
        for (size_t i = 0; i < kFrames; ++i)
            for (int c = 0; c < kChannels; ++c) {
                s = s * 1664525u + 1013904223u;
                const float noise = static_cast<float>(static_cast<int>(s >> 8) - (1 << 23)) / 8388608.0f;
                data[static_cast<size_t>(c)][i] =
                    0.3f * noise + 0.2f * static_cast<float>(std::sin(static_cast<double>(i) * 0.07 + c));
            }
    }
    float** at(size_t pos)
    {
        for (int c = 0; c < kChannels; ++c)
            ptrs[c] = data[static_cast<size_t>(c)].data() + pos;
        return ptrs;
    }
    std::vector<std::vector<float>> data;
    float* ptrs[kChannels];
};

Material& material()
{
    static Material m;
    return m;
}

template <class F>
void runBlocks(benchmark::State& st, int block, F&& f)
{
    Material& m = material();
    size_t pos = 0;
    int64_t frames = 0;
    for (auto _ : st) {
        if (pos + static_cast<size_t>(block) > kFrames)
            pos = 0;
        f(m.at(pos), block);
        pos += static_cast<size_t>(block);
        frames += block;
    }
    // Seconds of audio measured per CPU second.
    st.counters["audio_s_per_cpu_s"] =
        benchmark::Counter(static_cast<double>(frames) / kRate, benchmark::Counter::kIsRate);
}

void BM_BigMeter(benchmark::State& st)
{
    ippStaticInit();
    const int block = static_cast<int>(st.range(0));
    const bool threaded = st.range(1) != 0;
    auto t = table();
    BigMeterAcc acc(block, kRate, t.data(), 12, threaded);
    acc.setChannelMasks(3, 3, 0);
    acc.setParameter(13, 1.0);
    std::vector<std::vector<float>> out(kChannels, std::vector<float>(static_cast<size_t>(block)));
    float* o[kChannels] = {out[0].data(), out[1].data()};
    runBlocks(st, block, [&](float** in, int n) { acc.process(in, o, n); });
    acc.getMeter()->drain();
    st.counters["dropped"] = static_cast<double>(acc.getMeter()->getLoudness()->getDroppedWindows());
}
BENCHMARK(BM_BigMeter)->ArgsProduct({{64, 512, 8192}, {0, 1}})->ArgNames({"block", "threaded"});

void BM_StageKWeighting(benchmark::State& st)
{
    ippStaticInit();
    const int block = static_cast<int>(st.range(0));
    float shelf[6], hp[6];
    Loudness::designShelf(kRate, shelf);
    Loudness::designHighPass(kRate, hp);
    IirState32f* s[kChannels][2];
    for (auto& ch : s) {
        ippsIIRInitAlloc_BiQuad_32f(&ch[0], shelf, 1, nullptr);
        ippsIIRInitAlloc_BiQuad_32f(&ch[1], hp, 1, nullptr);
    }
    std::vector<float> work(static_cast<size_t>(block));
    runBlocks(st, block, [&](float** in, int n) {
        for (int c = 0; c < kChannels; ++c) {
            ippsIIR_32f(in[c], work.data(), n, s[c][0]);
            ippsIIR_32f(work.data(), work.data(), n, s[c][1]);
            ippsSqr_32f(work.data(), work.data(), n);
        }
    });
    for (auto& ch : s) {
        ippsIIRFree_32f(ch[0]);
        ippsIIRFree_32f(ch[1]);
    }
}
BENCHMARK(BM_StageKWeighting)->Arg(512)->ArgName("block");

void BM_StageWindowSums(benchmark::State& st)
{
    ippStaticInit();
    const int block = static_cast<int>(st.range(0));
    DSP::CollectorIntegrated ci(kChannels, block, 19200, 14400, static_cast<float>(kRate), false);
    DSP::CollectorLoudnessRange cr(kChannels, block, 144000, 96000, static_cast<float>(kRate), false);
    ci.initialize(nullptr);
    ci.reset();
    cr.initialize(nullptr);
    cr.reset();
    runBlocks(st, block, [&](float** in, int n) {
        cr.feed(in, n);
        ci.feed(in, n);
    });
    ci.terminate();
    cr.terminate();
}
BENCHMARK(BM_StageWindowSums)->Arg(512)->ArgName("block");

void BM_StageTruePeak(benchmark::State& st)
{
    ippStaticInit();
    const int block = static_cast<int>(st.range(0));
    TruePeak tp(block, kRate, 4.0f);
    tp.initialize(nullptr);
    tp.setChannelCount(kChannels, kChannels, 0);
    tp.reset();
    runBlocks(st, block, [&](float** in, int n) { tp.process(in, n); });
    benchmark::DoNotOptimize(tp.getMax());
    tp.terminate();
}
BENCHMARK(BM_StageTruePeak)->Arg(64)->Arg(512)->Arg(8192)->ArgName("block");

// The true-peak stage's pieces, stereo: zero stuffing with the oversampling FIR (the whole
// upsampler), the FIR alone on stuffed blocks, and the peak search over the upsampled blocks.
void BM_TruePeakUpsample(benchmark::State& st)
{
    ippStaticInit();
    const int block = static_cast<int>(st.range(0));
    UpsamplerSinc u[kChannels] = {{block, kRate, 4.0f}, {block, kRate, 4.0f}};
    for (auto& x : u) {
        x.initialize(nullptr);
        x.reset();
    }
    runBlocks(st, block, [&](float** in, int n) {
        for (int c = 0; c < kChannels; ++c)
            benchmark::DoNotOptimize(u[c].processUpsampled(in[c], n));
    });
    for (auto& x : u)
        x.terminate();
}
BENCHMARK(BM_TruePeakUpsample)->Arg(64)->Arg(512)->ArgName("block");

void BM_TruePeakFir(benchmark::State& st)
{
    ippStaticInit();
    const int block = static_cast<int>(st.range(0));
    UpsamplerSinc u(block, kRate, 4.0f);
    u.initialize(nullptr);
    FirState32f* s[kChannels];
    for (auto& x : s)
        ippsFIRInitAlloc_32f(&x, u.getTaps(), u.getTapCount(), nullptr);
    std::vector<float> stuffed(static_cast<size_t>(4 * block), 0.0f), out(stuffed.size());
    runBlocks(st, block, [&](float** in, int n) {
        for (int c = 0; c < kChannels; ++c) {
            for (int i = 0; i < n; ++i)
                stuffed[static_cast<size_t>(4 * i)] = in[c][i];
            ippsFIR_32f(stuffed.data(), out.data(), 4 * n, s[c]);
        }
    });
    for (auto& x : s)
        ippsFIRFree_32f(x);
    u.terminate();
}
BENCHMARK(BM_TruePeakFir)->Arg(64)->Arg(512)->ArgName("block");

void BM_TruePeakPeakSearch(benchmark::State& st)
{
    const int block = static_cast<int>(st.range(0));
    std::vector<float> up(static_cast<size_t>(4 * block));
    float peak = 0.0f;
    runBlocks(st, block, [&](float** in, int n) {
        for (int c = 0; c < kChannels; ++c) {
            std::memcpy(up.data(), in[c], sizeof(float) * static_cast<size_t>(n)); // a quarter fresh each time
            peak += DSP::absMax(up.data(), 4 * n);
        }
    });
    benchmark::DoNotOptimize(peak);
}
BENCHMARK(BM_TruePeakPeakSearch)->Arg(512)->ArgName("block");

void BM_StageRms(benchmark::State& st)
{
    const int block = static_cast<int>(st.range(0));
    DSP::Rms rms(block, kRate, 900.0f);
    rms.setChannelCount(kChannels, kChannels, 0);
    runBlocks(st, block, [&](float** in, int n) { rms.processBlock(in, n); });
    benchmark::DoNotOptimize(rms.getMax());
}
BENCHMARK(BM_StageRms)->Arg(512)->ArgName("block");

void BM_StagePeaksAndSilence(benchmark::State& st)
{
    const int block = static_cast<int>(st.range(0));
    float peak = 0.0f;
    runBlocks(st, block, [&](float** in, int n) {
        for (int c = 0; c < kChannels; ++c) {
            bool bad = false;
            peak += DSP::measurablePeak(in[c], n, &bad);
        }
    });
    benchmark::DoNotOptimize(peak);
}
BENCHMARK(BM_StagePeaksAndSilence)->Arg(512)->ArgName("block");

// Heap held by one meter instance (accessor, meter, sub-meters, collectors and their buffers).
void BM_MeterMemory(benchmark::State& st)
{
    auto t = table();
    double bytes = 0.0;
    for (auto _ : st) {
        const struct mallinfo2 before = mallinfo2();
        auto acc = std::make_unique<BigMeterAcc>(8192, kRate, t.data(), 12, true);
        acc->setChannelMasks(3, 3, 0);
        const struct mallinfo2 after = mallinfo2();
        bytes = static_cast<double>((after.uordblks + after.hblkhd) - (before.uordblks + before.hblkhd));
    }
    st.counters["MiB"] = bytes / (1024.0 * 1024.0);
}
BENCHMARK(BM_MeterMemory)->Iterations(3);

} // namespace
