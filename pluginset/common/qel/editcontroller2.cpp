#include "pluginset/common/qel/editcontroller2.h"

#include <cmath>
#include <cstring>
#include <new>

#include "base/fstring.h"
#include "base/iptr.h"
#include "platform/strings.h"

#include "pluginset/common/qel/skininstance.h"
#include "pluginset/common/qel/statestream.h"
#include "pluginset/common/qel/views/frameservices.h"
#include "primitives/vector/ipps_vector.h"
#include "qel/boundary.h"
#include "qel/ihostapplication.h"

namespace Calvereth {

namespace {

int32 gViewServicesUsers = 0;
SkinInstance* gSkinInstance = nullptr;

char16 foldCase(char16 c)
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16>(c - u'A' + u'a') : c;
}

} // namespace

EditController2::EditController2(const Param::ParamRecord* table, int32 count, const Param::UnitRecord* units,
                                 int32 unitCount, bool external)
: CUnitInfo(unitCount, units), recordCount(count), stateRecordCount(count),
  accessor(new Param::ParameterInfoAccessor(table, count)), viewServicesExternal(external)
{}

EditController2::~EditController2()
{
    delete valueList;
    if (accessor)
        accessor->release();
    // A host that never terminated still gets the view services back.
    endViewServices();
}

int32 EditController2::getViewServicesUserCount()
{
    return gViewServicesUsers;
}

SkinInstance* EditController2::getSkinInstance()
{
    return gSkinInstance;
}

tresult EditController2::queryInterface(const TUID iid, void** obj)
{
    if (obj) {
#define NORRIK_PART(I)                                                                                                 \
    if (iidEqual(iid, I::iid)) {                                                                                       \
        addRef();                                                                                                      \
        *obj = static_cast<I*>(this);                                                                                  \
        return kResultOk;                                                                                              \
    }
        NORRIK_PART(IPlugController)
        NORRIK_PART(IPlugController2)
        NORRIK_PART(IPlugController3)
        NORRIK_PART(IPlugController4)
        NORRIK_PART(IViewBuilder)
        NORRIK_PART(IIdleHandler)
        NORRIK_PART(IValueStringRepresentation)
        NORRIK_PART(Qel::IUnitInfo)
        NORRIK_PART(Qel::IEditControllerHostEditing)
        NORRIK_PART(Qel::IXmlRepresentationController)
#undef NORRIK_PART
    }
    return EditController::queryInterface(iid, obj);
}

//------------------------------------------------------------------------
tresult EditController2::initViewServices(FUnknown* context)
{
    if (gViewServicesUsers == 0) {
        if (!Frame::initFrameServices(context))
            return kResultFalse;
        if (!Frame::getFrameHost()) {
            Frame::exitFrameServices();
            return kResultFalse;
        }
        if (!gSkinInstance) {
            try {
                gSkinInstance = new SkinInstance;
            } catch (...) {
                // Out of memory the services end as they started: nobody counts on them.
                Frame::exitFrameServices();
                throw;
            }
        }
    }
    ++gViewServicesUsers;
    return kResultOk;
}

bool EditController2::startViewServices(FUnknown* context)
{
    if (!viewServicesCounted && initViewServices(context) == kResultOk)
        viewServicesCounted = true;
    return viewServicesCounted;
}

void EditController2::endViewServices()
{
    if (!viewServicesCounted)
        return;
    viewServicesCounted = false;
    if (--gViewServicesUsers > 0)
        return;
    gViewServicesUsers = 0;
    delete gSkinInstance;
    gSkinInstance = nullptr;
    Frame::exitFrameServices();
}

ISkinService* EditController2::getSkinService()
{
    if (hostContext) {
        IColorGroupInformation* groups = nullptr;
        if (hostContext->queryInterface(IColorGroupInformation::iid, reinterpret_cast<void**>(&groups)) == kResultOk &&
            groups) {
            groups->release();
            return nullptr;
        }
    }
    return gSkinInstance ? gSkinInstance->getService() : nullptr;
}

void EditController2::addRecordValue(const Param::ParamRecord& r)
{
    if (!valueList)
        return;
    const bool option1 = (r.flags & 1u) != 0;
    const bool option16 = (r.flags & 4u) != 0;
    IHostValue* value = nullptr;
    switch (r.type) {
    case Param::kTypeInteger:
        value = valueList->addInt(r.id, r.name, static_cast<int32>(r.min), static_cast<int32>(r.max),
                                  static_cast<int32>(r.defaultValue), option1, option16);
        break;
    case Param::kTypeRange:
        value = valueList->addRange(r.id, r.name, r.meterFlag, option1, option16, static_cast<float>(r.min),
                                    static_cast<float>(r.max), static_cast<float>(r.defaultValue));
        break;
    case Param::kTypeOnOff:
        value = valueList->addBool(r.id, r.name, r.defaultValue >= 0.5, option1);
        break;
    case Param::kTypeString:
        if (textValues)
            value = valueList->addString(r.id, r.name, u"", false);
        break;
    default:
        break;
    }
    (void)value;
}

