#include "meter/smallbigmetercontroller.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/iptr.h"
#include "meter/meterparams.h"
#include "pluginset/common/qel/views/frameservices.h"
#include "pluginset/common/qel/views/vumeterviews.h"
#include "qel/boundary.h"

namespace Norrik {

using namespace Calvereth;

SmallBigMeterController::SmallBigMeterController()
: EditController2Vu(kProcessorParams, kProcessorParamCount, kControllerParams, kControllerParamCount, kUnits,
                    kUnitCount)
{
    textValues = true;
    stateRecordCount = kProcessorParamCount;
}

SmallBigMeterController::~SmallBigMeterController()
{
    if (momentaryData) {
        momentaryData->setListener(nullptr);
        momentaryData->release();
    }
    delete indicatorList;
}

FUnknown* SmallBigMeterController::createInstance(void*)
{
    return static_cast<Qel::IEditController*>(new SmallBigMeterController);
}

void SmallBigMeterController::createValues()
{
    if (!indicatorList) {
        indicatorList = new ControllerValueList(Frame::getFrameHost(), nullptr);
        indicatorList->addRange(kIndicatorId, kIndicatorName, -1, false, false, 0.f, 1.f, 0.f);
    }
    EditController2Vu::createValues();
}

tresult SmallBigMeterController::terminate()
{
    if (momentaryData) {
        // Views still drawing it keep it alive; only the controller lets go.
        momentaryData->setListener(nullptr);
        momentaryData->release();
        momentaryData = nullptr;
    }
    delete indicatorList;
    indicatorList = nullptr;
    indicatorTags.removeAll();
    relativeScale = false;
    return EditController2Vu::terminate();
}

tresult SmallBigMeterController::notify(Qel::IMessage* message)
{
    return answerWithoutThrowing([&] { return receiveTime(message); });
}

tresult SmallBigMeterController::receiveTime(Qel::IMessage* message)
{
    if (!message)
        return kInvalidArgument;
    const char* id = message->getMessageId();
    if (id && std::strcmp(id, "time") == 0) {
        Qel::IMessageAttributes* attributes = message->getAttributes();
        // Room for hours beyond two digits: the whole elapsed time is shown.
        char16_t buffer[kTimeTextSize] = {};
        if (attributes && attributes->getString("time", buffer, sizeof(buffer)) == kResultOk) {
            buffer[kTimeTextSize - 1] = 0;
            if (IHostValue* value = valueList ? valueList->findById(kIdTime) : nullptr)
                value->setString(buffer, 0);
        }
        return kResultOk;
    }
    return EditController2Vu::notify(message);
}

double SmallBigMeterController::loudnessPosition(int32 id, double normalized) const
{
    double p = accessor->toPlain(id, normalized);
    if (!relativeScale)
        p += 23.0;
    return std::clamp((p + 36.0) / 54.0, 0.0, 1.0);
}

tresult SmallBigMeterController::setParamNormalized(Qel::ParamID id, Qel::ParamValue v)
{
    if (!Param::acceptNormalized(v))
        return kResultFalse;
    applyControl(id, v);
    switch (static_cast<int32>(id)) {
    case kIdMomentary:
        if (momentaryData)
            momentaryData->setValue(1, static_cast<float>(loudnessPosition(kIdMomentary, v)));
        break;
    case kIdShortTerm:
        if (IHostValue* indicator = indicatorList ? indicatorList->findByName(kIndicatorName) : nullptr)
            indicator->setNormalized(0, static_cast<float>(loudnessPosition(kIdShortTerm, v)));
        break;
    case kIdMomentaryMax:
        if (momentaryData)
            momentaryData->setValue(Frame::kVuPeakReadout, static_cast<float>(v));
        break;
    default:
        break;
    }
    return EditController2Vu::setParamNormalized(id, v);
}

tresult SmallBigMeterController::getParamStringByValue(Qel::ParamID id, Qel::ParamValue v, Qel::String128 text)
{
    text[0] = 0;
    if (!valueList)
        return kResultFalse;
    const Param::ParamRecord* r = accessor->getRecord(static_cast<int32>(id));
    if (r) {
        const int32 i = static_cast<int32>(id);
        if (r->type == Param::kTypeString) {
            char16_t held[kTimeTextSize] = {};
            int32 size = kTimeTextSize;
            if (IHostValue* value = valueList->findById(kIdTime))
                value->getString(held, &size);
            held[kTimeTextSize - 1] = 0;
            for (int32 k = 0; k < 127 && held[k]; ++k)
                text[k] = held[k], text[k + 1] = 0;
            return kResultOk;
        }
        bool written = true;
        if (r->type == Param::kTypeOnOff)
            written = copyText(text, v >= 0.5 ? "On" : "Off");
        else if (i == kIdMomentary || i == kIdShortTerm || i == kIdIntegrated || i == kIdMomentaryMax ||
                 i == kIdShortTermMax) {
            double p = accessor->toPlain(i, v);
            written = p > (relativeScale ? -57.0 : -80.0) ? printValue(text, "%.1f", p) : copyText(text, "--");
        } else if (i == kIdScaleLU)
            written = copyText(text, v < 0.5 ? "LUFS" : "LU");
        else if (r->format[0]) {
            double p = accessor->toPlain(i, v);
            written = p > -80.0 ? printValue(text, r->format, p) : copyText(text, "--");
        } else
            written = printValue(text, "%.1f", accessor->toPlain(i, v));
        if (!written)
            return kOutOfMemory;
    }
    return kResultOk;
}

IPlugView* SmallBigMeterController::createView(const char* name)
{
    if (!name || std::strcmp(name, "editor") != 0)
        return nullptr;
    ISkinService* skin = getSkinService();
    if (!skin)
        return nullptr;
    IPlugView* view = nullptr;
    // The host builds the view and calls back for its parts: nothing thrown leaves through here, and
    // a view it could not build whole is none.
    const tresult built = answerWithoutThrowing(
        [&] { return skin->createView(kEditorName, static_cast<IPlugController*>(this), &view); });
    if (built != kResultOk && view) {
        view->release();
        view = nullptr;
    }
    return view;
}

tresult SmallBigMeterController::createSubView(const char* name, ViewRect size, FUnknown** inOut)
{
    const tresult made = EditController2Vu::createSubView(name, size, inOut);
    if (made != kResultOk)
        return made;
    return answerWithoutThrowing([&] { return buildMomentaryView(name, size, inOut); });
}

tresult SmallBigMeterController::buildMomentaryView(const char* name, ViewRect size, FUnknown** inOut)
{
    if (!name || std::strcmp(name, "loudnessMView") != 0 || !momentaryData)
        return kResultOk;
    // Given back whatever the view's making throws.
    IPtr<IViewAttributes> attributes(viewAttributes(inOut), false);
    Frame::View* view =
        Frame::createPeakHoldMeterView(momentaryData, 12, size, indicatorTags, attributes.get(), getSkinService());
    handOver(view, inOut);
    return kResultOk;
}

tresult SmallBigMeterController::getValueByName(const char* name, IHostValue** value)
{
    if (indicatorList && value) {
        if ((*value = indicatorList->findByName(name)))
            return kResultOk;
    }
    return EditController2Vu::getValueByName(name, value);
}

void SmallBigMeterController::applyControl(uint32 id, double v)
{
    if (static_cast<int32>(id) == kIdScaleLU)
        relativeScale = v >= 0.5;
    else if (static_cast<int32>(id) == kIdResetLoudness && momentaryData)
        momentaryData->clearPeakHold();
}

tresult SmallBigMeterController::valueEdited(IHostValue* value, uint32 id)
{
    if (value)
        applyControl(id, value->getNormalized());
    return EditController2Vu::valueEdited(value, id);
}

void SmallBigMeterController::idle()
{
    sendDataRequest();
}

void SmallBigMeterController::createMeterData()
{
    EditController2Vu::createMeterData();
    if (!indicatorTags.add(1))
        throw std::bad_alloc();
    if (!momentaryData)
        momentaryData = new LinearVuMeterPhData(static_cast<uint32>(indicatorTags.count()), indicatorTags,
                                                static_cast<IDependent*>(this));
    momentaryData->releaseScaleMapper();
    momentaryData->setChannelCount(1);
}

} // namespace Norrik
