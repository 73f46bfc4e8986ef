// A per-thread slot holding one reference to an object; the reference is released when the
// thread ends or the slot is set again.
#pragma once

#include "base/funknown.h"

namespace Calvereth {

class ThreadLocalObject
{
public:
    // Null when the platform refuses the slot.
    static ThreadLocalObject* create();
    ThreadLocalObject();
    ~ThreadLocalObject();
    ThreadLocalObject(const ThreadLocalObject&) = delete;
    ThreadLocalObject& operator=(const ThreadLocalObject&) = delete;

    bool isValid() const { return valid; }
    // The calling thread's object, no reference added.
    FUnknown* get() const;
    // Keeps a reference to object for the calling thread and releases the previous one.
    bool set(FUnknown* object);

private:
    uint32 key = 0;
    bool valid = false;
};

} // namespace Calvereth
