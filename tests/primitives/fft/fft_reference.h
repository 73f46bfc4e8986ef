// Plain double-precision references for the FFT tests.
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

using cd = std::complex<double>;

// e^(sign 2 pi i k / n) for k below n / 2, as products of two exact table entries.
class ReferenceTwiddles
{
public:
    ReferenceTwiddles(size_t n, int sign) : n_(n)
    {
        for (size_t k = 0; k < kFine; ++k)
            fine_.push_back(std::polar(1.0, sign * 2.0 * M_PI * double(k) / double(n)));
        for (size_t k = 0; k < n / 2; k += kFine)
            coarse_.push_back(std::polar(1.0, sign * 2.0 * M_PI * double(k) / double(n)));
    }
    size_t n() const { return n_; }
    // Parts written out: no build type turns a product into a library call.
    void get(size_t k, double& re, double& im) const
    {
        const cd a = coarse_[k / kFine], b = fine_[k % kFine];
        re = a.real() * b.real() - a.imag() * b.imag();
        im = a.real() * b.imag() + a.imag() * b.real();
    }

private:
    static constexpr size_t kFine = 64;
    size_t n_;
    std::vector<cd> fine_, coarse_;
};

// The radix-2 levels of the n points at x (interleaved parts), given in bit-reversed order: both
// halves first, so a block that fits the cache finishes all its levels there.
inline void referenceLevels(double* x, size_t n, const ReferenceTwiddles& w)
{
    if (n < 2)
        return;
    referenceLevels(x, n / 2, w);
    referenceLevels(x + n, n / 2, w);
    const size_t step = w.n() / n;
    double* y = x + n;
    for (size_t k = 0; k < n / 2; ++k) {
        double wr, wi;
        w.get(k * step, wr, wi);
        const double vr = y[2 * k] * wr - y[2 * k + 1] * wi, vi = y[2 * k] * wi + y[2 * k + 1] * wr;
        y[2 * k] = x[2 * k] - vr;
        y[2 * k + 1] = x[2 * k + 1] - vi;
        x[2 * k] += vr;
        x[2 * k + 1] += vi;
    }
}

// X[k] = sum x[t] e^(sign 2 pi i t k / n) of a power-of-two length, in place: a plain radix-2
// transform in double precision.
inline void referenceDftInPlace(std::vector<cd>& x, int sign)
{
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    referenceLevels(reinterpret_cast<double*>(x.data()), n, ReferenceTwiddles(n, sign));
}

inline std::vector<cd> referenceDft(std::vector<cd> x, int sign)
{
    referenceDftInPlace(x, sign);
    return x;
}

// Relative RMS error of a float result against a double reference.
inline double relRms(const float* got, const std::vector<double>& ref)
{
    double num = 0, den = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        num += (got[i] - ref[i]) * (got[i] - ref[i]);
        den += ref[i] * ref[i];
    }
    return den == 0 ? std::sqrt(num) : std::sqrt(num / den);
}

inline std::vector<float> randomFloats(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<float> v(n);
    for (auto& x : v)
        x = d(rng);
    return v;
}

// Perm layout of the real spectrum of x (forward, unscaled), in double precision.
inline std::vector<double> referencePerm(const std::vector<float>& x)
{
    const size_t N = x.size();
    std::vector<cd> c(N);
    for (size_t i = 0; i < N; ++i)
        c[i] = x[i];
    const auto X = referenceDft(c, -1);
    std::vector<double> p(N);
    p[0] = X[0].real();
    if (N == 1)
        return p;
    p[1] = X[N / 2].real();
    for (size_t k = 1; k < N / 2; ++k) {
        p[2 * k] = X[k].real();
        p[2 * k + 1] = X[k].imag();
    }
    return p;
}

// Real signal whose unscaled inverse transform the Perm spectrum p describes.
inline std::vector<double> referenceInversePerm(const std::vector<float>& p)
{
    const size_t N = p.size();
    std::vector<cd> X(N);
    X[0] = p[0];
    if (N > 1) {
        X[N / 2] = p[1];
        for (size_t k = 1; k < N / 2; ++k) {
            X[k] = cd(p[2 * k], p[2 * k + 1]);
            X[N - k] = std::conj(X[k]);
        }
    }
    const auto x = referenceDft(X, +1);
    std::vector<double> r(N);
    for (size_t i = 0; i < N; ++i)
        r[i] = x[i].real();
    return r;
}

// A float buffer whose data start sits `offset` bytes past a 64-byte boundary.
class OffsetBuffer
{
public:
    OffsetBuffer(size_t floats, size_t offset) : raw_(floats * 4 + offset + 64)
    {
        const auto a = reinterpret_cast<std::uintptr_t>(raw_.data());
        base_ = reinterpret_cast<unsigned char*>((a + 63) & ~std::uintptr_t(63)) + offset;
    }
    float* f() { return reinterpret_cast<float*>(base_); }
    unsigned char* bytes() { return base_; }

private:
    std::vector<unsigned char> raw_;
    unsigned char* base_;
};

inline bool sameBits(const float* a, const float* b, size_t n)
{
    return std::memcmp(a, b, n * 4) == 0;
}
