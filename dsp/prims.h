// The primitives and base services the engine runs on, gathered in one place.
#pragma once

#include "base/alignedmemory.h"
#include "primitives/filters/ipps_filters.h"
#include "primitives/vector/ipps_vector.h"

namespace DSP {

typedef ::IirState32f IirStateType;
typedef ::FirState32f FirStateType;

using ::alignedFree;
using ::alignedMalloc;

} // namespace DSP
