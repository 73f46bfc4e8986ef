// The processor's state as it travels between host, processor and controller: a 32-bit length that
// counts 144 bytes per parameter entry, then one record (name, id, value) per entry, little-endian.
// Both sides read it here, so they accept exactly the same streams.
#pragma once

#include "base/fstreamer.h"
#include "dsp/algoaccessor.h"

#include <memory>

namespace Calvereth {
namespace Qel {

class ProcessorState
{
public:
    using Record = DSP::StateRecord;

    // Room for `capacity` records, allocated here once; reading and copying never allocate.
    explicit ProcessorState(int32 capacity = 0);

    // Rounds a length field that counts 140 bytes per record up to whole 144-byte entries.
    static int32 normalizeStateLength(int32 length);
    // How both sides read an on/off value such as the bypass.
    static bool isOn(double value) { return value >= 0.5; }

    // Length field and records. False, with nothing kept, when the length cannot be read or is
    // negative, announces more than `maxRecords` records (or more than the capacity), or a record
    // is cut short or holds a value that is not finite.
    bool read(IBStream* stream, int32 maxRecords);
    // The length field (normalised) alone; false when it cannot be read.
    static bool readLength(IBStreamer& streamer, int32& length);
    // The records a normalised length announces, as `read`.
    bool readRecords(IBStreamer& streamer, int32 length, int32 maxRecords);
    // The length field for `count` entries, then their records; false when the stream takes less
    // than all of it.
    static bool write(IBStreamer& streamer, const DSP::ParameterEntry* entries, int32 count);

    // Copies another state's records; false when they do not fit.
    bool assign(const ProcessorState& other);

    int32 capacity() const { return room; }
    int32 count() const { return used; }
    const Record& at(int32 i) const { return records[i]; }
    const Record* data() const { return records.get(); }

private:
    std::unique_ptr<Record[]> records;
    int32 room = 0;
    int32 used = 0;
};

} // namespace Qel
} // namespace Calvereth
