// The plug-in's display side against the test host's frame services, in one process: the host's
// objects cross to the plug-in as the boundary's tables, exactly as through a loaded bundle.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/frame_host.h"
#include "host/frame_skin.h"
#include "meter/smallbigmetercontroller.h"
#include "pluginset/common/qel/views/frameservices.h"

namespace viewstest {

inline Calvereth::FUnknown* plug(qelhost::FUnknown* u)
{
    return reinterpret_cast<Calvereth::FUnknown*>(u);
}

inline qelhost::FrameHost* newFrameHost(qelhost::HostApplication* app)
{
    auto* host = new qelhost::FrameHost(app);
    host->setResourceDirectory(NORRIK_RESOURCES_DIR);
    return host;
}

// Records the messages the controller sends to its peer.
class Peer final : public Calvereth::FObject, public Calvereth::Qel::IConnectionPoint
{
public:
    Calvereth::tresult connect(Calvereth::Qel::IConnectionPoint*) override { return Calvereth::kResultOk; }
    Calvereth::tresult disconnect(Calvereth::Qel::IConnectionPoint*) override { return Calvereth::kResultOk; }
    Calvereth::tresult notify(Calvereth::Qel::IMessage* message) override
    {
        std::string id = message && message->getMessageId() ? message->getMessageId() : "";
        std::int64_t v = -1;
        if (message && message->getAttributes())
            message->getAttributes()->getInt(id.c_str(), v);
        ids.push_back(id);
        values.push_back(v);
        return Calvereth::kResultOk;
    }
    Calvereth::tresult queryInterface(const Calvereth::TUID iid, void** obj) override
    {
        if (obj && Calvereth::iidEqual(iid, Calvereth::Qel::IConnectionPoint::iid)) {
            addRef();
            *obj = static_cast<Calvereth::Qel::IConnectionPoint*>(this);
            return Calvereth::kResultOk;
        }
        return FObject::queryInterface(iid, obj);
    }
    Calvereth::uint32 addRef() override { return FObject::addRef(); }
    Calvereth::uint32 release() override { return FObject::release(); }
    int count(const std::string& id) const
    {
        int n = 0;
        for (auto& i : ids)
            n += i == id;
        return n;
    }
    std::vector<std::string> ids;
    std::vector<std::int64_t> values;
};

// A message the host builds, as the processor would send it.
inline Calvereth::Qel::IMessage* hostMessage(const char* id)
{
    auto* m = new qelhost::HostMessage;
    m->setMessageId(id);
    return reinterpret_cast<Calvereth::Qel::IMessage*>(static_cast<qelhost::IMessage*>(m));
}

inline std::string text(const char16_t* t)
{
    std::string s;
    for (; t && *t; ++t)
        s += *t < 128 ? static_cast<char>(*t) : '?';
    return s;
}

// Records what a view draws: text and its colour, bitmaps' destinations, lines and rectangles.
struct DrawRecorder : Calvereth::IDrawContext
{
    using ViewRect = Calvereth::ViewRect;
    Calvereth::tresult queryInterface(const Calvereth::TUID, void**) override { return Calvereth::kNoInterface; }
    Calvereth::uint32 addRef() override { return 1; }
    Calvereth::uint32 release() override { return 1; }
    void setLineColor(Calvereth::uint32, Calvereth::int32, float) override {}
    void setFillColor(Calvereth::uint32, float) override {}
    void setFont(const char16_t*, Calvereth::int32, Calvereth::int32, float) override {}
    void drawContextSlot6() override {}
    void setFontColor(Calvereth::uint32 c) override { color = c; }
    void drawLine(const Calvereth::FramePoint& a, const Calvereth::FramePoint& b) override
    {
        lines.push_back(ViewRect(a.x, a.y, b.x, b.y));
    }
    void drawRect(const ViewRect& r, Calvereth::int32) override { rects.push_back(r); }
    void drawContextSlot10() override {}
    void drawContextSlot11() override {}
    void drawContextSlot12() override {}
    void drawString(const char16_t* t, const ViewRect&, Calvereth::int32, Calvereth::int32) override
    {
        text = viewstest::text(t);
    }
    void drawContextSlot14() override {}
    void drawContextSlot15() override {}
    void drawContextSlot16() override {}
    void drawContextSlot17() override {}
    void drawBitmap(Calvereth::FUnknown*, const ViewRect&, const ViewRect& to) override { bitmaps.push_back(to); }
    Calvereth::uint32 color = 0;
    std::string text;
    std::vector<ViewRect> bitmaps, lines, rects;
};

// A frame host over a host application; frame services a test leaves started are ended.
struct HostFixture : ::testing::Test
{
    void SetUp() override
    {
        app = new qelhost::HostApplication;
        host = newFrameHost(app);
    }
    void TearDown() override
    {
        host->updateHandler().discard();
        while (Calvereth::Frame::getFrameServicesUserCount() > 0)
            Calvereth::Frame::exitFrameServices();
        host->release();
        app->release();
    }
    Calvereth::FUnknown* context() { return plug(static_cast<qelhost::IFrameHost*>(host)); }
    qelhost::HostApplication* app;
    qelhost::FrameHost* host;
};

// A started controller over a full host.
class ControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        app = new qelhost::HostApplication;
        host = newFrameHost(app);
        configureHost(*host);
        controller = new Norrik::SmallBigMeterController;
        ASSERT_EQ(controller->initialize(plug(static_cast<qelhost::IFrameHost*>(host))), Calvereth::kResultOk);
        peer = new Peer;
        controller->connect(peer);
    }
    void TearDown() override
    {
        if (controller) {
            controller->terminate();
            controller->release();
        }
        if (peer)
            peer->release();
        host->shutdown();
        host->release();
        app->release();
        EXPECT_EQ(Calvereth::Frame::getFrameServicesUserCount(), 0);
        EXPECT_EQ(Calvereth::EditController2::getViewServicesUserCount(), 0);
    }
    virtual void configureHost(qelhost::FrameHost&) {}

    double norm(int id, double plain) { return controller->plainParamToNormalized(id, plain); }
    std::string display(int id, double normalized)
    {
        char16_t t[128] = {};
        controller->getParamStringByValue(id, normalized, t);
        return text(t);
    }
    qelhost::HostValue* value(const char* name)
    {
        Calvereth::IHostValue* v = nullptr;
        if (controller->getValueByName(name, &v) != Calvereth::kResultOk)
            return nullptr;
        return dynamic_cast<qelhost::HostValue*>(reinterpret_cast<qelhost::IHostValueOptions*>(v));
    }
    qelhost::EditorView* openEditor()
    {
        editorView = controller->createView("editor");
        return qelhost::asEditorView(reinterpret_cast<qelhost::IPlugView*>(editorView));
    }
    void closeEditor()
    {
        if (editorView)
            editorView->release();
        editorView = nullptr;
    }

    qelhost::HostApplication* app = nullptr;
    qelhost::FrameHost* host = nullptr;
    Norrik::SmallBigMeterController* controller = nullptr;
    Peer* peer = nullptr;
    Calvereth::IPlugView* editorView = nullptr;
};

} // namespace viewstest
