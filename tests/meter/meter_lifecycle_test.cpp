// The processor's life cycle through the host: class records, buses, arrangements, set-up,
// activation, bad calls, silence flags, parameter changes and the bypass.
#include "tests/meter/meter_fixture.h"

#include <cstring>

namespace metertest {
namespace {

using LifecycleTest = BundleTest;

// What the meter registers (the records' byte layout is the framework's test) and its buses. The
// session creates both classes by these identifiers.
TEST_F(LifecycleTest, ClassRecordsBusesASecondInitializeAndActivation)
{
    EXPECT_STREQ(session.factoryInfo().vendor, "Calvereth Media Technologies");
    const auto& c = session.classes();
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(std::memcmp(c[0].info2.cid, kProcessorCid, 16), 0);
    EXPECT_EQ(std::memcmp(c[1].info2.cid, kControllerCid, 16), 0);
    EXPECT_STREQ(c[0].info2.name, "Norrik");
    EXPECT_STREQ(c[0].info2.subCategories, "Fx|Tools");
    EXPECT_STREQ(c[1].info2.category, "Component Controller Class");
    EXPECT_EQ(toUtf8(c[1].unicode.name), "Norrik Controller");
    IPluginFactory* again = session.module().getFactory(); // one factory per process
    EXPECT_EQ(again, session.factory());
    again->release();
    IComponent* comp = session.component();
    BusInfo info{};
    ASSERT_EQ(comp->getBusInfo(kAudio, kOutput, 0, info), kResultOk);
    EXPECT_EQ(toUtf8(info.name), "Stereo Out");
    // A second initialize is refused and adds no buses.
    EXPECT_EQ(comp->initialize(&session.app()), kResultFalse);
    EXPECT_EQ(comp->getBusCount(kAudio, kInput), 1);
    // One without a context first, then one with it: the buses are still made once.
    IComponent* fresh = nullptr;
    ASSERT_EQ(session.factory()->createInstance(kProcessorCid, iid::IComponent.b, reinterpret_cast<void**>(&fresh)),
              kResultOk);
    EXPECT_EQ(fresh->initialize(nullptr), kResultOk);
    EXPECT_EQ(fresh->initialize(&session.app()), kResultOk);
    EXPECT_EQ(fresh->getBusCount(kAudio, kInput), 1);
    EXPECT_EQ(fresh->getBusCount(kAudio, kOutput), 1);
    EXPECT_EQ(fresh->terminate(), kResultOk);
    EXPECT_EQ(fresh->release(), 0u);

    // Activation tells the controller the channel counts; other messages are ignored.
    setupStereo(512); // 48 kHz, not the 44.1 kHz the processor starts with
    EXPECT_TRUE(messages("sampleRate").empty());
    session.component()->setActive(false);
    auto n = messages("nChannels");
    auto v = messages("vuMetersProcessing");
    ASSERT_EQ(n.size(), 2u); // with each change of activation
    EXPECT_EQ(std::get<int64>(n[0].attributes().at("nChannelsIn")), 2);
    EXPECT_EQ(std::get<int64>(n[1].attributes().at("nChannelsOut")), 2);
    ASSERT_EQ(v.size(), 2u); // on, then off
    EXPECT_EQ(std::get<int64>(v[0].attributes().at("vuMetersProcessing")), 1);
    EXPECT_EQ(std::get<int64>(v[1].attributes().at("vuMetersProcessing")), 0);
    session.component()->setActive(true);
    // Other messages, and resets without their attribute, are ignored; nothing reaches the controller.
    IConnectionPoint* proc = session.processorConnection();
    EXPECT_EQ(session.router().sendToProcessor(proc, "TextMessage", nullptr, 0), kResultOk);
    EXPECT_EQ(session.router().sendToProcessor(proc, "resetMaxLevelIn", nullptr, 0), kResultOk);
    EXPECT_EQ(session.router().sendToProcessor(proc, nullptr, nullptr, 0), kResultOk);
    EXPECT_TRUE(messages("TextMessage").empty());
}

TEST_F(LifecycleTest, SetupsRefusedOrKeptAndTheMeterWithThem)
{
    IAudioProcessor* p = session.processor();
    SpeakerArrangement stereo = 0x3, mono = 0x1;
    EXPECT_EQ(p->setBusArrangements(&stereo, 1, &stereo, 1), kResultOk);
    // Stereo in, mono out: refused; the output bus proposes the input's layout.
    EXPECT_EQ(p->setBusArrangements(&stereo, 1, &mono, 1), kResultFalse);
    SpeakerArrangement a = 0;
    ASSERT_EQ(p->getBusArrangement(kOutput, 0, a), kResultOk);
    EXPECT_EQ(a, stereo);
    // More channels than the meter holds: refused outright, the buses keep stereo.
    SpeakerArrangement wide = (1ull << 16) - 1;
    EXPECT_EQ(p->setBusArrangements(&wide, 1, &wide, 1), kResultFalse);
    ASSERT_EQ(p->getBusArrangement(kInput, 0, a), kResultOk);
    EXPECT_EQ(a, stereo);
    SpeakerArrangement none = 0;
    EXPECT_EQ(p->setBusArrangements(&none, 1, &none, 1), kResultFalse);
    EXPECT_EQ(p->setBusArrangements(nullptr, 1, &stereo, 1), kInvalidArgument);
    // Mono on both sides is accepted.
    EXPECT_EQ(p->setBusArrangements(&mono, 1, &mono, 1), kResultOk);
    EXPECT_EQ(p->setBusArrangements(&stereo, 1, &stereo, 1), kResultOk);
    // So are only 32-bit samples, blocks of at least one sample and rates the meter can filter.
    EXPECT_EQ(p->canProcessSampleSize(kSample64), kResultFalse);
    for (ProcessSetup bad : {ProcessSetup{kRealtime, kSample64, 512, 0, 48000.0},
                             {kRealtime, kSample32, 0, 0, 48000.0},
                             {kRealtime, kSample32, 512, 0, 0.5},
                             {kRealtime, kSample32, 512, 0, std::nan("")}})
        EXPECT_EQ(p->setupProcessing(bad), kResultFalse) << bad.maxSamplesPerBlock << " " << bad.sampleRate;
    ProcessSetup ok{kRealtime, kSample32, 256, 0, 44100.0};
    EXPECT_EQ(p->setupProcessing(ok), kResultOk);
    // Before activation blocks pass through unmeasured: outputs written, not left as they were.
    RawBlock early(2, 256, 0.5f);
    ASSERT_EQ(p->process(early.data), kResultOk);
    EXPECT_EQ(early.out, early.in);

    // The same set-up again leaves the meter untouched; a new one re-creates it with every value kept.
    setupStereo(512);
    feed(sine(1.0, 48000.0, 1000.0, 0.5), 512);
    session.readOut();
    const double peak = session.lastOutput(11);
    ProcessSetup same{kOffline, kSample32, 512, 0, 48000.0};
    ASSERT_EQ(session.processor()->setupProcessing(same), kResultOk);
    session.readOut();
    EXPECT_EQ(session.lastOutput(11), peak);

    // Only the last point of a queue counts: ScaleLU off, then on.
    RawBlock b(2, 512, 0.0f);
    b.inChanges.add(48, 0.0, 0);
    b.inChanges.add(48, 1.0, 100);
    ASSERT_EQ(session.processor()->process(b.data), kResultOk);
    const auto before = save();
    std::string error;
    ASSERT_TRUE(session.resetup(128, error)) << error;
    EXPECT_EQ(save(), before);
    // The LU offset is on and still in force, and the new meter starts from silence: -80 + 23.
    session.readOut();
    EXPECT_NEAR(session.lastOutput(1), meterNorm(-57.0), 1e-9);
}

TEST_F(LifecycleTest, SetupRefusesRatesTheEngineCannotMeasureAndCapsHugeBlocks)
{
    setupStereo(512);
    IAudioProcessor* p = session.processor();
    for (double r : {1.0, 4.0, 7.0, 7999.0, 384001.0, 2147483647.0}) {
        ProcessSetup bad{kRealtime, kSample32, 512, 0, r};
        EXPECT_EQ(p->setupProcessing(bad), kResultFalse) << r;
    }
    ProcessSetup huge{kOffline, kSample32, 1 << 28, 0, 384000.0};
    ASSERT_EQ(p->setupProcessing(huge), kResultOk);
    RawBlock b(2, 70000, 0.5f);
    EXPECT_EQ(p->process(b.data), kResultOk);
    EXPECT_EQ(b.out, b.in);
}

TEST_F(LifecycleTest, BadBlocksNeverCrashNorClaimSuccessSilenceFlagsAndTheBypassFade)
{
    setupStereo(512);
    IAudioProcessor* p = session.processor();
    RawBlock b(2, 512);
    ProcessData d = b.data;
    d.outputs = nullptr;
    EXPECT_EQ(p->process(d), kInvalidArgument);
    d = b.data;
    d.numSamples = -5;
    EXPECT_EQ(p->process(d), kInvalidArgument);
    // Missing input pointers: outputs still written (zeroed), success.
    d = b.data;
    d.inputs = nullptr;
    d.numInputs = 0;
    EXPECT_EQ(p->process(d), kResultOk);
    EXPECT_EQ(b.out[0][0], 0.0f);
    // Fewer channel pointers than the meter was configured for: passed through.
    RawBlock mono(1, 512, 0.5f);
    EXPECT_EQ(p->process(mono.data), kResultOk);
    EXPECT_EQ(mono.out, mono.in);
    // A null output channel pointer cannot be written.
    RawBlock holes(2, 512);
    holes.outPtr[1] = nullptr;
    EXPECT_EQ(p->process(holes.data), kInvalidArgument);
    // Null everywhere else.
    EXPECT_EQ(session.processorConnection()->notify(nullptr), kInvalidArgument);
    EXPECT_EQ(session.component()->setState(nullptr), kInvalidArgument);
    EXPECT_EQ(session.component()->getState(nullptr), kInvalidArgument);

    // Silence flags mute only when every channel is silent. Left flagged silent (and silent), right
    // loud: measured and passed, not muted.
    RawBlock one(2, 512, 0.5f);
    std::fill(one.in[0].begin(), one.in[0].end(), 0.0f);
    one.ib.silenceFlags = 0x1;
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(p->process(one.data), kResultOk);
    EXPECT_EQ(one.out, one.in);
    EXPECT_EQ(one.ob.silenceFlags, 0u);
    session.readOut();
    EXPECT_NEAR(session.lastOutput(11), meterNorm(0.0), 0.01); // right channel at 1.0

    // Both flagged and the meter's output silent: outputs zeroed and flagged.
    RawBlock all(2, 512, 0.0f);
    all.ib.silenceFlags = 0x3;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(p->process(all.data), kResultOk);
    EXPECT_EQ(all.ob.silenceFlags, 0x3u);
    EXPECT_EQ(all.out[0][100], 0.0f);
    EXPECT_EQ(all.out[1][511], 0.0f);

    // The bypass fades each time its state changes.
    Stereo sig = sine(0.5, 48000.0, 150.0, 0.5);
    Stereo on(sig.size()), off(sig.size()), same(sig.size());
    session.setParameter(0, 0.7); // on: fade to dry
    feed(sig, 512, &on);
    session.setParameter(0, 0.4); // off: fade back
    feed(sig, 512, &off);
    // Both directions end on the unchanged signal (the meter's path is a copy, latency 0 or not).
    uint32 lat = session.processor()->getLatencySamples();
    for (std::size_t i = 6000 + lat; i < sig.size(); ++i) {
        ASSERT_EQ(on.l[i], sig.l[i - lat]) << i;
        ASSERT_EQ(off.l[i], sig.l[i]) << i;
    }
    // A value equal to the current state changes nothing.
    session.setParameter(0, 0.2);
    feed(sig, 512, &same);
    EXPECT_EQ(same.l, sig.l);
}

// The host hands the plug-in no block longer than its set-up: one sample more is refused whole,
// and nothing of it reaches the meter.
TEST_F(LifecycleTest, TheHostRefusesABlockLongerThanItsSetUp)
{
    setupStereo(512);
    const Stereo tone = sine(513.0 / 48000.0, 48000.0, 1000.0, 0.5);
    ASSERT_EQ(tone.size(), 513u);
    const float* in[2] = {tone.l.data(), tone.r.data()};
    EXPECT_EQ(session.processBlock(in, 513), kInvalidArgument);
    EXPECT_EQ(session.samplesProcessed(), 0);
    ASSERT_TRUE(session.readOut());
    EXPECT_EQ(session.lastOutput(11), meterNorm(-80.0)); // the true peak of nothing
    EXPECT_EQ(session.processBlock(in, 512), kResultOk);
    EXPECT_EQ(session.samplesProcessed(), 512);
}

} // namespace
} // namespace metertest
