// Host-side objects for the framework's tests, and calls through raw slot indices.
#pragma once

#include <atomic>
#include <cstring>

#include "qel/ieditcontroller.h"
#include "base/iptr.h"
#include "host/hostobjects.h"
#include "qel/ihostapplication.h"
#include "qel/imessage.h"
#include "qel/iunitinfo.h"

namespace qeltest {

using namespace Calvereth;
using namespace Calvereth::Qel;

// An operation called through its slot: the object's table of operations read as an array, as a host
// built by another compiler calls it.
template <typename R, typename... A>
R callSlot(void* obj, int slot, A... args)
{
    using Fn = R (*)(void*, A...);
    void** table = *static_cast<void***>(obj);
    return reinterpret_cast<Fn>(table[slot])(obj, args...);
}

template <class I>
struct MockUnknown : I
{
    std::atomic<int32_t> refs{1};
    tresult queryInterface(const TUID iid, void** obj) override
    {
        if (iidEqual(iid, FUnknown::iid) || iidEqual(iid, I::iid)) {
            addRef();
            *obj = static_cast<I*>(this);
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32_t addRef() override { return ++refs; }
    uint32_t release() override { return --refs; }
    virtual ~MockUnknown() = default;
};

// One of the test host's own objects as the plug-in sees it: the host hands it over through its own
// declarations of the same tables.
template <class I, class HostObject>
I* fromHost(HostObject* object)
{
    return reinterpret_cast<I*>(object);
}

// The host's second handler and unit handler, declared from their slot tables alone (apart from the
// plug-in's declarations), so that a call landing in another slot shows. Both count on their owner.
struct RawHandlerBase
{
    explicit RawHandlerBase(std::atomic<int32_t>* owner) : refs(owner) {}
    std::atomic<int32_t>* refs;
    int32_t seen[2] = {-99, -99}; // the arguments of the last call
    virtual int32_t queryInterface(const char*, void**) { return kNoInterface; }
    virtual uint32_t addRef() { return ++*refs; }
    virtual uint32_t release() { return --*refs; }
};

struct RawHandler2 : RawHandlerBase
{
    using RawHandlerBase::RawHandlerBase;
    virtual int32_t slot3(uint8_t flag) { return seen[0] = flag, 3; }
    virtual int32_t slot4(const char* text) { return text && text[0] == 'x' ? 4 : -4; }
    virtual int32_t slot5() { return 5; }
    virtual int32_t slot6() { return 6; }
};

struct RawUnitHandler : RawHandlerBase
{
    using RawHandlerBase::RawHandlerBase;
    virtual int32_t slot3(int32_t unitId) { return seen[0] = unitId, 30; }
    virtual int32_t slot4(int32_t listId, int32_t programIndex) { return seen[0] = listId, seen[1] = programIndex, 40; }
};

// The host's component handler; it offers the second handler and the unit handler when asked to.
struct MockHandler : MockUnknown<IComponentHandler>
{
    int asked = 0;
    ParamValue lastValue = -1;
    bool offerSecond = true, offerUnits = true;
    RawHandler2 second{&refs};
    RawUnitHandler units{&refs};
    tresult queryInterface(const TUID iid, void** obj) override
    {
        void* part = nullptr;
        if (offerSecond && iidEqual(iid, IComponentHandler2::iid))
            part = &second;
        else if (offerUnits && iidEqual(iid, IUnitHandler::iid))
            part = &units;
        if (!part)
            return MockUnknown::queryInterface(iid, obj);
        ++asked;
        addRef();
        *obj = part;
        return kResultOk;
    }
    tresult beginEdit(ParamID) override { return kResultOk; }
    tresult performEdit(ParamID, ParamValue v) override { return lastValue = v, 9; }
    tresult endEdit(ParamID) override { return kResultOk; }
};

} // namespace qeltest
