#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <unistd.h>
#include <string>
#include <thread>
#include <vector>

#include "base/atomic.h"
#include "base/fobject.h"
#include "base/fuid.h"
#include "base/iptr.h"
#include "tests/common/threads.h"

using namespace Calvereth;
using testthreads::runThreads;

namespace {

class IProbe : public FUnknown
{
public:
    virtual int32 probe() = 0;
    static const FUID iid;
};
DECLARE_CLASS_IID(IProbe, 0x11111111, 0x22222222, 0x33333333, 0x44444444)

class ISecond : public FUnknown
{
public:
    virtual int32 second() = 0;
    static const FUID iid;
};
DECLARE_CLASS_IID(ISecond, 0x55555555, 0x66666666, 0x77777777, 0x88888888)

int gDestroyed = 0;

class Tracked : public FObject
{
public:
    ~Tracked() override
    {
        ++gDestroyed;
        countInDestructor = atomicLoad(&refCount);
        if (onDestroy)
            onDestroy();
    }
    void updateDone(int32 message) override { done.push_back(message); }
    std::vector<int32> done;
    std::function<void()> onDestroy; // runs what a holder's destructor would
    static inline int32 countInDestructor = 0;
    OBJ_METHODS(Tracked, FObject)
};

class Probe : public Tracked, public IProbe, public ISecond
{
public:
    int32 probe() override { return 7; }
    int32 second() override { return 8; }
    OBJ_METHODS(Probe, Tracked)
    DEFINE_INTERFACES
    DEF_INTERFACE(IProbe)
    DEF_INTERFACE(ISecond)
    END_DEFINE_INTERFACES(Tracked)
    REFCOUNT_METHODS(Tracked)
};

} // namespace

TEST(Base1Object, ReferenceCountingAcrossThreads)
{
    gDestroyed = 0;
    auto* o = new Tracked;
    constexpr int kThreads = 8, kRounds = 20000;
    runThreads(kThreads, [o](int) {
        for (int i = 0; i < kRounds; ++i) {
            o->addRef();
            if (i % 3 == 0)
                o->addRef(), o->release();
            o->release();
        }
    });
    EXPECT_EQ(o->getRefCount(), 1);
    EXPECT_EQ(gDestroyed, 0);
    // Many holders dropping their references at once destroy the object exactly once.
    for (int i = 0; i < kThreads - 1; ++i)
        o->addRef();
    runThreads(kThreads, [o](int) { o->release(); });
    EXPECT_EQ(gDestroyed, 1);
    EXPECT_EQ(Tracked::countInDestructor, -1000); // parked far below zero while it goes
}

TEST(Base1Object, InterfaceLookupOfTheBaseAndOfASubclass)
{
    auto* o = new FObject;
    for (const FUID* id : std::initializer_list<const FUID*>{&FUnknown::iid, &IDependent::iid, &FObject::classIID}) {
        void* out = nullptr;
        EXPECT_EQ(o->queryInterface(*id, &out), kResultOk);
        EXPECT_EQ(out, static_cast<void*>(o));
        o->release();
    }
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(o->queryInterface(IProbe::iid, &out), kNoInterface);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(o->queryInterface(FUnknown::iid, nullptr), kInvalidArgument);
    EXPECT_EQ(o->getRefCount(), 1); // failures add no reference
    o->release();

    // A subclass answers its sub-objects, then the base.
    auto* p = new Probe;
    out = nullptr;
    ASSERT_EQ(p->queryInterface(IProbe::iid, &out), kResultOk);
    EXPECT_EQ(static_cast<IProbe*>(out)->probe(), 7);
    ASSERT_EQ(p->queryInterface(ISecond::iid, &out), kResultOk);
    EXPECT_EQ(static_cast<ISecond*>(out)->second(), 8);
    ASSERT_EQ(p->queryInterface(FUnknown::iid, &out), kResultOk); // answered by the FObject part
    EXPECT_EQ(out, static_cast<void*>(static_cast<FObject*>(static_cast<Tracked*>(p))));
    EXPECT_EQ(FCast<Tracked>(static_cast<ISecond*>(p)), static_cast<Tracked*>(p));
    FObject plain;
    EXPECT_EQ(FCast<Probe>(&plain), nullptr);
    EXPECT_TRUE(p->isTypeOf("Tracked", true));
    EXPECT_FALSE(p->isTypeOf("Tracked", false));
    EXPECT_FALSE(p->isTypeOf(nullptr, true));
    // Releasing through any sub-object reaches the one count.
    static_cast<IProbe*>(p)->release();
    static_cast<ISecond*>(p)->release();
    gDestroyed = 0;
    static_cast<FObject*>(static_cast<Tracked*>(p))->release();
    static_cast<ISecond*>(p)->release();
    EXPECT_EQ(gDestroyed, 1);
}

