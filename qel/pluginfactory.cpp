#include "qel/pluginfactory.h"

#include "base/atomic.h"

#include <cstdlib>
#include <new>
#include <type_traits>

namespace Calvereth {

IPluginFactory* gPluginFactory = nullptr;

namespace {
static_assert(std::is_trivially_copyable_v<ClassInfo2> && std::is_trivially_copyable_v<ClassInfoUnicode>,
              "the class table is grown by reallocation");
} // namespace

CPluginFactory::CPluginFactory(const FactoryInfo& info) : factoryInfo(info) {}

CPluginFactory::~CPluginFactory()
{
    if (gPluginFactory == static_cast<IPluginFactory*>(this))
        gPluginFactory = nullptr;
    std::free(classes);
}

bool CPluginFactory::growTable()
{
    if (classCount < maxClassCount)
        return true;
    if (maxClassCount > INT32_MAX - 10)
        return false;
    size_t bytes = sizeof(ClassEntry) * static_cast<size_t>(maxClassCount + 10);
    void* grown = std::realloc(static_cast<void*>(classes), bytes);
    if (!grown)
        return false;
    classes = static_cast<ClassEntry*>(grown);
    maxClassCount += 10;
    return true;
}

bool CPluginFactory::registerClass(const ClassInfo2* info, CreateFunction createFunc, void* context)
{
    if (!info || !createFunc || !growTable())
        return false;
    ClassEntry& entry = classes[classCount];
    new (&entry.info8) ClassInfo2(*info);
    new (&entry.info16) ClassInfoUnicode(*info);
    entry.createFunc = createFunc;
    entry.context = context;
    entry.isUnicode = false;
    ++classCount;
    return true;
}

bool CPluginFactory::registerClassUnicode(const ClassInfoUnicode* info, CreateFunction createFunc, void* context)
{
    if (!info || !createFunc || !growTable())
        return false;
    ClassEntry& entry = classes[classCount];
    new (&entry.info8) ClassInfo2();
    new (&entry.info16) ClassInfoUnicode(*info);
    entry.createFunc = createFunc;
    entry.context = context;
    entry.isUnicode = true;
    ++classCount;
    return true;
}

tresult CPluginFactory::queryInterface(const TUID iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    if (iidEqual(iid, IPluginFactory::iid) || iidEqual(iid, IPluginFactory2::iid) ||
        iidEqual(iid, IPluginFactory3::iid) || iidEqual(iid, FUnknown::iid)) {
        addRef();
        *obj = this;
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

uint32_t CPluginFactory::addRef()
{
    return static_cast<uint32_t>(atomicAdd(&refCount, 1));
}

uint32_t CPluginFactory::release()
{
    int32_t count = atomicAdd(&refCount, -1);
    if (count == 0) {
        delete this;
        return 0;
    }
    return static_cast<uint32_t>(count);
}

tresult CPluginFactory::getFactoryInfo(FactoryInfo* info)
{
    if (info)
        std::memcpy(static_cast<void*>(info), &factoryInfo, sizeof(FactoryInfo));
    return kResultOk;
}

int32_t CPluginFactory::countClasses()
{
    return classCount;
}

tresult CPluginFactory::getClassInfo(int32_t index, ClassInfo* info)
{
    if (!info || !validIndex(index))
        return kInvalidArgument;
    const ClassEntry& entry = classes[index];
    if (entry.isUnicode) {
        std::memset(static_cast<void*>(info), 0, sizeof(ClassInfo));
        return kResultFalse;
    }
    std::memcpy(static_cast<void*>(info), &entry.info8, sizeof(ClassInfo));
    return kResultOk;
}

tresult CPluginFactory::getClassInfo2(int32_t index, ClassInfo2* info)
{
    if (!info || !validIndex(index))
        return kInvalidArgument;
    const ClassEntry& entry = classes[index];
    if (entry.isUnicode) {
        std::memset(static_cast<void*>(info), 0, sizeof(ClassInfo2));
        return kResultFalse;
    }
    std::memcpy(static_cast<void*>(info), &entry.info8, sizeof(ClassInfo2));
    return kResultOk;
}

tresult CPluginFactory::getClassInfoUnicode(int32_t index, ClassInfoUnicode* info)
{
    if (!info || !validIndex(index))
        return kInvalidArgument;
    std::memcpy(static_cast<void*>(info), &classes[index].info16, sizeof(ClassInfoUnicode));
    return kResultOk;
}

tresult CPluginFactory::createInstance(const TUID cid, const TUID iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    *obj = nullptr;
    if (!cid)
        return kNoInterface;
    for (int32_t i = 0; i < classCount; ++i) {
        const ClassEntry& entry = classes[i];
        if (std::memcmp(entry.info16.cid, cid, sizeof(TUID)) != 0)
            continue;
        FUnknown* instance = nullptr;
        try {
            instance = entry.createFunc(entry.context);
        } catch (...) {
            // Out of memory: nothing is made, and the host learns why; no exception crosses.
            return kOutOfMemory;
        }
        if (!instance)
            return kNoInterface;
        void* answer = nullptr;
        tresult result = instance->queryInterface(iid, &answer);
        instance->release();
        if (result == kResultOk && answer) {
            *obj = answer;
            return kResultOk;
        }
        return kNoInterface;
    }
    return kNoInterface;
}

tresult CPluginFactory::setHostContext(FUnknown*)
{
    return kNotImplemented;
}

} // namespace Calvereth
