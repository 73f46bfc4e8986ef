// The oversampling FIR's block convolution in every instruction-set variant equals the real
// transforms called one after another (forward, spectrum product, inverse) bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "dsp/truepeak.h"
#include "primitives/fft/ipps_fft.h"
#include "primitives/filters/ipps_filters.h"

namespace {

struct Variant
{
    const char* name;
    decltype(&m7_ippsFIRInitAlloc_32f) init;
    decltype(&m7_ippsFIR_32f) fir;
    decltype(&m7_ippsFIRFree_32f) free;
    decltype(&m7_ippsFFTInitAlloc_R_32f) fftInit;
    decltype(&m7_ippsFFTFree_R_32f) fftFree;
    decltype(&m7_ippsFFTFwd_RToPerm_32f) fwd;
    decltype(&m7_ippsMulPerm_32f_I) mul;
    decltype(&m7_ippsFFTInv_PermToR_32f) inv;
};

#define NORRIK_TP_VARIANT(P)                                                                                           \
    Variant                                                                                                            \
    {                                                                                                                  \
#P, P##ippsFIRInitAlloc_32f, P##ippsFIR_32f, P##ippsFIRFree_32f, P##ippsFFTInitAlloc_R_32f,                    \
            P##ippsFFTFree_R_32f, P##ippsFFTFwd_RToPerm_32f, P##ippsMulPerm_32f_I, P##ippsFFTInv_PermToR_32f           \
    }
const Variant kVariants[] = {NORRIK_TP_VARIANT(m7_), NORRIK_TP_VARIANT(u8_), NORRIK_TP_VARIANT(y8_)};
#undef NORRIK_TP_VARIANT

// Overlap-save by 256-point transforms of the signal (history included), 176 new outputs each.
std::vector<float> overlapSave(const Variant& v, const std::vector<float>& taps, const std::vector<float>& history,
                               const std::vector<float>& x)
{
    const int N = 256, M = static_cast<int>(taps.size()) - 1, L = N - M;
    RealFftSpec32f* spec = nullptr;
    EXPECT_EQ(v.fftInit(&spec, 8, 2, 0), 0);
    std::vector<float> h(N, 0.0f), w(N), y;
    std::copy(taps.begin(), taps.end(), h.begin());
    EXPECT_EQ(v.fwd(h.data(), h.data(), spec, nullptr), 0);
    std::vector<float> s(history.end() - M, history.end());
    s.insert(s.end(), x.begin(), x.end());
    for (size_t done = 0; done < x.size(); done += static_cast<size_t>(L)) {
        std::fill(w.begin(), w.end(), 0.0f);
        const size_t c = std::min<size_t>(N, s.size() - done);
        std::copy(s.begin() + static_cast<long>(done), s.begin() + static_cast<long>(done + c), w.begin());
        EXPECT_EQ(v.fwd(w.data(), w.data(), spec, nullptr), 0);
        EXPECT_EQ(v.mul(h.data(), w.data(), N), 0);
        EXPECT_EQ(v.inv(w.data(), w.data(), spec, nullptr), 0);
        const size_t keep = std::min<size_t>(static_cast<size_t>(L), x.size() - done);
        y.insert(y.end(), w.begin() + M, w.begin() + M + static_cast<long>(keep));
    }
    v.fftFree(spec);
    return y;
}

} // namespace

TEST(DspTruePeakFir, BlockConvolutionIsTheTransformsRoadInEveryVariant)
{
    UpsamplerSinc u(512, 48000.0, 4.0f);
    u.initialize(nullptr);
    const std::vector<float> taps(u.getTaps(), u.getTaps() + u.getTapCount());
    u.terminate();
    std::vector<float> x(2048 + 2048 + 600);
    unsigned state = 77u;
    for (auto& v : x) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<float>(static_cast<int>(state >> 8) - (1 << 23)) / static_cast<float>(1 << 23);
    }
    for (const Variant& v : kVariants) {
        FirState32f* st = nullptr;
        ASSERT_EQ(v.init(&st, taps.data(), static_cast<int>(taps.size()), nullptr), 0) << v.name;
        // One call of a whole upsampled block, a second one carrying the first one's history, and
        // a call that ends in a part-filled transform block.
        std::vector<float> history(taps.size(), 0.0f);
        size_t pos = 0;
        for (int n : {2048, 2048, 600}) {
            const std::vector<float> in(x.begin() + static_cast<long>(pos), x.begin() + static_cast<long>(pos) + n);
            std::vector<float> got(static_cast<size_t>(n));
            ASSERT_EQ(v.fir(in.data(), got.data(), n, st), 0);
            const std::vector<float> want = overlapSave(v, taps, history, in);
            ASSERT_EQ(want.size(), got.size());
            EXPECT_EQ(std::memcmp(got.data(), want.data(), sizeof(float) * got.size()), 0) << v.name << " " << n;
            history.insert(history.end(), in.begin(), in.end());
            pos += static_cast<size_t>(n);
        }
        v.free(st);
    }
}