TEST(Base1Object, ChangesWithoutHandlerAndStaticObjects)
{
    ASSERT_EQ(FObject::getUpdateHandler(), nullptr);
    Tracked o;
    o.changed(4);
    o.deferUpdate(9);
    o.addDependent(&o); // no handler: nothing registered
    o.removeDependent(&o);
    EXPECT_EQ(o.done, (std::vector<int32>{4, 9}));

    // Static objects are released once, then the list is closed.
    gDestroyed = 0;
    FObject* a = new Tracked;
    FObject* b = nullptr;
    FObject* c = new Tracked;
    FObject* cAlias = c;
    c->addRef();
    FObject::registerStaticObject(&a);
    for (int i = 0; i < 25; ++i)
        FObject::registerStaticObject(&b); // null, and grows the list past several steps
    FObject::registerStaticObject(&c);
    EXPECT_FALSE(FObject::staticObjectsClosed());
    FObject::releaseStaticObjects();
    EXPECT_TRUE(FObject::staticObjectsClosed());
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(gDestroyed, 1);               // c kept its second reference
    FObject::registerStaticObject(&cAlias); // closed: ignored
    FObject::releaseStaticObjects();
    ASSERT_NE(cAlias, nullptr);
    cAlias->release();
    EXPECT_EQ(gDestroyed, 2);
}

// Two loads of the program have different class identifiers.
TEST(Base1Object, ClassIIDDiffersBetweenProcesses)
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    std::string cmd = std::string(self) + " --gtest_filter=Base1Object.PrintClassIID 2>/dev/null";
    auto run = [&] {
        std::string out;
        FILE* f = popen(cmd.c_str(), "r");
        char line[256];
        while (f && fgets(line, sizeof line, f))
            if (std::strncmp(line, "CLASSIID ", 9) == 0)
                out = line + 9;
        if (f)
            pclose(f);
        return out;
    };
    EXPECT_EQ(static_cast<uint8>(FObject::classIID.toTUID()[6]) >> 4, 4); // a generated identifier
    std::string first = run(), second = run();
    ASSERT_EQ(first.size(), 33u);
    EXPECT_NE(first, second);
    char mine[33];
    FObject::classIID.toString(mine);
    EXPECT_NE(first.substr(0, 32), std::string(mine));
}

TEST(Base1Object, PrintClassIID)
{
    char text[33];
    FObject::classIID.toString(text);
    std::printf("CLASSIID %s\n", text);
}

TEST(Base1IPtr, OwnershipRulesAndAssignmentAddsBeforeReleasing)
{
    auto* a = new Tracked;
    {
        IPtr<Tracked> p(a), q = p;
        q = a; // same pointer: nothing changes
        IPtr<Tracked> m(std::move(q));
        EXPECT_EQ(a->getRefCount(), 3);
        EXPECT_EQ(q.get(), nullptr);
    }
    IPtr<Tracked> adopted = owned(a);
    EXPECT_EQ(a->getRefCount(), 1);

    // The old object holds the only other reference to the new one: releasing first would
    // destroy the new object before it is stored.
    auto* newer = new Tracked;
    auto* older = new Tracked;
    bool newerAlive = true;
    newer->onDestroy = [&] { newerAlive = false; };
    older->onDestroy = [newer] { newer->release(); };
    {
        IPtr<Tracked> p = owned(older);
        p = newer;
        EXPECT_TRUE(newerAlive);
        EXPECT_EQ(newer->getRefCount(), 1);
        EXPECT_EQ(p.get(), newer);
    }
    EXPECT_FALSE(newerAlive);
}
