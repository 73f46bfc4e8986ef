// Dispatch stubs 9 to 17: the filter operations, in table order.
#include "primitives/filters/ipps_filters.h"

#define FILTER_STUBS(X)                                                                                                \
    X(ippsIIRFree_32f, (IirState32f * pState), (pState))                                                               \
    X(ippsIIRInitAlloc_BiQuad_32f,                                                                                     \
      (IirState32f * *ppState, const Ipp32f* pTaps, Ipp32s numBq, const Ipp32f* pDlyLine),                             \
      (ppState, pTaps, numBq, pDlyLine))                                                                               \
    X(ippsIIRSetDlyLine_32f, (IirState32f * pState, const Ipp32f* pDlyLine), (pState, pDlyLine))                       \
    X(ippsIIR_32f, (const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s len, IirState32f* pState), (pSrc, pDst, len, pState))     \
    X(ippsIIRSetTaps_32f, (const Ipp32f* pTaps, IirState32f* pState), (pTaps, pState))                                 \
    X(ippsFIRInitAlloc_32f, (FirState32f * *ppState, const Ipp32f* pTaps, Ipp32s tapsLen, const Ipp32f* pDlyLine),     \
      (ppState, pTaps, tapsLen, pDlyLine))                                                                             \
    X(ippsFIRFree_32f, (FirState32f * pState), (pState))                                                               \
    X(ippsFIRSetDlyLine_32f, (FirState32f * pState, const Ipp32f* pDlyLine), (pState, pDlyLine))                       \
    X(ippsFIR_32f, (const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s numIters, FirState32f* pState),                           \
      (pSrc, pDst, numIters, pState))

IPPS_DEFINE_DISPATCH(FILTER_STUBS)
