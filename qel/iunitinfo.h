// Units and program lists of a controller, and the host's unit handler.
#pragma once

#include "qel/qeltypes.h"

namespace Calvereth {
namespace Qel {

inline constexpr int32_t kRootUnitId = 0;
inline constexpr int32_t kNoParentUnitId = -1;
inline constexpr int32_t kNoProgramListId = -1;

struct UnitInfo
{
    int32_t id{};
    int32_t parentUnitId{};
    char16_t name[128]{};
    int32_t programListId{};
};
static_assert(sizeof(UnitInfo) == 268 && offsetof(UnitInfo, name) == 8 && offsetof(UnitInfo, programListId) == 264);

struct ProgramListInfo
{
    int32_t id{};
    char16_t name[128]{};
    int32_t programCount{};
};
static_assert(sizeof(ProgramListInfo) == 264 && offsetof(ProgramListInfo, name) == 4 &&
              offsetof(ProgramListInfo, programCount) == 260);

class IUnitInfo : public FUnknown
{
public:
    virtual int32_t getUnitCount() = 0;                                                           // 3: a count
    virtual int32_t getUnitInfo(int32_t unitIndex, UnitInfo& info) = 0;                           // 4
    virtual int32_t getProgramListCount() = 0;                                                    // 5: a count
    virtual int32_t getProgramListInfo(int32_t listIndex, ProgramListInfo& info) = 0;             // 6
    virtual int32_t getProgramName(int32_t listId, int32_t programIndex, char16_t name[128]) = 0; // 7
    virtual int32_t getProgramInfo(int32_t listId, int32_t programIndex, const char* attributeId,
                                   char16_t value[128]) = 0;                        // 8
    virtual int32_t hasProgramPitchNames(int32_t listId, int32_t programIndex) = 0; // 9
    virtual int32_t getProgramPitchName(int32_t listId, int32_t programIndex, int16_t pitch,
                                        char16_t name[128]) = 0; // 10
    virtual int32_t getSelectedUnit() = 0;                       // 11: an id
    virtual int32_t selectUnit(int32_t unitId) = 0;              // 12
    virtual int32_t reservedSlot13() = 0;                        // 13
    virtual int32_t reservedSlot14() = 0;                        // 14

    static const FUID iid;
};

DECLARE_CLASS_IID(IUnitInfo, 0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1)

// Host side: told of unit selection and program-list changes.
class IUnitHandler : public FUnknown
{
public:
    virtual int32_t notifyUnitSelection(int32_t unitId) = 0;                           // 3
    virtual int32_t notifyProgramListChange(int32_t listId, int32_t programIndex) = 0; // 4: -1 for the whole list

    static const FUID iid;
};

DECLARE_CLASS_IID(IUnitHandler, 0x4B5147F8, 0x4654486B, 0x8DAB30BA, 0x163A3C56)

} // namespace Qel
} // namespace Calvereth