tresult EditController2::initialize(FUnknown* context)
{
    ippStaticInit();
    const tresult result = answerWithoutThrowing([&] { return initializeController(context); });
    // Out of memory nothing of it stays, so that it can be tried again.
    if (result == kOutOfMemory)
        terminate();
    return result;
}

tresult EditController2::initializeController(FUnknown* context)
{
    tresult result = EditController::initialize(context);
    // A second initialize is refused before anything else is touched.
    if (result != kResultOk)
        return result;
    if (!viewServicesExternal)
        startViewServices(context);
    createValues();
    return result;
}

void EditController2::createValues()
{
    if (!valueList && Frame::getFrameHost())
        valueList = new ControllerValueList(Frame::getFrameHost(), nullptr);
    if (valueList) {
        valueList->setOwner(static_cast<IPlugController*>(this));
        valueList->setCapacity(recordCount);
        for (int32 i = 0; i < recordCount; ++i) {
            const Param::ParamRecord* r = accessor->getRecordAt(i);
            if (r && !includeParameter(r->id))
                continue;
            if (r)
                addRecordValue(*r);
            if (!recordIndexes.add(i))
                throw std::bad_alloc();
        }
    }
    attachValueStringRepresentation();
}

tresult EditController2::terminate()
{
    delete valueList;
    valueList = nullptr;
    if (!viewServicesExternal)
        endViewServices();
    recordIndexes.removeAll();
    return EditController::terminate();
}

tresult EditController2::notify(Qel::IMessage*)
{
    return kResultFalse;
}

//------------------------------------------------------------------------
int32 EditController2::getParameterCount()
{
    return valueList ? valueList->count() : 0;
}

tresult EditController2::getParameterInfo(int32 index, Qel::ParameterInfo& info)
{
    return accessor ? accessor->fillParameterInfo(index, info) : kResultFalse;
}

tresult EditController2::getParameterInfoById(Qel::ParamID id, Qel::ParameterInfo& info)
{
    int32 index = 0;
    if (!accessor || accessor->getIndex(static_cast<int32>(id), index) != kResultOk)
        return kResultFalse;
    return getParameterInfo(index, info);
}

bool EditController2::copyText(Qel::String128 out, const char8* text)
{
    // ASCII is copied in place, so the text never depends on memory being left.
    out[0] = 0;
    if (!text)
        return true;
    int32 i = 0;
    for (; i < 127 && text[i]; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) {
            // Beyond ASCII the 8-bit text is read in its code page, which takes memory.
            String(text).copyTo16(out, 0, 127);
            return out[0] != 0;
        }
        out[i] = static_cast<char16>(text[i]);
    }
    out[i] = 0;
    return true;
}

bool EditController2::printValue(Qel::String128 out, const char8* format, double value)
{
    // Formatted in place, so the text never depends on memory being left.
    char text[128];
    if (Platform::formatC(text, sizeof text, format && format[0] ? format : "%.1f", value) < 0)
        text[0] = 0;
    return copyText(out, text);
}

tresult EditController2::getParamStringByValue(Qel::ParamID id, Qel::ParamValue normalized, Qel::String128 text)
{
    text[0] = 0;
    const Param::ParamRecord* r = accessor ? accessor->getRecord(static_cast<int32>(id)) : nullptr;
    bool written = true;
    if (r && r->type == Param::kTypeOnOff)
        written = copyText(text, normalized >= 0.5 ? "On" : "Off");
    else if (r)
        written = printValue(text, r->format, accessor->toPlain(static_cast<int32>(id), normalized));
    return written ? kResultOk : kOutOfMemory;
}

tresult EditController2::getParamValueByString(Qel::ParamID id, char16_t* text, Qel::ParamValue& normalized)
{
    // A ',' reads as '.', text before the number is skipped; only finite decimal numbers read.
    double number = 0.0;
    if (!text || !ConstString(text).scanFloat(number, 0, true))
        return kResultFalse;
    normalized = accessor ? accessor->toNormalized(static_cast<int32>(id), number) : number;
    return kResultOk;
}

Qel::ParamValue EditController2::normalizedParamToPlain(Qel::ParamID id, Qel::ParamValue v)
{
    return accessor ? accessor->toPlain(static_cast<int32>(id), v) : v;
}

Qel::ParamValue EditController2::plainParamToNormalized(Qel::ParamID id, Qel::ParamValue v)
{
    return accessor ? accessor->toNormalized(static_cast<int32>(id), v) : v;
}

