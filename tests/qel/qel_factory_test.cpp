// The class factory beyond what the meter's own factory shows the host: the copy rules at the edges,
// growth, the failures of creation and reference counts from many threads.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "qel/audioeffect.h"
#include "qel/pluginfactory.h"
#include "qel_mocks.h"

using namespace qeltest;

namespace {

const FUID kProcessorCid(0x42613CDE, 0x35564653, 0xB0D40AD6, 0xBDC2AA79);
const FUID kControllerCid(0x6D826A83, 0x82B44A8D, 0xB374804F, 0xBE779C68);

int created = 0;
int destroyed = 0;

struct CountedEffect : AudioEffect
{
    ~CountedEffect() override { ++destroyed; }
};

FUnknown* createEffect(void* context)
{
    ++created;
    if (context)
        *static_cast<int*>(context) += 1;
    return static_cast<IAudioProcessor*>(new CountedEffect);
}

FUnknown* createNothing(void*)
{
    return nullptr;
}

ClassInfo2 classInfo(const FUID& cid, const std::string& name)
{
    return ClassInfo2(cid, kManyInstances, "Audio Module Class", name.c_str(), 1, "Fx|Tools", nullptr, "1.0", "QEL");
}

struct Factory : IPtr<CPluginFactory>
{
    Factory() : IPtr(new CPluginFactory(FactoryInfo(std::string(70, 'v').c_str(), nullptr, nullptr, 8)), false) {}
    tresult info(int slot, int32_t index, void* record) const
    {
        return callSlot<tresult, int32_t, void*>(get(), slot, index, record);
    }
    tresult create(const char* cid, const char* iid, void** obj) const
    {
        return callSlot<tresult, const char*, const char*, void**>(get(), 6, cid, iid, obj);
    }
};

TEST(QelFactory, RecordsAtTheEdgesOfTheirFields)
{
    Factory f;
    FactoryInfo fi;
    EXPECT_EQ((callSlot<tresult, FactoryInfo*>(f.get(), 3, &fi)), kResultOk);
    // A text that fills its field stays unterminated; the unicode flag is always set.
    EXPECT_EQ(std::string(fi.vendor, 64), std::string(64, 'v'));
    EXPECT_EQ(fi.url[0], 0);
    EXPECT_EQ(fi.flags, 8 | 16);

    ClassInfo2 p = classInfo(kProcessorCid, std::string(64, 'N'));
    ASSERT_TRUE(f->registerClass(&p, createEffect));
    ClassInfoUnicode w;
    std::memset(static_cast<void*>(&w), 0x77, sizeof(w));
    EXPECT_EQ(f.info(8, 0, &w), kResultOk);
    EXPECT_EQ(std::u16string(w.name, 64), std::u16string(64, u'N'));
    EXPECT_EQ(w.classFlags, 1u);
    EXPECT_EQ(std::u16string(w.version, 64), std::u16string(u"1.0") + std::u16string(61, 0)); // zero-filled

    EXPECT_FALSE(f->registerClass(&p, nullptr));

    // The eleventh registration grows the table; every entry keeps its place.
    ClassInfo2 i2;
    for (int i = 1; i < 25; ++i) {
        ClassInfo2 info = classInfo(FUID(i, 0, 0, 0), "Class " + std::to_string(i));
        ASSERT_TRUE(f->registerClass(&info, createEffect));
    }
    for (int i = 1; i < 25; ++i)
        EXPECT_EQ(f.info(7, i, &i2) == kResultOk ? std::string(i2.name) : "", "Class " + std::to_string(i));
}

TEST(QelFactory, CreateInstance)
{
    Factory f;
    int contextCalls = 0;
    ClassInfo2 p = classInfo(kProcessorCid, "P"), c = classInfo(kControllerCid, "C");
    f->registerClass(&p, createEffect, &contextCalls);
    f->registerClass(&c, createNothing);
    f->registerClass(&p, createNothing); // the same identifier again: the first registration wins
    created = destroyed = 0;
    void* obj = nullptr;
    EXPECT_EQ(f.create(kProcessorCid, IComponent::iid, &obj), kResultOk);
    EXPECT_EQ(contextCalls, 1);
    EXPECT_EQ(static_cast<IComponent*>(obj)->release(), 0u); // the caller held the one reference

    const char* failing[][2] = {{kProcessorCid, IEditController::iid},  // the object lacks the interface
                                {kControllerCid, IEditController::iid}, // the create function fails
                                {nullptr, IComponent::iid},
                                {kProcessorCid, nullptr}};
    for (auto& call : failing) {
        obj = &obj;
        EXPECT_EQ(f.create(call[0], call[1], &obj), kNoInterface);
        EXPECT_EQ(obj, nullptr);
    }
    EXPECT_EQ(f.create(kProcessorCid, IComponent::iid, nullptr), kInvalidArgument);
    EXPECT_EQ(destroyed, created); // nothing stays alive
}

TEST(QelFactory, WideOnlyClassIsFoundAndAnswersItsWideRecordOnly)
{
    Factory f;
    // A name without an 8-bit form: the reason to register in wide form only.
    ClassInfoUnicode w;
    std::memcpy(w.cid, kControllerCid.toTUID(), sizeof(TUID));
    std::memcpy(w.name, u"\u65E5\u672C", 2 * sizeof(char16_t));
    ASSERT_TRUE(f->registerClassUnicode(&w, createEffect));
    ClassInfoUnicode back;
    EXPECT_EQ(f.info(8, 0, &back), kResultOk);
    EXPECT_EQ(std::memcmp(&back, &w, sizeof(w)), 0);
    // Its 8-bit records answer 1, zeroed.
    ClassInfo2 i2;
    const std::string zeros(sizeof(i2), '\0');
    for (auto [slot, bytes] : {std::pair{5, sizeof(ClassInfo)}, std::pair{7, sizeof(ClassInfo2)}}) {
        std::memset(static_cast<void*>(&i2), 0x77, sizeof(i2));
        EXPECT_EQ(f.info(slot, 0, &i2), kResultFalse);
        EXPECT_EQ(std::memcmp(&i2, zeros.data(), bytes), 0) << "slot " << slot;
    }
    created = destroyed = 0;
    void* obj = nullptr;
    ASSERT_EQ(f.create(kControllerCid, IComponent::iid, &obj), kResultOk);
    static_cast<IComponent*>(obj)->release();
    EXPECT_EQ(destroyed, created);
}

TEST(QelFactory, ReferenceCountFromManyThreads)
{
    Factory f;
    void* obj = nullptr;
    for (const FUID* iid : {&IPluginFactory::iid, &IPluginFactory2::iid, &IPluginFactory3::iid, &FUnknown::iid}) {
        EXPECT_EQ((callSlot<tresult, const char*, void**>(f.get(), 0, iid->toTUID(), &obj)), kResultOk);
        EXPECT_EQ(obj, static_cast<void*>(f.get()));
        f->release();
    }
    EXPECT_EQ((callSlot<tresult, FUnknown*>(f.get(), 9, nullptr)), kNotImplemented);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&f] {
            for (int i = 0; i < 20000; ++i) {
                f->addRef();
                f->release();
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(f->addRef(), 2u);
    EXPECT_EQ(f->release(), 1u);
}

} // namespace
