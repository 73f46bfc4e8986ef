// The filters' internal builders and bare kernels, exported under the variant prefixes. None
// checks its arguments; the operations of ipps_filters.h call them on validated states.
#pragma once

#include "primitives/filters/filter_states.h"

// ---- IIR set-up (statuses as the operations that call them) ---------------------------------

// Builders of cascade states: id II02 (transposed form II) or II29 (direct form 1, whose delay line
// holds 4 floats per biquad); another id gives -17.
IPPS_DECLARE_VARIANTS(IppStatus, ownsIIRGetStateSize_BiQuad_32f, (int numBq, int* pSize, Ipp32u id))
IPPS_DECLARE_VARIANTS(IppStatus, ownsIIRInit_BiQuad_32f,
                      (IirState32f * *ppState, const Ipp32f* pTaps, int numBq, const Ipp32f* pDlyLine, Ipp8u* pMemory,
                       Ipp32u id))
IPPS_DECLARE_VARIANTS(IppStatus, ownsIIRInitAlloc_BiQuad_32f,
                      (IirState32f * *ppState, const Ipp32f* pTaps, int numBq, const Ipp32f* pDlyLine, Ipp32u id))
IPPS_DECLARE_VARIANTS(IppStatus, ownsIIRSetTaps_BiQuad_32f, (const Ipp32f* pTaps, IirState32f* pState))
IPPS_DECLARE_VARIANTS(IppStatus, ownsIIRSetTaps_32f, (const Ipp32f* pTaps, IirState32f* pState))
IPPS_DECLARE_VARIANTS(IppStatus, ownsIIRSetTaps_BiQuad_DF1_32f, (const Ipp32f* pTaps, IirState32f* pState))
IPPS_DECLARE_VARIANTS(IppStatus, ownsIIRSetDlyLine_32f, (IirState32f * pState, const Ipp32f* pDlyLine))

// ---- IIR kernels on floats ------------------------------------------------------------------

IPPS_DECLARE_VARIANTS(void, ownsIIRBQOne_32f, (const Ipp32f* pX, Ipp32f* pY, IirState32f* pState))
IPPS_DECLARE_VARIANTS(void, ownsIIRxBQ_32f, (const Ipp32f* pX, Ipp32f* pV, int count, const Ipp32f* xTable))
IPPS_DECLARE_VARIANTS(void, ownsIIRyBQ_32f, (const Ipp32f* pV, Ipp32f* pY, int count, const Ipp32f* yTable))
IPPS_DECLARE_VARIANTS(void, ownsIIRAROne_32f, (const Ipp32f* pX, Ipp32f* pY, IirState32f* pState))
IPPS_DECLARE_VARIANTS(void, ownsIIRxAR_32f, (const Ipp32f* pX, Ipp32f* pV, int count, const Ipp32f* xTable, int order))
IPPS_DECLARE_VARIANTS(void, ownsIIRyAR_32f, (const Ipp32f* pV, Ipp32f* pY, int count, const Ipp32f* yTable, int order))
IPPS_DECLARE_VARIANTS(void, onwsIIRBQDF1_32f,
                      (const Ipp32f* pSrc, Ipp32f* pDst, int len, const Ipp32f* taps, Ipp32f* dly))

// ---- IIR per-sample kernels of the other data types ------------------------------------------
// Name: structure (BQ cascade, AR arbitrary order), accumulator type, data type, and a third type
// for the forms that also write the unscaled accumulator output. Integer outputs are scaled by
// 2^-scaleFactor, rounded under the current rounding mode and saturated. The state is laid out as
// IirState32f with taps, delay line and oneTable of the accumulator type.

#define NORRIK_IIR_ONE(name, D) IPPS_DECLARE_VARIANTS(void, name, (const D* pSrc, D* pDst, IirState32f* pState))
#define NORRIK_IIR_ONE_ACC(name, D, A)                                                                                 \
    IPPS_DECLARE_VARIANTS(void, name, (const D* pSrc, D* pDst, A* pAcc, IirState32f* pState))
#define NORRIK_IIR_ONE_SF(name, D)                                                                                     \
    IPPS_DECLARE_VARIANTS(void, name, (const D* pSrc, D* pDst, IirState32f* pState, int scaleFactor))
#define NORRIK_IIR_ONE_ACC_SF(name, D, A)                                                                              \
    IPPS_DECLARE_VARIANTS(void, name, (const D* pSrc, D* pDst, A* pAcc, IirState32f* pState, int scaleFactor))

