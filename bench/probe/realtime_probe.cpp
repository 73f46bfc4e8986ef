// One stream of a plug-in bundle driven as a real-time host drives it, each process call made on a
// thread of the probe's own and counted there: the calls' thread CPU time and minor page faults.
// The probe is an embedding host that keeps no heap of its own; a fresh process a run.
//
//   bench_realtime_probe BUNDLE CHANNELS RATE BLOCK OFFLINE
//
// prints one line: for the stream's first 4 s after set-up, after a re-set-up (to half the block),
// after a stop and start (setActive false, true), and for a steady stretch (16 s to 40 s after the
// set-up, which holds the longest window's wrap), the costliest call's faults and CPU in
// microseconds, each the largest over its stretch:
//   first_faults first_us resetup_faults resetup_us restart_faults restart_us steady_faults steady_us
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "host/audiosource.h"
#include "host/qelabi.h"
#include "host/session.h"

using namespace qelhost;

namespace {

struct Costliest
{
    long faults = 0;
    double micros = 0.0;
};

long threadFaults()
{
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return ru.ru_minflt;
}

double threadMicros()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) * 1e-3;
}

class Stream
{
public:
    Stream(IAudioProcessor* processor, int channels, double rate, bool offline)
    : processor(processor), channels(channels), rate(rate), offline(offline)
    {}

    // Processes `seconds` of audio in blocks of `block`; the costliest call from `from` seconds on.
    Costliest run(int block, double seconds, double from = 0.0)
    {
        const std::size_t n = static_cast<std::size_t>(block);
        if (input.size() != static_cast<std::size_t>(channels) || input[0].size() < n) {
            input.assign(static_cast<std::size_t>(channels), std::vector<float>(n));
            output.assign(static_cast<std::size_t>(channels), std::vector<float>(n));
        }
        std::vector<float*> in, out;
        for (int c = 0; c < channels; ++c) {
            in.push_back(input[static_cast<std::size_t>(c)].data());
            out.push_back(output[static_cast<std::size_t>(c)].data());
        }
        AudioBusBuffers ib{channels, 0, in.data()}, ob{channels, 0, out.data()};
        ProcessContext ctx{};
        ctx.state = kPlaying;
        ctx.sampleRate = rate;
        ctx.tempo = 120.0;
        ProcessData d{};
        d.processMode = offline ? kOffline : kRealtime;
        d.symbolicSampleSize = kSample32;
        d.numSamples = block;
        d.numInputs = d.numOutputs = 1;
        d.inputs = &ib;
        d.outputs = &ob;
        d.processContext = &ctx;
        const std::int64_t total = static_cast<std::int64_t>(seconds * rate);
        const std::int64_t start = static_cast<std::int64_t>(from * rate);
        Costliest worst;
        std::thread audio([&] {
            for (std::int64_t at = 0; at < total; at += block) {
                // A new noise block each call, written before the call is counted.
                for (auto& ch : input)
                    for (std::size_t i = 0; i < n; ++i) {
                        seed = seed * 1664525u + 1013904223u;
                        ch[i] = 0.25f * (static_cast<float>(seed) / 2147483648.0f - 1.0f);
                    }
                const long f0 = threadFaults();
                const double t0 = threadMicros();
                processor->process(d);
                const double t1 = threadMicros();
                const long f1 = threadFaults();
                if (at >= start) {
                    worst.faults = std::max(worst.faults, f1 - f0);
                    worst.micros = std::max(worst.micros, t1 - t0);
                }
            }
        });
        audio.join();
        return worst;
    }

private:
    IAudioProcessor* processor;
    int channels;
    double rate;
    bool offline;
    std::uint32_t seed = 1;
    std::vector<std::vector<float>> input, output;
};

int fail(const std::string& why)
{
    std::fprintf(stderr, "bench_realtime_probe: %s\n", why.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6)
        return fail("usage: bench_realtime_probe BUNDLE CHANNELS RATE BLOCK OFFLINE");
    const std::string bundle = argv[1];
    const int channels = std::atoi(argv[2]);
    const double rate = std::atof(argv[3]);
    const int block = std::atoi(argv[4]);
    const bool offline = std::atoi(argv[5]) != 0;
    PluginModule module;
    std::string error;
    if (!module.open(bundle, error))
        return fail(error);
    IPluginFactory* factory = module.getFactory();
    if (!factory)
        return fail("no factory");
    IComponent* component = nullptr;
    for (int32 i = 0; i < factory->countClasses() && !component; ++i) {
        ClassInfo info{};
        if (factory->getClassInfo(i, &info) == kResultOk && std::string(info.category) == "Audio Module Class" &&
            factory->createInstance(info.cid, iid::IComponent.b, reinterpret_cast<void**>(&component)) != kResultOk)
            component = nullptr;
    }
    IAudioProcessor* processor = nullptr;
    if (!component || component->initialize(nullptr) != kResultOk ||
        component->queryInterface(iid::IAudioProcessor.b, reinterpret_cast<void**>(&processor)) != kResultOk)
        return fail("the processor cannot be made");
    SpeakerArrangement arr = defaultSpeakers(channels);
    SpeakerArrangement in = arr, out = arr;
    if (processor->setBusArrangements(&in, 1, &out, 1) != kResultOk)
        return fail("the arrangement is refused");
    const auto setUp = [&](int size) {
        ProcessSetup ps{offline ? kOffline : kRealtime, kSample32, size, 0, rate};
        return processor->setupProcessing(ps) == kResultOk;
    };
    if (!setUp(block))
        return fail("the set-up is refused");
    component->activateBus(kAudio, kInput, 0, true);
    component->activateBus(kAudio, kOutput, 0, true);
    component->setActive(true);
    Stream stream(processor, channels, rate, offline);
    const Costliest first = stream.run(block, 4.0);
    const Costliest steady = stream.run(block, 36.0, 12.0);
    component->setActive(false);
    const int other = block > 1 ? block / 2 : 2;
    if (!setUp(other))
        return fail("the re-set-up is refused");
    component->setActive(true);
    const Costliest resetup = stream.run(other, 4.0);
    component->setActive(false);
    component->setActive(true);
    const Costliest restart = stream.run(other, 4.0);
    component->setActive(false);
    component->activateBus(kAudio, kInput, 0, false);
    component->activateBus(kAudio, kOutput, 0, false);
    processor->release();
    component->terminate();
    component->release();
    factory->release();
    std::printf("%ld %.1f %ld %.1f %ld %.1f %ld %.1f\n", first.faults, first.micros, resetup.faults, resetup.micros,
                restart.faults, restart.micros, steady.faults, steady.micros);
    return 0;
}
