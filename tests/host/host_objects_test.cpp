// The host's own objects: attributes, parameter change lists, the memory stream, messages.
#include "host/hostobjects.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

using namespace qelhost;

TEST(HostAttributes, TypedValuesAndStringSizesInBytes)
{
    auto* msg = new HostMessage;
    IMessageAttributes* a = msg->getAttributes();
    EXPECT_EQ(msg->getMessageId(), nullptr);
    msg->setMessageId("time");
    EXPECT_STREQ(msg->getMessageId(), "time");
    int64 i = 0;
    double f = 0;
    EXPECT_EQ(a->getInt("x", i), kResultFalse);
    EXPECT_EQ(a->setInt("x", 42), kResultOk);
    EXPECT_EQ(a->getInt("x", i), kResultOk);
    EXPECT_EQ(i, 42);
    EXPECT_EQ(a->getFloat("x", f), kResultFalse); // wrong type
    a->setFloat("f", 2.5);
    EXPECT_EQ(a->getFloat("f", f), kResultOk);
    EXPECT_EQ(f, 2.5);
    a->setString("s", u"00:01:02");
    char16 buf[16];
    std::memset(buf, 0x7F, sizeof(buf));
    // Six bytes hold two characters and the terminator.
    ASSERT_EQ(a->getString("s", buf, 6), kResultOk);
    EXPECT_EQ(buf[0], u'0');
    EXPECT_EQ(buf[1], u'0');
    EXPECT_EQ(buf[2], 0);
    EXPECT_EQ(buf[3], 0x7F7F);
    EXPECT_EQ(a->getString("s", buf, 1), kResultFalse);
    EXPECT_EQ(a->getString("s", nullptr, 10), kInvalidArgument);
    ASSERT_EQ(a->getString("s", buf, sizeof(buf)), kResultOk);
    EXPECT_EQ(std::u16string(buf), u"00:01:02");
    const std::uint8_t bytes[3] = {1, 2, 3};
    a->setBinary("b", bytes, 3);
    const void* data = nullptr;
    uint32 size = 0;
    ASSERT_EQ(a->getBinary("b", data, size), kResultOk);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::memcmp(data, bytes, 3), 0);
    EXPECT_EQ(msg->release(), 0u);
}

TEST(HostApplicationTest, CreatesOnlyMessages)
{
    auto* app = new HostApplication;
    void* obj = nullptr;
    ASSERT_EQ(app->createInstance(iid::IMessage.b, iid::IMessage.b, &obj), kResultOk);
    static_cast<IMessage*>(obj)->release();
    EXPECT_EQ(app->createInstance(iid::IComponent.b, iid::IMessage.b, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(app->createInstance(iid::IMessage.b, iid::IMessage.b, nullptr), kInvalidArgument);
    char16 name[128] = {};
    EXPECT_EQ(app->getName(name), kResultOk);
    EXPECT_NE(name[0], 0);
    EXPECT_EQ(app->queryInterface(iid::IHostApplication.b, &obj), kResultOk);
    EXPECT_EQ(app->release(), 1u);
    EXPECT_EQ(app->messagesCreatedOffMainThread(), 0);
    EXPECT_EQ(app->release(), 0u);
}

TEST(HostParameterChangesTest, QueuesPerIdPointsInOrderFixedCapacity)
{
    HostParameterChanges list;
    int32 index = -1;
    IParameterChangeQueue* q = list.addParameterData(5, index);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(list.addParameterData(5, index), q); // same id, same queue
    int32 p = 0;
    q->addPoint(100, 0.5, p);
    q->addPoint(10, 0.1, p);
    EXPECT_EQ(p, 0);
    q->addPoint(100, 0.7, p); // same offset replaces
    ASSERT_EQ(q->getPointCount(), 2);
    int32 off = 0;
    double v = 0;
    q->getPoint(1, off, v);
    EXPECT_EQ(off, 100);
    EXPECT_EQ(v, 0.7);
    EXPECT_EQ(q->getPoint(2, off, v), kResultFalse);
    for (uint32 id = 100; id < 100 + HostParameterChanges::kMaxQueues - 1; ++id)
        ASSERT_NE(list.addParameterData(id, index), nullptr);
    EXPECT_EQ(list.addParameterData(999, index), nullptr);
    EXPECT_EQ(index, -1);
    for (int32 k = 0; k < HostParamQueue::kMaxPoints + 3; ++k)
        q->addPoint(1000 + k, 1.0, p);
    EXPECT_EQ(q->getPointCount(), HostParamQueue::kMaxPoints);
    list.clear();
    EXPECT_EQ(list.getParameterCount(), 0);
    EXPECT_EQ(list.getParameterData(0), nullptr);
}

TEST(MemoryStreamTest, ReadWriteSeekTell)
{
    auto* s = new MemoryStream;
    int32 n = -1;
    char data[5] = {'a', 'b', 'c', 'd', 'e'};
    ASSERT_EQ(s->write(data, 5, &n), kResultOk);
    EXPECT_EQ(n, 5);
    int64 pos = -1;
    s->tell(&pos);
    EXPECT_EQ(pos, 5);
    EXPECT_EQ(s->seek(1, 0, &pos), kResultOk);
    char back[8] = {};
    EXPECT_EQ(s->read(back, 8, &n), kResultFalse); // short read
    EXPECT_EQ(n, 4);
    EXPECT_STREQ(back, "bcde");
    EXPECT_EQ(s->read(back, 1, &n), kResultFalse);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(s->seek(-10, 1, &pos), kInvalidArgument);
    EXPECT_EQ(s->seek(-2, 2, &pos), kResultOk);
    EXPECT_EQ(pos, 3);
    EXPECT_EQ(s->read(back, 1, nullptr), kResultOk);
    EXPECT_EQ(s->release(), 0u);
}

TEST(MessageRouterTest, QueuesMessagesFromOtherThreadsForTheMainThread)
{
    auto* app = new HostApplication;
    {
        MessageRouter router(*app);
        // A receiving end that counts notifications.
        struct Sink : RefCounted<IConnectionPoint>
        {
            int got = 0;
            tresult queryInterface(const std::uint8_t*, void** obj) override
            {
                *obj = nullptr;
                return kNoInterface;
            }
            tresult connect(IConnectionPoint*) override { return kResultOk; }
            tresult disconnect(IConnectionPoint*) override { return kResultOk; }
            tresult notify(IMessage*) override
            {
                ++got;
                return kResultOk;
            }
        };
        auto* sink = new Sink;
        auto* proxy = new ConnectionProxy(router, true);
        proxy->setDestination(sink);
        auto* msg = new HostMessage;
        msg->setMessageId("x");
        EXPECT_EQ(proxy->notify(msg), kResultOk);
        EXPECT_EQ(sink->got, 1);
        std::thread t([&] { proxy->notify(msg); });
        t.join();
        EXPECT_EQ(sink->got, 1);
        EXPECT_EQ(router.offMainThreadMessages(), 1);
        router.deliverQueued();
        EXPECT_EQ(sink->got, 2);
        EXPECT_EQ(router.log().size(), 2u);
        EXPECT_TRUE(router.log()[1].offMainThread);
        EXPECT_EQ(proxy->notify(nullptr), kInvalidArgument);
        msg->release();
        proxy->release();
        sink->release();
    }
    app->release();
}

} // namespace
