#include "qel/editcontroller.h"

namespace Calvereth {
namespace Qel {
namespace {

// The parameter's description; 1, leaving info as it was, when there is no such parameter.
tresult describe(const Parameter* p, ParameterInfo& info)
{
    if (!p)
        return kResultFalse;
    info = p->getInfo();
    return kResultOk;
}

} // namespace

EditController::EditController() = default;

EditController::~EditController()
{
    releaseHandlers();
}

tresult EditController::queryInterface(const TUID iid, void** obj)
{
    if (obj) {
        if (iidEqual(iid, IEditController::iid)) {
            addRef();
            *obj = static_cast<IEditController*>(this);
            return kResultOk;
        }
        if (iidEqual(iid, IEditController2::iid)) {
            addRef();
            *obj = static_cast<IEditController2*>(this);
            return kResultOk;
        }
    }
    return ComponentBase::queryInterface(iid, obj);
}

tresult EditController::initialize(FUnknown* context)
{
    return ComponentBase::initialize(context);
}

void EditController::releaseHandlers()
{
    if (componentHandler) {
        componentHandler->release();
        componentHandler = nullptr;
    }
    if (componentHandler2) {
        componentHandler2->release();
        componentHandler2 = nullptr;
    }
}

tresult EditController::terminate()
{
    parameters.removeAll();
    releaseHandlers();
    return ComponentBase::terminate();
}

tresult EditController::setComponentState(IBStream*)
{
    return kNotImplemented;
}

int32_t EditController::getParameterCount()
{
    return parameters.getParameterCount();
}

tresult EditController::getParameterInfo(int32_t paramIndex, ParameterInfo& info)
{
    return describe(parameters.getParameterByIndex(paramIndex), info);
}

tresult EditController::getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string)
{
    Parameter* p = parameters.getParameter(id);
    if (!p || !string)
        return kResultFalse;
    p->toString(valueNormalized, string);
    return kResultOk;
}

tresult EditController::getParamValueByString(ParamID id, char16_t* string, ParamValue& valueNormalized)
{
    Parameter* p = parameters.getParameter(id);
    if (!p)
        return kResultFalse;
    return p->fromString(string, valueNormalized) ? kResultOk : kResultFalse;
}

ParamValue EditController::normalizedParamToPlain(ParamID id, ParamValue valueNormalized)
{
    Parameter* p = parameters.getParameter(id);
    return p ? p->toPlain(valueNormalized) : valueNormalized;
}

ParamValue EditController::plainParamToNormalized(ParamID id, ParamValue plainValue)
{
    Parameter* p = parameters.getParameter(id);
    return p ? p->toNormalized(plainValue) : plainValue;
}

ParamValue EditController::getParamNormalized(ParamID id)
{
    Parameter* p = parameters.getParameter(id);
    return p ? p->getNormalized() : 0.0;
}

tresult EditController::setParamNormalized(ParamID id, ParamValue value)
{
    Parameter* p = parameters.getParameter(id);
    if (!p)
        return kResultFalse;
    p->setNormalized(value);
    return kResultOk;
}

tresult EditController::setComponentHandler(IComponentHandler* handler)
{
    if (handler == componentHandler)
        return kResultOk;
    // The new handler gains its reference before the old one is let go.
    if (handler)
        handler->addRef();
    releaseHandlers();
    componentHandler = handler;
    if (handler &&
        handler->queryInterface(IComponentHandler2::iid, reinterpret_cast<void**>(&componentHandler2)) != kResultOk)
        componentHandler2 = nullptr;
    return kResultOk;
}

IPlugView* EditController::createView(const char*)
{
    return nullptr;
}

tresult EditController::setSharedMode(int32_t)
{
    return kResultOk;
}

tresult EditController::beginEdit(ParamID id)
{
    return componentHandler ? componentHandler->beginEdit(id) : kResultFalse;
}

tresult EditController::performEdit(ParamID id, ParamValue valueNormalized)
{
    return componentHandler ? componentHandler->performEdit(id, valueNormalized) : kResultFalse;
}

tresult EditController::endEdit(ParamID id)
{
    return componentHandler ? componentHandler->endEdit(id) : kResultFalse;
}

tresult EditController::notifySecondHandler3(uint8_t flag)
{
    return componentHandler2 ? componentHandler2->handlerOp3(flag) : kNotImplemented;
}

tresult EditController::notifySecondHandler4(const char* arg)
{
    return componentHandler2 ? componentHandler2->handlerOp4(arg) : kNotImplemented;
}

tresult EditController::notifySecondHandler5()
{
    return componentHandler2 ? componentHandler2->handlerOp5() : kNotImplemented;
}

tresult EditController::notifySecondHandler6()
{
    return componentHandler2 ? componentHandler2->handlerOp6() : kNotImplemented;
}

Parameter* EditController::getParameterObject(ParamID id)
{
    return parameters.getParameter(id);
}

tresult EditController::getParameterInfoById(ParamID id, ParameterInfo& info)
{
    return describe(parameters.getParameter(id), info);
}

} // namespace Qel
} // namespace Calvereth
