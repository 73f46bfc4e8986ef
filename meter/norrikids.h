// Class identifiers of the meter's processor and controller.
#pragma once

#include "base/fuid.h"

namespace Norrik {

inline const Calvereth::FUID kProcessorUid(0x42613CDE, 0x35564653, 0xB0D40AD6, 0xBDC2AA79);
inline const Calvereth::FUID kControllerUid(0x6D826A83, 0x82B44A8D, 0xB374804F, 0xBE779C68);

} // namespace Norrik
