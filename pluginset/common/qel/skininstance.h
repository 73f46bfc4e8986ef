// The host's skin service, taken once per process, with the plug-in's skin loaded into it.
#pragma once

#include "pluginset/common/qel/views/frameinterfaces.h"

namespace Calvereth {

class SkinInstance
{
public:
    explicit SkinInstance(const char16* productName = u"norrik");
    ~SkinInstance();
    SkinInstance(const SkinInstance&) = delete;
    SkinInstance& operator=(const SkinInstance&) = delete;

    ISkinService* getService() const { return service; }

private:
    ISkinService* service = nullptr;
};

} // namespace Calvereth
