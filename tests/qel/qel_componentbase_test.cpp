// Host context, peer connection and the message path of the component base, driven through the
// interface tables the host sees.
#include <gtest/gtest.h>

#include <string>

#include "base/iptr.h"
#include "qel/componentbase.h"
#include "qel/icomponent.h"
#include "qel_mocks.h"
#include "qel_slot_util.h"

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
};

// Slots of the two interface tables.
tresult initSlot(ComponentBase& c, FUnknown* ctx)
{
    return callSlot<tresult, FUnknown*>(static_cast<IPluginBase*>(&c), 3, ctx);
}
tresult termSlot(ComponentBase& c)
{
    return callSlot<tresult>(static_cast<IPluginBase*>(&c), 4);
}
tresult connectSlot(ComponentBase& c, IConnectionPoint* o)
{
    return callSlot<tresult, IConnectionPoint*>(static_cast<IConnectionPoint*>(&c), 3, o);
}
tresult disconnectSlot(ComponentBase& c, IConnectionPoint* o)
{
    return callSlot<tresult, IConnectionPoint*>(static_cast<IConnectionPoint*>(&c), 4, o);
}
tresult notifySlot(ComponentBase& c, IMessage* m)
{
    return callSlot<tresult, IMessage*>(static_cast<IConnectionPoint*>(&c), 5, m);
}

