// The typed IIR kernels: per-sample kernels of every accumulator and data type, and the block
// kernels of 16-bit and complex data, against a complex double difference equation, with the
// saturation and rounding of the integer outputs and the variants compared bit for bit.
#include "filters_test_util.h"

using namespace filters_test;
using cd = std::complex<double>;

namespace {

using Acc = int; // the accumulator type
constexpr Acc F32 = 0, F64 = 1, C32 = 2, C64 = 3;

// A filter (biquad cascade or one arbitrary-order filter, a0 = 1) and a state laid out for the
// kernels of one accumulator type.
struct Typed
{
    bool cascade;
    Acc acc;
    int size;             // biquads, or the order
    std::vector<cd> b, a; // per biquad b0 b1 b2 / a1 a2; or b0..bN / a1..aN
    std::vector<double> taps, table, dly;
    IirState32f s{};

    Typed(bool bq, Acc ac, int n, unsigned seed) : cascade(bq), acc(ac), size(n)
    {
        std::mt19937 g(seed);
        std::uniform_real_distribution<float> u(-1, 1), r(0.3f, 0.8f);
        const bool cx = acc == C32 || acc == C64;
        auto c = [&](float re, float im) { return cd(re, cx ? im : 0.0f); };
        const int sections = cascade ? n : 1;
        for (int k = 0; k < sections; ++k) {
            for (int i = 0; i <= (cascade ? 2 : n); ++i)
                b.push_back(c(u(g) * 0.5f, u(g) * 0.5f));
            for (int i = 1; i <= (cascade ? 2 : n); ++i) // small feedback keeps every filter stable
                a.push_back(c(u(g) * r(g) / float(cascade ? 2 : 2 * n), u(g) * 0.1f / float(cascade ? 1 : n)));
        }
        // Taps (b then a, per section) and the one-sample table, as their values in order.
        std::vector<double> t, o;
        auto coef = [&](cd v) {
            t.push_back(v.real());
            if (cx)
                t.push_back(v.imag());
        };
        auto quad = [&](cd p) { o.insert(o.end(), {p.real(), p.imag(), p.imag(), p.real()}); };
        if (cascade) {
            for (int k = 0; k < n; ++k) {
                const cd b0 = b[3 * k], b1 = b[3 * k + 1], b2 = b[3 * k + 2], A1 = -a[2 * k], A2 = -a[2 * k + 1];
                for (cd v : {b0, b1, b2, -A1, -A2})
                    coef(v);
                if (acc == F32)
                    o.insert(o.end(), {b0.real(), b1.real(), b2.real(), 0, A1.real(), A2.real(), 0, 0});
                else if (acc == F64)
                    o.insert(o.end(), {b0.real(), b0.real(), b1.real(), b2.real(), A1.real(), A2.real()});
                else if (acc == C32)
                    o.insert(o.end(), {b0.real(), b0.imag(),  -b0.imag(), b0.real(),  b1.real(),  b1.imag(), b2.real(),
                                       b2.imag(), -b1.imag(), b1.real(),  -b2.imag(), b2.real(),  A1.real(), A1.imag(),
                                       A2.real(), A2.imag(),  -A1.imag(), A1.real(),  -A2.imag(), A2.real()});
                else
                    for (cd p : {b0, b1, b2, A1, A2})
                        quad(p);
            }
        } else {
            for (int i = 0; i <= 2 * n; ++i)
                coef(i <= n ? b[i] : a[i - n - 1]);
            if (acc == C32) { // the terms of two consecutive orders interleaved
                o = {b[0].real(), b[0].real(), -b[0].imag(), b[0].imag()};
                o.resize(4 + 8 * (n + 1));
                for (int i = 0; i < n; ++i) {
                    const cd B = b[i + 1], A = a[i];
                    const double v[8] = {B.real(),  B.real(),  -B.imag(), B.imag(),
                                         -A.real(), -A.imag(), A.imag(),  -A.real()};
                    for (int q = 0; q < 8; ++q)
                        o[4 + 8 * (i - i % 2) + 4 * (q / 2) + 2 * (i % 2) + q % 2] = v[q];
                }
            } else if (acc == C64) {
                quad(b[0]);
                for (int i = 0; i < n; ++i)
                    quad(b[i + 1]), quad(-a[i]);
            }
        }
        // Stored as the accumulator's element type.
        const bool dbl = acc == F64 || acc == C64;
        taps.assign(64 * (n + 2), 0.0);
        table.assign(64 * (n + 2), 0.0);
        dly.assign(8 * (n + 2), 0.0);
        auto* tf = reinterpret_cast<float*>(taps.data());
        auto* of = reinterpret_cast<float*>(table.data());
        for (std::size_t i = 0; i < t.size(); ++i)
            dbl ? void(taps[i] = t[i]) : void(tf[i] = float(t[i]));
        for (std::size_t i = 0; i < o.size(); ++i)
            dbl ? void(table[i] = o[i]) : void(of[i] = float(o[i]));
        s.id = cascade ? kIirIdBiQuad : kIirIdArbitrary;
        s.taps = tf;
        s.oneTable = of;
        s.dlyLine = reinterpret_cast<float*>(dly.data());
        s.numBq = cascade ? n : 0;
        s.order = cascade ? 2 * n : n;
    }

