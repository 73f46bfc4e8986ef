// Sum, square, maximum/minimum and add over engine-sized blocks, per variant, beside plain loops
// compiled with the same flags.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "primitives/vector/ipps_vector.h"

namespace {

struct Block
{
    explicit Block(int n) : a(n), b(n), out(n)
    {
        std::mt19937 g(1);
        std::uniform_real_distribution<float> d(-1.0f, 1.0f);
        for (int i = 0; i < n; ++i)
            a[i] = d(g), b[i] = d(g);
    }
    std::vector<float> a, b, out;
};

__attribute__((noinline)) float plainSum(const float* x, int n)
{
    double s = 0;
    for (int i = 0; i < n; ++i)
        s += double(x[i]);
    return float(s);
}

__attribute__((noinline)) void plainSqr(const float* x, float* y, int n)
{
    for (int i = 0; i < n; ++i)
        y[i] = x[i] * x[i];
}

__attribute__((noinline)) float plainMax(const float* x, int n)
{
    float m = x[0];
    for (int i = 1; i < n; ++i)
        m = m > x[i] ? m : x[i];
    return m;
}

__attribute__((noinline)) void plainMinMax(const float* x, int n, float* mn, float* mx)
{
    float a = x[0], b = x[0];
    for (int i = 1; i < n; ++i) {
        a = a < x[i] ? a : x[i];
        b = b > x[i] ? b : x[i];
    }
    *mn = a;
    *mx = b;
}

__attribute__((noinline)) void plainAdd(const float* x, float* y, int n)
{
    for (int i = 0; i < n; ++i)
        y[i] += x[i];
}

template <IppStatus (*Fn)(const Ipp32f*, Ipp32s, Ipp32f*, Ipp32s)>
void sumOf(benchmark::State& st)
{
    Block b(int(st.range(0)));
    float r;
    for (auto _ : st) {
        Fn(b.a.data(), int(b.a.size()), &r, 2);
        benchmark::DoNotOptimize(r);
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

void sumPlain(benchmark::State& st)
{
    Block b(int(st.range(0)));
    for (auto _ : st)
        benchmark::DoNotOptimize(plainSum(b.a.data(), int(b.a.size())));
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

template <IppStatus (*Fn)(const Ipp32f*, Ipp32f*, Ipp32s)>
void sqrOf(benchmark::State& st)
{
    Block b(int(st.range(0)));
    for (auto _ : st) {
        Fn(b.a.data(), b.out.data(), int(b.a.size()));
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

void sqrPlain(benchmark::State& st)
{
    Block b(int(st.range(0)));
    for (auto _ : st) {
        plainSqr(b.a.data(), b.out.data(), int(b.a.size()));
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

template <IppStatus (*Fn)(const Ipp32f*, Ipp32s, Ipp32f*)>
void maxOf(benchmark::State& st)
{
    Block b(int(st.range(0)));
    float r;
    for (auto _ : st) {
        Fn(b.a.data(), int(b.a.size()), &r);
        benchmark::DoNotOptimize(r);
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

void maxPlain(benchmark::State& st)
{
    Block b(int(st.range(0)));
    for (auto _ : st)
        benchmark::DoNotOptimize(plainMax(b.a.data(), int(b.a.size())));
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

template <IppStatus (*Fn)(const Ipp32f*, Ipp32s, Ipp32f*, Ipp32f*)>
void minMaxOf(benchmark::State& st)
{
    Block b(int(st.range(0)));
    float mn, mx;
    for (auto _ : st) {
        Fn(b.a.data(), int(b.a.size()), &mn, &mx);
        benchmark::DoNotOptimize(mn);
        benchmark::DoNotOptimize(mx);
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

void minMaxPlain(benchmark::State& st)
{
    Block b(int(st.range(0)));
    float mn, mx;
    for (auto _ : st) {
        plainMinMax(b.a.data(), int(b.a.size()), &mn, &mx);
        benchmark::DoNotOptimize(mn);
        benchmark::DoNotOptimize(mx);
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

template <IppStatus (*Fn)(const Ipp32f*, Ipp32f*, Ipp32s)>
void addOf(benchmark::State& st)
{
    Block b(int(st.range(0)));
    for (auto _ : st) {
        Fn(b.a.data(), b.b.data(), int(b.a.size()));
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

void addPlain(benchmark::State& st)
{
    Block b(int(st.range(0)));
    for (auto _ : st) {
        plainAdd(b.a.data(), b.b.data(), int(b.a.size()));
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

#define VECTOR_BENCH(fn) BENCHMARK(fn)->Arg(512)->Arg(19200)

VECTOR_BENCH(sumPlain);
VECTOR_BENCH(sumOf<m7_ippsSum_32f>);
VECTOR_BENCH(sumOf<u8_ippsSum_32f>);
VECTOR_BENCH(sumOf<y8_ippsSum_32f>);
VECTOR_BENCH(sqrPlain);
VECTOR_BENCH(sqrOf<m7_ippsSqr_32f>);
VECTOR_BENCH(sqrOf<u8_ippsSqr_32f>);
VECTOR_BENCH(sqrOf<y8_ippsSqr_32f>);
VECTOR_BENCH(maxPlain);
VECTOR_BENCH(maxOf<m7_ippsMax_32f>);
VECTOR_BENCH(maxOf<u8_ippsMax_32f>);
VECTOR_BENCH(maxOf<y8_ippsMax_32f>);
VECTOR_BENCH(minMaxPlain);
VECTOR_BENCH(minMaxOf<m7_ippsMinMax_32f>);
VECTOR_BENCH(minMaxOf<u8_ippsMinMax_32f>);
VECTOR_BENCH(minMaxOf<y8_ippsMinMax_32f>);
VECTOR_BENCH(addPlain);
VECTOR_BENCH(addOf<m7_ippsAdd_32f_I>);
VECTOR_BENCH(addOf<u8_ippsAdd_32f_I>);
VECTOR_BENCH(addOf<y8_ippsAdd_32f_I>);

} // namespace
