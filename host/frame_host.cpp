#include "host/frame_host.h"

#include "host/frame_extras.h"
#include "host/frame_skin.h"

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
    if (!obj)
        return kInvalidArgument;
    if (answerInterface(this, iid, iid::FUnknown, this, obj) ||
        answerInterface(this, iid, iid::IUpdateHandler, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult HostUpdateHandler::addDependent(FUnknown* object, IDependent* dependent)
{
    if (!object || !dependent)
        return kInvalidArgument;
    dependents_[object].push_back(dependent);
    return kResultOk;
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
    std::vector<IDependent*> copy = it->second;
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
    object->addRef();
    deferred_.emplace_back(object, message);
    return kResultOk;
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
    if (!obj)
        return kInvalidArgument;
    if (answerInterface(this, iid, iid::FUnknown, this, obj) ||
        answerInterface(this, iid, iid::IFrameSystem, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
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
    if (!obj)
        return kInvalidArgument;
    if (answerInterface(this, iid, iid::FUnknown, this, obj) ||
        answerInterface(this, iid, iid::IIdleRegistry, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult HostIdleRegistry::registerIdleHandler(IIdleHandler* handler)
{
    if (!handler)
        return kInvalidArgument;
    if (std::find(handlers_.begin(), handlers_.end(), handler) != handlers_.end())
        return kResultFalse;
    handler->addRef();
    handlers_.push_back(handler);
    return kResultOk;
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

// ---- values ----

tresult HostValue::queryInterface(const std::uint8_t* iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    IHostValueOptions* self = this;
    if (answerInterface(this, iid, iid::FUnknown, self, obj) ||
        answerInterface(this, iid, iid::IHostValueOptions, self, obj) ||
        answerInterface(this, iid, iid::IHostValueMeter, static_cast<IHostValueMeter*>(this), obj) ||
        answerInterface(this, iid, iid::IHostValueStringHolder, static_cast<IHostValueStringHolder*>(this), obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult HostValue::getString(char16* buffer, int32* size)
{
    if (!buffer || !size || *size <= 0)
        return kInvalidArgument;
    int32 n = std::min<int32>(static_cast<int32>(string_.size()), *size - 1);
    std::copy(string_.begin(), string_.begin() + n, buffer);
    buffer[n] = 0;
    *size = n;
    return kResultOk;
}

void HostValue::setString(const char16* text, int32 flag)
{
    string_ = text ? std::u16string(text) : std::u16string();
    lastFlag_ = flag;
}

void HostValue::setInt(int32 value, int32 flag)
{
    lastFlag_ = flag;
    if (kind_ == kBool) {
        normalized_ = value != 0 ? 1.f : 0.f;
        return;
    }
    normalized_ =
        intMax_ != intMin_ ? static_cast<float>(value - intMin_) / static_cast<float>(intMax_ - intMin_) : 0.f;
    normalized_ = std::clamp(normalized_, 0.f, 1.f);
}

void HostValue::setPlain(int32 flag, float value)
{
    lastFlag_ = flag;
    normalized_ = max_ != min_ ? std::clamp((value - min_) / (max_ - min_), 0.f, 1.f) : 0.f;
}

void HostValue::setNormalized(int32 flag, float value)
{
    lastFlag_ = flag;
    normalized_ = std::clamp(value, 0.f, 1.f);
}

void HostValue::setOption(uint32 bit, TBool on)
{
    if (on)
        options_ |= bit;
    else
        options_ &= ~bit;
}

namespace {
class TextReceiver final : public IValueTextReceiver
{
public:
    tresult queryInterface(const std::uint8_t*, void** obj) override
    {
        if (obj)
            *obj = nullptr;
        return kNoInterface;
    }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    void setText(const char16* t) override { text = t ? toUtf8(t, 128) : std::string(); }
    std::string text;
};
} // namespace

std::string HostValue::text()
{
    if (representation_) {
        TextReceiver receiver;
        if (representation_->valueToString(this, &receiver) == kResultOk)
            return receiver.text;
    }
    if (kind_ == kString)
        return toUtf8(string_.c_str(), 128);
    return {};
}

// ---- host views ----

HostView::~HostView()
{
    clearClient();
}

tresult HostView::queryInterface(const std::uint8_t* iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    IHostView* self = this;
    if (answerInterface(this, iid, iid::FUnknown, self, obj) || answerInterface(this, iid, iid::IHostView, self, obj) ||
        answerInterface(this, iid, iid::IHostViewMouseCapture, static_cast<IHostViewMouseCapture*>(this), obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult HostView::setClient(IHostViewClient* client)
{
    if (client)
        client->addRef();
    clearClient();
    client_ = client;
    return kResultOk;
}

tresult HostView::invalidRect(const ViewRect&)
{
    ++invalidations;
    return kResultOk;
}

void HostView::clearClient()
{
    if (IHostViewClient* c = client_) {
        client_ = nullptr;
        c->release();
    }
}

// ---- frame host ----

namespace {
class HeldService final : public RefCounted<FUnknown>
{
public:
    tresult queryInterface(const std::uint8_t* iid, void** obj) override
    {
        if (!obj)
            return kInvalidArgument;
        if (answerInterface(this, iid, iid::FUnknown, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
};
} // namespace

FrameHost::FrameHost(HostApplication* app)
: app_(app), updates_(new HostUpdateHandler), idle_(new HostIdleRegistry), system_(new HostFrameSystem),
  skin_(new SkinService)
{
    if (app_)
        app_->addRef();
}

FrameHost::~FrameHost()
{
    shutdown();
    updates_->release();
    idle_->release();
    system_->release();
    skin_->release();
    for (FUnknown* u : {static_cast<FUnknown*>(settings_), static_cast<FUnknown*>(mapper_),
                        static_cast<FUnknown*>(bitmaps_), static_cast<FUnknown*>(groups_)})
        if (u)
            u->release();
    if (app_)
        app_->release();
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
    ++served_[key(iid)];
    *obj = made;
    return kResultOk;
}

void FrameHost::idle()
{
    idle_->idle();
    updates_->deliver();
}

} // namespace qelhost
