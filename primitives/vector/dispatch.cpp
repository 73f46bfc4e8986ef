// Dispatch stubs 1 to 8 of the vector operations, in table order.
#include "primitives/vector/ipps_vector.h"

#define VECTOR_STUBS(X)                                                                                                \
    X(ippsMulC_32f_I, (Ipp32f val, Ipp32f * pSrcDst, Ipp32s len), (val, pSrcDst, len))                                 \
    X(ippsAdd_32f_I, (const Ipp32f* pSrc, Ipp32f* pSrcDst, Ipp32s len), (pSrc, pSrcDst, len))                          \
    X(ippsSqr_32f, (const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s len), (pSrc, pDst, len))                                  \
    X(ippsSum_32f, (const Ipp32f* pSrc, Ipp32s len, Ipp32f* pSum, Ipp32s hint), (pSrc, len, pSum, hint))               \
    X(ippsMax_32f, (const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMax), (pSrc, len, pMax))                                  \
    X(ippsMaxIndx_32f, (const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMax, Ipp32s* pIndx), (pSrc, len, pMax, pIndx))        \
    X(ippsMinMax_32f, (const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMin, Ipp32f* pMax), (pSrc, len, pMin, pMax))           \
    X(ippsMinMaxIndx_32f,                                                                                              \
      (const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMin, Ipp32s* pMinIndx, Ipp32f* pMax, Ipp32s* pMaxIndx),                \
      (pSrc, len, pMin, pMinIndx, pMax, pMaxIndx))

IPPS_DEFINE_DISPATCH(VECTOR_STUBS)
