#include "base/updatehandler.h"

#include <new>

namespace Calvereth {

using Update::DeferedChange;
using Update::Dependency;
using Update::UpdateData;

struct UpdateHandler::Table
{
    TOrderedArray<Dependency> buckets[Update::kHashSize];
    TLinkedList<DeferedChange> deferedChanges;
    TLinkedList<UpdateData> inFlight;
    uint64 nextSerial = 0;

    Table()
    {
        for (auto& bucket : buckets)
            bucket.setDelta(10);
    }
    TOrderedArray<Dependency>& bucketOf(FUnknown* identity)
    {
        return buckets[(Update::address(identity) >> 12) & (Update::kHashSize - 1)];
    }
};

UpdateHandler::UpdateHandler() : table(new Table)
{
    IUpdateHandler* none = nullptr;
    globalUpdateHandler.compare_exchange_strong(none, static_cast<IUpdateHandler*>(this));
}

UpdateHandler::~UpdateHandler()
{
    IUpdateHandler* self = static_cast<IUpdateHandler*>(this);
    globalUpdateHandler.compare_exchange_strong(self, nullptr);
    delete table;
}

tresult UpdateHandler::queryInterface(const TUID iid, void** obj)
{
    if (obj && iid && iidEqual(iid, IUpdateHandler::iid)) {
        addRef();
        *obj = static_cast<IUpdateHandler*>(this);
        return kResultOk;
    }
    if (obj && iid && iidEqual(iid, IUpdateManager::iid)) {
        addRef();
        *obj = static_cast<IUpdateManager*>(this);
        return kResultOk;
    }
    return FObject::queryInterface(iid, obj);
}

FUnknown* UpdateHandler::identityOf(FUnknown* object)
{
    if (!object)
        return nullptr;
    FUnknown* identity = nullptr;
    if (object->queryInterface(FUnknown::iid, reinterpret_cast<void**>(&identity)) != kResultOk)
        return nullptr;
    if (identity)
        identity->release();
    return identity;
}

void UpdateHandler::callUpdateDone(FUnknown* identity, int32 message)
{
    if (message == IDependent::kDestroyed)
        return;
    if (FObject* object = FObject::unknownToObject(identity))
        object->updateDone(message);
}

bool UpdateHandler::isInFlight(FUnknown* identity) const
{
    return table->inFlight.contains(UpdateData{identity, nullptr, 0});
}

tresult UpdateHandler::addDependent(FUnknown* object, IDependent* dependent)
{
    FUnknown* identity = identityOf(object);
    if (!identity || !dependent)
        return kResultFalse;
    FGuard guard(lock);
    return table->bucketOf(identity).add(Dependency{identity, dependent}) ? kResultOk : kResultFalse;
}

tresult UpdateHandler::removeDependent(FUnknown* object, IDependent* dependent)
{
    FUnknown* identity = identityOf(object);
    if (!identity && !dependent)
        return kResultFalse;
    FGuard guard(lock);
    // A notification in progress skips the dependent from now on.
    TIterator<UpdateData>* it = table->inFlight.newIterator();
    while (!it->done()) {
        UpdateData& data = it->next();
        if (identity && data.object != identity)
            continue;
        for (int32 i = 0; i < data.count; ++i)
            if (data.dependents[i] == dependent)
                data.dependents[i] = nullptr;
    }
    delete it;

    if (!identity) {
        for (auto& bucket : table->buckets) {
            for (int32 i = bucket.count() - 1; i >= 0; --i)
                if (bucket.at(i).dependent == dependent)
                    bucket.removeAt(i);
        }
        return kResultOk;
    }
    TOrderedArray<Dependency>& bucket = table->bucketOf(identity);
    int32 index = bucket.indexOf(Dependency{identity, nullptr});
    if (index >= 0) {
        bool otherRemains = false;
        while (index < bucket.count() && bucket.at(index).object == identity) {
            if (!dependent || bucket.at(index).dependent == dependent) {
                bucket.removeAt(index);
            } else {
                otherRemains = true;
                ++index;
            }
        }
        if (otherRemains)
            return kResultOk;
    }
    cancelUpdates(identity);
    return kResultOk;
}

tresult UpdateHandler::triggerUpdates(FUnknown* object, int32 message)
{
    FUnknown* identity = identityOf(object);
    if (!identity)
        return kResultFalse;
    IDependent** dependents = nullptr;
    int32 count = 0;
    {
        FGuard guard(lock);
        TOrderedArray<Dependency>& bucket = table->bucketOf(identity);
        const int32 first = bucket.indexOf(Dependency{identity, nullptr});
        if (first >= 0) {
            int32 last = first;
            while (last < bucket.count() && bucket.at(last).object == identity)
                ++last;
            count = last - first;
            if (count > Update::kMaxDependents)
                count = Update::kMaxDependents;
            dependents = new (std::nothrow) IDependent*[count];
            if (!dependents)
                count = 0;
            for (int32 i = 0; i < count; ++i)
                dependents[i] = bucket.at(first + i).dependent;
            if (count > 0 && !table->inFlight.add(UpdateData{identity, dependents, count})) {
                delete[] dependents;
                dependents = nullptr;
                count = 0;
            }
        }
    }
    for (int32 i = 0; i < count; ++i) {
        IDependent* dependent;
        {
            // removeDependent may clear the slot from another thread at any time.
            FGuard guard(lock);
            dependent = dependents[i];
        }
        if (dependent)
            dependent->update(identity, message);
    }
    if (count > 0) {
        FGuard guard(lock);
        // Threads finish in any order: remove exactly this call's entry.
        int32 index = 0;
        TIterator<UpdateData>* it = table->inFlight.newIterator();
        while (!it->done() && it->next().dependents != dependents)
            ++index;
        delete it;
        table->inFlight.removeAt(index);
        delete[] dependents;
    }
    callUpdateDone(identity, message);
    return count > 0 ? kResultOk : kResultFalse;
}

tresult UpdateHandler::deferUpdates(FUnknown* object, int32 message)
{
    FUnknown* identity = identityOf(object);
    if (!identity)
        return kResultFalse;
    FGuard guard(lock);
    if (table->bucketOf(identity).indexOf(Dependency{identity, nullptr}) >= 0) {
        bool queued = false;
        TIterator<DeferedChange>* it = table->deferedChanges.newIterator();
        while (!queued && !it->done()) {
            const DeferedChange& change = it->next();
            queued = change.object == identity && change.message == message;
        }
        delete it;
        if (!queued)
            table->deferedChanges.add(DeferedChange{identity, message, table->nextSerial++});
    } else {
        callUpdateDone(identity, message);
    }
    return kResultOk;
}

tresult UpdateHandler::cancelUpdates(FUnknown* object)
{
    FUnknown* identity = identityOf(object);
    if (!identity)
        return kResultFalse;
    FGuard guard(lock);
    while (table->deferedChanges.remove(DeferedChange{identity, 0})) {
    }
    return kResultOk;
}

tresult UpdateHandler::triggerDeferedUpdates(FUnknown* object)
{
    FUnknown* identity = nullptr;
    if (object) {
        identity = identityOf(object);
        if (!identity)
            return kResultFalse;
    }
    uint64 queuedBefore;
    {
        FGuard guard(lock);
        queuedBefore = table->nextSerial;
    }
    TLinkedList<DeferedChange> kept;
    for (;;) {
        DeferedChange change;
        bool busy;
        {
            // The test for a queued change and its removal happen under one lock. A change queued
            // after this call began (a dependent deferring again from inside update) waits for
            // the next call, so that one call always ends.
            FGuard guard(lock);
            TLinkedList<DeferedChange>& queue = table->deferedChanges;
            int32 index = 0;
            bool found = false;
            TIterator<DeferedChange>* it = queue.newIterator();
            while (!it->done()) {
                const DeferedChange& queued = it->next();
                if (queued.serial < queuedBefore && (!identity || queued.object == identity)) {
                    found = true;
                    break;
                }
                ++index;
            }
            delete it;
            if (!found)
                break;
            change = queue.at(index);
            queue.removeAt(index);
            busy = isInFlight(change.object);
        }
        // A change of an object whose dependents are still being told waits for a later call.
        if (busy)
            kept.add(change);
        else
            triggerUpdates(change.object, change.message);
    }
    if (!kept.isEmpty()) {
        FGuard guard(lock);
        while (!kept.isEmpty())
            table->deferedChanges.add(kept.takeFirst());
    }
    return kResultOk;
}

int32 UpdateHandler::countDependents(FUnknown* object)
{
    FUnknown* identity = identityOf(object);
    if (!identity)
        return 0;
    FGuard guard(lock);
    TOrderedArray<Dependency>& bucket = table->bucketOf(identity);
    int32 index = bucket.indexOf(Dependency{identity, nullptr});
    if (index < 0)
        return 0;
    int32 n = 0;
    while (index + n < bucket.count() && bucket.at(index + n).object == identity)
        ++n;
    return n;
}

} // namespace Calvereth
