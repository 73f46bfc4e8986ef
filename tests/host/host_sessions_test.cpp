// Sessions alive at once, fed block by block in turn, each with its editor open: every one reads and
// draws as it would alone, on the one frame host they share, each display on its own audio's time.
// And `meter` reads and draws a file the same however far its audio thread runs behind.
#include "host/audiosource.h"
#include "host/audiothread.h"
#include "host/meterapp.h"
#include "host/session.h"
#include "meterrun.h"
#include "tests/common/sanitized.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace qelhost;

// A 1 kHz tone, loud and then quiet, so that the bar falls: how far depends on the display's clock
// as each block comes back. Fed in chunks of its own size, with idle time after each as a host
// gives it; programmes of different lengths and chunks keep the sessions' clocks apart.
struct Programme
{
    double loudSeconds, seconds;
    std::int64_t chunk;

    std::vector<float> samples() const
    {
        std::vector<float> v(static_cast<std::size_t>(seconds * 48000.0));
        for (std::size_t i = 0; i < v.size(); ++i)
            v[i] = static_cast<float>(std::pow(10.0, (i < loudSeconds * 48000.0 ? -13.0 : -33.0) / 20.0) *
                                      std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(i) / 48000.0));
        return v;
    }
};

// One session of one programme, its editor open before it plays (a failure here fails the test).
class Metered
{
public:
    explicit Metered(const Programme& p) : session_(NORRIK_BUNDLE_PATH), audio_(p.samples()), chunk_(p.chunk)
    {
        std::string error;
        EXPECT_TRUE(session_.load(error) && session_.create(error)) << error;
        EXPECT_NE(session_.display()->openEditor(session_.controller()), nullptr);
        EXPECT_TRUE(session_.setup(48000.0, 2, 512, error)) << error;
    }
    // Feeds the next chunk; false once the programme is all fed.
    bool step()
    {
        const std::int64_t n = std::min<std::int64_t>(chunk_, static_cast<std::int64_t>(audio_.size()) - fed_);
        if (n <= 0)
            return false;
        const float* in[2] = {audio_.data() + fed_, audio_.data() + fed_};
        EXPECT_EQ(session_.processStretch(in, n), kResultOk);
        session_.requestData();
        fed_ += n;
        return true;
    }
    void readOut()
    {
        std::string error;
        EXPECT_TRUE(session_.readOut(&error)) << error;
    }
    // The readings as the controller shows them, the picture as `meter --svg` writes it and the
    // display's clock it was drawn on.
    std::string shown(const std::string& svgPath)
    {
        std::string seen, error;
        for (const ParamValue& v : session_.values())
            seen += v.title + "=" + v.text + "\n";
        EXPECT_TRUE(session_.writeSvg(svgPath, error)) << error;
        const int32 clock = session_.display()->frame().frameSystem().getTickCount();
        return seen + "clock=" + std::to_string(clock) + " ms\n" + wholefile::read(svgPath);
    }
    Session& session() { return session_; }

private:
    Session session_;
    std::vector<float> audio_;
    std::int64_t chunk_;
    std::int64_t fed_ = 0;
};

// The first line where `got` differs from `want`, empty when none does: a short failure message.
std::string firstDifference(const std::string& got, const std::string& want)
{
    std::istringstream g(got), w(want);
    std::string a, b;
    for (int line = 1;; ++line) {
        const bool inGot = static_cast<bool>(std::getline(g, a)), inWant = static_cast<bool>(std::getline(w, b));
        if (!inGot && !inWant)
            return {};
        if (inGot != inWant || a != b)
            return "line " + std::to_string(line) + ": " + (inGot ? a : "(end)") +
                   "\nwanted: " + (inWant ? b : "(end)");
    }
}

// Holds the audio thread back until the main thread has to wait: it then takes every block handed over.
struct HeldBack final : AudioThread::Probe
{
    std::atomic<std::uint64_t> handed{0}, allowed{0};
    void handedOver(std::uint64_t blocks) override { handed.store(blocks); }
    void lastLook(std::uint64_t) override
    {
        allowed.store(handed.load());
        allowed.notify_all();
    }
    void beforeBlock(std::uint64_t k) override
    {
        for (std::uint64_t a = allowed.load(); a <= k; a = allowed.load())
            allowed.wait(a);
    }
};

