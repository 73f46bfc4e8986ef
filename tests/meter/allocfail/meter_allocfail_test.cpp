// Each allocation of each set-up step of the processor fails in turn: the step answers
// kOutOfMemory or succeeds, never throws or crashes; after a refusal the processor passes audio
// through and reads as having measured nothing, takes the step again, measures exactly as one that
// never failed, and is torn down without a leak.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/frame_host.h"
#include "host/hostobjects.h"
#include "meter/bigmeterqel.h"
#include "meter/norrikfactory.h"
#include "meter/norrikids.h"
#include "qel/ieditcontroller.h"
#include "tests/common/allocation_countdown.h"
#include "tests/common/sanitized.h"

namespace {

namespace Q = Calvereth::Qel;
using Calvereth::int32;
using Calvereth::kOutOfMemory;
using Calvereth::kResultOk;
using Calvereth::tresult;

template <class T, class H>
T* cross(H* host)
{
    return reinterpret_cast<T*>(host);
}

constexpr double kRate = 8000.0;
constexpr int32 kBlock = 256;
// What the read-out shows for a meter that has measured nothing: the rows' floors, no over.
const std::map<int32, double> kNoReading = {{1, 0.0},  {2, 0.0},  {3, 0.0},  {47, 0.0}, {8, 0.0},  {9, 0.0}, {10, 0.0},
                                            {45, 0.0}, {11, 0.0}, {46, 0.0}, {51, 0.0}, {52, 0.0}, {53, 0.0}};

// The processor's peer: keeps the "time" texts it is sent.
class Peer final : public Calvereth::FObject, public Q::IConnectionPoint
{
public:
    tresult connect(Q::IConnectionPoint*) override { return kResultOk; }
    tresult disconnect(Q::IConnectionPoint*) override { return kResultOk; }
    tresult notify(Q::IMessage* message) override
    {
        char16_t text[32] = {};
        if (message->getMessageId() && std::string(message->getMessageId()) == "time" &&
            message->getAttributes()->getString("time", text, sizeof text) == kResultOk)
            times.emplace_back(text);
        return kResultOk;
    }
    tresult queryInterface(const Calvereth::TUID iid, void** obj) override
    {
        if (obj && Calvereth::iidEqual(iid, Q::IConnectionPoint::iid)) {
            addRef();
            *obj = static_cast<Q::IConnectionPoint*>(this);
            return kResultOk;
        }
        return FObject::queryInterface(iid, obj);
    }
    Calvereth::uint32 addRef() override { return FObject::addRef(); }
    Calvereth::uint32 release() override { return FObject::release(); }
    std::vector<std::u16string> times;
};

// A processor in a host, mono, offline at 8 kHz.
struct Rig
{
    Rig() { processor->connect(peer); }
    ~Rig()
    {
        processor->setActive(false);
        processor->terminate();
        processor->release();
        peer->release();
        app->release();
    }
    tresult initialize()
    {
        return processor->initialize(cross<Calvereth::FUnknown>(static_cast<qelhost::IHostApplication*>(app)));
    }
    tresult arrange()
    {
        Q::SpeakerArrangement in = speakers, out = speakers;
        return processor->setBusArrangements(&in, 1, &out, 1);
    }
    tresult setup()
    {
        Q::ProcessSetup s{Q::kOffline, Q::kSample32, kBlock, kRate};
        return processor->setupProcessing(s);
    }
    tresult activate()
    {
        processor->activateBus(Q::kAudio, Q::kInput, 0, true);
        processor->activateBus(Q::kAudio, Q::kOutput, 0, true);
        return processor->setActive(true);
    }
    // What getState writes.
    std::vector<std::uint8_t> state()
    {
        auto* stream = new qelhost::MemoryStream;
        EXPECT_EQ(processor->getState(cross<Calvereth::IBStream>(static_cast<qelhost::IBStream*>(stream))), kResultOk);
        std::vector<std::uint8_t> bytes = stream->data();
        stream->release();
        return bytes;
    }
    tresult askForData()
    {
        qelhost::HostMessage* m = new qelhost::HostMessage;
        m->setMessageId("PluginDataGet");
        const tresult r = ask(m);
        m->release();
        return r;
    }
    tresult ask(qelhost::HostMessage* m)
    {
        return processor->notify(cross<Q::IMessage>(static_cast<qelhost::IMessage*>(m)));
    }
    // Plays `frames` of noise; every output must equal its input. The read-out asked for at the end,
    // normalised by id.
    std::map<int32, double> play(int frames)
    {
        std::vector<float> in(kBlock), out(kBlock);
        float* inPtr = in.data();
        float* outPtr = out.data();
        Q::BusBuffers ib{1, 0, {&inPtr}}, ob{1, 0, {&outPtr}};
        Q::TransportContext transport{};
        transport.state = Q::TransportContext::kPlaying;
        transport.sampleRate = kRate;
        qelhost::HostParameterChanges inChanges, outChanges;
        for (int pos = 0; pos < frames; pos += kBlock) {
            for (float& x : in)
                x = 0.5f *
                    static_cast<float>(static_cast<int>((seed = seed * 1664525u + 1013904223u) >> 8) - (1 << 23)) /
                    static_cast<float>(1 << 23);
            if (pos + kBlock >= frames) {
                EXPECT_EQ(askForData(), kResultOk);
            }
            outChanges.clear();
            Q::ProcessData data{Q::kOffline,
                                Q::kSample32,
                                kBlock,
                                1,
                                1,
                                &ib,
                                &ob,
                                cross<Q::IParameterChangeList>(static_cast<qelhost::IParameterChanges*>(&inChanges)),
                                cross<Q::IParameterChangeList>(static_cast<qelhost::IParameterChanges*>(&outChanges)),
                                nullptr,
                                nullptr,
                                &transport};
            EXPECT_EQ(processor->process(data), kResultOk);
            EXPECT_EQ(out, in);
        }
        std::map<int32, double> values;
        for (int32 i = 0; i < outChanges.getParameterCount(); ++i) {
            qelhost::HostParamQueue* q = outChanges.queue(i);
            int32 offset = 0;
            double v = -1.0;
            q->getPoint(q->getPointCount() - 1, offset, v);
            values[static_cast<int32>(q->getParameterId())] = v;
        }
        return values;
    }

