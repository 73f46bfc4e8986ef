// Real FFT set-up, forward transform into Perm and inverse transform from Perm.
#include <xmmintrin.h>

#include <cstdint>

#include "primitives/fft/fft_internal.h"
#include "primitives/fft/variant/fft_recombine.h"
#include "primitives/fft/variant/fft_vector_deps.h"
#include "primitives/fftkernels/fft_kernels.h"
#include "primitives/fftkernels/variant/fft_norm.h"
#include "primitives/fftkernels/variant/fft_plan.h"
#include "primitives/fftkernels/variant/fft_simd.h"

namespace NORRIK_VARIANT_NS {
namespace {

constexpr int kHeaderBytes = 136;

using namespace fft;

inline bool validFlag(int flag)
{
    return flag == 1 || flag == 2 || flag == 4 || flag == 8;
}

constexpr bool radix4Order(int order)
{
    return order >= 7 && order < kFftSettings.largeFromOrder;
}
constexpr bool largeOrder(int order)
{
    return order >= kFftSettings.largeFromOrder;
}

struct Sizes
{
    std::int64_t spec, init, work;
};

// Pure arithmetic on the order: no table is built, nothing allocated.
Sizes sizesOf(int order)
{
    if (order <= 4)
        return {168, 0, 0};
    const std::int64_t N = std::int64_t(1) << order, n = N / 2;
    std::int64_t T = 0, init = 0, work = 0;
    if (radix4Order(order)) {
        T = align32(n + 4) + align32(8 * n + 8);
        work = 8 * n;
    } else if (largeOrder(order)) {
        int spec = 0, largeInit = 0, largeWork = 0;
        VARIANT(ipps_getSizesTwd_Large_32f)(order - 1, &spec, &largeInit, &largeWork);
        T = spec;
        init = largeInit;
        work = largeWork;
    }
    const std::int64_t R = order < kFftSettings.recThreshold ? align32(8 * (N / 4))
                                                             : align32(8 * (std::int64_t(1) << (order - 12)) + 8192);
    if (order >= 11)
        init += align32(N + 4) + 32;
    return {192 + T + 2 * R, init, work > 0 ? work + 32 : 0};
}

// 1/sqrt(N) from the processor's estimate and one Newton step, in this exact order.
inline float invSqrtFactor(int order)
{
    const float x = static_cast<float>(1 << order);
    const float r0 = _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(x)));
    return (r0 * ((x * r0) * r0 - 3.0f)) * -0.5f;
}

// The transform's work buffer: the caller's rounded up to 32 bytes, or an own allocation.
class WorkBuffer
{
public:
    WorkBuffer(const RealFftSpec32f* spec, Ipp8u* caller)
    {
        if (spec->workBytes <= 0)
            return;
        if (caller) {
            ptr_ = align32(caller);
        } else {
            ptr_ = own_ = VARIANT(ippsMalloc_8u)(spec->workBytes);
        }
    }
    ~WorkBuffer() { VARIANT(ippsFree)(own_); }
    WorkBuffer(const WorkBuffer&) = delete;
    WorkBuffer& operator=(const WorkBuffer&) = delete;
    bool failed(const RealFftSpec32f* spec) const { return spec->workBytes > 0 && !ptr_; }
    Ipp8u* get() const { return ptr_; }

private:
    Ipp8u* ptr_ = nullptr;
    Ipp8u* own_ = nullptr;
};

inline IppStatus checkTransform(const Ipp32f* pSrc, Ipp32f* pDst, const RealFftSpec32f* pSpec)
{
    if (!pSpec)
        return ippStsNullPtrErr;
    if (pSpec->id != kRealFftSpecId)
        return ippStsContextMatchErr;
    if (!pSrc || !pDst)
        return ippStsNullPtrErr;
    return ippStsNoErr;
}

