// The built `meter` run as a user runs it, through the shell, and guarded against a hang: a run
// that spins past kMeterCpuMs of CPU time, or makes no progress for testguard::kNoProgress, is
// killed and fails the test, so that a hang fails this test rather than holding up the whole
// group. Never wall time: on a busy machine a correct run takes many times its usual wall time.
#pragma once

#include "tests/common/hang_guard.h"
#include "tests/common/whole_files.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

extern char** environ;

namespace metertest {

// CPU time of the whole command line, far beyond any correct run: the longest takes well under a
// second in a plain build, about 20 s under ThreadSanitizer.
constexpr std::int64_t kMeterCpuMs = 120000;

struct ProgramRun
{
    int status = -1; // the exit status, -1 when `meter` did not exit (killed, or not started)
    std::string out, err;
    int signal = 0;   // the signal that ended `meter`, 0 when none did
    std::string hung; // why the run was killed as hung; empty when it was not
};

// A shell's exit status from waitpid's: a command ended by a signal reads 128 + the signal.
inline int shellStatus(int st)
{
    return WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? 128 + WTERMSIG(st) : -1;
}

// Starts `/bin/sh -c command` as the leader of its own process group, with `actions` and
// `attributes` as the caller set them (their process group set here); -1 when it cannot start.
inline pid_t spawnGroup(const std::string& command, posix_spawn_file_actions_t* actions, posix_spawnattr_t* attributes)
{
    short flags = 0;
    posix_spawnattr_getflags(attributes, &flags);
    posix_spawnattr_setflags(attributes, static_cast<short>(flags | POSIX_SPAWN_SETPGROUP));
    posix_spawnattr_setpgroup(attributes, 0);
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    pid_t pid = -1;
    return posix_spawn(&pid, "/bin/sh", actions, attributes, const_cast<char* const*>(argv), environ) == 0 ? pid : -1;
}

// Runs `meter args`, with `before` in front of it (a pipe into it, or variables of its environment),
// meter named by `program`. Standard error goes to the file `errPath` and comes back in `err`; with
// no path it is merged into `out`. How the run ended is told, not judged: `start` says why it could
// not start.
inline ProgramRun runMeterCommand(const std::string& args, const std::string& errPath, const std::string& before,
                                  std::string& start, const std::string& program = NORRIK_METER_PATH)
{
    ProgramRun r;
    const std::string cmd = before + program + " " + args + (errPath.empty() ? " 2>&1" : " 2>" + errPath);
    int fds[2];
    if (pipe(fds) != 0) {
        start = "no pipe for: " + cmd;
        return r;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    const pid_t pid = spawnGroup(cmd, &actions, &attributes);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        start = "cannot start: " + cmd;
        return r;
    }
    const testguard::Ending end = testguard::waitGuarded(pid, fds[0], &r.out, kMeterCpuMs);
    if (!errPath.empty())
        r.err = wholefile::read(errPath);
    const int status = shellStatus(end.status);
    if (!end.hung.empty())
        r.hung = end.hung;
    else if (status > 128)
        r.signal = status - 128;
    else
        r.status = status;
    return r;
}

// runMeterCommand, which fails the test when `meter` could not start, hung or was ended by a signal
// (but one that `notMeters`, when given, takes for no fault of meter's).
inline ProgramRun runMeterProgram(const std::string& args, const std::string& errPath = "",
                                  const std::string& before = "",
                                  const std::function<bool(const ProgramRun&)>& notMeters = {})
{
    // Once a run has hung, the test's later runs are not waited for too.
    static const ::testing::TestInfo* hungIn = nullptr;
    if (hungIn && hungIn == ::testing::UnitTest::GetInstance()->current_test_info()) {
        ADD_FAILURE() << "not run, as an earlier run of meter in this test hung: " << args;
        return {};
    }
    std::string start;
    ProgramRun r = runMeterCommand(args, errPath, before, start);
    const std::string cmd = before + NORRIK_METER_PATH + " " + args;
    if (!start.empty()) {
        ADD_FAILURE() << start;
    } else if (!r.hung.empty()) {
        ADD_FAILURE() << "meter hung and was killed: it " << r.hung << ": " << cmd;
        hungIn = ::testing::UnitTest::GetInstance()->current_test_info();
    } else if (r.signal != 0 && !(notMeters && notMeters(r))) {
        ADD_FAILURE() << "meter ended by signal " << r.signal << ": " << cmd;
    }
    return r;
}

} // namespace metertest
