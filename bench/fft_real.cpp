// Real FFT per variant at orders 6 to 16 and 18 to 22, and the FIR block (forward, product,
// inverse) at order 8, beside FFTW's single-precision real transforms as the yardstick. Every
// iteration transforms the same fresh input, never its own output.
#include <benchmark/benchmark.h>

#include <complex>
#include <random>
#include <vector>

#include "tests/primitives/fft/fft_variants.h" // every variant's entry points, as the tests gather them

#ifdef HAVE_FFTW3F
#include <fftw3.h>
#endif

namespace {

using Variant = FftVariant;

std::vector<float> noise(size_t n)
{
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> d(-1, 1);
    std::vector<float> v(n);
    for (auto& x : v)
        x = d(rng);
    return v;
}

// A spec with its own aligned work buffer.
struct Setup
{
    const Variant& v;
    RealFftSpec32f* spec = nullptr;
    std::vector<unsigned char> buffer;
    Setup(const Variant& var, int order) : v(var)
    {
        v.initAlloc(&spec, order, 2, 0);
        int size = 0;
        v.getBufSize(spec, &size);
        buffer.resize(size + 1);
    }
    ~Setup() { v.free(spec); }
    unsigned char* buf() { return buffer.data(); }
};

// One transform (v.fwd or v.inv) a round.
void transform(benchmark::State& state, const Variant& v, decltype(&m7_ippsFFTFwd_RToPerm_32f) run)
{
    const int order = int(state.range(0));
    const size_t N = size_t(1) << order;
    Setup s(v, order);
    auto x = noise(N);
    std::vector<float> y(N);
    for (auto _ : state) {
        run(x.data(), y.data(), s.spec, s.buf());
        benchmark::DoNotOptimize(y.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(N));
}

// The FIR filter's block as the filter runs it: the same fresh block forward, times the taps'
// spectrum, inverse, the kept 256 - 80 values out.
void firBlock(benchmark::State& state, const Variant& v)
{
    Setup s(v, 8);
    auto taps = noise(256), block = noise(256);
    std::vector<float> work(256), out(256);
    v.fwd(taps.data(), taps.data(), s.spec, s.buf());
    for (auto _ : state) {
        v.convolve(s.spec, block.data(), work.data(), taps.data(), s.buf(), out.data(), 80, 176);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * 256);
}

// The same through the exported transforms and product, in place on a fresh copy of the block.
void firBlockExported(benchmark::State& state, const Variant& v)
{
    Setup s(v, 8);
    auto taps = noise(256), block = noise(256);
    std::vector<float> work(256);
    v.fwd(taps.data(), taps.data(), s.spec, s.buf());
    for (auto _ : state) {
        std::copy(block.begin(), block.end(), work.begin());
        v.fwd(work.data(), work.data(), s.spec, s.buf());
        v.mulPerm(taps.data(), work.data(), 256);
        v.inv(work.data(), work.data(), s.spec, s.buf());
        benchmark::DoNotOptimize(work.data());
    }
    state.SetItemsProcessed(state.iterations() * 256);
}

#ifdef HAVE_FFTW3F
// FFTW's real transform one way or the other; c2r destroys its input, so it gets a fresh copy.
template <bool Inverse>
void fftwReal(benchmark::State& state)
{
    const int N = 1 << state.range(0);
    float* real = fftwf_alloc_real(N);
    fftwf_complex* spectrum = fftwf_alloc_complex(N / 2 + 1);
    fftwf_plan p = Inverse ? fftwf_plan_dft_c2r_1d(N, spectrum, real, FFTW_MEASURE)
                           : fftwf_plan_dft_r2c_1d(N, real, spectrum, FFTW_MEASURE);
    auto x = noise(N + 2);
    if (!Inverse)
        std::copy(x.begin(), x.begin() + N, real);
    for (auto _ : state) {
        if (Inverse)
            std::copy(x.begin(), x.end(), reinterpret_cast<float*>(spectrum));
        fftwf_execute(p);
        benchmark::DoNotOptimize(Inverse ? static_cast<void*>(real) : static_cast<void*>(spectrum));
    }
    state.SetItemsProcessed(state.iterations() * int64_t(N));
    fftwf_destroy_plan(p);
    fftwf_free(real);
    fftwf_free(spectrum);
}

void fftwFirBlock(benchmark::State& state)
{
    const int N = 256;
    float* buf = fftwf_alloc_real(N + 2);
    fftwf_complex* spec = fftwf_alloc_complex(N / 2 + 1);
    fftwf_plan f = fftwf_plan_dft_r2c_1d(N, buf, spec, FFTW_MEASURE);
    fftwf_plan b = fftwf_plan_dft_c2r_1d(N, spec, buf, FFTW_MEASURE);
    auto x = noise(N);
    std::vector<std::complex<float>> taps(N / 2 + 1, std::complex<float>(0.5f, 0.25f));
    for (auto _ : state) {
        std::copy(x.begin(), x.end(), buf);
        fftwf_execute(f);
        auto* s = reinterpret_cast<float*>(spec);
        const auto* t = reinterpret_cast<const float*>(taps.data());
        for (int k = 0; k <= N / 2; ++k) {
            const float re = s[2 * k] * t[2 * k] - s[2 * k + 1] * t[2 * k + 1];
            const float im = s[2 * k + 1] * t[2 * k] + s[2 * k] * t[2 * k + 1];
            s[2 * k] = re;
            s[2 * k + 1] = im;
        }
        fftwf_execute(b);
        for (int i = 0; i < N; ++i)
            buf[i] *= 1.0f / N;
        benchmark::DoNotOptimize(buf);
    }
    state.SetItemsProcessed(state.iterations() * N);
    fftwf_destroy_plan(f);
    fftwf_destroy_plan(b);
    fftwf_free(buf);
    fftwf_free(spec);
}
#endif

void orders(benchmark::internal::Benchmark* b)
{
    b->DenseRange(6, 16)->DenseRange(18, 22);
}

int registerAll()
{
    for (const Variant& v : fftVariants()) {
        benchmark::RegisterBenchmark((v.name + "FFTFwd_RToPerm").c_str(), transform, v, v.fwd)->Apply(orders);
        benchmark::RegisterBenchmark((v.name + "FFTInv_PermToR").c_str(), transform, v, v.inv)->Apply(orders);
        benchmark::RegisterBenchmark((v.name + "FirBlock_Order8").c_str(), firBlock, v);
        benchmark::RegisterBenchmark((v.name + "FirBlockExported_Order8").c_str(), firBlockExported, v);
    }
#ifdef HAVE_FFTW3F
    benchmark::RegisterBenchmark("fftwf_r2c_measure", fftwReal<false>)->Apply(orders);
    benchmark::RegisterBenchmark("fftwf_c2r_measure", fftwReal<true>)->Apply(orders);
    benchmark::RegisterBenchmark("fftwf_FirBlock_Order8", fftwFirBlock);
#endif
    return 0;
}
const int kRegistered = registerAll();

} // namespace
