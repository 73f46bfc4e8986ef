// Shared by the variant sources of the filters: the same variant's memory, copy and FFT
// primitives, and the per-variant settings. Included only from variant/*.cpp.
#pragma once

#include <climits>
#include <cstdint>

#include "primitives/common/variant.h"
#include "primitives/fft/ipps_fft.h"
#include "primitives/filters/filter_kernels.h"
#include "primitives/vector/ipps_vector.h"

#ifndef NORRIK_VARIANT
#error "filters_variant.h belongs to the variant sources"
#endif

namespace NORRIK_VARIANT_NS {

// What differs between the instruction-set variants of the filters. The IIR is the same in all
// of them (same operations in the same order); the FIR's long direct filters use pre-shifted tap
// rows from SSSE3 on.
struct FilterSettings
{
    bool firTapRows;      // taps area holds four shifted rows (else the plain reversed taps)
    int firRowsAboveTaps; // rows kernel for tap counts above this
};

#if NORRIK_VARIANT_ID == 0
inline constexpr FilterSettings kSettings{false, INT_MAX};
#else
inline constexpr FilterSettings kSettings{true, 31};
#endif

// ippsFIR_32f's paths for the multi-rate, block and resampler kinds (fir_kinds.cpp).
IppStatus firOtherKinds(const Ipp32f* pSrc, Ipp32f* pDst, int numIters, FirState32f* s);

inline std::int64_t roundUp16(std::int64_t v)
{
    return (v + 15) & ~std::int64_t(15);
}

} // namespace NORRIK_VARIANT_NS
