// Every heap allocation of a `meter` run, failed in turn: set-up, run, read-out, picture and
// tear-down, of a stereo and a 14-channel file in one run, at two block sizes, with and without a
// picture. Each run must give either what a run with memory to spare gives, byte for byte, or for
// each file it could not meter a message naming the file and status 2: never a crash, an abort, a
// hang, a leak (under AddressSanitizer), a reading it did not make, or a file left behind.
//
// The suite fails every few allocations, a few hundred runs for each case (a sixth of that under
// AddressSanitizer, whose runs take five times as long, a twentieth under ThreadSanitizer, whose
// runs take twenty times as long), from a start that differs between the cases;
// NORRIK_ALLOCFAIL_STRIDE=N fails every N-th instead, and the full sweep every one:
//     NORRIK_ALLOCFAIL_STRIDE=1 build/tests/host/allocfail/test_host_allocfail
// and NORRIK_ALLOCFAIL_AT=N fails allocation N alone (of each run), to look into one.
#include "tests/common/fail_nth_allocation.h"

#include "host/audiosource.h"
#include "host/outofmemory.h"
#include "host/meterapp.h"
#include "tests/common/hang_guard.h"
#include "tests/common/sanitized.h"
#include "tests/common/symbolized_stack.h"
#include "tests/common/whole_files.h"
#include "tests/host/allocsweep.h"
#include "tests/host/shortofmemory.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The host tells a shortage a decoder hides by the allocations failed on its thread, counted here as
// meter counts its own.
[[maybe_unused]] const bool gCountHanded =
    (qelhost::countFailedAllocationsWith(&replacedalloc::failedOnThisThread), true);

// CPU time far beyond any correct run of two 3-s files (a hang is what reaches it).
constexpr std::int64_t kRunCpuMs = 120000;
// The child's status when an exception leaves runMeter.
constexpr int kEscaped = 125;
// Runs of each case in the suite.
constexpr long kRunsInSuite = NORRIK_TEST_THREAD_SANITIZED ? 15 : NORRIK_TEST_SANITIZED ? 50 : 300;

// What one run of `meter` gave, and what it says of the allocation that failed.
struct Outcome : shortofmemory::MeterOutcome
{
    std::string trace;
    long allocations = 0;
};

class AllocationSweep
{
public:
    explicit AllocationSweep(const std::string& dir) : dir_(dir) {}

