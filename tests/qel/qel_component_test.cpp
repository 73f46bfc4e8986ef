// Buses, the component's bus reports and activation, and the audio processor base, driven through
// the IComponent and IAudioProcessor tables.
#include <gtest/gtest.h>

#include <string>

#include "qel/audioeffect.h"
#include "qel/bus.h"
#include "qel/component.h"
#include "qel_mocks.h"
#include "qel_slot_util.h"

using namespace qeltest;

namespace {

// IComponent slots
int32_t busCount(IComponent* c, int32_t m, int32_t d)
{
    return callSlot<int32_t, int32_t, int32_t>(c, 7, m, d);
}
tresult busInfo(IComponent* c, int32_t m, int32_t d, int32_t i, BusInfo& info)
{
    return callSlot<tresult, int32_t, int32_t, int32_t, BusInfo*>(c, 8, m, d, i, &info);
}
tresult activate(IComponent* c, int32_t m, int32_t d, int32_t i, bool on)
{
    return callSlot<tresult, int32_t, int32_t, int32_t, bool>(c, 10, m, d, i, on);
}
// IAudioProcessor slots
tresult setArrs(IAudioProcessor* p, SpeakerArrangement* in, int32_t nIn, SpeakerArrangement* out, int32_t nOut)
{
    return callSlot<tresult, SpeakerArrangement*, int32_t, SpeakerArrangement*, int32_t>(p, 3, in, nIn, out, nOut);
}
tresult getArr(IAudioProcessor* p, int32_t dir, int32_t i, SpeakerArrangement& a)
{
    return callSlot<tresult, int32_t, int32_t, SpeakerArrangement*>(p, 4, dir, i, &a);
}
tresult setup(IAudioProcessor* p, ProcessSetup& s)
{
    return callSlot<tresult, ProcessSetup*>(p, 7, &s);
}

struct Effect : AudioEffect
{
    Effect()
    {
        addAudioInput(u"Stereo In", kStereo);
        addAudioOutput(u"Stereo Out", kStereo, BusInfo::kMain, BusInfo::kDefaultActive);
    }
};

TEST(QelBuses, InfoOfAudioAndEventBuses)
{
    IPtr<AudioBus> bus(new AudioBus(u"Stereo In", 0, 1, 0b1011));
    bus->release();
    BusInfo info;
    info.mediaType = 5;
    info.direction = 6;
    EXPECT_TRUE(bus->getInfo(info));
    EXPECT_EQ(info.channelCount, 3);
    EXPECT_EQ(std::u16string(info.name), u"Stereo In");
    EXPECT_EQ(info.busType, 0);
    EXPECT_EQ(info.flags, 1u);
    EXPECT_EQ(info.mediaType, 5); // left to the component
    EXPECT_EQ(info.direction, 6);
    EXPECT_FALSE(bus->isActive());
    EXPECT_STREQ(bus->className(), "Qel::AudioBus");
    EXPECT_TRUE(bus->isTypeOf("Qel::Bus", true));
    EXPECT_FALSE(bus->isTypeOf("Qel::Bus", false));

    IPtr<EventBus> ev(new EventBus(u"Events", 1, 0, 16));
    ev->release();
    EXPECT_TRUE(ev->getInfo(info));
    EXPECT_EQ(info.channelCount, 16);
    EXPECT_EQ(info.busType, 1);
    EXPECT_TRUE(ev->isTypeOf("Qel::Bus", true));
    EXPECT_FALSE(ev->isTypeOf("Qel::AudioBus", true));

    // A long name is cut to 127 units and terminated.
    std::u16string longName(200, u'n');
    IPtr<AudioBus> named(new AudioBus(longName.c_str(), 0, 0, 3));
    named->release();
    std::memset(info.name, 0x55, sizeof(info.name));
    named->getInfo(info);
    EXPECT_EQ(std::u16string(info.name).size(), 127u);
    EXPECT_EQ(info.name[127], 0);
}

TEST(QelBuses, SpeakerIndex)
{
    int32_t i = 99;
    EXPECT_FALSE(speakerIndex(0b1011, 0b1000, i));
    EXPECT_EQ(i, 2);
    EXPECT_FALSE(speakerIndex(0b1011, 0b1, i));
    EXPECT_EQ(i, 0);
    EXPECT_TRUE(speakerIndex(3, 4, i));
    EXPECT_EQ(i, -1);
    EXPECT_FALSE(speakerIndex(~0ull, 1ull << 63, i));
    EXPECT_EQ(i, 63);
}

TEST(QelComponent, BusCountsInfoAndActivation)
{
    Effect e;
    IComponent* c = &e;
    EXPECT_EQ(busCount(c, kAudio, kInput), 1);
    EXPECT_EQ(busCount(c, kAudio, kOutput), 1);
    EXPECT_EQ(busCount(c, kAudio, 5), 1); // any direction but 0 is output
    EXPECT_EQ(busCount(c, kEvent, kInput), 0);
    EXPECT_EQ(busCount(c, 2, kInput), 0);

    BusInfo info;
    EXPECT_EQ(busInfo(c, kAudio, kOutput, 0, info), kResultOk);
    EXPECT_EQ(info.mediaType, kAudio);
    EXPECT_EQ(info.direction, kOutput);
    EXPECT_EQ(info.channelCount, 2);
    EXPECT_EQ(std::u16string(info.name), u"Stereo Out");
    EXPECT_EQ(info.flags, 1u);
    EXPECT_EQ(busInfo(c, 2, kInput, 0, info), kResultFalse);
    EXPECT_EQ(busInfo(c, kAudio, kInput, 1, info), kResultFalse);
    EXPECT_EQ(busInfo(c, kAudio, kInput, -1, info), kResultFalse);
    EXPECT_EQ(busInfo(c, kEvent, kInput, 0, info), kResultFalse);

    Bus* in = e.getBusList(kAudio, kInput)->at(0);
    EXPECT_FALSE(in->isActive());
    EXPECT_EQ(activate(c, kAudio, kInput, 0, true), kResultOk);
    EXPECT_TRUE(in->isActive());
    EXPECT_EQ(activate(c, kAudio, kInput, 1, true), kResultFalse);
    EXPECT_EQ(activate(c, 3, kInput, 0, true), kResultFalse);
    EXPECT_EQ(activate(c, kAudio, kInput, 0, false), kResultOk);
    EXPECT_FALSE(in->isActive());

    EXPECT_EQ((callSlot<tresult, bool>(c, 11, true)), kResultOk);
    EXPECT_EQ((callSlot<tresult, void*>(c, 12, nullptr)), kNotImplemented);
    EXPECT_EQ((callSlot<tresult, void*>(c, 13, nullptr)), kNotImplemented);
    EXPECT_EQ((callSlot<tresult, int32_t>(c, 6, 0)), kNotImplemented);
    EXPECT_EQ((callSlot<tresult, void*, void*>(c, 9, nullptr, nullptr)), kNotImplemented);
    EXPECT_EQ(e.renameBus(kAudio, kInput, 0, u"Main In"), kResultOk);
    EXPECT_EQ(e.renameBus(kAudio, kInput, 1, u"x"), kResultFalse);
    busInfo(c, kAudio, kInput, 0, info);
    EXPECT_EQ(std::u16string(info.name), u"Main In");
}

TEST(QelComponent, ControllerClassId)
{
    Effect e;
    IComponent* c = &e;
    TUID cid;
    EXPECT_EQ((callSlot<tresult, char*>(c, 5, cid)), kResultFalse);
    const FUID mine(0x6D826A83, 0x82B44A8D, 0xB374804F, 0xBE779C68);
    e.setControllerClass(mine);
    EXPECT_EQ((callSlot<tresult, char*>(c, 5, cid)), kResultOk);
    EXPECT_EQ(std::memcmp(cid, mine, 16), 0);
    EXPECT_EQ((callSlot<tresult, char*>(c, 5, nullptr)), kInvalidArgument);
}

TEST(QelComponent, TerminateEmptiesEveryListAndReleasesBuses)
{
    MockHost host;
    Effect e;
    IComponent* c = &e;
    EXPECT_EQ((callSlot<tresult, FUnknown*>(c, 3, &host)), kResultOk);
    e.addEventInput(u"Ev In");
    e.addEventOutput(u"Ev Out", 4);
    IPtr<Bus> kept(e.getBusList(kAudio, kInput)->at(0));
    EXPECT_EQ(kept->getRefCount(), 2);
    EXPECT_NE(e.getEventOutput(0), nullptr);
    EXPECT_EQ(e.getEventOutput(1), nullptr);
    EXPECT_EQ((callSlot<tresult>(c, 4)), kResultOk);
    for (MediaType m : {kAudio, kEvent})
        for (BusDirection d : {kInput, kOutput})
            EXPECT_EQ(busCount(c, m, d), 0);
    EXPECT_EQ(kept->getRefCount(), 1);
    EXPECT_EQ(host.refs, 1);
}

TEST(QelComponent, InterfaceLookup)
{
    Effect e;
    void* obj = nullptr;
    EXPECT_EQ(e.queryInterface(IComponent::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<void*>(static_cast<IComponent*>(&e)));
    EXPECT_EQ(e.queryInterface(IAudioProcessor::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<void*>(static_cast<IAudioProcessor*>(&e)));
    // Every sub-object answers for the others through its own table.
    void* viaProcessor = nullptr;
    EXPECT_EQ((callSlot<tresult, const char*, void**>(obj, 0, IConnectionPoint::iid, &viaProcessor)), kResultOk);
    EXPECT_EQ(viaProcessor, static_cast<void*>(static_cast<IConnectionPoint*>(&e)));
    EXPECT_EQ(e.queryInterface(IPluginBase::iid, &obj), kResultOk);
    EXPECT_EQ(e.queryInterface(IEditController::iid, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(e.getRefCount(), 5);
    for (int i = 0; i < 4; ++i)
        callSlot<uint32_t>(static_cast<IAudioProcessor*>(&e), 2);
    EXPECT_EQ(e.getRefCount(), 1);
    EXPECT_STREQ(e.className(), "AudioEffect");
    EXPECT_TRUE(e.isTypeOf("Component", true));
    EXPECT_TRUE(e.isTypeOf("ComponentBase", true));
    EXPECT_TRUE(e.isTypeOf("FObject", true));
    EXPECT_FALSE(e.isTypeOf("Component", false));
}

TEST(QelAudioEffect, SetupDefaultsAndRefusedSampleSize)
{
    Effect e;
    IAudioProcessor* p = &e;
    EXPECT_EQ(e.getProcessSetup().maxSamplesPerBlock, 1024);
    EXPECT_EQ(e.getProcessSetup().sampleRate, 44100.0);
    EXPECT_EQ((callSlot<tresult, int32_t>(p, 5, kSample32)), kResultOk);
    EXPECT_EQ((callSlot<tresult, int32_t>(p, 5, kSample64)), kResultFalse);
    EXPECT_EQ((callSlot<tresult, int32_t>(p, 5, -1)), kResultFalse);

    ProcessSetup s;
    s.processMode = kOffline;
    s.sampleSize = kSample64;
    s.maxSamplesPerBlock = 512;
    s.sampleRate = 48000.0;
    EXPECT_EQ(setup(p, s), kResultFalse);
    EXPECT_EQ(e.getProcessSetup().maxSamplesPerBlock, 1024);
    s.sampleSize = kSample32;
    EXPECT_EQ(setup(p, s), kResultOk);
    EXPECT_EQ(e.getProcessSetup().processMode, kOffline);
    EXPECT_EQ(e.getProcessSetup().maxSamplesPerBlock, 512);
    EXPECT_EQ(e.getProcessSetup().sampleRate, 48000.0);

    EXPECT_EQ((callSlot<uint32_t>(p, 6)), 0u);
    EXPECT_EQ((callSlot<uint32_t>(p, 10)), 0u);
    EXPECT_EQ((callSlot<tresult, bool>(p, 8, true)), kNotImplemented);
    ProcessData data;
    EXPECT_EQ((callSlot<tresult, ProcessData*>(p, 9, &data)), kNotImplemented);
}

// A subclass's sample-size answer decides the set-up.
struct DoubleOnly : Effect
{
    tresult canProcessSampleSize(SampleSizeCode code) override { return code == kSample64 ? kResultOk : kResultFalse; }
};

TEST(QelAudioEffect, SetupAsksTheSubclass)
{
    DoubleOnly d;
    ProcessSetup s;
    s.sampleSize = kSample32;
    EXPECT_EQ(setup(&d, s), kResultFalse);
    s.sampleSize = kSample64;
    EXPECT_EQ(setup(&d, s), kResultOk);
}

TEST(QelAudioEffect, BusArrangements)
{
    Effect e;
    IAudioProcessor* p = &e;
    SpeakerArrangement a = 0;
    EXPECT_EQ(getArr(p, kInput, 0, a), kResultOk);
    EXPECT_EQ(a, kStereo);
    EXPECT_EQ(getArr(p, kInput, 1, a), kResultFalse);
    EXPECT_EQ(getArr(p, kOutput, -1, a), kResultFalse);

    SpeakerArrangement ins[2] = {0x7, 0x1};
    SpeakerArrangement outs[1] = {0x1};
    EXPECT_EQ(setArrs(p, ins, 0, outs, 1), kResultOk);
    EXPECT_EQ(getArr(p, kInput, 0, a), kResultOk);
    EXPECT_EQ(a, kStereo);
    getArr(p, kOutput, 0, a);
    EXPECT_EQ(a, 0x1u);
    EXPECT_EQ(setArrs(p, ins, 2, nullptr, 0), kResultOk);
    getArr(p, kInput, 0, a);
    EXPECT_EQ(a, 0x7u);
    // A host that passes a count with no array changes nothing.
    EXPECT_EQ(setArrs(p, nullptr, 1, nullptr, 1), kResultOk);
    getArr(p, kInput, 0, a);
    EXPECT_EQ(a, 0x7u);
    BusInfo info;
    busInfo(&e, kAudio, kInput, 0, info);
    EXPECT_EQ(info.channelCount, 3);
}

TEST(QelAudioEffect, ArrangementsSkipBusesThatAreNotAudio)
{
    Effect e;
    // An event bus in an audio list is skipped and not counted.
    BusList* ins = e.getBusList(kAudio, kInput);
    IPtr<EventBus> ev(new EventBus(u"odd", 0, 0, 1));
    ev->release();
    ins->removeAll();
    ins->add(ev);
    e.addAudioInput(u"In", kStereo);
    SpeakerArrangement arr[1] = {0x4};
    setArrs(&e, arr, 1, nullptr, 0);
    SpeakerArrangement a = 0;
    EXPECT_EQ(getArr(&e, kInput, 0, a), kResultFalse);
    EXPECT_EQ(getArr(&e, kInput, 1, a), kResultOk);
    EXPECT_EQ(a, 0x4u);
}

} // namespace