inline void runKernel(int row, int col, const Ipp32f* src, Ipp32f* dst, bool scaled, float factor)
{
    const FftFixKernelEntry& e = VARIANT(fft_fix_kernel_table_32f)[row + (scaled ? 1 : 0)][col];
    if (scaled)
        e.scaled(src, dst, factor);
    else
        e.plain(src, dst);
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

IPP_API IppStatus VARIANT(ippsFFTGetSize_R_32f)(int order, int flag, int /*hint*/, int* pSpecSize, int* pInitSize,
                                                int* pWorkSize)
{
    if (order < 0 || order > 30)
        return ippStsFftOrderErr;
    if (!pSpecSize || !pInitSize || !pWorkSize)
        return ippStsNullPtrErr;
    if (!validFlag(flag))
        return ippStsFftFlagErr;
    if (order > 29)
        return ippStsFftOrderErr;
    const Sizes s = sizesOf(order);
    *pSpecSize = static_cast<int>(s.spec);
    *pInitSize = static_cast<int>(s.init);
    *pWorkSize = static_cast<int>(s.work);
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsFFTInit_R_32f)(RealFftSpec32f** ppSpec, int order, int flag, int hint, Ipp8u* pMemSpec,
                                             Ipp8u* pMemInit)
{
    if (!ppSpec)
        return ippStsNullPtrErr;
    if (order < 0 || order > 29)
        return ippStsFftOrderErr;
    if (!pMemSpec)
        return ippStsNullPtrErr;
    RealFftSpec32f* spec = align32(reinterpret_cast<RealFftSpec32f*>(pMemSpec));
    Ipp8u* const s = reinterpret_cast<Ipp8u*>(spec);
    VARIANT(ippsZero_8u)(s, kHeaderBytes);
    spec->hint = static_cast<Ipp32u>(hint);
    spec->order = order;
    spec->selfAllocated = 0;
    if (!validFlag(flag))
        return ippStsFftFlagErr; // id stays 0
    const int N = 1 << order;
    spec->scaleForward = (flag == 1 || flag == 4) ? 1 : 0;
    spec->scaleInverse = (flag == 2 || flag == 4) ? 1 : 0;
    if (flag == 4)
        spec->factor = invSqrtFactor(order);
    else if (flag != 8)
        spec->factor = 1.0f / static_cast<float>(N);
    // The id is written last: a call that fails on the way never leaves a spec that looks valid.
    if (order >= 11 && !pMemInit)
        return ippStsNullPtrErr;
    if (order >= 5) {
        const float* base = VARIANT(fft_fix_twiddle_table_32f).sine;
        int baseOrder = 10;
        if (order >= 11) {
            float* table = align32(reinterpret_cast<float*>(pMemInit));
            VARIANT(ipps_initTabTwdBase_32f)(order, table);
            base = table;
            baseOrder = order;
        }
        const int m = order - 1;
        Ipp8u* next;
        if (order <= 6) {
            spec->workBytes = 0;
            next = align32(s + kHeaderBytes);
        } else if (largeOrder(order)) {
            spec->bitRevTable = reinterpret_cast<Ipp32u*>(s + kHeaderBytes);
            next = VARIANT(ipps_initTabTwd_Large_32f)(spec, m, base, baseOrder, spec->bitRevTable);
        } else {
            spec->bitRevTable = reinterpret_cast<Ipp32u*>(s + kHeaderBytes);
            Ipp8u* twd = VARIANT(ipps_initTabBitRevNorm)(m, spec->bitRevTable);
            spec->radix4Twiddles = reinterpret_cast<float*>(twd);
            next = VARIANT(ipps_initTabTwd_L1_32f)(m, base, baseOrder, spec->radix4Twiddles);
            spec->workBytes = 8 << m;
        }
        spec->realRecTwiddles = reinterpret_cast<float*>(next);
        next = VARIANT(ipps_initTabTwdRealRec_32f)(order, base, baseOrder, next);
        spec->ccsRecTwiddles = reinterpret_cast<float*>(next);
        VARIANT(ipps_initTabTwdCcsRec_32f)(order, base, baseOrder, next);
    }
    spec->id = kRealFftSpecId;
    *ppSpec = spec;
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsFFTInitAlloc_R_32f)(RealFftSpec32f** ppSpec, int order, int flag, int hint)
{
    if (!ppSpec)
        return ippStsNullPtrErr;
    int specSize = 0, initSize = 0, workSize = 0;
    const IppStatus st = VARIANT(ippsFFTGetSize_R_32f)(order, flag, hint, &specSize, &initSize, &workSize);
    if (st != ippStsNoErr)
        return st;
    Ipp8u* block = VARIANT(ippsMalloc_8u)(specSize);
    if (!block)
        return ippStsMemAllocErr;
    Ipp8u* init = nullptr;
    if (initSize > 0) {
        init = VARIANT(ippsMalloc_8u)(initSize);
        if (!init) {
            VARIANT(ippsFree)(block);
            return ippStsMemAllocErr;
        }
    }
    RealFftSpec32f* spec = nullptr;
    const IppStatus status = VARIANT(ippsFFTInit_R_32f)(&spec, order, flag, hint, block, init);
    VARIANT(ippsFree)(init);
    if (status != ippStsNoErr) {
        VARIANT(ippsFree)(block);
        return status;
    }
    spec->selfAllocated = 1;
    *ppSpec = spec;
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsFFTFree_R_32f)(RealFftSpec32f* pSpec)
{
    if (!pSpec)
        return ippStsNullPtrErr;
    if (pSpec->id != kRealFftSpecId)
        return ippStsContextMatchErr;
    pSpec->id = 0;
    if (pSpec->selfAllocated == 1)
        VARIANT(ippsFree)(pSpec);
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsFFTGetBufSize_R_32f)(const RealFftSpec32f* pSpec, int* pSize)
{
    if (!pSize || !pSpec)
        return ippStsNullPtrErr;
    if (pSpec->id != kRealFftSpecId)
        return ippStsContextMatchErr;
    *pSize = pSpec->workBytes >= 1 ? pSpec->workBytes + 32 : 0;
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsFFTFwd_RToPerm_32f)(const Ipp32f* pSrc, Ipp32f* pDst, const RealFftSpec32f* pSpec,
                                                  Ipp8u* pBuffer)
{
    const IppStatus st = checkTransform(pSrc, pDst, pSpec);
    if (st != ippStsNoErr)
        return st;
    const int order = pSpec->order;
    const bool scaled = pSpec->scaleForward == 1;
    if (order <= 4) {
        runKernel(kFftRowRFwd, order, pSrc, pDst, scaled, pSpec->factor);
        return ippStsNoErr;
    }
    WorkBuffer buffer(pSpec, pBuffer);
    if (buffer.failed(pSpec))
        return ippStsMemAllocErr;
    const int n = 1 << (order - 1);
    if (order == kFixedM + 1) { // the FIR's block: the last stage stays split for the sweep
        static_assert(kFixedM + 1 <= kFftSettings.normMaxOrder && radix4Order(kFixedM + 1));
        float* work = (pSrc != pDst && aligned16(pDst)) ? pDst : reinterpret_cast<float*>(buffer.get());
        normFirstStage<false>(pSrc, work, n, pSpec->bitRevTable);
        fixedStages<false, false, kFixedM>(work, work, pSpec->radix4Twiddles);
        if (scaled)
            VARIANT(ippsMulC_32f_I)(pSpec->factor, work, 2 * n);
        permFromSplit<1 << kFixedM>(work, pDst);
        return ippStsNoErr;
    }
    auto* dstC = reinterpret_cast<Ipp32fc*>(pDst);
    if (order <= 6) {
        runKernel(kFftRowCFwd, order - 1, pSrc, pDst, scaled, pSpec->factor);
    } else {
        if (largeOrder(order)) { // scales its rows itself
            VARIANT(ipps_cFftFwd_Large_32fc)
            (pSpec, reinterpret_cast<const Ipp32fc*>(pSrc), dstC, order - 1, reinterpret_cast<float*>(buffer.get()));
        } else if (order <= kFftSettings.normMaxOrder) {
            VARIANT(ipps_cRadix4FwdNorm_32fc)
            (reinterpret_cast<const Ipp32fc*>(pSrc), dstC, n, pSpec->radix4Twiddles, pSpec->bitRevTable, buffer.get());
        } else { // the bit-reversal order
            if (pSrc != pDst)
                VARIANT(ipps_BitRev2_C)(pSrc, pDst, n, pSpec->bitRevTable);
            else
                VARIANT(ipps_BitRev1_C)(pDst, n, pSpec->bitRevTable);
            VARIANT(ipps_cRadix4Fwd_32fc)(dstC, n, pSpec->radix4Twiddles, buffer.get(), 1);
        }
        if (scaled && !largeOrder(order))
            VARIANT(ippsMulC_32f_I)(pSpec->factor, pDst, 2 * n);
    }
    const float a = pDst[0], b = pDst[1];
    pDst[0] = a + b;
    pDst[1] = a - b;
    VARIANT(ipps_cRealRecombine_32f)(dstC, n, pSpec->realRecTwiddles);
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsFFTInv_PermToR_32f)(const Ipp32f* pSrc, Ipp32f* pDst, const RealFftSpec32f* pSpec,
                                                  Ipp8u* pBuffer)
{
    const IppStatus st = checkTransform(pSrc, pDst, pSpec);
    if (st != ippStsNoErr)
        return st;
    const int order = pSpec->order;
    const bool scaled = pSpec->scaleInverse == 1;
    if (order <= 4) {
        runKernel(kFftRowRInv, order, pSrc, pDst, scaled, pSpec->factor);
        return ippStsNoErr;
    }
    WorkBuffer buffer(pSpec, pBuffer);
    if (buffer.failed(pSpec))
        return ippStsMemAllocErr;
    const int n = 1 << (order - 1);
    auto* dstC = reinterpret_cast<Ipp32fc*>(pDst);
    const float dc = pSrc[0], nyq = pSrc[1];
    pDst[0] = dc + nyq;
    pDst[1] = dc - nyq;
    VARIANT(ipps_cCcsRecombine_32f)(reinterpret_cast<const Ipp32fc*>(pSrc), dstC, n, pSpec->ccsRecTwiddles);
    if (order <= 6) {
        runKernel(kFftRowCInv, order - 1, pDst, pDst, scaled, pSpec->factor);
        return ippStsNoErr;
    }
    if (largeOrder(order)) {
        VARIANT(ipps_cFftInv_Large_32fc)(pSpec, dstC, dstC, order - 1, reinterpret_cast<float*>(buffer.get()));
        return ippStsNoErr; // scaled its rows itself
    }
    if (order <= kFftSettings.normMaxOrder) {
        VARIANT(ipps_cRadix4InvNorm_32fc)(dstC, dstC, n, pSpec->radix4Twiddles, pSpec->bitRevTable, buffer.get());
    } else { // the bit-reversal order
        VARIANT(ipps_BitRev1_C)(pDst, n, pSpec->bitRevTable);
        VARIANT(ipps_cRadix4Inv_32fc)(dstC, n, pSpec->radix4Twiddles, buffer.get(), 1);
    }
    if (scaled)
        VARIANT(ippsMulC_32f_I)(pSpec->factor, pDst, 2 * n);
    return ippStsNoErr;
}
