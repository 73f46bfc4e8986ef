// Layouts of the filter state records. Callers treat states as opaque; the filters, the makers of
// the kinds that have no set-up call, and the tests read the fields. One definition serves all
// three variants (plain data, no code).
#pragma once

#include "primitives/common/ipptypes.h"
#include "primitives/filters/ipps_filters.h"

// State kinds, the first 32-bit word of every state.
enum : Ipp32u
{
    kIirIdArbitrary = 0x49493031u,  // "II01"
    kIirIdBiQuad = 0x49493032u,     // "II02"
    kIirIdBiQuadDF1 = 0x49493239u,  // "II29"
    kFirIdSingleRate = 0x46493031u, // "FI01"
    kFirIdMultiRate = 0x46493033u,  // "FI03"
    kFirIdDirect = 0x46493333u,     // "FI33"
    kFirIdPolyphase = 0x46493334u,  // "FI34"
};

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

// FIR state of every kind: single-rate (FI01), multi-rate (FI03), block FIR (FI33) and resampler
// (FI34). Only the single-rate kind has a set-up call; the others are filled by their makers.
struct alignas(16) FirState32f
{
    Ipp32u id;
    Ipp32f* taps;  // reversed taps: plain, or four shifted rows (row 0 is the plain reversal)
    Ipp32f* delay; // stored past inputs, oldest first, then room for appended input
    int tapsLen;
    int upFactor;         // multi-rate: outputs per iteration; resampler: U
    int directLimit;      // single-rate ((T + 3) & ~3) + 1; multi-rate: inputs filtered wholly in the buffer
    int downFactor;       // multi-rate: inputs per iteration; resampler: D
    int headCount;        // multi-rate: outputs made from the delay buffer on a long call
    void* fftSpec;        // real-FFT set-up owned by the state, null without FFT
    Ipp32f* tapsSpectrum; // N floats, Perm layout; null without FFT
    int fftLen;           // N, or -1 without FFT
    int delayPos;
    Ipp32s* indexTable; // multi-rate window offsets (by mode), then the cycle advance
    union
    {
        Ipp32f* tapsRepl;  // single-rate: natural order, each tap four times
        Ipp32f* phaseTaps; // multi-rate: taps by phase, by mode
    };
    int phaseLen;     // multi-rate mode 1: taps per phase
    int mode;         // multi-rate: 1 direct polyphase, 2 decimating, 3 interpolating
    int delayLen;     // history length (multi-rate modes 2 and 3: also taps per output)
    Ipp32f* fftWork;  // N floats
    Ipp8u* fftBuffer; // transform work buffer, null when it needs none
    int fftBufferSize;
    Ipp32f* scratch; // no kind built here has one: null
    Ipp8u* delayEnd;
    Ipp32u selfAllocated;
    int startPhase, startTime; // resampler: phase counter and time at which each call starts
};
static_assert(sizeof(FirState32f) % 16 == 0, "FIR areas start on 16-byte boundaries");
