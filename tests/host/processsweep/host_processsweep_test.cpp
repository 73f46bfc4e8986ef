// The `meter` program as a user runs it, short of memory at any allocation of the whole process:
// libfail_allocation.so, preloaded, fails allocation N alone, or every allocation from N on, from
// the process's start to its exit (the loader, the command line, the decoders, main), over files of
// every format the README lists, standard input redirected and piped, several files a run, with
// and without pictures over earlier ones. Each run must give, for each file, the report line and
// picture of a run with memory to spare, byte for byte, or a refusal naming the file for want of
// memory with its picture's name left as it was, then status 2; or the loader fails before
// `meter` runs. A crash fails the test unless both the failed allocation and the crash lie in a
// system library's code: such a crash is counted and its stacks listed once.
//
// The suite fails a sample of allocations each way (evenly spaced, and the powers of two for the
// process's start); NORRIK_ALLOCFAIL_STRIDE=N fails every N-th instead, the full sweep every one:
//     NORRIK_ALLOCFAIL_STRIDE=1 build/tests/host/processsweep/test_host_processsweep
// and NORRIK_ALLOCFAIL_AT=N fails allocation N alone, and every one from N on, to look into one.
#include "tests/common/sanitized.h"
#include "tests/common/symbolized_stack.h"
#include "tests/host/allocsweep.h"
#include "tests/host/meterrun.h"
#include "tests/host/shortofmemory.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#ifndef NORRIK_INJECTOR_PATH
#define NORRIK_INJECTOR_PATH ""
#endif

