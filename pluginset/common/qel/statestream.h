// Byte plumbing of the processor's state: the host stream read and written little-endian, and an
// in-memory record buffer the engine's state reader and writer work on.
#pragma once

#include "base/ftypes.h"
#include "dsp/algoaccessor.h"
#include "base/ibstream.h"

#include <cstdint>
#include <vector>

namespace Calvereth {
namespace Qel {

class StateBuffer : public DSP::StateReader, public DSP::StateWriter
{
public:
    StateBuffer() = default;
    explicit StateBuffer(std::vector<std::uint8_t> bytes) : bytes(std::move(bytes)) {}

    int32 readBytes(void* buffer, int32 n) override;
    int32 writeBytes(const void* buffer, int32 n) override;

    const std::uint8_t* data() const { return bytes.data(); }
    std::size_t size() const { return bytes.size(); }

private:
    std::vector<std::uint8_t> bytes;
    std::size_t position = 0;
};

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
