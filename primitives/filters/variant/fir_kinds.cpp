// The FIR state kinds besides the single-rate one: multi-rate (three modes over one frame), the
// block FIR and the polyphase resampler without delay line, and the complex direct and
// interpolating kernels. No set-up call makes these states: the paths read the fields as their
// makers fill them and check nothing beyond the entry point's checks.
#include <emmintrin.h>

#include "primitives/filters/variant/filters_variant.h"

namespace NORRIK_VARIANT_NS {
namespace {

// The windows of a multi-rate stream's outputs 0, 1, 2 ... in order. Positions count in the stream
// that the kernel reads: the delay buffer, or the input block as if it followed the history.
struct MrStream
{
    struct Window
    {
        const float* taps;
        std::int64_t pos;
        int stride, count;
    };
    int mode;
    const float* taps;
    const Ipp32s* ix;
    int groups; // mode 1: groups of 4 outputs per cycle; mode 3: cycle of 4·groups outputs
    int len;    // taps per output
    std::int64_t off;
    std::int64_t step = 0; // mode 2
    std::int64_t n = 0;

    Window next()
    {
        Window w{};
        if (mode == 1) {
            const int gi = static_cast<int>((n / 4) % groups), lane = static_cast<int>(n % 4);
            if (lane == 0)
                off += ix[gi];
            w = {taps + std::int64_t(gi) * len * 4 + lane, off, 4, len};
            if (lane == 3 && gi == groups - 1)
                off += ix[groups];
        } else if (mode == 2) {
            w = {taps + (len < 4 ? (n % 4) * len : 0), off, 1, len};
            off += step;
        } else {
            const std::int64_t P = 4 * std::int64_t(groups), j = n % P;
            w = {taps + j * len, off + ix[j], 1, len};
            if (j == P - 1)
                off += ix[P];
        }
        ++n;
        return w;
    }
};

// One output from the stream sample at[q - shift] for position q, oldest sample first; the sum
// stops at position `avail` (the end of the samples there are).
float mrDot(const float* at, std::int64_t shift, const MrStream::Window& w, std::int64_t avail)
{
    std::int64_t count = w.count;
    if (avail - w.pos < count)
        count = avail - w.pos > 0 ? avail - w.pos : 0;
    if (count == 0)
        return 0.0f;
    const float* x = at + (w.pos - shift);
    float acc = w.taps[0] * x[0];
    for (std::int64_t k = 1; k < count; ++k)
        acc = acc + w.taps[k * w.stride] * x[k];
    return acc;
}

constexpr std::int64_t kWhole = INT64_MAX; // no truncation

MrStream stateStream(const FirState32f* s)
{
    MrStream w{s->mode, s->phaseTaps, s->indexTable, s->upFactor, s->mode == 1 ? s->phaseLen : s->delayLen, 0};
    if (s->mode == 2) {
        w.off = s->indexTable[0];
        w.step = std::int64_t(s->indexTable[1]) - s->indexTable[0];
    }
    return w;
}

// The frame shared by the three modes: short calls through the delay buffer, long calls partly
// from the buffer and then straight from the input. The outputs past the kernel's whole cycles go
// one by one, their sums stopping at the end of the samples (modes 1 and 3).
IppStatus multiRate(const Ipp32f* pSrc, Ipp32f* pDst, int numIters, FirState32f* s)
{
    const std::int64_t inputs = std::int64_t(s->downFactor) * numIters, outputs = std::int64_t(s->upFactor) * numIters;
    const std::int64_t P = 4 * std::int64_t(s->upFactor);
    const int L = s->delayLen;
    const bool truncates = s->mode != 2;
    float* buf = s->delay;
    MrStream w = stateStream(s);
    const std::int64_t avail = L + inputs;
    const bool shortCall = s->mode == 2 ? inputs < s->directLimit : inputs <= s->directLimit;
    if (shortCall) {
        VARIANT(ippsCopy_32f)(pSrc, buf + L, static_cast<int>(inputs));
        const std::int64_t whole = outputs - outputs % P;
        for (std::int64_t n = 0; n < outputs; ++n)
            pDst[n] = mrDot(buf, 0, w.next(), n < whole || !truncates ? kWhole : avail);
        VARIANT(ippsMove_32f)(buf + inputs, buf, L);
        return ippStsNoErr;
    }
    VARIANT(ippsCopy_32f)(pSrc, buf + L, s->directLimit);
    const std::int64_t head = s->headCount;
    for (std::int64_t n = 0; n < head; ++n)
        pDst[n] = mrDot(buf, 0, w.next(), kWhole);
    VARIANT(ippsCopy_32f)(pSrc + inputs - L, buf, L);
    const std::int64_t rem = outputs - head;
    std::int64_t whole = rem - rem % P;
    if (whole > 0)
        whole -= P;
    for (std::int64_t n = head; n < outputs; ++n)
        pDst[n] = mrDot(pSrc, L, w.next(), n < head + whole || !truncates ? kWhole : avail);
    return ippStsNoErr;
}

// Block FIR without delay line: y[n] = sum of s[j] x[n + j], four outputs per step.
void blockFir(const Ipp32f* x, Ipp32f* y, int numIters, const FirState32f* s)
{
    const float* t = s->taps;
    const int T = s->tapsLen;
    int n = 0;
    for (; n + 4 <= numIters; n += 4) {
        __m128 acc = _mm_mul_ps(_mm_set1_ps(t[0]), _mm_loadu_ps(x + n));
        for (int j = 1; j < T; ++j)
            acc = _mm_add_ps(acc, _mm_mul_ps(_mm_set1_ps(t[j]), _mm_loadu_ps(x + n + j)));
        _mm_storeu_ps(y + n, acc);
    }
    for (; n < numIters; ++n) {
        float acc = t[0] * x[n];
        for (int j = 1; j < T; ++j)
            acc = acc + t[j] * x[n + j];
        y[n] = acc;
    }
}

// Polyphase resampler without delay line: one output per step of D in time, the phase counter
// moving the input on by one sample per step of U. The state is read, never changed.
void resample(const Ipp32f* x, Ipp32f* y, int numIters, const FirState32f* s)
{
    const std::int64_t U = s->upFactor, D = s->downFactor, T = s->tapsLen;
    const std::int64_t q = T / U, r = T % U, end = std::int64_t(numIters) * U * D;
    const float* t = s->taps;
    std::int64_t counter = s->startPhase, i = 0;
    for (std::int64_t time = s->startTime; time < end; time += D) {
        while (counter < time) {
            counter += U;
            ++i;
        }
        const std::int64_t phase = counter - time, count = phase < r ? q + 1 : q;
        float acc = 0.0f;
        for (std::int64_t k = 0; k < count; ++k)
            acc = k == 0 ? t[phase] * x[i] : acc + t[phase + k * U] * x[i + k];
        *y++ = acc;
    }
}

} // namespace
} // namespace NORRIK_VARIANT_NS

