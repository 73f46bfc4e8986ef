// Declaring and defining the m7_/u8_/y8_ variants of an operation, and the dispatch stubs that
// jump to one of them by the process-wide variant index.
#pragma once

#include "primitives/common/ipptypes.h"

// Variant index read by every stub: 0 or 1 runs m7_, 2 runs u8_, 3 runs y8_. Set by ippStaticInit.
IPP_API Ipp32s ippJumpIndexForMergedLibs;

// Declares one function under the three variant prefixes.
#define IPPS_DECLARE_VARIANTS(ret, name, args)                                                                         \
    IPP_API ret m7_##name args;                                                                                        \
    IPP_API ret u8_##name args;                                                                                        \
    IPP_API ret y8_##name args;

// Declares the stub, its table and the three variant functions of one dispatched operation
// (name##_Fn is the operation's function type).
#define IPPS_DECLARE_DISPATCHED(name, params)                                                                          \
    IPPS_DECLARE_VARIANTS(IppStatus, name, params)                                                                     \
    IPP_API IppStatus name params;                                                                                     \
    IPP_API const name##_Fn name##_arraddr[4];

// Defines one stub and its table [m7_, m7_, u8_, y8_]. The stub checks nothing: it reads the
// variant index (a relaxed atomic load, a plain move, since another processor's set-up may store
// the same value meanwhile) and jumps, arguments untouched. Every table goes to one section, in
// the order of definition (the sources that define them are compiled without top-level
// reordering, and the vector library's come first in the bundle), so that the seventeen tables
// lie consecutive in the order of their stubs.
#define IPPS_DEFINE_DISPATCHED(name, params, args)                                                                     \
    extern "C" {                                                                                                       \
    __attribute__((section("ipps_dispatch")))                                                                          \
    const name##_Fn name##_arraddr[4] = {m7_##name, m7_##name, u8_##name, y8_##name};                                  \
    }                                                                                                                  \
    IPP_API IppStatus name params                                                                                      \
    {                                                                                                                  \
        return name##_arraddr[Ipp32u(__atomic_load_n(&ippJumpIndexForMergedLibs, __ATOMIC_RELAXED))] args;             \
    }
