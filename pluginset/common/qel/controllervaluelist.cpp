#include "pluginset/common/qel/controllervaluelist.h"

#include "pluginset/common/qel/views/frameservices.h"

#include <cstring>
#include <new>

namespace Calvereth {

const FUID ControllerValueList::kIntKind(0x037B1E33, 0xF3644539, 0x92F209B8, 0x2602C80B);
const FUID ControllerValueList::kRangeKind(0x6120B9B1, 0x7B6444D5, 0xA6FFFC83, 0xC0E7C1C7);
const FUID ControllerValueList::kBoolKind(0xD2D767F5, 0xA3B74B44, 0x8A8A83FD, 0x04C1B489);
const FUID ControllerValueList::kStringKind(0x96512EB9, 0x2DE84960, 0xB2684A13, 0x1CF7C5F8);

namespace {

template <class I>
I* ask(FUnknown* object)
{
    void* obj = nullptr;
    if (!object || object->queryInterface(I::iid, &obj) != kResultOk)
        return nullptr;
    return static_cast<I*>(obj);
}

} // namespace

ControllerValueList::ControllerValueList(IFrameHost* h, IPlugController* o) : host(h), owner(o)
{
    if (host)
        host->addRef();
}

ControllerValueList::~ControllerValueList()
{
    for (int32 i = entries.count(); i-- > 0;) {
        if (entries.at(i)->value)
            entries.at(i)->value->release();
        delete entries.at(i);
    }
    entries.removeAll();
    if (host)
        host->release();
}

void ControllerValueList::setCapacity(int32 n)
{
    if (n > entries.count())
        entries.resize(n);
}

IHostValue* ControllerValueList::getAt(int32 index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return entries.at(index)->value;
}

IHostValue* ControllerValueList::findByName(const char8* name) const
{
    if (!name)
        return nullptr;
    for (int32 i = 0; i < entries.count(); ++i)
        if (entries.at(i)->name == name)
            return entries.at(i)->value;
    return nullptr;
}

IHostValue* ControllerValueList::findById(int32 id) const
{
    const int64 n = count();
    int64 lo = 0, hi = n - 1;
    int64 guess = (id >= 0 && id <= hi) ? id : (hi >> 1);
    while (lo <= hi) {
        if (guess < 0 || guess >= n)
            return nullptr;
        IHostValue* v = entries.at(static_cast<int32>(guess))->value;
        if (!v)
            return nullptr;
        int64 found = v->getId();
        if (found == id)
            return v;
        if (found > id)
            hi = guess - 1;
        else
            lo = guess + 1;
        guess += id - found;
        if (guess < lo || guess > hi)
            guess = (lo + hi) / 2;
    }
    for (int32 i = 0; i < entries.count(); ++i)
        if (entries.at(i)->value && entries.at(i)->value->getId() == id)
            return entries.at(i)->value;
    return nullptr;
}

IHostValue* ControllerValueList::create(const FUID& kind)
{
    // A value the host could not make for want of memory throws: it is not left out.
    return static_cast<IHostValue*>(Frame::askService(host, kind));
}

IHostValue* ControllerValueList::finish(IHostValue* value, int32 id, const char8* name)
{
    if (owner)
        value->setController(owner, id);
    ValueEntry* entry = nullptr;
    try {
        entry = new ValueEntry{value, name ? name : ""};
    } catch (...) {
        value->release();
        throw;
    }
    // The list could not grow: out of memory, with the value given back.
    if (!insertSorted(entry))
        throw std::bad_alloc();
    return value;
}

template <class SetUp>
IHostValue* ControllerValueList::add(const FUID& kind, int32 id, const char8* name, SetUp setUp)
{
    IHostValue* value = create(kind);
    if (!value)
        return nullptr;
    // What the host throws while it is set up leaves no reference behind.
    try {
        setUp(value);
    } catch (...) {
        value->release();
        throw;
    }
    return finish(value, id, name);
}

namespace {
// The value's default (when given) and option bits 1 and 16 (when given).
void setOptions(IHostValue* value, const float* def, bool option1, const bool* option16)
{
    if (auto* options = ask<IHostValueOptions>(value)) {
        if (def)
            options->setDefault(*def);
        options->setOption(1, option1);
        if (option16)
            options->setOption(16, *option16);
        options->release();
    }
}
} // namespace

IHostValue* ControllerValueList::addInt(int32 id, const char8* name, int32 min, int32 max, int32 def, bool option1,
                                        bool option16)
{
    return add(kIntKind, id, name, [&](IHostValue* value) {
        value->setIntMin(min);
        value->setIntMax(max);
        value->setInt(def, 0);
        const float asFloat = static_cast<float>(def);
        setOptions(value, &asFloat, option1, &option16);
    });
}

IHostValue* ControllerValueList::addRange(int32 id, const char8* name, int32 meterFlag, bool option1, bool option16,
                                          float min, float max, float def)
{
    return add(kRangeKind, id, name, [&](IHostValue* value) {
        value->setMin(min);
        value->setMax(max);
        value->setPlain(0, def);
        if (meterFlag >= 0) {
            if (auto* meter = ask<IHostValueMeter>(value)) {
                meter->setMeterFlag(meterFlag);
                meter->release();
            }
        }
        setOptions(value, &def, option1, &option16);
    });
}

IHostValue* ControllerValueList::addBool(int32 id, const char8* name, bool def, bool option1)
{
    return add(kBoolKind, id, name, [&](IHostValue* value) {
        value->setInt(def ? 1 : 0, 0);
        const float asFloat = def ? 1.f : 0.f;
        setOptions(value, &asFloat, option1, nullptr);
    });
}

IHostValue* ControllerValueList::addString(int32 id, const char8* name, const char16* text, bool option1)
{
    return add(kStringKind, id, name, [&](IHostValue* value) {
        value->setString(text ? text : u"", 0);
        setOptions(value, nullptr, option1, nullptr);
    });
}

bool ControllerValueList::insertSorted(ValueEntry* entry)
{
    if (!entry || !entry->value) {
        delete entry;
        return false;
    }
    const int32 id = entry->value->getId();
    int32 position = 0;
    for (int32 i = entries.count(); i-- > 0;) {
        IHostValue* v = entries.at(i) ? entries.at(i)->value : nullptr;
        if (v && v->getId() < id) {
            position = i + 1;
            break;
        }
    }
    if (!entries.insertAt(position, entry)) {
        entry->value->release();
        delete entry;
        return false;
    }
    return true;
}

} // namespace Calvereth
