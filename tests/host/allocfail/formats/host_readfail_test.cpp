// Opening and reading a file of each format the host reads, and one through a pipe, with each heap
// allocation of the open and the full read failed in turn, each in a child process: the read gives
// every sample that a read with memory to spare gives, or it is refused as out of memory
// (std::bad_alloc); never a short read, a read error, other samples, a crash or a hang.
//
// Left out, as they crash the library or decoder beneath the host (SIGSEGV) in calls it cannot do
// without (the failed allocation's stack, then where it crashes):
//   - libsndfile's own zeroed allocations, which it does not check in the open of WAV, RF64, AIFF
//     and CAF (calloc <- psf_store_read_chunk <- *_read_header <- sf_open: in
//     psf_store_read_chunk), FLAC (calloc <- flac_open <- sf_open: in flac_open), Ogg (calloc
//     <- ogg_open <- sf_open: in ogg_stream_init) and Ogg Vorbis (calloc <- ogg_vorbis_open <-
//     sf_open: in vorbis_info_init). The library names none of its own functions to spare.
//   - libvorbis, which checks almost none of its allocations: in the open (<- vorbis_synthesis_init,
//     vorbis_synthesis_headerin <- ogg_vorbis_open <- sf_open: there, or in the first read; malloc
//     <- vorbis_comment_query <- ogg_vorbis_open: in the C library's memcpy) and in the read (malloc
//     <- _vorbis_block_alloc <- vorbis_synthesis <- sf_readf_float: in _vorbis_block_alloc,
//     vorbis_synthesis, res2_inverse or floor1_inverse1, or in the C library's memset under
//     mapping0_inverse).
//
// The suite fails about kRunsInSuite allocations of each format, evenly spread; the environment may
// choose others (tests/host/allocsweep.h), the full sweep every one:
//     NORRIK_ALLOCFAIL_STRIDE=1 build/tests/host/allocfail/formats/test_host_allocfail_formats

// An open that fails for want of memory leaves behind, in libsndfile, the decoder it had made for
// FLAC, or the stream set-up for Vorbis: the host never had them to give back.
#define REPLACEDALLOC_LIBRARY_LEAKS "leak:FLAC__stream_decoder_new\nleak:vorbis_info_init\n"
#include "tests/common/fail_nth_allocation.h"

#include "host/audiosource.h"
#include "host/outofmemory.h"
#include "tests/common/hang_guard.h"
#include "tests/common/sanitized.h"
#include "tests/common/stack_frames.h"
#include "tests/common/symbolized_stack.h"
#include "tests/common/whole_files.h"
#include "tests/host/allocsweep.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The host tells a shortage a decoder hides by the allocations failed on its thread, counted here as
// meter counts its own.
[[maybe_unused]] const bool gCountHanded =
    (qelhost::countFailedAllocationsWith(&replacedalloc::failedOnThisThread), true);

constexpr int kRate = 48000;
constexpr int kChannels = 2;
// Past two of the source's read-ahead chunks, so that a read fails between chunks too.
constexpr std::int64_t kFrames = 40000;
// The frames a child takes in: a decoder may pad, but never to twice the length.
constexpr std::int64_t kRoom = 2 * kFrames;
// CPU time far beyond any correct open and read of a second of audio (a hang is what reaches it).
constexpr std::int64_t kRunCpuMs = 60000;
// Runs of each format in the suite.
constexpr long kRunsInSuite = NORRIK_TEST_THREAD_SANITIZED ? 20 : NORRIK_TEST_SANITIZED ? 40 : 150;

struct Format
{
    const char* name;
    int format;
    bool throughPipe;
};

void PrintTo(const Format& f, std::ostream* out)
{
    *out << f.name;
}

// As `failAt`: no allocation fails, but each leaves errno at ENOMEM, as glibc's malloc may when it
// falls back from huge pages, or from the heap's brk, to another mapping.
constexpr long kEachLeavesEnomem = -1;

NORRIK_TEST_UNINSTRUMENTED bool leavesEnomem()
{
    errno = ENOMEM;
    return false;
}

// Where a crash writes its stack.
int gCrashFd = -1;

void writeCrashStack(int signal)
{
    stackframes::writeCrash(gCrashFd);
    raise(signal); // the handler was reset: the process ends by the signal
}

void catchCrashes(int fd)
{
    gCrashFd = fd;
    stackframes::onCrashSignals(&writeCrashStack);
}

// Makes standard input a pipe that a process of its own fills with `content`.
void pipeToStandardInput(const std::string& content, int keptFrom)
{
    int p[2];
    if (pipe(p) != 0)
        std::_Exit(120);
    if (fork() == 0) {
        close(keptFrom);
        close(p[0]);
        wholefile::write(p[1], content);
        std::_Exit(0);
    }
    close(p[1]);
    dup2(p[0], STDIN_FILENO);
    close(p[0]);
}

