#include "base/updatehandler.h"
#include "tests/common/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

using namespace Calvereth;
using testthreads::runThreads;

namespace {

using Entries = std::vector<std::pair<std::string, int32>>;

// An object that logs what it is told as a dependent ("name") and as a changed object ("name.done").
class Node : public FObject
{
public:
    Node(Entries* log, std::string name) : log(log), name(std::move(name)) {}
    void update(FUnknown* changed, int32 message) override
    {
        lastChanged = changed;
        if (log)
            log->emplace_back(name, message);
        if (onUpdate)
            onUpdate();
    }
    void updateDone(int32 message) override
    {
        if (log)
            log->emplace_back(name + ".done", message);
    }
    Entries* log;
    std::string name;
    std::atomic<FUnknown*> lastChanged{nullptr};
    std::function<void()> onUpdate;
};

// Each test installs its own handler and leaves none behind.
class Base2UpdateHandler : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FObject::setUpdateHandler(nullptr);
        handler = new UpdateHandler;
    }
    void TearDown() override
    {
        handler->release();
        EXPECT_EQ(FObject::getUpdateHandler(), nullptr);
    }
    // What was logged since the last call.
    Entries take() { return std::exchange(log, {}); }
    UpdateHandler* handler = nullptr;
    Entries log;
};

} // namespace

TEST_F(Base2UpdateHandler, ChangesAreToldInOrderThenUpdateDoneAndDeferredOnesQueuedOncePerObject)
{
    EXPECT_EQ(FObject::getUpdateHandler(), static_cast<IUpdateHandler*>(handler));
    UpdateHandler second; // one is installed already: the second stays out
    EXPECT_EQ(FObject::getUpdateHandler(), static_cast<IUpdateHandler*>(handler));
    Node o(&log, "O");
    Node d1(&log, "D1"), d2(&log, "D2");
    o.addDependent(&d1);
    o.addDependent(&d2);
    o.changed(1);
    EXPECT_EQ(take(), (Entries{{"D1", 1}, {"D2", 1}, {"O.done", 1}}));
    EXPECT_EQ(d1.lastChanged, o.unknownCast());
    o.changed(IDependent::kDestroyed); // no updateDone for it
    EXPECT_EQ(take(), (Entries{{"D1", 2}, {"D2", 2}}));
    o.removeDependent(nullptr); // every dependent of O
    EXPECT_EQ(handler->countDependents(o.unknownCast()), 0);
    EXPECT_EQ(handler->triggerUpdates(o.unknownCast(), 1), kResultFalse);
    EXPECT_EQ(take(), (Entries{{"O.done", 1}}));
    EXPECT_EQ(handler->triggerUpdates(nullptr, 1), kResultFalse);
    EXPECT_EQ(handler->addDependent(nullptr, nullptr), kResultFalse);

    // Deferred changes are queued once per object and delivered in order.
    Node a(&log, "A"), b(&log, "B"), lonely(&log, "L");
    Node e1(&log, "D1"), e2(&log, "D2");
    a.addDependent(&e1);
    a.addDependent(&e2);
    b.addDependent(&e1);
    lonely.deferUpdate(1); // no dependents: done at once, nothing queued
    EXPECT_EQ(take(), (Entries{{"L.done", 1}}));
    b.deferUpdate(1);
    for (int i = 0; i < 3; ++i)
        a.deferUpdate(1);
    a.deferUpdate(3);
    EXPECT_TRUE(take().empty());
    a.removeDependent(&e1);                          // one remains: A's changes stay
    handler->triggerDeferedUpdates(a.unknownCast()); // A's only
    EXPECT_EQ(take(), (Entries{{"D2", 1}, {"A.done", 1}, {"D2", 3}, {"A.done", 3}}));
    a.deferUpdate(1);
    a.removeDependent(&e2); // the last one: A's queued change goes with it
    handler->triggerDeferedUpdates();
    EXPECT_EQ(take(), (Entries{{"D1", 1}, {"B.done", 1}}));
    handler->triggerDeferedUpdates();
    EXPECT_TRUE(take().empty());
    handler->removeDependent(nullptr, &e1); // from every object
    EXPECT_EQ(handler->countDependents(b.unknownCast()), 0);
}

