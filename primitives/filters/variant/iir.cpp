// Biquad-cascade IIR filter (transposed direct form II) on 32-bit floats.
//
// Each variant performs the same float operations in the same order, so all of them give the same
// bits. The block path computes the feed-forward parts of a whole chunk, then the recursion four
// outputs per step from a look-ahead table; chunks of at most four samples per biquad go sample by
// sample.
#include <emmintrin.h>

#include <cstdint>

#include "primitives/filters/variant/filters_variant.h"

namespace NORRIK_VARIANT_NS {
namespace {

constexpr int kChunk = 1024;
constexpr std::int64_t kHeaderBytes = 96;

// Delay-line floats per biquad: s1 s2 in transposed form II; x[t-2] x[t-1] y[t-2] y[t-1] in
// direct form 1.
std::int64_t delayPerBiquad(Ipp32u id)
{
    return id == kIirIdBiQuadDF1 ? 4 : 2;
}

// Size of a cascade state in 64 bits, so that an absurd biquad count cannot wrap.
std::int64_t biquadStateSize(std::int64_t numBq, Ipp32u id)
{
    const std::int64_t work = id == kIirIdBiQuad ? kChunk : 2 * kChunk;
    return roundUp16(20 * numBq) + roundUp16(4 * delayPerBiquad(id) * numBq) + 4 * (40 * numBq + work) + 168;
}

bool isCascadeId(Ipp32u id)
{
    return id == kIirIdBiQuad || id == kIirIdBiQuadDF1;
}

bool isKnownIirId(Ipp32u id)
{
    return id == kIirIdBiQuad || id == kIirIdArbitrary || id == kIirIdBiQuadDF1;
}

// Lays the record and its areas out in the given memory.
IirState32f* layOutBiquad(void* memory, int numBq, Ipp32u id)
{
    auto* s = static_cast<IirState32f*>(memory);
    auto* base = static_cast<Ipp8u*>(memory);
    const std::int64_t n = numBq;
    s->id = id;
    s->taps = reinterpret_cast<Ipp32f*>(base + kHeaderBytes);
    s->dlyLine = reinterpret_cast<Ipp32f*>(base + kHeaderBytes + roundUp16(20 * n));
    s->order = static_cast<int>(delayPerBiquad(id)) * numBq;
    s->numBq = numBq;
    s->selfAllocated = 0;
    Ipp32f* x =
        reinterpret_cast<Ipp32f*>(base + kHeaderBytes + roundUp16(20 * n) + roundUp16(4 * delayPerBiquad(id) * n));
    s->xTable = x;
    s->yTable = x + 12 * n;
    s->oneTable = x + 32 * n;
    s->work = x + 40 * n;
    s->work2 = id == kIirIdBiQuad ? nullptr : s->work + kChunk;
    return s;
}

void loadDelayLine(IirState32f* s, const Ipp32f* pDlyLine)
{
    if (s->order < 1)
        return;
    if (pDlyLine)
        VARIANT(ippsCopy_32f)(pDlyLine, s->dlyLine, s->order);
    else
        VARIANT(ippsZero_32f)(s->dlyLine, s->order);
}

// Every biquad is checked before any is written, so a refused call leaves the state as it was.
IppStatus setTapsBiquad(const Ipp32f* pTaps, IirState32f* s)
{
    const int n = s->numBq;
    for (int k = 0; k < n; ++k) {
        if (pTaps[6 * k + 3] == 0.0f || pTaps[6 * k] == 0.0f)
            return ippStsDivByZeroErr;
    }
    for (int k = 0; k < n; ++k) {
        const Ipp32f* t = pTaps + 6 * k;
        const float r = 1.0f / t[3];
        float* tp = s->taps + 5 * k;
        tp[0] = t[0] * r;
        tp[1] = t[1] * r;
        tp[2] = t[2] * r;
        tp[3] = t[4] * r;
        tp[4] = t[5] * r;
    }
    for (int k = 0; k < n; ++k) {
        const Ipp32f* t = pTaps + 6 * k;
        const float r = 1.0f / t[3];
        const float b0 = t[0] * r, b1 = t[1] * r, b2 = t[2] * r;
        const float c1 = (0.0f - r) * t[4];
        const float c2 = (0.0f - r) * t[5];
        float* x = s->xTable + 12 * k;
        for (int j = 0; j < 4; ++j) {
            x[j] = b0;
            x[4 + j] = b1;
            x[8 + j] = b2;
        }
        float* o = s->oneTable + 8 * k;
        o[0] = b0;
        o[1] = b1;
        o[2] = b2;
        o[3] = 0.0f;
        o[4] = c1;
        o[5] = c2;
        o[6] = 0.0f;
        o[7] = 0.0f;
        const float h2 = c1 * c1 + c2;
        const float h3 = (h2 + c2) * c1;
        const float h4 = h2 * c2 + c1 * h3;
        const float p = c1 * c2;
        const float q2 = c2 * c2 + c1 * p;
        const float q3 = c2 * p + c1 * q2;
        const float y[20] = {c1, h2, h3, h4, c2, p, q2, q3, 1.0f, c1, h2, h3, 0.0f, 1.0f, c1, h2, 0.0f, 0.0f, 1.0f, c1};
        for (int j = 0; j < 20; ++j)
            s->yTable[20 * k + j] = y[j];
    }
    return ippStsNoErr;
}

// Arbitrary order N: taps b0..bN, a0..aN. Only a0 is tested.
IppStatus setTapsArbitrary(const Ipp32f* pTaps, IirState32f* s)
{
    const int N = s->order;
    const float a0 = pTaps[N + 1];
    if (a0 == 0.0f)
        return ippStsDivByZeroErr;
    const float r = 1.0f / a0;
    s->taps[0] = pTaps[0] * r;
    for (int i = 1; i <= N; ++i) {
        s->taps[i] = pTaps[i] * r;
        s->taps[N + i] = pTaps[N + 1 + i] * r;
    }
    for (int j = 0; j <= N; ++j)
        for (int l = 0; l < 4; ++l)
            s->xTable[4 * j + l] = pTaps[j] * r;
    if (N == 0)
        return ippStsNoErr;
    // c[i] = -a_i for i = 1 .. N, zero beyond.
    auto c = [&](int i) { return i <= N ? (0.0f - r) * pTaps[N + 1 + i] : 0.0f; };
    const float c1 = c(1), c2 = c(2), c3 = c(3);
    float* y = s->yTable;
    for (int j = 0; j < N; ++j) {
        const float g0 = c(j + 1);
        float g1 = c1 * c(j + 1);
        if (j + 2 <= N)
            g1 = g1 + c(j + 2);
        float g2 = g1 * c1 + c2 * g0;
        if (j + 3 <= N)
            g2 = g2 + c(j + 3);
        float g3 = (g2 * c1 + c2 * g1) + c3 * g0;
        if (j + 4 <= N)
            g3 = g3 + c(j + 4);
        y[4 * j] = g0;
        y[4 * j + 1] = g1;
        y[4 * j + 2] = g2;
        y[4 * j + 3] = g3;
    }
    const float g1 = y[1], g2 = y[2];
    const float tail[12] = {1.0f, c1, g1, g2, 0.0f, 1.0f, c1, g1, 0.0f, 0.0f, 1.0f, c1};
    for (int k = 0; k < 12; ++k)
        y[4 * N + k] = tail[k];
    return ippStsNoErr;
}

// Direct-form-1 biquads: every biquad is checked before any is written.
IppStatus setTapsBiquadDF1(const Ipp32f* pTaps, IirState32f* s)
{
    const int n = s->numBq;
    for (int k = 0; k < n; ++k)
        if (pTaps[6 * k + 3] == 0.0f)
            return ippStsDivByZeroErr;
    for (int k = 0; k < n; ++k) {
        const Ipp32f* t = pTaps + 6 * k;
        float* tp = s->taps + 5 * k;
        const float src[5] = {t[0], t[1], t[2], t[4], t[5]};
        if (t[3] == 1.0f) {
            for (int i = 0; i < 5; ++i)
                tp[i] = src[i];
        } else {
            const float r = 1.0f / t[3];
            for (int i = 0; i < 5; ++i)
                tp[i] = src[i] * r;
        }
    }
    return ippStsNoErr;
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

// Feed-forward sums of the arbitrary-order filter: pV[j] = sum over q of b[N - q] x[j + q].
IPP_API void VARIANT(ownsIIRxAR_32f)(const Ipp32f* pX, Ipp32f* pV, int count, const Ipp32f* xTable, int N)
{
    int j = 0;
    for (; j + 4 <= count; j += 4) {
        __m128 acc = _mm_mul_ps(_mm_load_ps(xTable + 4 * N), _mm_loadu_ps(pX + j));
        for (int q = 1; q <= N; ++q)
            acc = _mm_add_ps(acc, _mm_mul_ps(_mm_load_ps(xTable + 4 * (N - q)), _mm_loadu_ps(pX + j + q)));
        _mm_storeu_ps(pV + j, acc);
    }
    for (; j < count; ++j) {
        float acc = xTable[4 * N] * pX[j];
        for (int q = 1; q <= N; ++q)
            acc = acc + xTable[4 * (N - q)] * pX[j + q];
        pV[j] = acc;
    }
}

// Recursion of the arbitrary-order filter: pY[0 .. N-1] are the outputs before the block,
// pV[t - N] = v[t]; writes pY[N .. N + count - 1].
IPP_API void VARIANT(ownsIIRyAR_32f)(const Ipp32f* pV, Ipp32f* pY, int count, const Ipp32f* yTable, int N)
{
    const float* tail = yTable + 4 * N;
    const __m128 wv0 = _mm_loadu_ps(tail), wv1 = _mm_loadu_ps(tail + 4), wv2 = _mm_loadu_ps(tail + 8);
    const int end = N + count;
    int t = N;
    for (; t + 4 <= end; t += 4) {
        const float* v = pV + (t - N);
        __m128 past = _mm_mul_ps(_mm_loadu_ps(yTable), _mm_set1_ps(pY[t - 1]));
        for (int j = 1; j < N; ++j)
            past = _mm_add_ps(past, _mm_mul_ps(_mm_loadu_ps(yTable + 4 * j), _mm_set1_ps(pY[t - 1 - j])));
        const __m128 f01 = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(v[0]), wv0), _mm_mul_ps(_mm_set1_ps(v[1]), wv1));
        const __m128 f23 = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(v[2]), wv2), _mm_set_ps(v[3], 0.0f, 0.0f, 0.0f));
        _mm_storeu_ps(pY + t, _mm_add_ps(past, _mm_add_ps(f01, f23)));
    }
    for (; t < end; ++t) {
        float acc = 0.0f;
        for (int i = N; i >= 1; --i)
            acc = acc + yTable[4 * (i - 1)] * pY[t - i];
        pY[t] = acc + pV[t - N];
    }
}

