// The thin layer between the controller and the host's drawing: the host's frame services taken once
// per process from the host context, and the base of the views the host draws through a host view.
#pragma once

#include "pluginset/common/qel/views/frameinterfaces.h"
#include "qel/pluginview.h"

namespace Calvereth {
namespace Frame {

// True when the services run (first call takes them, later calls only count).
bool initFrameServices(FUnknown* context);
// The last call releases everything taken.
void exitFrameServices();

int32 getFrameServicesUserCount();
IFrameHost* getFrameHost();
IFrameSystem* getFrameSystem();
// The service at position 0..6 of the start order (null when absent).
FUnknown* getFrameService(int32 index);

// Asks `host` for a service; null when there is no host or it refuses. A host that could not hand
// it out for want of memory throws std::bad_alloc, as the plug-in's own shortage does: the service
// is there, and is not to be taken as absent.
void* askService(IFrameHost* host, const TUID iid);

// Asks the frame host for a service, as askService.
template <class I>
I* getHostService()
{
    return static_cast<I*>(askService(getFrameHost(), I::iid));
}

//------------------------------------------------------------------------
class View : public CPluginView, public IHostViewClient, public IHostViewMouseEvent
{
public:
    explicit View(const ViewRect& size);

    virtual void hostViewCreated() {}
    virtual int32 drawView(IDrawContext* context, const ViewRect& updateRect);
    virtual int32 mouseDown(int32 x, int32 y);

    // IHostViewClient
    int32 draw(IDrawContext* context, const ViewRect& updateRect) override { return drawView(context, updateRect); }
    int32 onMouseDown(int32 x, int32 y) override { return mouseDown(x, y); }
    // IHostViewMouseEvent
    int32 mouseEvent1(int32, int32) override { return kResultFalse; }
    int32 mouseEvent2(int32, int32) override { return kResultFalse; }
    int32 mouseEvent3(int32, int32) override { return kResultFalse; }

    // Builds the host view and hands it this view's creation reference; null when already built or refused.
    IHostView* createHostView();
    IHostView* getHostView() const { return hostView; }
    void invalidateRect(const ViewRect& r);
    ViewRect getLocalRect() const { return ViewRect(0, 0, rect.getWidth(), rect.getHeight()); }
    int32 isMouseButtonDown();
    void getMousePosition(int32& x, int32& y);

    OBJ_METHODS(View, CPluginView)
    tresult queryInterface(const TUID iid, void** obj) override;
    uint32 addRef() override { return FObject::addRef(); }
    uint32 release() override { return FObject::release(); }

protected:
    // Captures the mouse from a press at (x, y) and redraws the view whenever it moves, until the
    // button is released or the host stops tracking.
    int32 trackMouseRedrawing(int32 x, int32 y);

    IHostView* hostView = nullptr; // not referenced: the host view owns this view
};

// Captures the mouse for a view while it lives.
class MouseCaptureScope
{
public:
    explicit MouseCaptureScope(View& view);
    ~MouseCaptureScope();
    MouseCaptureScope(const MouseCaptureScope&) = delete;
    MouseCaptureScope& operator=(const MouseCaptureScope&) = delete;

private:
    void capture(bool state);
    View& view;
};

// A sample view: white box, black frame, a greeting.
class ExampleView : public View
{
public:
    using View::View;
    int32 drawView(IDrawContext* context, const ViewRect& updateRect) override;
    int32 mouseDown(int32 x, int32 y) override;
};

} // namespace Frame
} // namespace Calvereth