// Opens and reads `path` (standard input when `throughPipe`) whole with allocation `failAt` failed
// (none when 0 or kEachLeavesEnomem), and writes to `out` the allocations made, then what the read gave: "refused", the
// error, or the file's properties, warnings and samples. Ends the process.
[[noreturn]] void readInChild(const std::string& path, bool throughPipe, long failAt, int out, int traceFd, int crashFd)
{
    if (throughPipe)
        pipeToStandardInput(wholefile::read(path), out);
    // Everything the child keeps is had before the countdown starts.
    std::vector<float> samples(static_cast<std::size_t>(kChannels * kRoom));
    std::string error, warnings;
    int channels = 0;
    double rate = 0;
    std::int64_t stated = 0, frames = 0;
    std::uint64_t speakers = 0;
    bool refused = false;
    catchCrashes(crashFd);
    failnth::arm(failAt, traceFd);
    if (failAt == kEachLeavesEnomem)
        replacedalloc::install(&leavesEnomem);
    try {
        std::unique_ptr<qelhost::AudioSource> source = qelhost::openAudioFile(throughPipe ? "-" : path, error);
        if (source) {
            channels = source->channels();
            rate = source->sampleRate();
            stated = source->frames();
            speakers = source->speakers();
            for (std::int64_t n = 1; channels == kChannels && n > 0 && frames < kRoom; frames += n) {
                float* to[kChannels] = {&samples[static_cast<std::size_t>(frames)],
                                        &samples[static_cast<std::size_t>(kRoom + frames)]};
                n = source->read(to, std::min<std::int64_t>(4096, kRoom - frames));
                n = std::max<std::int64_t>(n, 0);
            }
            warnings = source->warnings();
        }
    } catch (const std::bad_alloc&) {
        refused = true;
    }
    const long allocations = failnth::disarm();
    std::string result = std::to_string(allocations) + "\n";
    if (refused) {
        result += "refused\n";
    } else if (channels == 0) {
        result += "cannot read: " + error + "\n";
    } else {
        char head[160];
        std::snprintf(head, sizeof head, "%d channels, %g Hz, %lld frames stated, speakers %llx, %lld read\n", channels,
                      rate, static_cast<long long>(stated), static_cast<unsigned long long>(speakers),
                      static_cast<long long>(frames));
        result += head + warnings + "--\n";
        for (int c = 0; c < channels && c < kChannels; ++c)
            result.append(reinterpret_cast<const char*>(&samples[static_cast<std::size_t>(c * kRoom)]),
                          sizeof(float) * static_cast<std::size_t>(frames));
    }
    wholefile::write(out, result);
    close(out);
    close(STDIN_FILENO); // a pipe's writer stops when nobody reads
    while (wait(nullptr) > 0) {
    }
    // exit, not _exit: the leak check runs at exit.
    std::exit(0);
}

struct Outcome
{
    std::string ended; // a signal or a hang; empty when the child exited
    int status = -1;
    long allocations = 0;
    std::string result; // what the read gave
    std::string trace;  // the failed allocation's stack
    std::string crash;  // the crash's stack
};

// What is wrong with `got` against `want`, the read with memory to spare; empty when nothing.
std::string judge(const Outcome& got, const Outcome& want)
{
    if (!got.ended.empty())
        return got.ended;
    if (got.status != 0)
        return "status " + std::to_string(got.status);
    if (got.result == want.result || got.result == "refused\n")
        return {};
    const auto headEnd = got.result.find("--\n");
    if (headEnd == std::string::npos)
        return got.result;
    const auto wantEnd = want.result.find("--\n");
    const std::string head = got.result.substr(0, headEnd), wantHead = want.result.substr(0, wantEnd);
    const std::string sound = got.result.substr(headEnd + 3);
    if (sound.size() < want.result.size() - wantEnd - 3)
        return "a short read: " + head;
    if (sound.find_first_not_of('\0') == std::string::npos)
        return "a read of silence: " + head;
    if (head != wantHead)
        return "another read: " + head + "instead of " + wantHead;
    return "other samples";
}