    // The difference equation in complex double over a whole signal.
    std::vector<cd> reference(const std::vector<cd>& x) const
    {
        std::vector<cd> sig = x;
        const int sections = cascade ? size : 1, n = cascade ? 2 : size;
        for (int k = 0; k < sections; ++k) {
            std::vector<cd> y(sig.size());
            for (std::size_t t = 0; t < sig.size(); ++t) {
                cd acc = 0;
                for (int i = 0; i <= n && i <= int(t); ++i)
                    acc += b[(n + 1) * k + i] * sig[t - i];
                for (int i = 1; i <= n && i <= int(t); ++i)
                    acc -= a[n * k + i - 1] * y[t - i];
                y[t] = acc;
            }
            sig = y;
        }
        return sig;
    }
};

// The integer an output of value v takes: scaled, saturated, rounded to nearest even.
double toInt(double v, int sf, double lo, double hi)
{
    return std::nearbyint(std::clamp(std::ldexp(v, -sf), lo, hi));
}

template <class D>
constexpr bool kInteger = std::is_integral_v<D> || std::is_same_v<D, Ipp16sc> || std::is_same_v<D, Ipp32sc>;

template <class D>
cd value(D x)
{
    if constexpr (std::is_arithmetic_v<D>)
        return cd(x, 0);
    else
        return cd(x.re, x.im);
}

// Runs one kernel of any form (with or without accumulator output and scale factor) over a random
// signal in every variant: the variants' outputs agree bit for bit, float outputs follow the
// reference and integer outputs its conversion within one step, the accumulator output (when the
// kernel has one) exactly converted.
template <class D, class... R>
void checkKernel(const char* name, const std::array<void (*)(const D*, D*, R...), 3>& variants, bool cascade, Acc acc,
                 int size, double tol)
{
    using First = std::tuple_element_t<0, std::tuple<R...>>;
    using A = std::conditional_t<std::is_same_v<First, IirState32f*>, void, std::remove_pointer_t<First>>;
    const int sf = 0;
    std::vector<D> in(300), first;
    std::mt19937 g(size * 31 + acc);
    std::uniform_real_distribution<double> u(-1, 1);
    const double amp = kInteger<D> ? 4000.0 : 1.0;
    std::vector<cd> x;
    for (auto& v : in) {
        if constexpr (std::is_arithmetic_v<D>)
            v = static_cast<D>(std::is_integral_v<D> ? std::round(u(g) * amp) : u(g) * amp);
        else
            v = {static_cast<decltype(v.re)>(std::round(u(g) * amp)),
                 static_cast<decltype(v.re)>(std::round(u(g) * amp))};
        x.push_back(value(v));
    }
    for (int var = 0; var < 3; ++var) {
        Typed f(cascade, acc, size, size + 5u);
        const std::vector<cd> ref = f.reference(x);
        std::vector<D> out(in.size());
        using Stored = std::conditional_t<std::is_void_v<A>, char, A>;
        std::vector<Stored> accOut(in.size());
        double err = 0, scale = 1e-30;
        for (std::size_t t = 0; t < in.size(); ++t) {
            auto* accAt = reinterpret_cast<A*>(&accOut[t]);
            if constexpr (sizeof...(R) == 1)
                variants[var](&in[t], &out[t], &f.s);
            else if constexpr (std::is_void_v<A>)
                variants[var](&in[t], &out[t], &f.s, sf);
            else if constexpr (sizeof...(R) == 2)
                variants[var](&in[t], &out[t], accAt, &f.s);
            else
                variants[var](&in[t], &out[t], accAt, &f.s, sf);
            const cd got = value(out[t]);
            if constexpr (!std::is_void_v<A> && kInteger<D>) {
                const cd y = value(accOut[t]);
                EXPECT_EQ(got, cd(toInt(y.real(), sf, -2147483648.0, 2147483647.0),
                                  toInt(y.imag(), sf, -2147483648.0, 2147483647.0)))
                    << name;
            }
            for (int part = 0; part < 2; ++part) {
                const double r = part ? ref[t].imag() : ref[t].real(), o = part ? got.imag() : got.real();
                if constexpr (std::is_same_v<D, Ipp16s> || std::is_same_v<D, Ipp16sc>)
                    EXPECT_LE(std::fabs(o - toInt(r, sf, -32768, 32767)), 1.0) << name << " t " << t;
                else if constexpr (std::is_same_v<D, Ipp32s> || std::is_same_v<D, Ipp32sc>)
                    EXPECT_LE(std::fabs(o - toInt(r, sf, -2147483648.0, 2147483647.0)), 1.0) << name;
                else
                    err = std::max(err, std::fabs(o - r));
                scale = std::max(scale, std::fabs(r));
            }
        }
        EXPECT_LE(err / scale, tol) << name;
        if (var == 0)
            first = out;
        else
            EXPECT_EQ(std::memcmp(first.data(), out.data(), out.size() * sizeof(D)), 0) << name << " variant " << var;
    }
}

} // namespace

