// Guards against a hang that only a hang reaches, however slowly a busy machine runs the test: a
// run that has used more CPU time than any correct run needs (it spins), or one that has made no
// progress for a long time (it waits for something that never comes). Never wall time as such:
// on one core shared with dozens of busy processes a correct run takes many times its usual
// wall time, yet it still uses CPU time, and a thread that is woken still runs within a fraction
// of a second.
#pragma once

#include "tests/common/proc_entries.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace testguard {

// Nothing moved for this long: what was waited for has hung. No load on the machine stretches a
// step that a correct run makes in micro- or milliseconds to this.
constexpr auto kNoProgress = std::chrono::seconds(60);
// Less than this much CPU time used in kNoProgress is no progress: a run that waits for nothing
// still wakes now and then (its bounded waits, a sanitizer's own thread), and a run on a starved
// core still gets far more than this.
constexpr std::int64_t kIdleCpuMs = 100;

// CPU time, in ms, of every process in the group `pgid` and of the children its members have
// reaped (so a command that ended within a pipeline still counts). -1 when the group has none left.
inline std::int64_t groupCpuMs(pid_t pgid)
{
    const long tick = sysconf(_SC_CLK_TCK);
    std::int64_t ticks = 0;
    bool any = false;
    testproc::forEachEntry("/proc", "stat", [&](long, const char* line) {
        // The name may hold anything: the fields start after its closing parenthesis.
        const char* rest = std::strrchr(line, ')');
        char state = 0;
        long long ppid = 0, group = 0, session = 0, tty = 0, tpgid = 0;
        unsigned long long flags = 0, minflt = 0, cminflt = 0, majflt = 0, cmajflt = 0;
        unsigned long long utime = 0, stime = 0;
        long long cutime = 0, cstime = 0;
        if (!rest ||
            std::sscanf(rest + 1, " %c %lld %lld %lld %lld %lld %llu %llu %llu %llu %llu %llu %llu %lld %lld", &state,
                        &ppid, &group, &session, &tty, &tpgid, &flags, &minflt, &cminflt, &majflt, &cmajflt, &utime,
                        &stime, &cutime, &cstime) != 15 ||
            group != pgid)
            return;
        any = true;
        ticks += static_cast<std::int64_t>(utime + stime) + cutime + cstime;
    });
    return any ? ticks * 1000 / tick : -1;
}

// This process's CPU time in ms, less that of the calling thread.
inline std::int64_t othersCpuMs()
{
    timespec all{}, mine{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &all);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &mine);
    return (static_cast<std::int64_t>(all.tv_sec - mine.tv_sec) * 1000000000 + (all.tv_nsec - mine.tv_nsec)) / 1000000;
}

// Tells a hang from a slow run by CPU time: `cpuMs()` is the CPU time used so far; the run has hung
// once it exceeds `cpuLimitMs`, or once less than kIdleCpuMs more was used in kNoProgress.
class Judge
{
public:
    Judge(std::int64_t cpuLimitMs, std::function<std::int64_t()> cpuMs)
    : limit_(cpuLimitMs), cpuMs_(std::move(cpuMs)), mark_(cpuMs_()), markTime_(std::chrono::steady_clock::now())
    {}
    // Empty while the run goes on; else why it has hung.
    std::string verdict()
    {
        const std::int64_t used = cpuMs_();
        const auto now = std::chrono::steady_clock::now();
        if (used > limit_)
            return "used " + std::to_string(used / 1000) + " s of CPU time, more than any correct run needs";
        if (used - mark_ >= kIdleCpuMs) {
            mark_ = used;
            markTime_ = now;
        } else if (now - markTime_ >= kNoProgress) {
            return "made no progress for " +
                   std::to_string(std::chrono::duration_cast<std::chrono::seconds>(now - markTime_).count()) +
                   " s (less than " + std::to_string(kIdleCpuMs) + " ms of CPU time used)";
        }
        return {};
    }

private:
    std::int64_t limit_;
    std::function<std::int64_t()> cpuMs_;
    std::int64_t mark_;
    std::chrono::steady_clock::time_point markTime_;
};

// A verdict for Watchdog: the run has hung once `progress()` has not changed for kNoProgress.
inline std::function<std::string()> noProgressOf(std::function<std::uint64_t()> progress)
{
    return [progress = std::move(progress), last = std::uint64_t{0}, moved = std::chrono::steady_clock::time_point{},
            started = false]() mutable -> std::string {
        const std::uint64_t now = progress();
        const auto t = std::chrono::steady_clock::now();
        if (!started || now != last) {
            started = true;
            last = now;
            moved = t;
        } else if (t - moved >= kNoProgress) {
            return "made no progress for " + std::to_string(kNoProgress.count()) + " s";
        }
        return {};
    };
}