Qel::ParamValue EditController2::getParamNormalized(Qel::ParamID id)
{
    IHostValue* value = valueList ? valueList->findById(static_cast<int32>(id)) : nullptr;
    return value ? static_cast<double>(value->getNormalized()) : 0.0;
}

tresult EditController2::setParamNormalized(Qel::ParamID id, Qel::ParamValue v)
{
    IHostValue* value = valueList ? valueList->findById(static_cast<int32>(id)) : nullptr;
    if (!value || !Param::acceptNormalized(v))
        return kResultFalse;
    // A text value holds its text: the number the read-out sends for it must not blank it.
    const Param::ParamRecord* r = accessor ? accessor->getRecord(static_cast<int32>(id)) : nullptr;
    if (r && r->type == Param::kTypeString)
        return kResultOk;
    value->setNormalized(0, static_cast<float>(v));
    return kResultOk;
}

IPlugView* EditController2::createView(const char*)
{
    return nullptr;
}

tresult EditController2::setSharedMode(int32)
{
    return kResultFalse;
}

//------------------------------------------------------------------------
tresult EditController2::setComponentState(IBStream* state)
{
    return answerWithoutThrowing([&] { return followComponentState(state); });
}

tresult EditController2::followComponentState(IBStream* state)
{
    tresult result = kResultOk;
    if (valueList) {
        IBStreamer streamer(state, kLittleEndian);
        int32 length = 0;
        if (!state || !Qel::ProcessorState::readLength(streamer, length))
            result = kResultFalse;
        else
            result = applyComponentState(state, length);
    }
    componentStateApplied();
    return result;
}

tresult EditController2::applyComponentState(IBStream* stream, int32 length)
{
    if (!stream)
        return kResultFalse;
    // Read as the processor reads it: a stream it refuses is not followed here either.
    IBStreamer streamer(stream, kLittleEndian);
    Qel::ProcessorState records(stateRecordCount);
    if (!records.readRecords(streamer, length, stateRecordCount))
        return kResultFalse; // refused or cut short: nothing applied
    TLinkedList<int32> pending = recordIndexes;
    // A copy that could not hold every index would leave records unfollowed.
    if (pending.count() != recordIndexes.count())
        return kOutOfMemory;
    hostEditing = true;
    for (int32 i = 0; i < records.count(); ++i) {
        const Qel::ProcessorState::Record& rec = records.at(i);
        for (int32 k = 0; k < pending.count(); ++k) {
            const Param::ParamRecord* r = accessor->getRecordAt(pending.at(k));
            if (!r || r->id != rec.id)
                continue;
            IHostValue* value = valueList ? valueList->findById(rec.id) : nullptr;
            if (value) {
                double v = std::min(std::max(rec.value, r->min), r->max);
                if (r->type == Param::kTypeInteger || r->type == Param::kTypeList)
                    value->setInt(static_cast<int32>(v + 0.5), 1);
                else if (r->type == Param::kTypeOnOff)
                    value->setInt(Qel::ProcessorState::isOn(v) ? 1 : 0, 1);
                else
                    value->setPlain(1, static_cast<float>(v));
                pending.removeAt(k);
                valueEdited(value, static_cast<uint32>(rec.id));
            }
            break;
        }
    }
    hostEditing = false;
    return kResultOk;
}

//------------------------------------------------------------------------
tresult EditController2::createSubView(const char8*, ViewRect, FUnknown**)
{
    return kNotImplemented;
}

tresult EditController2::getValueByName(const char8* name, IHostValue** value)
{
    if (!valueList || !value)
        return kResultFalse;
    *value = valueList->findByName(name);
    return *value ? kResultOk : kResultFalse;
}

tresult EditController2::valueEdited(IHostValue* value, uint32 id)
{
    if (!value)
        return kResultOk;
    float v = value->getNormalized();
    if (IHostValue* own = valueList ? valueList->findById(static_cast<int32>(id)) : nullptr)
        own->setNormalized(0, v);
    if (componentHandler && !hostEditing)
        performEdit(id, v);
    return kResultOk;
}

tresult EditController2::beginValueEdit(IHostValue* value)
{
    if (value && componentHandler)
        beginEdit(static_cast<Qel::ParamID>(value->getId()));
    return kResultOk;
}

tresult EditController2::endValueEdit(IHostValue* value)
{
    if (value && componentHandler)
        endEdit(static_cast<Qel::ParamID>(value->getId()));
    return kResultOk;
}

tresult EditController2::valueToString(IHostValue* value, IValueTextReceiver* receiver)
{
    if (!value)
        return kResultFalse;
    Qel::String128 text = {};
    if (getParamStringByValue(static_cast<Qel::ParamID>(value->getId()), value->getNormalized(), text) != kResultOk)
        return kResultFalse;
    if (receiver)
        receiver->setText(text);
    return kResultOk;
}

