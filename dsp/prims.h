// The primitives and base services the engine runs on, gathered in one place.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "primitives/common/ipptypes.h"

#if __has_include("primitives/vector/ipps_vector.h")
#include "primitives/vector/ipps_vector.h"
#define DSP_HAVE_VECTOR 1
#endif
#if __has_include("primitives/filters/ipps_filters.h")
#include "primitives/filters/ipps_filters.h"
#define DSP_HAVE_FILTERS 1
#endif
#if __has_include("base/alignedmemory.h")
#include "base/alignedmemory.h"
#define DSP_HAVE_ALIGNED 1
#endif

namespace DSP {
namespace prim {

template <class F> struct FirstArg;
template <class R, class A, class... Rest> struct FirstArg<R (*)(A, Rest...)> { typedef A type; };
template <class F> struct LastArg;
template <class R, class A> struct LastArg<R (*)(A)> { typedef A type; };

#if !defined(DSP_HAVE_ALIGNED)
inline void* alignedMalloc(std::int32_t size, std::int32_t alignment)
{
    if (alignment < 2 || (alignment & 1))
        return nullptr;
    char* raw = static_cast<char*>(std::malloc(static_cast<std::size_t>(size) + alignment + 8));
    if (!raw)
        throw "Not enough memory!";
    std::uintptr_t a = (reinterpret_cast<std::uintptr_t>(raw) + alignment + 8) & ~static_cast<std::uintptr_t>(alignment - 1);
    reinterpret_cast<char**>(a)[-1] = raw;
    return reinterpret_cast<void*>(a);
}
inline bool alignedFree(void* p)
{
    if (p)
        std::free(static_cast<char**>(p)[-1]);
    return true;
}
#else
using ::alignedMalloc;
using ::alignedFree;
#endif

#if !defined(DSP_HAVE_VECTOR)
inline IppStatus ippsSqr_32f(const Ipp32f* s, Ipp32f* d, int len)
{
    if (!s || !d) return ippStsNullPtrErr;
    if (len < 1) return ippStsSizeErr;
    for (int i = 0; i < len; ++i) d[i] = s[i] * s[i];
    return 0;
}
inline IppStatus ippsSum_32f(const Ipp32f* s, int len, Ipp32f* sum, int)
{
    if (!s || !sum) return ippStsNullPtrErr;
    if (len < 1) return ippStsSizeErr;
    double acc[8] = {};
    int i = 0;
    for (; i + 8 <= len; i += 8)
        for (int k = 0; k < 8; ++k) acc[k] += s[i + k];
    for (int k = 0; i < len; ++i, ++k) acc[k] += s[i];
    *sum = static_cast<float>(((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7])));
    return 0;
}
inline IppStatus ippsMinMax_32f(const Ipp32f* s, int len, Ipp32f* mn, Ipp32f* mx)
{
    if (!s || !mn || !mx) return ippStsNullPtrErr;
    if (len < 1) return ippStsSizeErr;
    float a = s[0], b = s[0];
    for (int i = 1; i < len; ++i) { if (s[i] < a) a = s[i]; if (s[i] > b) b = s[i]; }
    *mn = a; *mx = b;
    return 0;
}
inline IppStatus ippsMax_32f(const Ipp32f* s, int len, Ipp32f* mx)
{
    if (!s || !mx) return ippStsNullPtrErr;
    if (len < 1) return ippStsSizeErr;
    float b = s[0];
    for (int i = 1; i < len; ++i) if (s[i] > b) b = s[i];
    *mx = b;
    return 0;
}
inline IppStatus ippsMaxIndx_32f(const Ipp32f* s, int len, Ipp32f* mx, int* idx)
{
    if (!s || !mx || !idx) return ippStsNullPtrErr;
    if (len < 1) return ippStsSizeErr;
    int k = 0;
    for (int i = 1; i < len; ++i) if (s[i] > s[k]) k = i;
    *mx = s[k]; *idx = k;
    return 0;
}
inline IppStatus ippsMinMaxIndx_32f(const Ipp32f* s, int len, Ipp32f* mn, int* mni, Ipp32f* mx, int* mxi)
{
    if (!s || !mn || !mni || !mx || !mxi) return ippStsNullPtrErr;
    if (len < 1) return ippStsSizeErr;
    int a = 0, b = 0;
    for (int i = 1; i < len; ++i) { if (s[i] < s[a]) a = i; if (s[i] > s[b]) b = i; }
    *mn = s[a]; *mni = a; *mx = s[b]; *mxi = b;
    return 0;
}
inline IppStatus ippsAdd_32f_I(const Ipp32f* s, Ipp32f* d, int len)
{
    if (!s || !d) return ippStsNullPtrErr;
    if (len < 1) return ippStsSizeErr;
    for (int i = 0; i < len; ++i) d[i] += s[i];
    return 0;
}
inline IppStatus ippsMulC_32f_I(Ipp32f v, Ipp32f* d, int len)
{
    if (!d) return ippStsNullPtrErr;
    if (len < 1) return ippStsSizeErr;
    for (int i = 0; i < len; ++i) d[i] *= v;
    return 0;
}
#endif

#if !defined(DSP_HAVE_FILTERS)
struct IirState32f { float b0, b1, b2, a1, a2, s1, s2; };
struct FirState32f { int taps; float* h; float* dly; };
typedef IirState32f IirStateType;
typedef FirState32f FirStateType;
inline IppStatus ippsIIRSetTaps_32f(const Ipp32f* t, IirState32f* s)
{
    if (!t || !s) return ippStsNullPtrErr;
    if (t[3] == 0.0f || t[0] == 0.0f) return ippStsDivByZeroErr;
    float g = 1.0f / t[3];
    s->b0 = t[0] * g; s->b1 = t[1] * g; s->b2 = t[2] * g; s->a1 = t[4] * g; s->a2 = t[5] * g;
    return 0;
}
inline IppStatus ippsIIRInitAlloc_BiQuad_32f(IirState32f** out, const Ipp32f* taps, int numBq, const Ipp32f*)
{
    if (!out || !taps) return ippStsNullPtrErr;
    if (numBq != 1) return ippStsIIROrderErr;
    IirState32f* s = new IirState32f();
    ippsIIRSetTaps_32f(taps, s);
    *out = s;
    return 0;
}
inline IppStatus ippsIIRSetDlyLine_32f(IirState32f* s, const Ipp32f* d)
{
    if (!s) return ippStsNullPtrErr;
    s->s1 = d ? d[0] : 0.0f; s->s2 = d ? d[1] : 0.0f;
    return 0;
}
inline IppStatus ippsIIR_32f(const Ipp32f* src, Ipp32f* dst, int len, IirState32f* s)
{
    if (!src || !dst || !s) return ippStsNullPtrErr;
    if (len < 1) return ippStsSizeErr;
    for (int i = 0; i < len; ++i) {
        float x = src[i];
        float y = s->b0 * x + s->s1;
        s->s1 = s->b1 * x - s->a1 * y + s->s2;
        s->s2 = s->b2 * x - s->a2 * y;
        dst[i] = y;
    }
    return 0;
}
inline IppStatus ippsIIRFree_32f(IirState32f* s)
{
    if (!s) return ippStsNullPtrErr;
    delete s;
    return 0;
}
inline IppStatus ippsFIRInitAlloc_32f(FirState32f** out, const Ipp32f* taps, int n, const Ipp32f*)
{
    if (!out || !taps) return ippStsNullPtrErr;
    FirState32f* s = new FirState32f();
    s->taps = n; s->h = new float[n]; s->dly = new float[n]();
    std::memcpy(s->h, taps, sizeof(float) * n);
    *out = s;
    return 0;
}
inline IppStatus ippsFIRSetDlyLine_32f(FirState32f* s, const Ipp32f* d)
{
    if (!s) return ippStsNullPtrErr;
    for (int i = 0; i < s->taps; ++i) s->dly[i] = d ? d[i] : 0.0f;
    return 0;
}
inline IppStatus ippsFIR_32f(const Ipp32f* src, Ipp32f* dst, int len, FirState32f* s)
{
    if (!src || !dst || !s) return ippStsNullPtrErr;
    if (len < 1) return ippStsSizeErr;
    const int T = s->taps;
    for (int i = 0; i < len; ++i) {
        std::memmove(s->dly + 1, s->dly, sizeof(float) * (T - 1));
        s->dly[0] = src[i];
        float acc = 0.0f;
        for (int k = 0; k < T; ++k) acc += s->h[k] * s->dly[k];
        dst[i] = acc;
    }
    return 0;
}
inline IppStatus ippsFIRFree_32f(FirState32f* s)
{
    if (!s) return ippStsNullPtrErr;
    delete[] s->h; delete[] s->dly; delete s;
    return 0;
}
#else
// The state types as the filter entry points declare them.
typedef std::remove_pointer_t<LastArg<decltype(&::ippsIIRFree_32f)>::type> IirStateType;
typedef std::remove_pointer_t<LastArg<decltype(&::ippsFIRFree_32f)>::type> FirStateType;
#endif

} // namespace prim

using namespace prim;

} // namespace DSP
