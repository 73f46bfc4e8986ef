// The controller-side interfaces, the host's component handlers and the parameter information record.
#pragma once

#include "base/ibstream.h"
#include "qel/ipluginbase.h"
#include "qel/iplugview.h"

namespace Calvereth {
namespace Qel {

using ParamID = uint32_t;
using ParamValue = double;
using String128 = char16_t[128];

struct ParameterInfo
{
    enum
    {
        kTextSize = 128
    };
    ParamID id{};
    char16_t title[kTextSize]{};
    char16_t shortTitle[kTextSize]{};
    char16_t units[kTextSize]{};
    int32_t stepCount{}; // 0 continuous, 1 on/off, n > 1 discrete steps
    ParamValue defaultNormalizedValue{};
    int32_t unitId{};
    int32_t flags{};
};
static_assert(sizeof(ParameterInfo) == 792 && offsetof(ParameterInfo, title) == 4 &&
              offsetof(ParameterInfo, shortTitle) == 260 && offsetof(ParameterInfo, units) == 516 &&
              offsetof(ParameterInfo, stepCount) == 772 && offsetof(ParameterInfo, defaultNormalizedValue) == 776 &&
              offsetof(ParameterInfo, unitId) == 784 && offsetof(ParameterInfo, flags) == 788);

//------------------------------------------------------------------------
// Host side: told of edits made on the controller.
class IComponentHandler : public FUnknown
{
public:
    virtual int32_t beginEdit(ParamID id) = 0;                               // 3
    virtual int32_t performEdit(ParamID id, ParamValue valueNormalized) = 0; // 4
    virtual int32_t endEdit(ParamID id) = 0;                                 // 5
};

// Host side: a second handler whose four operations the controller only passes on.
class IComponentHandler2 : public FUnknown
{
public:
    virtual int32_t handlerOp3(uint8_t flag) = 0;    // 3
    virtual int32_t handlerOp4(const char* arg) = 0; // 4
    virtual int32_t handlerOp5() = 0;                // 5
    virtual int32_t handlerOp6() = 0;                // 6

    static const FUID iid;
};

DECLARE_CLASS_IID(IComponentHandler2, 0xF040B4B3, 0xA36045EC, 0xABCDC045, 0xB4D5A2CC)

//------------------------------------------------------------------------
class IEditController : public IPluginBase
{
public:
    virtual int32_t setComponentState(IBStream* state) = 0;                                              // 5
    virtual int32_t reservedSlot6(IBStream*) = 0;                                                        // 6: answers 3
    virtual int32_t reservedSlot7(IBStream*) = 0;                                                        // 7: answers 3
    virtual int32_t getParameterCount() = 0;                                                             // 8: a count
    virtual int32_t getParameterInfo(int32_t paramIndex, ParameterInfo& info) = 0;                       // 9
    virtual int32_t getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string) = 0; // 10
    virtual int32_t getParamValueByString(ParamID id, char16_t* string, ParamValue& valueNormalized) = 0; // 11
    virtual ParamValue normalizedParamToPlain(ParamID id, ParamValue valueNormalized) = 0;                // 12
    virtual ParamValue plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;                     // 13
    virtual ParamValue getParamNormalized(ParamID id) = 0;                                                // 14
    virtual int32_t setParamNormalized(ParamID id, ParamValue value) = 0;                                 // 15
    virtual int32_t setComponentHandler(IComponentHandler* handler) = 0;                                  // 16
    virtual IPlugView* createView(const char* name) = 0;                                                  // 17

    static const FUID iid;
};

DECLARE_CLASS_IID(IEditController, 0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E)

class IEditController2 : public FUnknown
{
public:
    virtual int32_t setSharedMode(int32_t mode) = 0; // 3
    virtual int32_t reservedSlot4(bool) = 0;         // 4: answers 1
    virtual int32_t reservedSlot5(bool) = 0;         // 5: answers 1

    static const FUID iid;
};

DECLARE_CLASS_IID(IEditController2, 0x7F4EFE59, 0xF3204967, 0xAC27A3AE, 0xAFB63038)

// Edits begun and ended by the host itself.
class IEditControllerHostEditing : public FUnknown
{
public:
    virtual int32_t beginHostEdit(ParamID id) = 0; // 3
    virtual int32_t endHostEdit(ParamID id) = 0;   // 4

    static const FUID iid;
};

DECLARE_CLASS_IID(IEditControllerHostEditing, 0xC1271208, 0x70594098, 0xB9DD34B3, 0x6BB0195E)

// A description of the controller's parameters in XML.
class IXmlRepresentationController : public FUnknown
{
public:
    virtual int32_t getXmlRepresentation(void* info, IBStream* stream) = 0; // 3

    static const FUID iid;
};

DECLARE_CLASS_IID(IXmlRepresentationController, 0xA81A0471, 0x48C34DC4, 0xAC30C9E1, 0x3C8393D5)

} // namespace Qel
} // namespace Calvereth
