// The host's drawing side as the display reaches it: frame host, clock, host views, draw context,
// bitmaps, meter settings, skin service, value objects and the controller's interfaces the host calls.
// Slots that no call site uses are kept as placeholders so every used operation sits at its position.
#pragma once

#include "base/funknown.h"
#include "qel/iplugview.h"

namespace Calvereth {

struct FramePoint
{
    int32 x;
    int32 y;
};

//------------------------------------------------------------------------
class IFrameHost : public FUnknown
{
public:
    // 0 and an object with one reference for the caller; anything else means absent.
    virtual tresult getService(const TUID iid, void** obj) = 0; // 3
    static const FUID iid;
};
DECLARE_CLASS_IID(IFrameHost, 0xEEC89683, 0x80DB4336, 0x9177273E, 0x138A763B)

class IFrameSystem : public FUnknown
{
public:
    virtual TBool trackMouseStep() = 0; // 3
    virtual void frameSystemSlot4() = 0;
    virtual void frameSystemSlot5() = 0;
    virtual void frameSystemSlot6() = 0;
    virtual void frameSystemSlot7() = 0;
    virtual void frameSystemSlot8() = 0;
    virtual void frameSystemSlot9() = 0;
    virtual void frameSystemSlot10() = 0;
    virtual void frameSystemSlot11() = 0;
    virtual void frameSystemSlot12() = 0;
    virtual void frameSystemSlot13() = 0;
    virtual int32 getTickCount() = 0; // 14: milliseconds of a monotonic clock
    static const FUID iid;
};
DECLARE_CLASS_IID(IFrameSystem, 0x1BC82887, 0x0EE84A33, 0x8981D81E, 0x7B58EC93)

//------------------------------------------------------------------------
class IDrawContext : public FUnknown
{
public:
    virtual void setLineColor(uint32 color, int32 width, float alpha) = 0;              // 3
    virtual void setFillColor(uint32 color, float alpha) = 0;                           // 4
    virtual void setFont(const char16* name, int32 size, int32 style, float scale) = 0; // 5
    virtual void drawContextSlot6() = 0;                                                // 6
    virtual void setFontColor(uint32 color) = 0;                                        // 7
    virtual void drawLine(const FramePoint& from, const FramePoint& to) = 0;            // 8
    virtual void drawRect(const ViewRect& rect, int32 filled) = 0;                      // 9
    virtual void drawContextSlot10() = 0;
    virtual void drawContextSlot11() = 0;
    virtual void drawContextSlot12() = 0;
    virtual void drawString(const char16* text, const ViewRect& rect, int32 align, int32 flags) = 0; // 13
    virtual void drawContextSlot14() = 0;
    virtual void drawContextSlot15() = 0;
    virtual void drawContextSlot16() = 0;
    virtual void drawContextSlot17() = 0;
    // 18: the source part (bitmap coordinates) drawn into the destination (view coordinates).
    virtual void drawBitmap(FUnknown* bitmap, const ViewRect& source, const ViewRect& destination) = 0;
};

class IHostViewClient : public FUnknown
{
public:
    virtual int32 draw(IDrawContext* context, const ViewRect& updateRect) = 0; // 3
    virtual int32 onMouseDown(int32 x, int32 y) = 0;                           // 4
    static const FUID iid;
};
DECLARE_CLASS_IID(IHostViewClient, 0x3FD38672, 0xA1AF419C, 0xAD4952AF, 0x0E5667E1)

class IHostViewMouseEvent : public FUnknown
{
public:
    virtual int32 mouseEvent1(int32 x, int32 y) = 0; // 3
    virtual int32 mouseEvent2(int32 x, int32 y) = 0; // 4
    virtual int32 mouseEvent3(int32 x, int32 y) = 0; // 5
    static const FUID iid;
};
DECLARE_CLASS_IID(IHostViewMouseEvent, 0x64838A5F, 0x614D4DEE, 0xABFDE7DD, 0xA5C160BA)

class IHostView : public FUnknown
{
public:
    // The host view keeps the client alive from here on.
    virtual tresult setClient(IHostViewClient* client) = 0;   // 3
    virtual tresult hostViewSlot4(const ViewRect& rect) = 0;  // 4
    virtual tresult invalidRect(const ViewRect& rect) = 0;    // 5
    virtual tresult isMouseButtonDown(int32& down) = 0;       // 6
    virtual tresult getMousePosition(int32& x, int32& y) = 0; // 7
    virtual tresult hostViewSlot8(FUnknown** attributes) = 0; // 8
    static const FUID iid;
};
DECLARE_CLASS_IID(IHostView, 0xFE89F65F, 0xC2784099, 0xAD9C9424, 0xA61BC938)

class IHostViewMouseCapture : public FUnknown
{
public:
    virtual tresult setMouseCapture(TBool state) = 0; // 3
    static const FUID iid;
};
DECLARE_CLASS_IID(IHostViewMouseCapture, 0xC20ABAD5, 0x03D54462, 0x87B7D4B2, 0x1E78DCBB)

//------------------------------------------------------------------------
class IMeterSettings : public FUnknown
{
public:
    virtual void meterSettingsSlot3() = 0;
    virtual void meterSettingsSlot4() = 0;
    virtual void meterSettingsSlot5() = 0;
    virtual void meterSettingsSlot6() = 0;
    virtual void meterSettingsSlot7() = 0;
    virtual void meterSettingsSlot8() = 0;
    virtual void meterSettingsSlot9() = 0;
    virtual void meterSettingsSlot10() = 0;
    virtual void meterSettingsSlot11() = 0;
    virtual void meterSettingsSlot12() = 0;
    virtual void meterSettingsSlot13() = 0;
    virtual void meterSettingsSlot14() = 0;
    virtual void meterSettingsSlot15() = 0;
    virtual void meterSettingsSlot16() = 0;
    virtual void meterSettingsSlot17() = 0;
    virtual void meterSettingsSlot18() = 0;
    virtual void meterSettingsSlot19() = 0;
    virtual void meterSettingsSlot20() = 0;
    virtual void meterSettingsSlot21() = 0;
    virtual void meterSettingsSlot22() = 0;
    virtual void meterSettingsSlot23() = 0;
    virtual void meterSettingsSlot24() = 0;
    virtual void meterSettingsSlot25() = 0;
    virtual void meterSettingsSlot26() = 0;
    virtual void meterSettingsSlot27() = 0;
    virtual void meterSettingsSlot28() = 0;
    virtual float getFallFactor(int32 meter, float a, float b) = 0; // 29
    virtual void meterSettingsSlot30() = 0;
    virtual float getPeakFallFactor(int32 meter, float a, float b) = 0; // 31
    virtual void meterSettingsSlot32() = 0;
    virtual float getPeakHoldTime(int32 meter) = 0; // 33
    static const FUID iid;
};
DECLARE_CLASS_IID(IMeterSettings, 0xF1EF594E, 0xA8AC415D, 0x9FBEA250, 0x75232C61)

class IScaleMapper : public FUnknown
{
public:
    virtual void scaleMapperSlot3() = 0;
    virtual void scaleMapperSlot4() = 0;
    virtual void scaleMapperSlot5() = 0;
    virtual double mapToPosition(int32 viewType, double level) = 0; // 6
    static const FUID iid;
};
DECLARE_CLASS_IID(IScaleMapper, 0x50295406, 0xB39641EF, 0xBE60917A, 0x73DF3A6E)

class IMeterBitmapService : public FUnknown
{
public:
    virtual FUnknown* createForeground(const ViewRect& r, int32 type, int32 thickness, TBool horizontal) = 0; // 3
    virtual FUnknown* createBackground(const ViewRect& r, int32 type, TBool horizontal) = 0;                  // 4
    virtual void meterBitmapSlot5() = 0;
    virtual FUnknown* createSingle(const ViewRect& r) = 0; // 6
    static const FUID iid;
};
DECLARE_CLASS_IID(IMeterBitmapService, 0x66F71833, 0x97044614, 0xA9CC45E5, 0x80ACBE16)

class IBitmapGeometry : public FUnknown
{
public:
    virtual tresult getSize(double& width, double& height) = 0; // 3
    static const FUID iid;
};
DECLARE_CLASS_IID(IBitmapGeometry, 0x742D5252, 0x57414C5E, 0xBF18C465, 0x9BE2BDC1)

class IBitmapExtent : public FUnknown
{
public:
    virtual void bitmapExtentSlot3() = 0;
    virtual void bitmapExtentSlot4() = 0;
    virtual tresult getExtent(int32& width, int32& height) = 0; // 5: 0 when valid
    static const FUID iid;
};
DECLARE_CLASS_IID(IBitmapExtent, 0x09DBE9EC, 0x892B4721, 0x908E53D0, 0x941493DF)

class IViewAttributes : public FUnknown
{
public:
    virtual void viewAttributesSlot3() = 0;
    virtual void viewAttributesSlot4() = 0;
    virtual void viewAttributesSlot5() = 0;
    virtual void viewAttributesSlot6() = 0;
    virtual void viewAttributesSlot7() = 0;
    virtual void viewAttributesSlot8() = 0;
    virtual void viewAttributesSlot9() = 0;
    virtual void viewAttributesSlot10() = 0;
    virtual const char8* getString(const char8* name) = 0; // 11: null when absent
    static const FUID iid;
};
DECLARE_CLASS_IID(IViewAttributes, 0xA06AB933, 0xE27C4279, 0xA90D7BCB, 0x0CB10074)

//------------------------------------------------------------------------
// Values the host creates for the controller, and the controller's interfaces the host calls.
class IPlugController;
class IValueStringRepresentation;

class IHostValue : public FUnknown
{
public:
    virtual void hostValueSlot3() = 0;
    virtual void hostValueSlot4() = 0;
    virtual void hostValueSlot5() = 0;
    virtual void hostValueSlot6() = 0;
    virtual void hostValueSlot7() = 0;
    virtual void hostValueSlot8() = 0;
    virtual void setController(IPlugController* owner, int32 id) = 0; // 9
    virtual void hostValueSlot10() = 0;
    virtual int32 getId() = 0; // 11
    virtual void hostValueSlot12() = 0;
    virtual void hostValueSlot13() = 0;
    virtual void hostValueSlot14() = 0;
    virtual void hostValueSlot15() = 0;
    virtual void hostValueSlot16() = 0;
    virtual tresult getString(char16* buffer, int32* size) = 0; // 17: size in characters
    virtual void setString(const char16* text, int32 flag) = 0; // 18
    virtual void setInt(int32 value, int32 flag) = 0;           // 19
    virtual void setIntMin(int32 value) = 0;                    // 20
    virtual void setIntMax(int32 value) = 0;                    // 21
    virtual void hostValueSlot22() = 0;
    virtual void setPlain(int32 flag, float value) = 0; // 23
    virtual void hostValueSlot24() = 0;
    virtual void hostValueSlot25() = 0;
    virtual void setMin(float value) = 0;                    // 26
    virtual void setMax(float value) = 0;                    // 27
    virtual float getNormalized() = 0;                       // 28
    virtual void setNormalized(int32 flag, float value) = 0; // 29
};

// The same object's further operations, asked for with queryInterface.
class IHostValueOptions : public IHostValue
{
public:
    virtual void hostValueSlot30() = 0;
    virtual void hostValueSlot31() = 0;
    virtual void setDefault(float value) = 0; // 32
    virtual void hostValueSlot33() = 0;
    virtual void hostValueSlot34() = 0;
    virtual void setOption(uint32 bit, TBool on) = 0; // 35
    static const FUID iid;
};
DECLARE_CLASS_IID(IHostValueOptions, 0xF9EAE1EF, 0x63734416, 0x856041B3, 0x8BF8BB15)

class IHostValueMeter : public FUnknown
{
public:
    virtual void setMeterFlag(int32 flag) = 0; // 3
    static const FUID iid;
};
DECLARE_CLASS_IID(IHostValueMeter, 0x5FAA79E6, 0x1AD74E60, 0x83C7F1E3, 0x8AEB62CA)

class IHostValueStringHolder : public FUnknown
{
public:
    virtual void setStringRepresentation(IValueStringRepresentation* representation) = 0; // 3
    static const FUID iid;
};
DECLARE_CLASS_IID(IHostValueStringHolder, 0x12DEC1ED, 0x2E634D77, 0x976DD55B, 0x472A38FF)

// The host's holder of a value's text: the controller hands it the display text.
class IValueTextReceiver : public FUnknown
{
public:
    virtual void setText(const char16* text) = 0; // 3
};

class IPlugController : public FUnknown
{
public:
    virtual tresult getValueByName(const char8* name, IHostValue** value) = 0; // 3
    virtual tresult valueEdited(IHostValue* value, uint32 id) = 0;             // 4
    static const FUID iid;
};
DECLARE_CLASS_IID(IPlugController, 0x0466B781, 0xA08611D5, 0xBECC00A0, 0xC9A636BC)

class IPlugController2 : public FUnknown
{
public:
    virtual tresult plugController2Call(void* arg) = 0; // 3
    static const FUID iid;
};
DECLARE_CLASS_IID(IPlugController2, 0x4C9BD1A4, 0x68FB4D77, 0x8DEDCCF9, 0x4F01415D)

class IPlugController3 : public FUnknown
{
public:
    virtual tresult plugController3Call(void* arg) = 0; // 3
    static const FUID iid;
};
DECLARE_CLASS_IID(IPlugController3, 0xE9E38A1D, 0xBFA84FBF, 0xA35B5F00, 0x907B66E1)

class IPlugController4 : public FUnknown
{
public:
    virtual tresult beginValueEdit(IHostValue* value) = 0; // 3
    virtual tresult endValueEdit(IHostValue* value) = 0;   // 4
    static const FUID iid;
};
DECLARE_CLASS_IID(IPlugController4, 0xFD4E5827, 0xC8984306, 0xB49DF0B7, 0x8A80AF22)

class IViewBuilder : public FUnknown
{
public:
    // The host hands a view-attributes object in `inOut`; a built view's host view comes back in it.
    virtual tresult createSubView(const char8* name, ViewRect size, FUnknown** inOut) = 0; // 3
    static const FUID iid;
};
DECLARE_CLASS_IID(IViewBuilder, 0x53D29FE8, 0xED00400B, 0x9E6D4DD8, 0x0444B116)

class IIdleHandler : public FUnknown
{
public:
    virtual void onIdle() = 0; // 3
    static const FUID iid;
};
DECLARE_CLASS_IID(IIdleHandler, 0xD70BBB58, 0xC80545B8, 0xAB826418, 0x0B673A84)

class IIdleRegistry : public FUnknown
{
public:
    virtual void idleRegistrySlot3() = 0;
    virtual tresult registerIdleHandler(IIdleHandler* handler) = 0;   // 4
    virtual tresult unregisterIdleHandler(IIdleHandler* handler) = 0; // 5
    static const FUID iid;
};
DECLARE_CLASS_IID(IIdleRegistry, 0x9E871847, 0xF1AB4776, 0xA06C6F94, 0x5D7FDD4D)

class IValueStringRepresentation : public FUnknown
{
public:
    virtual tresult valueToString(IHostValue* value, IValueTextReceiver* receiver) = 0; // 3
    virtual tresult stringToValue(IHostValue* value, const char16* text) = 0;           // 4
    static const FUID iid;
};
DECLARE_CLASS_IID(IValueStringRepresentation, 0xBCF128DB, 0xB1E4433C, 0xB899ADB4, 0xF76493CB)

//------------------------------------------------------------------------
class ISkinService : public FUnknown
{
public:
    virtual tresult getColor(const char8* name, uint32& color) = 0; // 3
    virtual void skinServiceSlot4() = 0;
    virtual tresult loadSkin(void* bundle, const char16* fileName) = 0; // 5
    virtual void skinServiceSlot6() = 0;
    virtual void skinServiceSlot7() = 0;
    virtual void skinServiceSlot8() = 0;
    virtual void skinServiceSlot9() = 0;
    virtual void skinServiceSlot10() = 0;
    virtual tresult getBitmap(const char8* name, FUnknown** bitmap) = 0; // 11
    virtual void skinServiceSlot12() = 0;
    virtual tresult createView(const char8* name, IPlugController* controller, IPlugView** view) = 0; // 13
    static const FUID iid;
};
DECLARE_CLASS_IID(ISkinService, 0x8C0DB48D, 0x2E974D18, 0x98529AE4, 0xF712ACE7)

class IColorTransform : public FUnknown
{
public:
    virtual int32 getTransformId() = 0;     // 3
    virtual void colorTransformSlot4() = 0; // 4
    virtual void colorTransformSlot5() = 0; // 5
    virtual void colorTransformSlot6() = 0; // 6
    virtual int32 getParameter1() = 0;      // 7
    virtual int32 getParameter2() = 0;      // 8
    virtual int32 getParameter3() = 0;      // 9
    virtual int32 colorTransformQuery10() = 0;
    virtual int32 colorTransformQuery11() = 0;
    virtual int32 colorTransformQuery12() = 0;
    virtual int32 colorTransformQuery13() = 0;
    virtual int32 colorTransformQuery14() = 0;
    virtual int32 colorTransformQuery15() = 0;
    virtual TBool isActive() = 0; // 16
    static const FUID iid;
};
DECLARE_CLASS_IID(IColorTransform, 0xAF98CAB6, 0x6FAA47CE, 0x86F84A9D, 0x27988C42)

class IColorGroupInformation : public FUnknown
{
public:
    virtual tresult applyColorGroup(FUnknown* group) = 0;                       // 3
    virtual tresult getTransformCount(int32& count) = 0;                        // 4
    virtual tresult getTransform(int32 index, IColorTransform** transform) = 0; // 5
    static const FUID iid;
};
DECLARE_CLASS_IID(IColorGroupInformation, 0x7D04B5FD, 0xE2C943FB, 0x9CE95C90, 0x38994D1C)

} // namespace Calvereth
