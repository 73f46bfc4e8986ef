#pragma once
// Bundle and URL handles, standing in for the system's bundle services. A bundle handle crosses
// the boundary between the host program and the plug-in binary, so its layout is plain C and it
// carries its own destroy function: whichever side drops the last reference frees it with the
// allocator of the side that made it.
#include <cstddef>
#include <cstdint>

namespace Platform {

extern "C" {
struct BundleHandle
{
    int32_t references;                    // changed atomically
    char* path;                            // the bundle folder, 0-terminated
    void (*destroy)(struct BundleHandle*); // frees the handle and its path
};
}

using BundleRef = BundleHandle*;

struct URLObject;
using URLRef = URLObject*;

// A bundle for a folder path; null when the path is null, empty or not a directory.
BundleRef bundleCreate(const char* folderPath);
BundleRef bundleRetain(BundleRef bundle);
void bundleRelease(BundleRef bundle);
int32_t bundleRetainCount(BundleRef bundle);

// The bundle's folder as a new URL (the caller releases it); null for a null bundle.
URLRef bundleCopyBundleURL(BundleRef bundle);
// A resource "<bundle>/Contents/Resources/<name>"; null when missing.
URLRef bundleCopyResourceURL(BundleRef bundle, const char* name);

URLRef urlCreateWithFileSystemPath(const char* path, bool isDirectory);
bool urlIsDirectory(URLRef url);
// Writes the 0-terminated path; false when it does not fit into bufferSize bytes.
bool urlGetFileSystemRepresentation(URLRef url, char* buffer, size_t bufferSize);
URLRef urlRetain(URLRef url);
void urlRelease(URLRef url);

} // namespace Platform
