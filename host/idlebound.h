// How long the main thread has waited for blocks without one being done, in wall time with stops
// left out as Platform::WaitBound counts them, in slices of 0.2 s.
#pragma once

#include "platform/waitbound.h"

#include <chrono>

namespace qelhost {

using Platform::WaitClock;

class IdleBound : public Platform::WaitBound
{
public:
    static constexpr duration kSlice = std::chrono::milliseconds(200);

    explicit IdleBound(duration bound, WaitClock& clock = WaitClock::steady()) : WaitBound(bound, kSlice, clock) {}
};

} // namespace qelhost
