// A host built on host/qelabi.h alone, as the README says one may be, linking nothing of ours: it
// loads the bundle and arranges the processor's buses with the header's names.
#include "host/qelabi.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <bit>
#include <cstring>

using namespace qelhost;

TEST(HostAbiAlone, TheHeaderAloneLoadsTheBundleAndArrangesItsBuses)
{
    using namespace arrangement;
    const SpeakerArrangement counts[] = {kMono, kStereo, k30, kQuad, k50, k51, k61, k71};
    for (int n = 1; n <= 8; ++n)
        EXPECT_EQ(std::popcount(counts[n - 1]), n);
    EXPECT_EQ(kStereo, 3u);

    void* bundle = dlopen(NORRIK_BUNDLE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(bundle, nullptr) << dlerror();
    const auto entry = reinterpret_cast<BundleEntryProc>(dlsym(bundle, "bundleEntry"));
    const auto exit = reinterpret_cast<BundleExitProc>(dlsym(bundle, "bundleExit"));
    const auto getFactory = reinterpret_cast<GetPluginFactoryProc>(dlsym(bundle, "GetPluginFactory"));
    ASSERT_TRUE(entry && exit && getFactory);
    ASSERT_TRUE(entry(nullptr));
    IPluginFactory* factory = getFactory();
    ASSERT_NE(factory, nullptr);
    IComponent* component = nullptr;
    for (int32 i = 0; i < factory->countClasses() && !component; ++i) {
        ClassInfo info{};
        if (factory->getClassInfo(i, &info) == kResultOk &&
            std::strncmp(info.category, "Audio Module Class", sizeof(info.category)) == 0)
            factory->createInstance(info.cid, iid::IComponent.b, reinterpret_cast<void**>(&component));
    }
    ASSERT_NE(component, nullptr);
    ASSERT_EQ(component->initialize(nullptr), kResultOk);
    IAudioProcessor* processor = nullptr;
    ASSERT_EQ(component->queryInterface(iid::IAudioProcessor.b, reinterpret_cast<void**>(&processor)), kResultOk);
    IAudioProcessor* again = nullptr;
    EXPECT_EQ(processor->queryInterface(iid::IAudioProcessor.b, reinterpret_cast<void**>(&again)), kResultOk);
    EXPECT_EQ(again, processor);
    EXPECT_TRUE(sameUid(iid::IAudioProcessor.b, iid::IAudioProcessor.b));
    EXPECT_FALSE(sameUid(iid::IAudioProcessor.b, iid::IComponent.b));
    for (SpeakerArrangement a : {kStereo, k51}) {
        SpeakerArrangement in = a, out = a, got = 0;
        EXPECT_EQ(processor->setBusArrangements(&in, 1, &out, 1), kResultOk) << a;
        EXPECT_EQ(processor->getBusArrangement(kInput, 0, got), kResultOk);
        EXPECT_EQ(got, a);
    }
    again->release();
    processor->release();
    component->terminate();
    component->release();
    factory->release();
    exit();
    dlclose(bundle);
}
