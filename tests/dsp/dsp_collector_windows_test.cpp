// The overlapping windows handed on are exactly those of the straightforward form (history and
// window copied every hop), whatever the block partition, hop parity, resets or pass-through.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "base/alignedmemory.h"
#include "dsp/collectors.h"
#include "dsp/samplecollector.h"
#include "primitives/vector/ipps_vector.h"

using namespace DSP;

namespace {

struct Window
{
    int32 length;
    std::vector<std::vector<float>> channels; // W samples each, from the window's start
};

bool sameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// The straightforward form: [history | hop] copied into a window for every hop, the history then
// taken from the window's last V samples; lengths H + F while starting up, then W.
class ReferenceOverlap : public SampleCollector
{
public:
    ReferenceOverlap(int32 channels, int32 window, int32 overlap)
    : SampleCollector(channels, 4096, window - overlap, 0, 48000.0f), V(overlap), H(window - overlap)
    {}
    bool initialize(const Param::ParamRecord* table) override
    {
        SampleCollector::initialize(table);
        restart();
        return true;
    }
    void reset() override
    {
        SampleCollector::reset();
        restart();
    }
    void processBlock(float** collected, float**, int32) override { step(collected); }
    void processBlockInput(float** collected, int32) override { step(collected); }

    bool passThrough = false;
    std::vector<Window> windows;

private:
    void restart()
    {
        history.assign(static_cast<size_t>(channelCount), std::vector<float>(static_cast<size_t>(V), 0.0f));
        filled = 0;
    }
    void step(float** collected)
    {
        if (passThrough)
            return;
        Window w;
        w.length = filled >= V ? V + H : H + filled;
        for (int32 c = 0; c < channelCount; ++c) {
            std::vector<float> win(history[static_cast<size_t>(c)]);
            win.insert(win.end(), collected[c], collected[c] + H);
            history[static_cast<size_t>(c)].assign(win.begin() + H, win.end());
            w.channels.push_back(std::move(win));
        }
        windows.push_back(std::move(w));
        if (filled < V)
            filled += H < V ? H : V;
    }

    int32 V, H;
    int32 filled = 0;
    std::vector<std::vector<float>> history;
};

// Records the windows the collector hands on, and whether each started on an 8-byte boundary.
class ProbeOverlap : public Overlap
{
public:
    ProbeOverlap(int32 channels, int32 window, int32 overlap) : Overlap(channels, 4096, window, overlap, 48000.0f) {}
    void processOverlappedBlock(float** window, int32 length) override
    {
        Window w;
        w.length = length;
        for (int32 c = 0; c < channelCount; ++c) {
            if (reinterpret_cast<std::uintptr_t>(window[c]) & 7u)
                ++misaligned;
            w.channels.emplace_back(window[c], window[c] + overlap + hop);
        }
        windows.push_back(std::move(w));
    }
    std::vector<Window> windows;
    int misaligned = 0;
};

std::vector<std::vector<float>> makeSignal(int32 channels, size_t frames, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<std::vector<float>> x(static_cast<size_t>(channels), std::vector<float>(frames));
    for (auto& ch : x)
        for (float& v : ch)
            v = d(rng);
    return x;
}

void expectSameWindows(const std::vector<Window>& got, const std::vector<Window>& want, const char* what)
{
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t k = 0; k < got.size(); ++k) {
        ASSERT_EQ(got[k].length, want[k].length) << what << " window " << k;
        ASSERT_EQ(got[k].channels.size(), want[k].channels.size());
        for (size_t c = 0; c < got[k].channels.size(); ++c)
            ASSERT_TRUE(sameBits(got[k].channels[c], want[k].channels[c]))
                << what << " window " << k << " channel " << c;
    }
}

struct Shape
{
    int32 window, overlap;
};

