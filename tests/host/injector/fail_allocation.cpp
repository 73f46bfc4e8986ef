// libfail_allocation.so: preloaded into a program (LD_PRELOAD), it fails the program's heap
// allocations as the environment says, counted from the first allocation of the process (1):
//   NORRIK_FAIL_ALLOCATION=N        allocation N fails, alone
//   NORRIK_FAIL_ALLOCATION=N,M      allocation N fails alone, and later allocation M alone
//   NORRIK_FAIL_ALLOCATIONS_FROM=N  allocation N fails, and every one after it
//   NORRIK_FAIL_TRACE=PATH          the first failed allocation's stack is written there, and M's;
//                                   a crash (SIGSEGV, SIGBUS, SIGABRT, SIGILL, SIGFPE) adds the stack
//                                   of the allocation that last failed in the crashing thread, and
//                                   the crash's own, and then ends the process by the same signal
//   NORRIK_FAIL_COUNT=PATH          the number of allocations the process made is written there, as
//                                   text, when it exits
// The C allocation functions and the operator new family are replaced; a failed allocation sets
// errno to ENOMEM, as malloc does. Nothing is spared.
namespace failallocation {
bool firstFails();
} // namespace failallocation
#define REPLACEDALLOC_FIRST_HOOK &failallocation::firstFails
#include "tests/common/fail_nth_allocation.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace failallocation {

namespace {

// The descriptors are kept above those a program may find closed and open for itself.
constexpr int kLowestDescriptor = 100;
int gCountFd = -1;
bool gCrashed = false;

// The allocation that last failed in this thread, and its stack.
[[gnu::tls_model("initial-exec")]] thread_local long tLastFailed = 0;
[[gnu::tls_model("initial-exec")]] thread_local stackframes::Stack tLastFailedStack;

int openHigh(const char* path, int flags)
{
    const int fd = open(path, flags | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    const int high = fcntl(fd, F_DUPFD_CLOEXEC, kLowestDescriptor);
    close(fd);
    return high;
}

void onCrash(int sig)
{
    const int fd = failnth::gTraceFd;
    if (fd >= 0 && !__atomic_exchange_n(&gCrashed, true, __ATOMIC_SEQ_CST)) {
        stackframes::Line line;
        line.add("signal ").number(static_cast<std::uintptr_t>(sig));
        if (tLastFailed > 0) {
            line.add("; the allocation that last failed in its thread: ")
                .number(static_cast<std::uintptr_t>(tLastFailed))
                .add("\n")
                .writeTo(fd);
            stackframes::write(fd, tLastFailedStack);
        } else {
            line.add("; no allocation failed in its thread\n").writeTo(fd);
        }
        stackframes::writeCrash(fd);
    }
    // The action was reset on entry: the signal ends the process once the handler returns.
    raise(sig);
}

bool recordingFails()
{
    if (!failnth::failsNow())
        return false;
    tLastFailed = __atomic_load_n(&failnth::gCount, __ATOMIC_SEQ_CST);
    stackframes::collect(tLastFailedStack);
    return true;
}

long fromEnvironment(const char* name, int index = 0)
{
    const char* value = std::getenv(name);
    for (; value && index > 0; --index) {
        value = std::strchr(value, ',');
        value = value ? value + 1 : nullptr;
    }
    return value ? std::atol(value) : 0;
}

} // namespace

// The hook of the process's first allocation: takes what the environment asks, then hands on to the
// hook that fails and records. No thread but the first runs yet.
bool firstFails()
{
    const long once = fromEnvironment("NORRIK_FAIL_ALLOCATION");
    const long then = fromEnvironment("NORRIK_FAIL_ALLOCATION", 1);
    const long from = fromEnvironment("NORRIK_FAIL_ALLOCATIONS_FROM");
    const char* trace = std::getenv("NORRIK_FAIL_TRACE");
    const char* count = std::getenv("NORRIK_FAIL_COUNT");
    const int traceFd = trace ? openHigh(trace, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND) : -1;
    gCountFd = count ? openHigh(count, O_WRONLY | O_CREAT | O_TRUNC) : -1;
    if (traceFd >= 0)
        stackframes::onCrashSignals(&onCrash);
    failnth::arm(from > 0 ? from : once, traceFd, from > 0, from > 0 ? 0 : then);
    replacedalloc::install(&recordingFails);
    return recordingFails();
}

namespace {

[[gnu::destructor]] void writeCount()
{
    if (gCountFd >= 0)
        stackframes::Line()
            .number(static_cast<std::uintptr_t>(__atomic_load_n(&failnth::gCount, __ATOMIC_SEQ_CST)))
            .add("\n")
            .writeTo(gCountFd);
}

} // namespace

} // namespace failallocation
