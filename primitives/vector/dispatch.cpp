// Dispatch stubs of the vector operations.
#include "primitives/vector/ipps_vector.h"

IPPS_DEFINE_DISPATCHED(ippsMulC_32f_I, (Ipp32f val, Ipp32f* pSrcDst, Ipp32s len), (val, pSrcDst, len))
IPPS_DEFINE_DISPATCHED(ippsAdd_32f_I, (const Ipp32f* pSrc, Ipp32f* pSrcDst, Ipp32s len), (pSrc, pSrcDst, len))
IPPS_DEFINE_DISPATCHED(ippsSqr_32f, (const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s len), (pSrc, pDst, len))
IPPS_DEFINE_DISPATCHED(ippsSum_32f, (const Ipp32f* pSrc, Ipp32s len, Ipp32f* pSum, Ipp32s hint),
                       (pSrc, len, pSum, hint))
IPPS_DEFINE_DISPATCHED(ippsMax_32f, (const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMax), (pSrc, len, pMax))
IPPS_DEFINE_DISPATCHED(ippsMaxIndx_32f, (const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMax, Ipp32s* pIndx),
                       (pSrc, len, pMax, pIndx))
IPPS_DEFINE_DISPATCHED(ippsMinMax_32f, (const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMin, Ipp32f* pMax),
                       (pSrc, len, pMin, pMax))
IPPS_DEFINE_DISPATCHED(ippsMinMaxIndx_32f,
                       (const Ipp32f* pSrc, Ipp32s len, Ipp32f* pMin, Ipp32s* pMinIndx, Ipp32f* pMax, Ipp32s* pMaxIndx),
                       (pSrc, len, pMin, pMinIndx, pMax, pMaxIndx))
