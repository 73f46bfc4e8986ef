// The bundle's factory: its information, the meter's two class records, creation and lifetime.
#include "tests/meter/meter_fixture.h"

#include <cstring>

namespace metertest {
namespace {

class FactoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(module.open(NORRIK_BUNDLE_PATH, error)) << error;
        factory = module.getFactory();
        ASSERT_NE(factory, nullptr);
    }
    void TearDown() override
    {
        if (factory) {
            EXPECT_EQ(factory->release(), 0u);
        }
    }
    PluginModule module;
    IPluginFactory* factory = nullptr;
};

// The records' byte layout is the framework's test; here what the meter registers. The host finds
// the processor by its category, and the class identifiers are pinned by creation below.
TEST_F(FactoryTest, FactoryInformationAndClassRecords)
{
    FactoryInfo info{};
    ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "Calvereth Media Technologies");
    EXPECT_EQ(info.flags, 24);
    ASSERT_EQ(factory->countClasses(), 2);
    IPluginFactory3* f3 = nullptr;
    ASSERT_EQ(factory->queryInterface(iid::IPluginFactory3.b, reinterpret_cast<void**>(&f3)), kResultOk);
    ClassInfo2 c[2] = {};
    ClassInfoUnicode u{};
    ASSERT_EQ(f3->getClassInfo2(0, &c[0]), kResultOk);
    ASSERT_EQ(f3->getClassInfo2(1, &c[1]), kResultOk);
    ASSERT_EQ(f3->getClassInfoUnicode(1, &u), kResultOk);
    f3->release();
    EXPECT_EQ(std::memcmp(c[0].cid, kProcessorCid, 16), 0);
    EXPECT_STREQ(c[0].name, "Norrik");
    EXPECT_STREQ(c[0].subCategories, "Fx|Tools");
    EXPECT_EQ(c[0].classFlags, 1u);
    EXPECT_STREQ(c[1].category, "Component Controller Class");
    EXPECT_EQ(toUtf8(u.name), "Norrik Controller");
    for (const ClassInfo2& k : c) {
        EXPECT_STREQ(k.version, "1.0.0.181");
        EXPECT_STREQ(k.sdkVersion, "QEL 3.5.2");
    }
}

// One factory per process; refusals of unknown classes and interfaces are the framework's tests.
TEST_F(FactoryTest, OneFactoryPerProcessCreatesBothClasses)
{
    IPluginFactory* again = module.getFactory();
    EXPECT_EQ(again, factory);
    EXPECT_EQ(again->release(), 1u);
    IAudioProcessor* proc = nullptr;
    ASSERT_EQ(factory->createInstance(kProcessorCid, iid::IAudioProcessor.b, reinterpret_cast<void**>(&proc)),
              kResultOk);
    EXPECT_EQ(proc->release(), 0u);
    IEditController* ctrl = nullptr;
    ASSERT_EQ(factory->createInstance(kControllerCid, iid::IEditController.b, reinterpret_cast<void**>(&ctrl)),
              kResultOk);
    EXPECT_EQ(ctrl->release(), 0u);
}

} // namespace
} // namespace metertest
