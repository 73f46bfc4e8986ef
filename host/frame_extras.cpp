#include "host/frame_extras.h"

#include "host/outofmemory.h"

#include <algorithm>
#include <string>

namespace qelhost {

tresult HostMeterSettings::queryInterface(const std::uint8_t* iid, void** obj)
{
    return answerQuery(this, iid, obj, {{iid::FUnknown, this}, {iid::IMeterSettings, this}});
}

tresult HostScaleMapper::queryInterface(const std::uint8_t* iid, void** obj)
{
    return answerQuery(this, iid, obj, {{iid::FUnknown, this}, {iid::IScaleMapper, this}});
}

double HostScaleMapper::mapToPosition(int32 viewType, double level)
{
    lastViewType = viewType;
    return std::clamp(level / 1.4125375446227544, 0.0, 1.0);
}

tresult HostMeterBitmapService::queryInterface(const std::uint8_t* iid, void** obj)
{
    return answerQuery(this, iid, obj, {{iid::FUnknown, this}, {iid::IMeterBitmapService, this}});
}

tresult HostColorGroups::queryInterface(const std::uint8_t* iid, void** obj)
{
    return answerQuery(this, iid, obj, {{iid::FUnknown, this}, {iid::IColorGroupInformation, this}});
}

FUnknown* HostMeterBitmapService::make(const ViewRect& r, bool horizontal, uint32 color, const char* role)
{
    FUnknown* made = nullptr;
    answerForPlugIn([&] { made = makeBitmap(r, horizontal, color, role); });
    return made;
}

FUnknown* HostMeterBitmapService::makeBitmap(const ViewRect& r, bool horizontal, uint32 color, const char* role)
{
    SkinBitmapDef def;
    def.name = std::string("host-") + role + "-" + std::to_string(++made);
    def.width = std::max(1, r.right - r.left);
    def.height = std::max(1, r.bottom - r.top);
    def.horizontal = horizontal;
    def.stops = {{0.0, color}, {1.0, color}};
    return new SkinBitmap(def);
}

FUnknown* HostMeterBitmapService::createForeground(const ViewRect& r, int32 type, int32 thickness, TBool horizontal)
{
    lastType = type;
    lastThickness = thickness;
    return make(r, horizontal != 0, 0xFF3FD068, "fore");
}

FUnknown* HostMeterBitmapService::createBackground(const ViewRect& r, int32 type, TBool horizontal)
{
    lastType = type;
    return make(r, horizontal != 0, 0xFF1E3524, "back");
}

FUnknown* HostMeterBitmapService::createSingle(const ViewRect& r)
{
    return make(r, false, 0xFF3FD068, "single");
}

} // namespace qelhost
