// The factory and its class records, byte for byte, as the host reads them from the bundle.
#include "tests/meter/meter_fixture.h"

#include <cstring>

namespace metertest {
namespace {

// A char field: the text, then zeros to the end.
template <std::size_t N>
void expectField(const char (&field)[N], const char* text)
{
    std::size_t n = std::strlen(text);
    ASSERT_LE(n, N);
    EXPECT_EQ(std::memcmp(field, text, n), 0) << text;
    for (std::size_t i = n; i < N; ++i) {
        ASSERT_EQ(field[i], 0) << text << " at " << i;
    }
}

template <std::size_t N>
void expectWide(const char16_t (&field)[N], const char* text)
{
    std::size_t n = std::strlen(text);
    for (std::size_t i = 0; i < n; ++i) {
        ASSERT_EQ(field[i], static_cast<char16_t>(text[i])) << text;
    }
    for (std::size_t i = n; i < N; ++i) {
        ASSERT_EQ(field[i], 0) << text;
    }
}

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

TEST_F(FactoryTest, FactoryInformation)
{
    FactoryInfo info;
    std::memset(&info, 0x55, sizeof(info));
    ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
    expectField(info.vendor, "Calvereth Media Technologies");
    EXPECT_NE(info.url[0], 0);
    EXPECT_NE(info.email[0], 0);
    EXPECT_EQ(info.flags, 24);
    EXPECT_EQ(factory->getFactoryInfo(nullptr), kResultOk);
    EXPECT_EQ(factory->countClasses(), 2);
}

TEST_F(FactoryTest, ClassRecordsByteForByte)
{
    IPluginFactory3* f3 = nullptr;
    ASSERT_EQ(factory->queryInterface(iid::IPluginFactory3.b, reinterpret_cast<void**>(&f3)), kResultOk);
    struct Expected
    {
        const std::uint8_t* cid;
        const char* category;
        const char* name;
        uint32 flags;
        const char* sub;
    } expected[2] = {{kProcessorCid, "Audio Module Class", "Norrik", 1, "Fx|Tools"},
                     {kControllerCid, "Component Controller Class", "Norrik Controller", 0, ""}};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        ClassInfo c1;
        std::memset(&c1, 0x55, sizeof(c1));
        ASSERT_EQ(factory->getClassInfo(i, &c1), kResultOk);
        EXPECT_EQ(std::memcmp(c1.cid, expected[i].cid, 16), 0);
        EXPECT_EQ(c1.cardinality, 0x7FFFFFFF);
        expectField(c1.category, expected[i].category);
        expectField(c1.name, expected[i].name);

        ClassInfo2 c2;
        std::memset(&c2, 0x55, sizeof(c2));
        ASSERT_EQ(f3->getClassInfo2(i, &c2), kResultOk);
        EXPECT_EQ(std::memcmp(&c1, &c2, sizeof(c1)), 0);
        EXPECT_EQ(c2.classFlags, expected[i].flags);
        expectField(c2.subCategories, expected[i].sub);
        expectField(c2.vendor, "");
        expectField(c2.version, "1.0.0.181");
        expectField(c2.sdkVersion, "QEL 3.5.2");

        ClassInfoUnicode cu;
        std::memset(&cu, 0x55, sizeof(cu));
        ASSERT_EQ(f3->getClassInfoUnicode(i, &cu), kResultOk);
        EXPECT_EQ(std::memcmp(cu.cid, expected[i].cid, 16), 0);
        EXPECT_EQ(cu.cardinality, 0x7FFFFFFF);
        expectField(cu.category, expected[i].category);
        expectWide(cu.name, expected[i].name);
        EXPECT_EQ(cu.classFlags, expected[i].flags);
        expectField(cu.subCategories, expected[i].sub);
        expectWide(cu.vendor, "");
        expectWide(cu.version, "1.0.0.181");
        expectWide(cu.sdkVersion, "QEL 3.5.2");
    }
    ClassInfo c{};
    EXPECT_EQ(factory->getClassInfo(2, &c), kInvalidArgument);
    EXPECT_EQ(factory->getClassInfo(-1, &c), kInvalidArgument);
    EXPECT_EQ(factory->getClassInfo(0, nullptr), kInvalidArgument);
    EXPECT_EQ(f3->setHostContext(nullptr), kResultOk);
    f3->release();
}

TEST_F(FactoryTest, OneFactoryPerProcessAndCreation)
{
    IPluginFactory* again = module.getFactory();
    EXPECT_EQ(again, factory);
    EXPECT_EQ(again->release(), 1u);

    void* obj = reinterpret_cast<void*>(1);
    std::uint8_t unknown[16] = {1, 2, 3};
    EXPECT_EQ(factory->createInstance(unknown, iid::IComponent.b, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    // A registered class asked for an interface it lacks: refused, nothing left alive.
    obj = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->createInstance(kProcessorCid, iid::IEditController.b, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);

    IAudioProcessor* proc = nullptr;
    ASSERT_EQ(factory->createInstance(kProcessorCid, iid::IAudioProcessor.b, reinterpret_cast<void**>(&proc)),
              kResultOk);
    EXPECT_EQ(proc->release(), 0u);
    IEditController* ctrl = nullptr;
    ASSERT_EQ(factory->createInstance(kControllerCid, iid::IEditController.b, reinterpret_cast<void**>(&ctrl)),
              kResultOk);
    EXPECT_EQ(ctrl->release(), 0u);
}

TEST_F(FactoryTest, ReleasingTheLastReferenceBuildsAFreshFactoryNextTime)
{
    EXPECT_EQ(factory->release(), 0u);
    factory = module.getFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->countClasses(), 2);
}

} // namespace
} // namespace metertest
