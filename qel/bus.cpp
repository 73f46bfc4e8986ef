#include "qel/bus.h"

namespace Calvereth {
namespace Qel {

Bus::Bus(const char16_t* busName, int32_t type, uint32_t busFlags)
: name(busName ? busName : u""), busType(type), flags(busFlags)
{}

bool Bus::getInfo(BusInfo& info)
{
    name.copyTo16(info.name, 0, BusInfo::kNameSize - 1);
    info.busType = busType;
    info.flags = flags;
    return true;
}

AudioBus::AudioBus(const char16_t* busName, int32_t type, uint32_t busFlags, SpeakerArrangement arr)
: Bus(busName, type, busFlags), speakerArr(arr)
{}

bool AudioBus::getInfo(BusInfo& info)
{
    info.channelCount = Qel::channelCount(speakerArr);
    return Bus::getInfo(info);
}

EventBus::EventBus(const char16_t* busName, int32_t type, uint32_t busFlags, int32_t count)
: Bus(busName, type, busFlags), channelCount(count)
{}

bool EventBus::getInfo(BusInfo& info)
{
    info.channelCount = channelCount;
    return Bus::getInfo(info);
}

bool BusList::add(Bus* bus)
{
    return bus && buses.add(IPtr<Bus>(bus));
}

bool speakerIndex(SpeakerArrangement arr, uint64_t speaker, int32_t& index)
{
    if ((arr & speaker) == 0) {
        index = -1;
        return true;
    }
    // Bits of the arrangement below the speaker's lowest bit.
    uint64_t below = (speaker & (~speaker + 1)) - 1;
    index = __builtin_popcountll(arr & below);
    return false;
}

} // namespace Qel
} // namespace Calvereth
