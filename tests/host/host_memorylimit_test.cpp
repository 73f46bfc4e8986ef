// `meter` under a limit on its address space (`ulimit -v`), from the least that lets it start to the
// most it needs, in 8-KiB steps over the first 2 MiB and 1-MiB steps after: each limit gives, for
// every file, the readings and picture of a run without a limit or a message naming the file and
// status 2, never a signal (but the loader's own, before meter starts).
#include "host/audiosource.h"
#include "tests/common/sanitized.h"
#include "tests/host/meterrun.h"
#include "tests/host/shortofmemory.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Whether the same run at `kib` KiB, told to trace the loader, ends by a signal before the loader
// hands control to `meter`: glibc 2.36's loader writes through a null pointer where it cannot have
// the first thread's thread-local storage, in a band a few KiB wide, before any code of meter's.
bool endedInTheLoader(long kib, const std::string& args, const std::string& dir)
{
    const std::string traces = dir + "/loader";
    mkdir(traces.c_str(), 0700);
    std::string start;
    const metertest::ProgramRun r = metertest::runMeterCommand(
        args, dir + "/err",
        "ulimit -v " + std::to_string(kib) + "; LD_DEBUG=files LD_DEBUG_OUTPUT=" + traces + "/trace ", start);
    std::remove((dir + "/err").c_str());
    bool handedOver = false;
    for (const auto& [name, trace] : wholefile::takeFolder(traces)) // "trace.PID"
        handedOver |= trace.find("transferring control") != std::string::npos;
    rmdir(traces.c_str());
    return start.empty() && r.hung.empty() && r.signal != 0 && !handedOver;
}

// `meter` with at most `kib` KiB of address space (0: no limit). An ending by a signal inside the
// loader reads as the loader's refusal to start it.
shortofmemory::MeterOutcome meterWithin(long kib, const std::string& args, const std::string& dir)
{
    const std::string limit = kib > 0 ? "ulimit -v " + std::to_string(kib) + "; " : "";
    bool inTheLoader = false;
    const metertest::ProgramRun r =
        metertest::runMeterProgram(args, dir + "/err", limit, [&](const metertest::ProgramRun&) {
            return inTheLoader = kib > 0 && endedInTheLoader(kib, args, dir);
        });
    std::remove((dir + "/err").c_str());
    shortofmemory::MeterOutcome o;
    o.status = inTheLoader ? 127 : r.status;
    if (!inTheLoader && r.status < 0)
        o.ended = "ended by a signal or hung";
    o.out = r.out;
    o.err =
        inTheLoader ? "the loader ended by signal " + std::to_string(r.signal) + " before it started meter\n" : r.err;
    o.pictures = wholefile::takeFolder(dir + "/pictures");
    return o;
}

// `meter` itself never ran: the loader could not start it within the limit (status 127, with its
// own message). A signal or any other ending is meter's and is judged.
bool neverStarted(const shortofmemory::MeterOutcome& o)
{
    return o.status == 127 && o.err.rfind("meter: ", 0) != 0 && o.err.find("\nmeter: ") == std::string::npos;
}

TEST(HostMemoryLimit, EveryLimitGivesTheReadingsOrARefusalNamingTheFile)
{
#if NORRIK_TEST_SANITIZED
    GTEST_SKIP() << "a sanitizer's shadow memory leaves no room for a limit on the address space";
#endif
    char tmpl[] = "/tmp/meter-limit-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    ASSERT_EQ(mkdir((dir + "/pictures").c_str(), 0700), 0);
    std::vector<std::string> files;
    std::mt19937 random(3);
    std::normal_distribution<float> noise(0.0f, 0.1f);
    for (int channels : {2, 14}) {
        std::vector<float> samples(static_cast<std::size_t>(channels) * 3 * 48000);
        for (float& s : samples)
            s = noise(random);
        files.push_back(dir + "/c" + std::to_string(channels) + ".wav");
        std::string error;
        ASSERT_TRUE(qelhost::writeWavFile(files.back(), samples, channels, 48000, error)) << error;
    }
    const std::string args =
        "--json --block 4096 --svg " + dir + "/pictures/out.svg " + files[0] + " " + files[1] + " " + files[0];
    files.push_back(files[0]);
    const shortofmemory::MeterOutcome want = meterWithin(0, args, dir);
    ASSERT_EQ(want.status, 0) << want.err;

    // The least limit that lets `meter` meter everything, and the least that lets it start, found
    // by halving; then every MiB in between, and a few beyond.
    constexpr long kMiB = 1024;
    const auto fits = [&](long kib) {
        const auto got = meterWithin(kib, args, dir);
        return got.status == 0 && shortofmemory::judge(got, want, files).empty();
    };
    const auto starts = [&](long kib) { return !neverStarted(meterWithin(kib, args, dir)); };
    long low = 8 * kMiB, high = 4096 * kMiB;
    ASSERT_TRUE(fits(high));
    while (high - low > kMiB) {
        const long mid = (low + high) / 2 / kMiB * kMiB;
        (fits(mid) ? high : low) = mid;
    }
    long start = 8 * kMiB, all = high;
    while (all - start > kMiB) {
        const long mid = (start + all) / 2 / kMiB * kMiB;
        (starts(mid) ? all : start) = mid;
    }
    int refused = 0, judged = 0;
    const auto judgeAt = [&](long kib) {
        const auto got = meterWithin(kib, args, dir);
        if (neverStarted(got))
            return;
        ++judged;
        refused += got.status == 2;
        const std::string wrong = shortofmemory::judge(got, want, files);
        EXPECT_TRUE(wrong.empty()) << "ulimit -v " << kib << ": " << wrong << "\n" << got.err;
    };
    // Just above the start, where what the process sets aside as it starts may not fit (a band
    // under 100 KiB wide, placed differently by each compiler's build), in fine steps.
    constexpr long kFine = 8, kFineSpan = 2 * kMiB;
    for (long kib = start; kib < all + kFineSpan; kib += kFine)
        judgeAt(kib);
    for (long kib = all + kFineSpan; kib <= high + 4 * kMiB; kib += kMiB)
        judgeAt(kib);
    std::printf("limits from %ld to %ld KiB: %d judged, %d of them refused\n", start, high + 4 * kMiB, judged, refused);
    EXPECT_GT(refused, 0);
    for (std::size_t i = 0; i < 2; ++i)
        std::remove(files[i].c_str());
    rmdir((dir + "/pictures").c_str());
    rmdir(dir.c_str());
}

} // namespace