    qelhost::HostApplication* app = new qelhost::HostApplication;
    Norrik::BigMeterQel* processor = new Norrik::BigMeterQel;
    Peer* peer = new Peer;
    unsigned seed = 7u;
    Q::SpeakerArrangement speakers = 1; // mono
};

// The meter's controller in a host with frame services, showing values as the host reads them.
struct Controller
{
    Controller()
    {
        EXPECT_EQ(controller->initialize(cross<Calvereth::FUnknown>(static_cast<qelhost::IFrameHost*>(host))),
                  kResultOk);
    }
    ~Controller()
    {
        controller->terminate();
        controller->release();
        host->shutdown();
        host->release();
        app->release();
    }
    // The text of a value the processor wrote, once the controller has it.
    std::string text(int32 id, double normalized)
    {
        const auto pid = static_cast<Q::ParamID>(id);
        controller->setParamNormalized(pid, normalized);
        char16_t shown[128] = {};
        controller->getParamStringByValue(pid, controller->getParamNormalized(pid), shown);
        return std::string(shown, shown + std::char_traits<char16_t>::length(shown));
    }

    qelhost::HostApplication* app = new qelhost::HostApplication;
    qelhost::FrameHost* host = new qelhost::FrameHost(app);
    Q::IEditController* controller = static_cast<Q::IEditController*>(Norrik::createControllerInstance(nullptr));
};

using Step = std::function<tresult(Rig&)>;
const std::vector<Step> kSteps = {&Rig::initialize, &Rig::arrange, &Rig::setup, &Rig::activate};

std::map<int32, double> referenceReadings()
{
    Rig rig;
    for (const Step& step : kSteps)
        EXPECT_EQ(step(rig), kResultOk);
    return rig.play(4000);
}

// Steps before `failing` as a host takes them, then `failing` with allocation n failed. True when
// the countdown reached n.
bool runFailing(Rig& rig, size_t failing, long n, tresult& answer)
{
    for (size_t k = 0; k < failing; ++k)
        EXPECT_EQ(kSteps[k](rig), kResultOk);
    countdown::Fail fail(n);
    answer = kSteps[failing](rig);
    return fail.failed();
}

// The steps, by name: each fails in a test of its own.
class EachSetUpStep : public ::testing::TestWithParam<size_t>
{};

TEST_P(EachSetUpStep, RefusesCleanlyAndCanBeTakenAgain)
{
    const size_t failing = GetParam();
    const std::map<int32, double> reference = referenceReadings();
    ASSERT_GT(reference.at(1), 0.5);
    int refusals = 0;
    for (long n = 0;; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        Rig rig;
        tresult answer = kResultOk;
        const bool failed = runFailing(rig, failing, n, answer);
        if (answer != kResultOk) {
            ASSERT_EQ(answer, kOutOfMemory);
            ++refusals;
            // Between a failed arrangement or set-up and the next, audio passes and nothing reads.
            if (failing == 1 || failing == 2) {
                for (size_t k = failing + 1; k < kSteps.size(); ++k)
                    EXPECT_EQ(kSteps[k](rig), kResultOk);
                EXPECT_EQ(rig.play(kBlock), kNoReading);
                EXPECT_EQ(rig.processor->setActive(false), kResultOk);
            }
            ASSERT_EQ(kSteps[failing](rig), kResultOk);
        }
        for (size_t k = failing + 1; k < kSteps.size(); ++k)
            ASSERT_EQ(kSteps[k](rig), kResultOk);
        rig.seed = Rig().seed;
        EXPECT_EQ(rig.play(4000), reference);
        if (!failed)
            break;
    }
    EXPECT_GT(refusals, 0);
}

std::string stepName(const ::testing::TestParamInfo<size_t>& info)
{
    static const char* const names[] = {"Initialize", "BusArrangement", "ProcessingSetUp", "Activation"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(MeterAllocationFailure, EachSetUpStep, ::testing::Range<size_t>(0, kSteps.size()), stepName);

// Out of memory the elapsed time is told late, never lost or garbled.
TEST(MeterAllocationFailure, TheElapsedTimeIsToldAtTheNextRequest)
{
    for (long n = 0;; ++n) {
        SCOPED_TRACE(n);
        Rig rig;
        for (const Step& step : kSteps)
            ASSERT_EQ(step(rig), kResultOk);
        // The first second is full within the last block, after that block's request.
        rig.play(32 * kBlock);
        rig.peer->times.clear();
        tresult answer = kResultOk;
        bool failed = false;
        qelhost::HostMessage* request = new qelhost::HostMessage;
        request->setMessageId("PluginDataGet");
        {
            countdown::Fail fail(n);
            answer = rig.ask(request);
            failed = fail.failed();
        }
        request->release();
        if (answer != kResultOk) {
            EXPECT_EQ(answer, kOutOfMemory);
            EXPECT_TRUE(rig.peer->times.empty());
            EXPECT_EQ(rig.askForData(), kResultOk);
        }
        EXPECT_EQ(rig.peer->times, std::vector<std::u16string>{u"00:00:01"});
        if (!failed)
            break;
    }
}

// A meter that has measured and is taken down as its new channels cannot have their memory (each
// allocation of a change from mono to stereo failed in turn) reads as one that has measured
// nothing: the processor writes the rows' floors, never 0 LUFS or 0 dBTP with an over, and the
// controller shows no reading.
TEST(MeterAllocationFailure, AMeterTakenDownForMemoryReadsAsHavingMeasuredNothing)
{
    // Under ThreadSanitizer, where a processor's set-up and tear-down take far longer, every sixth
    // allocation.
    constexpr long kStride = NORRIK_TEST_THREAD_SANITIZED ? 6 : 1;
    Controller shown;
    int refusals = 0;
    for (long n = 0;; n += kStride) {
        SCOPED_TRACE(n);
        Rig rig;
        for (const Step& step : kSteps)
            ASSERT_EQ(step(rig), kResultOk);
        ASSERT_GT(rig.play(4000).at(1), 0.5);
        ASSERT_EQ(rig.processor->setActive(false), kResultOk);
        rig.speakers = 3; // stereo
        tresult answer = kResultOk;
        bool failed = false;
        {
            countdown::Fail fail(n);
            answer = rig.arrange();
            failed = fail.failed();
        }
        if (answer != kResultOk) {
            ++refusals;
            EXPECT_EQ(answer, kOutOfMemory);
            ASSERT_EQ(rig.activate(), kResultOk);
            const std::map<int32, double> readOut = rig.play(kBlock);
            EXPECT_EQ(readOut, kNoReading);
            for (int32 id : {1, 2, 3, 8, 9, 11})
                EXPECT_EQ(shown.text(id, readOut.at(id)), "--") << id;
        }
        if (!failed)
            break;
    }
    EXPECT_GT(refusals, 0);
}

// A state with each allocation failed in turn, given to a processor at rest and to one that runs
// blocks: refused for want of memory with the old state still in force, or taken and in force (while
// blocks run, from the next block on); a refused state is taken when given again.
TEST(MeterAllocationFailure, AStateRefusedForMemoryIsTakenWhenGivenAgain)
{
    std::vector<std::uint8_t> old;
    {
        Rig rig;
        for (const Step& step : kSteps)
            ASSERT_EQ(step(rig), kResultOk);
        old = rig.state();
    }
    // The same with the LU scale on: record 10 (ScaleLU) of 140 bytes, its value at byte 132.
    std::vector<std::uint8_t> saved = old;
    const double on = 1.0;
    ASSERT_GT(saved.size(), 4u + 10 * 140 + 132 + sizeof on);
    std::memcpy(saved.data() + 4 + 10 * 140 + 132, &on, sizeof on);
    ASSERT_NE(saved, old);
    for (const bool processing : {false, true}) {
        SCOPED_TRACE(processing ? "processing" : "at rest");
        int refusals = 0;
        for (long n = 0;; ++n) {
            SCOPED_TRACE(n);
            Rig rig;
            for (size_t k = 0; k < kSteps.size() - (processing ? 0 : 1); ++k)
                ASSERT_EQ(kSteps[k](rig), kResultOk);
            auto* stream = new qelhost::MemoryStream(saved);
            auto* raw = cross<Calvereth::IBStream>(static_cast<qelhost::IBStream*>(stream));
            tresult answer = kResultOk;
            bool failed = false;
            {
                countdown::Fail fail(n);
                answer = rig.processor->setState(raw);
                failed = fail.failed();
            }
            if (processing)
                rig.play(kBlock);
            if (answer != kResultOk) {
                ++refusals;
                EXPECT_EQ(answer, kOutOfMemory);
                EXPECT_EQ(rig.state(), old);
                stream->rewind();
                EXPECT_EQ(rig.processor->setState(raw), kResultOk);
                if (processing)
                    rig.play(kBlock);
            }
            EXPECT_EQ(rig.state(), saved);
            stream->release();
            if (!failed)
                break;
        }
        EXPECT_GT(refusals, 0);
    }
}

} // namespace
