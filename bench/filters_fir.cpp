// FIR with the true-peak oversampler's 81 taps: direct path against FFT overlap-save path.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "primitives/filters/filter_states.h"
#include "primitives/filters/ipps_filters.h"

namespace {

std::vector<float> taps81()
{
    std::vector<float> t(81);
    for (int i = 0; i < 81; ++i) {
        const double x = (i - 40) / 4.0;
        const double sinc = x == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
        t[i] = static_cast<float>(sinc * (0.54 - 0.46 * std::cos(2 * M_PI * i / 80)));
    }
    return t;
}

template <IppStatus (*Init)(FirState32f**, const Ipp32f*, int, const Ipp32f*),
          IppStatus (*Run)(const Ipp32f*, Ipp32f*, int, FirState32f*), IppStatus (*Free)(FirState32f*)>
void BM_fir(benchmark::State& st)
{
    const int n = static_cast<int>(st.range(0));
    const bool fft = st.range(1) != 0;
    std::mt19937 g(1);
    std::uniform_real_distribution<float> d(-1, 1);
    std::vector<float> x(n), y(n);
    for (auto& v : x)
        v = d(g);
    const std::vector<float> t = taps81();
    FirState32f* s = nullptr;
    Init(&s, t.data(), 81, nullptr);
    const int fftLen = s->fftLen;
    if (!fft)
        s->fftLen = -1; // the direct path for every call length
    for (auto _ : st) {
        Run(x.data(), y.data(), n, s);
        benchmark::DoNotOptimize(y.data());
    }
    s->fftLen = fftLen;
    Free(s);
    st.SetItemsProcessed(st.iterations() * n);
    st.SetLabel(fft ? "fft" : "direct");
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int fft : {0, 1})
        for (int n : {512, 2048, 8192})
            b->Args({n, fft});
}

} // namespace

BENCHMARK(BM_fir<m7_ippsFIRInitAlloc_32f, m7_ippsFIR_32f, m7_ippsFIRFree_32f>)->Name("fir81/m7")->Apply(sizes);
BENCHMARK(BM_fir<u8_ippsFIRInitAlloc_32f, u8_ippsFIR_32f, u8_ippsFIRFree_32f>)->Name("fir81/u8")->Apply(sizes);
BENCHMARK(BM_fir<y8_ippsFIRInitAlloc_32f, y8_ippsFIR_32f, y8_ippsFIRFree_32f>)->Name("fir81/y8")->Apply(sizes);
