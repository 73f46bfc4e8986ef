// The bundle's class factory with the meter's two classes, and the module hooks.
#pragma once

#include "qel/pluginfactory.h"

namespace Norrik {

class NorrikFactory : public Calvereth::CPluginFactory
{
public:
    explicit NorrikFactory(const Calvereth::FactoryInfo& info) : CPluginFactory(info) {}
    ~NorrikFactory() override = default;

    std::int32_t countClasses() override;
    Calvereth::tresult setHostContext(Calvereth::FUnknown* context) override;
};

Calvereth::FUnknown* createProcessorInstance(void* context);
Calvereth::FUnknown* createControllerInstance(void* context);

// The process-wide UTF-16 names the skin code asks for.
const char16_t* getProductName();
const char16_t* getPluginFolderName();
const char16_t* getSkinFileName();

// The bundle handle as moduleInit copied it.
extern void* gPluginModuleHandle;

} // namespace Norrik

// The one factory with one more reference; null when memory for it or its classes runs out.
extern "C" __attribute__((visibility("default"))) Calvereth::IPluginFactory* GetPluginFactory();
