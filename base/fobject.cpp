#include "base/fobject.h"

namespace Calvereth {

FUID FObject::classIID;

namespace {

struct StaticObjectRegistry
{
    FObject*** entries = nullptr;
    int32 count = 0;
    int32 capacity = 0;
};

StaticObjectRegistry* gStaticObjects = nullptr;
bool gStaticObjectsClosed = false;

constexpr int32 kRegistryGrowth = 10;

// At load: a fresh class identifier. At unload the static objects go before it does (statics of
// one file are destroyed in reverse order). A destructor rather than atexit: the library may be
// unloaded long before the process exits, and an atexit handler would outlive its code.
struct ClassIIDInitializer
{
    ClassIIDInitializer() { FObject::classIID.generate(); }
    ~ClassIIDInitializer() { FObject::releaseStaticObjects(); }
} gClassIIDInitializer;

} // namespace

tresult FObject::queryInterface(const TUID iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    if (iid && (iidEqual(iid, FUnknown::iid) || iidEqual(iid, IDependent::iid) || iidEqual(iid, FObject::classIID))) {
        addRef();
        *obj = this;
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

uint32 FObject::addRef()
{
    return static_cast<uint32>(atomicAdd(&refCount, 1));
}

uint32 FObject::release()
{
    const int32 left = atomicAdd(&refCount, -1);
    if (left == 0) {
        atomicStore(&refCount, -1000);
        delete this;
        return 0;
    }
    // Not read again from the object: once our reference is gone, another thread's release may
    // already have destroyed it.
    return static_cast<uint32>(left);
}

void FObject::changed(int32 message)
{
    if (IUpdateHandler* handler = getUpdateHandler())
        handler->triggerUpdates(unknownCast(), message);
    else
        updateDone(message);
}

void FObject::deferUpdate(int32 message)
{
    if (IUpdateHandler* handler = getUpdateHandler())
        handler->deferUpdates(unknownCast(), message);
    else
        updateDone(message);
}

void FObject::addDependent(IDependent* dependent)
{
    if (IUpdateHandler* handler = getUpdateHandler())
        handler->addDependent(unknownCast(), dependent);
}

void FObject::removeDependent(IDependent* dependent)
{
    if (IUpdateHandler* handler = getUpdateHandler())
        handler->removeDependent(unknownCast(), dependent);
}

FObject* FObject::unknownToObject(FUnknown* unknown)
{
    if (!unknown)
        return nullptr;
    FObject* object = nullptr;
    if (unknown->queryInterface(FObject::classIID, reinterpret_cast<void**>(&object)) != kResultOk || !object)
        return nullptr;
    object->release();
    return object;
}

void FObject::registerStaticObject(FObject** objectAddress)
{
    if (gStaticObjectsClosed || !objectAddress)
        return;
    if (!gStaticObjects)
        gStaticObjects = new StaticObjectRegistry;
    StaticObjectRegistry& r = *gStaticObjects;
    if (r.count == r.capacity) {
        int32 capacity = r.capacity + kRegistryGrowth;
        auto** entries = new FObject**[capacity];
        for (int32 i = 0; i < r.count; ++i)
            entries[i] = r.entries[i];
        delete[] r.entries;
        r.entries = entries;
        r.capacity = capacity;
    }
    r.entries[r.count++] = objectAddress;
}

bool FObject::staticObjectsClosed()
{
    return gStaticObjectsClosed;
}

void FObject::releaseStaticObjects()
{
    gStaticObjectsClosed = true;
    if (!gStaticObjects)
        return;
    StaticObjectRegistry* r = gStaticObjects;
    for (int32 i = 0; i < r->count; ++i) {
        FObject** variable = r->entries[i];
        if (FObject* object = *variable) {
            *variable = nullptr;
            object->release();
        }
    }
    delete[] r->entries;
    delete r;
    gStaticObjects = nullptr;
}

} // namespace Calvereth
