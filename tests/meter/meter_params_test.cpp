// The parameter accessor's edges and the logarithmic transformer; the meter's own rows are converted
// in the read-out tests and described through the controller.
#include "meter/meterparams.h"
#include "pluginset/common/qel/parameterinfoaccessor.h"
#include "qel/ieditcontroller.h"

#include <gtest/gtest.h>

namespace {

using Param::ParameterInfoAccessor;

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