NORRIK_IIR_ONE_SF(ownsIIRBQOne32f_16s, Ipp16s)
NORRIK_IIR_ONE_SF(ownsIIRAROne32f_16s, Ipp16s)
NORRIK_IIR_ONE_ACC_SF(ownsIIRAROne32f_16s_32f, Ipp16s, Ipp32f)
NORRIK_IIR_ONE(ownsIIRAROne_32fc, Ipp32fc)
NORRIK_IIR_ONE(ownsIIRBQOne_32fc, Ipp32fc)
NORRIK_IIR_ONE_SF(ownsIIRAROne32fc_16sc, Ipp16sc)
NORRIK_IIR_ONE_ACC_SF(ownsIIRAROne32fc_16sc_32fc, Ipp16sc, Ipp32fc)
NORRIK_IIR_ONE_SF(ownsIIRBQOne32fc_16sc, Ipp16sc)
NORRIK_IIR_ONE(ownsIIRBQOne_64f, Ipp64f)
NORRIK_IIR_ONE_SF(ownsIIRBQOne64f_16s, Ipp16s)
NORRIK_IIR_ONE_SF(ownsIIRBQOne64f_32s, Ipp32s)
NORRIK_IIR_ONE(ownsIIRBQOne64f_32f, Ipp32f)
NORRIK_IIR_ONE(ownsIIRAROne_64f, Ipp64f)
NORRIK_IIR_ONE_SF(ownsIIRAROne64f_32s, Ipp32s)
NORRIK_IIR_ONE_ACC_SF(ownsIIRAROne64f_32s_64f, Ipp32s, Ipp64f)
NORRIK_IIR_ONE_SF(ownsIIRAROne64f_16s, Ipp16s)
NORRIK_IIR_ONE_ACC_SF(ownsIIRAROne64f_16s_64f, Ipp16s, Ipp64f)
NORRIK_IIR_ONE(ownsIIRAROne64f_32f, Ipp32f)
NORRIK_IIR_ONE_ACC(ownsIIRAROne64f_32f_64f, Ipp32f, Ipp64f)
NORRIK_IIR_ONE(ownsIIRAROne_64fc, Ipp64fc)
NORRIK_IIR_ONE(ownsIIRBQOne_64fc, Ipp64fc)
NORRIK_IIR_ONE_SF(ownsIIRAROne64fc_32sc, Ipp32sc)
NORRIK_IIR_ONE_ACC_SF(ownsIIRAROne64fc_32sc_64fc, Ipp32sc, Ipp64fc)
NORRIK_IIR_ONE_SF(ownsIIRBQOne64fc_32sc, Ipp32sc)
NORRIK_IIR_ONE_SF(ownsIIRAROne64fc_16sc, Ipp16sc)
NORRIK_IIR_ONE_ACC_SF(ownsIIRAROne64fc_16sc_64fc, Ipp16sc, Ipp64fc)
NORRIK_IIR_ONE_SF(ownsIIRBQOne64fc_16sc, Ipp16sc)
NORRIK_IIR_ONE(ownsIIRAROne64fc_32fc, Ipp32fc)
NORRIK_IIR_ONE_ACC(ownsIIRAROne64fc_32fc_64fc, Ipp32fc, Ipp64fc)
NORRIK_IIR_ONE(ownsIIRBQOne64fc_32fc, Ipp32fc)

// ---- IIR block kernels of the other data types ----------------------------------------------
// x pass: v[k] from the inputs p[k .. k + N] (N = 2 for a biquad); y pass: the history (2 or N
// values) at the start of pY, output k written to pY and pDst at index k + 2 (k + N).

IPPS_DECLARE_VARIANTS(void, ownsIIRxBQ_32f_16s, (const Ipp16s* pSrc, Ipp32f* pV, Ipp64s len, const Ipp32f* xTable))
IPPS_DECLARE_VARIANTS(void, ownsIIRyBQ_32f_16s,
                      (const Ipp32f* pV, Ipp32f* pY, Ipp64s len, const Ipp32f* yTable, Ipp16s* pDst, int scaleFactor))
IPPS_DECLARE_VARIANTS(void, ownsIIRxAR32f_16s,
                      (const Ipp16s* pSrc, Ipp32f* pV, Ipp64s len, const Ipp32f* xTable, int order))
IPPS_DECLARE_VARIANTS(void, ownsIIRyAR32f_16s,
                      (const Ipp32f* pV, Ipp32f* pY, Ipp64s len, const Ipp32f* yTable, int order, Ipp16s* pDst,
                       int scaleFactor))
