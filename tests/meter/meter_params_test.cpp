// The parameter accessor's conversions and host information, and the time text.
#include "meter/bigmeterqel.h"
#include "meter/meterparams.h"
#include "pluginset/common/qel/parameterinfoaccessor.h"
#include "qel/ieditcontroller.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using Calvereth::Qel::ParameterInfo;
using Param::ParameterInfoAccessor;

std::string narrow(const char16_t* s)
{
    std::string out;
    for (; *s; ++s)
        out.push_back(static_cast<char>(*s));
    return out;
}

// The meter's rows are converted in the read-out and controller tests; here the edges.
TEST(ParamAccessor, Conversions)
{
    ParameterInfoAccessor a(Norrik::kProcessorParams, Norrik::kProcessorParamCount);
    EXPECT_EQ(a.toNormalized(1, 100.0), 180.0 / 128.0); // no clamping here
    EXPECT_EQ(a.toPlain(13, 1.0), 0.0);                 // no row: 0
    int32_t id = -1;
    EXPECT_EQ(a.getIdByName("bypass", id), 0);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(a.getIdByName("Bypass", id), 1);
    EXPECT_EQ(ParameterInfoAccessor(nullptr, 5).getCount(), 0);
}

// The meter's own rows are checked through the controller; here the kinds it does not use.
TEST(ParamAccessor, HiddenListAndEmptyRows)
{
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

TEST(LogTransformerTest, MidpointLandsWhereAsked)
{
    auto* t = new Param::LogTransformer(0.0f, 100.0f, 0.5f, 25.0f);
    EXPECT_NEAR(t->toPlain(0.5f), 25.0f, 1e-4f);
    EXPECT_NEAR(t->toNormalized(25.0f), 0.5f, 1e-5f);
    EXPECT_EQ(t->toPlain(2.0f), 100.0f);
    EXPECT_EQ(t->toPlain(-1.0f), 0.0f);
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

} // namespace
