// Layouts of the filter state records. Callers treat states as opaque; the filters and their
// tests read the fields. One definition serves all three variants (plain data, no code).
#pragma once

#include "primitives/common/ipptypes.h"
#include "primitives/filters/ipps_filters.h"

// Biquad cascade and arbitrary-order IIR state. The header occupies 96 bytes; the areas follow
// it in one block (see the set-up code for their order).
struct alignas(32) IirState32f
{
    Ipp32u id;
    Ipp32f* taps;    // normalised taps, 5 per biquad: b0 b1 b2 a1 a2
    Ipp32f* dlyLine; // 2 per biquad: s1 s2 of the transposed direct form II
    int order;       // delay-line floats that SetDlyLine loads or clears
    Ipp32f* xTable;  // 12 per biquad: b0 x4, b1 x4, b2 x4
    Ipp32f* yTable;  // 20 per biquad: four-outputs-at-once recursion weights
    int numBq;
    Ipp32f* oneTable; // 8 per biquad: b0 b1 b2 0 c1 c2 0 0 (c = -a)
    Ipp32f* work;     // 1024 floats
    Ipp32f* work2;    // null for the biquad cascade
    Ipp32u selfAllocated;
};
static_assert(sizeof(IirState32f) == 96, "IIR state header is 96 bytes");

// Single-rate FIR state (the multi-rate kinds share the record).
struct alignas(16) FirState32f
{
    Ipp32u id;
    Ipp32f* taps;  // reversed taps: plain, or four shifted rows (row 0 is the plain reversal)
    Ipp32f* delay; // stored past inputs, oldest first, then room for appended input
    int tapsLen;
    int upFactor;
    int directLimit; // ((T + 3) & ~3) + 1
    int downFactor;
    int mrCount;
    void* fftSpec;        // real-FFT set-up owned by the state, null without FFT
    Ipp32f* tapsSpectrum; // N floats, Perm layout; null without FFT
    int fftLen;           // N, or -1 without FFT
    int delayPos;
    void* indexTable;
    Ipp32f* tapsRepl; // natural order, each tap four times
    int tapsPerPhase;
    int pathSelector;
    int delayLen;
    Ipp32f* fftWork;  // N floats
    Ipp8u* fftBuffer; // transform work buffer, null when it needs none
    int fftBufferSize;
    Ipp32f* scratch; // 4096 floats
    Ipp8u* delayEnd;
    Ipp32u selfAllocated;
};
static_assert(sizeof(FirState32f) % 16 == 0, "FIR areas start on 16-byte boundaries");

// The bare kernels of each variant (no checks, no status).
#define NORRIK_FILTER_KERNELS_DECLARE(P)                                                                               \
    IPP_API void P##ownsIIRBQOne_32f(const Ipp32f* pX, Ipp32f* pY, IirState32f* pState);                               \
    IPP_API void P##ownsIIRxBQ_32f(const Ipp32f* pX, Ipp32f* pV, int count, const Ipp32f* xTable);                     \
    IPP_API void P##ownsIIRyBQ_32f(const Ipp32f* pV, Ipp32f* pY, int count, const Ipp32f* yTable);                     \
    IPP_API void P##ownsIIRAROne_32f(const Ipp32f* pX, Ipp32f* pY, IirState32f* pState);                               \
    IPP_API void P##ownsIIRxAR_32f(const Ipp32f* pX, Ipp32f* pV, int count, const Ipp32f* xTable, int order);          \
    IPP_API void P##ownsIIRyAR_32f(const Ipp32f* pV, Ipp32f* pY, int count, const Ipp32f* yTable, int order);          \
    IPP_API void P##onwsIIRBQDF1_32f(const Ipp32f* pSrc, Ipp32f* pDst, int len, const Ipp32f* taps, Ipp32f* dly);      \
    IPP_API IppStatus P##ippsIIRBQDF1_32f(const Ipp32f* pSrc, Ipp32f* pDst, int len, IirState32f* pState);             \
    IPP_API IppStatus P##ownsFIRInitAlloc_32f(FirState32f** ppState, const Ipp32f* pTaps, int tapsLen,                 \
                                              const void* pDlyLine, Ipp32u id);                                        \
    IPP_API void P##ownFIRSR_32f(const Ipp32f* pTaps, const Ipp32f* pWin, Ipp32f* pDst, int numOut, int tapsLen,       \
                                 int layout);

NORRIK_FILTER_KERNELS_DECLARE(m7_)
NORRIK_FILTER_KERNELS_DECLARE(u8_)
NORRIK_FILTER_KERNELS_DECLARE(y8_)
