// The value objects and host views the host hands the plug-in's views: what the drawing services
// and the skin's editor view both draw from.
#pragma once

#include "host/frameabi.h"
#include "host/hostobjects.h"

#include <cstdint>
#include <string>

namespace qelhost {

// A value object the host draws from.
class HostValue final : public RefCounted<IHostValueOptions, IHostValueMeter, IHostValueStringHolder>
{
public:
    enum Kind
    {
        kInt,
        kRange,
        kBool,
        kString
    };
    explicit HostValue(Kind kind) : kind_(kind) {}

    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    void setController(IPlugController* owner, int32 id) override
    {
        owner_ = owner;
        id_ = id;
    }
    int32 getId() override { return id_; }
    tresult getString(char16* buffer, int32* size) override;
    void setString(const char16* text, int32 flag) override;
    void setInt(int32 value, int32 flag) override;
    void setIntMin(int32 value) override { intMin_ = value; }
    void setIntMax(int32 value) override { intMax_ = value; }
    void setPlain(int32 flag, float value) override;
    void setMin(float value) override { min_ = value; }
    void setMax(float value) override { max_ = value; }
    float getNormalized() override { return normalized_; }
    void setNormalized(int32 flag, float value) override;
    void setDefault(float value) override { default_ = value; }
    void setOption(uint32 bit, TBool on) override;
    void setMeterFlag(int32 flag) override { meterFlag_ = flag; }
    void setStringRepresentation(IValueStringRepresentation* r) override { representation_ = r; }

    Kind kind() const { return kind_; }
    IPlugController* owner() const { return owner_; }
    // The display text: the controller's, when it gave a representation, else the value's own.
    std::string text();
    const std::u16string& string() const { return string_; }
    int32 meterFlag() const { return meterFlag_; }
    float defaultValue() const { return default_; }
    uint32 options() const { return options_; }
    int lastFlag() const { return lastFlag_; }

private:
    Kind kind_;
    IPlugController* owner_ = nullptr; // no reference: the controller owns the value
    IValueStringRepresentation* representation_ = nullptr;
    int32 id_ = 0;
    int32 intMin_ = 0, intMax_ = 1;
    float min_ = 0.f, max_ = 1.f;
    float normalized_ = 0.f;
    float default_ = 0.f;
    int32 meterFlag_ = 0;
    uint32 options_ = 0;
    int lastFlag_ = 0;
    std::u16string string_;
};

class HostView final : public RefCounted<IHostView, IHostViewMouseCapture>
{
public:
    ~HostView() override;
    tresult queryInterface(const std::uint8_t* iid, void** obj) override;
    tresult setClient(IHostViewClient* client) override;
    tresult slot4(const ViewRect& rect) override { return invalidRect(rect); }
    tresult invalidRect(const ViewRect& rect) override;
    tresult isMouseButtonDown(int32& down) override
    {
        down = 0;
        return kResultOk;
    }
    tresult getMousePosition(int32& x, int32& y) override
    {
        x = mouseX;
        y = mouseY;
        return kResultOk;
    }
    tresult slot8(FUnknown** attributes) override
    {
        if (attributes)
            *attributes = nullptr;
        return kNotImplemented;
    }
    tresult setMouseCapture(TBool state) override
    {
        captured = state != 0;
        return kResultOk;
    }

    IHostViewClient* client() const { return client_; }
    // Drops the client (and with it the plug-in's view).
    void clearClient();
    int invalidations = 0;
    bool captured = false;
    int32 mouseX = 0, mouseY = 0;

private:
    IHostViewClient* client_ = nullptr;
};

// The frame host, and the context the controller is initialised with: it also answers as the host

} // namespace qelhost