// Keeps the audio thread up with the main thread: each block is done before the next is handed over.
struct KeptUp final : AudioThread::Probe
{
    AudioThread* audio = nullptr;
    void handedOver(std::uint64_t blocks) override { audio->waitFor(blocks, std::chrono::hours(1)); }
};

// Lets the audio thread go only as far as a script says, and waits until it has got there: exactly
// as far as the main thread waits for, and at some hand-overs (picked by a fixed pseudo-random
// sequence) through every block handed over, before the main thread looks again. So the audio
// thread runs past any block the host lets it have, before the main thread takes back the blocks
// before it, and does so the same way every run.
struct Scripted final : AudioThread::Probe
{
    AudioThread* audio = nullptr;
    std::atomic<std::uint64_t> allowed{0}, passed{0};
    std::uint32_t seed;
    explicit Scripted(std::uint32_t s) : seed(s) {}
    void runTo(std::uint64_t blocks)
    {
        if (blocks > allowed.load()) {
            allowed.store(blocks);
            allowed.notify_all();
        }
        audio->kick(); // blocks handed over wait for the batch's wake-up otherwise
        for (std::uint64_t p = passed.load(); p < blocks; p = passed.load())
            passed.wait(p);
    }
    void handedOver(std::uint64_t blocks) override
    {
        seed = seed * 1664525u + 1013904223u;
        if (seed >> 31)
            runTo(blocks);
    }
    void lastLook(std::uint64_t target) override { runTo(target); }
    void beforeBlock(std::uint64_t k) override
    {
        for (std::uint64_t a = allowed.load(); a <= k; a = allowed.load())
            allowed.wait(a);
    }
    void afterBlock(std::uint64_t k) override
    {
        passed.store(k + 1);
        passed.notify_all();
    }
};

// Counts the stall bound's slices that ran out: this clock moves only as one is slept out.
struct SliceCount final : WaitClock
{
    time_point now() override { return t; }
    void sleepUntil(time_point deadline) override
    {
        ++ranOut;
        t = std::max(t, deadline);
    }
    time_point t{};
    int ranOut = 0;
};

// Lets the main thread wait only once the audio thread has done every block handed over and has
// woken it: each wait then finds its wake-up there already.
struct CaughtUp final : AudioThread::Probe
{
    std::atomic<std::uint64_t> handed, passed;
    explicit CaughtUp(std::uint64_t done) : handed(done), passed(done) {}
    void handedOver(std::uint64_t blocks) override { handed.store(blocks); }
    void lastLook(std::uint64_t) override
    {
        for (std::uint64_t p = passed.load(); p < handed.load(); p = passed.load())
            passed.wait(p);
    }
    void afterBlock(std::uint64_t k) override
    {
        passed.store(k + 1);
        passed.notify_all();
    }
};

std::vector<float> steppedNoise(double seconds)
{
    // Noise whose level steps every 0.35 s: the display's holds and falls follow where each read-out lands.
    std::vector<float> audio(static_cast<std::size_t>(2 * 48000 * seconds));
    std::uint32_t seed = 2026;
    for (std::size_t i = 0; i < audio.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double level = std::pow(10.0, -(6.0 + 5.0 * static_cast<double>(i / 2 / 16800 % 4)) / 20.0);
        audio[i] = static_cast<float>(level * (static_cast<double>(seed) / 2147483648.0 - 1.0));
    }
    return audio;
}

// Interleaved stereo, one vector a channel.
struct Planar
{
    std::vector<float> left, right;
};
Planar apart(const std::vector<float>& stereo)
{
    Planar p{std::vector<float>(stereo.size() / 2), std::vector<float>(stereo.size() / 2)};
    for (std::size_t i = 0; i < p.left.size(); ++i) {
        p.left[i] = stereo[2 * i];
        p.right[i] = stereo[2 * i + 1];
    }
    return p;
}

} // namespace

