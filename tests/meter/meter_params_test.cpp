// Parameter tables and their accessor, the state length rule, the time text and the one-second timer.
#include "meter/bigmeterqel.h"
#include "meter/meterparams.h"
#include "pluginset/common/qel/parameterinfoaccessor.h"
#include "qel/ieditcontroller.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using Calvereth::Qel::ParameterInfo;
using Calvereth::Qel::PluginQel;
using Param::ParameterInfoAccessor;

std::string narrow(const char16_t* s)
{
    std::string out;
    for (; *s; ++s)
        out.push_back(static_cast<char>(*s));
    return out;
}

TEST(ParamTable, RowsAndOrder)
{
    const int ids[12] = {1, 2, 3, 8, 9, 10, 11, 4, 5, 7, 48, 0};
    for (int i = 0; i < Norrik::kProcessorParamCount; ++i) {
        const auto& r = Norrik::kProcessorParams[i];
        EXPECT_EQ(r.id, ids[i]);
        EXPECT_EQ(r.defaultValue, 0.0);
        bool meter = i < 7;
        EXPECT_EQ(r.meterFlag, meter ? 1 : 0);
        EXPECT_STREQ(r.format, meter ? "%.1f" : "%.0f");
        EXPECT_EQ(r.flags, meter ? 0x2u : (r.id == 0 ? 0x10000u : 0u));
    }
    EXPECT_STREQ(Norrik::kControllerParams[2].title, "Time");
    EXPECT_EQ(Norrik::kControllerParams[2].type, Param::kTypeString);
    EXPECT_STREQ(Norrik::kUnits[1].name, "Meter");
    EXPECT_EQ(Norrik::kUnits[1].parentId, 0);
    EXPECT_EQ(Param::getProcessorParameterCount(), 12);
    EXPECT_EQ(Param::getProcessorParameterTable(), Norrik::kProcessorParams);
}

TEST(ParamAccessor, Conversions)
{
    ParameterInfoAccessor a(Norrik::kProcessorParams, Norrik::kProcessorParamCount);
    EXPECT_EQ(a.toNormalized(1, -80.0), 0.0);
    EXPECT_EQ(a.toNormalized(1, 48.0), 1.0);
    EXPECT_EQ(a.toNormalized(10, 50.0), 0.5);
    EXPECT_EQ(a.toNormalized(45, 12.0), 0.0);
    EXPECT_EQ(a.toNormalized(1, 100.0), 180.0 / 128.0); // no clamping here
    EXPECT_EQ(a.toPlain(11, 0.5), -16.0);
    EXPECT_EQ(a.toPlain(13, 1.0), 0.0);
    int32_t index = -5;
    EXPECT_EQ(a.getIndex(0, index), 0);
    EXPECT_EQ(index, 11);
    EXPECT_EQ(a.getIndex(99, index), 1);
    EXPECT_EQ(index, 12);
    int32_t id = -1;
    EXPECT_EQ(a.getIdByName("bypass", id), 0);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(a.getIdByName("Bypass", id), 1);
    EXPECT_EQ(a.getIdByName(nullptr, id), 1);
    EXPECT_EQ(a.getId(12), 0);
    EXPECT_EQ(a.getId(-1), 0);
    EXPECT_EQ(a.getRecordAt(12), nullptr);
    EXPECT_EQ(a.getRecord(99), nullptr);
    ParameterInfoAccessor empty(nullptr, 5);
    EXPECT_EQ(empty.getIdByName("bypass", id), 1);
    EXPECT_EQ(empty.getCount(), 0);
}

