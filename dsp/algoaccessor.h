// The accessor between the plug-in processor and one inner algorithm: remembered parameter
// values, re-application after every reconfiguration, value queries, silence flag and state.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/tdictionary.h"
#include "dsp/algo.h"
#include "dsp/blockstats.h"

namespace Calvereth {
class IBStreamer;
}

namespace DSP {

// One parameter's name, id and plain value; also the unit of the in-memory state block.
struct ParameterEntry
{
    char name[128];
    int32 id;
    int32 reserved;
    double value;
};
static_assert(sizeof(ParameterEntry) == 144, "parameter entry layout");

// One record of a state as it is applied: a parameter id and its plain value.
struct StateRecord
{
    int32 id;
    double value;
};

template <class T>
class IAlgoAccessor : public IAlgo<T>
{
public:
    virtual bool setStateBlock(const void* data, int32 bytes) = 0;
    virtual bool readState(Calvereth::IBStreamer& stream, int32 bytes) = 0;
    virtual ParameterEntry* getEntries() = 0;
    virtual bool writeState(Calvereth::IBStreamer& stream) = 0;
    virtual int32 getEntryCount() = 0;
    virtual void setProcessContext(const void* context) = 0;
    virtual void reservedAccessor() = 0;
};

class AlgoAccessor : public IAlgoAccessor<double>
{
public:
    AlgoAccessor(int32 blockSize, int32 entryCount, const Param::ParamRecord* table);
    ~AlgoAccessor() override;

    // IAlgo
    // A value that is not finite is ignored; one outside its entry's row is clamped to the row.
    void setParameter(int32 id, double value) override;
    void setActive(bool state) override;
    void setBlockSize(int32 n) override;
    int32 setSampleRate(double rate) override;
    int32 setChannelMasks(uint64 in, uint64 out, uint64 aux) override;
    int32 setChannelConfig(int32 in, int32 out, int32 aux, uint64 mask) override;
    int32 setChannelCount(int32 in, int32 out, int32 aux) override;
    bool isActive() override;
    void process(float** in, float** out, int32 n) override;
    void processDual(float** in, float** out, float** side, int32 n) override;
    void processSilence(int32 n) override;
    int32 getLatency() override;
    double getValue(int32 id) override;
    int32 getReserved() override;

    // IAlgoAccessor
    // All or nothing: a state that ends early or holds a non-finite value changes nothing (false).
    bool setStateBlock(const void* data, int32 bytes) override;
    // Reads bytes / 144 records of 140 bytes (name, id, value; little-endian) from the stream: false,
    // with nothing applied, for more records than entries, a short read or a non-finite value.
    bool readState(Calvereth::IBStreamer& stream, int32 bytes) override;
    ParameterEntry* getEntries() override { return entries.data(); }
    // Writes one 140-byte record per entry; false when the stream takes less.
    bool writeState(Calvereth::IBStreamer& stream) override;
    // One record from the stream; false when it is cut short or its value is not finite.
    static bool readRecord(Calvereth::IBStreamer& stream, StateRecord& record);
    // The records of a copy of the entries.
    static bool writeEntries(Calvereth::IBStreamer& stream, const ParameterEntry* entries, int32 count);
    // Applies decoded records: the k-th record of an id sets the k-th entry of that id, clamped to
    // its range, then the values reach the algorithm. Never allocates (the audio thread calls it).
    void applyRecords(const StateRecord* records, int32 count);
    int32 getEntryCount() override { return entryCount; }
    void setProcessContext(const void*) override {}
    void reservedAccessor() override {}

    virtual void reserved3() {}
    virtual void reserved4() {}
    virtual int32 getMaxLatency();
    virtual void reserved5() {}
    virtual void reserved6() {}
    // Initializes the inner algorithm and fills the entries from the table; std::bad_alloc when
    // memory runs out.
    virtual void setParameterTable(const Param::ParamRecord* table);
    virtual bool isSilent() { return silent; }
    virtual int32 getTail() { return tail; }
    virtual void processDefault(float** in, float** out, int32 n);
    virtual void reserved7() {}
    virtual void processDualDefault(float** in, float** out, float** side, int32 n);
    virtual void applyParameters();
    virtual int32 findEntryIndex(int32 id, int32* index);
    virtual void detectSilence(float** channels, int32 n, int32 channelCount);

    void setSilenceThresholdDb(float db);
    // Whether the inner algorithm measures right at this rate; the processor refuses other set-ups.
    bool acceptsSampleRate(double rate) const;
    // Tells the inner algorithm whether the host processes offline.
    void setOfflineProcessing(bool offline);
    // The inner algorithm's completeReadOut (true without one).
    bool completeReadOut(bool feedEnded);
    int32 getBypassId() const { return bypassId; }
    int32 getInputCount() const { return inputCount; }
    int32 getOutputCount() const { return outputCount; }
    IAlgo<double>* getInner() const { return inner.get(); }

protected:
    // Checks a channel configuration, has the inner algorithm take it, then keeps the counts.
    template <class Configure>
    int32 configureChannels(int32 in, int32 out, int32 aux, Configure configureInner);

    // Largest channel count the accessor can meter.
    virtual int32 maxChannels() const { return 0x7fffffff; }
    // A plain value held within the row of the entry at `index` (as it is without a table).
    double clampToRow(int32 index, double value) const;
    // Algo's extra operations (initialize, terminate, reset) when the inner algorithm has them.
    Algo<double>* innerAlgo() const;

    void (AlgoAccessor::*processHandler)(float**, float**, int32);
    void (AlgoAccessor::*processDualHandler)(float**, float**, float**, int32);
    int32 bypassId = -1;
    int32 entryCount;
    int32 inputCount = 0;
    int32 outputCount = 0;
    int32 auxCount = 0;
    int32 tail = -1;
    SilenceTest silence;
    std::vector<ParameterEntry> entries;
    // The entry index of each id (its first row; -1 when none).
    Calvereth::TDictionary<int, int> idMap;
    std::unique_ptr<IAlgo<double>> inner;
    const Param::ParamRecord* table;
    bool silent = true;
};

} // namespace DSP