#define CHECK(k, ...) checkKernel(#k, VECTOR_VARIANTS(k), __VA_ARGS__);

TEST(filters_iir_typed, PerSampleKernelsFollowTheDifferenceEquation)
{
    for (int n : {1, 2, 3, 4, 5, 6}) {
        CHECK(ownsIIRBQOne32f_16s, true, F32, n, 0)
        CHECK(ownsIIRAROne32f_16s, false, F32, n, 0)
        CHECK(ownsIIRAROne32f_16s_32f, false, F32, n, 0)
        CHECK(ownsIIRAROne_32fc, false, C32, n, 2e-5)
        CHECK(ownsIIRBQOne_32fc, true, C32, n, 2e-5)
        CHECK(ownsIIRAROne32fc_16sc, false, C32, n, 0)
        CHECK(ownsIIRAROne32fc_16sc_32fc, false, C32, n, 0)
        CHECK(ownsIIRBQOne32fc_16sc, true, C32, n, 0)
        CHECK(ownsIIRBQOne_64f, true, F64, n, 1e-12)
        CHECK(ownsIIRBQOne64f_16s, true, F64, n, 0)
        CHECK(ownsIIRBQOne64f_32s, true, F64, n, 0)
        CHECK(ownsIIRBQOne64f_32f, true, F64, n, 1e-6)
        CHECK(ownsIIRAROne_64f, false, F64, n, 1e-12)
        CHECK(ownsIIRAROne64f_32s, false, F64, n, 0)
        CHECK(ownsIIRAROne64f_32s_64f, false, F64, n, 0)
        CHECK(ownsIIRAROne64f_16s, false, F64, n, 0)
        CHECK(ownsIIRAROne64f_16s_64f, false, F64, n, 0)
        CHECK(ownsIIRAROne64f_32f, false, F64, n, 1e-6)
        CHECK(ownsIIRAROne64f_32f_64f, false, F64, n, 1e-6)
        CHECK(ownsIIRAROne_64fc, false, C64, n, 1e-12)
        CHECK(ownsIIRBQOne_64fc, true, C64, n, 1e-12)
        CHECK(ownsIIRAROne64fc_32sc, false, C64, n, 0)
        CHECK(ownsIIRAROne64fc_32sc_64fc, false, C64, n, 0)
        CHECK(ownsIIRBQOne64fc_32sc, true, C64, n, 0)
        CHECK(ownsIIRAROne64fc_16sc, false, C64, n, 0)
        CHECK(ownsIIRAROne64fc_16sc_64fc, false, C64, n, 0)
        CHECK(ownsIIRBQOne64fc_16sc, true, C64, n, 0)
        CHECK(ownsIIRAROne64fc_32fc, false, C64, n, 1e-6)
        CHECK(ownsIIRAROne64fc_32fc_64fc, false, C64, n, 1e-6)
        CHECK(ownsIIRBQOne64fc_32fc, true, C64, n, 1e-6)
    }
}

