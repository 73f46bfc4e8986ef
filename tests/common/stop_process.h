// Stops the whole test process for a while, as a suspended job, a debugger or a frozen container
// would: for tests of bounds that must count only time the process runs.
#pragma once

#include "tests/common/hang_guard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace teststop {

// A child process that stops this process `afterMs` from now, for `forMs`, then lets it go on and
// ends. Reaped when this goes.
class StopThisProcess
{
public:
    StopThisProcess(long afterMs, long forMs)
    : start(std::chrono::steady_clock::now()), planned(std::chrono::milliseconds(afterMs + forMs))
    {
        const pid_t parent = getpid();
        child = fork();
        if (child == 0) {
            // Only async-signal-safe calls in the child of a threaded process.
            const timespec before{afterMs / 1000, afterMs % 1000 * 1000000};
            const timespec during{forMs / 1000, forMs % 1000 * 1000000};
            nanosleep(&before, nullptr);
            kill(parent, SIGSTOP);
            nanosleep(&during, nullptr);
            kill(parent, SIGCONT);
            _exit(0);
        }
    }
    ~StopThisProcess()
    {
        if (child <= 0)
            return;
        // The child ends on its own once its sleeps are over; one that has not moved long after
        // has hung, and is ended here.
        while (waitpid(child, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() - start > planned + testguard::kNoProgress) {
                kill(child, SIGKILL);
                waitpid(child, nullptr, 0);
                ADD_FAILURE() << "the stopping child did not end";
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    StopThisProcess(const StopThisProcess&) = delete;
    StopThisProcess& operator=(const StopThisProcess&) = delete;
    bool started() const { return child > 0; }

private:
    std::chrono::steady_clock::time_point start;
    std::chrono::milliseconds planned;
    pid_t child = -1;
};

} // namespace teststop
