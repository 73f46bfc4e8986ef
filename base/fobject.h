#pragma once
// Reference-counted base object with class-name tests and change notification.
#include <atomic>
#include <cstring>

#include "base/atomic.h"
#include "base/funknown.h"

namespace Calvereth {

// Receiver of change messages.
class IDependent : public FUnknown
{
public:
    enum ChangeMessage
    {
        kWillChange = 0,
        kChanged = 1,
        kDestroyed = 2,
        kWillDestroy = 3
    };

    virtual void update(FUnknown* changedUnknown, int32 message) = 0;

    static const FUID iid;
};

DECLARE_CLASS_IID(IDependent, 0xF52B7AAE, 0xDE72416D, 0x8AF18ACE, 0x9DD7BD5E)

// Process-wide registry of dependencies and dispatcher of change messages.
class IUpdateHandler : public FUnknown
{
public:
    virtual tresult addDependent(FUnknown* object, IDependent* dependent) = 0;
    virtual tresult removeDependent(FUnknown* object, IDependent* dependent) = 0;
    virtual tresult triggerUpdates(FUnknown* object, int32 message) = 0;
    virtual tresult deferUpdates(FUnknown* object, int32 message) = 0;

    static const FUID iid;
};

DECLARE_CLASS_IID(IUpdateHandler, 0xF5246D56, 0x86544D60, 0xB026AFB5, 0x7B697B37)

// Exact, case-sensitive comparison of two class names; a null name matches nothing.
inline bool classIDsEqual(FClassID a, FClassID b)
{
    return a && b && std::strcmp(a, b) == 0;
}

// The process-wide update handler; no reference is held on it.
inline std::atomic<IUpdateHandler*> globalUpdateHandler{nullptr};

class FObject : public IDependent
{
public:
    FObject() = default;
    // A copy is a new object with its own single reference.
    FObject(const FObject&) : IDependent() {}
    FObject& operator=(const FObject&) { return *this; }

    tresult queryInterface(const TUID iid, void** obj) override;
    uint32 addRef() override;
    uint32 release() override;
    void update(FUnknown* /*changedUnknown*/, int32 /*message*/) override {}

    virtual ~FObject() {}

    virtual FClassID className() const { return getFClassID(); }
    virtual bool isA(FClassID name) const { return isTypeOf(name, false); }
    virtual bool isTypeOf(FClassID name, bool /*askBaseClass*/ = true) const
    {
        return classIDsEqual(name, getFClassID());
    }
    virtual void changed(int32 message = kChanged);
    virtual void deferUpdate(int32 message = kChanged);
    virtual void updateDone(int32 /*message*/) {}

    void addDependent(IDependent* dependent);
    void removeDependent(IDependent* dependent);

    int32 getRefCount() const { return atomicLoad(&refCount); }
    FUnknown* unknownCast() { return this; }

    static FClassID getFClassID() { return "FObject"; }

    // The object behind an interface pointer when it is one of ours (no reference kept), else null.
    static FObject* unknownToObject(FUnknown* unknown);

    static IUpdateHandler* getUpdateHandler() { return globalUpdateHandler.load(); }
    static void setUpdateHandler(IUpdateHandler* handler) { globalUpdateHandler.store(handler); }

    // Pointer variables holding static objects, released once at exit.
    static void registerStaticObject(FObject** objectAddress);
    static bool staticObjectsClosed();
    static void releaseStaticObjects();

    // Fresh random value at each load; by it our own objects are recognised behind interfaces.
    static FUID classIID;

protected:
    int32 refCount = 1;
};

// The object behind an interface pointer, when it is of class C (or derived); no reference kept.
template <class C>
C* FCast(FUnknown* unknown)
{
    FObject* object = FObject::unknownToObject(unknown);
    if (object && object->isTypeOf(C::getFClassID(), true))
        return static_cast<C*>(object);
    return nullptr;
}

template <class C>
C* FCast(FObject* object)
{
    if (object && object->isTypeOf(C::getFClassID(), true))
        return static_cast<C*>(object);
    return nullptr;
}

} // namespace Calvereth

// Class-name operations of an FObject subclass; the name is the class token as written.
#define OBJ_METHODS_NAMED(ClassName, BaseClass, NameText)                                                              \
    static ::Calvereth::FClassID getFClassID()                                                                         \
    {                                                                                                                  \
        return NameText;                                                                                               \
    }                                                                                                                  \
    ::Calvereth::FClassID className() const override                                                                   \
    {                                                                                                                  \
        return getFClassID();                                                                                          \
    }                                                                                                                  \
    bool isA(::Calvereth::FClassID name) const override                                                                \
    {                                                                                                                  \
        return isTypeOf(name, false);                                                                                  \
    }                                                                                                                  \
    bool isTypeOf(::Calvereth::FClassID name, bool askBaseClass = true) const override                                 \
    {                                                                                                                  \
        if (::Calvereth::classIDsEqual(name, getFClassID()))                                                           \
            return true;                                                                                               \
        return askBaseClass && BaseClass::isTypeOf(name, true);                                                        \
    }

#define OBJ_METHODS(ClassName, BaseClass) OBJ_METHODS_NAMED(ClassName, BaseClass, #ClassName)

// Interface lookup of a subclass: its own interfaces in order, then the base class.
#define DEFINE_INTERFACES                                                                                              \
    ::Calvereth::tresult queryInterface(const ::Calvereth::TUID _iid, void** _obj) override                            \
    {

#define DEF_INTERFACE(InterfaceName)                                                                                   \
    if (_obj && ::Calvereth::iidEqual(_iid, InterfaceName::iid)) {                                                     \
        addRef();                                                                                                      \
        *_obj = static_cast<InterfaceName*>(this);                                                                     \
        return ::Calvereth::kResultOk;                                                                                 \
    }

#define END_DEFINE_INTERFACES(BaseClass)                                                                               \
    return BaseClass::queryInterface(_iid, _obj);                                                                      \
    }

#define REFCOUNT_METHODS(BaseClass)                                                                                    \
    ::Calvereth::uint32 addRef() override                                                                              \
    {                                                                                                                  \
        return BaseClass::addRef();                                                                                    \
    }                                                                                                                  \
    ::Calvereth::uint32 release() override                                                                             \
    {                                                                                                                  \
        return BaseClass::release();                                                                                   \
    }

#define FUNKNOWN_METHODS(InterfaceName, BaseClass)                                                                     \
    DEFINE_INTERFACES                                                                                                  \
    DEF_INTERFACE(InterfaceName)                                                                                       \
    END_DEFINE_INTERFACES(BaseClass)                                                                                   \
    REFCOUNT_METHODS(BaseClass)
