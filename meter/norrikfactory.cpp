#include "meter/norrikfactory.h"

#include "meter/bigmeterqel.h"
#include "meter/smallbigmetercontroller.h"
#include "meter/norrikids.h"
#include "qel/bundleentry.h"

#include <new>

namespace Norrik {

using namespace Calvereth;

void* gPluginModuleHandle = nullptr;

std::int32_t NorrikFactory::countClasses()
{
    return classCount;
}

tresult NorrikFactory::setHostContext(FUnknown*)
{
    return kResultOk;
}

FUnknown* createProcessorInstance(void* context)
{
    return BigMeterQel::createInstance(context);
}

FUnknown* createControllerInstance(void* context)
{
    return SmallBigMeterController::createInstance(context);
}

const char16_t* getProductName()
{
    return u"norrik";
}

const char16_t* getPluginFolderName()
{
    return u"qel3plugins";
}

const char16_t* getSkinFileName()
{
    return u"norrik.xml";
}

} // namespace Norrik

using namespace Calvereth;

IPluginFactory* GetPluginFactory()
{
    if (gPluginFactory) {
        gPluginFactory->addRef();
        return gPluginFactory;
    }
    static const FactoryInfo factoryInfo("Calvereth Media Technologies", "https://www.calvereth.example",
                                         "mailto:info@calvereth.example", 24);
    static const ClassInfo2 processorClass(Norrik::kProcessorUid, kManyInstances, "Audio Module Class", "Norrik", 1,
                                           "Fx|Tools", "", "1.0.0.181", "QEL 3.5.2");
    static const ClassInfo2 controllerClass(Norrik::kControllerUid, kManyInstances, "Component Controller Class",
                                            "Norrik Controller", 0, "", "", "1.0.0.181", "QEL 3.5.2");
    // Out of memory the host gets no factory rather than an exception or one without its classes.
    auto* factory = new (std::nothrow) Norrik::NorrikFactory(factoryInfo);
    if (!factory)
        return nullptr;
    gPluginFactory = factory;
    if (!factory->registerClass(&processorClass, Norrik::createProcessorInstance, nullptr) ||
        !factory->registerClass(&controllerClass, Norrik::createControllerInstance, nullptr)) {
        factory->release();
        return nullptr;
    }
    return factory;
}

bool moduleInit()
{
    Norrik::gPluginModuleHandle = gModuleHandle;
    return true;
}

bool moduleExit()
{
    return true;
}