TEST(HostSessions, AWaitForBlocksAlreadyDoneIsWokenWithoutASliceRunningOut)
{
    // Synchronous blocks, a stretch, read-outs and a metered file: whenever the main thread waits
    // for blocks, they are done and the audio thread has passed its wake-up. A slice that runs out
    // is a wake-up that came late or never.
    const std::vector<float> audio = steppedNoise(2.0);
    const std::string wav = ::testing::TempDir() + "/wake-" + std::to_string(getpid()) + ".wav";
    std::string error;
    ASSERT_TRUE(writeWavFile(wav, audio, 2, 48000, error)) << error;
    SliceCount clock;
    Session session(NORRIK_BUNDLE_PATH);
    session.stallClock = &clock;
    ASSERT_TRUE(session.load(error) && session.create(error) && session.setup(48000.0, 2, 512, error)) << error;
    CaughtUp caughtUp(session.audioThread()->done());
    session.audioThread()->setProbe(&caughtUp);
    const auto [left, right] = apart(audio);
    const float* in[] = {left.data(), right.data()};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(session.processBlock(in, 512), kResultOk);
    EXPECT_EQ(session.processStretch(in, static_cast<std::int64_t>(left.size())), kResultOk);
    EXPECT_TRUE(session.readOut(&error, true)) << error;
    std::unique_ptr<AudioSource> file = openAudioFile(wav, error);
    ASSERT_TRUE(file) << error;
    EXPECT_TRUE(session.run(*file, {}, error)) << error;
    EXPECT_TRUE(session.readOut(&error)) << error;
    EXPECT_EQ(clock.ranOut, 0) << "slices that ran out";
    session.audioThread()->setProbe(nullptr);
    session.teardown();
    std::remove(wav.c_str());
}

TEST(HostSessions, LargeBlocksKeepAtMost8MiBOfSamplesInFlightAndComeBackWhole)
{
    // Stereo blocks of 65536 frames hold 512 KiB of samples: at most 16 are handed over at once, not
    // the ring's 128, and every sample still comes back through, in order. So too once re-set up to
    // them from blocks of 512 frames, whose slots would hold neither.
    struct Deepest final : AudioThread::Probe
    {
        HeldBack held;
        AudioThread* audio = nullptr;
        std::uint64_t deepest = 0;
        void handedOver(std::uint64_t blocks) override { held.handedOver(blocks); }
        void lastLook(std::uint64_t target) override
        {
            // Held back until now, the audio thread has done none of what was handed over since.
            deepest = std::max(deepest, held.handed.load() - audio->done());
            held.lastLook(target);
        }
        void beforeBlock(std::uint64_t k) override { held.beforeBlock(k); }
    };
    constexpr int kBlock = 65536;
    const std::vector<float> audio = steppedNoise(24.0 * kBlock / 48000);
    const auto [left, right] = apart(audio);
    for (const int firstBlock : {kBlock, 512}) {
        SCOPED_TRACE(testing::Message() << "set up at " << firstBlock);
        std::vector<float> outLeft(left.size()), outRight(left.size());
        Deepest probe; // outlives the session's audio thread, which calls it to the end
        std::string error;
        Session session(NORRIK_BUNDLE_PATH);
        ASSERT_TRUE(session.load(error) && session.create(error) && session.setup(48000.0, 2, firstBlock, error) &&
                    (firstBlock == kBlock || session.resetup(kBlock, error)))
            << error;
        probe.audio = session.audioThread();
        probe.held.handed = probe.held.allowed = probe.audio->done();
        probe.audio->setProbe(&probe);
        const float* in[] = {left.data(), right.data()};
        float* out[] = {outLeft.data(), outRight.data()};
        EXPECT_EQ(session.processStretch(in, static_cast<std::int64_t>(left.size()), out), kResultOk);
        probe.audio->setProbe(nullptr);
        session.teardown();
        EXPECT_LE(probe.deepest, 16u);
        EXPECT_GT(probe.deepest, 0u);
        EXPECT_TRUE(outLeft == left && outRight == right) << "the audio did not come back whole";
    }
}