// Hops even and odd, overlaps below, equal to and above the hop, several hops per overlap, none.
const Shape kShapes[] = {{20, 15}, {21, 15}, {30, 20}, {31, 20}, {12, 5}, {13, 6},  {10, 5},
                         {11, 5},  {9, 0},   {40, 37}, {41, 38}, {7, 6},  {64, 48}, {99, 66}};

// One block length per call: 0 = random up to `maxPiece`.
std::vector<int> partition(std::mt19937& rng, size_t frames, int fixed, int maxPiece)
{
    std::vector<int> pieces;
    std::uniform_int_distribution<int> d(0, maxPiece);
    size_t pos = 0;
    while (pos < frames) {
        int n = fixed > 0 ? fixed : d(rng);
        if (pos + static_cast<size_t>(n) > frames)
            n = static_cast<int>(frames - pos);
        pieces.push_back(n);
        pos += static_cast<size_t>(n);
    }
    return pieces;
}

} // namespace

TEST(DspCollectorWindows, FeedMatchesStraightforwardFormForEveryPartition)
{
    std::mt19937 rng(7);
    for (const Shape& s : kShapes) {
        for (int32 channels : {1, 2, 3}) {
            const size_t frames = static_cast<size_t>(s.window) * 23 + 5;
            auto x = makeSignal(channels, frames, static_cast<unsigned>(s.window * 10 + channels));
            for (int fixed : {1, 2, 3, s.window - s.overlap, s.window, 0, -1}) {
                const int maxPiece = fixed < 0 ? 4 * s.window : 2 * (s.window - s.overlap) + 1;
                const auto pieces = partition(rng, frames, fixed, maxPiece);
                ProbeOverlap probe(channels, s.window, s.overlap);
                ReferenceOverlap ref(channels, s.window, s.overlap);
                probe.initialize(nullptr);
                probe.reset();
                ref.initialize(nullptr);
                ref.reset();
                size_t pos = 0;
                std::vector<float*> p(static_cast<size_t>(channels));
                for (int n : pieces) {
                    for (int32 c = 0; c < channels; ++c)
                        p[static_cast<size_t>(c)] = x[static_cast<size_t>(c)].data() + pos;
                    probe.feed(p.data(), n);
                    ref.feed(p.data(), n);
                    pos += static_cast<size_t>(n);
                    ASSERT_EQ(probe.getFill(), ref.getFill());
                }
                SCOPED_TRACE(testing::Message() << "W " << s.window << " V " << s.overlap << " channels " << channels
                                                << " piece " << fixed);
                expectSameWindows(probe.windows, ref.windows, "feed");
                EXPECT_EQ(probe.misaligned, 0);
                probe.terminate();
                ref.terminate();
            }
        }
    }
}

TEST(DspCollectorWindows, ProcessPathMatchesAndMixesWithFeed)
{
    std::mt19937 rng(11);
    for (const Shape& s : kShapes) {
        const int32 channels = 2;
        const size_t frames = static_cast<size_t>(s.window) * 17;
        auto x = makeSignal(channels, frames, 3u);
        ProbeOverlap probe(channels, s.window, s.overlap);
        ReferenceOverlap ref(channels, s.window, s.overlap);
        probe.initialize(nullptr);
        probe.reset();
        ref.initialize(nullptr);
        ref.reset();
        std::vector<std::vector<float>> outP(2, std::vector<float>(frames, 1.0f)), outR(outP);
        std::uniform_int_distribution<int> d(0, s.window + 3);
        size_t pos = 0;
        bool useProcess = true;
        while (pos < frames) {
            int n = std::min<int>(d(rng), static_cast<int>(frames - pos));
            float* in[2] = {x[0].data() + pos, x[1].data() + pos};
            if (useProcess) {
                float* op[2] = {outP[0].data() + pos, outP[1].data() + pos};
                float* orf[2] = {outR[0].data() + pos, outR[1].data() + pos};
                probe.process(in, op, n);
                ref.process(in, orf, n);
            } else {
                probe.feed(in, n);
                ref.feed(in, n);
            }
            // A block started by one path is completed by the other.
            useProcess = !useProcess;
            pos += static_cast<size_t>(n);
        }
        SCOPED_TRACE(testing::Message() << "W " << s.window << " V " << s.overlap);
        expectSameWindows(probe.windows, ref.windows, "process");
        EXPECT_TRUE(sameBits(outP[0], outR[0]));
        EXPECT_TRUE(sameBits(outP[1], outR[1]));
        EXPECT_EQ(probe.misaligned, 0);
    }
}

