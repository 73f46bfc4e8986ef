// Helpers shared by the primitive tests: the three variants of a function, random data, and
// buffers placed at any offset from a 64-byte boundary with guards around them.
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

#define VECTOR_VARIANTS(fn) (std::array{&m7_##fn, &u8_##fn, &y8_##fn})

template <class T>
struct Placed
{
    static constexpr unsigned char kGuard = 0xA5;
    std::size_t n;
    std::vector<unsigned char> raw;
    unsigned char* start;
    Placed(std::size_t count, std::size_t offsetBytes) : n(count), raw(count * sizeof(T) + offsetBytes + 192, kGuard)
    {
        start = raw.data() + (64 - reinterpret_cast<std::uintptr_t>(raw.data()) % 64) + 64 + offsetBytes;
    }
    T* data() { return reinterpret_cast<T*>(start); }
    void fill(const std::vector<T>& v) { std::memcpy(start, v.data(), n * sizeof(T)); }
    std::vector<T> values() { return std::vector<T>(data(), data() + n); }
    bool guardsIntact() const
    {
        const unsigned char *begin = raw.data(), *end = begin + raw.size(), *at = start;
        const auto bad = [](unsigned char c) { return c != kGuard; };
        return std::none_of(begin, at, bad) && std::none_of(at + n * sizeof(T), end, bad);
    }
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
    std::vector<int> v = {63, 64, 65, 127, 511, 513, 2047, 2049, 2055, 4103, 40000};
    for (int i = 1; i <= 40; ++i)
        v.push_back(i);
    return v;
}

} // namespace VectorTest