// One direct-form-1 biquad over a block; d = x[t-2], x[t-1], y[t-2], y[t-1].
IPP_API void VARIANT(onwsIIRBQDF1_32f)(const Ipp32f* pSrc, Ipp32f* pDst, int len, const Ipp32f* taps, Ipp32f* d)
{
    const float b0 = taps[0], b1 = taps[1], b2 = taps[2], a1 = taps[3], a2 = taps[4];
    float x2 = d[0], x1 = d[1], y2 = d[2], y1 = d[3];
    for (int t = 0; t < len; ++t) {
        const float x = pSrc[t];
        const float y = (((b1 * x1 + b2 * x2) - a1 * y1) - a2 * y2) + b0 * x;
        pDst[t] = y;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
    }
    d[0] = x2;
    d[1] = x1;
    d[2] = y2;
    d[3] = y1;
}

IPP_API IppStatus VARIANT(ippsIIRBQDF1_32f)(const Ipp32f* pSrc, Ipp32f* pDst, int len, IirState32f* s)
{
    for (int k = 0; k < s->numBq; ++k)
        VARIANT(onwsIIRBQDF1_32f)(k == 0 ? pSrc : pDst, pDst, len, s->taps + 5 * k, s->dlyLine + 4 * k);
    return ippStsNoErr;
}