TEST(DspCollectorWindows, ResetsAndPassThroughMidStream)
{
    std::mt19937 rng(5);
    for (const Shape& s : kShapes) {
        const int32 channels = 2;
        const size_t frames = static_cast<size_t>(s.window) * 40;
        auto x = makeSignal(channels, frames, 9u);
        ProbeOverlap probe(channels, s.window, s.overlap);
        ReferenceOverlap ref(channels, s.window, s.overlap);
        probe.initialize(nullptr);
        probe.reset();
        ref.initialize(nullptr);
        ref.reset();
        std::uniform_int_distribution<int> piece(1, s.window);
        std::uniform_int_distribution<int> event(0, 15);
        size_t pos = 0;
        int resets = 0, toggles = 0;
        while (pos < frames) {
            switch (event(rng)) {
            case 0:
                probe.reset();
                ref.reset();
                ++resets;
                break;
            case 1:
                // Deactivating resets as well.
                probe.setActive(false);
                ref.setActive(false);
                probe.setActive(true);
                ref.setActive(true);
                ++resets;
                break;
            case 2:
                ref.passThrough = !ref.passThrough;
                probe.setPassThrough(ref.passThrough ? 1 : 0);
                ++toggles;
                break;
            default:
                break;
            }
            int n = std::min<int>(piece(rng), static_cast<int>(frames - pos));
            float* in[2] = {x[0].data() + pos, x[1].data() + pos};
            probe.feed(in, n);
            ref.feed(in, n);
            pos += static_cast<size_t>(n);
        }
        SCOPED_TRACE(testing::Message() << "W " << s.window << " V " << s.overlap);
        EXPECT_GT(resets, 0);
        EXPECT_GT(toggles, 0);
        expectSameWindows(probe.windows, ref.windows, "reset");
        EXPECT_EQ(probe.misaligned, 0);
    }
}

TEST(DspCollectorWindows, ChannelCountChangeKeepsWindowsExact)
{
    const Shape s{31, 20};
    auto x = makeSignal(3, 400, 1u);
    ProbeOverlap probe(2, s.window, s.overlap);
    ReferenceOverlap ref(2, s.window, s.overlap);
    probe.initialize(nullptr);
    probe.reset();
    ref.initialize(nullptr);
    ref.reset();
    float* in[3] = {x[0].data(), x[1].data(), x[2].data()};
    probe.feed(in, 100);
    ref.feed(in, 100);
    EXPECT_EQ(probe.setChannelCount(3, 3, 0), kChannelsAccepted);
    EXPECT_EQ(ref.setChannelCount(3, 3, 0), kChannelsAccepted);
    probe.windows.clear();
    probe.reset();
    ref.reset();
    ref.windows.clear();
    float* rest[3] = {x[0].data() + 100, x[1].data() + 100, x[2].data() + 100};
    probe.feed(rest, 300);
    ref.feed(rest, 300);
    ASSERT_FALSE(probe.windows.empty());
    EXPECT_EQ(probe.windows[0].channels.size(), 3u);
    expectSameWindows(probe.windows, ref.windows, "channels");
}

