// The meter's controller over the test host's services: life cycle, parameter records, display
// texts, scale mapping, messages, state and units.
#include "tests/pluginset/views_fixture.h"

#include <cmath>
#include <climits>
#include <cstring>

#include "meter/meterparams.h"
#include "meter/norrikfactory.h"
#include "pluginset/common/qel/unitinfo.h"
#include "tests/common/comma_locale.h"

using namespace Calvereth;
using namespace viewstest;

namespace {

Calvereth::IBStream* stream(qelhost::MemoryStream* s)
{
    return reinterpret_cast<Calvereth::IBStream*>(static_cast<qelhost::IBStream*>(s));
}

// A processor state: length, then (name, id, value) records.
std::vector<std::uint8_t> state(const std::vector<std::pair<int32, double>>& records, int32 length = INT32_MIN)
{
    std::vector<std::uint8_t> b(4, 0);
    int32 len = length != INT32_MIN ? length : static_cast<int32>(records.size() * 144);
    std::memcpy(b.data(), &len, 4);
    for (auto& r : records) {
        std::uint8_t rec[140] = {};
        std::memcpy(rec + 128, &r.first, 4);
        std::memcpy(rec + 132, &r.second, 8);
        b.insert(b.end(), rec, rec + 140);
    }
    return b;
}

} // namespace

TEST_F(ControllerTest, SixteenValuesAndTheirRecords)
{
    EXPECT_EQ(controller->getParameterCount(), 16);
    Qel::ParameterInfo info{};
    ASSERT_EQ(controller->getParameterInfo(14, info), kResultOk); // merged controller rows follow
    EXPECT_EQ(text(info.title), "Time");
    EXPECT_EQ(controller->getParameterInfo(16, info), kResultFalse);
    EXPECT_EQ(controller->getParameterInfoById(99, info), kResultFalse);

    // Every record has a host value of its kind, told its id and owner.
    for (int32 i = 0; i < 16; ++i) {
        ASSERT_EQ(controller->getParameterInfo(i, info), kResultOk);
        char name[128] = {};
        for (int k = 0; k < 127 && info.shortTitle[k]; ++k)
            name[k] = static_cast<char>(info.shortTitle[k]);
        qelhost::HostValue* v = value(name);
        ASSERT_NE(v, nullptr) << name;
        EXPECT_EQ(v->getId(), static_cast<int32>(info.id));
        EXPECT_NE(v->owner(), nullptr);
    }
    EXPECT_EQ(value("loudnessM")->kind(), qelhost::HostValue::kRange);
    EXPECT_EQ(value("loudnessM")->meterFlag(), 1);
    EXPECT_EQ(value("bypass")->kind(), qelhost::HostValue::kBool);
    EXPECT_EQ(value("scaleModeLoudness")->kind(), qelhost::HostValue::kInt);
    EXPECT_EQ(value("time")->kind(), qelhost::HostValue::kString);
    EXPECT_EQ(value("LoudnessM"), nullptr);
    // The indicator is found by name though no record has it.
    ASSERT_NE(value("LoudnessSIndicator"), nullptr);
}

TEST_F(ControllerTest, DisplayTexts)
{
    EXPECT_EQ(display(3, norm(3, -23.0)), "-23.0");
    EXPECT_EQ(display(1, 0.0), "--");
    EXPECT_EQ(display(10, 0.5), "50.0");
    EXPECT_EQ(display(11, 0.0), "--");
    EXPECT_EQ(display(11, norm(11, -1.5)), "-1.5");
    EXPECT_EQ(display(0, 0.5), "On");
    EXPECT_EQ(display(0, 0.49), "Off");
    EXPECT_EQ(display(48, 0.0), "LUFS");
    EXPECT_EQ(display(48, 1.0), "LU");
    EXPECT_EQ(display(46, 1.0), "1");
    EXPECT_EQ(display(99, 0.5), "");
    // Relative scale: the floor moves to -57.
    controller->setParamNormalized(48, 1.0);
    EXPECT_EQ(display(1, norm(1, -57.0)), "--");
    EXPECT_EQ(display(1, norm(1, -56.9)), "-56.9");

    char16_t t[128] = u"x";
    double n = 0.0;
    char16_t fifty[] = u"50,0";
    EXPECT_EQ(controller->getParamValueByString(10, fifty, n), kResultOk);
    EXPECT_DOUBLE_EQ(n, 0.5);
    char16_t none[] = u"abc";
    EXPECT_EQ(controller->getParamValueByString(10, none, n), kResultFalse);
    char16_t lead[] = u"TP -16 dB";
    EXPECT_EQ(controller->getParamValueByString(11, lead, n), kResultOk);
    EXPECT_DOUBLE_EQ(n, 0.5);
    (void)t;

    // The host asks the controller for the text it shows.
    auto* integrated = value("loudnessI");
    controller->setParamNormalized(48, 0.0);
    controller->setParamNormalized(3, norm(3, -23.0));
    EXPECT_EQ(integrated->text(), "-23.0");
    EXPECT_NEAR(controller->getParamNormalized(3), norm(3, -23.0), 1e-6);
}