tresult EditController2::stringToValue(IHostValue* value, const char16* text)
{
    if (!value)
        return kResultFalse;
    Qel::ParamValue normalized = 0.0;
    if (getParamValueByString(static_cast<Qel::ParamID>(value->getId()), const_cast<char16_t*>(text), normalized) !=
        kResultOk)
        return kResultFalse;
    value->setNormalized(1, static_cast<float>(normalized));
    return kResultOk;
}

tresult EditController2::hostNameEquals(const char16* name, bool& equal)
{
    if (!hostContext || !Frame::getFrameHost())
        return kResultFalse;
    Qel::IHostApplication* app = Frame::getHostService<Qel::IHostApplication>();
    if (!app)
        return kResultFalse;
    char16_t hostName[128] = {};
    app->getName(hostName);
    hostName[127] = 0;
    bool same = name != nullptr;
    for (int32 i = 0; same; ++i) {
        if (foldCase(hostName[i]) != foldCase(name[i]))
            same = false;
        else if (!name[i])
            break;
    }
    equal = same;
    app->release();
    return kResultOk;
}

tresult EditController2::attachValueStringRepresentation()
{
    if (!valueList)
        return kResultFalse;
    for (int32 i = 0; i < valueList->count(); ++i) {
        IHostValue* value = valueList->getAt(i);
        if (!value)
            continue;
        const Param::ParamRecord* r = accessor->getRecord(value->getId());
        if (!r || r->type == Param::kTypeString)
            continue;
        IHostValueStringHolder* holder = nullptr;
        if (value->queryInterface(IHostValueStringHolder::iid, reinterpret_cast<void**>(&holder)) == kResultOk &&
            holder) {
            holder->setStringRepresentation(static_cast<IValueStringRepresentation*>(this));
            holder->release();
        }
    }
    return kResultOk;
}

void EditController2::exportValues(ValueSink sink, void* context, const TContainer<int32>& ids)
{
    if (!valueList || !sink)
        return;
    for (int32 i = 0; i < ids.count(); ++i)
        if (IHostValue* value = valueList->findById(ids.at(i)))
            sink(context, ids.at(i), value->getNormalized());
}

tresult EditController2::collectParameterRecords(const Param::ParamRecord* table, int32 count, Param::ParamRecord* out,
                                                 int32& outCount, const int32* ids, int32 idCount)
{
    outCount = 0;
    for (int32 k = 0; k < idCount; ++k) {
        out[outCount].type = Param::kTypeEmpty;
        for (int32 i = 0; i < count; ++i) {
            if (table[i].id == ids[k]) {
                out[outCount++] = table[i];
                break;
            }
        }
    }
    return kResultOk;
}

void EditController2::sendIntMessage(const char8* id, int64 value)
{
    IPtr<Qel::IMessage> message(allocateMessage(), false);
    if (!message)
        return;
    if (Qel::IMessageAttributes* attributes = message->getAttributes()) {
        // A message the host could not label or fill is not sent half made.
        message->setMessageId(id);
        if (message->getMessageId() && attributes->setInt(id, value) == kResultOk)
            sendMessage(message.get());
    }
}

void EditController2::sendStringMessage(const char8* id, const char16* text)
{
    IPtr<Qel::IMessage> message(allocateMessage(), false);
    if (!message)
        return;
    if (Qel::IMessageAttributes* attributes = message->getAttributes()) {
        message->setMessageId(id);
        if (message->getMessageId() && attributes->setString(id, text) == kResultOk)
            sendMessage(message.get());
    }
}

tresult EditController2::sendBinaryMessage(const char8* id, const void* data, uint32 size)
{
    IPtr<Qel::IMessage> message(allocateMessage(), false);
    if (!message)
        return kResultFalse;
    if (Qel::IMessageAttributes* attributes = message->getAttributes()) {
        message->setMessageId(id);
        if (!message->getMessageId())
            return kOutOfMemory;
        if (const tresult filled = attributes->setBinary("binary", data, size); filled != kResultOk)
            return filled;
        sendMessage(message.get());
    }
    return kResultOk;
}

tresult EditController2::setValue(uint32 id, double v)
{
    IHostValue* value = valueList ? valueList->findById(static_cast<int32>(id)) : nullptr;
    if (!value)
        return kResultFalse;
    value->setNormalized(0, static_cast<float>(v));
    return kResultOk;
}

tresult EditController2::setPlainValue(uint32 id, double v)
{
    IHostValue* value = valueList ? valueList->findById(static_cast<int32>(id)) : nullptr;
    if (!value)
        return kResultFalse;
    value->setPlain(0, static_cast<float>(v));
    return kResultOk;
}

} // namespace Calvereth
