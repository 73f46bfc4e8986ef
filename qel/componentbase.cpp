#include "qel/componentbase.h"

#include "base/iptr.h"
#include "base/wideliteraltable.h"

namespace Calvereth {
namespace Qel {

ComponentBase::ComponentBase() = default;

ComponentBase::~ComponentBase()
{
    // A host that never called terminate must not leave its context or peer with our references.
    if (hostContext)
        hostContext->release();
    if (peerConnection)
        peerConnection->release();
}

tresult ComponentBase::queryInterface(const TUID iid, void** obj)
{
    if (obj) {
        if (iidEqual(iid, IPluginBase::iid)) {
            addRef();
            *obj = static_cast<IPluginBase*>(this);
            return kResultOk;
        }
        if (iidEqual(iid, IConnectionPoint::iid)) {
            addRef();
            *obj = static_cast<IConnectionPoint*>(this);
            return kResultOk;
        }
    }
    return FObject::queryInterface(iid, obj);
}

tresult ComponentBase::receiveText(const char*)
{
    return kResultOk;
}

tresult ComponentBase::initialize(FUnknown* context)
{
    if (hostContext)
        return kResultFalse;
    hostContext = context;
    if (hostContext)
        hostContext->addRef();
    return kResultOk;
}

tresult ComponentBase::terminate()
{
    if (hostContext) {
        hostContext->release();
        hostContext = nullptr;
    }
    if (peerConnection) {
        // Cleared before the call so that the peer's answering disconnect finds us already apart.
        IConnectionPoint* peer = peerConnection;
        peerConnection = nullptr;
        peer->disconnect(static_cast<IConnectionPoint*>(this));
        peer->release();
    }
    return kResultOk;
}

tresult ComponentBase::connect(IConnectionPoint* other)
{
    if (!other)
        return kInvalidArgument;
    if (peerConnection)
        return kResultFalse;
    peerConnection = other;
    peerConnection->addRef();
    return kResultOk;
}

tresult ComponentBase::disconnect(IConnectionPoint* other)
{
    if (peerConnection && peerConnection == other) {
        peerConnection = nullptr;
        other->release();
        return kResultOk;
    }
    return kResultFalse;
}

tresult ComponentBase::notify(IMessage* message)
{
    if (!message)
        return kInvalidArgument;
    const char* id = message->getMessageId();
    if (!id || std::strcmp(id, "TextMessage") != 0)
        return kResultFalse;
    IMessageAttributes* attributes = message->getAttributes();
    if (!attributes)
        return kResultFalse;
    char16_t text[256] = {};
    if (attributes->getString("Text", text, 256) != kResultOk)
        return kResultFalse;
    text[255] = 0; // a host that fills the buffer whole leaves no terminator
    char narrow[256] = {};
    for (int i = 0; i < 255 && text[i]; ++i)
        narrow[i] = text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return receiveText(narrow);
}

IMessage* ComponentBase::allocateMessage()
{
    if (!hostContext)
        return nullptr;
    IHostApplication* asked = nullptr;
    if (hostContext->queryInterface(IHostApplication::iid, reinterpret_cast<void**>(&asked)) != kResultOk || !asked)
        return nullptr;
    // Given back whatever the host's createInstance throws.
    IPtr<IHostApplication> host(asked, false);
    IMessage* message = nullptr;
    if (host->createInstance(IMessage::iid, IMessage::iid, reinterpret_cast<void**>(&message)) != kResultOk)
        message = nullptr;
    return message;
}

tresult ComponentBase::sendMessage(IMessage* message)
{
    if (!message || !peerConnection)
        return kResultFalse;
    return peerConnection->notify(message);
}

tresult ComponentBase::sendTextMessage(const char* text)
{
    IPtr<IMessage> message(allocateMessage(), false);
    if (!message)
        return kResultFalse;
    message->setMessageId("TextMessage");
    if (!message->getMessageId())
        return kOutOfMemory;
    // The table keys on the text's address: the caller passes a literal.
    if (IMessageAttributes* attributes = message->getAttributes())
        if (const tresult filled = attributes->setString("Text", wideLiteral(text ? text : "")); filled != kResultOk)
            return filled;
    return sendMessage(message.get());
}

} // namespace Qel
} // namespace Calvereth
