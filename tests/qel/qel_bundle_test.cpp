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

TEST(QelBundle, EntryRetainsOnceAndExitGivesItBack)
{
    EXPECT_TRUE(bundleEntry(nullptr));
    EXPECT_EQ(Calvereth::gBundleRef, nullptr);
    EXPECT_TRUE(bundleExit());
    Platform::BundleHandle a{1, nullptr, destroyHandle}, b{1, nullptr, destroyHandle};
    EXPECT_TRUE(bundleEntry(&a));
    EXPECT_EQ(handleSeenByInit, &a); // the hook runs after the bundle is kept
    // A repeated entry keeps the newest bundle with one retain and gives back the older one's.
    bundleEntry(&a);
    EXPECT_EQ(Platform::bundleRetainCount(&a), 2);
    bundleEntry(&b);
    EXPECT_EQ(Platform::bundleRetainCount(&a), 1);
    Platform::bundleRelease(&b); // the host lets go first: the last release is the entry's
    EXPECT_TRUE(bundleExit());
    EXPECT_EQ(destroyed, 1);
    // A second exit must not give back a retain it no longer holds.
    EXPECT_TRUE(bundleExit());
    EXPECT_EQ(Platform::bundleRetainCount(&a), 1);
    EXPECT_EQ(moduleInitCalls, 4);
    EXPECT_EQ(moduleExitCalls, 3);
}

} // namespace
