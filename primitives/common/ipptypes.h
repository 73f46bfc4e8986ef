// Types, status codes and the export attribute shared by all signal-processing primitives.
#pragma once

#include <cstdint>

typedef std::uint8_t Ipp8u;
typedef std::int8_t Ipp8s;
typedef std::uint16_t Ipp16u;
typedef std::int16_t Ipp16s;
typedef std::uint32_t Ipp32u;
typedef std::int32_t Ipp32s;
typedef std::int64_t Ipp64s;
typedef std::uint64_t Ipp64u;
typedef float Ipp32f;
typedef double Ipp64f;
struct Ipp16sc
{
    Ipp16s re, im;
};
struct Ipp32sc
{
    Ipp32s re, im;
};
struct Ipp32fc
{
    Ipp32f re, im;
};
struct Ipp64fc
{
    Ipp64f re, im;
};

// Status of every exported primitive: 0 success, negative errors, positive warnings.
typedef int IppStatus;
enum IppsStatusCode : int
{
    ippStsNoErr = 0,
    ippStsSizeErr = -6,
    ippStsNullPtrErr = -8,
    ippStsMemAllocErr = -9,
    ippStsDivByZeroErr = -10,
    ippStsFftOrderErr = -15,
    ippStsFftFlagErr = -16,
    ippStsContextMatchErr = -17,
    ippStsIIROrderErr = -25,
    ippStsFIRLenErr = -26,
    ippStsNonIntelCpu = 20,
    ippStsUnknownCpu = 21,
    ippStsNoSSE3 = 36,
};

// Names the bundle exports: the dispatch stubs, every variant function, the data tables.
#define IPP_EXPORT __attribute__((visibility("default")))
#define IPP_API extern "C" IPP_EXPORT
