// The metering layer with per-channel values configured: side values, level texts, meter data
// updates at idle, and the reset requests of its views.
#include "tests/pluginset/views_fixture.h"

#include "meter/meterparams.h"

using namespace Calvereth;
using namespace viewstest;

namespace {

class ChannelController : public EditController2Vu
{
public:
    ChannelController()
    : EditController2Vu(Norrik::kProcessorParams, Norrik::kProcessorParamCount, Norrik::kControllerParams,
                        Norrik::kControllerParamCount, Norrik::kUnits, Norrik::kUnitCount)
    {
        setInputValueIds(20, 2, 30);
        setOutputValueIds(24, 2, 31);
    }
};

struct VuLayer : ::testing::Test
{
    void SetUp() override
    {
        app = new qelhost::HostApplication;
        host = newFrameHost(app);
        c = new ChannelController;
        ASSERT_EQ(c->initialize(plug(static_cast<qelhost::IFrameHost*>(host))), kResultOk);
        peer = new Peer;
        c->connect(peer);
    }
    void TearDown() override
    {
        c->terminate();
        c->release();
        peer->release();
        host->release();
        app->release();
    }
    std::string display(uint32 id, double v)
    {
        char16_t t[128] = {};
        c->getParamStringByValue(id, v, t);
        std::u16string s(t);
        return std::string(s.begin(), s.end() - (s.empty() || s.back() != u'\u221E' ? 0 : 1)) +
               (s.empty() || s.back() != u'\u221E' ? "" : "inf");
    }
    qelhost::HostApplication* app;
    qelhost::FrameHost* host;
    ChannelController* c;
    Peer* peer;
};

} // namespace

TEST_F(VuLayer, SideValuesAndLevelTexts)
{
    EXPECT_EQ(c->getParameterCount(), 15); // no text value in this layer
    EXPECT_EQ(c->setParamNormalized(21, 0.5), kResultOk);
    EXPECT_EQ(c->getInput().values[1], 0.5f);
    EXPECT_EQ(c->setParamNormalized(22, 0.5), kResultFalse); // not a side id, no value either
    EXPECT_EQ(c->setParamNormalized(25, 0.25), kResultOk);
    EXPECT_EQ(c->getOutput().values[1], 0.25f);
    EXPECT_EQ(c->setParamNormalized(30, 0.7), kResultOk);
    float v = 0.f;
    c->getInput().meterData->getValue(Frame::kVuPeakReadout, v);
    EXPECT_EQ(v, 0.7f);
    EXPECT_EQ(display(20, 0.0), "-inf");
    EXPECT_EQ(display(20, 1.0), "0.0");
    EXPECT_EQ(display(31, 0.5), "-6.0");
    EXPECT_EQ(display(3, 0.5), "-16.0"); // an ordinary record
}

TEST_F(VuLayer, IdleMovesTheChannelValuesIntoTheMeters)
{
    Qel::IMessage* m = hostMessage("nChannels");
    m->getAttributes()->setInt("nChannelsIn", 4); // more channels than values: two are set
    m->getAttributes()->setInt("nChannelsOut", 2);
    c->notify(m);
    m->release();
    c->setParamNormalized(20, 1e-10);
    c->setParamNormalized(21, 1.0);
    host->idle();
    EXPECT_EQ(peer->count("PluginDataGet"), 1);
    float v = -1.f;
    ASSERT_TRUE(c->getInput().meterData->getValue(20, v));
    EXPECT_EQ(v, 0.f);
    ASSERT_TRUE(c->getInput().meterData->getValue(21, v));
    EXPECT_GT(v, 0.9f);
    // "vuMetersProcessing" off clears what is shown next.
    Qel::IMessage* off = hostMessage("vuMetersProcessing");
    off->getAttributes()->setInt("vuMetersProcessing", 2);
    c->notify(off);
    off->release();
    EXPECT_EQ(c->getInput().values[1], 0.f);
}

TEST_F(VuLayer, ResetRequestsNameTheirSide)
{
    c->update(c->getInput().meterData->unknownCast(), Frame::kVuResetRequest);
    c->update(c->getOutput().meterData->unknownCast(), Frame::kVuResetRequest);
    c->update(c->getOutput().meterData->unknownCast(), Frame::kVuViewAttached);
    ASSERT_EQ(peer->ids.size(), 2u);
    EXPECT_EQ(peer->ids[0], "resetMaxLevelIn");
    EXPECT_EQ(peer->ids[1], "resetMaxLevelOut");
    EXPECT_EQ(peer->values[1], 0);
}
