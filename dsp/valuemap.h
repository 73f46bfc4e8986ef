// Linear and power-curve mappings of one value range onto another.
#pragma once

#include <cmath>

namespace DSP {

template <class T>
class LinearMap
{
public:
    LinearMap() : scale(1), inverseScale(1), inMin(0), outMin(0) {}
    LinearMap(T inMin, T inMax, T outMin, T outMax)
    : scale((outMax - outMin) / (inMax - inMin)), inverseScale(T(1) / scale), inMin(inMin), outMin(outMin)
    {}
    T map(T x) const { return (x - inMin) * scale + outMin; }
    T unmap(T y) const { return (y - outMin) * inverseScale + inMin; }

    T scale, inverseScale, inMin, outMin;
};

template <class T>
class PowerMap
{
public:
    // Unit ranges; the middle of the input maps to 0.1.
    PowerMap()
    : outRange(1), invOutRange(1), inRange(1), invInRange(1), inMin(0),
      exponent(static_cast<T>(std::log(static_cast<double>(0.1f)) / std::log(0.5))), invExponent(T(1) / exponent),
      outMin(0)
    {}
    PowerMap(T inMin, T inMax, T outMin, T outMax, T inMid, T outMid)
    : outRange(outMax - outMin), inRange(inMax - inMin), inMin(inMin), outMin(outMin)
    {
        invOutRange = T(1) / outRange;
        invInRange = T(1) / inRange;
        exponent = static_cast<T>(std::log(static_cast<double>((outMid - outMin) / outRange)) /
                                  std::log(static_cast<double>((inMid - inMin) / inRange)));
        invExponent = T(1) / exponent;
    }
    T map(T x) const
    {
        return outMin + outRange * static_cast<T>(std::pow(static_cast<float>((x - inMin) * invInRange),
                                                           static_cast<float>(exponent)));
    }
    T unmap(T y) const
    {
        // Below the output range the base is held at 0: a fractional power of a negative is no number.
        T base = (y - outMin) * invOutRange;
        if (base < T(0))
            base = T(0);
        return inMin + inRange * static_cast<T>(std::pow(static_cast<float>(base), static_cast<float>(invExponent)));
    }
    void mapArray(const T* in, T* out, int n) const
    {
        for (int i = 0; i < n; ++i)
            out[i] = map(in[i]);
    }
    void unmapArray(const T* in, T* out, int n) const
    {
        for (int i = 0; i < n; ++i)
            out[i] = unmap(in[i]);
    }

    T outRange, invOutRange, inRange, invInRange, inMin, exponent, invExponent, outMin;
};

} // namespace DSP