    // Meters `options` in a child process in which allocation `failAt` fails (none when 0).
    Outcome run(const qelhost::MeterOptions& options, long failAt) const
    {
        Outcome o;
        const std::string errPath = dir_ + "/err", tracePath = dir_ + "/trace", countPath = dir_ + "/count";
        o.ended = testguard::runGuardedChild(
            [&](int out) {
                const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                const int trace = open(tracePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                dup2(err, STDERR_FILENO);
                failnth::arm(failAt, trace);
                int status = kEscaped;
                try {
                    status = qelhost::runMeter(
                        options, [out](const std::string& s) { wholefile::write(out, s); },
                        [](std::string_view s) { wholefile::write(STDERR_FILENO, s); });
                } catch (...) {
                    // What ends `meter` by std::terminate; the child must not go on as the test.
                    wholefile::write(STDERR_FILENO, "an exception left runMeter\n");
                    std::_Exit(status);
                }
                const long count = failnth::disarm();
                char text[32];
                const int n = std::snprintf(text, sizeof text, "%ld", count);
                const int counted = open(countPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                wholefile::write(counted, std::string(text, static_cast<std::size_t>(n)));
                close(counted);
                close(out);
                // exit, not _exit: the leak check runs at exit.
                std::exit(status);
            },
            o.out, o.status, kRunCpuMs);
        o.err = wholefile::read(errPath);
        o.trace = wholefile::read(tracePath);
        o.allocations = std::atol(wholefile::read(countPath).c_str());
        std::remove(countPath.c_str());
        o.pictures = wholefile::takeFolder(pictureDir());
        return o;
    }

    std::string pictureDir() const { return dir_ + "/pictures"; }

private:
    std::string dir_;
};

struct SweepCase
{
    int block;
    bool picture;
};

std::string caseName(const ::testing::TestParamInfo<SweepCase>& info)
{
    return "Block" + std::to_string(info.param.block) + (info.param.picture ? "WithPicture" : "");
}

class MeterRunAllocationSweep : public ::testing::TestWithParam<SweepCase>
{
protected:
    static void SetUpTestSuite()
    {
        // libsndfile's open crashes (SIGSEGV) when one of its allocations fails: outside the
        // project, and left out of the sweep.
        ASSERT_TRUE(failnth::spareLibraryOf("sf_open"));
        char tmpl[] = "/tmp/meter-allocfail-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        // 3 s of noise: every reading but the range has a value.
        std::mt19937 random(7);
        std::normal_distribution<float> noise(0.0f, 0.1f);
        for (int channels : {2, 14}) {
            std::vector<float> samples(static_cast<std::size_t>(channels) * 3 * 48000);
            for (float& s : samples)
                s = noise(random);
            const std::string path = dir_ + "/c" + std::to_string(channels) + ".wav";
            std::string error;
            ASSERT_TRUE(qelhost::writeWavFile(path, samples, channels, 48000, error)) << error;
            files_.push_back(path);
        }
    }
    static void TearDownTestSuite()
    {
        for (const std::string& f : files_)
            std::remove(f.c_str());
        files_.clear();
        std::remove((dir_ + "/err").c_str());
        std::remove((dir_ + "/trace").c_str());
        rmdir((dir_ + "/pictures").c_str());
        rmdir(dir_.c_str());
    }

    static std::string dir_;
    static std::vector<std::string> files_;
};

std::string MeterRunAllocationSweep::dir_;
std::vector<std::string> MeterRunAllocationSweep::files_;

TEST_P(MeterRunAllocationSweep, EachFailedAllocationGivesTheReadingsOrARefusalNamingTheFile)
{
    const SweepCase c = GetParam();
    AllocationSweep sweep(dir_);
    ASSERT_EQ(mkdir(sweep.pictureDir().c_str(), 0700) == 0 || errno == EEXIST, true);
    qelhost::MeterOptions options;
    options.files = files_;
    options.bundlePath = NORRIK_BUNDLE_PATH;
    options.json = true;
    options.blockSize = c.block;
    if (c.picture)
        options.svgPath = sweep.pictureDir() + "/out.svg";

    const Outcome want = sweep.run(options, 0);
    ASSERT_EQ(want.status, 0) << want.ended << want.err;
    ASSERT_EQ(shortofmemory::linesByFile(want.out, files_).size(), files_.size()) << want.out;
    ASSERT_GT(want.allocations, 100);

    const allocsweep::Plan plan = allocsweep::plan(want.allocations, kRunsInSuite, c.block / 512 + (c.picture ? 3 : 0));
    long runs = 0, refused = 0, failures = 0;
    for (long n = plan.first; n <= plan.last; n += plan.stride) {
        const Outcome got = sweep.run(options, n);
        ++runs;
        refused += got.status == 2;
        const std::string wrong = shortofmemory::judge(got, want, files_);
        if (!wrong.empty()) {
            ADD_FAILURE() << "allocation " << n << " of " << want.allocations << " failed: " << wrong
                          << "\n-- stderr:\n"
                          << got.err.substr(0, 4000) << "\n-- the allocation that failed:\n"
                          << symbolizedstack::symbolized(got.trace);
            if (++failures >= 20 && !plan.chosen)
                break;
        }
    }
    std::printf("%ld allocations in a run; %ld runs each failing one, %ld of them refused\n", want.allocations, runs,
                refused);
}

INSTANTIATE_TEST_SUITE_P(Meter, MeterRunAllocationSweep,
                         ::testing::Values(SweepCase{512, false}, SweepCase{4096, false}, SweepCase{512, true},
                                           SweepCase{4096, true}),
                         caseName);

} // namespace
