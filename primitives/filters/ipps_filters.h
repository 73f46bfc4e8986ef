// FIR and biquad IIR filters on 32-bit floats.
//
// Every operation exists as m7_, u8_ and y8_ variant (one source, three instruction sets); the
// unprefixed names are the dispatch entries, which call the variant chosen by ippStaticInit.
// States are opaque: callers hold them by the pointer that the InitAlloc operation wrote.
#pragma once

#include "primitives/common/ipptypes.h"
// The operations, their variants and dispatch entries are declared with the other dispatched
// primitives.
#include "primitives/vector/ipps_vector.h"

// State kinds, the first 32-bit word of every state.
enum : Ipp32u
{
    kIirIdArbitrary = 0x49493031u,  // "II01"
    kIirIdBiQuad = 0x49493032u,     // "II02"
    kIirIdBiQuadDF1 = 0x49493239u,  // "II29"
    kFirIdSingleRate = 0x46493031u, // "FI01"
    kFirIdMultiRate = 0x46493033u,  // "FI03"
    kFirIdDirect = 0x46493333u,     // "FI33"
    kFirIdPolyphase = 0x46493334u,  // "FI34"
};