TEST_F(ControllerTest, NumbersAsTextUseAPointWhateverTheLocale)
{
    testlocale::CommaDecimalLocale locale;
    NORRIK_SKIP_WITHOUT_COMMA_LOCALE(locale);
    EXPECT_EQ(display(3, norm(3, -23.0)), "-23.0"); // the loudness texts
    EXPECT_EQ(display(11, norm(11, -1.5)), "-1.5"); // a record's own format
    controller->setInputValueIds(20, 2, 30);        // a channel side's level text
    char16_t level[128] = {};
    controller->EditController2Vu::getParamStringByValue(20, 0.5, level);
    EXPECT_EQ(text(level), "-6.0");
    double n = 0.0;
    char16_t typed[] = u"25.5";
    EXPECT_EQ(controller->getParamValueByString(10, typed, n), kResultOk);
    EXPECT_DOUBLE_EQ(n, 0.255);
    // A state read by the controller shows as it was saved.
    auto* s = new qelhost::MemoryStream(state({{10, 12.5}}));
    EXPECT_EQ(controller->setComponentState(stream(s)), kResultOk);
    s->release();
    EXPECT_EQ(value("loudnessRange")->text(), "12.5");
}

TEST_F(ControllerTest, TypedTextThatIsNoFiniteNumberIsRefused)
{
    auto* range = value("loudnessRange");
    auto* asHost = reinterpret_cast<IHostValue*>(static_cast<qelhost::IHostValueOptions*>(range));
    range->setNormalized(0, 0.25f);
    for (const char16_t* typed : {u"nan", u"inf", u"Info", u"inf dB", u"-1e400", u"0x5", u"-\u221E"}) {
        double n = 0.75;
        EXPECT_EQ(controller->getParamValueByString(10, const_cast<char16_t*>(typed), n), kResultFalse) << text(typed);
        EXPECT_EQ(n, 0.75);
        EXPECT_EQ(controller->stringToValue(asHost, typed), kResultFalse) << text(typed);
        EXPECT_EQ(range->getNormalized(), 0.25f) << text(typed);
    }
    EXPECT_EQ(controller->stringToValue(asHost, u"LRA 50 LU"), kResultOk);
    EXPECT_NEAR(range->getNormalized(), 0.5, 1e-6);
}

TEST_F(ControllerTest, MomentaryAndShortTermMapOntoTheBar)
{
    auto* data = controller->getMomentaryData();
    ASSERT_NE(data, nullptr);
    // Far apart in time, so that nothing of the previous level is left falling.
    int32 ms = 0;
    host->frameSystem().clock = [&ms] { return ms += 10000; };
    float v = 0.f;
    controller->setParamNormalized(1, norm(1, -23.0));
    data->getValue(1, v);
    EXPECT_NEAR(v, 36.0 / 54.0, 1e-6);
    controller->setParamNormalized(1, norm(1, -59.5));
    data->getValue(1, v);
    EXPECT_EQ(v, 0.f);
    controller->setParamNormalized(1, norm(1, -4.0));
    data->getValue(1, v);
    EXPECT_EQ(v, 1.f);
    controller->setParamNormalized(2, norm(2, -23.0));
    EXPECT_NEAR(value("LoudnessSIndicator")->getNormalized(), 36.0 / 54.0, 1e-6);
    // Relative scale: 0 LU is the target.
    controller->setParamNormalized(48, 0.49);
    EXPECT_FALSE(controller->isRelativeScale());
    controller->setParamNormalized(48, 1.0);
    EXPECT_TRUE(controller->isRelativeScale());
    EXPECT_NEAR(controller->loudnessPosition(1, norm(1, 0.0)), 36.0 / 54.0, 1e-9);
    EXPECT_NEAR(controller->loudnessPosition(1, norm(1, -36.0)), 0.0, 1e-9);
    // MomentMax feeds the readout unchanged; a loudness reset clears the maxima.
    controller->setParamNormalized(8, 0.75);
    data->getValue(Frame::kVuPeakReadout, v);
    EXPECT_EQ(v, 0.75f);
    data->getValue(Frame::kVuChannelMaximum, v);
    EXPECT_GT(v, 0.f);
    controller->setParamNormalized(4, 1.0);
    data->getValue(Frame::kVuChannelMaximum, v);
    EXPECT_EQ(v, 0.f);
    EXPECT_EQ(controller->setParamNormalized(99, 0.5), kResultFalse);
    host->frameSystem().clock = nullptr;
}

