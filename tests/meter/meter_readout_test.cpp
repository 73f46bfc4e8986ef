// Read-out: known readings, the fixed order, values within 0..1, bypass and offline;
// elapsed playing time, counted on the audio thread and sent as "time" text from the main thread;
// the parameter accessor that converts the values.
#include "meter/bigmeterqel.h"
#include "meter/meterparams.h"
#include "pluginset/common/qel/parameterinfoaccessor.h"
#include "qel/ieditcontroller.h"
#include "tests/meter/meter_fixture.h"

namespace metertest {
namespace {

using ReadOutTest = BundleTest;
using Param::ParameterInfoAccessor;

// A stereo 1 kHz sine at -23 dBFS is known to read -23 LUFS (momentary, short-term, integrated and
// their maxima), -23 dBTP and a range of 0; in the LU scale the loudness is written shifted by 23.
// The dB scale's readings are checked through the meter program. Far over full scale the shifted
// loudness lies beyond 48 and is written as 1.0: read-outs hold every value within 0..1, in a fixed
// order, and come only when asked.
TEST_F(ReadOutTest, KnownReadingsInTheFixedOrderWithinZeroToOneAndOnlyWhenAsked)
{
    setupStereo(480);
    // Id 13 (loudness on) has no row of its own: switching it on from the host must not read as 0
    // and stop the loudness measurement.
    session.setParameter(13, 1.0);
    session.setParameter(48, 1.0);
    feed(sine(4.0, 48000.0, 1000.0, std::pow(10.0, -23.0 / 20.0)), 480);
    session.readOut();
    const double lu = 0.02 / 128.0;
    for (uint32 id : {1u, 2u, 3u, 8u, 9u})
        EXPECT_NEAR(session.lastOutput(id), meterNorm(0.0), lu) << id;
    EXPECT_NEAR(session.lastOutput(11), meterNorm(-23.0), lu);
    EXPECT_NEAR(session.lastOutput(10), 0.0, 0.01 / 100.0);
    EXPECT_EQ(session.lastOutput(47), 0.0); // not above -22
    EXPECT_EQ(session.lastOutput(46), 0.0); // not above -1 dBTP
    // Switched off: the integrated loudness is held, not measured.
    session.setParameter(13, 0.0);
    feed(sine(1.0, 48000.0, 1000.0, 0.5), 480);
    session.readOut();
    EXPECT_NEAR(session.lastOutput(3), meterNorm(0.0), lu);

    session.setParameter(13, 1.0);
    Stereo hot(96000);
    for (std::size_t i = 0; i < hot.size(); ++i)
        hot.l[i] = hot.r[i] = (i & 1) ? 30.0f : -30.0f;
    session.clearOutputLog();
    feed(hot, 480);
    EXPECT_TRUE(session.outputLog().empty()); // nobody asked
    session.requestData();
    session.requestData(); // two requests before a block give one read-out
    feed(Stereo(960), 480);
    auto log = session.outputLog();
    ASSERT_EQ(log.size(), 1u);
    std::vector<uint32> ids;
    for (auto& [id, v] : log[0]) {
        ids.push_back(id);
        EXPECT_GE(v, 0.0) << id;
        EXPECT_LE(v, 1.0) << id;
    }
    EXPECT_EQ(ids, (std::vector<uint32>{1, 2, 3, 47, 8, 9, 10, 45, 11, 46, 51, 52, 53}));
    session.readOut(); // the gated values settle on the meter's workers
    EXPECT_EQ(session.lastOutput(8), 1.0);
    EXPECT_EQ(session.lastOutput(47), 1.0); // integrated above -22
    EXPECT_EQ(session.lastOutput(46), 1.0); // true peak above -1 dB
}

// Playing time counts only measured blocks played: offline blocks wholly before the second position
// pass unmeasured, and without the playing bit time stands still while metering goes on. The first
// second then follows the ninety-fourth block played.
TEST_F(ReadOutTest, TimeCountsMeasuredBlocksPlayedAndAResetClearsIt)
{
    setupStereo(512);
    RawBlock b(2, 512, 0.5f);
    b.ctx.state = kPlaying | kProjectTimeMusicValid;
    b.ctx.tempo = 120.0;
    b.ctx.cycleStartMusic = 100.0;
    b.data.processMode = kOffline;
    b.data.processContext = &b.ctx;
    session.requestData();
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(session.processor()->process(b.data), kResultOk);
    EXPECT_EQ(b.out, b.in);
    // The read-out was still written, and shows nothing measured.
    int32 off = 0;
    double v = -1;
    ASSERT_EQ(b.outChanges.queue(8)->getParameterId(), 11u);
    b.outChanges.queue(8)->getPoint(0, off, v);
    EXPECT_EQ(v, 0.0);
    b.ctx.state = 0;
    b.data.processMode = kRealtime;
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(session.processor()->process(b.data), kResultOk);
    session.readOut();
    EXPECT_NEAR(session.lastOutput(11), meterNorm(0.0), 0.01); // the right channel at 1.0

    feed(sine(93 * 512 / 48000.0, 48000.0, 440.0, 0.1), 512);
    session.requestData();
    session.processBlock(nullptr, 0);
    EXPECT_TRUE(messages("time").empty());
    feed(sine(512 / 48000.0, 48000.0, 440.0, 0.1), 512);
    session.requestData();
    session.requestData(); // one message per second, however often asked
    auto times = messages("time");
    ASSERT_EQ(times.size(), 1u);
    EXPECT_EQ(std::get<std::u16string>(times[0].attributes().at("time")), u"00:00:01");
    EXPECT_TRUE(times[0].toController);
    // Never built nor sent off the main thread.
    EXPECT_FALSE(times[0].offMainThread);
    EXPECT_EQ(session.router().offMainThreadMessages(), 0);
    EXPECT_EQ(session.app().messagesCreatedOffMainThread(), 0);
    // A reset point, even of value 0.0, clears the counter and sends "00:00:00" at once.
    session.setParameter(4, 0.0);
    session.processBlock(nullptr, 0);
    session.requestData();
    times = messages("time");
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(std::get<std::u16string>(times[1].attributes().at("time")), u"00:00:00");
    // Hours beyond two digits, and a buffer too short for the whole text.
    char16_t text[32];
    Norrik::BigMeterQel::formatTime(360000, text, 32);
    EXPECT_EQ(std::u16string(text), u"100:00:00");
    Norrik::BigMeterQel::formatTime(3725, text, 4);
    EXPECT_EQ(std::u16string(text), u"01:");
}

// The meter keeps measuring while bypassed: a programme bypassed from its middle on reads as one
// that never was (loudness, maxima, range and true peak).
TEST_F(ReadOutTest, ProgrammeBypassedHalfwayReadsAsNotBypassed)
{
    const Stereo loud = sine(4.0, 48000.0, 1000.0, 0.3), quiet = sine(4.0, 48000.0, 500.0, 0.03);
    auto measure = [&](Session& s, bool bypass) {
        std::string error;
        if (!s.component()) {
            EXPECT_TRUE(s.load(error) && s.create(error)) << error;
        }
        EXPECT_TRUE(s.setup(48000.0, 2, 512, error)) << error;
        for (const Stereo* part : {&loud, &quiet}) {
            if (part == &quiet) {
                s.setParameter(0, bypass ? 1.0 : 0.0);
                s.requestData();
            }
            const float* in[2] = {part->l.data(), part->r.data()};
            EXPECT_EQ(s.processStretch(in, static_cast<std::int64_t>(part->size())), kResultOk);
        }
        EXPECT_EQ(s.outputLog().empty(), bypass); // a read-out waits for the bypass to end
        s.setParameter(0, 0.0);
        s.readOut();
        std::vector<double> values;
        for (uint32 id : {1u, 2u, 3u, 8u, 9u, 10u, 11u})
            values.push_back(s.lastOutput(id));
        return values;
    };
    Session bypassed{NORRIK_BUNDLE_PATH};
    EXPECT_EQ(measure(bypassed, true), measure(session, false));
}

// The parameter accessor's edges; the meter's own rows are converted above and described through
// the controller.
TEST(ParamAccessor, ConversionsNamesRowKindsTheMeterDoesNotUseAndTheLogTransformer)
{
    ParameterInfoAccessor a(Norrik::kProcessorParams, Norrik::kProcessorParamCount);
    EXPECT_EQ(a.toNormalized(1, 100.0), 180.0 / 128.0); // no clamping here
    EXPECT_EQ(a.toPlain(13, 1.0), 0.0);                 // no row: 0
    int32_t id = -1;
    EXPECT_EQ(a.getIdByName("Bypass", id), 1); // names match exactly
    EXPECT_EQ(ParameterInfoAccessor(nullptr, 5).getCount(), 0);

    Param::ParamRecord rows[2] = {
        {70, "list", "List", "", 0.0, 4.0, 1.0, 1.0, Param::kTypeList, 0x20002u, "%.0f", 0, 0, 0},
        {71, "gap", "Gap", "", 0.0, 1.0, 0.0, 1.0, Param::kTypeEmpty, 0, "%.0f", 0, 0, 0}};
    ParameterInfoAccessor b(rows, 2);
    Calvereth::Qel::ParameterInfo list{};
    ASSERT_EQ(b.fillParameterInfo(0, list), 0);
    EXPECT_EQ(list.flags, 0x2 | 0x8); // hidden bit dropped, list bit added
    EXPECT_EQ(list.stepCount, 4);
    EXPECT_EQ(list.defaultNormalizedValue, 0.25);
    EXPECT_EQ(b.fillParameterInfo(1, list), 1);

    // The logarithmic transformer: its midpoint lands where asked, normalised values clamp.
    auto* t = new Param::LogTransformer(0.0f, 100.0f, 0.5f, 25.0f);
    EXPECT_NEAR(t->toPlain(0.5f), 25.0f, 1e-4f);
    EXPECT_NEAR(t->toNormalized(25.0f), 0.5f, 1e-5f);
    EXPECT_EQ(t->toPlain(2.0f), 100.0f);
    EXPECT_EQ(t->toPlain(-1.0f), 0.0f);
    EXPECT_EQ(t->release(), 0u);
}

} // namespace
} // namespace metertest
