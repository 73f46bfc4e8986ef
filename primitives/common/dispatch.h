// Declaring and defining the m7_/u8_/y8_ variants of an operation, and the dispatch stubs that
// jump to one of them by the process-wide variant index.
#pragma once

#include "primitives/common/ipptypes.h"

// Variant index read by every stub: 0 or 1 runs m7_, 2 runs u8_, 3 runs y8_. Set by ippStaticInit.
IPP_API Ipp32s ippJumpIndexForMergedLibs;

// Declares one function under the three variant prefixes.
#define IPPS_DECLARE_VARIANTS(ret, name, args)                                                                         \
    IPP_API ret m7_##name args;                                                                                        \
    IPP_API ret u8_##name args;                                                                                        \
    IPP_API ret y8_##name args;

// Declares the stub, its table and the three variant functions of one dispatched operation
// (name##_Fn is the operation's function type).
#define IPPS_DECLARE_DISPATCHED(name, params)                                                                          \
    IPPS_DECLARE_VARIANTS(IppStatus, name, params)                                                                     \
    IPP_API IppStatus name params;                                                                                     \
    IPP_API const name##_Fn name##_arraddr[4];

// Defines a library's dispatch stubs and their tables [m7_, m7_, u8_, y8_] from its list of
// operations in stub order: STUBS(X) calls X(name, params, args) once per operation. A stub checks
// nothing: it reads the variant index (a relaxed atomic load, a plain move, since another
// processor's set-up may store the same value meanwhile) and jumps, arguments untouched.
//
// The tables are written as one assembler block, row after row as listed, so their order is the
// list's and no compiler's. Each library's block goes to the section ipps_dispatch, which the
// linker fills in link order: the bundle links the vector library (stubs 1 to 8) before the
// filters (9 to 17), and the seventeen tables lie consecutive in the order of their stubs.
#define IPPS_DEFINE_DISPATCH(STUBS)                                                                                    \
    static_assert(sizeof(void*) == 8, "a table row is four 8-byte pointers");                                          \
    asm(".pushsection ipps_dispatch, \"aw\", @progbits\n"                                                              \
        ".balign 32\n" STUBS(IPPS_DISPATCH_TABLE) ".popsection\n");                                                    \
    STUBS(IPPS_DISPATCH_STUB)

#define IPPS_DISPATCH_TABLE(name, params, args)                                                                        \
    ".globl " #name "_arraddr\n"                                                                                       \
    ".type " #name "_arraddr, @object\n"                                                                               \
    ".size " #name "_arraddr, 32\n" #name "_arraddr:\n"                                                                \
    ".quad m7_" #name ", m7_" #name ", u8_" #name ", y8_" #name "\n"

#define IPPS_DISPATCH_STUB(name, params, args)                                                                         \
    IPP_API IppStatus name params                                                                                      \
    {                                                                                                                  \
        return name##_arraddr[Ipp32u(__atomic_load_n(&ippJumpIndexForMergedLibs, __ATOMIC_RELAXED))] args;             \
    }
