#include "host/frame_display.h"

#include "host/outofmemory.h"

namespace qelhost {

std::string bundleResourceDirectory(const std::string& binaryPath)
{
    std::string p = binaryPath;
    for (int up = 0; up < 2; ++up) {
        auto slash = p.find_last_of('/');
        p = slash == std::string::npos ? std::string(".") : p.substr(0, slash);
    }
    return p + "/Resources";
}

namespace {
// The frame host of the displays alive now, and how many they are (main thread only).
FrameHost* gSharedFrame = nullptr;
int gDisplays = 0;
} // namespace

DisplayHost::DisplayHost(HostApplication* app, const std::string& binaryPath)
{
    if (gSharedFrame) {
        frame_ = gSharedFrame;
        frame_->addRef();
    } else {
        // Shared only once it is whole: out of memory on the way leaves no half-made frame behind.
        const std::string resources = bundleResourceDirectory(binaryPath);
        frame_ = new FrameHost(app);
        try {
            frame_->setResourceDirectory(resources);
        } catch (const std::bad_alloc&) {
            frame_->release();
            throw;
        }
        gSharedFrame = frame_;
    }
    ++gDisplays;
}

DisplayHost::~DisplayHost()
{
    closeEditor();
    if (--gDisplays == 0) {
        // The last display: the sessions ended their controllers, and with them the plug-in's view
        // services, before their displays; drop what the host still holds of the plug-in.
        frame_->shutdown();
        gSharedFrame = nullptr;
    }
    frame_->release();
}

EditorView* DisplayHost::openEditor(IEditController* controller)
{
    if (editor_ || !controller)
        return editor_;
    // A view built while either side went short may lack a part, whatever the controller answered.
    const std::uint64_t failuresBefore = memoryFailuresOnThisThread();
    IPlugView* view = controller->createView("editor");
    const bool whole = memoryFailuresOnThisThread() == failuresBefore;
    EditorView* editor = whole ? asEditorView(view) : nullptr;
    if (!editor) {
        if (view)
            view->release();
        if (!whole)
            throw std::bad_alloc();
        return nullptr;
    }
    view_ = view;
    editor_ = editor;
    return editor_;
}

std::string DisplayHost::renderSvg(IEditController* controller)
{
    EditorView* e = openEditor(controller);
    if (!e)
        return {};
    // What either side could not have while the plug-in drew is missing from the picture.
    const std::uint64_t failuresBefore = memoryFailuresOnThisThread();
    frame_->updateHandler().deliver();
    std::string svg = e->renderSvg();
    if (memoryFailuresOnThisThread() != failuresBefore)
        throw std::bad_alloc();
    return svg;
}

bool DisplayHost::drawSvg(IEditController* controller, std::string& svg, std::string& error)
{
    svg = renderSvg(controller);
    if (svg.empty()) {
        error = "the plug-in has no display to draw" +
                (frame_->skin().error().empty() ? std::string() : " (" + frame_->skin().error() + ")");
        return false;
    }
    return true;
}

void DisplayHost::closeEditor()
{
    editor_ = nullptr;
    if (view_)
        view_->release();
    view_ = nullptr;
}

} // namespace qelhost