class ReadAllocationSweep : public ::testing::TestWithParam<Format>
{
protected:
    static void SetUpTestSuite()
    {
        // The crashes listed at the top.
        ASSERT_TRUE(failnth::spareLibraryOf("vorbis_synthesis"));
        ASSERT_TRUE(failnth::spareLibraryCallsTo(reinterpret_cast<void*>(&calloc), "sf_open"));
    }
    void SetUp() override
    {
        char tmpl[] = "/tmp/meter-readfail-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/sound";
        // A second of a tone in noise: every decoder has work in each frame.
        SF_INFO info{};
        info.channels = kChannels;
        info.samplerate = kRate;
        info.format = GetParam().format;
        SNDFILE* f = sf_open(path_.c_str(), SFM_WRITE, &info);
        if (!f)
            GTEST_SKIP() << "libsndfile here cannot write " << GetParam().name << ": " << sf_strerror(nullptr);
        std::mt19937 random(11);
        std::normal_distribution<float> noise(0.0f, 0.05f);
        std::vector<float> samples(static_cast<std::size_t>(kChannels * kFrames));
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = 0.3f * static_cast<float>(std::sin(0.05 * static_cast<double>(i / kChannels))) + noise(random);
        const sf_count_t wrote = sf_writef_float(f, samples.data(), kFrames);
        sf_close(f);
        ASSERT_EQ(wrote, kFrames);
    }
    void TearDown() override
    {
        for (const char* name : {"/sound", "/trace", "/crash"})
            std::remove((dir_ + name).c_str());
        rmdir(dir_.c_str());
    }

    // Opens and reads the file in a child process in which allocation `failAt` fails (none when 0).
    Outcome run(long failAt) const
    {
        Outcome o;
        const std::string tracePath = dir_ + "/trace", crashPath = dir_ + "/crash";
        std::string written;
        o.ended = testguard::runGuardedChild(
            [&](int out) {
                const int trace = open(tracePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                const int crash = open(crashPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                readInChild(path_, GetParam().throughPipe, failAt, out, trace, crash);
            },
            written, o.status, kRunCpuMs);
        const auto line = written.find('\n');
        o.allocations = std::atol(written.substr(0, line).c_str());
        o.result = line == std::string::npos ? std::string() : written.substr(line + 1);
        o.trace = wholefile::read(tracePath);
        o.crash = wholefile::read(crashPath);
        return o;
    }

    std::string dir_;
    std::string path_;
};

TEST_P(ReadAllocationSweep, EachFailedAllocationGivesTheWholeReadOrARefusal)
{
    const Outcome want = run(0);
    ASSERT_TRUE(want.ended.empty() && want.status == 0) << want.ended << " status " << want.status;
    // The whole file, without a warning.
    const std::string whole =
        std::to_string(kFrames) + " frames stated, speakers 3, " + std::to_string(kFrames) + " read\n--\n";
    ASSERT_NE(want.result.find(whole), std::string::npos) << want.result.substr(0, want.result.find("--\n"));

    const allocsweep::Plan plan =
        allocsweep::plan(want.allocations, kRunsInSuite, GetParam().format ^ GetParam().throughPipe);
    long runs = 0, refused = 0, failures = 0;
    for (long n = plan.first; n <= plan.last; n += plan.stride) {
        const Outcome got = run(n);
        ++runs;
        refused += got.result == "refused\n";
        const std::string wrong = judge(got, want);
        if (!wrong.empty()) {
            ADD_FAILURE() << "allocation " << n << " of " << want.allocations << " failed: " << wrong.substr(0, 2000)
                          << "\n-- the allocation that failed:\n"
                          << symbolizedstack::symbolized(got.trace)
                          << (got.crash.empty() ? "" : "-- the crash:\n" + symbolizedstack::symbolized(got.crash));
            if (++failures >= 20 && !plan.chosen)
                break;
        }
    }
    std::printf("%ld allocations in an open and read; %ld runs each failing one, %ld of them refused\n",
                want.allocations, runs, refused);
}

TEST_P(ReadAllocationSweep, AnAllocationThatLeavesEnomemButSucceedsIsNoShortage)
{
    const Outcome want = run(0);
    ASSERT_TRUE(want.ended.empty() && want.status == 0) << want.ended << " status " << want.status;
    const Outcome got = run(kEachLeavesEnomem);
    EXPECT_TRUE(got.ended.empty() && got.status == 0) << got.ended << " status " << got.status;
    EXPECT_EQ(got.result, want.result) << got.result.substr(0, got.result.find("--\n"));
}

std::string formatName(const ::testing::TestParamInfo<Format>& info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Formats, ReadAllocationSweep,
                         ::testing::Values(Format{"Wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, false},
                                           Format{"Rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, false},
                                           Format{"W64", SF_FORMAT_W64 | SF_FORMAT_PCM_16, false},
                                           Format{"Aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, false},
                                           Format{"Caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16, false},
                                           Format{"Flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, false},
                                           Format{"OggVorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS, false},
                                           Format{"OggOpus", SF_FORMAT_OGG | SF_FORMAT_OPUS, false},
                                           Format{"Mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, false},
                                           Format{"FlacThroughPipe", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, true}),
                         formatName);

} // namespace
