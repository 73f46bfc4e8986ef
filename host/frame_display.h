// What a session needs of the drawing services: the frame host the controller starts its display
// on, idle time, and the editor drawn into SVG at the end of a run.
#pragma once

#include "host/frame_host.h"

#include <string>

namespace qelhost {

// The bundle's resources folder, from the path of its binary (…/Contents/<arch>/name.so).
std::string bundleResourceDirectory(const std::string& binaryPath);

// One session's side of the drawing services. The plug-in takes the frame services of the first
// controller's context for the whole process and keeps them until its last controller is gone, so
// every display alive at once shares one frame host (its clock, update handler, idle registry and
// skin): the first display makes it, with its application and resources folder, and the last one
// shuts it down; the plug-in's references keep it, and nothing it points to, alive past that.
// Made and destroyed on the main thread, and used there or on a thread standing in for it (a
// session's audio thread while it runs the display).
class DisplayHost
{
public:
    DisplayHost(HostApplication* app, const std::string& binaryPath);
    ~DisplayHost();
    DisplayHost(const DisplayHost&) = delete;
    DisplayHost& operator=(const DisplayHost&) = delete;

    // The controller's context: the frame host, which also answers as the host application.
    FUnknown* context() { return static_cast<IFrameHost*>(frame_); }
    FrameHost& frame() { return *frame_; }
    // True when a controller takes idle time (it then asks the processor for data itself).
    bool hasIdleHandlers() const { return frame_->idleRegistry().count() > 0; }
    void idle() { frame_->idle(); }

    // Opens the controller's editor, once: the editor, whole, or null when the controller has none.
    // Throws std::bad_alloc when the view could not be built whole: when any allocation on the way
    // failed, the host's or the plug-in's (a host object then answered the plug-in kOutOfMemory, or
    // the plug-in answered it), whatever the controller then gave back. Nothing of that attempt is
    // kept, and a later call builds the view anew.
    EditorView* openEditor(IEditController* controller);
    EditorView* editor() const { return editor_; }
    // The display as SVG (opening the editor first); empty when there is no editor. Throws
    // std::bad_alloc, as openEditor does, when the editor could not be opened or drawn whole.
    std::string renderSvg(IEditController* controller);
    // The display as SVG into `svg`; false with the reason when there is none to draw. Throws
    // std::bad_alloc when either side could not have the memory to draw it whole.
    bool drawSvg(IEditController* controller, std::string& svg, std::string& error);
    // Closes this display's editor.
    void closeEditor();

private:
    FrameHost* frame_;
    IPlugView* view_ = nullptr;
    EditorView* editor_ = nullptr;
};

} // namespace qelhost
