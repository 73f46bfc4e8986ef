// Host-side objects for the framework's tests: application, messages with attributes, handlers.
#pragma once

#include <atomic>
#include <cstring>
#include <map>
#include <string>

#include "qel/ieditcontroller.h"
#include "qel/ihostapplication.h"
#include "qel/imessage.h"

namespace qeltest {

using namespace Calvereth;
using namespace Calvereth::Qel;

template <class I>
struct MockUnknown : I
{
    std::atomic<int32_t> refs{1};
    bool deleteOnZero = false;
    tresult queryInterface(const TUID iid, void** obj) override
    {
        if (iidEqual(iid, FUnknown::iid) || ownIid(iid)) {
            addRef();
            *obj = static_cast<I*>(this);
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    static bool ownIid(const TUID iid)
    {
        if constexpr (requires { I::iid; })
            return iidEqual(iid, I::iid);
        return false;
    }
    uint32_t addRef() override { return ++refs; }
    uint32_t release() override
    {
        int32_t n = --refs;
        if (n == 0 && deleteOnZero)
            delete this;
        return n;
    }
    virtual ~MockUnknown() = default;
};

struct MockAttributes : IMessageAttributes
{
    std::map<std::string, int64_t> ints;
    std::map<std::string, double> floats;
    std::map<std::string, std::u16string> strings;
    tresult queryInterface(const TUID, void** obj) override
    {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32_t addRef() override { return 1; }
    uint32_t release() override { return 1; }
    tresult setInt(const char* id, int64_t v) override
    {
        ints[id] = v;
        return kResultOk;
    }
    tresult getInt(const char* id, int64_t& v) override
    {
        auto it = ints.find(id);
        if (it == ints.end())
            return kResultFalse;
        v = it->second;
        return kResultOk;
    }
    tresult setFloat(const char* id, double v) override
    {
        floats[id] = v;
        return kResultOk;
    }
    tresult getFloat(const char* id, double& v) override
    {
        auto it = floats.find(id);
        if (it == floats.end())
            return kResultFalse;
        v = it->second;
        return kResultOk;
    }
    tresult setString(const char* id, const char16_t* s) override
    {
        strings[id] = s;
        return kResultOk;
    }
    // The size counts bytes; the copy is cut to fit and terminated.
    tresult getString(const char* id, char16_t* s, uint32_t sizeInBytes) override
    {
        auto it = strings.find(id);
        if (it == strings.end())
            return kResultFalse;
        size_t units = sizeInBytes / 2;
        if (units == 0)
            return kResultFalse;
        size_t n = std::min(units - 1, it->second.size());
        std::memcpy(s, it->second.data(), n * 2);
        s[n] = 0;
        return kResultOk;
    }
    tresult setBinary(const char*, const void*, uint32_t) override { return kResultOk; }
    tresult getBinary(const char*, const void*&, uint32_t&) override { return kResultFalse; }
};

struct MockMessage : MockUnknown<IMessage>
{
    std::string id;
    MockAttributes attributes;
    bool withAttributes = true;
    MockMessage() { deleteOnZero = true; }
    const char* getMessageId() override { return id.c_str(); }
    void setMessageId(const char* newId) override { id = newId ? newId : ""; }
    IMessageAttributes* getAttributes() override { return withAttributes ? &attributes : nullptr; }
};

struct MockHost : MockUnknown<IHostApplication>
{
    int created = 0;
    bool refuse = false;
    MockMessage* lastMessage = nullptr;
    tresult getName(char16_t name[128]) override
    {
        std::memcpy(name, u"test", 10);
        return kResultOk;
    }
    tresult createInstance(const TUID cid, const TUID iid, void** obj) override
    {
        if (refuse || !iidEqual(cid, IMessage::iid) || !iidEqual(iid, IMessage::iid)) {
            *obj = nullptr;
            return kResultFalse;
        }
        lastMessage = new MockMessage;
        ++created;
        *obj = static_cast<IMessage*>(lastMessage);
        return kResultOk;
    }
};

// A context that is not a host application.
struct MockContext : MockUnknown<IComponentHandler>
{
    tresult beginEdit(ParamID) override { return kResultOk; }
    tresult performEdit(ParamID, ParamValue) override { return kResultOk; }
    tresult endEdit(ParamID) override { return kResultOk; }
};

} // namespace qeltest