// Feed-forward part of one biquad: pV[j] = (b2 x[j] + b1 x[j+1]) + b0 x[j+2].
IPP_API void VARIANT(ownsIIRxBQ_32f)(const Ipp32f* pX, Ipp32f* pV, int count, const Ipp32f* xTable)
{
    const __m128 b0 = _mm_load_ps(xTable), b1 = _mm_load_ps(xTable + 4), b2 = _mm_load_ps(xTable + 8);
    int j = 0;
    for (; j + 8 <= count; j += 8) {
        const __m128 v0 =
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(b2, _mm_loadu_ps(pX + j)), _mm_mul_ps(b1, _mm_loadu_ps(pX + j + 1))),
                       _mm_mul_ps(b0, _mm_loadu_ps(pX + j + 2)));
        const __m128 v1 =
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(b2, _mm_loadu_ps(pX + j + 4)), _mm_mul_ps(b1, _mm_loadu_ps(pX + j + 5))),
                       _mm_mul_ps(b0, _mm_loadu_ps(pX + j + 6)));
        _mm_storeu_ps(pV + j, v0);
        _mm_storeu_ps(pV + j + 4, v1);
    }
    for (; j + 4 <= count; j += 4) {
        const __m128 v =
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(b2, _mm_loadu_ps(pX + j)), _mm_mul_ps(b1, _mm_loadu_ps(pX + j + 1))),
                       _mm_mul_ps(b0, _mm_loadu_ps(pX + j + 2)));
        _mm_storeu_ps(pV + j, v);
    }
    const float s0 = xTable[0], s1 = xTable[4], s2 = xTable[8];
    for (; j < count; ++j)
        pV[j] = (s2 * pX[j] + s1 * pX[j + 1]) + s0 * pX[j + 2];
}

