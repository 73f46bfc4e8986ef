// A plug-in whose measuring threads do not answer, or that does not return from a process call:
// `meter` stops with status 3 and the reason, and meters no further file; time the process stands
// stopped is no stall; a stalled session's tear-down, or its end, leaves the audio thread the slot
// it comes back to and what it takes the block back into. The plug-in is linked into the test, so
// that its worker can be held.
#include "dsp/bigmeter.h"
#include "dsp/bigmeteracc.h"
#include "host/audiosource.h"
#include "host/audiothread.h"
#include "host/blockmemory.h"
#include "host/meterapp.h"
#include "meter/norrikfactory.h"
#include "pluginset/common/qel/pluginqel.h"
#include "qel/bundleentry.h"
#include "tests/common/hang_guard.h"
#include "tests/common/slice_clock.h"
#include "tests/common/stop_process.h"
#include "tests/common/unloaded_clock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// The loudness of the processor a session created inside this process.
Loudness* loudnessOf(qelhost::Session& session)
{
    auto* processor = reinterpret_cast<Calvereth::Qel::IAudioProcessor*>(session.processor());
    auto* plugin = dynamic_cast<Calvereth::Qel::PluginQel*>(processor);
    auto* accessor = plugin ? static_cast<BigMeterAcc*>(plugin->getAccessor()) : nullptr;
    return accessor ? accessor->getMeter()->getLoudness() : nullptr;
}

// A child that spins past this much CPU time, or makes no progress for a long time, has hung: it
// ends with testguard::kHungStatus and says so, which fails the test.
constexpr std::int64_t kChildCpuMs = 120000;
const char* const kBoundNote = "(a child that ended with status 125 and a line \"hung: ...\" had hung)";

// A 3-s tone in the temporary folder, under a name of this process's own.
std::string writeTone(const std::string& name)
{
    const std::string path = ::testing::TempDir() + "/" + name + "-" + std::to_string(getpid()) + ".wav";
    std::vector<float> samples(2 * 48000 * 3);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.1f * static_cast<float>(std::sin(0.13 * static_cast<double>(i / 2)));
    std::string error;
    EXPECT_TRUE(qelhost::writeWavFile(path, samples, 2, 48000, error)) << error;
    return path;
}

void removeAll(const std::vector<std::string>& files)
{
    for (const std::string& f : files)
        std::remove(f.c_str());
}

// `meter` over `files` with the plug-in linked in, `prepare` run on each session once it is set up,
// its display drawn into `svg` unless empty: ends the process as `meter` does, with the status, the
// reports marked "report> " on stderr, once it has removed the files (a death test's child writes
// its own). The child guards its own run: one that hangs ends as hung and fails the death test.
[[noreturn]] void meterAndExit(const std::vector<std::string>& files, std::function<void(qelhost::Session&)> prepare,
                               const std::string& svg = "")
{
    const auto guard = testguard::guardThisProcess(kChildCpuMs);
    qelhost::MeterOptions o;
    o.files = files;
    o.svgPath = svg;
    o.bundlePath = NORRIK_BUNDLE_PATH;
    o.linkedIn = {reinterpret_cast<qelhost::BundleEntryProc>(&bundleEntry), &bundleExit,
                  reinterpret_cast<qelhost::GetPluginFactoryProc>(&GetPluginFactory)};
    o.onSetUp = std::move(prepare);
    const int status = qelhost::runMeter(
        o, [](const std::string& s) { std::fprintf(stderr, "report> %s", s.c_str()); },
        [](std::string_view s) { std::fwrite(s.data(), 1, s.size(), stderr); });
    std::fflush(stderr);
    removeAll(files);
    // As `meter` ends on a stall: at once, without the plug-in's exit handlers.
    std::_Exit(status);
}

// Holds the session's integrated-loudness worker, the plug-in's waits for it bounded by `waitLimitMs`
// (on `clock` when given).
void holdWorker(qelhost::Session& session, int waitLimitMs, Platform::WaitClock* clock = nullptr)
{
    Loudness* loudness = loudnessOf(session);
    ASSERT_NE(loudness, nullptr);
    if (clock)
        loudness->setWaitClock(*clock);
    loudness->setWaitLimit(waitLimitMs);
    loudness->getIntegratedCollector()->holdWorker(true);
}

// What `meter` writes when a stall at the tone `name` (whichever process wrote it) ends its run: the
// reason, no report, nothing of `later`.
::testing::Matcher<const std::string&> stallAt(const std::string& name, const std::string& reason,
                                               const std::string& later)
{
    return ::testing::AllOf(::testing::ContainsRegex("/" + name + "-[0-9]+\\.wav: "),
                            ::testing::HasSubstr(".wav: " + reason), ::testing::Not(::testing::HasSubstr("report> ")),
                            ::testing::Not(::testing::HasSubstr(later)));
}

