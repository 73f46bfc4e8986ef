// process() of the meter's processor, stereo at 48 kHz: time per block and its share of the block's
// real-time budget (budget_% = processing time / audio time x 100).
#include "meter/bigmeterqel.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

using namespace Calvereth;
using namespace Calvereth::Qel;

void BM_MeterProcess(benchmark::State& state)
{
    const int block = static_cast<int>(state.range(0));
    const double rate = 48000.0;
    auto* meter = new Norrik::BigMeterQel;
    meter->initialize(nullptr);
    SpeakerArrangement stereo = kStereo;
    meter->setBusArrangements(&stereo, 1, &stereo, 1);
    ProcessSetup setup;
    setup.processMode = kRealtime;
    setup.sampleSize = kSample32;
    setup.maxSamplesPerBlock = block;
    setup.sampleRate = rate;
    meter->setupProcessing(setup);
    meter->activateBus(kAudio, kInput, 0, true);
    meter->activateBus(kAudio, kOutput, 0, true);
    meter->setActive(true);

    std::vector<float> l(static_cast<std::size_t>(block)), r(l.size()), ol(l.size()), orr(l.size());
    std::uint32_t seed = 1;
    for (std::size_t i = 0; i < l.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        l[i] = 0.2f * std::sin(0.05f * static_cast<float>(i));
        r[i] = 0.1f * (static_cast<float>(seed) / 4294967296.0f - 0.5f);
    }
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    BusBuffers ib, ob;
    ib.numChannels = ob.numChannels = 2;
    ib.channelBuffers32 = in;
    ob.channelBuffers32 = out;
    TransportContext ctx;
    ctx.state = TransportContext::kPlaying;
    ctx.sampleRate = rate;
    ctx.tempo = 120.0;
    ProcessData d;
    d.processMode = kRealtime;
    d.numSamples = block;
    d.numInputs = d.numOutputs = 1;
    d.inputs = &ib;
    d.outputs = &ob;
    d.transport = &ctx;
    std::int64_t blocks = 0;
    for (auto _ : state) {
        meter->process(d);
        benchmark::DoNotOptimize(ol.data());
        ++blocks;
    }
    const double audioSeconds = static_cast<double>(blocks) * block / rate;
    state.SetItemsProcessed(blocks * block);
    state.counters["budget_%"] =
        benchmark::Counter(audioSeconds / 100.0, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    meter->setActive(false);
    meter->terminate();
    meter->release();
}
BENCHMARK(BM_MeterProcess)->Arg(64)->Arg(512)->Arg(4096)->UseRealTime();

} // namespace
