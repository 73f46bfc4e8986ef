// The bundle's entry and exit functions, called by the host once after loading and once before unloading.
#pragma once

#include "platform/bundle.h"

using CFBundleRef = Platform::BundleRef;

extern "C" {
// Keeps the bundle with one retain of its own (a null bundle is accepted), then runs the module start hook.
__attribute__((visibility("default"))) bool bundleEntry(CFBundleRef bundle);
// Gives the retain back (once, however often it is called), then runs the module end hook.
__attribute__((visibility("default"))) bool bundleExit();
}

// The module hooks, defined by the plug-in.
bool moduleInit();
bool moduleExit();

namespace Calvereth {
// The bundle that bundleEntry keeps (retained), and the same bundle for code that loads resources from it.
extern CFBundleRef gBundleRef;
extern void* gModuleHandle;
} // namespace Calvereth
