// FIR and biquad IIR filters on 32-bit floats.
//
// Every operation exists as m7_, u8_ and y8_ variant (one source, three instruction sets); the
// unprefixed names are the dispatch entries, which call the variant chosen by ippStaticInit.
// States are opaque: callers hold them by the pointer that the InitAlloc operation wrote.
#pragma once

#include "primitives/common/ipptypes.h"

struct FirState32f;
struct IirState32f;

// State kinds, the first 32-bit word of every state.
enum : Ipp32u {
    kIirIdArbitrary = 0x49493031u,  // "II01"
    kIirIdBiQuad = 0x49493032u,     // "II02"
    kIirIdBiQuadDF1 = 0x49493239u,  // "II29"
    kFirIdSingleRate = 0x46493031u, // "FI01"
    kFirIdMultiRate = 0x46493033u,  // "FI03"
    kFirIdDirect = 0x46493333u,     // "FI33"
    kFirIdPolyphase = 0x46493334u,  // "FI34"
};

#define NORRIK_FILTERS_DECLARE(P)                                                                  \
    IPP_API IppStatus P##ippsIIRInitAlloc_BiQuad_32f(IirState32f** ppState, const Ipp32f* pTaps,   \
                                                      int numBq, const Ipp32f* pDlyLine);          \
    IPP_API IppStatus P##ippsIIRSetTaps_32f(const Ipp32f* pTaps, IirState32f* pState);             \
    IPP_API IppStatus P##ippsIIRSetDlyLine_32f(IirState32f* pState, const Ipp32f* pDlyLine);       \
    IPP_API IppStatus P##ippsIIRFree_32f(IirState32f* pState);                                     \
    IPP_API IppStatus P##ippsIIR_32f(const Ipp32f* pSrc, Ipp32f* pDst, int len,                    \
                                     IirState32f* pState);                                         \
    IPP_API IppStatus P##ippsFIRInitAlloc_32f(FirState32f** ppState, const Ipp32f* pTaps,          \
                                              int tapsLen, const Ipp32f* pDlyLine);                \
    IPP_API IppStatus P##ippsFIRSetDlyLine_32f(FirState32f* pState, const Ipp32f* pDlyLine);       \
    IPP_API IppStatus P##ippsFIRFree_32f(FirState32f* pState);                                     \
    IPP_API IppStatus P##ippsFIR_32f(const Ipp32f* pSrc, Ipp32f* pDst, int numIters,               \
                                     FirState32f* pState);

NORRIK_FILTERS_DECLARE(m7_)
NORRIK_FILTERS_DECLARE(u8_)
NORRIK_FILTERS_DECLARE(y8_)

// Dispatch entries (defined with the other dispatch stubs of the vector primitives).
NORRIK_FILTERS_DECLARE()
