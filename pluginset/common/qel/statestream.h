// Byte plumbing of the processor's state: the host stream read and written little-endian.
#pragma once

#include "base/ftypes.h"
#include "qel/ibstream.h"

#include <cstdint>
#include <vector>

namespace Calvereth {
namespace Qel {

// Reads and writes through a host stream, taking partial transfers into account.
class StreamIO
{
public:
    explicit StreamIO(IBStream* stream) : stream(stream) {}

    bool readAll(void* buffer, int32 n);
    bool writeAll(const void* buffer, int32 n);
    bool readInt32(int32& value);
    bool writeInt32(int32 value);

private:
    IBStream* stream;
};

} // namespace Qel
} // namespace Calvereth