// Counts the blocks handed to the audio thread and those it is done with, taken back too. It lives
// to the end of the process, as a stalled session's audio thread does.
struct BlocksPassed final : qelhost::AudioThread::Probe
{
    std::atomic<std::uint64_t> handed{0}, passed{0};
    void handedOver(std::uint64_t blocks) override { handed.store(blocks); }
    void afterBlock(std::uint64_t k) override
    {
        passed.store(k + 1);
        passed.notify_all();
    }
    // Until the audio thread is done with every block handed over.
    void awaitAll()
    {
        for (std::uint64_t p = passed.load(); p < handed.load(); p = passed.load())
            passed.wait(p);
    }
};

// A read-out held inside the plug-in (its wait for the held worker, on a wait clock held until the
// session is torn down) is given up by the host after 0.2 s, and the stalled session torn down; the
// worker then let go, the process lives on until the audio thread is done with every block handed
// over, the held one among them. Fed as a stretch, the session is kept, and the block returns
// into its slot, in block memory the host keeps for the next session, which lets go of it. Metered
// with the display shown, the session is destroyed, and the audio thread takes the block back
// itself. Ends the process with status 0 and "outlived" on stderr when all went so (ASan ends it at
// once if what the block returns to was freed).
[[noreturn]] void stallTearDownAndOutliveTheBlock(bool shown)
{
    const auto guard = testguard::guardThisProcess(kChildCpuMs);
    testclock::SliceClock clock;
    clock.hold(true);
    static BlocksPassed blocks;
    static qelhost::BlockMemory kept;
    auto session = std::make_unique<qelhost::Session>(
        NORRIK_BUNDLE_PATH,
        qelhost::PluginEntries{reinterpret_cast<qelhost::BundleEntryProc>(&bundleEntry), &bundleExit,
                               reinterpret_cast<qelhost::GetPluginFactoryProc>(&GetPluginFactory)},
        shown ? nullptr : &kept);
    std::string error;
    if (!session->load(error) || !session->create(error) ||
        (shown && !session->display()->openEditor(session->controller())) || !session->setup(48000.0, 2, 512, error) ||
        !loudnessOf(*session)) {
        std::fprintf(stderr, "no session: %s\n", error.c_str());
        std::_Exit(2);
    }
    session->stallSeconds = 0.2;
    holdWorker(*session, 1000, &clock); // a limit the held clock never lets it count
    DSP::CollectorIntegrated* integrated = loudnessOf(*session)->getIntegratedCollector();
    session->audioThread()->setProbe(&blocks);
    bool stalled = false;
    if (shown) {
        const std::unique_ptr<qelhost::AudioSource> programme = qelhost::makeTestProgramme(3.0);
        stalled = !session->run(*programme, nullptr, error) && session->stalled();
        session.reset();
    } else {
        std::vector<float> tone(48000);
        for (std::size_t i = 0; i < tone.size(); ++i)
            tone[i] = 0.1f * static_cast<float>(std::sin(0.13 * static_cast<double>(i)));
        const float* in[2] = {tone.data(), tone.data()};
        stalled = session->processStretch(in, static_cast<std::int64_t>(tone.size())) == qelhost::kResultOk &&
                  !session->readOut(&error) && session->stalled();
        session->teardown();
        if (kept.size() != 0)
            error = "the block memory kept the slots for another session";
    }
    // Let go, the worker answers the plug-in's wait, and the block returns (the plug-in lives on).
    clock.hold(false);
    integrated->holdWorker(false);
    blocks.awaitAll();
    std::fprintf(stderr, "%s: %s\n", stalled ? "outlived" : "no stall", error.c_str());
    std::fflush(stderr);
    std::_Exit(0);
}

} // namespace

TEST(MeterStall, WorkersThatDoNotAnswerEndTheRunWithStatusThree)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string first = writeTone("stall-first");
    const std::string second = writeTone("stall-second");
    EXPECT_EXIT(meterAndExit({first, second}, [](qelhost::Session& session) { holdWorker(session, 100); }),
                ::testing::ExitedWithCode(3),
                stallAt("stall-first", "the plug-in could not complete its readings", "stall-second"))
        << kBoundNote;
    removeAll({first, second});
}