TEST_F(ControllerTest, ValueEditsGoToTheHostOnlyOutsideStateLoads)
{
    std::vector<std::pair<uint32, double>> edits;
    auto* handler = new qelhost::ComponentHandler([&](uint32 id, double v) { edits.emplace_back(id, v); });
    controller->setComponentHandler(
        reinterpret_cast<Qel::IComponentHandler*>(static_cast<qelhost::IComponentHandler*>(handler)));
    auto* scale = value("scaleModeLoudness");
    scale->setNormalized(0, 0.5f);
    controller->valueEdited(reinterpret_cast<IHostValue*>(static_cast<qelhost::IHostValueOptions*>(scale)), 48);
    EXPECT_TRUE(controller->isRelativeScale());
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_EQ(edits[0].first, 48u);

    auto* s = new qelhost::MemoryStream(state({{48, 0.0}, {0, 1.0}, {10, 25.0}}));
    EXPECT_EQ(controller->setComponentState(stream(s)), kResultOk);
    s->release();
    EXPECT_EQ(edits.size(), 1u); // applied without edits towards the host
    EXPECT_FALSE(controller->isRelativeScale());
    EXPECT_EQ(value("bypass")->getNormalized(), 1.f);
    EXPECT_NEAR(value("loudnessRange")->getNormalized(), 0.25, 1e-6);
    EXPECT_EQ(value("bypass")->lastFlag(), 0); // the edit stored it after the state set it with 1
    controller->setComponentHandler(nullptr);
    handler->release();
}

// The host sees the units "Global" and "Meter" below it, the root selected, and no program lists.
TEST_F(ControllerTest, UnitsGlobalAndMeterWithoutProgramLists)
{
    void* obj = nullptr;
    ASSERT_EQ(controller->queryInterface(Qel::IUnitInfo::iid, &obj), kResultOk);
    auto* units = static_cast<Qel::IUnitInfo*>(obj);
    EXPECT_EQ(units->getUnitCount(), 2);
    const struct
    {
        int32 id, parent;
        const char* name;
    } expected[2] = {{0, -1, "Global"}, {1, 0, "Meter"}};
    for (int32 i = 0; i < 2; ++i) {
        Qel::UnitInfo info{};
        ASSERT_EQ(units->getUnitInfo(i, info), kResultOk);
        EXPECT_EQ(info.id, expected[i].id);
        EXPECT_EQ(info.parentUnitId, expected[i].parent);
        EXPECT_EQ(info.programListId, -1);
        EXPECT_EQ(text(info.name), expected[i].name);
    }
    for (int32 i : {2, -1, INT32_MIN}) {
        Qel::UnitInfo info{};
        info.id = 77;
        EXPECT_EQ(units->getUnitInfo(i, info), kResultFalse);
        EXPECT_EQ(info.id, 77);
    }
    EXPECT_EQ(units->getSelectedUnit(), 0);
    EXPECT_EQ(units->getProgramListCount(), 0);
    Qel::ProgramListInfo list{};
    char16_t name[128] = {};
    EXPECT_EQ(units->getProgramListInfo(0, list), kNotImplemented);
    EXPECT_EQ(units->getProgramName(-1, 0, name), kNotImplemented);
    EXPECT_EQ(units->selectUnit(1), kNotImplemented);
    units->release();

    // Standing alone, without a table, it counts its own references.
    auto* bare = new CUnitInfo;
    Qel::UnitInfo info{};
    EXPECT_EQ(bare->getUnitInfo(0, info), kResultFalse);
    ASSERT_EQ(bare->queryInterface(FUnknown::iid, &obj), kResultOk);
    EXPECT_EQ(bare->release(), 1u);
    EXPECT_EQ(bare->release(), 0u);
}

