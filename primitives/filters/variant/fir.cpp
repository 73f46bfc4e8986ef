// Single-rate FIR filter on 32-bit floats: direct convolution through the delay buffer, and for
// 64 taps and more on long calls, overlap-save block convolution by real FFT.
#include <emmintrin.h>

#include <cstdint>

#include "primitives/fft/fft_convolve.h"
#include "primitives/fft/ipps_fft.h"
#include "primitives/filters/variant/filters_variant.h"

namespace NORRIK_VARIANT_NS {
namespace {

constexpr int kFftMinTaps = 64;
constexpr int kFftMinIters = 512; // calls of more than 511 samples
constexpr int kRowsChunk = 68;    // row floats summed per chunk in the shifted-rows kernel

int rowLength(int T)
{
    return (T + 6) & ~3;
}

bool firKnownId(Ipp32u id)
{
    return id == kFirIdSingleRate || id == kFirIdMultiRate || id == kFirIdDirect || id == kFirIdPolyphase;
}

// ---- direct kernels -------------------------------------------------------------------------

// One output, oldest sample first: taps[T-1] w[0] + taps[T-2] w[1] + ... (taps read from tapsRepl).
float replSequential(const float* repl, const float* w, int T)
{
    float acc = repl[4 * (T - 1)] * w[0];
    for (int k = 1; k < T; ++k)
        acc = acc + repl[4 * (T - 1 - k)] * w[k];
    return acc;
}

// One output by passes of four taps from the oldest, each pass summed in pairs.
float replPasses(const float* repl, const float* w, int T)
{
    float out = 0.0f;
    int k = 0;
    for (; k + 4 <= T; k += 4) {
        const int j = T - 1 - k;
        const float s = (repl[4 * j] * w[k] + repl[4 * (j - 1)] * w[k + 1]) +
                        (repl[4 * (j - 2)] * w[k + 2] + repl[4 * (j - 3)] * w[k + 3]);
        out = k == 0 ? s : out + s;
    }
    const int r = T - k;
    if (r > 0) {
        const int j = T - 1 - k;
        float s = repl[4 * j] * w[k];
        if (r == 2)
            s = s + repl[4 * (j - 1)] * w[k + 1];
        if (r == 3)
            s = (s + repl[4 * (j - 1)] * w[k + 1]) + repl[4 * (j - 2)] * w[k + 2];
        out = k == 0 ? s : out + s;
    }
    return out;
}

// Four consecutive outputs (window at w) by the same passes, one lane per output.
__m128 replPasses4(const float* repl, const float* w, int T)
{
    __m128 out = _mm_setzero_ps();
    int k = 0;
    for (; k + 4 <= T; k += 4) {
        const int j = T - 1 - k;
        const __m128 s = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_load_ps(repl + 4 * j), _mm_loadu_ps(w + k)),
                                               _mm_mul_ps(_mm_load_ps(repl + 4 * (j - 1)), _mm_loadu_ps(w + k + 1))),
                                    _mm_add_ps(_mm_mul_ps(_mm_load_ps(repl + 4 * (j - 2)), _mm_loadu_ps(w + k + 2)),
                                               _mm_mul_ps(_mm_load_ps(repl + 4 * (j - 3)), _mm_loadu_ps(w + k + 3))));
        out = k == 0 ? s : _mm_add_ps(out, s);
    }
    const int r = T - k;
    if (r > 0) {
        const int j = T - 1 - k;
        __m128 s = _mm_mul_ps(_mm_load_ps(repl + 4 * j), _mm_loadu_ps(w + k));
        if (r == 2)
            s = _mm_add_ps(s, _mm_mul_ps(_mm_load_ps(repl + 4 * (j - 1)), _mm_loadu_ps(w + k + 1)));
        if (r == 3)
            s = _mm_add_ps(_mm_add_ps(s, _mm_mul_ps(_mm_load_ps(repl + 4 * (j - 1)), _mm_loadu_ps(w + k + 1))),
                           _mm_mul_ps(_mm_load_ps(repl + 4 * (j - 2)), _mm_loadu_ps(w + k + 2)));
        out = k == 0 ? s : _mm_add_ps(out, s);
    }
    return out;
}

