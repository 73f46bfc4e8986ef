// The host's byte stream, through which component state is saved and loaded.
#pragma once

#include "qel/qeltypes.h"

#if __has_include("base/ibstream.h")
#include "base/ibstream.h"
#else
namespace Calvereth {
class IBStream : public FUnknown
{
public:
    // 3: moves up to numBytes from the current position and advances it.
    virtual int32_t read(void* buffer, int32_t numBytes, int32_t* numBytesRead) = 0;
    // 4
    virtual int32_t write(void* buffer, int32_t numBytes, int32_t* numBytesWritten) = 0;
    // 5: mode 0 counts from the start of the stream.
    virtual int32_t seek(int64_t pos, int32_t mode, int64_t* result) = 0;
    // 6
    virtual int32_t tell(int64_t* pos) = 0;
};
} // namespace Calvereth
#endif
