// Objects, interfaces and reference counts, identifiers and their text forms, rectangles and
// variant values.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <unistd.h>
#include <string>
#include <thread>
#include <vector>

#include "base/atomic.h"
#include "base/fobject.h"
#include "base/fuid.h"
#include "base/iptr.h"
#include "base/rect.h"
#include "base/variantvalue.h"
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

TEST(Base1Object, ReferenceCountingAcrossThreadsAndSmartPointers)
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

    // Smart pointers: ownership, and assignment adds before it releases.
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

TEST(Base1Object, InterfaceLookupOfTheBaseAndOfASubclass)
{
    // Failures; what the interface tables answer is seen through the subclass below.
    auto* o = new FObject;
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

// Another load of the program has another class identifier.
TEST(Base1Object, ClassIIDDiffersBetweenProcesses)
{
    EXPECT_EQ(static_cast<uint8>(FObject::classIID.toTUID()[6]) >> 4, 4); // a generated identifier
    const std::string cmd = std::filesystem::read_symlink("/proc/self/exe").string() +
                            " --gtest_filter=Base1Object.PrintClassIID 2>/dev/null";
    std::string other;
    FILE* f = popen(cmd.c_str(), "r");
    char line[256];
    while (f && fgets(line, sizeof line, f))
        if (std::strncmp(line, "CLASSIID ", 9) == 0)
            other = line + 9;
    if (f)
        pclose(f);
    ASSERT_EQ(other.size(), 33u);
    char mine[33];
    FObject::classIID.toString(mine);
    EXPECT_NE(other.substr(0, 32), std::string(mine));
}

TEST(Base1Object, PrintClassIID)
{
    char text[33];
    FObject::classIID.toString(text);
    std::printf("CLASSIID %s\n", text);
}

TEST(Base1FUID, ByteOrderTextFormsAndTheirRoundTrip)
{
    const unsigned char expected[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    EXPECT_EQ(std::memcmp(FUnknown::iid.toTUID(), expected, 16), 0);
    uint32 w[4];
    FUID(0x01020304, 0xA0B0C0D0, 0xFFFFFFFF, 0x00000080).to4Int(w[0], w[1], w[2], w[3]);
    EXPECT_EQ(std::vector<uint32>(w, w + 4), (std::vector<uint32>{0x01020304u, 0xA0B0C0D0u, 0xFFFFFFFFu, 0x80u}));
    FUID g, h;
    EXPECT_FALSE(g.isValid());
    EXPECT_TRUE(g.generate() && h.generate());
    EXPECT_NE(g, h);
    EXPECT_TRUE(FUID(0, 0, 0, 1) < FUID(0, 0, 0, 2));

    // Text forms and their round trip.
    const FUID& id = FUnknown::iid;
    char hex[33], reg[39], printed[128];
    id.toString(hex);
    EXPECT_STREQ(hex, "0000000000000000C000000000000046");
    id.toRegistryString(reg);
    EXPECT_STREQ(reg, "{00000000-0000-0000-C000-000000000046}");
    FUID(0x12345678, 0x9ABCDEF0, 0x0F1E2D3C, 0x4B5A6978).print(printed, FUID::kINLINE_UID);
    EXPECT_STREQ(printed, "INLINE_UID (0x12345678, 0x9ABCDEF0, 0x0F1E2D3C, 0x4B5A6978)");
    testing::internal::CaptureStdout();
    id.print(nullptr, 17); // an unknown style declares a class identifier
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "DECLARE_CLASS_IID (Interface, 0x00000000, 0x00000000, 0xC0000000, 0x00000046)\n");

    // Generated identifiers round-trip through both text forms, in either case.
    for (int i = 0; i < 50; ++i) {
        FUID id;
        ASSERT_TRUE(id.generate());
        char text[33], reg[39];
        id.toString(text);
        id.toRegistryString(reg);
        FUID a, b;
        ASSERT_TRUE(a.fromString(text));
        ASSERT_TRUE(b.fromRegistryString(reg));
        EXPECT_EQ(a, id);
        EXPECT_EQ(b, id);
        // Lower-case digits read the same.
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        FUID lower;
        ASSERT_TRUE(lower.fromString(text));
        EXPECT_EQ(lower, id);
    }
}

TEST(Base1FUID, RejectedTextLeavesBytesUnchanged)
{
    const FUID original(0xDEADBEEF, 1, 2, 3);
    FUID id = original;
    const std::string good = "0123456789ABCDEF0123456789abcdef";
    EXPECT_FALSE(id.fromString(nullptr));
    EXPECT_FALSE(id.fromString(""));
    EXPECT_FALSE(id.fromString(good.substr(1).c_str()));
    EXPECT_FALSE(id.fromString((good + "0").c_str()));
    // Non-hex characters anywhere, including those a scanf conversion would accept.
    for (std::string bad :
         {"0123456789ABCDEF0123456789ABCDEG", "G123456789ABCDEF0123456789ABCDEF", " 123456789ABCDEF0123456789ABCDEF",
          "+123456789ABCDEF0123456789ABCDEF", "0x23456789ABCDEF0123456789ABCDEF", "01234567-9ABCDEF0123456789ABCDEF"})
        EXPECT_FALSE(id.fromString(bad.c_str())) << bad;
    EXPECT_EQ(id, original);

    const std::string reg = "{01234567-89AB-CDEF-0123-456789ABCDEF}";
    EXPECT_FALSE(id.fromRegistryString(reg.substr(1).c_str()));
    EXPECT_FALSE(id.fromRegistryString((reg + "}").c_str()));
    EXPECT_FALSE(id.fromRegistryString("{0123456Z-89AB-CDEF-0123-456789ABCDEF}"));
    EXPECT_FALSE(id.fromRegistryString("{01234567-89AB-CDEF-0123-456789ABCDE }"));
    EXPECT_EQ(id, original);
    // Braces and dashes are not examined.
    ASSERT_TRUE(id.fromRegistryString("x01234567x89ABxCDEFx0123x456789ABCDEFx"));
    EXPECT_EQ(id, FUID(0x01234567, 0x89ABCDEF, 0x01234567, 0x89ABCDEF));
}

TEST(Base1RectAndVariant, OperationsAndCopies)
{
    using Op = bool (Rect::*)(const Rect&);
    const struct
    {
        Rect start;
        Op op;
        Rect other;
        bool answer;
        Rect result;
    } cases[] = {
        {{0, 0, 100, 50}, &Rect::moveInside, {20, 10, 200, 200}, true, {20, 10, 120, 60}},
        {{0, 0, 100, 50}, &Rect::moveInside, {0, 0, 80, 80}, false, {0, 0, 100, 50}}, // too wide: stays
        {{150, 150, 250, 200}, &Rect::moveInside, {0, 0, 200, 180}, true, {100, 130, 200, 180}},
        {{0, 0, 100, 100}, &Rect::subtract, {0, 0, 100, 30}, true, {0, 30, 100, 100}},
        {{0, 0, 100, 100}, &Rect::subtract, {40, 40, 60, 60}, true, {0, 0, 100, 100}}, // a hole: unchanged
        {{0, 0, 100, 100}, &Rect::subtract, {-10, -10, 200, 200}, false, {}},
        {{0, 0, 100, 100}, &Rect::subtract, {70, -5, 120, 105}, true, {0, 0, 70, 100}},
        {{}, &Rect::join, {1, 2, 3, 4}, true, {1, 2, 3, 4}},
        {{1, 2, 3, 4}, &Rect::join, {5, 5, 5, 9}, false, {1, 2, 3, 4}}, // empty: ignored
        {{1, 2, 3, 4}, &Rect::join, {-1, 3, 2, 10}, true, {-1, 2, 3, 10}},
    };
    for (const auto& c : cases) {
        Rect r = c.start;
        EXPECT_EQ((r.*c.op)(c.other), c.answer);
        EXPECT_EQ(r, c.result);
    }
    Rect l(0, 0, 10, 10), out;
    EXPECT_TRUE(l.intersection(Rect(10, 0, 20, 10), out)); // touching edges intersect
    EXPECT_EQ(out, Rect(10, 0, 10, 10));
    EXPECT_FALSE(l.intersection(Rect(11, 0, 20, 10), out));
    EXPECT_EQ(out, Rect());
    EXPECT_FALSE(l.rectInside(Rect(0, 0, 11, 10)));
    Rect v(0, 0, 10, 10);
    v.center(Rect(-20, -20, 1, 1));
    EXPECT_EQ(v, Rect(-15, -15, -5, -5)); // truncation toward zero
    Point p{-5, 50};
    l.clampPoint(p);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 10);

    // Variant values copy their own texts and hold references.
    char8 source[] = "level";
    VariantValue a(static_cast<const char8*>(source)), b(a);
    EXPECT_FALSE(a.isOwner());
    EXPECT_TRUE(b.isOwner());
    EXPECT_NE(b.getString8(), a.getString8());
    b.empty();
    EXPECT_STREQ(a.getString8(), "level");
    VariantValue w(static_cast<const char16*>(u"wide")), w2;
    w2 = w;
    const VariantValue& same = w2;
    w2 = same; // self-assignment changes nothing
    EXPECT_TRUE(w2.isOwner());
    EXPECT_EQ(std::u16string(w2.getString16()), u"wide");

    auto* object = new Tracked;
    {
        VariantValue o(static_cast<FUnknown*>(object)), copy(o), another;
        another = copy;
        EXPECT_EQ(object->getRefCount(), 3); // built from a pointer it holds none; copies hold one each
        another.empty();
        EXPECT_EQ(object->getRefCount(), 2);
    }
    EXPECT_EQ(object->getRefCount(), 1);
    object->release();
}
