// The built `meter` run as a user runs it, through the shell, and bounded: a run that has not
// ended within kMeterSeconds is killed and fails the test, so that a hang fails this test within
// seconds rather than holding up the whole group.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace metertest {

// Generous for a sanitizer build on a loaded machine: the longest run takes well under a second
// in a plain build, about 6 s under ThreadSanitizer.
constexpr int kMeterSeconds = 30;

// A file's bytes; empty when it cannot be read.
inline std::string readFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return f ? s.str() : std::string();
}

struct ProgramRun
{
    int status = -1; // the exit status, -1 when `meter` did not exit (killed, or not started)
    std::string out, err;
};

// Runs `meter args`, with `before` in front of it (a pipe into it). Standard error goes to the file
// `errPath` and comes back in `err`; with no path it is merged into `out`.
inline ProgramRun runMeterProgram(const std::string& args, const std::string& errPath = "",
                                  const std::string& before = "")
{
    ProgramRun r;
    // Once a run has hung, the test's later runs are not waited for too.
    static const ::testing::TestInfo* hungIn = nullptr;
    if (hungIn && hungIn == ::testing::UnitTest::GetInstance()->current_test_info()) {
        ADD_FAILURE() << "not run, as an earlier run of meter in this test hung: " << args;
        return r;
    }
    const std::string cmd = before + "timeout -s KILL " + std::to_string(kMeterSeconds) + " " + NORRIK_METER_PATH +
                            " " + args + (errPath.empty() ? " 2>&1" : " 2>" + errPath);
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) {
        ADD_FAILURE() << "cannot start: " << cmd;
        return r;
    }
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0)
        r.out.append(buf, n);
    const int st = pclose(p);
    const int status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    if (!errPath.empty())
        r.err = readFile(errPath);
    // The shell answers 128 + the signal that ended its last command: 137 is the bound's SIGKILL.
    if (status == 128 + 9) {
        ADD_FAILURE() << "meter did not end within " << kMeterSeconds << " s and was killed: " << cmd;
        hungIn = ::testing::UnitTest::GetInstance()->current_test_info();
    } else if (status > 128) {
        ADD_FAILURE() << "meter ended by signal " << status - 128 << ": " << cmd;
    } else {
        r.status = status;
    }
    return r;
}

} // namespace metertest