TEST(filters_iir_typed, IntegerOutputsSaturateAndRoundTiesToEven)
{
    // Order 0: y = b0 x, scaled, saturated and rounded; the delay line is left alone.
    std::vector<double> taps(8), dly(8, 7.0);
    IirState32f s{};
    s.taps = reinterpret_cast<float*>(taps.data()), s.dlyLine = reinterpret_cast<float*>(dly.data());
    const double f = 0, c = 1, d = 2, d32 = 3; // float, complex float, double accumulators; double to 32 bits
    const double rows[][5] = {{f, 0.5, 33, 0, 16},          {f, 0.5, 35, 0, 18},
                              {f, 0.5, -33, 0, -16},        {f, 1000, 32767, 0, 32767},
                              {f, 1000, -32768, 0, -32768}, {f, 1, 33, 1, 16},
                              {f, 1, 32767, -20, 32767},    {f, 1, -1, -20, -32768},
                              {c, 1, -1, -20, -32768},      {c, 1, 1, -20, 32767},
                              {d, 1, 3, -30, 32767},        {d, 1, 7, 1, 4},
                              {d32, 4, 2e9, 0, 2147483647}, {d32, 4, -2e9, 0, -2147483648.0},
                              {d32, 1, 1, -40, 2147483647}, {d32, 0.5, 5, 0, 2},
                              {d32, 0.5, 7, 0, 4}};
    for (int v = 0; v < 3; ++v)
        for (const auto& r : rows) {
            const int sf = int(r[3]);
            s.taps[0] = float(r[1]), s.taps[1] = 0.0f;
            taps[0] = r[0] >= d ? r[1] : taps[0];
            const Ipp16s x = r[0] == d32 ? 0 : Ipp16s(r[2]);
            const Ipp16sc xc{x, Ipp16s(-x)};
            const Ipp32s x32 = Ipp32s(r[2]);
            Ipp16s y = 0;
            Ipp16sc yc{};
            Ipp32s y32 = 0;
            if (r[0] == f)
                VECTOR_VARIANTS(ownsIIRAROne32f_16s)[v](&x, &y, &s, sf);
            else if (r[0] == c)
                VECTOR_VARIANTS(ownsIIRAROne32fc_16sc)[v](&xc, &yc, &s, sf), y = yc.re;
            else if (r[0] == d)
                VECTOR_VARIANTS(ownsIIRAROne64f_16s)[v](&x, &y, &s, sf);
            else
                VECTOR_VARIANTS(ownsIIRAROne64f_32s)[v](&x32, &y32, &s, sf);
            EXPECT_EQ(r[0] == d32 ? y32 : y, r[4]) << v << " x " << r[2] << " sf " << sf;
            EXPECT_TRUE(r[0] != c || yc.im == (r[4] == 32767 ? -32768 : 32767));
        }
    EXPECT_EQ(dly[0], 7.0);
}

