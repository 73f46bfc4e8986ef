// The class factory through which the host learns the bundle's classes and creates their objects.
#pragma once

#include "qel/ipluginbase.h"

namespace Calvereth {

// Builds one object of a registered class; the answer holds one reference, or is null.
using CreateFunction = FUnknown* (*)(void* context);

class CPluginFactory : public IPluginFactory3
{
public:
    explicit CPluginFactory(const FactoryInfo& info);
    explicit CPluginFactory(const FactoryInfo* info) : CPluginFactory(info ? *info : FactoryInfo()) {}
    CPluginFactory(const CPluginFactory&) = delete;
    CPluginFactory& operator=(const CPluginFactory&) = delete;

    // Registration keeps the 8-bit record and its wide form; false for null arguments or without memory.
    bool registerClass(const ClassInfo2* info, CreateFunction createFunc, void* context = nullptr);
    bool registerClassUnicode(const ClassInfoUnicode* info, CreateFunction createFunc, void* context = nullptr);

    // FUnknown
    tresult queryInterface(const TUID iid, void** obj) override;
    uint32_t addRef() override;
    uint32_t release() override;

    // IPluginFactory
    tresult getFactoryInfo(FactoryInfo* info) override;
    int32_t countClasses() override;
    tresult getClassInfo(int32_t index, ClassInfo* info) override;
    // 0 with *obj holding the one reference; kNoInterface with *obj null for an unknown class or an
    // interface the object lacks; kOutOfMemory with *obj null, nothing made, when creating it ran
    // out of memory.
    tresult createInstance(const TUID cid, const TUID iid, void** obj) override;

    // IPluginFactory2
    tresult getClassInfo2(int32_t index, ClassInfo2* info) override;

    // IPluginFactory3
    tresult getClassInfoUnicode(int32_t index, ClassInfoUnicode* info) override;
    tresult setHostContext(FUnknown* context) override;

    virtual ~CPluginFactory();

protected:
    struct ClassEntry
    {
        ClassInfo2 info8;
        ClassInfoUnicode info16;
        CreateFunction createFunc;
        void* context;
        bool isUnicode; // registered in wide form only
    };

    bool growTable();
    bool validIndex(int32_t index) const { return index >= 0 && index < classCount; }

    int32_t refCount = 1;
    FactoryInfo factoryInfo;
    ClassEntry* classes = nullptr;
    int32_t classCount = 0;
    int32_t maxClassCount = 0;
};

// The process-wide factory that the bundle's factory function hands out; cleared when it is destroyed.
extern IPluginFactory* gPluginFactory;

} // namespace Calvereth
