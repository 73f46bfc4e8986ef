#include "qel/editorview.h"

namespace Calvereth {
namespace Qel {

EditorView::EditorView(EditController* owner, const ViewRect* rect) : CPluginView(rect), controller(owner)
{
    if (controller)
        controller->addRef();
}

EditorView::~EditorView()
{
    if (controller) {
        controller->editorDestroyed(this);
        controller->release();
    }
}

void EditorView::attachedToParent()
{
    if (controller)
        controller->editorAttached(this);
}

void EditorView::removedFromParent()
{
    if (controller)
        controller->editorRemoved(this);
}

} // namespace Qel
} // namespace Calvereth