// Feedback recursion of one biquad: pY[0], pY[1] hold the two outputs before the block;
// writes pY[2] .. pY[count + 1] from pV[t - 2] = v[t].
IPP_API void VARIANT(ownsIIRyBQ_32f)(const Ipp32f* pV, Ipp32f* pY, int count, const Ipp32f* yTable)
{
    const __m128 w1 = _mm_load_ps(yTable), w2 = _mm_load_ps(yTable + 4);
    const __m128 wv0 = _mm_load_ps(yTable + 8), wv1 = _mm_load_ps(yTable + 12), wv2 = _mm_load_ps(yTable + 16);
    const int end = count + 2; // one past the last output
    int t = 2;
    // The two outputs before each step stay in lanes 2 and 3 of the previous step's vector.
    __m128 prev = _mm_set_ps(pY[1], pY[0], 0.0f, 0.0f);
    for (; t + 4 <= end; t += 4) {
        const float* v = pV + (t - 2);
        const __m128 past = _mm_add_ps(_mm_mul_ps(_mm_shuffle_ps(prev, prev, 0xAA), w2),
                                       _mm_mul_ps(_mm_shuffle_ps(prev, prev, 0xFF), w1));
        const __m128 f01 = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(v[0]), wv0), _mm_mul_ps(_mm_set1_ps(v[1]), wv1));
        const __m128 f23 = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(v[2]), wv2), _mm_set_ps(v[3], 0.0f, 0.0f, 0.0f));
        prev = _mm_add_ps(past, _mm_add_ps(f01, f23));
        _mm_storeu_ps(pY + t, prev);
    }
    const float c1 = yTable[0], c2 = yTable[4];
    for (; t < end; ++t)
        pY[t] = (pV[t - 2] + c2 * pY[t - 2]) + c1 * pY[t - 1];
}

