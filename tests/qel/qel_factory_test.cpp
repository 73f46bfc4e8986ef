// The class factory: information records byte for byte, registration and growth, instance creation
// and its failures, reference counting; all through the factory's interface table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qel/audioeffect.h"
#include "qel/pluginfactory.h"
#include "qel_mocks.h"
#include "qel_slot_util.h"

using namespace qeltest;

namespace {

const TUID kProcessorCid = {0x42,
                            0x61,
                            0x3C,
                            static_cast<char>(0xDE),
                            0x35,
                            0x56,
                            0x46,
                            0x53,
                            static_cast<char>(0xB0),
                            static_cast<char>(0xD4),
                            0x0A,
                            static_cast<char>(0xD6),
                            static_cast<char>(0xBD),
                            static_cast<char>(0xC2),
                            static_cast<char>(0xAA),
                            0x79};
const FUID kControllerCid(0x6D826A83, 0x82B44A8D, 0xB374804F, 0xBE779C68);

int created = 0;
int destroyedEffects = 0;

struct CountedEffect : AudioEffect
{
    ~CountedEffect() override { ++destroyedEffects; }
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

// Factory slots
tresult factoryInfo(void* f, FactoryInfo* i)
{
    return callSlot<tresult, FactoryInfo*>(f, 3, i);
}
int32_t countClasses(void* f)
{
    return callSlot<int32_t>(f, 4);
}
tresult classInfo(void* f, int32_t i, ClassInfo* c)
{
    return callSlot<tresult, int32_t, ClassInfo*>(f, 5, i, c);
}
tresult create(void* f, const char* cid, const char* iid, void** obj)
{
    return callSlot<tresult, const char*, const char*, void**>(f, 6, cid, iid, obj);
}
tresult classInfo2(void* f, int32_t i, ClassInfo2* c)
{
    return callSlot<tresult, int32_t, ClassInfo2*>(f, 7, i, c);
}
tresult classInfoW(void* f, int32_t i, ClassInfoUnicode* c)
{
    return callSlot<tresult, int32_t, ClassInfoUnicode*>(f, 8, i, c);
}

ClassInfo2 processorInfo()
{
    return ClassInfo2(kProcessorCid, kManyInstances, "Audio Module Class", "Norrik", 1, "Fx|Tools", nullptr,
                      "1.0.0.181", "QEL 3.5.2");
}

ClassInfo2 controllerInfo()
{
    return ClassInfo2(kControllerCid, kManyInstances, "Component Controller Class", "Norrik Controller", 0, "", "",
                      "1.0.0.181", "QEL 3.5.2");
}

CPluginFactory* makeFactory()
{
    FactoryInfo info("Calvereth Media Technologies", "https://example.org", "mailto:info@example.org", 8);
    return new CPluginFactory(info);
}

// Expected record bytes, written field by field at the boundary's offsets.
std::vector<unsigned char> bytes(size_t n)
{
    return std::vector<unsigned char>(n, 0);
}
void put(std::vector<unsigned char>& b, size_t off, const void* p, size_t n)
{
    std::memcpy(b.data() + off, p, n);
}
void putText(std::vector<unsigned char>& b, size_t off, const char* s)
{
    put(b, off, s, std::strlen(s));
}
void putWide(std::vector<unsigned char>& b, size_t off, const char* s)
{
    for (size_t i = 0; s[i]; ++i)
        b[off + 2 * i] = static_cast<unsigned char>(s[i]);
}
void putInt(std::vector<unsigned char>& b, size_t off, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[off + i] = static_cast<unsigned char>(v >> (8 * i));
}
template <class R>
void expectBytes(const R& record, const std::vector<unsigned char>& expected)
{
    ASSERT_EQ(sizeof(R), expected.size());
    const auto* p = reinterpret_cast<const unsigned char*>(&record);
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(p[i], expected[i]) << "byte " << i;
}

TEST(QelFactory, FactoryInfoBytes)
{
    IPtr<CPluginFactory> f(makeFactory());
    f->release();
    FactoryInfo out;
    std::memset(static_cast<void*>(&out), 0x77, sizeof(out));
    EXPECT_EQ(factoryInfo(f, &out), kResultOk);
    auto e = bytes(452);
    putText(e, 0, "Calvereth Media Technologies");
    putText(e, 64, "https://example.org");
    putText(e, 320, "mailto:info@example.org");
    putInt(e, 448, 8 | 16);
    expectBytes(out, e);
    EXPECT_EQ(factoryInfo(f, nullptr), kResultOk);

    // A vendor text of 64 characters or more fills the field without a terminator.
    FactoryInfo full(std::string(70, 'v').c_str(), nullptr, nullptr, 0);
    EXPECT_EQ(std::memcmp(full.vendor, std::string(64, 'v').data(), 64), 0);
    EXPECT_EQ(full.url[0], 0);
    EXPECT_EQ(full.flags, 16);
}

TEST(QelFactory, ClassInfoRecordsBytes)
{
    IPtr<CPluginFactory> f(makeFactory());
    f->release();
    ClassInfo2 p = processorInfo(), c = controllerInfo();
    ASSERT_TRUE(f->registerClass(&p, createEffect));
    ASSERT_TRUE(f->registerClass(&c, createEffect));
    EXPECT_EQ(countClasses(f), 2);

    auto e = bytes(440);
    put(e, 0, kProcessorCid, 16);
    putInt(e, 16, 0x7FFFFFFF);
    putText(e, 20, "Audio Module Class");
    putText(e, 52, "Norrik");
    putInt(e, 116, 1);
    putText(e, 120, "Fx|Tools");
    putText(e, 312, "1.0.0.181");
    putText(e, 376, "QEL 3.5.2");
    ClassInfo2 out2;
    std::memset(static_cast<void*>(&out2), 0x77, sizeof(out2));
    EXPECT_EQ(classInfo2(f, 0, &out2), kResultOk);
    expectBytes(out2, e);

    ClassInfo out1;
    std::memset(static_cast<void*>(&out1), 0x77, sizeof(out1));
    EXPECT_EQ(classInfo(f, 0, &out1), kResultOk);
    expectBytes(out1, std::vector<unsigned char>(e.begin(), e.begin() + 116));

    auto w = bytes(696);
    put(w, 0, kControllerCid, 16);
    putInt(w, 16, 0x7FFFFFFF);
    putText(w, 20, "Component Controller Class");
    putWide(w, 52, "Norrik Controller");
    putInt(w, 180, 0);
    putWide(w, 440, "1.0.0.181");
    putWide(w, 568, "QEL 3.5.2");
    ClassInfoUnicode outW;
    std::memset(static_cast<void*>(&outW), 0x77, sizeof(outW));
    EXPECT_EQ(classInfoW(f, 1, &outW), kResultOk);
    expectBytes(outW, w);
}

TEST(QelFactory, WideNameOfSixtyFourCharactersIsUnterminated)
{
    IPtr<CPluginFactory> f(makeFactory());
    f->release();
    std::string name(64, 'N');
    ClassInfo2 info(kProcessorCid, 1, std::string(40, 'C').c_str(), name.c_str(), 0, nullptr, nullptr, nullptr,
                    nullptr);
    EXPECT_EQ(std::memcmp(info.name, name.data(), 64), 0);
    EXPECT_EQ(std::memcmp(info.category, std::string(32, 'C').data(), 32), 0);
    f->registerClass(&info, createEffect);
    ClassInfoUnicode w;
    ASSERT_EQ(classInfoW(f, 0, &w), kResultOk);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(w.name[i], u'N');
    EXPECT_EQ(w.classFlags, 0u); // the field after the name is untouched by it
    EXPECT_EQ(std::memcmp(w.category, std::string(32, 'C').data(), 32), 0);
    EXPECT_EQ(w.subCategories[0], 0);
}

TEST(QelFactory, BadIndicesAndNullRecords)
{
    IPtr<CPluginFactory> f(makeFactory());
    f->release();
    ClassInfo2 p = processorInfo();
    f->registerClass(&p, createEffect);
    ClassInfo i1;
    ClassInfo2 i2;
    ClassInfoUnicode iw;
    for (int32_t index : {1, -1, 1000}) {
        EXPECT_EQ(classInfo(f, index, &i1), kInvalidArgument);
        EXPECT_EQ(classInfo2(f, index, &i2), kInvalidArgument);
        EXPECT_EQ(classInfoW(f, index, &iw), kInvalidArgument);
    }
    EXPECT_EQ(classInfo(f, 0, nullptr), kInvalidArgument);
    EXPECT_EQ(classInfo2(f, 0, nullptr), kInvalidArgument);
    EXPECT_EQ(classInfoW(f, 0, nullptr), kInvalidArgument);
    EXPECT_FALSE(f->registerClass(nullptr, createEffect));
    EXPECT_FALSE(f->registerClass(&p, nullptr));
    EXPECT_EQ(countClasses(f), 1);
}

TEST(QelFactory, WideOnlyClassesHaveNoEightBitRecord)
{
    IPtr<CPluginFactory> f(makeFactory());
    f->release();
    ClassInfoUnicode w(processorInfo());
    EXPECT_TRUE(f->registerClassUnicode(&w, createEffect));
    ClassInfo i1;
    std::memset(static_cast<void*>(&i1), 0x77, sizeof(i1));
    EXPECT_EQ(classInfo(f, 0, &i1), kResultFalse);
    expectBytes(i1, bytes(116));
    ClassInfo2 i2;
    std::memset(static_cast<void*>(&i2), 0x77, sizeof(i2));
    EXPECT_EQ(classInfo2(f, 0, &i2), kResultFalse);
    expectBytes(i2, bytes(440));
    ClassInfoUnicode out;
    EXPECT_EQ(classInfoW(f, 0, &out), kResultOk);
    EXPECT_EQ(std::memcmp(&out, &w, sizeof(w)), 0);
    // Creation looks at the wide record, so the class is still made.
    void* obj = nullptr;
    EXPECT_EQ(create(f, kProcessorCid, IAudioProcessor::iid, &obj), kResultOk);
    static_cast<FUnknown*>(obj)->release();
}

TEST(QelFactory, TableGrowsByTenKeepingEntries)
{
    IPtr<CPluginFactory> f(makeFactory());
    f->release();
    for (int i = 0; i < 25; ++i) {
        std::string name = "Class " + std::to_string(i);
        TUID cid{};
        cid[0] = static_cast<char>(i + 1);
        ClassInfo2 info(cid, i, "Audio Module Class", name.c_str(), 0, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(f->registerClass(&info, createEffect));
    }
    EXPECT_EQ(countClasses(f), 25);
    for (int i = 0; i < 25; ++i) {
        ClassInfo2 out;
        ASSERT_EQ(classInfo2(f, i, &out), kResultOk);
        EXPECT_EQ(out.cid[0], i + 1);
        EXPECT_EQ(out.cardinality, i);
        EXPECT_EQ(std::string(out.name), "Class " + std::to_string(i));
    }
}

TEST(QelFactory, CreateInstance)
{
    IPtr<CPluginFactory> f(makeFactory());
    f->release();
    int contextCalls = 0;
    ClassInfo2 p = processorInfo();
    ClassInfo2 c = controllerInfo();
    f->registerClass(&p, createEffect, &contextCalls);
    f->registerClass(&c, createNothing);
    // Same identifier registered again: the first registration wins.
    f->registerClass(&p, createNothing);
    created = destroyedEffects = 0;

    void* obj = &obj;
    EXPECT_EQ(create(f, kProcessorCid, IComponent::iid, &obj), kResultOk);
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(contextCalls, 1);
    auto* component = static_cast<IComponent*>(obj);
    EXPECT_EQ(component->addRef(), 2u); // one reference left for the caller
    component->release();
    component->release();
    EXPECT_EQ(destroyedEffects, 1);

    // Not registered: null and -1.
    TUID unknown{};
    obj = &obj;
    EXPECT_EQ(create(f, unknown, IComponent::iid, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    // Registered, but the object lacks the interface: nothing stays alive.
    obj = &obj;
    EXPECT_EQ(create(f, kProcessorCid, IEditController::iid, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(created, 2);
    EXPECT_EQ(destroyedEffects, 2);
    // The create function fails.
    obj = &obj;
    EXPECT_EQ(create(f, kControllerCid, IEditController::iid, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    // Null arguments never crash.
    EXPECT_EQ(create(f, nullptr, IComponent::iid, &obj), kNoInterface);
    EXPECT_EQ(create(f, kProcessorCid, nullptr, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(create(f, kProcessorCid, IComponent::iid, nullptr), kInvalidArgument);
    EXPECT_EQ(destroyedEffects, created);
}

TEST(QelFactory, InterfacesAndReferenceCounting)
{
    CPluginFactory* f = makeFactory();
    gPluginFactory = f;
    void* obj = nullptr;
    for (const char* iid :
         {static_cast<const char*>(IPluginFactory::iid), static_cast<const char*>(IPluginFactory2::iid),
          static_cast<const char*>(IPluginFactory3::iid), static_cast<const char*>(FUnknown::iid)}) {
        EXPECT_EQ((callSlot<tresult, const char*, void**>(f, 0, iid, &obj)), kResultOk);
        EXPECT_EQ(obj, static_cast<void*>(f));
    }
    EXPECT_EQ((callSlot<tresult, const char*, void**>(f, 0, IComponent::iid, &obj)), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ((callSlot<uint32_t>(f, 1)), 6u);
    for (uint32_t expected = 5; expected >= 1; --expected)
        EXPECT_EQ((callSlot<uint32_t>(f, 2)), expected);
    EXPECT_EQ((callSlot<tresult, FUnknown*>(f, 9, nullptr)), kNotImplemented);
    EXPECT_EQ(gPluginFactory, static_cast<IPluginFactory*>(f));
    // The last release deletes the factory and clears the process-wide pointer.
    EXPECT_EQ((callSlot<uint32_t>(f, 2)), 0u);
    EXPECT_EQ(gPluginFactory, nullptr);
}

// A subclass overriding the two operations the meter's factory overrides, through the same slots.
struct CountingFactory : CPluginFactory
{
    using CPluginFactory::CPluginFactory;
    int32_t countClasses() override { return 2; }
    tresult setHostContext(FUnknown*) override { return kResultOk; }
};

TEST(QelFactory, SubclassOverridesSitInTheSameSlots)
{
    FactoryInfo info;
    IPtr<CountingFactory> f(new CountingFactory(info));
    f->release();
    EXPECT_EQ(countClasses(f.get()), 2);
    EXPECT_EQ((callSlot<tresult, FUnknown*>(f.get(), 9, nullptr)), kResultOk);
}

} // namespace

#include <thread>

namespace {
TEST(QelFactory, ReferenceCountFromManyThreads)
{
    CPluginFactory* f = makeFactory();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([f] {
            for (int i = 0; i < 20000; ++i) {
                f->addRef();
                f->release();
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(f->addRef(), 2u);
    f->release();
    EXPECT_EQ(f->release(), 0u);
}
} // namespace
