// Defines one dispatch stub and its table [m7_, m7_, u8_, y8_]. The stub checks nothing: it reads
// the variant index (a relaxed atomic load, a plain move, since another processor's set-up may
// store the same value meanwhile) and jumps, arguments untouched.
#pragma once

#include "primitives/vector/ipps_vector.h"

#define IPPS_DEFINE_DISPATCHED(name, params, args)                                                                     \
    extern "C" {                                                                                                       \
    const name##_Fn name##_arraddr[4] = {m7_##name, m7_##name, u8_##name, y8_##name};                                  \
    }                                                                                                                  \
    IPP_API IppStatus name params                                                                                      \
    {                                                                                                                  \
        return name##_arraddr[Ipp32u(__atomic_load_n(&ippJumpIndexForMergedLibs, __ATOMIC_RELAXED))] args;             \
    }
