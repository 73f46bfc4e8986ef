// Temporary stand-ins for the vector primitives until they land on main.
#include <cstdlib>
#include <cstring>

#include "primitives/common/ipptypes.h"

#define STUB(P)                                                                                   \
    IPP_API Ipp8u* P##ippsMalloc_8u(int len) {                                                    \
        return len < 1 ? nullptr : static_cast<Ipp8u*>(std::aligned_alloc(32, (len + 31) & ~31)); \
    }                                                                                             \
    IPP_API void P##ippsFree(void* p) { std::free(p); }                                           \
    IPP_API IppStatus P##ippsZero_8u(Ipp8u* d, int len) {                                         \
        if (!d) return -8;                                                                        \
        if (len < 1) return -6;                                                                   \
        std::memset(d, 0, len);                                                                   \
        return 0;                                                                                 \
    }                                                                                             \
    IPP_API IppStatus P##ippsMulC_32f_I(Ipp32f v, Ipp32f* d, int len) {                           \
        if (!d) return -8;                                                                        \
        if (len < 1) return -6;                                                                   \
        if (v == 1.0f) return 0;                                                                  \
        for (int i = 0; i < len; ++i) d[i] = v == 0.0f ? 0.0f : d[i] * v;                         \
        return 0;                                                                                 \
    }
STUB(m7_)
STUB(u8_)
STUB(y8_)
