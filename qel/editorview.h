// A plug view tied to its controller, which hears of the view's attachment and end.
#pragma once

#include "qel/editcontroller.h"
#include "qel/pluginview.h"

namespace Calvereth {
namespace Qel {

class EditorView : public CPluginView
{
public:
    // Holds one reference to the controller.
    explicit EditorView(EditController* controller, const ViewRect* rect = nullptr);
    ~EditorView() override;

    EditController* getController() const { return controller; }

    void attachedToParent() override;
    void removedFromParent() override;

    OBJ_METHODS(EditorView, CPluginView)

protected:
    EditController* controller;
};

} // namespace Qel
} // namespace Calvereth