void kernelReplicated(const float* repl, const float* w, float* dst, int n, int T)
{
    int i = 0;
    // Outputs one at a time until the destination is 16-byte aligned (a destination that is not
    // even float aligned never gets there and goes straight on).
    if ((reinterpret_cast<std::uintptr_t>(dst) & 3) == 0)
        for (; i < n && (reinterpret_cast<std::uintptr_t>(dst + i) & 15) != 0; ++i)
            dst[i] = replSequential(repl, w + i, T);
    for (; i + 8 <= n; i += 8) {
        const __m128 a = replPasses4(repl, w + i, T);
        const __m128 b = replPasses4(repl, w + i + 4, T);
        _mm_storeu_ps(dst + i, a);
        _mm_storeu_ps(dst + i + 4, b);
    }
    for (; i + 4 <= n; i += 4)
        _mm_storeu_ps(dst + i, replPasses4(repl, w + i, T));
    for (; i < n; ++i)
        dst[i] = replPasses(repl, w + i, T);
}

// One output over the reversed taps (row 0), oldest sample first.
float rowSequential(const float* rev, const float* w, int T)
{
    float acc = rev[0] * w[0];
    for (int k = 1; k < T; ++k)
        acc = acc + rev[k] * w[k];
    return acc;
}

// Outputs i .. i + 3 from the aligned window at w: output i + c is the dot product of shifted
// row c with the window, in four lanes over chunks of 68 row floats; each chunk's lanes are
// folded as (l0 + l1) + (l2 + l3) and added to the output.
__m128 rowsBlock4(const float* rows, const float* w, int R)
{
    __m128 out = _mm_setzero_ps();
    for (int q = 0; q < R; q += kRowsChunk) {
        const int end = q + kRowsChunk < R ? q + kRowsChunk : R;
        __m128 x = _mm_load_ps(w + q);
        __m128 a0 = _mm_mul_ps(_mm_load_ps(rows + q), x);
        __m128 a1 = _mm_mul_ps(_mm_load_ps(rows + R + q), x);
        __m128 a2 = _mm_mul_ps(_mm_load_ps(rows + 2 * R + q), x);
        __m128 a3 = _mm_mul_ps(_mm_load_ps(rows + 3 * R + q), x);
        for (int v = q + 4; v < end; v += 4) {
            x = _mm_load_ps(w + v);
            a0 = _mm_add_ps(a0, _mm_mul_ps(_mm_load_ps(rows + v), x));
            a1 = _mm_add_ps(a1, _mm_mul_ps(_mm_load_ps(rows + R + v), x));
            a2 = _mm_add_ps(a2, _mm_mul_ps(_mm_load_ps(rows + 2 * R + v), x));
            a3 = _mm_add_ps(a3, _mm_mul_ps(_mm_load_ps(rows + 3 * R + v), x));
        }
        _MM_TRANSPOSE4_PS(a0, a1, a2, a3); // a_l now holds lane l of the four outputs
        const __m128 h = _mm_add_ps(_mm_add_ps(a0, a1), _mm_add_ps(a2, a3));
        out = q == 0 ? h : _mm_add_ps(out, h);
    }
    return out;
}

// Outputs i .. i + 3 each summed as rowSequential does, one per lane (the window must hold
// T + 3 floats from w).
__m128 rowSequential4(const float* rev, const float* w, int T)
{
    __m128 acc = _mm_mul_ps(_mm_set1_ps(rev[0]), _mm_loadu_ps(w));
    for (int k = 1; k < T; ++k)
        acc = _mm_add_ps(acc, _mm_mul_ps(_mm_set1_ps(rev[k]), _mm_loadu_ps(w + k)));
    return acc;
}

void kernelRows(const float* rows, const float* w, float* dst, int n, int T)
{
    const int R = rowLength(T);
    // Lanes of one-at-a-time sums read ahead of their writes: only when dst is not the window.
    const auto at = [](const float* p) { return reinterpret_cast<std::uintptr_t>(p); };
    const bool lanes = n >= 4 && (at(dst + n) <= at(w) || at(w + n + T - 1) <= at(dst));
    int i = 0;
    int head = 0;
    while (head < n && (reinterpret_cast<std::uintptr_t>(w + head) & 15) != 0)
        ++head;
    if (head > 0 && lanes) {
        float four[4];
        _mm_storeu_ps(four, rowSequential4(rows, w, T));
        for (; i < head; ++i)
            dst[i] = four[i];
    }
    for (; i < head; ++i)
        dst[i] = rowSequential(rows, w + i, T);
    const int count = n - i;
    if (count >= 8) {
        // Each block of four reads R floats from its window: keep the last (count mod 4) + 4
        // outputs for the one-at-a-time sums so no read passes the window's end.
        const int blockEnd = i + count - (count % 4) - 4;
        for (; i < blockEnd; i += 4)
            _mm_storeu_ps(dst + i, rowsBlock4(rows, w + i, R));
    }
    const int tail = i;
    for (; lanes && n - i >= 4; i += 4)
        _mm_storeu_ps(dst + i, rowSequential4(rows, w + i, T));
    if (lanes && i < n && n - 4 >= tail) {
        // The last four again: the ones already written get the same values.
        _mm_storeu_ps(dst + n - 4, rowSequential4(rows, w + n - 4, T));
        i = n;
    }
    for (; i < n; ++i)
        dst[i] = rowSequential(rows, w + i, T);
}

