// The FIR filter's block step through the FFT library: forward transform, product with a Perm
// spectrum and inverse transform, with the road chosen by the library. Internal to the primitives:
// declared in each variant's namespace, never exported.
#pragma once

#include "primitives/fft/ipps_fft.h"

// work = inverse(forward(src) * taps), then the count values work[from ..] to dst, times the
// spec's factor when its inverse scales. src holds the 2^order input floats and may equal work
// (2^order floats); taps is a Perm spectrum of the same order; buffer is the caller's work buffer
// of ippsFFTGetBufSize_R_32f bytes, or null to let the transforms allocate. Returns 0, or the first
// failing status of the transforms (-8, -9, -17), in which case dst is untouched.
#define NORRIK_FFT_CONVOLVE_DECLARE(NS)                                                                                \
    namespace NS {                                                                                                     \
    IppStatus fftConvolveBlock(const RealFftSpec32f* spec, const Ipp32f* src, Ipp32f* work, const Ipp32f* taps,        \
                               Ipp8u* buffer, Ipp32f* dst, int from, int count);                                       \
    }
NORRIK_FFT_CONVOLVE_DECLARE(m7)
NORRIK_FFT_CONVOLVE_DECLARE(u8)
NORRIK_FFT_CONVOLVE_DECLARE(y8)
#undef NORRIK_FFT_CONVOLVE_DECLARE
