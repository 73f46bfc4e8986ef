#pragma once
// Bundle and URL handles, standing in for the system's bundle services. The bundle handle itself
// (its plain-C layout with a destroy function, and retain/release) is in bundle_handle.h: it crosses
// the boundary between the host program and the plug-in binary.
#include <cstddef>
#include <cstdint>

#include "platform/bundle_handle.h"

namespace Platform {

using BundleRef = BundleHandle*;

struct URLObject;
using URLRef = URLObject*;

// A bundle for a folder path; null when the path is null, empty or not a directory.
// The handle is created with one retain and frees itself (and its path) when the last one goes.
BundleRef bundleCreate(const char* folderPath);

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

}  // namespace Platform
