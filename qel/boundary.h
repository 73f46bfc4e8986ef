// No exception crosses the host boundary: entries that can run out of memory run their body here.
#pragma once

#include "base/ftypes.h"

namespace Calvereth {

// The body's answer; `failed` when it throws. Every exception the system raises is an allocation
// failure (the standard allocator's or the aligned allocator's), so `failed` is kOutOfMemory unless
// the entry's caller knows only kResultFalse.
template <class Body>
tresult answerWithoutThrowing(Body&& body, tresult failed = kOutOfMemory) noexcept
{
    try {
        return body();
    } catch (...) {
        return failed;
    }
}

} // namespace Calvereth
