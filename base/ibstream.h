// The host's byte stream, through which component state is saved and loaded.
#pragma once

#include "base/funknown.h"

#include <cstdint>

namespace Calvereth {

class IBStream : public FUnknown
{
public:
    enum SeekMode
    {
        kIBSeekSet = 0,
        kIBSeekCur = 1,
        kIBSeekEnd = 2
    };

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
