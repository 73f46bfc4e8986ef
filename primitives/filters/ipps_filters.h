// FIR and IIR filters on 32-bit floats: the operations, their m7_/u8_/y8_ variants and the
// dispatch stubs 9 to 17, which call the variant chosen by ippStaticInit.
//
// States are opaque: callers hold them by the pointer that the InitAlloc operation wrote and
// release them with the matching Free. Every operation checks null pointers first (-8), then
// lengths and counts (-6, -25, -26), then the state's kind (-17); nothing is written when a check
// fails. Filtering never allocates and never fails after its checks, except where stated.
#pragma once

#include "primitives/common/dispatch.h"

struct IirState32f;
struct FirState32f;

typedef IppStatus (*ippsIIRFree_32f_Fn)(IirState32f* pState);
typedef IppStatus (*ippsIIRInitAlloc_BiQuad_32f_Fn)(IirState32f** ppState, const Ipp32f* pTaps, Ipp32s numBq,
                                                    const Ipp32f* pDlyLine);
typedef IppStatus (*ippsIIRSetDlyLine_32f_Fn)(IirState32f* pState, const Ipp32f* pDlyLine);
typedef IppStatus (*ippsIIR_32f_Fn)(const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s len, IirState32f* pState);
typedef IppStatus (*ippsIIRSetTaps_32f_Fn)(const Ipp32f* pTaps, IirState32f* pState);
typedef IppStatus (*ippsFIRInitAlloc_32f_Fn)(FirState32f** ppState, const Ipp32f* pTaps, Ipp32s tapsLen,
                                             const Ipp32f* pDlyLine);
typedef IppStatus (*ippsFIRFree_32f_Fn)(FirState32f* pState);
typedef IppStatus (*ippsFIRSetDlyLine_32f_Fn)(FirState32f* pState, const Ipp32f* pDlyLine);
typedef IppStatus (*ippsFIR_32f_Fn)(const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s numIters, FirState32f* pState);

// Releases a state made by InitAlloc (a state laid out by its caller is left alone). -8 null,
// -17 not an IIR state.
IPPS_DECLARE_DISPATCHED(ippsIIRFree_32f, (IirState32f * pState))
// A cascade of numBq biquads from 6 taps each (b0 b1 b2 a0 a1 a2) and 2·numBq delay-line floats
// (s1 s2 per biquad; null: at rest). -8 null ppState or pTaps, -25 numBq < 1, -9 out of memory,
// -10 a biquad's a0 or b0 is zero (the block is released). *ppState is written only on success.
IPPS_DECLARE_DISPATCHED(ippsIIRInitAlloc_BiQuad_32f,
                        (IirState32f * *ppState, const Ipp32f* pTaps, Ipp32s numBq, const Ipp32f* pDlyLine))
// Loads the state's delay line (null: zeros). -8 null state, -17 not an IIR state.
IPPS_DECLARE_DISPATCHED(ippsIIRSetDlyLine_32f, (IirState32f * pState, const Ipp32f* pDlyLine))
// Filters len samples, carrying the delay line between calls. pSrc and pDst are one array (in
// place) or do not overlap. -8 null, -6 len < 1, -17 not an IIR state.
IPPS_DECLARE_DISPATCHED(ippsIIR_32f, (const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s len, IirState32f* pState))
// Replaces the taps, keeping the delay line. -8 null, -17 not an IIR state, -10 a zero a0 (or,
// for biquads in transposed form, b0): the state then keeps its former taps.
IPPS_DECLARE_DISPATCHED(ippsIIRSetTaps_32f, (const Ipp32f* pTaps, IirState32f* pState))
// A single-rate filter of tapsLen taps; pDlyLine holds tapsLen past inputs, newest first (null:
// zeros). -8 null ppState or pTaps, -26 tapsLen < 1, -9 out of memory, or the status of a failed
// FFT set-up (64 taps and more). *ppState is written only on success.
IPPS_DECLARE_DISPATCHED(ippsFIRInitAlloc_32f,
                        (FirState32f * *ppState, const Ipp32f* pTaps, Ipp32s tapsLen, const Ipp32f* pDlyLine))
// Releases a self-allocated FIR state of any kind, with its FFT set-up. -8 null, -17 not a FIR state.
IPPS_DECLARE_DISPATCHED(ippsFIRFree_32f, (FirState32f * pState))
// Loads the delay line (newest first; null: zeros) of a single-rate or multi-rate state. -8 null,
// -17 another kind.
IPPS_DECLARE_DISPATCHED(ippsFIRSetDlyLine_32f, (FirState32f * pState, const Ipp32f* pDlyLine))
// Filters numIters iterations, carrying the history between calls. A single-rate state filters
// any overlap of pSrc and pDst correctly, in place or with the output before or after the input
// in one array (after it: the input is first moved to the output's place); the other kinds need
// separate arrays. -8 null, -6 numIters < 1, -17 unknown kind (or multi-rate mode); on the FFT
// path a failing transform's status, with the outputs before it written.
IPPS_DECLARE_DISPATCHED(ippsFIR_32f, (const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s numIters, FirState32f* pState))

// The direct-form-1 cascade behind ippsIIR_32f for such states; returns 0.
IPPS_DECLARE_VARIANTS(IppStatus, ippsIIRBQDF1_32f, (const Ipp32f* pSrc, Ipp32f* pDst, Ipp32s len, IirState32f* pState))
