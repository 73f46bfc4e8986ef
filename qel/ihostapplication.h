// The host application, asked of the context given at initialisation.
#pragma once

#include "qel/qeltypes.h"

namespace Calvereth {
namespace Qel {

class IHostApplication : public FUnknown
{
public:
    virtual int32_t getName(char16_t name[128]) = 0;                                // 3
    virtual int32_t createInstance(const TUID cid, const TUID iid, void** obj) = 0; // 4

    static const FUID iid;
};

DECLARE_CLASS_IID(IHostApplication, 0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5)

} // namespace Qel
} // namespace Calvereth
