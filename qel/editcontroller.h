// Base of the controller side: parameters, value conversions, views and edits reported to the host.
#pragma once

#include "qel/componentbase.h"
#include "qel/ieditcontroller.h"
#include "qel/parameter.h"

namespace Calvereth {
namespace Qel {

class EditController : public ComponentBase, public IEditController, public IEditController2
{
public:
    EditController();
    ~EditController() override;

    // IPluginBase
    tresult initialize(FUnknown* context) override;
    tresult terminate() override;

    // IEditController
    tresult setComponentState(IBStream* state) override;
    tresult reservedSlot6(IBStream*) override { return kNotImplemented; }
    tresult reservedSlot7(IBStream*) override { return kNotImplemented; }
    int32_t getParameterCount() override;
    tresult getParameterInfo(int32_t paramIndex, ParameterInfo& info) override;
    tresult getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string) override;
    tresult getParamValueByString(ParamID id, char16_t* string, ParamValue& valueNormalized) override;
    ParamValue normalizedParamToPlain(ParamID id, ParamValue valueNormalized) override;
    ParamValue plainParamToNormalized(ParamID id, ParamValue plainValue) override;
    ParamValue getParamNormalized(ParamID id) override;
    tresult setParamNormalized(ParamID id, ParamValue value) override;
    tresult setComponentHandler(IComponentHandler* handler) override;
    IPlugView* createView(const char* name) override;

    // IEditController2
    tresult setSharedMode(int32_t mode) override;
    tresult reservedSlot4(bool) override { return kResultFalse; }
    tresult reservedSlot5(bool) override { return kResultFalse; }

    // Edits reported to the host's component handler; 1 without one.
    virtual tresult beginEdit(ParamID id);
    virtual tresult performEdit(ParamID id, ParamValue valueNormalized);
    virtual tresult endEdit(ParamID id);
    // The second handler's operations passed on unchanged; 3 without one.
    virtual tresult notifySecondHandler5();
    virtual tresult notifySecondHandler6();
    virtual void editorDestroyed(IPlugView*) {}
    virtual void editorAttached(IPlugView*) {}
    virtual void editorRemoved(IPlugView*) {}
    virtual Parameter* getParameterObject(ParamID id);
    virtual tresult getParameterInfoById(ParamID id, ParameterInfo& info);
    virtual tresult notifySecondHandler3(uint8_t flag);
    virtual tresult notifySecondHandler4(const char* arg);

    IComponentHandler* getComponentHandler() const { return componentHandler; }
    ParameterContainer& getParameters() { return parameters; }

    OBJ_METHODS(EditController, ComponentBase)
    tresult queryInterface(const TUID iid, void** obj) override;
    uint32_t addRef() override { return FObject::addRef(); }
    uint32_t release() override { return FObject::release(); }

protected:
    void releaseHandlers();

    IComponentHandler* componentHandler = nullptr;
    IComponentHandler2* componentHandler2 = nullptr;
    ParameterContainer parameters;
};

} // namespace Qel
} // namespace Calvereth
