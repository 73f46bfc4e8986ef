// Host context, peer connection and the message path of the component base, driven through the
// interface tables with the test host's own application and messages.
#include <gtest/gtest.h>

#include <string>

#include "qel/componentbase.h"
#include "qel/icomponent.h"
#include "qel_mocks.h"

using namespace qeltest;

namespace {

struct TextReceiver : ComponentBase
{
    std::string received;
    int calls = 0;
    tresult receiveText(const char* text) override
    {
        received = text;
        ++calls;
        return 7;
    }
    IConnectionPoint* point() { return this; }
    tresult init(FUnknown* context) { return callSlot<tresult, FUnknown*>(base(), 3, context); }
    tresult term() { return callSlot<tresult>(base(), 4); }
    tresult connectThroughSlot(IConnectionPoint* other, int slot = 3)
    {
        return callSlot<tresult, IConnectionPoint*>(point(), slot, other);
    }
    tresult notifyThroughSlot(qelhost::HostMessage* m) { return callSlot<tresult, void*>(point(), 5, m); }

private:
    IPluginBase* base() { return this; }
};

TEST(QelComponentBase, InterfacesLeadToTheOneObject)
{
    ComponentBase c;
    void* obj = nullptr;
    EXPECT_EQ(c.queryInterface(IConnectionPoint::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<void*>(static_cast<IConnectionPoint*>(&c)));
    // The sub-object's own FUnknown slots answer for the whole object.
    EXPECT_EQ((callSlot<tresult, const char*, void**>(obj, 0, IPluginBase::iid, &obj)), kResultOk);
    EXPECT_EQ(obj, static_cast<void*>(static_cast<IPluginBase*>(&c)));
    EXPECT_EQ((callSlot<uint32_t>(obj, 2)), 2u);
    c.release();
    // An identifier one bit away from a known one is not recognised.
    TUID almost;
    std::memcpy(almost, IConnectionPoint::iid, 16);
    almost[15] ^= 0x01;
    EXPECT_EQ(c.queryInterface(almost, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(c.getRefCount(), 1);
}

TEST(QelComponentBase, OneContextAndOnePeer)
{
    IPtr<qelhost::HostApplication> host(new qelhost::HostApplication, false),
        other(new qelhost::HostApplication, false);
    TextReceiver c, a, b;
    // A null context is stored as null, so a real one is accepted afterwards.
    EXPECT_EQ(c.init(nullptr), kResultOk);
    EXPECT_EQ(c.init(fromHost<FUnknown>(host.get())), kResultOk);
    EXPECT_EQ(c.init(fromHost<FUnknown>(other.get())), kResultFalse);
    EXPECT_EQ(host->refCount(), 2u);
    EXPECT_EQ(other->refCount(), 1u);

    EXPECT_EQ(c.connectThroughSlot(a.point()), kResultOk);
    EXPECT_EQ(c.connectThroughSlot(b.point()), kResultFalse);
    EXPECT_EQ(c.connectThroughSlot(b.point(), 4), kResultFalse); // not the peer: the peer stays
    EXPECT_EQ(c.getPeer(), a.point());
    EXPECT_EQ(c.connectThroughSlot(a.point(), 4), kResultOk);
    EXPECT_EQ(a.getRefCount(), 1);

    // Terminate tells the peer with its own connection point and lets go of peer and context.
    c.connectThroughSlot(a.point());
    a.connectThroughSlot(c.point());
    EXPECT_EQ(c.term(), kResultOk);
    EXPECT_EQ(a.getPeer(), nullptr);
    EXPECT_EQ(a.getRefCount() + c.getRefCount(), 2);
    EXPECT_EQ(host->refCount(), 1u);
    EXPECT_EQ(c.init(fromHost<FUnknown>(other.get())), kResultOk);
    EXPECT_EQ(c.term(), kResultOk);
}

TEST(QelComponentBase, NotifyPassesTextMessagesOnly)
{
    TextReceiver r;
    EXPECT_EQ(r.notifyThroughSlot(nullptr), kInvalidArgument);
    IPtr<qelhost::HostMessage> m(new qelhost::HostMessage, false);
    m->setMessageId("TextMessage");
    EXPECT_EQ(r.notifyThroughSlot(m), kResultFalse); // no text
    m->attributes().setString("Text", u"hello");
    for (const char* id : {"Other", "TextMessagex"}) {
        m->setMessageId(id);
        EXPECT_EQ(r.notifyThroughSlot(m), kResultFalse);
    }
    EXPECT_EQ(r.calls, 0);
    m->setMessageId("TextMessage");
    EXPECT_EQ(r.notifyThroughSlot(m), 7);
    EXPECT_EQ(r.received, "hello");
    // A long text reaches the receiver cut and terminated.
    m->attributes().setString("Text", std::u16string(300, u'a').c_str());
    EXPECT_EQ(r.notifyThroughSlot(m), 7);
    EXPECT_LE(r.received.size(), 255u);
    EXPECT_EQ(r.received.find_first_not_of('a'), std::string::npos);
}

TEST(QelComponentBase, MessagesGoThroughTheHostAndThePeer)
{
    IPtr<qelhost::HostApplication> host(new qelhost::HostApplication, false);
    TextReceiver sender, receiver;
    EXPECT_EQ(sender.allocateMessage(), nullptr);
    EXPECT_EQ(sender.sendTextMessage("hi"), kResultFalse);
    sender.init(fromHost<FUnknown>(host.get()));
    IMessage* m = sender.allocateMessage();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(host->refCount(), 2u); // the application reference was given back
    // Without a peer the message is not sent and stays the caller's.
    EXPECT_EQ(sender.sendMessage(m), kResultFalse);
    EXPECT_EQ(m->release(), 0u);
    sender.connectThroughSlot(receiver.point());
    EXPECT_EQ(sender.sendTextMessage("hi there"), 7);
    EXPECT_EQ(receiver.received, "hi there");
    sender.term();

    // A context that is not a host application gives no messages.
    MockUnknown<FUnknown> context;
    sender.init(&context);
    EXPECT_EQ(sender.allocateMessage(), nullptr);
    EXPECT_EQ(context.refs, 2);
    sender.term();
}

} // namespace
