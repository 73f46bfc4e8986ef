#include "pluginset/common/qel/skininstance.h"

#include <string>

#include "pluginset/common/qel/views/colorgroups.h"
#include "pluginset/common/qel/views/frameservices.h"
#include "qel/bundleentry.h"

namespace Calvereth {

SkinInstance::SkinInstance(const char16* productName)
{
    service = Frame::getHostService<ISkinService>();
    std::u16string name = productName ? productName : u"";
    if (!name.empty() && service) {
        name += u".srf";
        service->loadSkin(gBundleRef, name.c_str());
        setColorGroupInformation(service);
    }
}

SkinInstance::~SkinInstance()
{
    if (service)
        service->release();
}

} // namespace Calvereth
