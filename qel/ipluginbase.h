// The plug-in base interface, the class factory interfaces and the factory's information records.
#pragma once

#include "qel/qeltypes.h"

namespace Calvereth {

//------------------------------------------------------------------------
class IPluginBase : public FUnknown
{
public:
    virtual int32_t initialize(FUnknown* context) = 0; // 3
    virtual int32_t terminate() = 0;                   // 4

    static const FUID iid;
};

DECLARE_CLASS_IID(IPluginBase, 0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625)

//------------------------------------------------------------------------
struct FactoryInfo
{
    enum
    {
        kVendorSize = 64,
        kURLSize = 256,
        kEmailSize = 128
    };
    enum FactoryFlags : int32_t
    {
        kUnicode = 1 << 4
    };

    char vendor[kVendorSize]{};
    char url[kURLSize]{};
    char email[kEmailSize]{};
    int32_t flags{};

    FactoryInfo() = default;
    // Each text is copied like strncpy (a text filling its field stays unterminated); the unicode flag is always set.
    FactoryInfo(const char* vendor, const char* url, const char* email, int32_t flags);
};
static_assert(sizeof(FactoryInfo) == 452 && offsetof(FactoryInfo, url) == 64 && offsetof(FactoryInfo, email) == 320 &&
              offsetof(FactoryInfo, flags) == 448);

struct ClassInfo
{
    enum
    {
        kCategorySize = 32,
        kNameSize = 64
    };
    TUID cid{};
    int32_t cardinality{};
    char category[kCategorySize]{};
    char name[kNameSize]{};
};
static_assert(sizeof(ClassInfo) == 116 && offsetof(ClassInfo, cardinality) == 16 &&
              offsetof(ClassInfo, category) == 20 && offsetof(ClassInfo, name) == 52);

struct ClassInfo2
{
    enum
    {
        kCategorySize = 32,
        kNameSize = 64,
        kSubCategoriesSize = 128,
        kVendorSize = 64,
        kVersionSize = 64
    };
    TUID cid{};
    int32_t cardinality{};
    char category[kCategorySize]{};
    char name[kNameSize]{};
    uint32_t classFlags{};
    char subCategories[kSubCategoriesSize]{};
    char vendor[kVendorSize]{};
    char version[kVersionSize]{};
    char sdkVersion[kVersionSize]{};

    ClassInfo2() = default;
    // Zeroes the record, then copies the id, numbers and every text that is not null like strncpy.
    ClassInfo2(const TUID cid, int32_t cardinality, const char* category, const char* name, uint32_t classFlags,
               const char* subCategories, const char* vendor, const char* version, const char* sdkVersion);
};
static_assert(sizeof(ClassInfo2) == 440 && offsetof(ClassInfo2, classFlags) == 116 &&
              offsetof(ClassInfo2, subCategories) == 120 && offsetof(ClassInfo2, vendor) == 248 &&
              offsetof(ClassInfo2, version) == 312 && offsetof(ClassInfo2, sdkVersion) == 376);

struct ClassInfoUnicode
{
    enum
    {
        kCategorySize = 32,
        kNameSize = 64,
        kSubCategoriesSize = 128,
        kVendorSize = 64,
        kVersionSize = 64
    };
    TUID cid{};
    int32_t cardinality{};
    char category[kCategorySize]{};
    char16_t name[kNameSize]{};
    uint32_t classFlags{};
    char subCategories[kSubCategoriesSize]{};
    char16_t vendor[kVendorSize]{};
    char16_t version[kVersionSize]{};
    char16_t sdkVersion[kVersionSize]{};

    ClassInfoUnicode() = default;
    // The wide form of an 8-bit record: texts widened byte by byte, categories copied as 8-bit text.
    explicit ClassInfoUnicode(const ClassInfo2& info);
};
static_assert(sizeof(ClassInfoUnicode) == 696 && offsetof(ClassInfoUnicode, name) == 52 &&
              offsetof(ClassInfoUnicode, classFlags) == 180 && offsetof(ClassInfoUnicode, subCategories) == 184 &&
              offsetof(ClassInfoUnicode, vendor) == 312 && offsetof(ClassInfoUnicode, version) == 440 &&
              offsetof(ClassInfoUnicode, sdkVersion) == 568);

inline constexpr int32_t kManyInstances = 0x7FFFFFFF;

//------------------------------------------------------------------------
class IPluginFactory : public FUnknown
{
public:
    virtual int32_t getFactoryInfo(FactoryInfo* info) = 0;                          // 3
    virtual int32_t countClasses() = 0;                                             // 4
    virtual int32_t getClassInfo(int32_t index, ClassInfo* info) = 0;               // 5
    virtual int32_t createInstance(const TUID cid, const TUID iid, void** obj) = 0; // 6

    static const FUID iid;
};

DECLARE_CLASS_IID(IPluginFactory, 0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F)

class IPluginFactory2 : public IPluginFactory
{
public:
    virtual int32_t getClassInfo2(int32_t index, ClassInfo2* info) = 0; // 7

    static const FUID iid;
};

DECLARE_CLASS_IID(IPluginFactory2, 0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB)

class IPluginFactory3 : public IPluginFactory2
{
public:
    virtual int32_t getClassInfoUnicode(int32_t index, ClassInfoUnicode* info) = 0; // 8
    virtual int32_t setHostContext(FUnknown* context) = 0;                          // 9

    static const FUID iid;
};

DECLARE_CLASS_IID(IPluginFactory3, 0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931)

} // namespace Calvereth
