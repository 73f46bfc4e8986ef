// Bin-by-bin product of two spectra in the Perm layout.
#include <emmintrin.h>

#include "primitives/fft/fft_internal.h"
#include "primitives/fftkernels/variant/fft_simd.h"

namespace NORRIK_VARIANT_NS {
namespace {

using namespace fft;

inline void mpy(const Ipp32fc* s, const Ipp32fc* d, Ipp32fc* out, Ipp32u count)
{
    const float* sp = reinterpret_cast<const float*>(s);
    const float* dp = reinterpret_cast<const float*>(d);
    float* op = reinterpret_cast<float*>(out);
    Ipp32u j = 0;
    // Four at a time, all inputs read before the results are written.
    for (; j + 4 <= count; j += 4) {
        storeI(op + 2 * j, twistBy<false>(loadI(dp + 2 * j), loadI(sp + 2 * j)));
    }
    for (; j < count; ++j) {
        const Ipp32fc a = s[j], b = d[j];
        out[j] = {a.re * b.re - a.im * b.im, a.im * b.re + a.re * b.im};
    }
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

IPP_API void VARIANT(ownps_Mpy2_32fc)(const Ipp32fc* src, Ipp32fc* srcDst, Ipp32u count)
{
    mpy(src, srcDst, srcDst, count);
}

IPP_API void VARIANT(ownps_Mpy3_32fc)(const Ipp32fc* src1, const Ipp32fc* src2, Ipp32fc* dst, Ipp32u count)
{
    mpy(src1, src2, dst, count);
}

IPP_API IppStatus VARIANT(ippsMulPerm_32f_I)(const Ipp32f* pSrc, Ipp32f* pSrcDst, int len)
{
    if (!pSrc || !pSrcDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    pSrcDst[0] = pSrcDst[0] * pSrc[0];
    int start = 1;
    if (len % 2 == 0) {
        pSrcDst[1] = pSrcDst[1] * pSrc[1];
        start = 2;
    }
    const Ipp32u count = static_cast<Ipp32u>((len - start) / 2);
    if (count != 0)
        VARIANT(ownps_Mpy2_32fc)
    (reinterpret_cast<const Ipp32fc*>(pSrc + start), reinterpret_cast<Ipp32fc*>(pSrcDst + start), count);
    return ippStsNoErr;
}
