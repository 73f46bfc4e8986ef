#include "qel/pluginview.h"

namespace Calvereth {

CPluginView::CPluginView(const ViewRect* r)
{
    if (r)
        rect = *r;
}

tresult CPluginView::queryInterface(const TUID iid, void** obj)
{
    if (obj && iidEqual(iid, IPlugView::iid)) {
        addRef();
        *obj = static_cast<IPlugView*>(this);
        return kResultOk;
    }
    return FObject::queryInterface(iid, obj);
}

tresult CPluginView::attached(void* p, const char*)
{
    parent = p;
    attachedToParent();
    return kResultOk;
}

tresult CPluginView::removed()
{
    parent = nullptr;
    removedFromParent();
    return kResultOk;
}

tresult CPluginView::getSize(ViewRect* size)
{
    if (!size)
        return kInvalidArgument;
    *size = rect;
    return kResultOk;
}

tresult CPluginView::onSize(ViewRect* newSize)
{
    if (newSize)
        rect = *newSize;
    return kResultOk;
}

tresult CPluginView::setFrame(void* f)
{
    frame = f;
    return kResultOk;
}

} // namespace Calvereth
