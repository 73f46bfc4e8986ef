// The plug-in's accessor: the meter algorithm with peak metering and the peak value ids. It holds its
// meter from construction (which throws std::bad_alloc when the meter cannot be had) to the end; a
// meter taken down for want of memory stays, and reads as one that has measured nothing.
#pragma once

#include "dsp/algoaccessorvu.h"

class BigMeter;

class BigMeterAcc : public DSP::AlgoAccessorVu
{
public:
    // Over the caller's parameter table; `threaded` runs the gated loudness on worker threads.
    BigMeterAcc(DSP::int32 blockSize, double sampleRate, const Param::ParamRecord* table, DSP::int32 entryCount,
                bool threaded = true);
    ~BigMeterAcc() override;

    // 0 accepted; 1 refused: more than kMaxChannels channels or unequal counts; kChannelsOutOfMemory
    // when memory for the channels cannot be had: the meter is then taken down, measures nothing and
    // reads as a meter that has measured nothing, until a later call builds it again.
    DSP::int32 setChannelMasks(DSP::uint64 in, DSP::uint64 out, DSP::uint64 aux) override;
    double getValue(DSP::int32 id) override;
    void resetMaxLevelOut() override;

    BigMeter* getMeter() const;
};