TEST(filters_iir_typed, BlockKernelsOf16BitDataMatchTheFloatKernels)
{
    const std::vector<float> xf = noise(64, 21, 3000.0f);
    std::vector<Ipp16s> x16;
    for (float v : xf)
        x16.push_back(Ipp16s(std::lround(v)));
    const std::vector<float> xc(x16.begin(), x16.end());
    const int len = 40;
    for (int N = 0; N <= 5; ++N) {
        // Tables of an arbitrary-order float state, filled by the set-up of that kind; for N = 2
        // also those of the same filter as a biquad.
        std::vector<float> raw = noise(2 * N + 2, 30 + N, 0.3f), taps(4 * N + 8), dly(N + 4), xt(4 * N + 8),
                           yt(4 * N + 16);
        raw[N + 1] = 1.0f;
        IirState32f s{}, *q = nullptr;
        s.id = kIirIdArbitrary, s.order = N, s.taps = taps.data(), s.dlyLine = dly.data(), s.xTable = xt.data(),
        s.yTable = yt.data();
        ASSERT_EQ(m7_ippsIIRSetTaps_32f(raw.data(), &s), 0);
        ASSERT_EQ(N == 2 ? m7_ippsIIRInitAlloc_BiQuad_32f(&q, raw.data(), 1, nullptr) : ippStsNoErr, 0);
        for (int v = 0; v < 3; ++v) {
            std::vector<float> v0(len), v1(len), y0(len + N), y1(len + N);
            std::vector<Ipp16s> o16(len + N);
            for (int i = 0; i < N; ++i)
                y0[i] = y1[i] = float(i) - 1.5f;
            VECTOR_VARIANTS(ownsIIRxAR_32f)[v](xc.data(), v0.data(), len, xt.data(), N);
            VECTOR_VARIANTS(ownsIIRxAR32f_16s)[v](x16.data(), v1.data(), len, xt.data(), N);
            EXPECT_TRUE(sameBits(v0, v1)) << N;
            if (N == 0)
                continue;
            VECTOR_VARIANTS(ownsIIRyAR_32f)[v](v0.data(), y0.data(), len, yt.data(), N);
            VECTOR_VARIANTS(ownsIIRyAR32f_16s)[v](v1.data(), y1.data(), len, yt.data(), N, o16.data(), 2);
            EXPECT_TRUE(sameBits(y0, y1)) << N;
            for (int k = N; k < len + N; ++k)
                EXPECT_EQ(o16[k], toInt(y1[k], 2, -32768, 32767));
            if (N != 2)
                continue;
            VECTOR_VARIANTS(ownsIIRxBQ_32f)[v](xc.data(), v0.data(), len, q->xTable);
            VECTOR_VARIANTS(ownsIIRxBQ_32f_16s)[v](x16.data(), v1.data(), len, q->xTable);
            EXPECT_TRUE(sameBits(v0, v1));
            VECTOR_VARIANTS(ownsIIRyBQ_32f)[v](v0.data(), y0.data(), len, q->yTable);
            VECTOR_VARIANTS(ownsIIRyBQ_32f_16s)[v](v1.data(), y1.data(), len, q->yTable, o16.data(), -3);
            EXPECT_TRUE(sameBits(y0, y1));
            for (int k = N; k < len + N; ++k)
                EXPECT_EQ(o16[k], toInt(y1[k], -3, -32768, 32767));
        }
        m7_ippsIIRFree_32f(q);
    }
}

