#include "qel/programlist.h"

#include <new>

namespace Calvereth {
namespace Qel {
namespace {

// A text field of 128 units: at most 127 characters, always terminated.
void copyName(char16_t dest[128], const ConstString& text)
{
    text.copyTo16(dest, 0, 127);
}

// Replaced in place, so that a failed addition cannot lose the text held before.
template <class K>
bool store(TDictionary<K, String>& dictionary, const K& key, const char16_t* text)
{
    if (dictionary.contains(key)) {
        dictionary.lookup(key).value.assign(text ? text : u"");
        return true;
    }
    return dictionary.add(key, String(text ? text : u""));
}

// An empty or absent text answers 1.
tresult copyFound(char16_t dest[128], const String& text)
{
    if (text.isEmpty())
        return kResultFalse;
    copyName(dest, text);
    return kResultOk;
}

} // namespace

Unit::Unit(const char16_t* name, int32_t unitId, int32_t parentUnitId, int32_t programListId)
{
    info.id = unitId;
    info.parentUnitId = parentUnitId;
    info.programListId = programListId;
    copyName(info.name, ConstString(name));
}

ProgramList::ProgramList(const char16_t* name, int32_t listId, int32_t unit) : unitId(unit)
{
    info.id = listId;
    copyName(info.name, ConstString(name));
}

ProgramList::ProgramList(const ProgramList& other) : FObject(other), info(other.info), unitId(other.unitId)
{
    info.programCount = 0;
    appendPrograms(other, [](int32_t) {});
}

ProgramList::~ProgramList()
{
    for (int32_t i = 0; i < attributes.count(); ++i)
        delete attributes.at(i);
    if (parameter)
        parameter->release();
}

tresult ProgramList::getProgramName(int32_t index, char16_t name[128])
{
    if (index >= info.programCount)
        return kResultFalse;
    copyName(name, names.at(index)); // a negative index finds the empty null element
    return kResultOk;
}

tresult ProgramList::setProgramName(int32_t index, const char16_t* name)
{
    if (!validIndex(index))
        return kResultFalse;
    names.at(index).assign(name ? name : u"");
    return kResultOk;
}

tresult ProgramList::getProgramInfo(int32_t index, const char* attributeId, char16_t value[128])
{
    if (!validIndex(index) || !attributeId)
        return kResultFalse;
    return copyFound(value, attributes.at(index)->find(String(attributeId)));
}

tresult ProgramList::hasPitchNames(int32_t)
{
    return kResultFalse;
}

tresult ProgramList::getPitchName(int32_t, int16_t, char16_t[128])
{
    return kResultFalse;
}

int32_t ProgramList::addProgram(const char16_t* name)
{
    String text(name ? name : u"");
    if (name && name[0] && text.isEmpty())
        return -1;
    if (!names.add(text))
        return -1;
    Attributes* programAttributes = new (std::nothrow) Attributes;
    if (!programAttributes || !attributes.add(programAttributes)) {
        delete programAttributes;
        names.removeAt(names.count() - 1);
        return -1;
    }
    return info.programCount++;
}

void ProgramList::dropLastProgram()
{
    const int32_t last = info.programCount - 1;
    delete attributes.at(last);
    attributes.removeAt(last);
    names.removeAt(last);
    info.programCount = last;
}

bool ProgramList::setProgramInfo(int32_t index, const char* attributeId, const char16_t* value)
{
    if (!validIndex(index) || !attributeId)
        return false;
    return store(*attributes.at(index), String(attributeId), value);
}

StringListParameter* ProgramList::getParameter()
{
    if (parameter)
        return parameter;
    constexpr int32_t kProgramListFlags = 32777; // automatable, a list, the program change
    parameter = new (std::nothrow)
        StringListParameter(info.name, static_cast<ParamID>(info.id), nullptr, kProgramListFlags, unitId);
    for (int32_t i = 0; parameter && i < info.programCount; ++i)
        parameter->appendString(names.at(i).text16());
    return parameter;
}

ProgramListWithPitchNames::ProgramListWithPitchNames(const char16_t* name, int32_t listId, int32_t unitId)
: ProgramList(name, listId, unitId)
{}

// The programs are added here, not by the base's copy, so that each gets its pitch names' room.
ProgramListWithPitchNames::ProgramListWithPitchNames(const ProgramListWithPitchNames& other)
: ProgramList(other.info.name, other.info.id, other.unitId)
{
    appendPrograms(other, [&](int32_t i) { *pitchNames.at(i) = *other.pitchNames.at(i); });
}

ProgramListWithPitchNames::~ProgramListWithPitchNames()
{
    for (int32_t i = 0; i < pitchNames.count(); ++i)
        delete pitchNames.at(i);
}

tresult ProgramListWithPitchNames::hasPitchNames(int32_t index)
{
    if (!validIndex(index))
        return kResultFalse;
    return pitchNames.at(index)->isEmpty() ? kResultFalse : kResultOk;
}

tresult ProgramListWithPitchNames::getPitchName(int32_t index, int16_t pitch, char16_t name[128])
{
    if (!validIndex(index))
        return kResultFalse;
    return copyFound(name, pitchNames.at(index)->find(pitch));
}

int32_t ProgramListWithPitchNames::addProgram(const char16_t* name)
{
    const int32_t index = ProgramList::addProgram(name);
    if (index < 0)
        return -1;
    PitchNames* names = new (std::nothrow) PitchNames;
    if (!names || !pitchNames.add(names)) {
        delete names;
        dropLastProgram();
        return -1;
    }
    return index;
}

bool ProgramListWithPitchNames::setPitchName(int32_t index, int16_t pitch, const char16_t* name)
{
    if (!validIndex(index))
        return false;
    PitchNames& programPitches = *pitchNames.at(index);
    if (programPitches.contains(pitch) && programPitches.find(pitch) == ConstString(name ? name : u""))
        return false;
    if (!store(programPitches, pitch, name))
        return false;
    changed(kChanged);
    return true;
}

bool ProgramListWithPitchNames::removePitchName(int32_t index, int16_t pitch)
{
    if (!validIndex(index) || !pitchNames.at(index)->remove(pitch))
        return false;
    changed(kChanged);
    return true;
}

} // namespace Qel
} // namespace Calvereth
