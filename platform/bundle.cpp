#include "platform/bundle.h"
#include "platform/refcounted.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

namespace Platform {

namespace {

void destroyBundle(BundleHandle* bundle)
{
    std::free(bundle->path);
    delete bundle;
}

bool isDirectory(const char* path)
{
    struct stat info;
    return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

bool isFile(const char* path)
{
    struct stat info;
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

struct URLObject : RefCounted
{
    std::string path;
    bool directory = false;
};

BundleRef bundleCreate(const char* folderPath)
{
    if (!folderPath || !*folderPath || !isDirectory(folderPath))
        return nullptr;
    char* path = strdup(folderPath);
    if (!path)
        return nullptr;
    size_t n = std::strlen(path);
    while (n > 1 && path[n - 1] == '/')
        path[--n] = 0;
    return new BundleHandle{1, path, &destroyBundle};
}

BundleRef bundleRetain(BundleRef bundle)
{
    if (bundle)
        std::atomic_ref<int32_t>(bundle->references).fetch_add(1);
    return bundle;
}

void bundleRelease(BundleRef bundle)
{
    if (bundle && std::atomic_ref<int32_t>(bundle->references).fetch_sub(1) == 1)
        bundle->destroy(bundle);
}

int32_t bundleRetainCount(BundleRef bundle)
{
    return bundle ? std::atomic_ref<int32_t>(bundle->references).load() : 0;
}

URLRef bundleCopyBundleURL(BundleRef bundle)
{
    if (!bundle || !bundle->path)
        return nullptr;
    return urlCreateWithFileSystemPath(bundle->path, true);
}

URLRef bundleCopyResourceURL(BundleRef bundle, const char* name)
{
    if (!bundle || !bundle->path || !name || !*name)
        return nullptr;
    std::string path = std::string(bundle->path) + "/Contents/Resources/" + name;
    if (!isFile(path.c_str()))
        return nullptr;
    return urlCreateWithFileSystemPath(path.c_str(), false);
}

URLRef urlCreateWithFileSystemPath(const char* path, bool isDirectory)
{
    if (!path || !*path)
        return nullptr;
    auto* url = new URLObject;
    url->path = path;
    url->directory = isDirectory;
    return url;
}

bool urlIsDirectory(URLRef url)
{
    return url && url->directory;
}

bool urlGetFileSystemRepresentation(URLRef url, char* buffer, size_t bufferSize)
{
    if (!url || !buffer || url->path.size() + 1 > bufferSize)
        return false;
    std::memcpy(buffer, url->path.c_str(), url->path.size() + 1);
    return true;
}

URLRef urlRetain(URLRef url)
{
    return retainObject(url);
}

void urlRelease(URLRef url)
{
    releaseObject(url);
}

} // namespace Platform
