#include "dsp/algoaccessor.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

#include "base/fstreamer.h"

namespace DSP {

AlgoAccessor::AlgoAccessor(int32, int32 entryCount, const Param::ParamRecord* table)
: processHandler(&AlgoAccessor::processDefault), processDualHandler(&AlgoAccessor::processDualDefault),
  entryCount(entryCount > 0 ? entryCount : 0), entries(static_cast<size_t>(this->entryCount)), table(table)
{
    idMap.setNullAssociation(-1, -1);
    if (table)
        for (int32 i = 0; i < this->entryCount; ++i)
            if (table[i].flags & Param::kParamFlagBypass) {
                bypassId = table[i].id;
                break;
            }
}

AlgoAccessor::~AlgoAccessor()
{
    if (Algo<double>* a = innerAlgo())
        a->terminate();
}

Algo<double>* AlgoAccessor::innerAlgo() const
{
    return dynamic_cast<Algo<double>*>(inner.get());
}

bool AlgoAccessor::acceptsSampleRate(double rate) const
{
    const Algo<double>* a = innerAlgo();
    return a ? a->acceptsSampleRate(rate) : rate > 0.0;
}

void AlgoAccessor::setOfflineProcessing(bool offline)
{
    if (Algo<double>* a = innerAlgo())
        a->setOfflineProcessing(offline);
}

bool AlgoAccessor::completeReadOut(bool feedEnded)
{
    Algo<double>* a = innerAlgo();
    return !a || a->completeReadOut(feedEnded);
}

void AlgoAccessor::setParameterTable(const Param::ParamRecord* t)
{
    if (Algo<double>* a = innerAlgo()) {
        a->initialize(t);
        a->reset();
    }
    if (!t || entryCount < 1)
        return;
    table = t;
    idMap.removeAll();
    for (int32 i = 0; i < entryCount; ++i) {
        ParameterEntry& e = entries[i];
        std::memset(e.name, 0, sizeof(e.name));
        const char* src = t[i].name[0] ? t[i].name : t[i].title;
        std::memcpy(e.name, src, strnlen(src, sizeof(e.name)));
        e.id = t[i].id;
        e.reserved = 0;
        e.value = t[i].defaultValue;
        // An id the index cannot hold would leave its parameter unapplied: set-up fails instead. (A
        // repeated id keeps the first row's index.)
        if (!idMap.insert(e.id, i) && idMap.find(e.id) < 0)
            throw std::bad_alloc();
    }
}

int32 AlgoAccessor::findEntryIndex(int32 id, int32* index)
{
    *index = idMap.find(id);
    return *index >= 0 ? 0 : 1;
}

double AlgoAccessor::clampToRow(int32 index, double value) const
{
    return table ? std::max(std::min(value, table[index].max), table[index].min) : value;
}

void AlgoAccessor::setParameter(int32 id, double value)
{
    // A value that is no number would be written into every saved state, which no side reads back.
    if (!std::isfinite(value))
        return;
    int32 index = -1;
    const bool hasEntry = findEntryIndex(id, &index) == 0;
    if (hasEntry)
        value = clampToRow(index, value);
    if (inner)
        inner->setParameter(id, value);
    if (hasEntry)
        entries[index].value = value;
}

void AlgoAccessor::applyParameters()
{
    // The entries already hold their values: only the inner algorithm is told, so that a second
    // entry of one id never overwrites the first.
    if (!inner)
        return;
    for (int32 i = 0; i < entryCount; ++i)
        inner->setParameter(entries[i].id, entries[i].value);
}

void AlgoAccessor::setActive(bool state)
{
    if (inner)
        inner->setActive(state);
}

void AlgoAccessor::setBlockSize(int32 n)
{
    if (inner)
        inner->setBlockSize(n);
    applyParameters();
}

int32 AlgoAccessor::setSampleRate(double rate)
{
    return inner ? inner->setSampleRate(rate) : 0;
}

int32 AlgoAccessor::setChannelMasks(uint64 in, uint64 out, uint64 aux)
{
    const int32 ni = std::popcount(in), no = std::popcount(out), na = std::popcount(aux);
    if (ni > maxChannels() || no > maxChannels())
        return kChannelsRefused;
    int32 answer = inner ? inner->setChannelMasks(in, out, aux) : kChannelsNotHandled;
    if (answer == kChannelsNotHandled)
        return setChannelCount(ni, no, na);
    if (answer == kChannelsAccepted) {
        inputCount = ni;
        outputCount = no;
        auxCount = na;
        applyParameters();
    }
    return answer;
}

template <class Configure>
int32 AlgoAccessor::configureChannels(int32 in, int32 out, int32 aux, Configure configureInner)
{
    if (in != out || in < 1 || !inner || in > maxChannels())
        return kChannelsRefused;
    if (configureInner() == kChannelsRefused)
        return kChannelsRefused;
    inputCount = in;
    outputCount = out;
    auxCount = aux;
    applyParameters();
    return kChannelsAccepted;
}

int32 AlgoAccessor::setChannelConfig(int32 in, int32 out, int32 aux, uint64 mask)
{
    return configureChannels(in, out, aux, [&] { return inner->setChannelConfig(in, out, aux, mask); });
}

int32 AlgoAccessor::setChannelCount(int32 in, int32 out, int32 aux)
{
    return configureChannels(in, out, aux, [&] { return inner->setChannelCount(in, out, aux); });
}

bool AlgoAccessor::isActive()
{
    return inner ? inner->isActive() : false;
}

void AlgoAccessor::process(float** in, float** out, int32 n)
{
    (this->*processHandler)(in, out, n);
}

void AlgoAccessor::processDual(float** in, float** out, float** side, int32 n)
{
    (this->*processDualHandler)(in, out, side, n);
}

void AlgoAccessor::processDefault(float** in, float** out, int32 n)
{
    if (inner)
        inner->process(in, out, n);
}

void AlgoAccessor::processDualDefault(float** in, float** out, float** side, int32 n)
{
    if (inner)
        inner->processDual(in, out, side, n);
}

void AlgoAccessor::processSilence(int32 n)
{
    if (inner)
        inner->processSilence(n);
}

int32 AlgoAccessor::getLatency()
{
    return inner ? inner->getLatency() : 0;
}

int32 AlgoAccessor::getMaxLatency()
{
    Algo<double>* a = innerAlgo();
    return a ? a->getMaxLatency() : 0;
}

double AlgoAccessor::getValue(int32 id)
{
    if (id == bypassId) {
        int32 index = -1;
        return findEntryIndex(id, &index) == 0 ? entries[index].value : 0.0;
    }
    return inner ? inner->getValue(id) : 0.0;
}

int32 AlgoAccessor::getReserved()
{
    return inner ? inner->getReserved() : 0;
}

bool AlgoAccessor::readState(Calvereth::IBStreamer& stream, int32 bytes)
{
    const int32 count = bytes / static_cast<int32>(sizeof(ParameterEntry));
    if (count < 0 || count > entryCount)
        return false;
    // Read and check every record before anything is applied.
    std::vector<StateRecord> records(static_cast<size_t>(count));
    for (StateRecord& r : records)
        if (!readRecord(stream, r))
            return false;
    applyRecords(records.data(), count);
    return true;
}

bool AlgoAccessor::readRecord(Calvereth::IBStreamer& stream, StateRecord& record)
{
    char name[sizeof(ParameterEntry::name)];
    std::uint32_t id = 0;
    if (stream.readRaw(name, sizeof(name)) != static_cast<int32>(sizeof(name)) || !stream.readInt32u(id) ||
        !stream.readDouble(record.value) || !std::isfinite(record.value))
        return false;
    record.id = static_cast<int32>(id);
    return true;
}

bool AlgoAccessor::setStateBlock(const void* data, int32 bytes)
{
    const int32 count = bytes > 143 && data ? bytes / static_cast<int32>(sizeof(ParameterEntry)) : 0;
    std::vector<StateRecord> records(static_cast<size_t>(count));
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (int32 r = 0; r < count; ++r) {
        ParameterEntry e;
        std::memcpy(&e, p + static_cast<size_t>(r) * sizeof(ParameterEntry), sizeof(e));
        if (!std::isfinite(e.value))
            return false;
        records[static_cast<size_t>(r)] = {e.id, e.value};
    }
    applyRecords(records.data(), count);
    return true;
}

void AlgoAccessor::applyRecords(const StateRecord* records, int32 count)
{
    for (int32 r = 0; r < count; ++r) {
        const int32 id = records[r].id;
        // Earlier records of the same id have taken the entries of that id before this one.
        int32 skip = 0;
        for (int32 q = 0; q < r; ++q)
            skip += records[q].id == id ? 1 : 0;
        for (int32 i = 0; i < entryCount; ++i) {
            if (entries[static_cast<size_t>(i)].id != id || skip-- > 0)
                continue;
            entries[static_cast<size_t>(i)].value = clampToRow(i, records[r].value);
            break;
        }
    }
    applyParameters();
}

bool AlgoAccessor::writeState(Calvereth::IBStreamer& stream)
{
    return writeEntries(stream, entries.data(), entryCount);
}

bool AlgoAccessor::writeEntries(Calvereth::IBStreamer& stream, const ParameterEntry* list, int32 count)
{
    for (int32 i = 0; i < count; ++i) {
        const ParameterEntry& e = list[i];
        if (stream.writeRaw(e.name, sizeof(e.name)) != static_cast<int32>(sizeof(e.name)) ||
            !stream.writeInt32u(static_cast<std::uint32_t>(e.id)) || !stream.writeDouble(e.value))
            return false;
    }
    return true;
}

void AlgoAccessor::detectSilence(float** channels, int32 n, int32 channelCount)
{
    silent = silence.test(channels, n, channelCount);
}

void AlgoAccessor::setSilenceThresholdDb(float db)
{
    silence.setThreshold(std::pow(10.0f, db * 0.05f));
}

} // namespace DSP
