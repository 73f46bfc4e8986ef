// Elapsed playing time: counted on the audio thread, sent as "time" text from the main thread.
#include "tests/meter/meter_fixture.h"

namespace metertest {
namespace {

using TimeTest = BundleTest;

TEST_F(TimeTest, FirstSecondFollowsTheNinetyFourthBlockAndAResetClearsIt)
{
    setupStereo(512, 48000.0);
    Stereo tone = sine(93 * 512 / 48000.0, 48000.0, 440.0, 0.1);
    feed(tone, 512);
    session.requestData();
    session.processBlock(nullptr, 0);
    EXPECT_TRUE(messages("time").empty());

    Stereo one = sine(512 / 48000.0, 48000.0, 440.0, 0.1);
    feed(one, 512);
    session.requestData();
    auto times = messages("time");
    ASSERT_EQ(times.size(), 1u);
    EXPECT_EQ(timeText(times[0]), "00:00:01");
    EXPECT_TRUE(times[0].toController);
    // Never built nor sent off the main thread.
    EXPECT_FALSE(times[0].offMainThread);
    EXPECT_EQ(session.router().offMainThreadMessages(), 0);
    EXPECT_EQ(session.app().messagesCreatedOffMainThread(), 0);

    // One request, one message: nothing more until the next second.
    session.requestData();
    EXPECT_EQ(messages("time").size(), 1u);

    // A reset point, even of value 0.0, clears the counter and sends "00:00:00" at once.
    session.setParameter(4, 0.0);
    session.processBlock(nullptr, 0);
    session.requestData();
    times = messages("time");
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(timeText(times[1]), "00:00:00");
    EXPECT_EQ(session.app().messagesCreatedOffMainThread(), 0);
}

TEST_F(TimeTest, TimeStandsStillWhileNotPlayingButMeteringGoesOn)
{
    setupStereo(512, 48000.0);
    // Without the playing bit the counter does not move.
    RawBlock b(2, 512);
    b.data.processContext = &b.ctx;
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(session.processor()->process(b.data), kResultOk);
    session.requestData();
    EXPECT_TRUE(messages("time").empty());
    EXPECT_EQ(b.out, b.in);
    session.readOut(true);
    EXPECT_GT(session.lastOutput(11), meterNorm(-13.0)); // 0.25 peaks near -12 dB
}

} // namespace
} // namespace metertest