TEST(ParamAccessor, ParameterInformationForTheHost)
{
    ParameterInfoAccessor a(Norrik::kProcessorParams, Norrik::kProcessorParamCount);
    ParameterInfo bypass{};
    ASSERT_EQ(a.fillParameterInfo(11, bypass), 0);
    EXPECT_EQ(bypass.id, 0u);
    EXPECT_EQ(bypass.stepCount, 1);
    EXPECT_EQ(bypass.flags, 0x10001);
    EXPECT_EQ(bypass.defaultNormalizedValue, 0.0);
    EXPECT_EQ(narrow(bypass.title), "Bypass");
    EXPECT_EQ(narrow(bypass.shortTitle), "bypass");
    EXPECT_EQ(narrow(bypass.units), "On/Off");
    ParameterInfo m{};
    ASSERT_EQ(a.fillParameterInfo(0, m), 0);
    EXPECT_EQ(m.stepCount, 0);
    EXPECT_EQ(m.flags, 0x2);
    EXPECT_EQ(m.defaultNormalizedValue, 0.625);
    ParameterInfo scale{};
    ASSERT_EQ(a.fillParameterInfo(10, scale), 0);
    EXPECT_EQ(scale.flags, 0);
    EXPECT_EQ(scale.stepCount, 1);
    ParameterInfo none{};
    EXPECT_EQ(a.fillParameterInfo(12, none), 1);

    // Hidden bit cleared, list rows flagged, empty rows skipped.
    Param::ParamRecord rows[2] = {
        {70, "list", "List", "", 0.0, 4.0, 1.0, 1.0, Param::kTypeList, 0x20002u, "%.0f", 0, 0, 0},
        {71, "gap", "Gap", "", 0.0, 1.0, 0.0, 1.0, Param::kTypeEmpty, 0, "%.0f", 0, 0, 0}};
    ParameterInfoAccessor b(rows, 2);
    ParameterInfo list{};
    ASSERT_EQ(b.fillParameterInfo(0, list), 0);
    EXPECT_EQ(list.flags, 0x2 | 0x8);
    EXPECT_EQ(list.stepCount, 4);
    EXPECT_EQ(list.defaultNormalizedValue, 0.25);
    EXPECT_EQ(b.fillParameterInfo(1, list), 1);
}

TEST(ParamAccessor, ReferenceCountingAndInterfaces)
{
    auto* a = new ParameterInfoAccessor(Norrik::kProcessorParams, 12);
    void* obj = nullptr;
    EXPECT_EQ(a->queryInterface(Param::IParameterInfoContainer::iid, &obj), 0);
    EXPECT_EQ(obj, static_cast<Param::IParameterInfoContainer*>(a));
    EXPECT_EQ(a->queryInterface(Calvereth::FUnknown::iid, &obj), 0);
    EXPECT_EQ(a->queryInterface(Calvereth::IValueTransformer::iid, &obj), Calvereth::kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(a->release(), 2u);
    EXPECT_EQ(a->release(), 1u);
    EXPECT_EQ(a->release(), 0u);
}

TEST(LogTransformerTest, MidpointLandsWhereAsked)
{
    auto* t = new Param::LogTransformer(0.0f, 100.0f, 0.5f, 25.0f);
    EXPECT_NEAR(t->toPlain(0.5f), 25.0f, 1e-4f);
    EXPECT_NEAR(t->toNormalized(25.0f), 0.5f, 1e-5f);
    EXPECT_EQ(t->toPlain(2.0f), 100.0f);
    EXPECT_EQ(t->toPlain(-1.0f), 0.0f);
    void* obj = nullptr;
    EXPECT_EQ(t->queryInterface(Calvereth::IValueTransformer::iid, &obj), 0);
    EXPECT_EQ(t->release(), 1u);
    EXPECT_EQ(t->release(), 0u);
}

TEST(TimeText, HoursMinutesSeconds)
{
    char16_t text[32];
    auto str = [&](long long s) {
        Norrik::BigMeterQel::formatTime(s, text, 32);
        return narrow(text);
    };
    EXPECT_EQ(str(0), "00:00:00");
    EXPECT_EQ(str(3725), "01:02:05");
    EXPECT_EQ(str(40000), "11:06:40");
    EXPECT_EQ(str(599), "00:09:59");
    EXPECT_EQ(str(360000), "100:00:00");
    Norrik::BigMeterQel::formatTime(3725, text, 4);
    EXPECT_EQ(narrow(text), "01:");
}

TEST(IntervalTimer, FiresOncePerPeriodAndKeepsTheRemainder)
{
    Norrik::SampleIntervalTimer t;
    t.reset();
    t.setup(false, 48000.0, 1.0);
    int fired = 0;
    for (int block = 1; block <= 94; ++block) {
        t.advance(512);
        if (t.takeFired()) {
            ++fired;
            EXPECT_EQ(block, 94);
        }
    }
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(t.getAccumulator(), 128.0);
    EXPECT_FALSE(t.takeFired());
}

} // namespace
