// The controller's host value objects: created through the frame host by kind, kept in id order,
// found by id, position or name.
#pragma once

#include <string>

#include "base/tarray.h"
#include "pluginset/common/qel/views/frameinterfaces.h"

namespace Calvereth {

struct ValueEntry
{
    IHostValue* value; // the one reference creation returned
    std::string name;
};

class ControllerValueList
{
public:
    ControllerValueList(IFrameHost* host, IPlugController* owner);
    ~ControllerValueList();
    ControllerValueList(const ControllerValueList&) = delete;
    ControllerValueList& operator=(const ControllerValueList&) = delete;

    IHostValue* findById(int32 id) const;
    IHostValue* getAt(int32 index) const;
    IHostValue* findByName(const char8* name) const;
    int32 count() const { return entries.count(); }

    void setOwner(IPlugController* o) { owner = o; }
    void setCapacity(int32 n);

    // Each answers the new value (the list keeps its reference), or null when the host refuses;
    // std::bad_alloc, the value given back, when memory for the entry runs out.
    IHostValue* addInt(int32 id, const char8* name, int32 min, int32 max, int32 def, bool option1, bool option16);
    IHostValue* addRange(int32 id, const char8* name, int32 meterFlag, bool option1, bool option16, float min,
                         float max, float def);
    IHostValue* addBool(int32 id, const char8* name, bool def, bool option1);
    IHostValue* addString(int32 id, const char8* name, const char16* text, bool option1);

    // Takes the entry over; false (entry deleted, value released) when it cannot be stored.
    bool insertSorted(ValueEntry* entry);

    // Host value kinds.
    static const FUID kIntKind;
    static const FUID kRangeKind;
    static const FUID kBoolKind;
    static const FUID kStringKind;

private:
    IHostValue* create(const FUID& kind);
    // A value of `kind`, set up by `setUp`, then listed.
    template <class SetUp>
    IHostValue* add(const FUID& kind, int32 id, const char8* name, SetUp setUp);
    IHostValue* finish(IHostValue* value, int32 id, const char8* name);

    IFrameHost* host;
    IPlugController* owner;
    TArray<ValueEntry*> entries{0, 10};
};

} // namespace Calvereth
