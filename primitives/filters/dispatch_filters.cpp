// Dispatch stubs 9 to 17: the filter operations.
#include "primitives/filters/ipps_filters.h"

IPPS_DEFINE_DISPATCHED(ippsIIRFree_32f, (IirState32f * pState), (pState))
IPPS_DEFINE_DISPATCHED(ippsIIRInitAlloc_BiQuad_32f,
                       (IirState32f * *ppState, const Ipp32f* pTaps, Ipp32s numBq, const Ipp32f* pDlyLine),
                       (ppState, pTaps, numBq, pDlyLine))
IPPS_DEFINE_DISPATCHED(ippsIIRSetDlyLine_32f, (IirState32f * pState, const Ipp32f* pDlyLine), (pState, pDlyLine))
IPPS_DEFINE_DISPATCHED(ippsIIR_32f, (const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s len, IirState32f* pState),
                       (pSrc, pDst, len, pState))
IPPS_DEFINE_DISPATCHED(ippsIIRSetTaps_32f, (const Ipp32f* pTaps, IirState32f* pState), (pTaps, pState))
IPPS_DEFINE_DISPATCHED(ippsFIRInitAlloc_32f,
                       (FirState32f * *ppState, const Ipp32f* pTaps, Ipp32s tapsLen, const Ipp32f* pDlyLine),
                       (ppState, pTaps, tapsLen, pDlyLine))
IPPS_DEFINE_DISPATCHED(ippsFIRFree_32f, (FirState32f * pState), (pState))
IPPS_DEFINE_DISPATCHED(ippsFIRSetDlyLine_32f, (FirState32f * pState, const Ipp32f* pDlyLine), (pState, pDlyLine))
IPPS_DEFINE_DISPATCHED(ippsFIR_32f, (const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s numIters, FirState32f* pState),
                       (pSrc, pDst, numIters, pState))
