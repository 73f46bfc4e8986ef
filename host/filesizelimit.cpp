#include "host/filesizelimit.h"

#include "host/signaldefault.h"

#include <mutex>

namespace qelhost {

namespace {

std::mutex gLock;
int gAlive = 0;          // instances alive, under gLock
bool gIgnored = false;   // SIGXFSZ set to SIG_IGN by the first of them
struct sigaction gBefore // what it was before
{};

} // namespace

FileSizeLimitAsError::FileSizeLimitAsError()
{
    const std::lock_guard<std::mutex> lock(gLock);
    if (gAlive++ > 0)
        return;
    struct sigaction ignore
    {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    gIgnored = takeOverDefault(SIGXFSZ, ignore, gBefore);
}

FileSizeLimitAsError::~FileSizeLimitAsError()
{
    const std::lock_guard<std::mutex> lock(gLock);
    if (--gAlive > 0)
        return;
    if (gIgnored)
        sigaction(SIGXFSZ, &gBefore, nullptr);
    gIgnored = false;
}

} // namespace qelhost
