// Naming inside the sources that are compiled once per instruction-set variant.
//
// A variant source is compiled three times (see cmake/Primitives.cmake) with NORRIK_VARIANT set to
// m7_, u8_ or y8_. Every external name it defines must carry that prefix, and every internal helper
// must live in NORRIK_VARIANT_NS (or an anonymous namespace): a helper with one name in all three
// objects would let the linker keep the SSE4.1 copy for the baseline variant.
#pragma once

#include "primitives/common/ipptypes.h"

#define NORRIK_CAT2(a, b) a##b
#define NORRIK_CAT(a, b) NORRIK_CAT2(a, b)

#if defined(NORRIK_VARIANT)
// VARIANT(ippsSum_32f) is m7_ippsSum_32f in the m7_ build.
#define VARIANT(name) NORRIK_CAT(NORRIK_VARIANT, name)
#endif
