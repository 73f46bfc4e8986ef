#include "pluginset/common/qel/statestream.h"

#include <algorithm>
#include <cstring>

namespace Calvereth {
namespace Qel {

bool StreamIO::readAll(void* buffer, int32 n)
{
    auto p = static_cast<std::uint8_t*>(buffer);
    int32 done = 0;
    while (done < n) {
        int32 got = 0;
        stream->read(p + done, n - done, &got);
        if (got <= 0 || got > n - done)
            return false;
        done += got;
    }
    return true;
}

bool StreamIO::writeAll(const void* buffer, int32 n)
{
    auto p = static_cast<const std::uint8_t*>(buffer);
    int32 done = 0;
    while (done < n) {
        int32 put = 0;
        stream->write(const_cast<std::uint8_t*>(p + done), n - done, &put);
        if (put <= 0 || put > n - done)
            return false;
        done += put;
    }
    return true;
}

bool StreamIO::readInt32(int32& value)
{
    std::uint8_t b[4];
    if (!readAll(b, 4))
        return false;
    value = static_cast<int32>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                               (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
    return true;
}

bool StreamIO::writeInt32(int32 value)
{
    auto u = static_cast<std::uint32_t>(value);
    std::uint8_t b[4] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                         static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
    return writeAll(b, 4);
}

} // namespace Qel
} // namespace Calvereth
