#include "dsp/bigmeteracc.h"

#include <bit>

#include "dsp/bigmeter.h"

using namespace DSP;

BigMeterAcc::BigMeterAcc(int32 blockSize, double sampleRate, const Param::ParamRecord* table, int32 entryCount,
                         bool threaded)
: AlgoAccessorVu(blockSize, entryCount, table)
{
    inner = std::make_unique<BigMeter>(blockSize, threaded, sampleRate);
    setParameterTable(table);
}

BigMeterAcc::~BigMeterAcc() = default;

BigMeter* BigMeterAcc::getMeter() const
{
    return static_cast<BigMeter*>(inner.get());
}

int32 BigMeterAcc::setChannelMasks(uint64 in, uint64 out, uint64 aux)
{
    const int32 ni = std::popcount(in), no = std::popcount(out), na = std::popcount(aux);
    // The peak arrays hold a fixed number of channels: more are refused, the counts kept.
    if (ni > kMaxChannels || no > kMaxChannels)
        return kChannelsRefused;
    inputCount = ni;
    outputCount = no;
    auxCount = na;
    int32 answer = kChannelsRefused;
    try {
        // A meter taken down by an earlier failure is built again first.
        if (!getMeter()->isBuilt())
            getMeter()->initialize(table);
        answer = inner->setChannelConfig(ni, no, na, in);
    } catch (...) {
        // Out of memory: the meter is taken down and reads as having measured nothing (audio
        // passes through unmeasured); no exception reaches the host.
        getMeter()->terminate();
        return kChannelsOutOfMemory;
    }
    applyParameters();
    return answer;
}

double BigMeterAcc::getValue(int32 id)
{
    int32 index = -1;
    if (id == bypassId && findEntryIndex(id, &index) == 0)
        return entries[index].value;
    if (id == 42)
        return overallIn;
    if (id >= 15 && id <= 26) {
        const int32 c = id - 15;
        const double v = heldIn[c];
        heldIn[c] = 0.0f;
        return v;
    }
    return inner->getValue(id);
}

void BigMeterAcc::resetMaxLevelOut()
{
    inner->setParameter(kMeterResetRmsMax, 0.0);
}