TEST_F(ControllerTest, TruncatedOrCorruptStateChangesNothing)
{
    value("bypass")->setNormalized(0, 1.f);
    auto full = state({{0, 0.0}, {10, 50.0}, {48, 1.0}});
    // Every cut short of the promised records is refused with nothing applied.
    for (std::size_t cut = 0; cut < full.size(); cut += 37) {
        std::vector<std::uint8_t> part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        auto* s = new qelhost::MemoryStream(part);
        EXPECT_EQ(controller->setComponentState(stream(s)), kResultFalse) << cut;
        s->release();
        EXPECT_EQ(value("bypass")->getNormalized(), 1.f) << cut;
        EXPECT_EQ(value("loudnessRange")->getNormalized(), 0.f) << cut;
    }
    auto* nan = new qelhost::MemoryStream(state({{10, 50.0}, {0, std::nan("")}}));
    EXPECT_EQ(controller->setComponentState(stream(nan)), kResultFalse);
    nan->release();
    EXPECT_EQ(value("loudnessRange")->getNormalized(), 0.f);
    auto* huge = new qelhost::MemoryStream(state({{10, 50.0}}, 144 * 1000));
    EXPECT_EQ(controller->setComponentState(stream(huge)), kResultFalse);
    huge->release();
    auto* negative = new qelhost::MemoryStream(state({}, -144));
    EXPECT_EQ(controller->setComponentState(stream(negative)), kResultFalse);
    negative->release();
    EXPECT_EQ(controller->setComponentState(nullptr), kResultFalse);

    // A length of 280 is taken as two records; a repeated id applies once.
    auto* odd = new qelhost::MemoryStream(state({{10, 50.0}, {10, 10.0}}, 280));
    EXPECT_EQ(controller->setComponentState(stream(odd)), kResultOk);
    odd->release();
    EXPECT_NEAR(value("loudnessRange")->getNormalized(), 0.5, 1e-6);
}

TEST_F(ControllerTest, SecondInitializeIsRefusedWithoutSideEffects)
{
    const int users = EditController2::getViewServicesUserCount();
    auto* list = controller->getValueList();
    auto* data = controller->getMomentaryData();
    const std::size_t idle = host->idleRegistry().count();
    EXPECT_EQ(controller->initialize(plug(static_cast<qelhost::IFrameHost*>(host))), kResultFalse);
    EXPECT_EQ(EditController2::getViewServicesUserCount(), users);
    EXPECT_EQ(controller->getValueList(), list);
    EXPECT_EQ(controller->getMomentaryData(), data);
    EXPECT_EQ(controller->getParameterCount(), 16);
    EXPECT_EQ(host->idleRegistry().count(), idle);
}

TEST_F(ControllerTest, IdleAsksForDataAndMessagesReachTheValues)
{
    EXPECT_EQ(host->idleRegistry().count(), 1u);
    host->idle();
    host->idle();
    EXPECT_EQ(peer->count("PluginDataGet"), 2);
    EXPECT_EQ(peer->values.back(), 0);

    Qel::IMessage* time = hostMessage("time");
    time->getAttributes()->setString("time", u"00:01:05");
    EXPECT_EQ(controller->notify(time), kResultOk);
    time->release();
    EXPECT_EQ(value("time")->text(), "00:01:05");
    EXPECT_EQ(display(53, 0.0), "00:01:05");
    Qel::IMessage* bare = hostMessage("time");
    EXPECT_EQ(controller->notify(bare), kResultOk); // no attribute: nothing changes
    bare->release();
    EXPECT_EQ(value("time")->text(), "00:01:05");
    // The read-out's number for the time never blanks the text.
    EXPECT_EQ(controller->setParamNormalized(53, 0.0), kResultOk);
    EXPECT_EQ(display(53, 0.0), "00:01:05");

    Qel::IMessage* other = hostMessage("somethingElse");
    EXPECT_EQ(controller->notify(other), kResultFalse);
    other->release();
}

