// Bundle entry and exit: the retain is taken once and given back once, the module hooks run last.
#include <gtest/gtest.h>

#include "qel/bundleentry.h"

namespace {
int moduleInitCalls = 0;
int moduleExitCalls = 0;
CFBundleRef handleSeenByInit = nullptr;
} // namespace

bool moduleInit()
{
    ++moduleInitCalls;
    handleSeenByInit = static_cast<CFBundleRef>(Calvereth::gModuleHandle);
    return true;
}

bool moduleExit()
{
    ++moduleExitCalls;
    return true;
}

namespace {

int destroyed = 0;
void destroyHandle(Platform::BundleHandle*)
{
    ++destroyed;
}

class QelBundle : public ::testing::Test
{
protected:
    void SetUp() override
    {
        moduleInitCalls = moduleExitCalls = destroyed = 0;
        Calvereth::gBundleRef = nullptr;
        Calvereth::gModuleHandle = nullptr;
    }
};

TEST_F(QelBundle, NullBundleIsAccepted)
{
    EXPECT_TRUE(bundleEntry(nullptr));
    EXPECT_EQ(Calvereth::gBundleRef, nullptr);
    EXPECT_EQ(Calvereth::gModuleHandle, nullptr);
    EXPECT_EQ(moduleInitCalls, 1);
    EXPECT_TRUE(bundleExit());
    EXPECT_EQ(moduleExitCalls, 1);
}

TEST_F(QelBundle, EntryRetainsOnceAndExitGivesItBack)
{
    Platform::BundleHandle b{1, nullptr, destroyHandle};
    EXPECT_TRUE(bundleEntry(&b));
    EXPECT_EQ(Platform::bundleRetainCount(&b), 2);
    EXPECT_EQ(Calvereth::gBundleRef, &b);
    EXPECT_EQ(handleSeenByInit, &b); // the hook runs after the bundle is kept
    EXPECT_TRUE(bundleExit());
    EXPECT_EQ(Platform::bundleRetainCount(&b), 1);
    EXPECT_EQ(moduleExitCalls, 1);
    // A second exit must not give back a retain it no longer holds.
    EXPECT_TRUE(bundleExit());
    EXPECT_EQ(Platform::bundleRetainCount(&b), 1);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(moduleExitCalls, 2);
}

TEST_F(QelBundle, RepeatedEntryKeepsOneRetain)
{
    Platform::BundleHandle a{1, nullptr, destroyHandle};
    Platform::BundleHandle b{1, nullptr, destroyHandle};
    bundleEntry(&a);
    bundleEntry(&a);
    EXPECT_EQ(Platform::bundleRetainCount(&a), 2);
    bundleEntry(&b);
    EXPECT_EQ(Platform::bundleRetainCount(&a), 1);
    EXPECT_EQ(Platform::bundleRetainCount(&b), 2);
    bundleExit();
    EXPECT_EQ(Platform::bundleRetainCount(&b), 1);
    EXPECT_EQ(moduleInitCalls, 3);
}

TEST_F(QelBundle, LastReleaseDestroysThroughTheCreatorsFunction)
{
    Platform::BundleHandle b{1, nullptr, destroyHandle};
    bundleEntry(&b);
    Platform::bundleRelease(&b); // the host lets go first
    EXPECT_EQ(destroyed, 0);
    bundleExit();
    EXPECT_EQ(destroyed, 1);
}

} // namespace

namespace {
TEST_F(QelBundle, PlatformBundleOfAFolder)
{
    CFBundleRef b = Platform::bundleCreate("/tmp");
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(bundleEntry(b));
    EXPECT_EQ(Platform::bundleRetainCount(b), 2);
    EXPECT_TRUE(bundleExit());
    EXPECT_TRUE(bundleExit());
    EXPECT_EQ(Platform::bundleRetainCount(b), 1);
    Platform::bundleRelease(b);
}
} // namespace