// A verdict for Watchdog: this process has hung as Judge tells it by its CPU time (the watching
// thread's left out).
inline std::function<std::string()> cpuOfThisProcess(std::int64_t cpuLimitMs)
{
    return [judge = std::make_shared<Judge>(cpuLimitMs, othersCpuMs)] { return judge->verdict(); };
}

// A thread that asks `verdict()` four times a second while it lives, and calls `onHang` with the
// first answer that is not empty (the run has hung), once.
class Watchdog
{
public:
    Watchdog(std::function<std::string()> verdict, std::function<void(const std::string&)> onHang)
    : verdict_(std::move(verdict)), onHang_(std::move(onHang)), thread_([this] { watch(); })
    {}
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    void watch()
    {
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(m_);
                if (cv_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stop_; }))
                    return;
            }
            const std::string why = verdict_();
            if (!why.empty()) {
                onHang_(why);
                return;
            }
        }
    }

    std::function<std::string()> verdict_;
    std::function<void(const std::string&)> onHang_;
    std::mutex m_;
    std::condition_variable cv_;
    bool stop_ = false;
    std::thread thread_;
};

// The status of a process that guardThisProcess ended as hung.
constexpr int kHungStatus = 125;

// For a process that ends itself (a death test's child): a Watchdog that, once the process has hung
// as Judge tells it, writes "hung: " and the reason to standard error and ends the process with
// kHungStatus. It watches while it lives.
inline std::unique_ptr<Watchdog> guardThisProcess(std::int64_t cpuLimitMs)
{
    return std::make_unique<Watchdog>(cpuOfThisProcess(cpuLimitMs), [](const std::string& why) {
        std::fprintf(stderr, "hung: %s\n", why.c_str());
        std::fflush(stderr);
        std::_Exit(kHungStatus);
    });
}

// How a guarded child ended.
struct Ending
{
    int status = -1;  // as waitpid gives it
    std::string hung; // empty, or why the child's group was killed as hung
};

// Waits for the child `pid`, the leader of its own process group, to end; meanwhile appends what
// it writes to `fd` (when not -1, closed here at its end) to `out`. A group that has hung, as Judge
// tells it by the group's CPU time, is killed.
inline Ending waitGuarded(pid_t pid, int fd, std::string* out, std::int64_t cpuLimitMs)
{
    Ending e;
    std::int64_t seen = 0;
    Judge judge(cpuLimitMs, [pid, &seen] {
        // Once the leader is reaped, its part is no longer found: what was seen stays counted.
        const std::int64_t ms = groupCpuMs(pid);
        if (ms > seen)
            seen = ms;
        return seen;
    });
    bool reaped = false;
    auto judged = std::chrono::steady_clock::now();
    for (;;) {
        if (fd >= 0) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 200) > 0) {
                char buf[4096];
                const ssize_t got = read(fd, buf, sizeof buf);
                if (got > 0 && out)
                    out->append(buf, static_cast<std::size_t>(got));
                if (got == 0 || (got < 0 && errno != EINTR)) {
                    close(fd);
                    fd = -1;
                }
            }
        } else if (!reaped) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!reaped && waitpid(pid, &e.status, WNOHANG) == pid)
            reaped = true;
        // Done once the child has ended and the pipe is closed by all who held it.
        if (reaped && fd < 0)
            return e;
        if (std::chrono::steady_clock::now() - judged >= std::chrono::seconds(1)) {
            judged = std::chrono::steady_clock::now();
            e.hung = judge.verdict();
            if (!e.hung.empty()) {
                kill(-pid, SIGKILL);
                if (!reaped)
                    waitpid(pid, &e.status, 0);
                if (fd >= 0)
                    close(fd);
                return e;
            }
        }
    }
}

// Runs `child(fd)` in a forked child, the leader of its own process group, which must end the
// process itself; what it writes to `fd` comes back in `out`. How it ended, in words: empty when it
// exited (with its exit status in `status`), else "hung: it …", "ended by signal N" or why it could
// not run.
inline std::string runGuardedChild(const std::function<void(int fd)>& child, std::string& out, int& status,
                                   std::int64_t cpuLimitMs)
{
    status = -1;
    int fds[2];
    if (pipe(fds) != 0)
        return "no pipe";
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        close(fds[0]);
        child(fds[1]);
        std::_Exit(127); // the child must not go on as the test
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return "cannot fork";
    }
    const Ending end = waitGuarded(pid, fds[0], &out, cpuLimitMs);
    if (!end.hung.empty())
        return "hung: it " + end.hung;
    if (WIFSIGNALED(end.status))
        return "ended by signal " + std::to_string(WTERMSIG(end.status));
    if (WIFEXITED(end.status))
        status = WEXITSTATUS(end.status);
    return {};
}

} // namespace testguard
