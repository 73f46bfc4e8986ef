// Units and program lists of an extended controller.
#pragma once

#include "base/fobject.h"
#include "base/fstring.h"
#include "base/tarray.h"
#include "base/tdictionary.h"
#include "qel/iunitinfo.h"
#include "qel/rangeparameter.h"

namespace Calvereth {
namespace Qel {

class Unit : public FObject
{
public:
    // All zero.
    Unit() = default;
    // The name is cut to 127 characters; null gives an empty name.
    Unit(const char16_t* name, int32_t unitId, int32_t parentUnitId = kRootUnitId,
         int32_t programListId = kNoProgramListId);

    const UnitInfo& getInfo() const { return info; }
    int32_t getID() const { return info.id; }

    OBJ_METHODS(Unit, FObject)

protected:
    UnitInfo info;
};

// Named programs with text attributes. Operations given a program index answer 1 (or false, or -1)
// for an index outside the list and touch nothing then.
class ProgramList : public FObject
{
public:
    ProgramList(const char16_t* name, int32_t listId, int32_t unitId);
    // The programs and attributes copied; the parameter is made afresh when asked for.
    ProgramList(const ProgramList& other);
    ProgramList& operator=(const ProgramList&) = delete;
    ~ProgramList() override;

    // A negative index gives an empty name and 0.
    virtual tresult getProgramName(int32_t index, char16_t name[128]);
    virtual tresult setProgramName(int32_t index, const char16_t* name);
    // 1 also when the attribute is absent or empty.
    virtual tresult getProgramInfo(int32_t index, const char* attributeId, char16_t value[128]);
    virtual tresult hasPitchNames(int32_t index);
    virtual tresult getPitchName(int32_t index, int16_t pitch, char16_t name[128]);
    // The new program's index; -1 when it cannot be stored, the list then as it was.
    virtual int32_t addProgram(const char16_t* name);
    virtual bool setProgramInfo(int32_t index, const char* attributeId, const char16_t* value);
    // Made on the first call with one string per program; the list keeps the reference.
    virtual StringListParameter* getParameter();

    const ProgramListInfo& getInfo() const { return info; }
    int32_t getID() const { return info.id; }
    int32_t getUnitId() const { return unitId; }
    int32_t getCount() const { return info.programCount; }

    OBJ_METHODS(ProgramList, FObject)

protected:
    using Attributes = TDictionary<String, String>;

    bool validIndex(int32_t index) const { return index >= 0 && index < info.programCount; }
    // Takes back the last program's name and attributes (an addition that failed half way).
    void dropLastProgram();
    // Adds the other list's programs to this empty one through addProgram, with their attributes;
    // copyMore(i) copies what a subclass keeps for program i. Stops at the first that cannot be stored.
    template <class CopyMore>
    void appendPrograms(const ProgramList& other, CopyMore copyMore)
    {
        for (int32_t i = 0; i < other.info.programCount; ++i) {
            if (addProgram(other.names.at(i).text16()) != i)
                break;
            *attributes.at(i) = *other.attributes.at(i);
            copyMore(i);
        }
    }

    ProgramListInfo info;
    int32_t unitId;
    TArray<String> names;
    TArray<Attributes*> attributes;
    StringListParameter* parameter = nullptr;
};

class ProgramListWithPitchNames : public ProgramList
{
public:
    ProgramListWithPitchNames(const char16_t* name, int32_t listId, int32_t unitId);
    ProgramListWithPitchNames(const ProgramListWithPitchNames& other);
    ~ProgramListWithPitchNames() override;

    tresult hasPitchNames(int32_t index) override;
    tresult getPitchName(int32_t index, int16_t pitch, char16_t name[128]) override;
    int32_t addProgram(const char16_t* name) override;

    // False for a bad index or when nothing changed; a change is reported with changed (kChanged).
    bool setPitchName(int32_t index, int16_t pitch, const char16_t* name);
    bool removePitchName(int32_t index, int16_t pitch);

    OBJ_METHODS(ProgramListWithPitchNames, ProgramList)

protected:
    using PitchNames = TDictionary<int16_t, String>;

    TArray<PitchNames*> pitchNames;
};

} // namespace Qel
} // namespace Calvereth