TEST(HostSessions, MemoryRunningOutInTheFeedLeavesTheRunOnlyOnceTheBlocksInFlightAreDone)
{
    // The source runs out of memory with blocks handed over and held back on the audio thread. They
    // point into the session's slots: the exception leaves run() only once they are done, and with
    // the main thread's part handed back.
    struct RunsOut final : AudioSource
    {
        std::unique_ptr<AudioSource> programme = makeTestProgramme(2.0);
        int reads = 0;
        int channels() const override { return programme->channels(); }
        double sampleRate() const override { return programme->sampleRate(); }
        std::int64_t frames() const override { return programme->frames(); }
        std::string name() const override { return programme->name(); }
        std::int64_t read(float* const* channels, std::int64_t maxFrames) override
        {
            if (++reads == 20)
                throw std::bad_alloc();
            return programme->read(channels, maxFrames);
        }
    } source;
    HeldBack held; // outlives the session's audio thread, which calls it to the end
    std::string error;
    Session session(NORRIK_BUNDLE_PATH);
    ASSERT_TRUE(session.load(error) && session.create(error) && session.setup(48000.0, 2, 512, error)) << error;
    held.handed = held.allowed = session.audioThread()->done();
    session.audioThread()->setProbe(&held);
    std::uint64_t done = 0;
    EXPECT_THROW(
        {
            try {
                session.run(source, {}, error);
            } catch (const std::bad_alloc&) {
                done = session.audioThread()->done();
                throw;
            }
        },
        std::bad_alloc);
    held.lastLook(0); // lets the audio thread go on, were it still held
    EXPECT_EQ(held.handed.load(), 19u);
    EXPECT_EQ(done, held.handed.load()) << "blocks still in flight as the run was left";
    EXPECT_TRUE(session.app().onMainThread());
    EXPECT_FALSE(session.stalled());
    session.audioThread()->setProbe(nullptr);
}

// Limits this process's address space to what it takes now and `bytes` more.
void leaveAddressSpace(rlim_t bytes)
{
    std::ifstream proc("/proc/self/status");
    std::string line;
    while (std::getline(proc, line) && line.rfind("VmSize:", 0) != 0) {
    }
    const rlimit r{std::strtoull(line.c_str() + 7, nullptr, 10) * 1024 + bytes, RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &r);
}

TEST(HostSessions, MemoryThatCannotBeHadIsAnErrorAndTheNextFileIsMetered)
{
#if NORRIK_TEST_SANITIZED
    GTEST_SKIP() << "a sanitizer's shadow memory leaves no room for a limit on the address space";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // 14 channels of 65536 frames take 112 MiB of blocks, beyond a limit that leaves stereo its 16.
    const std::string base = ::testing::TempDir() + "/memory-" + std::to_string(getpid());
    const std::string wide = base + "-14.wav", stereo = base + "-2.wav";
    std::string error;
    ASSERT_TRUE(writeWavFile(wide, steppedNoise(7.0), 14, 48000, error)) << error;
    ASSERT_TRUE(writeWavFile(stereo, steppedNoise(1.0), 2, 48000, error)) << error;
    const auto meterAndExit = [&] {
        const auto guard = testguard::guardThisProcess(120000);
        MeterOptions o;
        o.bundlePath = NORRIK_BUNDLE_PATH;
        o.blockSize = 65536;
        std::string said;
        const auto keep = [&said](std::string_view s) { said += s; };
        // Once a file is metered, the bundle and the threads' memory are there.
        o.files = {stereo};
        runMeter(o, keep, keep);
        said.clear();
        leaveAddressSpace(64 << 20);
        o.files = {wide, stereo};
        const int status = runMeter(o, keep, keep);
        std::fputs(said.c_str(), stderr);
        // The child wrote the files under names of its own.
        std::remove(wide.c_str());
        std::remove(stereo.c_str());
        std::_Exit(status);
    };
    EXPECT_EXIT(meterAndExit(), ::testing::ExitedWithCode(2),
                ::testing::AllOf(::testing::HasSubstr(
                                     "-14.wav: cannot allocate 112 MiB for 16 blocks of 65536 frames in 14 channels"),
                                 ::testing::HasSubstr("-2.wav: 48000 Hz, 2 channels")));
    std::remove(wide.c_str());
    std::remove(stereo.c_str());
}

