// Buses of a component and the lists that hold them.
#pragma once

#include "base/fobject.h"
#include "base/fstring.h"
#include "base/iptr.h"
#include "base/tlinkedlist.h"
#include "qel/icomponent.h"

namespace Calvereth {
namespace Qel {

class Bus : public FObject
{
public:
    Bus(const char16_t* name, int32_t busType, uint32_t flags);

    // Name (at most 127 units, terminated), bus type and flags; media type, direction and channel count stay.
    virtual bool getInfo(BusInfo& info);

    const String& getName() const { return name; }
    void setName(const char16_t* newName) { name.assign(newName ? newName : u""); }
    int32_t getBusType() const { return busType; }
    uint32_t getFlags() const { return flags; }
    bool isActive() const { return active; }
    void setActive(bool state) { active = state; }

    OBJ_METHODS_NAMED(Bus, FObject, "Qel::Bus")

protected:
    String name;
    int32_t busType;
    uint32_t flags;
    bool active = false;
};

class AudioBus : public Bus
{
public:
    AudioBus(const char16_t* name, int32_t busType, uint32_t flags, SpeakerArrangement arr);

    bool getInfo(BusInfo& info) override;

    SpeakerArrangement getArrangement() const { return speakerArr; }
    void setArrangement(SpeakerArrangement arr) { speakerArr = arr; }

    OBJ_METHODS_NAMED(AudioBus, Bus, "Qel::AudioBus")

protected:
    SpeakerArrangement speakerArr;
};

class EventBus : public Bus
{
public:
    EventBus(const char16_t* name, int32_t busType, uint32_t flags, int32_t channelCount);

    bool getInfo(BusInfo& info) override;

    OBJ_METHODS_NAMED(EventBus, Bus, "Qel::EventBus")

protected:
    int32_t channelCount;
};

// The buses of one media type and direction, in the order added; each element holds one reference.
class BusList : public FObject
{
public:
    BusList(MediaType type, BusDirection dir) : type(type), direction(dir) {}

    MediaType getType() const { return type; }
    BusDirection getDirection() const { return direction; }

    int32_t count() const { return buses.count(); }
    bool isEmpty() const { return buses.isEmpty(); }
    // Appends, taking a reference of its own; false when the list cannot grow.
    bool add(Bus* bus);
    // The bus at index (walking from the head), or null for an index below 0 or not below the count;
    // no reference added.
    Bus* at(int32_t index) const { return buses.at(index); }
    void removeAll() { buses.removeAll(); }
    TIterator<IPtr<Bus>>* newIterator() const { return buses.newIterator(); }

    OBJ_METHODS_NAMED(BusList, FObject, "Qel::BusList")

protected:
    TLinkedList<IPtr<Bus>> buses;
    MediaType type;
    BusDirection direction;
};

// Position of a speaker among an arrangement's channels: false with its index when present,
// true with -1 when the arrangement lacks it.
bool speakerIndex(SpeakerArrangement arr, uint64_t speaker, int32_t& index);

} // namespace Qel
} // namespace Calvereth
