// The variant entry points of the primitive allocator.
#include "primitives/vector/variant/settings.h"

IPP_API Ipp8u* VARIANT(ippsMalloc_8u)(Ipp32s length)
{
    if (length < 1)
        return nullptr;
    return static_cast<Ipp8u*>(ippMalloc(length));
}

IPP_API void VARIANT(ippsFree)(void* p)
{
    ippFree(p);
}
