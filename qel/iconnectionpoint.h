// The connection point through which the host joins processor and controller.
#pragma once

#include "qel/imessage.h"

namespace Calvereth {
namespace Qel {

class IConnectionPoint : public FUnknown
{
public:
    virtual int32_t connect(IConnectionPoint* other) = 0;    // 3
    virtual int32_t disconnect(IConnectionPoint* other) = 0; // 4
    virtual int32_t notify(IMessage* message) = 0;           // 5

    static const FUID iid;
};

DECLARE_CLASS_IID(IConnectionPoint, 0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1)

} // namespace Qel
} // namespace Calvereth
