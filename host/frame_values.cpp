#include "host/frame_values.h"

#include "host/outofmemory.h"

#include <algorithm>

namespace qelhost {

// ---- values ----

tresult HostValue::queryInterface(const std::uint8_t* iid, void** obj)
{
    IHostValueOptions* self = this;
    return answerQuery(this, iid, obj,
                       {{iid::FUnknown, self},
                        {iid::IHostValueOptions, self},
                        {iid::IHostValueMeter, static_cast<IHostValueMeter*>(this)},
                        {iid::IHostValueStringHolder, static_cast<IHostValueStringHolder*>(this)}});
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
    answerForPlugIn([&] { string_ = text ? std::u16string(text) : std::u16string(); });
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
class TextReceiver final : public Uncounted<IValueTextReceiver>
{
public:
    void setText(const char16* t) override
    {
        answerForPlugIn([&] { text = t ? toUtf8(t, 128) : std::string(); });
    }
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
    IHostView* self = this;
    return answerQuery(this, iid, obj,
                       {{iid::FUnknown, self},
                        {iid::IHostView, self},
                        {iid::IHostViewMouseCapture, static_cast<IHostViewMouseCapture*>(this)}});
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

} // namespace qelhost