TEST_F(Base2UpdateHandler, RemovalsDuringDeliveryDeferralsPairsLimitsAndManyObjects)
{
    Node o(&log, "O");
    Node d1(&log, "D1"), d2(&log, "D2"), d3(&log, "D3");
    d1.onUpdate = [&] { o.removeDependent(&d2); };
    d3.onUpdate = [&] { o.removeDependent(&d3); }; // removes itself
    o.addDependent(&d1);
    o.addDependent(&d2);
    o.addDependent(&d3);
    o.changed(1);
    EXPECT_EQ(take(), (Entries{{"D1", 1}, {"D3", 1}, {"O.done", 1}}));
    o.changed(1);
    EXPECT_EQ(take(), (Entries{{"D1", 1}, {"O.done", 1}}));
    // A change deferred while O is being told waits for the next call, not a nested one.
    int nested = 0;
    d1.onUpdate = [&] {
        if (nested++ == 0) {
            o.deferUpdate(5);
            handler->triggerDeferedUpdates();
        }
    };
    o.changed(1);
    EXPECT_EQ(take(), (Entries{{"D1", 1}, {"O.done", 1}}));
    handler->triggerDeferedUpdates();
    EXPECT_EQ(take(), (Entries{{"D1", 5}, {"O.done", 5}}));
    o.removeDependent(&d1);

    // The limit cuts the rest; the same pair twice is told twice.
    Node p(nullptr, "P");
    std::vector<Node*> many;
    int firstTold = 0, lastTold = 0;
    for (int i = 0; i < Update::kMaxDependents + 1; ++i) {
        many.push_back(new Node(nullptr, ""));
        p.addDependent(many.back());
    }
    p.addDependent(many.front()); // past the limit: refused, even for a known pair
    many.front()->onUpdate = [&] { ++firstTold; };
    many.back()->onUpdate = [&] { ++lastTold; };
    p.changed(1);
    EXPECT_EQ(firstTold, 1);
    EXPECT_EQ(lastTold, 0);
    p.removeDependent(nullptr);
    Node q(nullptr, "Q");
    q.onUpdate = [&] { ++firstTold; };
    p.addDependent(&q);
    p.addDependent(&q);
    p.changed(1);
    EXPECT_EQ(firstTold, 3);
    p.removeDependent(&q);

    // Many objects keep their own dependents, each told once per change.
    Node x(nullptr, "x"), y(nullptr, "y");
    int toldX = 0;
    x.onUpdate = [&] { ++toldX; };
    for (Node* s : many)
        s->addDependent(&x), s->addDependent(&y);
    for (Node* s : many) {
        s->changed(1);
        EXPECT_EQ(x.lastChanged, s->unknownCast());
        EXPECT_EQ(handler->countDependents(s->unknownCast()), 2);
    }
    EXPECT_EQ(toldX, static_cast<int>(many.size()));
    handler->removeDependent(nullptr, &x);
    handler->removeDependent(nullptr, &y);
    for (Node* w : many)
        w->release();
}

TEST_F(Base2UpdateHandler, OneCallDeliversOnlyTheChangesQueuedWhenItBegan)
{
    // A dependent that defers the change again whenever it is told (five times at most, so that
    // a handler that keeps delivering still ends): each call delivers it once, in both forms.
    Node o(&log, "O"), other(&log, "P");
    Node d(&log, "D");
    o.addDependent(&d);
    other.addDependent(&d);
    int redeferrals = 0;
    d.onUpdate = [&] {
        if (redeferrals++ < 5) {
            o.deferUpdate(1);
            other.deferUpdate(3);
        }
    };
    o.deferUpdate(1);
    handler->triggerDeferedUpdates();
    EXPECT_EQ(take(), (Entries{{"D", 1}, {"O.done", 1}}));
    handler->triggerDeferedUpdates(o.unknownCast());
    EXPECT_EQ(take(), (Entries{{"D", 1}, {"O.done", 1}}));
    handler->triggerDeferedUpdates(); // P's queued change and O's, in the order they were queued
    EXPECT_EQ(take(), (Entries{{"D", 3}, {"P.done", 3}, {"D", 1}, {"O.done", 1}}));
    o.removeDependent(&d);
    other.removeDependent(&d);
    handler->triggerDeferedUpdates();
    EXPECT_TRUE(take().empty());
}

TEST_F(Base2UpdateHandler, ConcurrentNotificationsAndRegistrations)
{
    constexpr int kThreads = 6;
    std::vector<Node*> subjects;
    for (int i = 0; i < 8; ++i)
        subjects.push_back(new Node(nullptr, ""));
    std::atomic<int> told{0};
    std::vector<Node*> watchers;
    for (int t = 0; t < kThreads; ++t) {
        watchers.push_back(new Node(nullptr, ""));
        watchers.back()->onUpdate = [&] { told.fetch_add(1, std::memory_order_relaxed); };
    }
    runThreads(kThreads, [&](int t) {
        for (int i = 0; i < 500; ++i) {
            Node* s = subjects[(i + t) % subjects.size()];
            handler->addDependent(s->unknownCast(), watchers[t]);
            s->changed(1);
            s->deferUpdate(i % 3);
            if (i % 7 == 0)
                handler->triggerDeferedUpdates();
            handler->removeDependent(s->unknownCast(), watchers[t]);
        }
    });
    handler->triggerDeferedUpdates();
    EXPECT_GE(told.load(), kThreads * 500);
    for (Node* s : subjects)
        EXPECT_EQ(handler->countDependents(s->unknownCast()), 0);
    for (Node* w : watchers)
        w->release();
    for (Node* s : subjects)
        s->release();
}