IPPS_DECLARE_VARIANTS(void, ownsIIRxAR_32fc,
                      (const Ipp32fc* pSrc, Ipp32fc* pV, Ipp64s len, const Ipp32f* xTable, int order))
IPPS_DECLARE_VARIANTS(void, ownsIIRyAR_32fc,
                      (const Ipp32fc* pV, Ipp32fc* pY, Ipp64s len, const Ipp32f* yTable, int order))
IPPS_DECLARE_VARIANTS(void, ownsIIRxAR32fc_16sc,
                      (const Ipp16sc* pSrc, Ipp32fc* pV, Ipp64s len, const Ipp32f* xTable, int order))
IPPS_DECLARE_VARIANTS(void, ownsIIRyAR32fc_16sc,
                      (const Ipp32fc* pV, Ipp32fc* pY, Ipp64s len, const Ipp32f* yTable, int order, Ipp16sc* pDst,
                       int scaleFactor))

// ---- FIR ------------------------------------------------------------------------------------

IPPS_DECLARE_VARIANTS(IppStatus, ownsFIRInitAlloc_32f,
                      (FirState32f * *ppState, const Ipp32f* pTaps, int tapsLen, const void* pDlyLine, Ipp32u id))
// pDst[i] = sum of taps[j] pWin[i + T - 1 - j]; layout 0: replicated taps, 1: shifted rows.
IPPS_DECLARE_VARIANTS(void, ownFIRSR_32f,
                      (const Ipp32f* pTaps, const Ipp32f* pWin, Ipp32f* pDst, int numOut, int tapsLen, int layout))
// The three paths of a multi-rate state (by its mode), on checked arguments.
IPPS_DECLARE_VARIANTS(IppStatus, ownsFIRMR_Direct,
                      (const Ipp32f* pSrc, Ipp32f* pDst, int numIters, FirState32f* pState))
IPPS_DECLARE_VARIANTS(IppStatus, ownsFIRMR_Decim, (const Ipp32f* pSrc, Ipp32f* pDst, int numIters, FirState32f* pState))
IPPS_DECLARE_VARIANTS(IppStatus, ownsFIRMR_Interp,
                      (const Ipp32f* pSrc, Ipp32f* pDst, int numIters, FirState32f* pState))
// Multi-rate kernels from a window at pSrc; each returns the window offset it ends at.
// Interpolating: output j of a cycle of 4·groups is the dot product of row j (tapsLen taps) with
// the window at the cycle's base + indexTable[j]; each cycle moves the base by indexTable[4·groups].
IPPS_DECLARE_VARIANTS(int, ownsidx_32f,
                      (const Ipp32f* pRows, const Ipp32f* pSrc, Ipp32f* pDst, int numOut, const Ipp32s* indexTable,
                       int groups, int startOffset, int tapsLen))
// Decimating: output m from the window at startOffset + m·step.
IPPS_DECLARE_VARIANTS(int, ownsdec_32f,
                      (const Ipp32f* pTaps, const Ipp32f* pSrc, Ipp32f* pDst, int numOut, int startOffset, int step,
                       int tapsLen))
// Direct polyphase: groups of 4 outputs, each window moved on by the group's increment; after
// `groups` groups the taps start again and the window moves by the cycle advance.
IPPS_DECLARE_VARIANTS(int, ownsdir_32f,
                      (const Ipp32f* pPhaseTaps, const Ipp32f* pSrc, Ipp32f* pDst, int numOut, const Ipp32s* indexTable,
                       int groups, int startOffset, int phaseLen))
// Complex direct kernel: each tap a + bi stored as (a, a, a, a, -b, b, -b, b), natural order.
IPPS_DECLARE_VARIANTS(void, ownFIRSR_32fc,
                      (const Ipp32f* pTaps, const Ipp32fc* pSrc, Ipp32fc* pDst, int numOut, int tapsLen))
// Complex interpolating kernel: window moves by byte offsets from indexTable; taps in two planes
// (real-part and imaginary-part weights of the interleaved source). Returns the end offset.
IPPS_DECLARE_VARIANTS(int, ownsidx_32fc,
                      (const Ipp32f* pTaps, const Ipp32fc* pSrc, Ipp32fc* pDst, int numOut, const Ipp32s* indexTable,
                       int groups, int startOffset, int tapsLen, int rowStride))