// ---- state ----------------------------------------------------------------------------------

struct FirSizes
{
    std::int64_t tapsArea, delayArea, replArea, spectrumArea, bufferArea, workArea, total;
};

FirSizes firSizes(std::int64_t T, std::int64_t N, std::int64_t bufSize)
{
    FirSizes z{};
    z.tapsArea = kSettings.firTapRows ? 16 * static_cast<std::int64_t>((T + 6) & ~std::int64_t(3)) : roundUp16(4 * T);
    z.delayArea = (12 * T + 31) & ~std::int64_t(15);
    z.replArea = 16 * ((T + 3) & ~std::int64_t(3));
    z.spectrumArea = roundUp16(4 * N);
    z.bufferArea = roundUp16(bufSize); // keeps the work area behind it 16-byte aligned
    z.workArea = z.spectrumArea;
    z.total = static_cast<std::int64_t>(sizeof(FirState32f)) + z.tapsArea + z.delayArea + 16 + z.replArea +
              z.spectrumArea + z.bufferArea + z.workArea;
    return z;
}

void storeTaps(FirState32f* s, const Ipp32f* pTaps, int T)
{
    if (kSettings.firTapRows) {
        const int R = rowLength(T);
        VARIANT(ippsZero_32f)(s->taps, 4 * R);
        for (int c = 0; c < 4; ++c)
            for (int i = 0; i < T; ++i)
                s->taps[c * R + c + i] = pTaps[T - 1 - i];
    } else {
        for (int i = 0; i < T; ++i)
            s->taps[i] = pTaps[T - 1 - i];
    }
    const int T4 = (T + 3) & ~3;
    for (int i = 0; i < T4; ++i)
        for (int j = 0; j < 4; ++j)
            s->tapsRepl[4 * i + j] = i < T ? pTaps[i] : 0.0f;
}

void loadFirDelay(FirState32f* s, const void* pDlyLine, bool floats)
{
    const int n = s->delayLen;
    if (!pDlyLine) {
        VARIANT(ippsZero_32f)(s->delay, n);
        return;
    }
    if (floats) {
        const auto* d = static_cast<const Ipp32f*>(pDlyLine);
        for (int i = 0; i < n; ++i)
            s->delay[i] = d[n - 1 - i];
    } else {
        const auto* d = static_cast<const Ipp16s*>(pDlyLine);
        for (int i = 0; i < n; ++i)
            s->delay[i] = static_cast<float>(d[n - 1 - i]);
    }
}

// ---- filtering ------------------------------------------------------------------------------

// Forward transform into fftWork, product with the taps' spectrum, inverse in place, then the
// count values from M on to dst. The first block of a call stops on errors only, later blocks on
// any status but success.
IppStatus convolveBlock(FirState32f* s, const Ipp32f* fwdSrc, bool anyStatusStops, Ipp32f* dst, int count)
{
    const IppStatus st = fftConvolveBlock(static_cast<const RealFftSpec32f*>(s->fftSpec), fwdSrc, s->fftWork,
                                          s->tapsSpectrum, s->fftBuffer, dst, s->tapsLen - 1, count);
    return st < 0 || anyStatusStops ? st : ippStsNoErr;
}

IppStatus firFft(const Ipp32f* pSrc, Ipp32f* pDst, int numIters, FirState32f* s)
{
    const int T = s->tapsLen, M = T - 1, N = s->fftLen, L = N - M;
    const int p = s->delayPos;
    float* W = s->fftWork;
    s->delayPos = 0;
    VARIANT(ippsCopy_32f)(s->delay + p + 1, W, M);
    if (numIters <= L) {
        VARIANT(ippsCopy_32f)(pSrc, W + M, numIters);
        VARIANT(ippsCopy_32f)(W + M + numIters - T, s->delay, T);
        VARIANT(ippsZero_32f)(W + M + numIters, N - M - numIters); // nothing when it fits exactly
        const IppStatus st = convolveBlock(s, W, false, pDst, numIters);
        return st < 0 ? st : ippStsNoErr;
    }
    VARIANT(ippsCopy_32f)(pSrc, W + M, L);
    IppStatus st = convolveBlock(s, W, false, pDst, L);
    if (st < 0)
        return st;
    VARIANT(ippsCopy_32f)(pSrc + numIters - T, s->delay, T);
    for (int done = L; done < numIters; done += L) {
        const int R = numIters - done;
        const Ipp32f* win = pSrc + done - M;
        if (R >= N) {
            st = convolveBlock(s, win, true, pDst + done, R < L ? R : L);
        } else {
            const int c = R + M < N ? R + M : N;
            VARIANT(ippsCopy_32f)(win, W, c);
            VARIANT(ippsZero_32f)(W + c, N - c);
            st = convolveBlock(s, W, true, pDst + done, R < L ? R : L);
        }
        if (st != ippStsNoErr)
            return st;
    }
    return ippStsNoErr;
}