TEST(HostSessions, APlugInThatCannotHaveItsMemoryIsRefusedNotAnAbort)
{
#if NORRIK_TEST_SANITIZED
    GTEST_SKIP() << "a sanitizer's shadow memory leaves no room for a limit on the address space";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto createAndExit = [] {
        Session session(NORRIK_BUNDLE_PATH);
        std::string error;
        if (!session.load(error))
            std::_Exit(3);
        leaveAddressSpace(1 << 20);
        const bool created = session.create(error);
        std::fprintf(stderr, "%s\n", error.c_str());
        std::_Exit(created ? 1 : 0);
    };
    EXPECT_EXIT(createAndExit(), ::testing::ExitedWithCode(0), ::testing::HasSubstr("the processor"));
}

TEST(HostSessions, MeterReadsAndDrawsAFileTheSameHoweverFarItsAudioThreadRunsBehind)
{
    const std::vector<float> audio = steppedNoise(3.0);
    const std::string base = ::testing::TempDir() + "/pace-" + std::to_string(getpid());
    std::string error;
    ASSERT_TRUE(writeWavFile(base + ".wav", audio, 2, 48000, error)) << error;
    // The meter's own spacing of read-outs, and read-outs a few blocks apart so that many land in
    // the programme.
    for (const std::pair<int, int>& blocks : {std::pair{512, 0}, {512, 5}, {4096, 3}}) {
        const int block = blocks.first, idleEvery = blocks.second;
        SCOPED_TRACE(testing::Message() << "block " << block << ", idle every " << idleEvery);
        std::string want;
        // A script's seed, or none.
        for (const std::pair<const char*, std::uint32_t>& pace :
             {std::pair{"kept up", 0u}, {"free", 0u}, {"held back", 0u}, {"scripted", 49u}, {"scripted", 50u}}) {
            SCOPED_TRACE(testing::Message() << pace.first << " " << pace.second);
            HeldBack heldBack;
            KeptUp keptUp;
            Scripted scripted(pace.second);
            MeterOptions o;
            o.files = {base + ".wav"};
            o.bundlePath = NORRIK_BUNDLE_PATH;
            o.svgPath = base + ".svg";
            o.json = true;
            o.blockSize = block;
            o.onSetUp = [&](Session& session) {
                session.stallSeconds = 3600.0; // slow is not stopped here
                session.idleEveryBlocks = idleEvery;
                keptUp.audio = scripted.audio = session.audioThread();
                AudioThread::Probe* probes[] = {&keptUp, nullptr, &heldBack, &scripted};
                if (AudioThread::Probe* p = probes[std::string("kfhs").find(pace.first[0])])
                    session.audioThread()->setProbe(p);
            };
            std::string shown;
            const auto keep = [&shown](std::string_view s) { shown += s; };
            ASSERT_EQ(runMeter(o, keep, keep), 0) << shown;
            shown += wholefile::read(o.svgPath);
            if (want.empty())
                want = shown;
            else
                EXPECT_EQ(firstDifference(shown, want), "");
        }
    }
    std::remove((base + ".wav").c_str());
    std::remove((base + ".svg").c_str());
}

TEST(HostSessions, InterleavedSessionsEachReadAndDrawAsALoneOne)
{
    const std::string svg = ::testing::TempDir() + "/sessions-" + std::to_string(getpid()) + ".svg";
    const Programme programmes[] = {{2.0, 4.0, 4800}, {1.0, 3.0, 3000}, {0.5, 2.5, 7000}};
    std::vector<std::string> alone;
    for (const Programme& p : programmes) {
        Metered m(p);
        ASSERT_FALSE(HasFailure());
        while (m.step()) {
        }
        m.readOut();
        alone.push_back(m.shown(svg));
    }
    ASSERT_NE(alone[0].find("data-view=\"AudioPlugSmallBigMeter\""), std::string::npos) << alone[0];

    std::vector<std::unique_ptr<Metered>> together;
    for (const Programme& p : programmes)
        together.push_back(std::make_unique<Metered>(p));
    ASSERT_FALSE(HasFailure());
    for (bool more = true; more;) {
        more = false;
        for (auto& m : together)
            more = m->step() || more;
    }
    for (auto& m : together) {
        m->readOut();
        EXPECT_EQ(&m->session().display()->frame(), &together[0]->session().display()->frame());
    }
    for (std::size_t i = 0; i < together.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(firstDifference(together[i]->shown(svg), alone[i]), "");
    }
    std::remove(svg.c_str());
}
