#include "pluginset/common/qel/views/frameservices.h"

#include "pluginset/common/qel/views/colorgroups.h"

#include <new>
#include <algorithm>

namespace Calvereth {
namespace Frame {

namespace {

constexpr int32 kServiceCount = 7;
const FUID kServiceIds[kServiceCount] = {
    FUID(0x1464F3B4, 0x08D64A65, 0xAFB8066A, 0x898649A4), FUID(0xD42DB561, 0xB599449C, 0xB01C8D1C, 0x0BD679D8),
    FUID(0x1BC82887, 0x0EE84A33, 0x8981D81E, 0x7B58EC93), FUID(0x43634416, 0x41C14C3B, 0x85593DE8, 0xAA53E652),
    FUID(0xF5246D56, 0x86544D60, 0xB026AFB5, 0x7B697B37), FUID(0x5EE0477C, 0xE17D4CEB, 0xBB19AEF5, 0xE66954B8),
    FUID(0x8092A692, 0xD3AA4476, 0x8C4C4917, 0xC1BFBE98)};
constexpr int32 kFrameSystemIndex = 2;
constexpr int32 kUpdateHandlerIndex = 4;
constexpr int32 kOptionalIndex = 6;

int32 gUserCount = 0;
IFrameHost* gFrameHost = nullptr;
FUnknown* gServices[kServiceCount] = {};

} // namespace

void* askService(IFrameHost* host, const TUID iid)
{
    void* obj = nullptr;
    const tresult got = host ? host->getService(iid, &obj) : kResultFalse;
    if (got == kOutOfMemory)
        throw std::bad_alloc();
    return got == kResultOk ? obj : nullptr;
}

bool initFrameServices(FUnknown* context)
{
    if (gUserCount > 0) {
        ++gUserCount;
        return true;
    }
    if (context) {
        if (context->queryInterface(IFrameHost::iid, reinterpret_cast<void**>(&gFrameHost)) != kResultOk) {
            gFrameHost = nullptr;
            return false;
        }
    }
    if (!gFrameHost)
        return false;
    gUserCount = 1;
    try {
        for (int32 i = 0; i < kServiceCount; ++i) {
            gServices[i] = static_cast<FUnknown*>(askService(gFrameHost, kServiceIds[i]));
        }
    } catch (...) {
        // What the host throws leaves none of its services held.
        exitFrameServices();
        throw;
    }
    FObject::setUpdateHandler(static_cast<IUpdateHandler*>(gServices[kUpdateHandlerIndex]));
    for (int32 i = 0; i < kServiceCount; ++i) {
        if (i != kOptionalIndex && !gServices[i]) {
            exitFrameServices();
            return false;
        }
    }
    return true;
}

void exitFrameServices()
{
    if (gUserCount <= 0)
        return;
    if (--gUserCount > 0)
        return;
    if (FObject::getUpdateHandler() == static_cast<IUpdateHandler*>(gServices[kUpdateHandlerIndex]))
        FObject::setUpdateHandler(nullptr);
    for (int32 i = 0; i < kServiceCount; ++i) {
        if (gServices[i])
            gServices[i]->release();
        gServices[i] = nullptr;
    }
    if (gFrameHost)
        gFrameHost->release();
    gFrameHost = nullptr;
}

int32 getFrameServicesUserCount()
{
    return gUserCount;
}

IFrameHost* getFrameHost()
{
    return gFrameHost;
}

IFrameSystem* getFrameSystem()
{
    return static_cast<IFrameSystem*>(gServices[kFrameSystemIndex]);
}

FUnknown* getFrameService(int32 index)
{
    return index >= 0 && index < kServiceCount ? gServices[index] : nullptr;
}

//------------------------------------------------------------------------
View::View(const ViewRect& size) : CPluginView(&size) {}

tresult View::queryInterface(const TUID iid, void** obj)
{
    if (obj) {
        if (iidEqual(iid, IHostViewClient::iid)) {
            addRef();
            *obj = static_cast<IHostViewClient*>(this);
            return kResultOk;
        }
        if (iidEqual(iid, IHostViewMouseEvent::iid)) {
            addRef();
            *obj = static_cast<IHostViewMouseEvent*>(this);
            return kResultOk;
        }
    }
    return CPluginView::queryInterface(iid, obj);
}

int32 View::drawView(IDrawContext*, const ViewRect&)
{
    return kResultOk;
}

int32 View::mouseDown(int32, int32)
{
    return kResultFalse;
}

IHostView* View::createHostView()
{
    if (hostView)
        return nullptr;
    hostView = getHostService<IHostView>();
    if (hostView) {
        hostView->setClient(static_cast<IHostViewClient*>(this));
        hostViewCreated();
        // The host view now holds the view; the reference it was created with goes. The host view's
        // own reference passes to the caller, who hands it to the host.
        release();
    }
    return hostView;
}

void View::invalidateRect(const ViewRect& r)
{
    if (hostView)
        hostView->invalidRect(r);
}

int32 View::isMouseButtonDown()
{
    int32 down = 0;
    if (hostView && hostView->isMouseButtonDown(down) != kResultOk)
        down = 0;
    return down;
}

void View::getMousePosition(int32& x, int32& y)
{
    x = y = 0;
    if (hostView && hostView->getMousePosition(x, y) != kResultOk)
        x = y = 0;
}

//------------------------------------------------------------------------
MouseCaptureScope::MouseCaptureScope(View& v) : view(v)
{
    capture(true);
}

MouseCaptureScope::~MouseCaptureScope()
{
    capture(false);
}

void MouseCaptureScope::capture(bool state)
{
    IHostView* host = view.getHostView();
    if (!host)
        return;
    IHostViewMouseCapture* capture = nullptr;
    if (host->queryInterface(IHostViewMouseCapture::iid, reinterpret_cast<void**>(&capture)) != kResultOk || !capture)
        return;
    capture->setMouseCapture(state);
    capture->release();
}

//------------------------------------------------------------------------
int32 ExampleView::drawView(IDrawContext* context, const ViewRect& updateRect)
{
    if (!context)
        return kResultOk;
    ViewRect r = getLocalRect();
    ViewRect clip(std::max(r.left, updateRect.left), std::max(r.top, updateRect.top),
                  std::min(r.right, updateRect.right), std::min(r.bottom, updateRect.bottom));
    context->setFillColor(colorWhite, 1.f);
    context->drawRect(clip, 1);
    context->setLineColor(colorBlack, 1, 1.f);
    context->drawRect(r, 0);
    context->setFontColor(colorRed);
    context->drawString(u"Hello World!", r, 0, 0);
    return kResultOk;
}

int32 ExampleView::mouseDown(int32 x, int32 y)
{
    return trackMouseRedrawing(x, y);
}

int32 View::trackMouseRedrawing(int32 x, int32 y)
{
    MouseCaptureScope scope(*this);
    int32 lastX = x, lastY = y;
    IFrameSystem* system = getFrameSystem();
    while (system && isMouseButtonDown() && system->trackMouseStep()) {
        int32 nx = 0, ny = 0;
        getMousePosition(nx, ny);
        if (nx != lastX || ny != lastY) {
            invalidateRect(getLocalRect());
            lastX = nx;
            lastY = ny;
        }
    }
    return kResultOk;
}

} // namespace Frame
} // namespace Calvereth