using namespace NORRIK_VARIANT_NS;

IPP_API IppStatus VARIANT(ownsFIRMR_Direct)(const Ipp32f* pSrc, Ipp32f* pDst, int numIters, FirState32f* pState)
{
    return multiRate(pSrc, pDst, numIters, pState);
}

IPP_API IppStatus VARIANT(ownsFIRMR_Decim)(const Ipp32f* pSrc, Ipp32f* pDst, int numIters, FirState32f* pState)
{
    return multiRate(pSrc, pDst, numIters, pState);
}

IPP_API IppStatus VARIANT(ownsFIRMR_Interp)(const Ipp32f* pSrc, Ipp32f* pDst, int numIters, FirState32f* pState)
{
    return multiRate(pSrc, pDst, numIters, pState);
}

IPP_API int VARIANT(ownsidx_32f)(const Ipp32f* pRows, const Ipp32f* pSrc, Ipp32f* pDst, int numOut,
                                 const Ipp32s* indexTable, int groups, int startOffset, int tapsLen)
{
    MrStream w{3, pRows, indexTable, groups, tapsLen, startOffset};
    for (int n = 0; n < numOut; ++n)
        pDst[n] = mrDot(pSrc, 0, w.next(), kWhole);
    return static_cast<int>(w.off);
}

