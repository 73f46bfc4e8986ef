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

// The records' byte layout is the framework's; here the meter's registration as the host reads it.
TEST_F(FactoryTest, FactoryInformationAndClassRecords)
{
    FactoryInfo info{};
    ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "Calvereth Media Technologies");
    EXPECT_EQ(info.flags, 24);
    ASSERT_EQ(factory->countClasses(), 2);
    IPluginFactory3* f3 = nullptr;
    ASSERT_EQ(factory->queryInterface(iid::IPluginFactory3.b, reinterpret_cast<void**>(&f3)), kResultOk);
    const std::uint8_t* cids[2] = {kProcessorCid, kControllerCid};
    const char* categories[2] = {"Audio Module Class", "Component Controller Class"};
    const char* names[2] = {"Norrik", "Norrik Controller"};
    const char* subs[2] = {"Fx|Tools", ""};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        ClassInfo c1{};
        ClassInfo2 c2{};
        ClassInfoUnicode cu{};
        ASSERT_EQ(factory->getClassInfo(i, &c1), kResultOk);
        ASSERT_EQ(f3->getClassInfo2(i, &c2), kResultOk);
        ASSERT_EQ(f3->getClassInfoUnicode(i, &cu), kResultOk);
        EXPECT_EQ(std::memcmp(&c1, &c2, sizeof(c1)), 0);
        EXPECT_EQ(std::memcmp(c1.cid, cids[i], 16), 0);
        EXPECT_EQ(std::memcmp(cu.cid, cids[i], 16), 0);
        EXPECT_EQ(c1.cardinality, 0x7FFFFFFF);
        EXPECT_STREQ(c1.category, categories[i]);
        EXPECT_STREQ(c1.name, names[i]);
        EXPECT_EQ(toUtf8(cu.name), names[i]);
        EXPECT_EQ(c2.classFlags, i == 0 ? 1u : 0u);
        EXPECT_STREQ(c2.subCategories, subs[i]);
        EXPECT_STREQ(c2.version, "1.0.0.181");
        EXPECT_STREQ(c2.sdkVersion, "QEL 3.5.2");
    }
    f3->release();
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
