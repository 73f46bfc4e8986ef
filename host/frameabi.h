// The host's own view of the drawing side of the boundary: the frame host and its services, host
// views, draw context, bitmaps, skin service, value objects and the controller's drawing interfaces,
// written from the slot tables on this side of the border. Slots this host never fills are
// empty by default, so its objects override only what they do.
#pragma once

#include "host/qelabi.h"

namespace qelhost {

using char8 = char;
using TBool = std::uint8_t;

namespace iid {
// Words written most significant byte first.
constexpr Uid make(uint32 a, uint32 b, uint32 c, uint32 d)
{
    Uid u{};
    const uint32 w[4] = {a, b, c, d};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k)
            u.b[i * 4 + k] = static_cast<std::uint8_t>(w[i] >> (24 - 8 * k));
    return u;
}
inline constexpr Uid IFrameHost = make(0xEEC89683, 0x80DB4336, 0x9177273E, 0x138A763B);
inline constexpr Uid HeldService1 = make(0x1464F3B4, 0x08D64A65, 0xAFB8066A, 0x898649A4);
inline constexpr Uid HeldService2 = make(0xD42DB561, 0xB599449C, 0xB01C8D1C, 0x0BD679D8);
inline constexpr Uid IFrameSystem = make(0x1BC82887, 0x0EE84A33, 0x8981D81E, 0x7B58EC93);
inline constexpr Uid HeldService4 = make(0x43634416, 0x41C14C3B, 0x85593DE8, 0xAA53E652);
inline constexpr Uid IUpdateHandler = make(0xF5246D56, 0x86544D60, 0xB026AFB5, 0x7B697B37);
inline constexpr Uid HeldService6 = make(0x5EE0477C, 0xE17D4CEB, 0xBB19AEF5, 0xE66954B8);
inline constexpr Uid OptionalService7 = make(0x8092A692, 0xD3AA4476, 0x8C4C4917, 0xC1BFBE98);
inline constexpr Uid IHostView = make(0xFE89F65F, 0xC2784099, 0xAD9C9424, 0xA61BC938);
inline constexpr Uid IHostViewClient = make(0x3FD38672, 0xA1AF419C, 0xAD4952AF, 0x0E5667E1);
inline constexpr Uid IHostViewMouseCapture = make(0xC20ABAD5, 0x03D54462, 0x87B7D4B2, 0x1E78DCBB);
inline constexpr Uid IMeterSettings = make(0xF1EF594E, 0xA8AC415D, 0x9FBEA250, 0x75232C61);
inline constexpr Uid IScaleMapper = make(0x50295406, 0xB39641EF, 0xBE60917A, 0x73DF3A6E);
inline constexpr Uid IMeterBitmapService = make(0x66F71833, 0x97044614, 0xA9CC45E5, 0x80ACBE16);
inline constexpr Uid IColorGroupInformation = make(0x7D04B5FD, 0xE2C943FB, 0x9CE95C90, 0x38994D1C);
inline constexpr Uid IBitmapExtent = make(0x09DBE9EC, 0x892B4721, 0x908E53D0, 0x941493DF);
inline constexpr Uid IViewAttributes = make(0xA06AB933, 0xE27C4279, 0xA90D7BCB, 0x0CB10074);
inline constexpr Uid ISkinService = make(0x8C0DB48D, 0x2E974D18, 0x98529AE4, 0xF712ACE7);
inline constexpr Uid IIdleRegistry = make(0x9E871847, 0xF1AB4776, 0xA06C6F94, 0x5D7FDD4D);
inline constexpr Uid IntValue = make(0x037B1E33, 0xF3644539, 0x92F209B8, 0x2602C80B);
inline constexpr Uid RangeValue = make(0x6120B9B1, 0x7B6444D5, 0xA6FFFC83, 0xC0E7C1C7);
inline constexpr Uid BoolValue = make(0xD2D767F5, 0xA3B74B44, 0x8A8A83FD, 0x04C1B489);
inline constexpr Uid StringValue = make(0x96512EB9, 0x2DE84960, 0xB2684A13, 0x1CF7C5F8);
inline constexpr Uid IHostValueOptions = make(0xF9EAE1EF, 0x63734416, 0x856041B3, 0x8BF8BB15);
inline constexpr Uid IHostValueMeter = make(0x5FAA79E6, 0x1AD74E60, 0x83C7F1E3, 0x8AEB62CA);
inline constexpr Uid IHostValueStringHolder = make(0x12DEC1ED, 0x2E634D77, 0x976DD55B, 0x472A38FF);
inline constexpr Uid IPlugController = make(0x0466B781, 0xA08611D5, 0xBECC00A0, 0xC9A636BC);
inline constexpr Uid IViewBuilder = make(0x53D29FE8, 0xED00400B, 0x9E6D4DD8, 0x0444B116);
inline constexpr Uid IIdleHandler = make(0xD70BBB58, 0xC80545B8, 0xAB826418, 0x0B673A84);
inline constexpr Uid IValueStringRepresentation = make(0xBCF128DB, 0xB1E4433C, 0xB899ADB4, 0xF76493CB);
// The host's own: its editor view behind the plug view it hands out.
inline constexpr Uid HostEditorView = make(0x4E4F5252, 0x494B4544, 0x49544F52, 0x56494557);
} // namespace iid

