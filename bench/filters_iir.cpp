// Biquad IIR: each variant against a plain transposed-direct-form loop, one and two biquads.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "primitives/filters/ipps_filters.h"

namespace {

const float kTaps[12] = {1.5333f,  -2.7728f,  1.2669f,  1.0f, -1.7445f,  0.7719f,
                         0.99505f, -1.99009f, 0.99505f, 1.0f, -1.99008f, 0.99010f};

std::vector<float> signal(int n)
{
    std::mt19937 g(1);
    std::uniform_real_distribution<float> d(-1, 1);
    std::vector<float> v(n);
    for (auto& x : v)
        x = d(g);
    return v;
}

template <IppStatus (*Init)(IirState32f**, const Ipp32f*, int, const Ipp32f*),
          IppStatus (*Run)(const Ipp32f*, Ipp32f*, int, IirState32f*), IppStatus (*Free)(IirState32f*)>
void BM_iir(benchmark::State& st)
{
    const int n = static_cast<int>(st.range(0)), bq = static_cast<int>(st.range(1));
    std::vector<float> x = signal(n), y(n);
    IirState32f* s = nullptr;
    Init(&s, kTaps, bq, nullptr);
    for (auto _ : st) {
        Run(x.data(), y.data(), n, s);
        benchmark::DoNotOptimize(y.data());
    }
    Free(s);
    st.SetItemsProcessed(st.iterations() * n);
}

void BM_iir_plain_loop(benchmark::State& st)
{
    const int n = static_cast<int>(st.range(0)), bq = static_cast<int>(st.range(1));
    std::vector<float> x = signal(n), y(n);
    float d[4] = {};
    for (auto _ : st) {
        const float* in = x.data();
        for (int k = 0; k < bq; ++k) {
            const float* t = kTaps + 6 * k;
            float s1 = d[2 * k], s2 = d[2 * k + 1];
            for (int i = 0; i < n; ++i) {
                const float v = in[i], o = t[0] * v + s1;
                s1 = t[1] * v - t[4] * o + s2;
                s2 = t[2] * v - t[5] * o;
                y[i] = o;
            }
            d[2 * k] = s1;
            d[2 * k + 1] = s2;
            in = y.data();
        }
        benchmark::DoNotOptimize(y.data());
    }
    st.SetItemsProcessed(st.iterations() * n);
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int bq : {1, 2})
        for (int n = 64; n <= 8192; n *= 4)
            b->Args({n, bq});
    b->Args({8192, 1})->Args({8192, 2});
}

} // namespace

BENCHMARK(BM_iir<m7_ippsIIRInitAlloc_BiQuad_32f, m7_ippsIIR_32f, m7_ippsIIRFree_32f>)->Name("iir/m7")->Apply(sizes);
BENCHMARK(BM_iir<u8_ippsIIRInitAlloc_BiQuad_32f, u8_ippsIIR_32f, u8_ippsIIRFree_32f>)->Name("iir/u8")->Apply(sizes);
BENCHMARK(BM_iir<y8_ippsIIRInitAlloc_BiQuad_32f, y8_ippsIIR_32f, y8_ippsIIRFree_32f>)->Name("iir/y8")->Apply(sizes);
BENCHMARK(BM_iir_plain_loop)->Name("iir/plain_tdf2")->Apply(sizes);
