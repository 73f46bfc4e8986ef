#include "qel/bundleentry.h"

namespace Calvereth {
CFBundleRef gBundleRef = nullptr;
void* gModuleHandle = nullptr;
} // namespace Calvereth

using namespace Calvereth;

bool bundleEntry(CFBundleRef bundle)
{
    if (bundle) {
        // A repeated entry keeps the newest bundle and gives back the retain of the one it held.
        CFBundleRef old = gBundleRef;
        gBundleRef = Platform::bundleRetain(bundle);
        gModuleHandle = bundle;
        Platform::bundleRelease(old);
    }
    return moduleInit();
}

bool bundleExit()
{
    // Cleared with the release, so a second exit cannot give back a retain it no longer holds.
    if (CFBundleRef bundle = gBundleRef) {
        gBundleRef = nullptr;
        gModuleHandle = nullptr;
        Platform::bundleRelease(bundle);
    }
    return moduleExit();
}
