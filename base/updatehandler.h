// The process-wide registry of dependencies and dispatcher of change messages, immediate or
// deferred. It holds no references on the objects and dependents it records.
#pragma once

#include "base/flock.h"
#include "base/fobject.h"
#include "base/tarray.h"
#include "base/tlinkedlist.h"

namespace Calvereth {

class IUpdateManager : public FUnknown
{
public:
    virtual tresult cancelUpdates(FUnknown* object) = 0;
    virtual tresult triggerDeferedUpdates(FUnknown* object = nullptr) = 0;

    static const FUID iid;
};

DECLARE_CLASS_IID(IUpdateManager, 0x030B780C, 0xD6E6418D, 0x8CE00BC2, 0x09C834D4)

namespace Update {

inline uintptr_t address(const FUnknown* object)
{
    return reinterpret_cast<uintptr_t>(object);
}

// Compared by object only, ordered by its address.
struct Dependency
{
    FUnknown* object = nullptr;
    IDependent* dependent = nullptr;
    bool operator==(const Dependency& o) const { return object == o.object; }
    bool operator<(const Dependency& o) const { return address(object) < address(o.object); }
    bool operator>(const Dependency& o) const { return address(object) > address(o.object); }
};

// Serial numbers count the changes ever queued, so that a delivery knows which were there when it began.
struct DeferedChange
{
    FUnknown* object = nullptr;
    int32 message = 0;
    uint64 serial = 0;
    bool operator==(const DeferedChange& o) const { return object == o.object; }
};

// One notification in progress: the dependents being told, owned by that call.
struct UpdateData
{
    FUnknown* object = nullptr;
    IDependent** dependents = nullptr;
    int32 count = 0;
    bool operator==(const UpdateData& o) const { return object == o.object; }
};

constexpr int32 kHashSize = 256;
constexpr int32 kMaxDependents = 10240;

} // namespace Update

class UpdateHandler : public FObject, public IUpdateHandler, public IUpdateManager
{
public:
    UpdateHandler();
    ~UpdateHandler() override;

    OBJ_METHODS(UpdateHandler, FObject)
    tresult queryInterface(const TUID iid, void** obj) override;
    REFCOUNT_METHODS(FObject)

    tresult addDependent(FUnknown* object, IDependent* dependent) override;
    tresult removeDependent(FUnknown* object, IDependent* dependent) override;
    tresult triggerUpdates(FUnknown* object, int32 message) override;
    tresult deferUpdates(FUnknown* object, int32 message) override;
    tresult cancelUpdates(FUnknown* object) override;
    tresult triggerDeferedUpdates(FUnknown* object = nullptr) override;

    // Number of dependents recorded for the object (for diagnostics).
    int32 countDependents(FUnknown* object);

private:
    struct Table;

    static FUnknown* identityOf(FUnknown* object);
    static void callUpdateDone(FUnknown* identity, int32 message);
    bool isInFlight(FUnknown* identity) const;

    FLock lock;
    Table* table;
};

} // namespace Calvereth
