#include "host/frame_host.h"

#include "host/outofmemory.h"

#include "host/frame_extras.h"

#include <algorithm>
#include <chrono>

namespace qelhost {

// ---- update handler ----

HostUpdateHandler::~HostUpdateHandler()
{
    discard();
}

tresult HostUpdateHandler::queryInterface(const std::uint8_t* iid, void** obj)
{
    return answerQuery(this, iid, obj, {{iid::FUnknown, this}, {iid::IUpdateHandler, this}});
}

tresult HostUpdateHandler::addDependent(FUnknown* object, IDependent* dependent)
{
    if (!object || !dependent)
        return kInvalidArgument;
    return answerForPlugIn([&] { dependents_[object].push_back(dependent); });
}

tresult HostUpdateHandler::removeDependent(FUnknown* object, IDependent* dependent)
{
    auto it = dependents_.find(object);
    if (it == dependents_.end())
        return kResultFalse;
    auto& list = it->second;
    auto pos = std::find(list.begin(), list.end(), dependent);
    if (pos == list.end())
        return kResultFalse;
    list.erase(pos);
    if (list.empty())
        dependents_.erase(it);
    return kResultOk;
}

tresult HostUpdateHandler::triggerUpdates(FUnknown* object, int32 message)
{
    auto it = dependents_.find(object);
    if (it == dependents_.end())
        return kResultOk;
    std::vector<IDependent*> copy;
    if (answerForPlugIn([&] { copy = it->second; }) != kResultOk)
        return kOutOfMemory;
    for (IDependent* d : copy) {
        // A dependent removed by an earlier delivery is not called.
        auto now = dependents_.find(object);
        if (now == dependents_.end() || std::find(now->second.begin(), now->second.end(), d) == now->second.end())
            continue;
        d->update(object, message);
    }
    return kResultOk;
}

tresult HostUpdateHandler::deferUpdates(FUnknown* object, int32 message)
{
    if (!object)
        return kInvalidArgument;
    for (auto& p : deferred_)
        if (p.first == object && p.second == message)
            return kResultOk;
    return answerForPlugIn([&] {
        deferred_.emplace_back(object, message);
        object->addRef();
    });
}

int HostUpdateHandler::deliver()
{
    int delivered = 0;
    for (int round = 0; round < 8 && !deferred_.empty(); ++round) {
        auto batch = std::move(deferred_);
        deferred_.clear();
        for (auto& p : batch) {
            triggerUpdates(p.first, p.second);
            p.first->release();
            ++delivered;
        }
    }
    return delivered;
}

void HostUpdateHandler::discard()
{
    auto batch = std::move(deferred_);
    deferred_.clear();
    for (auto& p : batch)
        p.first->release();
}

std::size_t HostUpdateHandler::dependentCount() const
{
    std::size_t n = 0;
    for (auto& d : dependents_)
        n += d.second.size();
    return n;
}

// ---- clock ----

tresult HostFrameSystem::queryInterface(const std::uint8_t* iid, void** obj)
{
    return answerQuery(this, iid, obj, {{iid::FUnknown, this}, {iid::IFrameSystem, this}});
}

int32 HostFrameSystem::getTickCount()
{
    if (clock)
        return clock();
    using namespace std::chrono;
    static const auto start = steady_clock::now();
    return static_cast<int32>(duration_cast<milliseconds>(steady_clock::now() - start).count());
}

// ---- idle registry ----

HostIdleRegistry::~HostIdleRegistry()
{
    for (IIdleHandler* h : handlers_)
        h->release();
}

tresult HostIdleRegistry::queryInterface(const std::uint8_t* iid, void** obj)
{
    return answerQuery(this, iid, obj, {{iid::FUnknown, this}, {iid::IIdleRegistry, this}});
}

tresult HostIdleRegistry::registerIdleHandler(IIdleHandler* handler)
{
    if (!handler)
        return kInvalidArgument;
    if (std::find(handlers_.begin(), handlers_.end(), handler) != handlers_.end())
        return kResultFalse;
    return answerForPlugIn([&] {
        handlers_.push_back(handler);
        handler->addRef();
    });
}

tresult HostIdleRegistry::unregisterIdleHandler(IIdleHandler* handler)
{
    auto it = std::find(handlers_.begin(), handlers_.end(), handler);
    if (it == handlers_.end())
        return kResultFalse;
    handlers_.erase(it);
    handler->release();
    return kResultOk;
}

void HostIdleRegistry::idle()
{
    std::vector<IIdleHandler*> copy = handlers_;
    for (IIdleHandler* h : copy)
        h->addRef();
    for (IIdleHandler* h : copy) {
        h->onIdle();
        h->release();
    }
}

// ---- frame host ----

namespace {
class HeldService final : public RefCounted<FUnknown>
{
public:
    tresult queryInterface(const std::uint8_t* iid, void** obj) override
    {
        return answerQuery(this, iid, obj, {{iid::FUnknown, this}});
    }
};
} // namespace

FrameHost::FrameHost(HostApplication* app) : app_(app)
{
    try {
        updates_ = new HostUpdateHandler;
        idle_ = new HostIdleRegistry;
        system_ = new HostFrameSystem;
        skin_ = new SkinService;
    } catch (const std::bad_alloc&) {
        releaseServices();
        throw;
    }
    if (app_)
        app_->addRef();
}

FrameHost::~FrameHost()
{
    shutdown();
    releaseServices();
    if (app_)
        app_->release();
}

void FrameHost::releaseServices()
{
    for (FUnknown* u :
         {static_cast<FUnknown*>(updates_), static_cast<FUnknown*>(idle_), static_cast<FUnknown*>(system_),
          static_cast<FUnknown*>(static_cast<ISkinService*>(skin_)), static_cast<FUnknown*>(settings_),
          static_cast<FUnknown*>(mapper_), static_cast<FUnknown*>(bitmaps_), static_cast<FUnknown*>(groups_)})
        if (u)
            u->release();
}

void FrameHost::offerExtras(bool onContext)
{
    if (!settings_) {
        settings_ = new HostMeterSettings;
        mapper_ = new HostScaleMapper;
        bitmaps_ = new HostMeterBitmapService;
        groups_ = new HostColorGroups;
    }
    groupsOnContext_ = onContext;
}

void FrameHost::shutdown()
{
    updates_->discard();
    skin_->unload();
}

tresult FrameHost::queryInterface(const std::uint8_t* iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    IFrameHost* self = this;
    if (answerInterface(this, iid, iid::FUnknown, self, obj) || answerInterface(this, iid, iid::IFrameHost, self, obj))
        return kResultOk;
    if (groups_ && groupsOnContext_ &&
        answerInterface(this, iid, iid::IColorGroupInformation, static_cast<IColorGroupInformation*>(groups_), obj)) {
        // The colour groups answer for the context; the reference is theirs.
        release();
        groups_->addRef();
        return kResultOk;
    }
    if (app_ && !refused_.count(key(iid::IHostApplication.b)) &&
        answerInterface(this, iid, iid::IHostApplication, static_cast<IHostApplication*>(this), obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult FrameHost::getName(char16* name)
{
    return app_ ? app_->getName(name) : kResultFalse;
}

tresult FrameHost::createInstance(const std::uint8_t* cid, const std::uint8_t* iid, void** obj)
{
    return app_ ? app_->createInstance(cid, iid, obj) : kResultFalse;
}

void FrameHost::setResourceDirectory(const std::string& dir)
{
    skin_->setResourceDirectory(dir);
}

int FrameHost::served(const Uid& id) const
{
    auto it = served_.find(key(id.b));
    return it == served_.end() ? 0 : it->second;
}

tresult FrameHost::getService(const std::uint8_t* iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    *obj = nullptr;
    return answerForPlugIn([&] { return serve(iid, obj); });
}

tresult FrameHost::serve(const std::uint8_t* iid, void** obj)
{
    if (!iid || refused_.count(key(iid)))
        return kNoInterface;
    FUnknown* made = nullptr;
    if (sameUid(iid, iid::HeldService1.b) || sameUid(iid, iid::HeldService2.b) || sameUid(iid, iid::HeldService4.b) ||
        sameUid(iid, iid::HeldService6.b) || sameUid(iid, iid::OptionalService7.b)) {
        made = new HeldService;
    } else if (sameUid(iid, iid::IFrameSystem.b)) {
        system_->addRef();
        made = system_;
    } else if (sameUid(iid, iid::IUpdateHandler.b)) {
        updates_->addRef();
        made = updates_;
    } else if (sameUid(iid, iid::IIdleRegistry.b)) {
        idle_->addRef();
        made = idle_;
    } else if (sameUid(iid, iid::ISkinService.b)) {
        skin_->addRef();
        made = static_cast<ISkinService*>(skin_);
    } else if (sameUid(iid, iid::IHostView.b)) {
        made = static_cast<IHostView*>(new HostView);
    } else if (sameUid(iid, iid::IntValue.b)) {
        made = static_cast<IHostValueOptions*>(new HostValue(HostValue::kInt));
    } else if (sameUid(iid, iid::RangeValue.b)) {
        made = static_cast<IHostValueOptions*>(new HostValue(HostValue::kRange));
    } else if (sameUid(iid, iid::BoolValue.b)) {
        made = static_cast<IHostValueOptions*>(new HostValue(HostValue::kBool));
    } else if (sameUid(iid, iid::StringValue.b)) {
        made = static_cast<IHostValueOptions*>(new HostValue(HostValue::kString));
    } else if (settings_ && sameUid(iid, iid::IMeterSettings.b)) {
        settings_->addRef();
        made = settings_;
    } else if (mapper_ && sameUid(iid, iid::IScaleMapper.b)) {
        mapper_->addRef();
        made = mapper_;
    } else if (bitmaps_ && sameUid(iid, iid::IMeterBitmapService.b)) {
        bitmaps_->addRef();
        made = bitmaps_;
    } else if (groups_ && sameUid(iid, iid::IColorGroupInformation.b)) {
        groups_->addRef();
        made = groups_;
    } else if (sameUid(iid, iid::IHostApplication.b) && app_) {
        addRef();
        made = static_cast<IHostApplication*>(this);
    }
    if (!made)
        return kNoInterface;
    try {
        ++served_[key(iid)];
    } catch (const std::bad_alloc&) {
        made->release();
        throw;
    }
    *obj = made;
    return kResultOk;
}

void FrameHost::idle()
{
    idle_->idle();
    updates_->deliver();
}

} // namespace qelhost
