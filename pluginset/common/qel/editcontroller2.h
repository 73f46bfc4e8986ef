// Controller base of the meter: parameter descriptions from the static table, values in host value
// objects from which the host draws, the host-drawing interfaces, units and the processor's state.
#pragma once

#include "base/tlinkedlist.h"
#include "pluginset/common/qel/controllervaluelist.h"
#include "pluginset/common/qel/parameterinfoaccessor.h"
#include "pluginset/common/qel/unitinfo.h"
#include "pluginset/common/qel/views/frameinterfaces.h"
#include "qel/editcontroller.h"

namespace Calvereth {

class SkinInstance;

class EditController2 : public Qel::EditController,
                        public IPlugController,
                        public IViewBuilder,
                        public CUnitInfo,
                        public IPlugController2,
                        public IPlugController3,
                        public IPlugController4,
                        public IIdleHandler,
                        public IValueStringRepresentation,
                        public Qel::IEditControllerHostEditing,
                        public Qel::IXmlRepresentationController
{
public:
    EditController2(const Param::ParamRecord* table, int32 recordCount, const Param::UnitRecord* units, int32 unitCount,
                    bool viewServicesExternal);
    ~EditController2() override;

    // Out of memory, initialize (leaving nothing of itself, as after terminate) and
    // setComponentState (following nothing) answer kOutOfMemory; no exception leaves them.

    // IPluginBase
    tresult initialize(FUnknown* context) override;
    tresult terminate() override;

    // IConnectionPoint: nothing handled here.
    tresult notify(Qel::IMessage* message) override;

    // IEditController
    tresult setComponentState(IBStream* state) override;
    int32 getParameterCount() override;
    tresult getParameterInfo(int32 index, Qel::ParameterInfo& info) override;
    tresult getParamStringByValue(Qel::ParamID id, Qel::ParamValue normalized, Qel::String128 text) override;
    tresult getParamValueByString(Qel::ParamID id, char16_t* text, Qel::ParamValue& normalized) override;
    Qel::ParamValue normalizedParamToPlain(Qel::ParamID id, Qel::ParamValue v) override;
    Qel::ParamValue plainParamToNormalized(Qel::ParamID id, Qel::ParamValue v) override;
    Qel::ParamValue getParamNormalized(Qel::ParamID id) override;
    tresult setParamNormalized(Qel::ParamID id, Qel::ParamValue v) override;
    IPlugView* createView(const char* name) override;
    tresult setSharedMode(int32 mode) override;
    tresult getParameterInfoById(Qel::ParamID id, Qel::ParameterInfo& info) override;

    // Host-drawing interfaces
    tresult createSubView(const char8* name, ViewRect size, FUnknown** inOut) override;
    tresult getValueByName(const char8* name, IHostValue** value) override;
    tresult valueEdited(IHostValue* value, uint32 id) override;
    tresult plugController2Call(void*) override { return kNotImplemented; }
    tresult plugController3Call(void*) override { return kNotImplemented; }
    tresult beginValueEdit(IHostValue* value) override;
    tresult endValueEdit(IHostValue* value) override;
    void onIdle() override {}
    tresult valueToString(IHostValue* value, IValueTextReceiver* receiver) override;
    tresult stringToValue(IHostValue* value, const char16* text) override;
    virtual tresult hostNameEquals(const char16* name, bool& equal);
    virtual tresult attachValueStringRepresentation();
    tresult beginHostEdit(Qel::ParamID) override { return kResultFalse; }
    tresult endHostEdit(Qel::ParamID) override { return kResultFalse; }
    tresult getXmlRepresentation(void*, IBStream*) override { return kResultFalse; }

    // Reads n records after the length; nothing is applied unless every record is there and sound.
    virtual tresult applyComponentState(IBStream* stream, int32 length);
    virtual void componentStateApplied() {}
    // Receiver of (id, normalized) pairs.
    using ValueSink = void (*)(void* context, int32 id, float normalized);
    virtual void exportValues(ValueSink sink, void* context, const TContainer<int32>& ids);
    virtual tresult collectParameterRecords(const Param::ParamRecord* table, int32 count, Param::ParamRecord* out,
                                            int32& outCount, const int32* ids, int32 idCount);
    virtual void sendIntMessage(const char8* id, int64 value);
    virtual void sendStringMessage(const char8* id, const char16* text);
    virtual tresult sendBinaryMessage(const char8* id, const void* data, uint32 size);
    virtual tresult setPlainValue(uint32 id, double v);
    virtual tresult setValue(uint32 id, double v);
    virtual tresult initViewServices(FUnknown* context);

    // The skin service for the view builders (no reference added); null on a host that brings its own
    // colour groups, or without a skin.
    ISkinService* getSkinService();

    ControllerValueList* getValueList() const { return valueList; }
    Param::ParameterInfoAccessor* getAccessor() const { return accessor; }
    bool isHostEditing() const { return hostEditing; }
    const TLinkedList<int32>& getRecordIndexes() const { return recordIndexes; }

    static int32 getViewServicesUserCount();
    static SkinInstance* getSkinInstance();

    OBJ_METHODS(EditController2, EditController)
    tresult queryInterface(const TUID iid, void** obj) override;
    uint32 addRef() override { return FObject::addRef(); }
    uint32 release() override { return FObject::release(); }
    void update(FUnknown*, int32) override {}

    // Records whose id this answers false for get no value.
    virtual bool includeParameter(int32) { return true; }

protected:
    // What every controller's initialize does: the framework's initialize, the view services (unless
    // external) and the values. Throws std::bad_alloc when memory runs out.
    tresult initializeController(FUnknown* context);
    tresult followComponentState(IBStream* state);
    // The value list with one value per included record, the record indexes and the values' text
    // representation.
    virtual void createValues();
    void addRecordValue(const Param::ParamRecord& r);
    // Starts the view services for this controller once; counted only when they run.
    bool startViewServices(FUnknown* context);
    // Ends them for this controller when it counted itself in.
    void endViewServices();
    // Text into `out`, at most 127 characters; false when out of memory (only text beyond ASCII
    // takes any), `out` then empty.
    static bool copyText(Qel::String128 out, const char8* text);
    // A number as text in the format (a record's; "%.1f" when it has none), as copyText.
    static bool printValue(Qel::String128 out, const char8* format, double value);

    ControllerValueList* valueList = nullptr;
    int32 recordCount;
    // Records the processor's state carries at most (its parameter entries).
    int32 stateRecordCount;
    TLinkedList<int32> recordIndexes;
    Param::ParameterInfoAccessor* accessor;
    bool hostEditing = false;
    bool viewServicesExternal;
    bool viewServicesCounted = false;
    // Records of the text type get a text value only where the display shows one.
    bool textValues = false;
};

} // namespace Calvereth