TEST(QelComponentBase, InterfaceLookupAndIdentity)
{
    ComponentBase c;
    void* obj = nullptr;
    EXPECT_EQ(c.queryInterface(IPluginBase::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<void*>(static_cast<IPluginBase*>(&c)));
    EXPECT_EQ(c.getRefCount(), 2);
    // The sub-object's own FUnknown slots lead to the one object.
    EXPECT_EQ((callSlot<uint32_t>(obj, 2)), 1u);
    EXPECT_EQ(c.queryInterface(IConnectionPoint::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<void*>(static_cast<IConnectionPoint*>(&c)));
    EXPECT_EQ((callSlot<tresult, const char*, void**>(obj, 0, FUnknown::iid, &obj)), kResultOk);
    EXPECT_EQ(c.getRefCount(), 3);
    c.release();
    c.release();

    TUID almost;
    std::memcpy(almost, IConnectionPoint::iid, 16);
    almost[15] ^= 0x01;
    obj = &c;
    EXPECT_EQ(c.queryInterface(almost, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(c.queryInterface(IComponent::iid, &obj), kNoInterface);
    EXPECT_EQ(c.getRefCount(), 1);
    EXPECT_STREQ(c.className(), "ComponentBase");
    EXPECT_TRUE(c.isTypeOf("FObject", true));
    EXPECT_FALSE(c.isTypeOf("FObject", false));
}

TEST(QelComponentBase, InitializeKeepsOneContext)
{
    MockHost host;
    ComponentBase c;
    // A null context is stored as null, so a real one is accepted afterwards.
    EXPECT_EQ(initSlot(c, nullptr), kResultOk);
    EXPECT_EQ(initSlot(c, &host), kResultOk);
    EXPECT_EQ(host.refs, 2);
    MockHost other;
    EXPECT_EQ(initSlot(c, &other), kResultFalse);
    EXPECT_EQ(other.refs, 1);
    EXPECT_EQ(c.getHostContext(), &host);
    EXPECT_EQ(termSlot(c), kResultOk);
    EXPECT_EQ(host.refs, 1);
    EXPECT_EQ(c.getHostContext(), nullptr);
    EXPECT_EQ(initSlot(c, &other), kResultOk);
    EXPECT_EQ(termSlot(c), kResultOk);
    EXPECT_EQ(other.refs, 1);
}

TEST(QelComponentBase, ConnectAndDisconnect)
{
    ComponentBase a, b, c;
    EXPECT_EQ(connectSlot(a, nullptr), kInvalidArgument);
    EXPECT_EQ(connectSlot(a, &b), kResultOk);
    EXPECT_EQ(b.getRefCount(), 2);
    EXPECT_EQ(connectSlot(a, &c), kResultFalse);
    EXPECT_EQ(a.getPeer(), static_cast<IConnectionPoint*>(&b));
    EXPECT_EQ(c.getRefCount(), 1);
    EXPECT_EQ(disconnectSlot(a, &c), kResultFalse);
    EXPECT_EQ(disconnectSlot(a, nullptr), kResultFalse);
    EXPECT_EQ(a.getPeer(), static_cast<IConnectionPoint*>(&b));
    EXPECT_EQ(disconnectSlot(a, &b), kResultOk);
    EXPECT_EQ(b.getRefCount(), 1);
    EXPECT_EQ(disconnectSlot(a, &b), kResultFalse);
}

TEST(QelComponentBase, TerminateBreaksTheConnectionFromItsSide)
{
    ComponentBase a, b;
    connectSlot(a, &b);
    connectSlot(b, &a);
    EXPECT_EQ(a.getRefCount(), 2);
    EXPECT_EQ(termSlot(a), kResultOk);
    // b was told with a's own connection point, and a let go of b.
    EXPECT_EQ(b.getPeer(), nullptr);
    EXPECT_EQ(a.getRefCount(), 1);
    EXPECT_EQ(b.getRefCount(), 1);
    EXPECT_EQ(a.getPeer(), nullptr);
    EXPECT_EQ(termSlot(a), kResultOk);
}

TEST(QelComponentBase, NotifyPassesTextMessagesOnly)
{
    TextReceiver r;
    EXPECT_EQ(notifySlot(r, nullptr), kInvalidArgument);

    IPtr<MockMessage> m(new MockMessage);
    m->release();
    m->setMessageId("Other");
    m->attributes.setString("Text", u"hello");
    EXPECT_EQ(notifySlot(r, m), kResultFalse);
    m->setMessageId("TextMessagex");
    EXPECT_EQ(notifySlot(r, m), kResultFalse);
    m->setMessageId("TextMessage");
    EXPECT_EQ(notifySlot(r, m), 7);
    EXPECT_EQ(r.received, "hello");

    m->attributes.strings.clear();
    EXPECT_EQ(notifySlot(r, m), kResultFalse);
    m->withAttributes = false;
    EXPECT_EQ(notifySlot(r, m), kResultFalse);
    EXPECT_EQ(r.calls, 1);

    // The base class itself answers a text with 0.
    ComponentBase plain;
    m->withAttributes = true;
    m->attributes.setString("Text", u"x");
    EXPECT_EQ(notifySlot(plain, m), kResultOk);
}

TEST(QelComponentBase, LongTextIsCutAndTerminated)
{
    TextReceiver r;
    IPtr<MockMessage> m(new MockMessage);
    m->release();
    m->setMessageId("TextMessage");
    m->attributes.setString("Text", std::u16string(300, u'a').c_str());
    EXPECT_EQ(notifySlot(r, m), 7);
    EXPECT_LE(r.received.size(), 255u);
    EXPECT_GT(r.received.size(), 0u);
    EXPECT_EQ(r.received.find_first_not_of('a'), std::string::npos);
}

TEST(QelComponentBase, MessagesGoThroughTheHostAndThePeer)
{
    MockHost host;
    TextReceiver sender, receiver;
    EXPECT_EQ(sender.allocateMessage(), nullptr);
    EXPECT_EQ(sender.sendTextMessage("hi"), kResultFalse);

    initSlot(sender, &host);
    IMessage* m = sender.allocateMessage();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(host.refs, 2); // only the context reference: the application reference was given back
    // Without a peer the message is not sent and stays the caller's.
    EXPECT_EQ(sender.sendMessage(m), kResultFalse);
    EXPECT_EQ(sender.sendMessage(nullptr), kResultFalse);
    EXPECT_EQ(host.lastMessage->refs, 1);
    m->release();

    connectSlot(sender, &receiver);
    EXPECT_EQ(sender.sendTextMessage("hi there"), 7);
    EXPECT_EQ(receiver.received, "hi there");
    EXPECT_EQ(host.created, 2);

    host.refuse = true;
    EXPECT_EQ(sender.allocateMessage(), nullptr);
    termSlot(sender);

    // A context that is not a host application gives no messages.
    MockContext ctx;
    ComponentBase c;
    initSlot(c, &ctx);
    EXPECT_EQ(c.allocateMessage(), nullptr);
    EXPECT_EQ(ctx.refs, 2);
    termSlot(c);
    EXPECT_EQ(ctx.refs, 1);
}

TEST(QelComponentBase, PrimaryTableOrder)
{
    TextReceiver r;
    FObject* obj = &r;
    EXPECT_STREQ((callSlot<const char*>(obj, 6)), "ComponentBase");
    EXPECT_EQ((callSlot<tresult, const char*>(obj, 12, "abc")), 7);
    EXPECT_EQ(r.received, "abc");
}

} // namespace
