#include "base/threadlocalobject.h"

#include "platform/threadlocal.h"

#include <new>

namespace Calvereth {

namespace {
void releaseValue(void* value)
{
    if (value)
        static_cast<FUnknown*>(value)->release();
}
} // namespace

ThreadLocalObject* ThreadLocalObject::create()
{
    auto* slot = new (std::nothrow) ThreadLocalObject;
    if (slot && !slot->valid) {
        delete slot;
        return nullptr;
    }
    return slot;
}

ThreadLocalObject::ThreadLocalObject()
{
    valid = Platform::threadLocalCreate(&key, &releaseValue);
}

ThreadLocalObject::~ThreadLocalObject()
{
    if (valid)
        Platform::threadLocalDelete(key);
}

FUnknown* ThreadLocalObject::get() const
{
    return valid ? static_cast<FUnknown*>(Platform::threadLocalGet(key)) : nullptr;
}

bool ThreadLocalObject::set(FUnknown* object)
{
    if (!valid)
        return false;
    FUnknown* old = get();
    // The new reference is taken before the old one is given back: they may be the same object.
    if (object)
        object->addRef();
    if (!Platform::threadLocalSet(key, object)) {
        if (object)
            object->release();
        return false;
    }
    if (old)
        old->release();
    return true;
}

} // namespace Calvereth
