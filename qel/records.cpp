#include <cstring>

#include "qel/ipluginbase.h"

namespace Calvereth {
namespace {

// strncpy into a fixed field: the rest zero-filled, a text filling the field stays unterminated.
template <size_t N>
void copyField(char (&dst)[N], const char* src)
{
    std::memset(dst, 0, N);
    if (!src)
        return;
    for (size_t i = 0; i < N && src[i]; ++i)
        dst[i] = src[i];
}

// One code unit per byte; the 8-bit texts are read as Latin-1 so that no byte turns into a surrogate-range unit.
template <size_t N, size_t M>
void widenField(char16_t (&dst)[N], const char (&src)[M])
{
    static_assert(M >= N);
    std::memset(dst, 0, sizeof(dst));
    for (size_t i = 0; i < N && src[i]; ++i)
        dst[i] = static_cast<unsigned char>(src[i]);
}

template <size_t N>
void copyBytes(char (&dst)[N], const char (&src)[N])
{
    std::memset(dst, 0, N);
    for (size_t i = 0; i < N && src[i]; ++i)
        dst[i] = src[i];
}

} // namespace

FactoryInfo::FactoryInfo(const char* vendorText, const char* urlText, const char* emailText, int32_t factoryFlags)
{
    copyField(vendor, vendorText);
    copyField(url, urlText);
    copyField(email, emailText);
    flags = factoryFlags | kUnicode;
}

ClassInfo2::ClassInfo2(const TUID classId, int32_t card, const char* cat, const char* nameText, uint32_t flags,
                       const char* subCats, const char* vendorText, const char* versionText, const char* sdkText)
{
    std::memset(static_cast<void*>(this), 0, sizeof(ClassInfo2));
    if (classId)
        std::memcpy(cid, classId, sizeof(TUID));
    cardinality = card;
    classFlags = flags;
    copyField(category, cat);
    copyField(name, nameText);
    copyField(subCategories, subCats);
    copyField(vendor, vendorText);
    copyField(version, versionText);
    copyField(sdkVersion, sdkText);
}

ClassInfoUnicode::ClassInfoUnicode(const ClassInfo2& info)
{
    std::memcpy(cid, info.cid, sizeof(TUID));
    cardinality = info.cardinality;
    copyBytes(category, info.category);
    widenField(name, info.name);
    classFlags = info.classFlags;
    copyBytes(subCategories, info.subCategories);
    widenField(vendor, info.vendor);
    widenField(version, info.version);
    widenField(sdkVersion, info.sdkVersion);
}

} // namespace Calvereth