TEST(MeterStall, AFinalReadOutThatCannotCompleteIsAStall)
{
    // No read-out while the file is fed, and too few windows to fill the worker's queue: only the
    // read-out after the last block waits for the held worker, and fails.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string first = writeTone("final-first");
    const std::string missing = ::testing::TempDir() + "/final-never-opened.wav";
    EXPECT_EXIT(meterAndExit({first, missing},
                             [](qelhost::Session& session) {
                                 session.idleEveryBlocks = 1 << 30;
                                 holdWorker(session, 100);
                             }),
                ::testing::ExitedWithCode(3),
                stallAt("final-first", "the plug-in could not complete its readings", missing))
        << kBoundNote;
    removeAll({first});
}

TEST(MeterStall, ABlockStuckInsideThePlugInIsGivenUpAfterTheHostsBound)
{
    // The first read-out waits inside the plug-in for the held worker, on a wait clock that is
    // never let go: the wait would never end. The host gives the block up after its own 0.3 s, the
    // final read-out's block, and with a picture drawn one during the run, on the audio thread that
    // then also runs the display.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    testclock::SliceClock clock;
    clock.hold(true);
    const std::string first = writeTone("stuck-first");
    const std::string second = writeTone("stuck-second");
    const std::string svg = ::testing::TempDir() + "/stuck-" + std::to_string(getpid()) + ".svg";
    for (const std::string& picture : {std::string(), svg}) {
        SCOPED_TRACE(picture.empty() ? "no picture" : "a picture");
        EXPECT_EXIT(meterAndExit(
                        {first, second},
                        [&clock](qelhost::Session& session) {
                            session.stallSeconds = 0.3;
                            holdWorker(session, 4000, &clock);
                        },
                        picture),
                    ::testing::ExitedWithCode(3),
                    stallAt("stuck-first", "the plug-in stopped processing: no block done in 0.3 s", "stuck-second"))
            << kBoundNote;
    }
    EXPECT_NE(access(svg.c_str(), F_OK), 0) << "a picture of a stalled run";
    removeAll({first, second});
}

TEST(MeterStall, TimeTheProcessStandsStillIsNoStall)
{
    // A read-out waits inside the plug-in for the held worker while the whole process is stopped
    // for longer than the host's bound; the worker is released 0.2 s after it goes on. The host
    // has waited far less than its bound while the process ran: the block is not given up.
    // The host's bound counts on a clock that leaves out the time a busy machine keeps the threads
    // waiting to run, but not the stop. A run timed otherwise (a loaded machine) only makes this
    // weaker.
    testclock::UnloadedClock clock;
    qelhost::Session session(NORRIK_BUNDLE_PATH, {reinterpret_cast<qelhost::BundleEntryProc>(&bundleEntry), &bundleExit,
                                                  reinterpret_cast<qelhost::GetPluginFactoryProc>(&GetPluginFactory)});
    std::string error;
    session.stallClock = &clock;
    ASSERT_TRUE(session.load(error) && session.create(error) && session.setup(48000.0, 2, 512, error)) << error;
    session.stallSeconds = 1.5;
    ASSERT_NO_FATAL_FAILURE(holdWorker(session, 20000));
    DSP::CollectorIntegrated* integrated = loudnessOf(session)->getIntegratedCollector();
    std::vector<float> tone(48000 * 3);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.1f * static_cast<float>(std::sin(0.13 * static_cast<double>(i)));
    const float* in[2] = {tone.data(), tone.data()};
    ASSERT_EQ(session.processStretch(in, static_cast<std::int64_t>(tone.size())), qelhost::kResultOk);

    const auto start = std::chrono::steady_clock::now();
    bool read = false;
    {
        teststop::StopThisProcess stop(300, 2500);
        ASSERT_TRUE(stop.started());
        std::thread release([&] {
            // A stop during the first sleep ends it as the process goes on.
            std::this_thread::sleep_until(start + std::chrono::milliseconds(600));
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            integrated->holdWorker(false);
        });
        read = session.readOut(&error);
        release.join();
    }
    EXPECT_TRUE(read) << error;
    EXPECT_FALSE(session.stalled());
    // A 1 kHz tone of amplitude 0.1 in both channels reads -20 LUFS.
    EXPECT_NEAR(session.lastOutput(3) * 128.0 - 80.0, -20.0, 0.2);
}

TEST(MeterStall, AStalledTeardownKeepsTheSlotTheHeldBlockReturnsTo)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const bool shown : {false, true}) {
        SCOPED_TRACE(shown ? "the display shown, the session destroyed" : "a stretch, the session kept");
        EXPECT_EXIT(stallTearDownAndOutliveTheBlock(shown), ::testing::ExitedWithCode(0),
                    ::testing::HasSubstr("outlived: the plug-in stopped processing: no block done in 0.2 s"))
            << kBoundNote;
    }
}
