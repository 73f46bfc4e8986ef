// Helpers shared by the vector primitive tests: the three variants of a function, random data,
// and buffers whose start can be placed at any offset from a 64-byte boundary.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/vector/ipps_vector.h"

namespace VectorTest {

template <class Fn>
struct Variant
{
    const char* name;
    Fn fn;
};

template <class Fn>
std::array<Variant<Fn>, 3> makeVariants(Fn m7, Fn u8, Fn y8)
{
    return {Variant<Fn>{"m7_", m7}, Variant<Fn>{"u8_", u8}, Variant<Fn>{"y8_", y8}};
}

#define VECTOR_VARIANTS(fn) ::VectorTest::makeVariants(&m7_##fn, &u8_##fn, &y8_##fn)

// Storage of n elements of T starting `offsetBytes` past a 64-byte boundary, with guard bytes
// around it that must stay untouched.
template <class T>
class Placed
{
public:
    Placed(std::size_t n, std::size_t offsetBytes) : n_(n), raw_(n * sizeof(T) + offsetBytes + 128 + 64, guard)
    {
        auto base = reinterpret_cast<std::uintptr_t>(raw_.data()) + 64;
        base = (base + 63) & ~std::uintptr_t(63);
        start_ = reinterpret_cast<unsigned char*>(base) + offsetBytes;
    }
    T* data() { return reinterpret_cast<T*>(start_); }
    const T* data() const { return reinterpret_cast<const T*>(start_); }
    T& operator[](std::size_t i) { return data()[i]; }
    std::size_t size() const { return n_; }
    void fill(const std::vector<T>& v) { std::memcpy(start_, v.data(), n_ * sizeof(T)); }
    std::vector<T> values() const
    {
        std::vector<T> v(n_);
        std::memcpy(v.data(), start_, n_ * sizeof(T));
        return v;
    }
    bool guardsIntact() const
    {
        const unsigned char* b = raw_.data();
        const unsigned char* e = b + raw_.size();
        for (const unsigned char* p = b; p < start_; ++p)
            if (*p != guard)
                return false;
        for (const unsigned char* p = start_ + n_ * sizeof(T); p < e; ++p)
            if (*p != guard)
                return false;
        return true;
    }

private:
    static constexpr unsigned char guard = 0xA5;
    std::size_t n_;
    std::vector<unsigned char> raw_;
    unsigned char* start_;
};

inline std::mt19937& rng()
{
    static std::mt19937 g(20261206);
    return g;
}

inline std::vector<float> randomFloats(std::size_t n, float lo = -100.0f, float hi = 100.0f)
{
    std::uniform_real_distribution<float> d(lo, hi);
    std::vector<float> v(n);
    for (auto& x : v)
        x = d(rng());
    return v;
}

// Small integers as floats: many ties for the max/min searches.
inline std::vector<float> randomTies(std::size_t n, int range = 5)
{
    std::uniform_int_distribution<int> d(-range, range);
    std::vector<float> v(n);
    for (auto& x : v)
        x = float(d(rng()));
    return v;
}

inline std::uint32_t bits(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}
inline std::uint64_t bits(double f)
{
    std::uint64_t b;
    std::memcpy(&b, &f, 8);
    return b;
}

// Lengths that cross every step and tail size of the kernels.
inline std::vector<int> testLengths()
{
    std::vector<int> v;
    for (int i = 1; i <= 72; ++i)
        v.push_back(i);
    for (int i : {127, 128, 129, 255, 511, 512, 513, 1000, 2047, 2048, 2049, 2055, 4096 + 7, 19200, 40000})
        v.push_back(i);
    return v;
}

} // namespace VectorTest
