// The FIR filter on the large transforms: 2^17 and 2^18 taps against a direct convolution.
#include <gtest/gtest.h>

#include "fft_reference.h"
#include "primitives/filters/ipps_filters.h"

namespace {

struct Fir
{
    decltype(&m7_ippsFIRInitAlloc_32f) initAlloc;
    decltype(&m7_ippsFIR_32f) run;
    decltype(&m7_ippsFIRFree_32f) free;
};
// clang-format off
#define NORRIK_FIR(P) Fir{P##ippsFIRInitAlloc_32f, P##ippsFIR_32f, P##ippsFIRFree_32f}
// clang-format on

TEST(FftFirLarge, LongFiltersMatchTheDirectConvolution)
{
    const Fir firs[3] = {NORRIK_FIR(m7_), NORRIK_FIR(u8_), NORRIK_FIR(y8_)};
    for (int T : {1 << 17, 1 << 18}) {
        const auto taps = randomFloats(T, 5);
        const int n = 1024; // long enough for the transform road
        const auto x = randomFloats(n, 6);
        for (const Fir& f : firs) {
            FirState32f* s = nullptr;
            ASSERT_EQ(f.initAlloc(&s, taps.data(), T, nullptr), 0) << T;
            std::vector<float> y(n);
            ASSERT_EQ(f.run(x.data(), y.data(), n, s), 0);
            f.free(s);
            // A short stretch of outputs, spread over the call.
            std::vector<double> ref;
            std::vector<float> got;
            for (int i = 0; i < n; i += 61) {
                ref.push_back(0.0);
                for (int j = 0; j <= i && j < T; ++j)
                    ref.back() += double(taps[j]) * x[i - j];
                got.push_back(y[i]);
            }
            EXPECT_LT(relRms(got.data(), ref), 1e-5) << T;
        }
    }
}

} // namespace