namespace NORRIK_VARIANT_NS {
namespace {

// One biquad over a chunk of m > 4 samples; x and y are the same array or do not overlap.
void biquadBlock(const Ipp32f* x, Ipp32f* y, int m, IirState32f* s, int k)
{
    const float* tp = s->taps + 5 * k;
    const float* yt = s->yTable + 20 * k;
    float* d = s->dlyLine + 2 * k;
    VARIANT(ownsIIRxBQ_32f)(x, s->work, m - 2, s->xTable + 12 * k);
    const float x0 = x[0], x1 = x[1], xm2 = x[m - 2], xm1 = x[m - 1];
    const float y0 = tp[0] * x0 + d[0];
    const float y1 = ((d[1] - tp[3] * y0) + tp[0] * x1) + tp[1] * x0;
    y[0] = y0;
    y[1] = y1;
    const float f1 = tp[2] * xm2 + tp[1] * xm1;
    const float f2 = tp[2] * xm1;
    VARIANT(ownsIIRyBQ_32f)(s->work, y, m - 2, yt);
    const float c1 = yt[0], c2 = yt[4];
    d[0] = (c2 * y[m - 2] + c1 * y[m - 1]) + f1;
    d[1] = c2 * y[m - 1] + f2;
}

void filterBiquad(const Ipp32f* pSrc, Ipp32f* pDst, int len, IirState32f* s)
{
    const int n = s->numBq;
    for (int done = 0; done < len;) {
        const int m = len - done < kChunk ? len - done : kChunk;
        const Ipp32f* x = pSrc + done;
        Ipp32f* y = pDst + done;
        if (static_cast<std::int64_t>(m) <= 4 * static_cast<std::int64_t>(n)) {
            for (int i = 0; i < m; ++i)
                VARIANT(ownsIIRBQOne_32f)(x + i, y + i, s);
        } else {
            biquadBlock(x, y, m, s, 0);
            for (int k = 1; k < n; ++k)
                biquadBlock(y, y, m, s, k);
        }
        done += m;
    }
}

void filterArbitrary(const Ipp32f* pSrc, Ipp32f* pDst, int len, IirState32f* s)
{
    const int N = s->order;
    const float* b = s->taps;
    const float* a = s->taps + N;
    float* d = s->dlyLine;
    for (int done = 0; done < len;) {
        const int m = len - done < kChunk ? len - done : kChunk;
        const Ipp32f* x = pSrc + done;
        Ipp32f* y = pDst + done;
        if (N <= 0) {
            VARIANT(ippsMulC_32f)(x, s->xTable[0], y, m);
        } else if (static_cast<std::int64_t>(m) <= 4 * static_cast<std::int64_t>(N)) {
            for (int i = 0; i < m; ++i)
                VARIANT(ownsIIRAROne_32f)(x + i, y + i, s);
        } else {
            VARIANT(ownsIIRxAR_32f)(x, s->work, m - N, s->xTable, N);
            for (int i = 0; i < N; ++i)
                VARIANT(ownsIIRAROne_32f)(x + i, y + i, s);
            // Feed-forward part of the new history from the last N inputs, read before the
            // recursion overwrites them in place.
            for (int j = 0; j < N; ++j) {
                float acc = 0.0f;
                for (int q = 0; q < N - j; ++q)
                    acc = acc + b[N - q] * x[m - N + j + q];
                d[j] = acc;
            }
            VARIANT(ownsIIRyAR_32f)(s->work, y, m - N, s->yTable, N);
            for (int j = 0; j < N; ++j)
                for (int q = 0; q < N - j; ++q)
                    d[j] = d[j] - a[N - q] * y[m - N + j + q];
        }
        done += m;
    }
}

} // namespace
} // namespace NORRIK_VARIANT_NS

IPP_API IppStatus VARIANT(ownsIIRSetTaps_BiQuad_32f)(const Ipp32f* pTaps, IirState32f* pState)
{
    return setTapsBiquad(pTaps, pState);
}

IPP_API IppStatus VARIANT(ownsIIRSetTaps_32f)(const Ipp32f* pTaps, IirState32f* pState)
{
    return setTapsArbitrary(pTaps, pState);
}

IPP_API IppStatus VARIANT(ownsIIRSetTaps_BiQuad_DF1_32f)(const Ipp32f* pTaps, IirState32f* pState)
{
    return setTapsBiquadDF1(pTaps, pState);
}

IPP_API IppStatus VARIANT(ownsIIRSetDlyLine_32f)(IirState32f* pState, const Ipp32f* pDlyLine)
{
    loadDelayLine(pState, pDlyLine);
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ownsIIRGetStateSize_BiQuad_32f)(int numBq, int* pSize, Ipp32u id)
{
    const std::int64_t size = biquadStateSize(numBq, id);
    *pSize = size > INT_MAX ? -1 : static_cast<int>(size);
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ownsIIRInit_BiQuad_32f)(IirState32f** ppState, const Ipp32f* pTaps, int numBq,
                                                  const Ipp32f* pDlyLine, Ipp8u* pMemory, Ipp32u id)
{
    if (!isCascadeId(id))
        return ippStsContextMatchErr;
    IirState32f* s = layOutBiquad(pMemory, numBq, id);
    *ppState = s;
    loadDelayLine(s, pDlyLine);
    return id == kIirIdBiQuad ? setTapsBiquad(pTaps, s) : setTapsBiquadDF1(pTaps, s);
}

