#include "pluginset/common/qel/skininstance.h"

#include <string>

#include "pluginset/common/qel/views/colorgroups.h"
#include "pluginset/common/qel/views/frameservices.h"
#include "qel/bundleentry.h"

namespace Calvereth {

SkinInstance::SkinInstance(const char16* productName)
{
    std::u16string name = productName ? productName : u"";
    if (!name.empty())
        name += u".srf";
    service = Frame::getHostService<ISkinService>();
    try {
        if (!name.empty() && service) {
            service->loadSkin(gBundleRef, name.c_str());
            setColorGroupInformation(service);
        }
    } catch (...) {
        // What the host throws leaves no reference behind.
        if (service)
            service->release();
        throw;
    }
}

SkinInstance::~SkinInstance()
{
    if (service)
        service->release();
}

} // namespace Calvereth