struct FramePoint
{
    int32 x, y;
};

struct IFrameHost : FUnknown
{
    virtual tresult getService(const std::uint8_t* iid, void** obj) = 0;
};

struct IFrameSystem : FUnknown
{
    virtual TBool trackMouseStep() = 0;
    virtual void slot4() {}
    virtual void slot5() {}
    virtual void slot6() {}
    virtual void slot7() {}
    virtual void slot8() {}
    virtual void slot9() {}
    virtual void slot10() {}
    virtual void slot11() {}
    virtual void slot12() {}
    virtual void slot13() {}
    virtual int32 getTickCount() = 0;
};

struct IDependent : FUnknown
{
    virtual void update(FUnknown* changed, int32 message) = 0;
};

struct IUpdateHandler : FUnknown
{
    virtual tresult addDependent(FUnknown* object, IDependent* dependent) = 0;
    virtual tresult removeDependent(FUnknown* object, IDependent* dependent) = 0;
    virtual tresult triggerUpdates(FUnknown* object, int32 message) = 0;
    virtual tresult deferUpdates(FUnknown* object, int32 message) = 0;
};

struct IDrawContext : FUnknown
{
    virtual void setLineColor(uint32 color, int32 width, float alpha) = 0;
    virtual void setFillColor(uint32 color, float alpha) = 0;
    virtual void setFont(const char16* name, int32 size, int32 style, float scale) = 0;
    virtual void slot6() {}
    virtual void setFontColor(uint32 color) = 0;
    virtual void drawLine(const FramePoint& from, const FramePoint& to) = 0;
    virtual void drawRect(const ViewRect& rect, int32 filled) = 0;
    virtual void slot10() {}
    virtual void slot11() {}
    virtual void slot12() {}
    virtual void drawString(const char16* text, const ViewRect& rect, int32 align, int32 flags) = 0;
    virtual void slot14() {}
    virtual void slot15() {}
    virtual void slot16() {}
    virtual void slot17() {}
    virtual void drawBitmap(FUnknown* bitmap, const ViewRect& source, const ViewRect& destination) = 0;
};

struct IHostViewClient : FUnknown
{
    virtual int32 draw(IDrawContext* context, const ViewRect& updateRect) = 0;
    virtual int32 onMouseDown(int32 x, int32 y) = 0;
};

struct IHostView : FUnknown
{
    virtual tresult setClient(IHostViewClient* client) = 0;
    virtual tresult slot4(const ViewRect& rect) = 0;
    virtual tresult invalidRect(const ViewRect& rect) = 0;
    virtual tresult isMouseButtonDown(int32& down) = 0;
    virtual tresult getMousePosition(int32& x, int32& y) = 0;
    virtual tresult slot8(FUnknown** attributes) = 0;
};

struct IHostViewMouseCapture : FUnknown
{
    virtual tresult setMouseCapture(TBool state) = 0;
};

struct IBitmapExtent : FUnknown
{
    virtual void slot3() {}
    virtual void slot4() {}
    virtual tresult getExtent(int32& width, int32& height) = 0;
};

struct IViewAttributes : FUnknown
{
    virtual void slot3() {}
    virtual void slot4() {}
    virtual void slot5() {}
    virtual void slot6() {}
    virtual void slot7() {}
    virtual void slot8() {}
    virtual void slot9() {}
    virtual void slot10() {}
    virtual const char8* getString(const char8* name) = 0;
};

struct IMeterSettings : FUnknown
{
    virtual void slot3() {}
    virtual void slot4() {}
    virtual void slot5() {}
    virtual void slot6() {}
    virtual void slot7() {}
    virtual void slot8() {}
    virtual void slot9() {}
    virtual void slot10() {}
    virtual void slot11() {}
    virtual void slot12() {}
    virtual void slot13() {}
    virtual void slot14() {}
    virtual void slot15() {}
    virtual void slot16() {}
    virtual void slot17() {}
    virtual void slot18() {}
    virtual void slot19() {}
    virtual void slot20() {}
    virtual void slot21() {}
    virtual void slot22() {}
    virtual void slot23() {}
    virtual void slot24() {}
    virtual void slot25() {}
    virtual void slot26() {}
    virtual void slot27() {}
    virtual void slot28() {}
    virtual float getFallFactor(int32 meter, float a, float b) = 0;
    virtual void slot30() {}
    virtual float getPeakFallFactor(int32 meter, float a, float b) = 0;
    virtual void slot32() {}
    virtual float getPeakHoldTime(int32 meter) = 0;
};