TEST(filters_iir_typed, ComplexBlockKernelsContinueTheSignal)
{
    for (int N : {1, 2, 3, 5}) {
        const Typed f(false, C32, N, 50u + N);
        // x table: each b as (re x4), (-im, im, -im, im); y table from the recursion's weights.
        std::vector<float> xt, yt(16 * (N + 1));
        for (int j = 0; j <= N; ++j) {
            const float re = float(f.b[j].real()), im = float(f.b[j].imag());
            for (float w : {re, re, re, re, -im, im, -im, im})
                xt.push_back(w);
        }
        // Weights toward y[n .. n+3] of each history value (k < N) and of v[n] (k = N).
        for (int k = 0; k <= N; ++k) {
            std::vector<cd> y(N + 4);
            if (k < N)
                y[N - 1 - k] = 1;
            for (int t = N; t < N + 4; ++t) {
                y[t] = k == N && t == N ? 1.0 : 0.0;
                for (int i = 1; i <= N; ++i)
                    y[t] -= f.a[i - 1] * y[t - i];
            }
            for (int pr = 0; pr < 2; ++pr)
                for (int o = 0; o < 2; ++o) {
                    const cd c = y[N + 2 * pr + o];
                    float* at = &yt[16 * k + 8 * pr + 2 * o];
                    at[0] = float(c.real()), at[1] = float(c.imag()), at[4] = float(-c.imag()), at[5] = float(c.real());
                }
        }
        const std::vector<float> raw = noise(2 * 60, 60u + N, 1.0f);
        std::vector<Ipp16sc> x16(N + 60);
        std::vector<Ipp32fc> x32(N + 60);
        std::vector<cd> x;
        for (int t = 0; t < 60; ++t) {
            x16[N + t] = {Ipp16s(raw[2 * t] * 100), Ipp16s(raw[2 * t + 1] * 100)};
            x32[N + t] = {float(x16[N + t].re), float(x16[N + t].im)};
            x.push_back(value(x16[N + t]));
        }
        const std::vector<cd> ref = f.reference(x);
        for (int var = 0; var < 3; ++var) {
            std::vector<Ipp32fc> v(60), vf(60), y(N + 60), yPlain(N + 60);
            std::vector<Ipp16sc> out(N + 60);
            VECTOR_VARIANTS(ownsIIRxAR32fc_16sc)[var](x16.data(), v.data(), 60, xt.data(), N);
            VECTOR_VARIANTS(ownsIIRxAR_32fc)[var](x32.data(), vf.data(), 60, xt.data(), N);
            EXPECT_EQ(std::memcmp(v.data(), vf.data(), 60 * sizeof(Ipp32fc)), 0);
            // Two blocks, 23 then 37 outputs, the second starting from the history the first left.
            const auto yk = VECTOR_VARIANTS(ownsIIRyAR32fc_16sc)[var];
            yk(v.data(), y.data(), 23, yt.data(), N, out.data(), 0);
            yk(v.data() + 23, y.data() + 23, 37, yt.data(), N, out.data() + 23, 0);
            VECTOR_VARIANTS(ownsIIRyAR_32fc)[var](v.data(), yPlain.data(), 60, yt.data(), N);
            std::vector<float> got, plain;
            std::vector<double> want;
            for (int t = 0; t < 60; ++t) {
                got.insert(got.end(), {y[N + t].re, y[N + t].im});
                plain.insert(plain.end(), {yPlain[N + t].re, yPlain[N + t].im});
                want.insert(want.end(), {ref[t].real(), ref[t].imag()});
                EXPECT_EQ(out[N + t].re, toInt(y[N + t].re, 0, -32768, 32767));
            }
            EXPECT_LT(relMaxError(got, want), 1e-5) << "N " << N;
            EXPECT_LT(relMaxError(plain, want), 1e-5) << "N " << N;
        }
    }
}