TEST(DspCollectorWindows, NewLengthsStartAFreshStream)
{
    auto x = makeSignal(1, 2000, 4u);
    for (const Shape& to : {Shape{13, 6}, Shape{99, 66}, Shape{200, 150}}) {
        ProbeOverlap probe(1, 20, 15);
        probe.initialize(nullptr);
        probe.reset();
        float* in = x[0].data();
        probe.feed(&in, 57);
        probe.setLengths(to.window, to.overlap);
        EXPECT_EQ(probe.getLatency(), to.window);
        EXPECT_TRUE(probe.isStartingUp());
        EXPECT_EQ(probe.getFill(), 0);
        EXPECT_GE(probe.getStreamCapacity(), to.window);
        probe.windows.clear();
        ReferenceOverlap ref(1, to.window, to.overlap);
        ref.initialize(nullptr);
        ref.reset();
        float* rest = x[0].data() + 57;
        probe.feed(&rest, 1900);
        ref.feed(&rest, 1900);
        SCOPED_TRACE(testing::Message() << "to W " << to.window << " V " << to.overlap);
        expectSameWindows(probe.windows, ref.windows, "lengths");
        EXPECT_EQ(probe.misaligned, 0);
    }
}

namespace {

// Records every window's mean square as the gated collectors measure it, on the calling thread.
class MeanSquares : public CollectorOverlap
{
public:
    MeanSquares(int32 window, int32 overlap) : CollectorOverlap(2, 4096, window, overlap, 48000.0f, false) {}
    std::vector<float> values;

protected:
    void processWindow(int32 samples, float meanSquare) override
    {
        if (samples == windowLength)
            values.push_back(meanSquare);
    }
    void clearGating() override {}
};

} // namespace

// The sums read the stream in place; an odd hop must not shift how the accurate sum pairs its
// samples, so every reading equals the sum over the window copied to an aligned buffer.
TEST(DspCollectorWindows, GatedReadingsEqualSumsOverAlignedCopies)
{
    ippStaticInit();
    for (const Shape& s : {Shape{1921, 1440}, Shape{1920, 1440}, Shape{301, 200}, Shape{300, 200}, Shape{97, 66}}) {
        const size_t frames = static_cast<size_t>(s.window) * 12;
        auto x = makeSignal(2, frames, 21u);
        for (auto& ch : x)
            for (float& v : ch)
                v = v * v * 0.25f + 1e-7f; // squared, weighted-like values
        MeanSquares m(s.window, s.overlap);
        m.initialize(nullptr);
        m.reset();
        m.getSummer()->setWeight(1, 1.41f);
        ReferenceOverlap ref(2, s.window, s.overlap);
        ref.initialize(nullptr);
        ref.reset();
        std::mt19937 rng(static_cast<unsigned>(s.window));
        std::uniform_int_distribution<int> piece(1, 700);
        size_t pos = 0;
        while (pos < frames) {
            int n = std::min<int>(piece(rng), static_cast<int>(frames - pos));
            float* in[2] = {x[0].data() + pos, x[1].data() + pos};
            m.feed(in, n);
            ref.feed(in, n);
            pos += static_cast<size_t>(n);
        }
        Collector summer(2, s.window);
        summer.initialize(nullptr);
        summer.reset();
        summer.setWeight(1, 1.41f);
        float* aligned[2];
        for (float*& a : aligned)
            a = static_cast<float*>(alignedMalloc(s.window * static_cast<int32>(sizeof(float)), 16));
        std::vector<float> want;
        for (const Window& w : ref.windows) {
            if (w.length != s.window)
                continue;
            for (int c = 0; c < 2; ++c)
                std::memcpy(aligned[c], w.channels[static_cast<size_t>(c)].data(),
                            sizeof(float) * static_cast<size_t>(s.window));
            summer.weightedBlockEnergy(aligned, s.window);
            want.push_back(summer.getMeanSquare());
        }
        for (float* a : aligned)
            alignedFree(a);
        SCOPED_TRACE(testing::Message() << "W " << s.window << " V " << s.overlap);
        ASSERT_GT(want.size(), 5u);
        EXPECT_TRUE(sameBits(m.values, want));
        m.terminate();
    }
}
