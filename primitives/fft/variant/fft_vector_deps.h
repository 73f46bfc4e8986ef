// The vector primitives of this variant that the FFT calls directly (never the dispatch stubs).
#pragma once

#include "primitives/common/variant.h"
#include "primitives/vector/ipps_vector.h"
