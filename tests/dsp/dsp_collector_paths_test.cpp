// The re-blocking paths the meter does not take every block: a collect's output one block late,
// pass-through and new window lengths while running.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <utility>
#include <vector>

#include "dsp/samplecollector.h"

using namespace DSP;

namespace {

// Sample i of x; zero before x starts.
float at(const std::vector<float>& x, long i)
{
    return i < 0 ? 0.0f : x[static_cast<size_t>(i)];
}

// Doubles each window's new hop: the output shows whether the window was processed.
class DoublingOls : public Ols
{
public:
    DoublingOls(int32 window, int32 overlap) : Ols(1, 4096, window, overlap, 48000.0f) {}
    void processOverlappedBlock(float** window, int32 length) override
    {
        for (int32 i = overlap; i < length; ++i)
            window[0][i] *= 2.0f;
    }
};

class RecordingOverlap : public Overlap
{
public:
    RecordingOverlap(int32 window, int32 overlap) : Overlap(1, 4096, window, overlap, 48000.0f) {}
    void processOverlappedBlock(float** window, int32 length) override
    {
        lengths.push_back(length);
        windows.emplace_back(window[0], window[0] + overlap + hop);
    }
    std::vector<int32> lengths;
    std::vector<std::vector<float>> windows;
};

} // namespace

TEST(DspCollectorPaths, CollectIsOneHopLateAndPassThroughSkipsTheWindow)
{
    std::vector<float> x(100), y(100);
    std::iota(x.begin(), x.end(), 1.0f);
    const size_t pieces[] = {1, 13, 4, 0, 29};
    for (auto [window, overlap] : {std::pair{10, 3}, std::pair{12, 8}}) { // overlap below and above the hop
        DoublingOls o(window, overlap);
        o.initialize(nullptr);
        const long hop = window - overlap;
        for (float gain : {2.0f, 1.0f}) {
            o.reset();
            o.setPassThrough(gain == 1.0f);
            for (size_t pos = 0, k = 0, n = 0; pos < x.size(); pos += n, ++k) {
                n = std::min(pieces[k % 5], x.size() - pos);
                float* in = x.data() + pos;
                float* out = y.data() + pos;
                o.process(&in, &out, static_cast<int32>(n));
            }
            for (long i = 0; i < 100; ++i)
                ASSERT_EQ(y[i], gain * at(x, i - hop)) << "window " << window << " gain " << gain << " at " << i;
        }
    }
}

TEST(DspCollectorPaths, NewLengthsStartOverAndPassThroughHoldsTheStream)
{
    std::vector<float> x(600);
    std::iota(x.begin(), x.end(), 1.0f);
    // Shorter than the stream holds, longer, and without overlap.
    for (auto [window, overlap] : {std::pair{8, 6}, std::pair{50, 25}, std::pair{9, 0}}) {
        RecordingOverlap o(20, 15);
        o.initialize(nullptr);
        float* in = x.data();
        o.feed(&in, 57); // leaves a partial hop and a running window behind
        o.setLengths(window, overlap);
        EXPECT_EQ(o.getLatency(), window);
        o.lengths.clear();
        o.windows.clear();
        // Windows over the new stream alone, growing by min(hop, overlap) per hop while starting up.
        const long hop = window - overlap;
        std::vector<float> rest(x.begin() + 57, x.end() - 543 % hop); // whole hops
        in = rest.data();
        o.feed(&in, static_cast<int32>(rest.size()));
        ASSERT_EQ(o.windows.size(), rest.size() / static_cast<size_t>(hop));
        for (long k = 0; k < static_cast<long>(o.windows.size()); ++k) {
            EXPECT_EQ(o.lengths[k], std::min(hop + k * std::min(hop, long(overlap)), long(window)));
            for (long i = 0; i < window; ++i)
                ASSERT_EQ(o.windows[k][i], at(rest, (k + 1) * hop - window + i))
                    << "window " << window << " k " << k << " at " << i;
        }
        // Nothing is handed on while passing through; then the window joins the stream as it was
        // to the newest hop.
        in = x.data();
        o.setPassThrough(1);
        o.feed(&in, static_cast<int32>(3 * hop));
        const size_t before = o.windows.size();
        o.setPassThrough(0);
        in += 3 * hop;
        o.feed(&in, static_cast<int32>(hop));
        ASSERT_EQ(o.windows.size(), before + 1);
        for (long i = 0; i < window; ++i)
            EXPECT_EQ(o.windows.back()[i], i < overlap ? at(rest, long(rest.size()) - overlap + i) : in[i - overlap]);
    }
}
