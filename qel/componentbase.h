// Common base of processor and controller: the host context, the one connected peer and the message path.
#pragma once

#include "base/fobject.h"
#include "qel/iconnectionpoint.h"
#include "qel/ihostapplication.h"
#include "qel/imessage.h"
#include "qel/ipluginbase.h"

namespace Calvereth {
namespace Qel {

class ComponentBase : public FObject, public IPluginBase, public IConnectionPoint
{
public:
    ComponentBase();
    ~ComponentBase() override;

    // Text of a "TextMessage" from the peer; nothing by default.
    virtual tresult receiveText(const char* text);

    // IPluginBase
    tresult initialize(FUnknown* context) override;
    tresult terminate() override;

    // IConnectionPoint
    tresult connect(IConnectionPoint* other) override;
    tresult disconnect(IConnectionPoint* other) override;
    tresult notify(IMessage* message) override;

    FUnknown* getHostContext() const { return hostContext; }
    IConnectionPoint* getPeer() const { return peerConnection; }

    // A new message from the host; the caller owns its one reference. Null without host support.
    IMessage* allocateMessage();
    // The peer's answer to the message; 1 without a message or a peer. The caller keeps its reference.
    tresult sendMessage(IMessage* message);
    // The text goes through the wide-literal table, which keeps one copy per address: pass a literal.
    tresult sendTextMessage(const char* text);

    OBJ_METHODS(ComponentBase, FObject)
    tresult queryInterface(const TUID iid, void** obj) override;
    uint32_t addRef() override { return FObject::addRef(); }
    uint32_t release() override { return FObject::release(); }

protected:
    FUnknown* hostContext = nullptr;
    IConnectionPoint* peerConnection = nullptr;
};

} // namespace Qel
} // namespace Calvereth