IPP_API int VARIANT(ownsdec_32f)(const Ipp32f* pTaps, const Ipp32f* pSrc, Ipp32f* pDst, int numOut, int startOffset,
                                 int step, int tapsLen)
{
    MrStream w{2, pTaps, nullptr, 1, tapsLen, startOffset, step};
    for (int n = 0; n < numOut; ++n)
        pDst[n] = mrDot(pSrc, 0, w.next(), kWhole);
    return static_cast<int>(w.off);
}

IPP_API int VARIANT(ownsdir_32f)(const Ipp32f* pPhaseTaps, const Ipp32f* pSrc, Ipp32f* pDst, int numOut,
                                 const Ipp32s* indexTable, int groups, int startOffset, int phaseLen)
{
    MrStream w{1, pPhaseTaps, indexTable, groups, phaseLen, startOffset};
    for (int n = 0; n < numOut; ++n)
        pDst[n] = mrDot(pSrc, 0, w.next(), kWhole);
    return static_cast<int>(w.off);
}

IPP_API void VARIANT(ownFIRSR_32fc)(const Ipp32f* pTaps, const Ipp32fc* pSrc, Ipp32fc* pDst, int numOut, int tapsLen)
{
    for (int i = 0; i < numOut; ++i) {
        float re = 0.0f, im = 0.0f;
        for (int j = tapsLen - 1; j >= 0; --j) {
            const float a = pTaps[8 * j], b = pTaps[8 * j + 5];
            const Ipp32fc x = pSrc[i + tapsLen - 1 - j];
            re = re + (a * x.re - b * x.im);
            im = im + (a * x.im + b * x.re);
        }
        pDst[i] = {re, im};
    }
}

IPP_API int VARIANT(ownsidx_32fc)(const Ipp32f* pTaps, const Ipp32fc* pSrc, Ipp32fc* pDst, int numOut,
                                  const Ipp32s* indexTable, int groups, int startOffset, int tapsLen, int rowStride)
{
    const std::int64_t entries = 4 * std::int64_t(groups);
    const float* imPlane = pTaps + 2 * entries * rowStride;
    std::int64_t off = startOffset;
    for (int n = 0; n < numOut; ++n) {
        const std::int64_t e = n % entries;
        off += indexTable[e] / 8;
        const float* rRow = pTaps + 2 * e * rowStride;
        const float* iRow = imPlane + 2 * e * rowStride;
        float re = 0.0f, im = 0.0f;
        for (int k = 0; k < tapsLen; ++k) {
            const Ipp32fc x = pSrc[off + k];
            re = re + (rRow[2 * k] * x.re + rRow[2 * k + 1] * x.im);
            im = im + (iRow[2 * k] * x.re + iRow[2 * k + 1] * x.im);
        }
        pDst[n] = {re, im};
        if (e == entries - 1)
            off += indexTable[entries] / 8;
    }
    return static_cast<int>(off);
}

namespace NORRIK_VARIANT_NS {

// The paths of the kinds above, for ippsFIR_32f after its checks.
IppStatus firOtherKinds(const Ipp32f* pSrc, Ipp32f* pDst, int numIters, FirState32f* s)
{
    switch (s->id) {
    case kFirIdMultiRate:
        switch (s->mode) {
        case 1:
            return VARIANT(ownsFIRMR_Direct)(pSrc, pDst, numIters, s);
        case 2:
            return VARIANT(ownsFIRMR_Decim)(pSrc, pDst, numIters, s);
        case 3:
            return VARIANT(ownsFIRMR_Interp)(pSrc, pDst, numIters, s);
        default:
            return ippStsContextMatchErr;
        }
    case kFirIdDirect:
        blockFir(pSrc, pDst, numIters, s);
        return ippStsNoErr;
    case kFirIdPolyphase:
        resample(pSrc, pDst, numIters, s);
        return ippStsNoErr;
    default:
        return ippStsContextMatchErr;
    }
}

} // namespace NORRIK_VARIANT_NS