struct IScaleMapper : FUnknown
{
    virtual void slot3() {}
    virtual void slot4() {}
    virtual void slot5() {}
    virtual double mapToPosition(int32 viewType, double level) = 0;
};

struct IMeterBitmapService : FUnknown
{
    virtual FUnknown* createForeground(const ViewRect& r, int32 type, int32 thickness, TBool horizontal) = 0;
    virtual FUnknown* createBackground(const ViewRect& r, int32 type, TBool horizontal) = 0;
    virtual void slot5() {}
    virtual FUnknown* createSingle(const ViewRect& r) = 0;
};

struct IColorTransform : FUnknown
{};

struct IColorGroupInformation : FUnknown
{
    virtual tresult applyColorGroup(FUnknown* group) = 0;
    virtual tresult getTransformCount(int32& count) = 0;
    virtual tresult getTransform(int32 index, IColorTransform** transform) = 0;
};

struct IPlugController;
struct IValueStringRepresentation;

struct IHostValue : FUnknown
{
    virtual void slot3() {}
    virtual void slot4() {}
    virtual void slot5() {}
    virtual void slot6() {}
    virtual void slot7() {}
    virtual void slot8() {}
    virtual void setController(IPlugController* owner, int32 id) = 0;
    virtual void slot10() {}
    virtual int32 getId() = 0;
    virtual void slot12() {}
    virtual void slot13() {}
    virtual void slot14() {}
    virtual void slot15() {}
    virtual void slot16() {}
    virtual tresult getString(char16* buffer, int32* size) = 0;
    virtual void setString(const char16* text, int32 flag) = 0;
    virtual void setInt(int32 value, int32 flag) = 0;
    virtual void setIntMin(int32 value) = 0;
    virtual void setIntMax(int32 value) = 0;
    virtual void slot22() {}
    virtual void setPlain(int32 flag, float value) = 0;
    virtual void slot24() {}
    virtual void slot25() {}
    virtual void setMin(float value) = 0;
    virtual void setMax(float value) = 0;
    virtual float getNormalized() = 0;
    virtual void setNormalized(int32 flag, float value) = 0;
};

struct IHostValueOptions : IHostValue
{
    virtual void slot30() {}
    virtual void slot31() {}
    virtual void setDefault(float value) = 0;
    virtual void slot33() {}
    virtual void slot34() {}
    virtual void setOption(uint32 bit, TBool on) = 0;
};

struct IHostValueMeter : FUnknown
{
    virtual void setMeterFlag(int32 flag) = 0;
};

struct IValueTextReceiver : FUnknown
{
    virtual void setText(const char16* text) = 0;
};

struct IHostValueStringHolder : FUnknown
{
    virtual void setStringRepresentation(IValueStringRepresentation* representation) = 0;
};

struct IPlugController : FUnknown
{
    virtual tresult getValueByName(const char8* name, IHostValue** value) = 0;
    virtual tresult valueEdited(IHostValue* value, uint32 id) = 0;
};

struct IViewBuilder : FUnknown
{
    virtual tresult createSubView(const char8* name, ViewRect size, FUnknown** inOut) = 0;
};

struct IIdleHandler : FUnknown
{
    virtual void onIdle() = 0;
};

struct IIdleRegistry : FUnknown
{
    virtual void slot3() {}
    virtual tresult registerIdleHandler(IIdleHandler* handler) = 0;
    virtual tresult unregisterIdleHandler(IIdleHandler* handler) = 0;
};

struct IValueStringRepresentation : FUnknown
{
    virtual tresult valueToString(IHostValue* value, IValueTextReceiver* receiver) = 0;
    virtual tresult stringToValue(IHostValue* value, const char16* text) = 0;
};

struct ISkinService : FUnknown
{
    virtual tresult getColor(const char8* name, uint32& color) = 0;
    virtual void slot4() {}
    virtual tresult loadSkin(void* bundle, const char16* fileName) = 0;
    virtual void slot6() {}
    virtual void slot7() {}
    virtual void slot8() {}
    virtual void slot9() {}
    virtual void slot10() {}
    virtual tresult getBitmap(const char8* name, FUnknown** bitmap) = 0;
    virtual void slot12() {}
    virtual tresult createView(const char8* name, IPlugController* controller, IPlugView** view) = 0;
};

} // namespace qelhost