IPP_API IppStatus VARIANT(ownsIIRInitAlloc_BiQuad_32f)(IirState32f** ppState, const Ipp32f* pTaps, int numBq,
                                                       const Ipp32f* pDlyLine, Ipp32u id)
{
    if (!isCascadeId(id))
        return ippStsContextMatchErr;
    int size = 0;
    VARIANT(ownsIIRGetStateSize_BiQuad_32f)(numBq, &size, id);
    Ipp8u* block = size > 0 ? VARIANT(ippsMalloc_8u)(size) : nullptr;
    if (!block)
        return ippStsMemAllocErr;
    // The caller's pointer is written only on success: it never refers to a released block.
    IirState32f* s = nullptr;
    const IppStatus st = VARIANT(ownsIIRInit_BiQuad_32f)(&s, pTaps, numBq, pDlyLine, block, id);
    if (st < 0) {
        VARIANT(ippsFree)(block);
        return st;
    }
    s->selfAllocated = 1;
    *ppState = s;
    return st;
}

IPP_API IppStatus VARIANT(ippsIIRInitAlloc_BiQuad_32f)(IirState32f** ppState, const Ipp32f* pTaps, int numBq,
                                                       const Ipp32f* pDlyLine)
{
    if (!pTaps || !ppState)
        return ippStsNullPtrErr;
    if (numBq < 1)
        return ippStsIIROrderErr;
    return VARIANT(ownsIIRInitAlloc_BiQuad_32f)(ppState, pTaps, numBq, pDlyLine, kIirIdBiQuad);
}

IPP_API IppStatus VARIANT(ippsIIRSetTaps_32f)(const Ipp32f* pTaps, IirState32f* pState)
{
    if (!pTaps || !pState)
        return ippStsNullPtrErr;
    switch (pState->id) {
    case kIirIdBiQuad:
        return VARIANT(ownsIIRSetTaps_BiQuad_32f)(pTaps, pState);
    case kIirIdArbitrary:
        return VARIANT(ownsIIRSetTaps_32f)(pTaps, pState);
    case kIirIdBiQuadDF1:
        return VARIANT(ownsIIRSetTaps_BiQuad_DF1_32f)(pTaps, pState);
    default:
        return ippStsContextMatchErr;
    }
}

IPP_API IppStatus VARIANT(ippsIIRSetDlyLine_32f)(IirState32f* pState, const Ipp32f* pDlyLine)
{
    if (!pState)
        return ippStsNullPtrErr;
    if (!isKnownIirId(pState->id))
        return ippStsContextMatchErr;
    return VARIANT(ownsIIRSetDlyLine_32f)(pState, pDlyLine);
}

IPP_API IppStatus VARIANT(ippsIIRFree_32f)(IirState32f* pState)
{
    if (!pState)
        return ippStsNullPtrErr;
    if (!isKnownIirId(pState->id))
        return ippStsContextMatchErr;
    if (pState->selfAllocated)
        VARIANT(ippsFree)(pState);
    return ippStsNoErr;
}

IPP_API IppStatus VARIANT(ippsIIR_32f)(const Ipp32f* pSrc, Ipp32f* pDst, int len, IirState32f* pState)
{
    if (!pState || !pSrc || !pDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    switch (pState->id) {
    case kIirIdBiQuad:
        filterBiquad(pSrc, pDst, len, pState);
        return ippStsNoErr;
    case kIirIdArbitrary:
        filterArbitrary(pSrc, pDst, len, pState);
        return ippStsNoErr;
    case kIirIdBiQuadDF1:
        return VARIANT(ippsIIRBQDF1_32f)(pSrc, pDst, len, pState);
    default:
        return ippStsContextMatchErr;
    }
}
