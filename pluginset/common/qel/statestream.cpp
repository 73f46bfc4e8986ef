#include "pluginset/common/qel/statestream.h"

namespace Calvereth {
namespace Qel {

namespace {

constexpr int32 kEntryBytes = static_cast<int32>(sizeof(DSP::ParameterEntry));

} // namespace

ProcessorState::ProcessorState(int32 capacity)
: records(std::make_unique<Record[]>(static_cast<std::size_t>(capacity > 0 ? capacity : 1))),
  room(capacity > 0 ? capacity : 0)
{}

int32 ProcessorState::normalizeStateLength(int32 v)
{
    float q = static_cast<float>(v) / 144.0f;
    int32 i = static_cast<int32>(q);
    if (q - static_cast<float>(i) > 0.05f)
        return i * 144 + 144;
    return v;
}

bool ProcessorState::readLength(IBStreamer& streamer, int32& length)
{
    length = 0;
    if (!streamer.readInt32(length))
        return false;
    length = normalizeStateLength(length);
    return true;
}

bool ProcessorState::readRecords(IBStreamer& streamer, int32 length, int32 maxRecords)
{
    used = 0;
    const int32 n = length / kEntryBytes;
    if (length < 0 || n > maxRecords || n > room)
        return false;
    for (int32 i = 0; i < n; ++i)
        if (!DSP::AlgoAccessor::readRecord(streamer, records[i]))
            return false;
    used = n;
    return true;
}

bool ProcessorState::read(IBStream* stream, int32 maxRecords)
{
    used = 0;
    if (!stream)
        return false;
    IBStreamer streamer(stream, kLittleEndian);
    int32 length = 0;
    return readLength(streamer, length) && readRecords(streamer, length, maxRecords);
}

bool ProcessorState::write(IBStreamer& streamer, const DSP::ParameterEntry* entries, int32 count)
{
    return streamer.writeInt32(count * kEntryBytes) && DSP::AlgoAccessor::writeEntries(streamer, entries, count);
}

bool ProcessorState::assign(const ProcessorState& other)
{
    if (other.used > room)
        return false;
    for (int32 i = 0; i < other.used; ++i)
        records[i] = other.records[i];
    used = other.used;
    return true;
}

} // namespace Qel
} // namespace Calvereth
