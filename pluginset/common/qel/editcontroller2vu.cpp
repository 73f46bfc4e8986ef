#include "pluginset/common/qel/editcontroller2vu.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "base/iptr.h"
#include "pluginset/common/qel/views/frameservices.h"
#include "pluginset/common/qel/views/vumeterviews.h"
#include "qel/boundary.h"

namespace Calvereth {

EditController2Vu::EditController2Vu(const Param::ParamRecord* table, int32 count,
                                     const Param::ParamRecord* controllerTable, int32 controllerCount,
                                     const Param::UnitRecord* units, int32 unitCount)
: EditController2(table, count + controllerCount, units, unitCount, false)
{
    // The merged rows and their accessor are had before the base's accessor goes: out of memory the
    // base still owns a valid one, which its destructor releases once.
    const int32 total = count + controllerCount;
    auto merged = std::make_unique<Param::ParamRecord[]>(static_cast<size_t>(total > 0 ? total : 1));
    for (int32 i = 0; i < count; ++i)
        merged[i] = table[i];
    for (int32 i = 0; i < controllerCount; ++i)
        merged[count + i] = controllerTable[i];
    auto* mergedAccessor = new Param::ParameterInfoAccessor(merged.get(), total);
    accessor->release();
    accessor = mergedAccessor;
    mergedRecords = merged.release();
}

EditController2Vu::~EditController2Vu()
{
    releaseMeterData(input.meterData);
    releaseMeterData(output.meterData);
    delete[] input.values;
    delete[] output.values;
    // The accessor reads the merged rows: it goes first.
    if (accessor)
        accessor->release();
    accessor = nullptr;
    delete[] mergedRecords;
}

void EditController2Vu::setSide(Side& side, int32 firstId, int32 valueCount, int32 maxId)
{
    side.firstId = firstId;
    side.valueCount = valueCount > 0 ? valueCount : 0;
    side.maxId = maxId;
}

bool EditController2Vu::covers(const Side& side, uint32 id)
{
    if (side.valueCount <= 0)
        return false;
    return id - static_cast<uint32>(side.firstId) < static_cast<uint32>(side.valueCount) ||
           id == static_cast<uint32>(side.maxId);
}

void EditController2Vu::releaseMeterData(Frame::VuMeterData*& data)
{
    if (!data)
        return;
    // Views may outlive this controller: they must not call back into it.
    data->setListener(nullptr);
    data->release();
    data = nullptr;
}

void EditController2Vu::registerIdle(bool on)
{
    if (on == idleRegistered)
        return;
    IIdleRegistry* registry = Frame::getHostService<IIdleRegistry>();
    if (!registry)
        return;
    if (on)
        idleRegistered = registry->registerIdleHandler(static_cast<IIdleHandler*>(this)) == kResultOk;
    else {
        registry->unregisterIdleHandler(static_cast<IIdleHandler*>(this));
        idleRegistered = false;
    }
    registry->release();
}

tresult EditController2Vu::initialize(FUnknown* context)
{
    const tresult result = answerWithoutThrowing([&] {
        tresult r = initializeController(context);
        if (r == kResultOk) {
            createMeterData();
            registerIdle(true);
        }
        return r;
    });
    // Out of memory nothing of it stays, so that it can be tried again.
    if (result == kOutOfMemory)
        terminate();
    return result;
}

tresult EditController2Vu::terminate()
{
    releaseMeterData(input.meterData);
    releaseMeterData(output.meterData);
    input.tags.removeAll();
    output.tags.removeAll();
    input.channelCount = output.channelCount = 0;
    registerIdle(false);
    return EditController2::terminate();
}

void EditController2Vu::createMeterData()
{
    for (Side* side : {&input, &output}) {
        for (int32 i = 0; i < side->valueCount; ++i)
            if (!side->tags.add(side->firstId + i))
                throw std::bad_alloc();
        if (!side->meterData)
            side->meterData = new Frame::VuMeterData(static_cast<uint32>(side->tags.count()), side->tags,
                                                     static_cast<IDependent*>(this));
        // Had before the old values go: the pointer never dangles.
        float* values = new float[side->valueCount > 0 ? side->valueCount : 1]();
        delete[] side->values;
        side->values = values;
    }
}

void EditController2Vu::updateMeterData(int32 channelCount, const float* values, int32 firstId, int32 valueCount,
                                        Frame::VuMeterData* data)
{
    if (!values || !data || channelCount < 1)
        return;
    for (int32 i = 0; i < channelCount && i < valueCount; ++i)
        data->setValue(firstId + i, values[i] > 1e-9f ? values[i] : 0.f);
}

tresult EditController2Vu::setParamNormalized(Qel::ParamID id, Qel::ParamValue v)
{
    for (Side* side : {&input, &output}) {
        if (side->valueCount <= 0)
            continue;
        uint32 offset = id - static_cast<uint32>(side->firstId);
        if (offset < static_cast<uint32>(side->valueCount)) {
            if (side->values)
                side->values[offset] = static_cast<float>(v);
            return kResultOk;
        }
        if (id == static_cast<uint32>(side->maxId)) {
            if (side->meterData)
                side->meterData->setValue(Frame::kVuPeakReadout, static_cast<float>(v));
            return kResultOk;
        }
    }
    return EditController2::setParamNormalized(id, v);
}

tresult EditController2Vu::getParamStringByValue(Qel::ParamID id, Qel::ParamValue v, Qel::String128 text)
{
    if (!covers(input, id) && !covers(output, id))
        return EditController2::getParamStringByValue(id, v, text);
    double d = v > 0.0 ? 20.0 * std::log10(v) : -1000.0;
    if (v > 0.0 && d > -180.0) {
        const Param::ParamRecord* r = accessor ? accessor->getRecord(static_cast<int32>(id)) : nullptr;
        if (!printValue(text, r ? r->format : nullptr, d))
            return kOutOfMemory;
    } else {
        text[0] = u'-';
        text[1] = u'\u221E';
        text[2] = 0;
    }
    return kResultOk;
}

tresult EditController2Vu::notify(Qel::IMessage* message)
{
    return answerWithoutThrowing([&] { return receive(message); });
}

tresult EditController2Vu::receive(Qel::IMessage* message)
{
    if (!message)
        return kInvalidArgument;
    const char* id = message->getMessageId();
    if (!id)
        return kResultFalse;
    Qel::IMessageAttributes* attributes = message->getAttributes();
    if (std::strcmp(id, "nChannels") == 0) {
        // A side takes its count once its meter data holds it.
        int64 n = 0;
        if (attributes && attributes->getInt("nChannelsIn", n) == kResultOk && input.meterData) {
            input.meterData->setChannelCount(n > 0 && n < 1024 ? static_cast<int32>(n) : 0);
            input.channelCount = input.meterData->getChannelCount();
        }
        if (attributes && attributes->getInt("nChannelsOut", n) == kResultOk && output.meterData) {
            output.meterData->setChannelCount(n > 0 && n < 1024 ? static_cast<int32>(n) : 0);
            output.channelCount = output.meterData->getChannelCount();
        }
        return kResultOk;
    }
    if (std::strcmp(id, "vuMetersProcessing") == 0) {
        int64 on = 0;
        if (attributes && attributes->getInt("vuMetersProcessing", on) == kResultOk && on == 1)
            return kResultOk;
        for (Side* side : {&input, &output})
            for (int32 i = 0; side->values && i < side->valueCount; ++i)
                side->values[i] = 0.f;
        return kResultOk;
    }
    return kResultFalse;
}

void EditController2Vu::update(FUnknown* changed, int32 message)
{
    if (message != Frame::kVuResetRequest || !changed)
        return;
    answerWithoutThrowing([&] {
        if (input.meterData && changed == input.meterData->unknownCast())
            sendIntMessage("resetMaxLevelIn", 0);
        else if (output.meterData && changed == output.meterData->unknownCast())
            sendIntMessage(input.maxId == output.maxId ? "resetMaxLevelIn" : "resetMaxLevelOut", 0);
        return kResultOk;
    });
}

void EditController2Vu::sendDataRequest()
{
    IPtr<Qel::IMessage> message(allocateMessage(), false);
    if (!message)
        return;
    if (Qel::IMessageAttributes* attributes = message->getAttributes()) {
        // A request the host could not label or fill is not sent half made.
        message->setMessageId("PluginDataGet");
        if (message->getMessageId() && attributes->setInt("PluginDataGet", 0) == kResultOk)
            sendMessage(message.get());
    }
}

void EditController2Vu::idle()
{
    updateMeterData(input.channelCount, input.values, input.firstId, input.valueCount, input.meterData);
    updateMeterData(output.channelCount, output.values, output.firstId, output.valueCount, output.meterData);
    sendDataRequest();
}

IPlugView* EditController2Vu::createView(const char*)
{
    return nullptr;
}

void EditController2Vu::onIdle()
{
    // Nothing thrown reaches the host's idle call.
    answerWithoutThrowing([this] {
        idle();
        return kResultOk;
    });
}

IViewAttributes* EditController2Vu::viewAttributes(FUnknown** inOut)
{
    IViewAttributes* attributes = nullptr;
    if (inOut && *inOut &&
        (*inOut)->queryInterface(IViewAttributes::iid, reinterpret_cast<void**>(&attributes)) != kResultOk)
        attributes = nullptr;
    return attributes;
}

void EditController2Vu::handOver(Frame::View* view, FUnknown** inOut)
{
    if (!view)
        return;
    // The view's creation reference, given back unless a host view takes it: also when the host
    // view cannot be had for want of memory.
    IPtr<Frame::View> made(view, false);
    IHostView* host = view->createHostView();
    if (!host)
        return;
    made.take(); // the host view holds it now
    if (inOut)
        *inOut = host;
    else
        host->release();
}

tresult EditController2Vu::createSubView(const char8* name, ViewRect size, FUnknown** inOut)
{
    return answerWithoutThrowing([&] { return buildSubView(name, size, inOut); });
}

tresult EditController2Vu::buildSubView(const char8* name, ViewRect size, FUnknown** inOut)
{
    if (!name)
        return kResultOk;
    uint32 normColor = 0, peakColor = 0;
    if (std::strstr(name, "vumax")) {
        if (ISkinService* skin = getSkinService()) {
            FUnknown* object = nullptr;
            if (skin->queryInterface(FUnknown::iid, reinterpret_cast<void**>(&object)) == kResultOk && object) {
                auto* colors = static_cast<ISkinService*>(object);
                if (colors->getColor("ap.vu.norm", normColor) != kResultOk)
                    normColor = 0;
                if (colors->getColor("ap.vu.peak", peakColor) != kResultOk)
                    peakColor = 0;
                object->release();
            }
        }
    }
    Side* side = nullptr;
    bool peakView = false;
    if (std::strcmp(name, "inputvu") == 0)
        side = &input;
    else if (std::strcmp(name, "outputvu") == 0)
        side = &output;
    else if (std::strcmp(name, "inputvumax") == 0)
        side = &input, peakView = true;
    else if (std::strcmp(name, "outputvumax") == 0)
        side = &output, peakView = true;
    if (!side || !side->meterData)
        return kResultOk;
    Frame::View* view = nullptr;
    if (peakView)
        view = new Frame::VuMeterPeakView(side->meterData, 12, size, side->tags, normColor, peakColor);
    else {
        // Given back whatever the view's making throws.
        IPtr<IViewAttributes> attributes(viewAttributes(inOut), false);
        view = Frame::createMeterView(side->meterData, 12, size, side->tags, attributes.get(), getSkinService());
    }
    handOver(view, inOut);
    return kResultOk;
}

} // namespace Calvereth