void firDirect(const Ipp32f* pSrc, Ipp32f* pDst, int numIters, FirState32f* s)
{
    const int T = s->tapsLen, M = T - 1;
    const bool rows = kSettings.firTapRows && T > kSettings.firRowsAboveTaps;
    const Ipp32f* taps = rows ? s->taps : s->tapsRepl;
    const int layout = rows ? 1 : 0;
    float* d = s->delay + s->delayPos;
    s->delayPos = 0;
    if (numIters <= s->directLimit) {
        VARIANT(ippsCopy_32f)(pSrc, d + T, numIters);
        VARIANT(ownFIRSR_32f)(taps, d + 1, pDst, numIters, T, layout);
        VARIANT(ippsMove_32f)(d + numIters, s->delay, T);
        return;
    }
    const int T4 = s->directLimit - 1;
    VARIANT(ippsCopy_32f)(pSrc, d + T, s->directLimit);
    VARIANT(ownFIRSR_32f)(taps, d + 1, pDst, T4, T, layout);
    VARIANT(ippsCopy_32f)(pSrc + numIters - T, s->delay, T);
    VARIANT(ownFIRSR_32f)(taps, pSrc + T4 - M, pDst + T4, numIters - T4, T, layout);
}

// Output sharing memory with the input, at or before it: calls short enough to copy all their
// input into the state (the delay buffer, or the FFT work area) before writing any output, one
// after the other.
IppStatus firInPlace(const Ipp32f* pSrc, Ipp32f* pDst, int numIters, FirState32f* s, bool fft)
{
    const int step = fft ? s->fftLen - (s->tapsLen - 1) : s->directLimit;
    for (int done = 0; done < numIters; done += step) {
        const int n = numIters - done < step ? numIters - done : step;
        if (!fft) {
            firDirect(pSrc + done, pDst + done, n, s);
            continue;
        }
        const IppStatus st = firFft(pSrc + done, pDst + done, n, s);
        if (st != ippStsNoErr)
            return st;
    }
    return ippStsNoErr;
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

IPP_API void VARIANT(ownFIRSR_32f)(const Ipp32f* pTaps, const Ipp32f* pWin, Ipp32f* pDst, int numOut, int tapsLen,
                                   int layout)
{
    if (layout == 1 && kSettings.firTapRows)
        kernelRows(pTaps, pWin, pDst, numOut, tapsLen);
    else
        kernelReplicated(pTaps, pWin, pDst, numOut, tapsLen);
}

IPP_API IppStatus VARIANT(ownsFIRInitAlloc_32f)(FirState32f** ppState, const Ipp32f* pTaps, int tapsLen,
                                                const void* pDlyLine, Ipp32u id)
{
    const int T = tapsLen;
    RealFftSpec32f* spec = nullptr;
    int order = 0, bufSize = 0;
    std::int64_t N = 0;
    if (T >= kFftMinTaps) {
        int k = 2;
        while ((std::int64_t(1) << k) <= T)
            ++k;
        order = k + 1;
        N = std::int64_t(1) << order;
        // A failed set-up reports its own status (out of memory, order out of range ...).
        IppStatus st = VARIANT(ippsFFTInitAlloc_R_32f)(&spec, order, 2, 0);
        if (st < 0 || !spec)
            return st < 0 ? st : ippStsMemAllocErr;
        st = VARIANT(ippsFFTGetBufSize_R_32f)(spec, &bufSize);
        if (st < 0) {
            VARIANT(ippsFFTFree_R_32f)(spec);
            return st;
        }
        if (bufSize < 0)
            bufSize = 0;
    }
    const FirSizes z = firSizes(T, N, bufSize);
    Ipp8u* block = z.total <= INT32_MAX ? VARIANT(ippsMalloc_8u)(static_cast<int>(z.total)) : nullptr;
    if (!block) {
        if (spec)
            VARIANT(ippsFFTFree_R_32f)(spec);
        return ippStsMemAllocErr;
    }
    auto* s = reinterpret_cast<FirState32f*>(block);
    *s = FirState32f{};
    Ipp8u* at = block + sizeof(FirState32f);
    s->taps = reinterpret_cast<Ipp32f*>(at);
    at += z.tapsArea;
    s->delay = reinterpret_cast<Ipp32f*>(at);
    at += z.delayArea;
    s->delayEnd = at;
    at += 16;
    s->tapsRepl = reinterpret_cast<Ipp32f*>(at);
    at += z.replArea;
    s->id = id;
    s->tapsLen = T;
    s->delayLen = T;
    s->delayPos = 0;
    s->fftBufferSize = bufSize;
    s->selfAllocated = 1;
    s->indexTable = nullptr;
    s->fftSpec = spec;
    storeTaps(s, pTaps, T);
    loadFirDelay(s, pDlyLine, id == kFirIdSingleRate);
    s->directLimit = ((T + 3) & ~3) + 1;
    if (!spec) {
        s->fftLen = -1;
        s->tapsSpectrum = nullptr;
        *ppState = s;
        return ippStsNoErr;
    }
    s->fftLen = static_cast<int>(N);
    s->tapsSpectrum = reinterpret_cast<Ipp32f*>(at);
    at += z.spectrumArea;
    s->fftBuffer = bufSize > 0 ? at : nullptr;
    at += z.bufferArea;
    s->fftWork = reinterpret_cast<Ipp32f*>(at);
    VARIANT(ippsCopy_32f)(pTaps, s->tapsSpectrum, T);
    VARIANT(ippsZero_32f)(s->tapsSpectrum + T, s->fftLen - T);
    const IppStatus st = VARIANT(ippsFFTFwd_RToPerm_32f)(s->tapsSpectrum, s->tapsSpectrum, spec, s->fftBuffer);
    if (st < 0) {
        // Everything is released; the caller's pointer was never set.
        VARIANT(ippsFFTFree_R_32f)(spec);
        VARIANT(ippsFree)(block);
        return st;
    }
    *ppState = s;
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsFIRInitAlloc_32f)(FirState32f** ppState, const Ipp32f* pTaps, int tapsLen,
                                                const Ipp32f* pDlyLine)
{
    if (!ppState || !pTaps)
        return ippStsNullPtrErr;
    if (tapsLen < 1)
        return ippStsFIRLenErr;
    return VARIANT(ownsFIRInitAlloc_32f)(ppState, pTaps, tapsLen, pDlyLine, kFirIdSingleRate);
}

IPP_API IppStatus VARIANT(ippsFIRSetDlyLine_32f)(FirState32f* pState, const Ipp32f* pDlyLine)
{
    if (!pState)
        return ippStsNullPtrErr;
    if (pState->id != kFirIdSingleRate && pState->id != kFirIdMultiRate)
        return ippStsContextMatchErr;
    pState->delayPos = 0;
    loadFirDelay(pState, pDlyLine, true);
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsFIRFree_32f)(FirState32f* pState)
{
    if (!pState)
        return ippStsNullPtrErr;
    if (!firKnownId(pState->id))
        return ippStsContextMatchErr;
    if (!pState->selfAllocated)
        return ippStsNoErr;
    if (pState->fftSpec)
        VARIANT(ippsFFTFree_R_32f)(static_cast<RealFftSpec32f*>(pState->fftSpec));
    VARIANT(ippsFree)(pState);
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsFIR_32f)(const Ipp32f* pSrc, Ipp32f* pDst, int numIters, FirState32f* pState)
{
    if (!pState || !pSrc || !pDst)
        return ippStsNullPtrErr;
    if (numIters < 1)
        return ippStsSizeErr;
    if (pState->id != kFirIdSingleRate)
        return firOtherKinds(pSrc, pDst, numIters, pState);
    const bool fft = numIters >= kFftMinIters && pState->fftLen > 0;
    if (pDst < pSrc + numIters && pSrc < pDst + numIters) {
        // Output after its input: the input moves to where the output goes, to be filtered there.
        if (pDst > pSrc) {
            VARIANT(ippsMove_32f)(pSrc, pDst, numIters);
            pSrc = pDst;
        }
        return firInPlace(pSrc, pDst, numIters, pState, fft);
    }
    if (fft)
        return firFft(pSrc, pDst, numIters, pState);
    firDirect(pSrc, pDst, numIters, pState);
    return ippStsNoErr;
}