namespace {

using symbolizedstack::Frame;

// Runs of each case in the suite, each way: about a minute a case.
constexpr long kRunsInSuite = 200;

// The formats the README lists, as the test writes them.
struct Format
{
    const char* extension;
    int format;
};
constexpr Format kFormats[] = {
    {"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
    {"rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_24},
    {"w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT},
    {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
    {"caf", SF_FORMAT_CAF | SF_FORMAT_ALAW},
    {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
    {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
    {"opus", SF_FORMAT_OGG | SF_FORMAT_OPUS},
    {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
};

struct SweepCase
{
    const char* name;
    std::vector<std::string> files; // by extension; "-" is standard input
    const char* input;              // what standard input reads, by extension; null for none
    bool piped;                     // standard input a pipe (`cat FILE | meter -`), not the file itself
    bool pictures;                  // --svg DIR/out.svg, over earlier pictures at some of the names
};

std::string caseName(const ::testing::TestParamInfo<SweepCase>& info)
{
    return info.param.name;
}

void PrintTo(const SweepCase& c, std::ostream* out)
{
    *out << c.name;
}

// What the injector wrote of a run: the first failed allocation, and a crash with the allocation
// that last failed in its thread.
struct Trace
{
    std::string text;
    std::vector<Frame> failed;     // the first allocation that failed
    int signal = 0;                // the crash's signal, 0 when none
    std::vector<Frame> lastFailed; // the allocation that last failed in the crashing thread
    std::vector<Frame> crash;
};

Trace parseTrace(const std::string& text)
{
    Trace t;
    t.text = text;
    std::vector<Frame>* into = nullptr;
    for (const std::string& line : shortofmemory::linesOf(text)) {
        Frame frame;
        if (symbolizedstack::parseFrame(line, frame)) {
            if (into)
                into->push_back(frame);
        } else if (line.rfind("allocation ", 0) == 0) {
            into = &t.failed;
        } else if (line.rfind("signal ", 0) == 0) {
            t.signal = std::atoi(line.c_str() + 7);
            into = &t.lastFailed;
        } else if (line == "the crash:") {
            into = &t.crash;
        }
    }
    return t;
}

std::string baseName(const std::string& path)
{
    return path.substr(path.find_last_of('/') + 1);
}

// Code of the project's own: `meter` and the plug-in.
bool projects(const Frame& f)
{
    static const std::set<std::string> own = {std::filesystem::weakly_canonical(NORRIK_METER_PATH).string(),
                                              std::filesystem::weakly_canonical(NORRIK_BUNDLE_PATH).string()};
    return own.count(std::filesystem::weakly_canonical(f.object).string()) > 0;
}

bool injects(const Frame& f)
{
    return baseName(f.object) == baseName(NORRIK_INJECTOR_PATH);
}

// The C library: any code may end up in it (memcpy, abort).
bool cLibrary(const Frame& f)
{
    return baseName(f.object).rfind("libc.so", 0) == 0;
}

// The C++ run-time, which allocates for the project's code (operator new, a string's growth) and
// unwinds its exceptions.
bool cppRuntime(const Frame& f)
{
    return baseName(f.object).rfind("libstdc++.so", 0) == 0 || baseName(f.object).rfind("libgcc_s.so", 0) == 0;
}

// meter's own allocation functions, which pass each call on (to the injector's): the allocator, not
// the code that asked.
bool programAllocator(const Frame& f)
{
    static const std::set<std::string> names = {"malloc",        "calloc", "realloc", "reallocarray",  "memalign",
                                                "aligned_alloc", "valloc", "pvalloc", "posix_memalign"};
    return names.count(f.name) > 0 && projects(f);
}

// The system libraries a stack passes through before it reaches the project's code, innermost
// first; an allocation's leaves out the C++ run-time unless it never reaches the project's code
// (the run-time allocating for itself, as it starts).
std::vector<std::string> systemLibraries(const std::vector<Frame>& stack, bool allocation)
{
    bool reachesProject = false;
    for (const Frame& f : stack)
        reachesProject = reachesProject || (projects(f) && !programAllocator(f));
    std::vector<std::string> libraries;
    for (const Frame& f : stack) {
        if (allocation && programAllocator(f))
            continue;
        if (projects(f))
            break;
        if (!injects(f) && !cLibrary(f) && !(allocation && reachesProject && cppRuntime(f)))
            libraries.push_back(baseName(f.object));
    }
    return libraries;
}

// The system library both the crash and a failed allocation behind it lie in: the crash is that
// library's, not the project's. Empty when there is none.
std::string outsideLibrary(const Trace& t)
{
    std::set<std::string> failedIn;
    for (const std::vector<Frame>* allocation : {&t.failed, &t.lastFailed})
        for (const std::string& library : systemLibraries(*allocation, true))
            failedIn.insert(library);
    for (const std::string& library : systemLibraries(t.crash, false))
        if (failedIn.count(library))
            return library;
    return {};
}

std::string stacksOf(const Trace& t)
{
    return symbolizedstack::symbolized(t.text);
}

// A stereo sound of 1 s at 48 kHz, `n` picking its tone and level.
bool writeSound(const std::string& path, int format, int n)
{
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = 48000;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    std::vector<float> samples(2 * 48000);
    std::uint32_t seed = static_cast<std::uint32_t>(n);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double t = static_cast<double>(i / 2) / 48000.0;
        samples[i] = static_cast<float>(0.02 * n * std::sin(6.283185307179586 * (200.0 + 150.0 * n) * t) +
                                        0.05 * (static_cast<double>(seed) / 4294967296.0 - 0.5));
    }
    const bool whole = sf_writef_float(f, samples.data(), 48000) == 48000;
    sf_close(f);
    return whole;
}

// One way of failing: allocation N alone, or every allocation from N on.
struct Way
{
    const char* variable;
    const char* name;
};
constexpr Way kWays[] = {{"NORRIK_FAIL_ALLOCATION", "alone"},
                         {"NORRIK_FAIL_ALLOCATIONS_FROM", "and every one after it"}};

class ProgramAllocationSweep : public ::testing::TestWithParam<SweepCase>
{
protected:
    static void SetUpTestSuite()
    {
        if (NORRIK_TEST_SANITIZED)
            return; // each test says why it sweeps nothing
        char tmpl[] = "/tmp/meter-processsweep-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(mkdir((dir_ + "/pictures").c_str(), 0700), 0);
        // 1 s of a tone over noise, each file its own, so that every report line differs.
        int index = 0;
        for (const Format& format : kFormats) {
            const std::string path = dir_ + "/sound." + format.extension;
            if (writeSound(path, format.format, ++index))
                written_.insert(format.extension);
            else
                unwritten_ += std::string(" ") + format.extension + " (" + sf_strerror(nullptr) + ")";
        }
        // The earlier pictures: of other sounds, so that they differ from those the runs draw.
        const std::string earlier = dir_ + "/earlier";
        ASSERT_EQ(mkdir(earlier.c_str(), 0700), 0);
        ASSERT_TRUE(writeSound(earlier + "/a.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 20));
        ASSERT_TRUE(writeSound(earlier + "/b.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 30));
        const metertest::ProgramRun r = metertest::runMeterProgram(
            "--svg " + earlier + "/out.svg " + earlier + "/a.wav " + earlier + "/b.wav >/dev/null", dir_ + "/err");
        ASSERT_EQ(r.status, 0) << r.err;
        earlierPictures_[0] = wholefile::read(earlier + "/out-1.svg");
        earlierPictures_[1] = wholefile::read(earlier + "/out-2.svg");
        ASSERT_FALSE(earlierPictures_[0].empty());
        std::filesystem::remove_all(earlier);
    }
    static void TearDownTestSuite()
    {
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }

    static std::string dir_;
    static std::set<std::string> written_;
    static std::string unwritten_;
    static std::string earlierPictures_[2];
};

std::string ProgramAllocationSweep::dir_;
std::set<std::string> ProgramAllocationSweep::written_;
std::string ProgramAllocationSweep::unwritten_;
std::string ProgramAllocationSweep::earlierPictures_[2];

// How the runs of a case ended.
struct Tally
{
    long runs = 0, identical = 0, refused = 0, loader = 0, outside = 0, wrong = 0;
    struct Crash
    {
        std::string library, stacks, first;
        long runs = 0;
    };
    std::map<std::string, Crash> crashes; // by the crash's stack
};

TEST_P(ProgramAllocationSweep, EachFailedAllocationGivesTheReadingsOrARefusalNamingTheFile)
{
#if NORRIK_TEST_SANITIZED
    GTEST_SKIP() << "a sanitizer's run-time owns malloc and must come first among the libraries, so nothing can be "
                    "preloaded in front of it; the in-process sweep (test_host_allocfail) covers these builds";
#endif
    const SweepCase c = GetParam();
    if (!unwritten_.empty())
        std::printf("not written by the installed libsndfile, so not swept:%s\n", unwritten_.c_str());
    std::vector<std::string> files, args;
    for (const std::string& f : c.files) {
        if (f != "-" && !written_.count(f))
            continue;
        files.push_back(f == "-" ? f : dir_ + "/sound." + f);
    }
    if (c.input && !written_.count(c.input))
        GTEST_SKIP() << "the installed libsndfile cannot write the standard input's " << c.input;
    ASSERT_FALSE(files.empty());

    const std::string pictures = dir_ + "/pictures", trace = dir_ + "/trace", count = dir_ + "/count";
    // Earlier pictures at the first name and every other one after it; the rest are free.
    std::map<std::string, std::string> earlier;
    for (std::size_t i = 0; c.pictures && i < files.size(); i += 2)
        earlier[shortofmemory::pictureName(i, files.size())] = earlierPictures_[i / 2 % 2];
    std::string command = "--json";
    if (c.pictures)
        command += " --svg " + pictures + "/out.svg";
    for (const std::string& f : files)
        command += " " + f;
    const std::string input = c.input ? dir_ + "/sound." + c.input : "";
    if (c.input && !c.piped)
        command += " <" + input;
    const std::string before = (c.piped ? "cat " + input + " | " : "") + "LD_PRELOAD=" + NORRIK_INJECTOR_PATH +
                               " NORRIK_FAIL_TRACE=" + trace + " ";

    struct Run
    {
        shortofmemory::MeterOutcome outcome;
        int signal = 0;
        Trace trace;
    };
    const auto run = [&](const std::string& failing) {
        wholefile::takeFolder(pictures);
        for (const auto& [name, content] : earlier) {
            std::FILE* f = std::fopen((pictures + "/" + name).c_str(), "wb");
            EXPECT_EQ(std::fwrite(content.data(), 1, content.size(), f), content.size());
            std::fclose(f);
        }
        std::remove(trace.c_str());
        std::string start;
        const metertest::ProgramRun r = metertest::runMeterCommand(command, dir_ + "/err", before + failing, start);
        Run got;
        got.outcome.status = r.status;
        got.outcome.out = r.out;
        got.outcome.err = r.err;
        got.outcome.pictures = wholefile::takeFolder(pictures);
        got.signal = r.signal;
        if (!start.empty())
            got.outcome.ended = start;
        else if (!r.hung.empty())
            got.outcome.ended = "hung: it " + r.hung;
        else if (r.signal != 0)
            got.outcome.ended = "ended by signal " + std::to_string(r.signal);
        got.trace = parseTrace(wholefile::read(trace));
        return got;
    };

    const Run want = run("NORRIK_FAIL_COUNT=" + count + " ");
    ASSERT_EQ(want.outcome.status, 0) << want.outcome.ended << want.outcome.err;
    ASSERT_EQ(shortofmemory::linesOf(want.outcome.out).size(), files.size()) << want.outcome.out;
    for (const auto& [name, content] : earlier) {
        ASSERT_TRUE(want.outcome.pictures.count(name)) << "no picture drawn at " << name;
        ASSERT_NE(want.outcome.pictures.at(name), content) << "an earlier picture is the one drawn: " << name;
    }
    const long allocations = std::atol(wholefile::read(count).c_str());
    ASSERT_GT(allocations, 1000);

    const allocsweep::Plan plan = allocsweep::plan(allocations, kRunsInSuite, static_cast<long>(files.size()));
    std::set<long> chosen;
    for (long n = plan.first; n <= plan.last; n += plan.stride)
        chosen.insert(n);
    // The process's start, where few allocations decide much, more densely.
    for (long n = 1; !plan.chosen && n <= plan.last; n *= 2)
        chosen.insert(n);
    Tally tally;
    long failures = 0;
    for (const Way& way : kWays) {
        for (long n : chosen) {
            const Run got = run(std::string(way.variable) + "=" + std::to_string(n) + " ");
            ++tally.runs;
            const std::string library = got.signal != 0 ? outsideLibrary(got.trace) : "";
            std::string wrong;
            if (!library.empty()) {
                ++tally.outside;
                Tally::Crash& crash = tally.crashes[got.trace.text.substr(got.trace.text.find("the crash:"))];
                if (crash.runs++ == 0) {
                    crash.library = library;
                    crash.stacks = stacksOf(got.trace);
                    crash.first = "allocation " + std::to_string(n) + " " + way.name;
                }
                continue;
            }
            if (got.outcome.status == 127 &&
                got.outcome.err.find("error while loading shared libraries") != std::string::npos) {
                ++tally.loader;
                if (!got.outcome.out.empty() || got.outcome.pictures != earlier)
                    wrong = "the loader failed, yet there is a report or a picture";
            } else {
                wrong = shortofmemory::judge(got.outcome, want.outcome, files, earlier);
                tally.identical += wrong.empty() && got.outcome.status == 0;
                tally.refused += wrong.empty() && got.outcome.status == 2;
            }
            if (wrong.empty())
                continue;
            ++tally.wrong;
            ADD_FAILURE() << "meter " << command << ": allocation " << n << " of " << allocations << " failed "
                          << way.name << ": " << wrong << "\n-- stderr:\n"
                          << got.outcome.err.substr(0, 4000) << "\n-- what the injector saw:\n"
                          << stacksOf(got.trace);
            if (++failures >= 20 && !plan.chosen)
                break;
        }
    }
    std::printf("meter %s\n%ld allocations in a run with memory to spare; %ld runs failing one alone or every one "
                "from it on: %ld identical, %ld refused, %ld failed by the loader, %ld crashed outside the project, "
                "%ld wrong\n",
                command.c_str(), allocations, tally.runs, tally.identical, tally.refused, tally.loader, tally.outside,
                tally.wrong);
    for (const auto& [key, crash] : tally.crashes)
        std::printf("a crash in %s, %ld runs, first at %s:\n%s", crash.library.c_str(), crash.runs, crash.first.c_str(),
                    crash.stacks.c_str());
    // A sweep in which nothing was refused failed nothing meter could see.
    EXPECT_TRUE(plan.chosen || tally.refused > 0);
}

// The injector on its own: a process it is preloaded into that crashes has the crash's stack
// written, from the frame the signal stopped, and still ends by that signal.
TEST(FailAllocationInjector, ACrashHasItsStackWrittenAndEndsTheProcessByItsSignal)
{
#if NORRIK_TEST_SANITIZED
    GTEST_SKIP() << "no injector is built under a sanitizer, whose run-time owns malloc";
#endif
    char tmpl[] = "/tmp/meter-injector-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string trace = std::string(tmpl) + "/trace";
    // The shell sends the signal to itself: it is there before `kill` returns.
    const std::string command = std::string("LD_PRELOAD=") + NORRIK_INJECTOR_PATH + " NORRIK_FAIL_TRACE=" + trace +
                                " /bin/sh -c 'kill -SEGV $$'";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The shell's word on the signal is not the test's output.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    const pid_t pid = metertest::spawnGroup(command, &actions, &attributes);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ASSERT_GT(pid, 0);
    const testguard::Ending end = testguard::waitGuarded(pid, -1, nullptr, metertest::kMeterCpuMs);
    ASSERT_TRUE(end.hung.empty()) << end.hung;
    EXPECT_EQ(metertest::shellStatus(end.status), 128 + SIGSEGV);
    const Trace t = parseTrace(wholefile::read(trace));
    EXPECT_EQ(t.signal, SIGSEGV) << t.text;
    EXPECT_TRUE(t.failed.empty() && t.lastFailed.empty()) << t.text;
    ASSERT_FALSE(t.crash.empty()) << t.text;
    EXPECT_TRUE(cLibrary(t.crash.front())) << "the crash stack starts in " << t.crash.front().object;
    for (const Frame& f : t.crash)
        EXPECT_FALSE(injects(f)) << "the handler's own frame: " << t.text;
    std::filesystem::remove_all(tmpl);
}

// Each failed allocation's stack the injector wrote, in the order they failed.
std::vector<std::vector<Frame>> failedStacks(const std::string& text)
{
    std::vector<std::vector<Frame>> stacks;
    for (const std::string& line : shortofmemory::linesOf(text)) {
        Frame frame;
        if (line.rfind("allocation ", 0) == 0)
            stacks.emplace_back();
        else if (line.rfind("signal ", 0) == 0)
            break;
        else if (!stacks.empty() && symbolizedstack::parseFrame(line, frame))
            stacks.back().push_back(frame);
    }
    return stacks;
}

// Whether the stack passes through the host's function `name` ("qelhost::Session::setup") with the
// plug-in's code inside it: its names come from addr2line, from the symbols where there is no debug
// information.
bool throughHostFunction(const std::vector<Frame>& stack, const std::string& name)
{
    static const std::string meter = std::filesystem::weakly_canonical(NORRIK_METER_PATH).string();
    static const std::string bundle = std::filesystem::weakly_canonical(NORRIK_BUNDLE_PATH).string();
    bool inPlugIn = false;
    std::string offsets;
    for (const Frame& f : stack) {
        const std::string object = std::filesystem::weakly_canonical(f.object).string();
        inPlugIn = inPlugIn || object == bundle;
        if (inPlugIn && object == meter)
            offsets += " " + f.offset;
    }
    if (offsets.empty())
        return false;
    bool through = false;
    if (FILE* p = popen(("addr2line -f -C -i -e '" + meter + "'" + offsets + " 2>/dev/null").c_str(), "r")) {
        char line[8192];
        while (std::fgets(line, sizeof line, p))
            through = through || std::string(line).rfind(name + "(", 0) == 0;
        pclose(p);
    }
    return through;
}

// Whether the stack is the loader's, opening the bundle for `meter`.
bool opensBundle(const std::vector<Frame>& stack)
{
    for (std::size_t i = 0; i + 1 < stack.size(); ++i)
        if (stack[i].name == "dlopen" && projects(stack[i + 1]) &&
            baseName(stack[i + 1].object) == baseName(NORRIK_METER_PATH))
            return true;
    return false;
}

// A load that ran short and a later shortage in one run: each allocation the loader makes while it
// opens the bundle for the first file fails alone; each that refuses the file fails again with one
// in the plug-in's set-up of a later file, looked for every kSetUpStride allocations after it by the
// stack the injector writes. Each file must be metered as with memory to spare or refused naming
// it; a bundle left mapped without its unwinding records ended such a run by std::terminate.
TEST(ShortLoadThenShortSetUp, ALaterShortageInThePlugInIsARefusalNamingItsFile)
{
#if NORRIK_TEST_SANITIZED
    GTEST_SKIP() << "no injector is built under a sanitizer, whose run-time owns malloc";
#endif
    constexpr long kSetUpStride = 25;
    char tmpl[] = "/tmp/meter-shortload-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl, trace = dir + "/trace";
    std::vector<std::string> files;
    int index = 0;
    for (const Format& format : kFormats) {
        const std::string ext = format.extension;
        const std::string path = dir + "/sound." + ext;
        if (files.size() < 3 && (ext == "flac" || ext == "mp3" || ext == "wav" || ext == "aiff") &&
            writeSound(path, format.format, ++index))
            files.push_back(path);
    }
    ASSERT_EQ(files.size(), 3u);
    std::string command = "--json";
    for (const std::string& f : files)
        command += " " + f;
    struct Run
    {
        shortofmemory::MeterOutcome outcome;
        std::vector<std::vector<Frame>> failed;
        std::string trace;
    };
    const auto run = [&](const std::string& failing) {
        std::remove(trace.c_str());
        std::string start;
        const metertest::ProgramRun r = metertest::runMeterCommand(
            command, dir + "/err",
            std::string("LD_PRELOAD=") + NORRIK_INJECTOR_PATH + " NORRIK_FAIL_TRACE=" + trace + " " + failing + " ",
            start);
        Run got;
        got.outcome.status = r.status;
        got.outcome.out = r.out;
        got.outcome.err = r.err;
        got.outcome.ended = !start.empty()    ? start
                            : !r.hung.empty() ? "hung: it " + r.hung
                            : r.signal != 0   ? "ended by signal " + std::to_string(r.signal)
                                              : "";
        got.trace = wholefile::read(trace);
        got.failed = failedStacks(got.trace);
        return got;
    };
    const auto refused = [](const Run& got, const std::string& file) {
        for (const std::string& line : shortofmemory::linesOf(got.outcome.err))
            if (shortofmemory::refuses(line, file))
                return true;
        return false;
    };
    const Run want = run("NORRIK_FAIL_COUNT=" + dir + "/count");
    ASSERT_EQ(want.outcome.status, 0) << want.outcome.ended << want.outcome.err;
    const long allocations = std::atol(wholefile::read(dir + "/count").c_str());
    ASSERT_GT(allocations, 1000);

    // The allocations the loader makes as it opens the bundle for the first file: the first in a row
    // whose stacks pass through dlopen from meter.
    std::vector<long> loads; // those whose failure refuses the file
    long failures = 0;
    const auto wrongRun = [&](const Run& got, const std::string& failing) {
        const std::string wrong = shortofmemory::judge(got.outcome, want.outcome, files);
        if (!wrong.empty())
            ADD_FAILURE() << "meter " << command << ": allocation " << failing << " failed: " << wrong
                          << "\n-- stderr:\n"
                          << got.outcome.err.substr(0, 2000) << "\n-- what the injector saw:\n"
                          << symbolizedstack::symbolized(got.trace);
        failures += !wrong.empty();
        return !wrong.empty();
    };
    for (long n = 1, seen = 0; n <= allocations; ++n) {
        const Run got = run("NORRIK_FAIL_ALLOCATION=" + std::to_string(n));
        if (got.failed.empty() || !opensBundle(got.failed.front())) {
            if (seen > 0)
                break;
            continue;
        }
        ++seen;
        if (!wrongRun(got, std::to_string(n)) && refused(got, files.front()))
            loads.push_back(n);
    }
    ASSERT_FALSE(loads.empty()) << "no allocation of the loader's opening of the bundle refuses " << files.front();

    // Then one in the plug-in's set-up of a later file, which the plug-in has to catch.
    long gap = 1; // from the last load's allocation to the set-up's found after it
    for (long n : loads) {
        long setUp = 0;
        for (long k = n + std::max(1L, gap - 2 * kSetUpStride); !setUp && k <= allocations && failures < 10;
             k += kSetUpStride) {
            const std::string failing = std::to_string(n) + "," + std::to_string(k);
            const Run got = run("NORRIK_FAIL_ALLOCATION=" + failing);
            if (wrongRun(got, failing) || got.failed.size() < 2 ||
                !throughHostFunction(got.failed[1], "qelhost::Session::setup"))
                continue;
            EXPECT_TRUE(refused(got, files.front())) << failing << ":\n" << got.outcome.err;
            if (refused(got, files[1]) || refused(got, files[2]))
                setUp = k;
        }
        EXPECT_GT(setUp, 0) << "after allocation " << n << " of the bundle's load failed, no allocation of "
                            << "the plug-in's set-up of a later file failed and refused it";
        gap = setUp > 0 ? setUp - n : gap;
        std::printf("allocation %ld failed in the bundle's load, then %ld in the plug-in's set-up\n", n, setUp);
    }
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Meter, ProgramAllocationSweep,
    ::testing::Values(SweepCase{"UncompressedFiles", {"wav", "rf64", "w64", "aiff", "caf"}, nullptr, false, false},
                      SweepCase{
                          "CompressedFilesOverEarlierPictures", {"flac", "ogg", "opus", "mp3"}, nullptr, false, true},
                      SweepCase{"RedirectedInputOverAnEarlierPicture", {"-"}, "mp3", false, true},
                      SweepCase{"PipedInputAmongFiles", {"w64", "-", "flac"}, "opus", true, false}),
    caseName);

} // namespace
