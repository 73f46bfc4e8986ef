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

TEST_F(QelBundle, EntryRetainsOnceAndExitGivesItBack)
{
    EXPECT_TRUE(bundleEntry(nullptr));
    EXPECT_EQ(Calvereth::gBundleRef, nullptr);
    EXPECT_EQ(moduleInitCalls, 1);
    EXPECT_TRUE(bundleExit());
    EXPECT_EQ(moduleExitCalls, 1);

    Platform::BundleHandle b{1, nullptr, destroyHandle};
    EXPECT_TRUE(bundleEntry(&b));
    EXPECT_EQ(Platform::bundleRetainCount(&b), 2);
    EXPECT_EQ(handleSeenByInit, &b); // the hook runs after the bundle is kept
    Platform::bundleRelease(&b);     // the host lets go first: the last release is the entry's
    EXPECT_TRUE(bundleExit());
    EXPECT_EQ(destroyed, 1);
    // A second exit must not give back a retain it no longer holds.
    EXPECT_TRUE(bundleExit());
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(moduleExitCalls, 3);
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
}

} // namespace
