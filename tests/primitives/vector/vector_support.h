// Helpers shared by the vector primitive tests: the three variants of a function, random data,
// and buffers placed at any offset from a 64-byte boundary with guards around them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/vector/ipps_vector.h"

namespace VectorTest {

template <class Fn>
std::array<Fn, 3> three(Fn m7, Fn u8, Fn y8)
{
    return {m7, u8, y8};
}
#define VECTOR_VARIANTS(fn) ::VectorTest::three(&m7_##fn, &u8_##fn, &y8_##fn)

template <class T>
class Placed
{
public:
    Placed(std::size_t n, std::size_t offsetBytes) : n_(n), raw_(n * sizeof(T) + offsetBytes + 192, kGuard)
    {
        start_ = raw_.data() + (64 - reinterpret_cast<std::uintptr_t>(raw_.data()) % 64) + 64 + offsetBytes;
    }
    T* data() { return reinterpret_cast<T*>(start_); }
    void fill(const std::vector<T>& v) { std::memcpy(start_, v.data(), n_ * sizeof(T)); }
    std::vector<T> values() const
    {
        return std::vector<T>(reinterpret_cast<const T*>(start_), reinterpret_cast<const T*>(start_) + n_);
    }
    bool guardsIntact() const
    {
        const auto bad = [](unsigned char c) { return c != kGuard; };
        const unsigned char* b = raw_.data();
        return std::none_of(b, static_cast<const unsigned char*>(start_), bad) &&
               std::none_of(static_cast<const unsigned char*>(start_) + n_ * sizeof(T), b + raw_.size(), bad);
    }

private:
    static constexpr unsigned char kGuard = 0xA5;
    std::size_t n_;
    std::vector<unsigned char> raw_;
    unsigned char* start_;
};

inline std::mt19937& rng()
{
    static std::mt19937 g(20261206);
    return g;
}

template <class T = float>
std::vector<T> randomValues(std::size_t n, double lo = -100, double hi = 100)
{
    std::uniform_real_distribution<double> d(lo, hi);
    std::vector<T> v(n);
    for (auto& x : v)
        x = std::is_integral_v<T> ? T(std::floor(d(rng()))) : T(d(rng()));
    return v;
}

inline std::uint32_t bits(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

// Lengths that cross every step and tail size of the kernels.
inline std::vector<int> testLengths()
{
    std::vector<int> v;
    for (int i = 1; i <= 40; ++i)
        v.push_back(i);
    for (int i : {63, 64, 65, 127, 511, 513, 2047, 2049, 2055, 4103, 40000})
        v.push_back(i);
    return v;
}

} // namespace VectorTest
