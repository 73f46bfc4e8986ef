// Message objects of the host, through which processor and controller talk, and their attribute lists.
#pragma once

#include "qel/qeltypes.h"

namespace Calvereth {
namespace Qel {

//------------------------------------------------------------------------
// Named attributes of a message; keys are 8-bit texts, string sizes count bytes.
class IMessageAttributes : public FUnknown
{
public:
    virtual int32_t setInt(const char* id, int64_t value) = 0;                               // 3
    virtual int32_t getInt(const char* id, int64_t& value) = 0;                              // 4: 0 when present
    virtual int32_t setFloat(const char* id, double value) = 0;                              // 5
    virtual int32_t getFloat(const char* id, double& value) = 0;                             // 6
    virtual int32_t setString(const char* id, const char16_t* string) = 0;                   // 7
    virtual int32_t getString(const char* id, char16_t* string, uint32_t sizeInBytes) = 0;   // 8: 0 when present
    virtual int32_t setBinary(const char* id, const void* data, uint32_t sizeInBytes) = 0;   // 9
    virtual int32_t getBinary(const char* id, const void*& data, uint32_t& sizeInBytes) = 0; // 10
};

using IAttributeList = IMessageAttributes;

//------------------------------------------------------------------------
class IMessage : public FUnknown
{
public:
    virtual const char* getMessageId() = 0;          // 3
    virtual void setMessageId(const char* id) = 0;   // 4
    virtual IMessageAttributes* getAttributes() = 0; // 5: no reference is added

    // Also the class identifier under which the host creates a message.
    static const FUID iid;
};

DECLARE_CLASS_IID(IMessage, 0x936F033B, 0xC6C047DB, 0xBB0882F8, 0x13C1E613)

} // namespace Qel
} // namespace Calvereth
