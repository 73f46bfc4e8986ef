// The memory of the blocks in flight, which `meter` keeps from one file to the next: it is had again
// only when a set-up needs more, and a file laid out in what a wider one left behind reads and draws
// as it does alone.
#include "host/audiosource.h"
#include "host/blockmemory.h"
#include "host/meterapp.h"
#include "host/session.h"
#include "meterrun.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace qelhost;

namespace {

// Noise whose level steps every 0.3 s, each channel its own.
std::vector<float> noise(int channels, double seconds, std::uint32_t seed)
{
    std::vector<float> audio(static_cast<std::size_t>(channels * 48000 * seconds));
    for (std::size_t i = 0; i < audio.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double level = std::pow(10.0, -(8.0 + 4.0 * static_cast<double>(i / channels / 14400 % 3)) / 20.0);
        audio[i] = static_cast<float>(level * (static_cast<double>(seed) / 2147483648.0 - 1.0));
    }
    return audio;
}

struct MeterRun
{
    int status = -1;
    std::map<std::string, std::string> lines; // report line by file
    std::string err;
};

MeterRun meter(const std::vector<std::string>& files, int block, const std::string& svgPath)
{
    MeterOptions o;
    o.bundlePath = NORRIK_BUNDLE_PATH;
    o.files = files;
    o.json = true;
    o.blockSize = block;
    o.svgPath = svgPath;
    MeterRun r;
    std::string out;
    r.status = runMeter(
        o, [&out](const std::string& s) { out += s; }, [&r](std::string_view s) { r.err += s; });
    for (std::size_t at = 0; at < out.size();) {
        const std::size_t end = out.find('\n', at);
        const std::string line = out.substr(at, end - at);
        for (const std::string& f : files)
            if (line.find("\"file\": \"" + f + "\"") != std::string::npos)
                r.lines[f] = line;
        at = end == std::string::npos ? out.size() : end + 1;
    }
    return r;
}

} // namespace

TEST(HostBlockMemory, KeepsWhatItHoldsUntilASetUpNeedsMore)
{
    BlockMemory blocks;
    std::byte* first = blocks.hold(1000);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % BlockMemory::kAlign, 0u);
    EXPECT_EQ(blocks.hold(1000), first);
    EXPECT_EQ(blocks.hold(10), first);
    EXPECT_EQ(blocks.size(), 1000u);
    const std::size_t more = std::size_t(1) << 20;
    std::byte* larger = blocks.hold(more);
    EXPECT_EQ(blocks.size(), more);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(larger) % BlockMemory::kAlign, 0u);
    std::memset(larger, 1, more); // all of it is there
    // Let go for a stalled session's audio thread, the memory is never handed out again.
    blocks.abandon();
    EXPECT_EQ(blocks.size(), 0u);
    EXPECT_NE(blocks.hold(more), larger);
    munmap(larger, more); // mapped for the blocks alone, out of the heap
}

TEST(HostBlockMemory, EachFileOfARunReadsAndDrawsAsItDoesAlone)
{
    // Stereo, then 14 channels whose slots are larger, then stereo and mono laid out in what the
    // 14 channels left behind; at blocks of 512 all have 128 slots, at 4096 the 14 channels fewer.
    const std::string base = ::testing::TempDir() + "/blocks-" + std::to_string(getpid());
    const std::vector<std::pair<int, std::uint32_t>> kinds = {{2, 11u}, {14, 12u}, {2, 13u}, {1, 14u}};
    std::vector<std::string> files;
    std::string error;
    for (const auto& [channels, seed] : kinds) {
        files.push_back(base + "-" + std::to_string(files.size()) + ".wav");
        ASSERT_TRUE(writeWavFile(files.back(), noise(channels, 1.0, seed), channels, 48000, error)) << error;
    }
    for (const int block : {512, 4096}) {
        SCOPED_TRACE(testing::Message() << "block " << block);
        const MeterRun all = meter(files, block, base + "-all.svg");
        ASSERT_EQ(all.status, 0) << all.err;
        for (std::size_t i = 0; i < files.size(); ++i) {
            SCOPED_TRACE(files[i]);
            const MeterRun alone = meter({files[i]}, block, base + "-alone.svg");
            ASSERT_EQ(alone.status, 0) << alone.err;
            EXPECT_EQ(all.lines.at(files[i]), alone.lines.at(files[i]));
            const std::string numbered = base + "-all-" + std::to_string(i + 1) + ".svg";
            EXPECT_TRUE(wholefile::read(numbered) == wholefile::read(base + "-alone.svg")) << "the picture differs";
            std::remove(numbered.c_str());
        }
    }
    std::remove((base + "-alone.svg").c_str());
    for (const std::string& f : files)
        std::remove(f.c_str());
}

TEST(HostBlockMemory, AReSetUpToSmallerBlocksKeepsItsSlotsAndOneToLargerLaysThemAnew)
{
    // Slots made for a block take any smaller one: a re-set-up to one keeps them and the memory, where
    // laying them out anew would want more of it (twice the blocks at half the size, each with its
    // own pointers and lists). Two channels of their own noise come back whole at every size, so no
    // lane overlaps another.
    const std::vector<float> audio = noise(2, 3.0, 21u);
    std::vector<float> left, right;
    for (std::size_t i = 0; i + 1 < audio.size(); i += 2) {
        left.push_back(audio[i]);
        right.push_back(audio[i + 1]);
    }
    const auto comesBackWhole = [&](Session& session) {
        std::vector<float> outLeft(left.size()), outRight(right.size());
        const float* in[] = {left.data(), right.data()};
        float* out[] = {outLeft.data(), outRight.data()};
        EXPECT_EQ(session.processStretch(in, static_cast<std::int64_t>(left.size()), out), kResultOk);
        return outLeft == left && outRight == right;
    };
    BlockMemory blocks;
    std::string error;
    {
        Session session(NORRIK_BUNDLE_PATH, {}, &blocks);
        ASSERT_TRUE(session.load(error) && session.create(error) && session.setup(48000.0, 2, 65536, error)) << error;
        const std::size_t held = blocks.size();
        EXPECT_TRUE(comesBackWhole(session));
        for (const int block : {32768, 4096, 65536}) {
            SCOPED_TRACE(testing::Message() << "re-set up at " << block);
            ASSERT_TRUE(session.resetup(block, error)) << error;
            EXPECT_EQ(blocks.size(), held);
            EXPECT_TRUE(comesBackWhole(session));
        }
    }
    BlockMemory fresh;
    Session session(NORRIK_BUNDLE_PATH, {}, &fresh);
    ASSERT_TRUE(session.load(error) && session.create(error) && session.setup(48000.0, 2, 512, error)) << error;
    const std::size_t small = fresh.size();
    ASSERT_TRUE(session.resetup(65536, error)) << error;
    EXPECT_GT(fresh.size(), small);
    EXPECT_TRUE(comesBackWhole(session));
}