// Without drawing services there are no values, but the life cycle stays balanced.
TEST(ViewsControllerLifecycle, HostWithoutFrameServices)
{
    auto* app = new qelhost::HostApplication;
    auto* c = new Norrik::SmallBigMeterController;
    EXPECT_EQ(c->getParameterCount(), 0);
    ASSERT_EQ(c->initialize(plug(static_cast<qelhost::IHostApplication*>(app))), kResultOk);
    EXPECT_EQ(c->getParameterCount(), 0);
    EXPECT_EQ(c->setParamNormalized(3, 0.5), kResultFalse);
    EXPECT_EQ(c->getParamNormalized(3), 0.0);
    char16_t t[128] = {};
    EXPECT_EQ(c->getParamStringByValue(3, 0.5, t), kResultFalse);
    EXPECT_EQ(c->createView("editor"), nullptr);
    EXPECT_EQ(EditController2::getViewServicesUserCount(), 0);
    auto* peer = new Peer;
    c->connect(peer);
    auto* handler = new qelhost::ComponentHandler([](uint32, double) {});
    c->setComponentHandler(
        reinterpret_cast<Qel::IComponentHandler*>(static_cast<qelhost::IComponentHandler*>(handler)));
    const uint32 appRefs = app->refCount(), peerRefs = peer->getRefCount(), handlerRefs = handler->refCount();
    EXPECT_EQ(c->terminate(), kResultOk);
    // Context, peer and handler all given back, and the count never went below zero.
    EXPECT_EQ(app->refCount(), appRefs - 1);
    EXPECT_EQ(static_cast<uint32>(peer->getRefCount()), peerRefs - 1);
    EXPECT_EQ(handler->refCount(), handlerRefs - 1);
    EXPECT_EQ(EditController2::getViewServicesUserCount(), 0);
    EXPECT_EQ(c->terminate(), kResultOk);
    EXPECT_EQ(EditController2::getViewServicesUserCount(), 0);
    c->release();
    handler->release();
    peer->release();
    app->release();
}

// Each optional service missing: the controller still runs, with what it can do.
TEST(ViewsControllerLifecycle, HostsLackingOneService)
{
    const qelhost::Uid optional[] = {qelhost::iid::ISkinService, qelhost::iid::IIdleRegistry,
                                     qelhost::iid::IHostView,    qelhost::iid::OptionalService7,
                                     qelhost::iid::BoolValue,    qelhost::iid::IHostApplication};
    for (const auto& id : optional) {
        auto* app = new qelhost::HostApplication;
        auto* host = newFrameHost(app);
        host->refuse(id);
        auto* c = new Norrik::SmallBigMeterController;
        ASSERT_EQ(c->initialize(plug(static_cast<qelhost::IFrameHost*>(host))), kResultOk);
        EXPECT_EQ(EditController2::getViewServicesUserCount(), 1);
        const bool noBools = qelhost::sameUid(id.b, qelhost::iid::BoolValue.b);
        EXPECT_EQ(c->getParameterCount(), noBools ? 12 : 16);
        IPlugView* editor = c->createView("editor");
        EXPECT_EQ(editor != nullptr, !qelhost::sameUid(id.b, qelhost::iid::ISkinService.b));
        if (auto* e = qelhost::asEditorView(reinterpret_cast<qelhost::IPlugView*>(editor))) {
            EXPECT_EQ(e->subViewCount(), qelhost::sameUid(id.b, qelhost::iid::IHostView.b) ? 0u : 5u);
        }
        host->idle();
        if (editor)
            editor->release();
        c->terminate();
        c->release();
        EXPECT_EQ(EditController2::getViewServicesUserCount(), 0);
        EXPECT_EQ(Frame::getFrameServicesUserCount(), 0);
        host->shutdown();
        host->release();
        app->release();
    }
}

TEST(ViewsControllerLifecycle, TwoControllersShareOneSkin)
{
    auto* app = new qelhost::HostApplication;
    auto* host = newFrameHost(app);
    auto* a = new Norrik::SmallBigMeterController;
    auto* b = new Norrik::SmallBigMeterController;
    FUnknown* ctx = plug(static_cast<qelhost::IFrameHost*>(host));
    ASSERT_EQ(a->initialize(ctx), kResultOk);
    ASSERT_EQ(b->initialize(ctx), kResultOk);
    EXPECT_EQ(EditController2::getViewServicesUserCount(), 2);
    EXPECT_EQ(host->skin().loadCount(), 1);
    EXPECT_EQ(host->served(qelhost::iid::IFrameSystem), 1);
    a->terminate();
    EXPECT_NE(EditController2::getSkinInstance(), nullptr);
    EXPECT_TRUE(host->skin().loaded());
    b->terminate();
    EXPECT_EQ(EditController2::getSkinInstance(), nullptr);
    EXPECT_EQ(Frame::getFrameHost(), nullptr);
    a->release();
    b->release();
    host->release();
    app->release();
}

TEST(ViewsControllerLifecycle, FactoryMakesTheMetersController)
{
    IPluginFactory* factory = GetPluginFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->countClasses(), 2);
    factory->release();
}
