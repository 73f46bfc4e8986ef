// The processor-side component interface and the bus information record.
#pragma once

#include "base/ibstream.h"
#include "qel/ipluginbase.h"

namespace Calvereth {
namespace Qel {

struct BusInfo
{
    enum
    {
        kNameSize = 128
    };
    enum BusFlags : uint32_t
    {
        kDefaultActive = 1
    };
    enum BusType : int32_t
    {
        kMain = 0,
        kAux = 1
    };

    MediaType mediaType{};
    BusDirection direction{};
    int32_t channelCount{};
    char16_t name[kNameSize]{};
    int32_t busType{};
    uint32_t flags{};
};
static_assert(sizeof(BusInfo) == 276 && offsetof(BusInfo, channelCount) == 8 && offsetof(BusInfo, name) == 12 &&
              offsetof(BusInfo, busType) == 268 && offsetof(BusInfo, flags) == 272);

//------------------------------------------------------------------------
class IComponent : public IPluginBase
{
public:
    virtual int32_t getControllerClassId(TUID classId) = 0;                                         // 5
    virtual int32_t reservedSlot6(int32_t) = 0;                                                     // 6: answers 3
    virtual int32_t getBusCount(MediaType type, BusDirection dir) = 0;                              // 7: a count
    virtual int32_t getBusInfo(MediaType type, BusDirection dir, int32_t index, BusInfo& info) = 0; // 8
    virtual int32_t reservedSlot9(void*, void*) = 0;                                                // 9: answers 3
    virtual int32_t activateBus(MediaType type, BusDirection dir, int32_t index, bool state) = 0;   // 10
    virtual int32_t setActive(bool state) = 0;                                                      // 11
    virtual int32_t setState(IBStream* state) = 0;                                                  // 12
    virtual int32_t getState(IBStream* state) = 0;                                                  // 13

    static const FUID iid;
};

DECLARE_CLASS_IID(IComponent, 0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802)

} // namespace Qel
} // namespace Calvereth
