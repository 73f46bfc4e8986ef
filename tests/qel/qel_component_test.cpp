// Buses, the component's bus reports and activation, and the audio processor base, driven through
// the IComponent and IAudioProcessor tables.
#include <gtest/gtest.h>

#include <string>

#include "qel/audioeffect.h"
#include "qel_mocks.h"

using namespace qeltest;

namespace {

struct Effect : AudioEffect
{
    Effect()
    {
        addAudioInput(u"Stereo In", kStereo);
        addAudioOutput(u"Stereo Out", kStereo);
    }
    IComponent* c() { return this; }
    IAudioProcessor* p() { return this; }
    tresult busInfo(MediaType m, BusDirection d, int32_t i, BusInfo& info)
    {
        return callSlot<tresult, int32_t, int32_t, int32_t, BusInfo*>(c(), 8, m, d, i, &info);
    }
    tresult arrange(SpeakerArrangement* in, int32_t nIn, SpeakerArrangement* out, int32_t nOut)
    {
        return callSlot<tresult, SpeakerArrangement*, int32_t, SpeakerArrangement*, int32_t>(p(), 3, in, nIn, out,
                                                                                             nOut);
    }
    SpeakerArrangement arrangement(BusDirection d, int32_t i, tresult expected = kResultOk)
    {
        SpeakerArrangement a = 0;
        EXPECT_EQ((callSlot<tresult, int32_t, int32_t, SpeakerArrangement*>(p(), 4, d, i, &a)), expected);
        return a;
    }
    tresult setup(ProcessSetup& s) { return callSlot<tresult, ProcessSetup*>(p(), 7, &s); }
};

TEST(QelComponent, BusesReportedActivatedAndReleased)
{
    IPtr<qelhost::HostApplication> host(new qelhost::HostApplication, false);
    Effect e;
    EXPECT_EQ((callSlot<int32_t, int32_t, int32_t>(e.c(), 7, kAudio, 5)), 1); // any direction but 0 is output
    EXPECT_EQ((callSlot<int32_t, int32_t, int32_t>(e.c(), 7, 2, kInput)), 0);
    BusInfo info;
    EXPECT_EQ(e.busInfo(kAudio, kInput, -1, info), kResultFalse);
    EXPECT_EQ(e.busInfo(2, kInput, 0, info), kResultFalse);
    // A long name is cut to 127 units and terminated.
    EXPECT_EQ(e.renameBus(kAudio, kInput, 0, std::u16string(200, u'n').c_str()), kResultOk);
    std::memset(info.name, 0x55, sizeof(info.name));
    e.busInfo(kAudio, kInput, 0, info);
    EXPECT_EQ(std::u16string(info.name), std::u16string(127, u'n'));

    Bus* in = e.getBusList(kAudio, kInput)->at(0);
    EXPECT_FALSE(in->isActive());
    EXPECT_EQ((callSlot<tresult, int32_t, int32_t, int32_t, bool>(e.c(), 10, kAudio, kInput, 0, true)), kResultOk);
    EXPECT_TRUE(in->isActive());
    EXPECT_EQ((callSlot<tresult, int32_t, int32_t, int32_t, bool>(e.c(), 10, kAudio, kInput, 1, true)), kResultFalse);

    int32_t i = 99;
    EXPECT_FALSE(speakerIndex(0b1011, 0b1000, i));
    EXPECT_EQ(i, 2);
    EXPECT_TRUE(speakerIndex(3, 4, i));
    EXPECT_EQ(i, -1);

    TUID cid;
    EXPECT_EQ((callSlot<tresult, char*>(e.c(), 5, cid)), kResultFalse); // no controller class set yet

    // Terminate empties all four lists and lets go of every bus.
    EXPECT_EQ((callSlot<tresult, FUnknown*>(e.c(), 3, fromHost<FUnknown>(host.get()))), kResultOk);
    e.addEventOutput(u"Ev Out", 4);
    IPtr<Bus> kept(in);
    EXPECT_EQ((callSlot<tresult>(e.c(), 4)), kResultOk);
    for (MediaType m : {kAudio, kEvent})
        for (BusDirection d : {kInput, kOutput})
            EXPECT_EQ((callSlot<int32_t, int32_t, int32_t>(e.c(), 7, m, d)), 0);
    EXPECT_EQ(kept->getRefCount(), 1);
    EXPECT_EQ(host->refCount(), 1u);
}

struct DoubleOnly : Effect
{
    tresult canProcessSampleSize(SampleSizeCode code) override { return code == kSample64 ? kResultOk : kResultFalse; }
};

TEST(QelAudioEffect, SetupAndArrangements)
{
    Effect e;
    EXPECT_EQ(e.getProcessSetup().maxSamplesPerBlock, 1024);
    ProcessSetup s{kOffline, kSample64, 512, 48000.0};
    EXPECT_EQ(e.setup(s), kResultFalse);
    EXPECT_EQ(e.getProcessSetup().sampleRate, 44100.0); // a refused set-up leaves the last one
    s.sampleSize = kSample32;
    EXPECT_EQ(e.setup(s), kResultOk);
    EXPECT_EQ(e.getProcessSetup().sampleRate, 48000.0);
    DoubleOnly d; // the subclass's answer decides
    EXPECT_EQ(d.setup(s), kResultFalse);

    SpeakerArrangement ins[2] = {0x7, 0x1}, outs[1] = {0x1};
    EXPECT_EQ(e.arrange(ins, 0, outs, 1), kResultOk);
    EXPECT_EQ(e.arrangement(kInput, 0), kStereo);
    EXPECT_EQ(e.arrangement(kOutput, 0), 0x1u);
    EXPECT_EQ(e.arrange(ins, 2, nullptr, 0), kResultOk); // surplus arrangements are ignored
    EXPECT_EQ(e.arrangement(kInput, 0), 0x7u);
    EXPECT_EQ(e.arrange(nullptr, 1, nullptr, 1), kResultOk); // a count without an array changes nothing
    EXPECT_EQ(e.arrangement(kInput, 0), 0x7u);
    e.arrangement(kInput, 1, kResultFalse);

    // A bus that is not an audio bus is skipped and not counted.
    BusList* list = e.getBusList(kAudio, kInput);
    list->removeAll();
    list->add(IPtr<EventBus>(new EventBus(u"odd", 0, 0, 1), false));
    e.addAudioInput(u"In", kStereo);
    e.arrange(outs, 1, nullptr, 0);
    e.arrangement(kInput, 0, kResultFalse);
    EXPECT_EQ(e.arrangement(kInput, 1), 0x1u);
}

} // namespace
