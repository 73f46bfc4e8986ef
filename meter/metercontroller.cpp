#include "meter/metercontroller.h"

#include "meter/meterparams.h"
#include "pluginset/common/qel/pluginqel.h"
#include "pluginset/common/qel/statestream.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Norrik {

using namespace Calvereth;
using namespace Calvereth::Qel;

TableParameter::TableParameter(const ParameterInfo& info, const Param::ParamRecord& record)
: Parameter(info), record(record)
{
}

ParamValue TableParameter::toPlain(ParamValue normalized) const
{
    return record.min + (record.max - record.min) * normalized;
}

ParamValue TableParameter::toNormalized(ParamValue plain) const
{
    return (plain - record.min) / (record.max - record.min);
}

void TableParameter::toString(ParamValue normalized, String128 string) const
{
    char text[128];
    if (record.type == Param::kTypeOnOff)
        std::snprintf(text, sizeof(text), "%s", normalized > 0.5 ? "On" : "Off");
    else if (record.format[0] == '%' && std::strchr(record.format, 'f') && !std::strchr(record.format, 's'))
        std::snprintf(text, sizeof(text), record.format, toPlain(normalized));
    else
        std::snprintf(text, sizeof(text), "%.4f", toPlain(normalized));
    int i = 0;
    for (; i < 127 && text[i]; ++i)
        string[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
    string[i] = 0;
}

bool TableParameter::fromString(const char16_t* string, ParamValue& normalized) const
{
    if (!string)
        return false;
    char text[128];
    int i = 0;
    for (; i < 127 && string[i]; ++i)
        text[i] = string[i] == u',' ? '.' : (string[i] < 128 ? static_cast<char>(string[i]) : '?');
    text[i] = 0;
    char* end = nullptr;
    double plain = std::strtod(text, &end);
    if (end == text)
        return false;
    normalized = toNormalized(plain);
    return true;
}

MeterController::MeterController()
{
    rows.assign(kProcessorParams, kProcessorParams + kProcessorParamCount);
    rows.insert(rows.end(), kControllerParams, kControllerParams + kControllerParamCount);
}

FUnknown* MeterController::createInstance(void*)
{
    return static_cast<IEditController*>(new MeterController);
}

tresult MeterController::initialize(FUnknown* context)
{
    tresult result = EditController::initialize(context);
    if (result != kResultOk)
        return result;
    Param::ParameterInfoAccessor table(rows.data(), static_cast<int32>(rows.size()));
    for (int32 i = 0; i < table.getCount(); ++i) {
        ParameterInfo info{};
        if (table.fillParameterInfo(i, info) != kResultOk)
            continue;
        auto* p = new TableParameter(info, rows[static_cast<std::size_t>(i)]);
        p->setNormalized(info.defaultNormalizedValue);
        // A refused parameter is released by the container; the rest stand as they are.
        parameters.addParameter(p);
    }
    return kResultOk;
}

tresult MeterController::notify(IMessage* message)
{
    if (!message)
        return kInvalidArgument;
    const char* id = message->getMessageId();
    if (id && std::strcmp(id, "time") == 0) {
        char16_t text[128] = {};
        IMessageAttributes* attributes = message->getAttributes();
        if (attributes && attributes->getString("time", text, sizeof(text)) == kResultOk) {
            text[127] = 0;
            std::memcpy(timeText, text, sizeof(timeText));
        }
        return kResultOk;
    }
    return EditController::notify(message);
}

tresult MeterController::getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string)
{
    if (id == static_cast<ParamID>(kIdTime) && string) {
        std::memcpy(string, timeText, sizeof(timeText));
        return kResultOk;
    }
    return EditController::getParamStringByValue(id, valueNormalized, string);
}

tresult MeterController::setComponentState(IBStream* state)
{
    if (!state)
        return kInvalidArgument;
    StreamIO io(state);
    int32 length = 0;
    if (!io.readInt32(length))
        return kResultFalse;
    length = PluginQel::normalizeStateLength(length);
    int32 count = length / 144;
    if (length < 0 || count > kProcessorParamCount)
        return kResultFalse;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count) * 140);
    if (count > 0 && !io.readAll(bytes.data(), static_cast<int32>(bytes.size())))
        return kResultFalse;
    for (int32 r = 0; r < count; ++r) {
        const std::uint8_t* rec = bytes.data() + static_cast<std::size_t>(r) * 140;
        std::uint32_t pid = 0;
        double value = 0.0;
        std::memcpy(&pid, rec + 128, 4);
        std::memcpy(&value, rec + 132, 8);
        Parameter* p = parameters.getParameter(pid);
        if (p && std::isfinite(value))
            p->setNormalized(p->toNormalized(value));
    }
    return kResultOk;
}

} // namespace Norrik
