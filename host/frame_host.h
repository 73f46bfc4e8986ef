// The host's drawing services for the plug-in's view framework: the frame host and what it hands
// out (clock, update handler, idle registry, value objects, host views, skin service), and the
// context object the controller is initialised with.
#pragma once

#include "host/frame_skin.h"
#include "host/frame_values.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace qelhost {

class HostMeterSettings;
class HostScaleMapper;
class HostMeterBitmapService;
class HostColorGroups;

// Change notification between the plug-in's objects: dependents by object, deferred changes
// delivered at idle time.
class HostUpdateHandler final : public RefCounted<IUpdateHandler>
{
public:
    ~HostUpdateHandler() override;
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    tresult addDependent(FUnknown* object, IDependent* dependent) override;
    tresult removeDependent(FUnknown* object, IDependent* dependent) override;
    tresult triggerUpdates(FUnknown* object, int32 message) override;
    tresult deferUpdates(FUnknown* object, int32 message) override;

    // Delivers every deferred change (and those the deliveries defer, up to a bound).
    int deliver();
    // Drops what is queued (releasing the objects) without telling anyone.
    void discard();
    std::size_t dependentCount() const;
    std::size_t pendingCount() const { return deferred_.size(); }

private:
    std::map<FUnknown*, std::vector<IDependent*>> dependents_;
    std::vector<std::pair<FUnknown*, int32>> deferred_;
};

class HostFrameSystem final : public RefCounted<IFrameSystem>
{
public:
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    TBool trackMouseStep() override { return 0; }
    int32 getTickCount() override;

    // Milliseconds; a steady clock unless set (a run on a file follows the audio's time).
    std::function<int32()> clock;
};

class HostIdleRegistry final : public RefCounted<IIdleRegistry>
{
public:
    ~HostIdleRegistry() override;
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    tresult registerIdleHandler(IIdleHandler* handler) override;
    tresult unregisterIdleHandler(IIdleHandler* handler) override;

    void idle();
    std::size_t count() const { return handlers_.size(); }

private:
    std::vector<IIdleHandler*> handlers_;
};

// application, passing those calls to the session's.
class FrameHost final : public RefCounted<IFrameHost, IHostApplication>
{
public:
    explicit FrameHost(HostApplication* app = nullptr);
    ~FrameHost() override;

    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    tresult getService(const std::uint8_t* iid, void** obj) override;
    tresult getName(char16* name) override;
    tresult createInstance(const std::uint8_t* cid, const std::uint8_t* iid, void** obj) override;

    // Services asked for with these identifiers are refused (hosts lacking them).
    void refuse(const Uid& id) { refused_.insert(key(id.b)); }
    // A richer host: meter settings, scale mapper, meter bitmaps and colour groups as services;
    // with `onContext` the context itself also answers for colour groups.
    void offerExtras(bool onContext = false);
    HostMeterSettings* meterSettings() const { return settings_; }
    HostScaleMapper* scaleMapper() const { return mapper_; }
    HostMeterBitmapService* bitmapService() const { return bitmaps_; }
    void setResourceDirectory(const std::string& dir);

    HostUpdateHandler& updateHandler() { return *updates_; }
    HostIdleRegistry& idleRegistry() { return *idle_; }
    HostFrameSystem& frameSystem() { return *system_; }
    SkinService& skin() { return *skin_; }
    // Idle time: the registered handlers, then the deferred changes.
    void idle();
    // How often each service was asked for and handed out.
    int served(const Uid& id) const;
    // Drops everything the host still holds of the plug-in (before it is unloaded).
    void shutdown();

private:
    // An identifier as a key that takes no memory to make: looking one up never fails.
    using Key = std::array<std::uint8_t, 16>;
    static Key key(const std::uint8_t* b)
    {
        Key k;
        std::copy_n(b, k.size(), k.begin());
        return k;
    }
    tresult serve(const std::uint8_t* iid, void** obj); // getService, which keeps out of memory to itself
    void releaseServices();                             // those made so far
    HostApplication* app_;
    HostUpdateHandler* updates_ = nullptr;
    HostIdleRegistry* idle_ = nullptr;
    HostFrameSystem* system_ = nullptr;
    SkinService* skin_ = nullptr;
    HostMeterSettings* settings_ = nullptr;
    HostScaleMapper* mapper_ = nullptr;
    HostMeterBitmapService* bitmaps_ = nullptr;
    HostColorGroups* groups_ = nullptr;
    bool groupsOnContext_ = false;
    std::set<Key> refused_;
    std::map<Key, int> served_;
};

} // namespace qelhost
