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
