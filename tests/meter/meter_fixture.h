// A session over the built bundle, set up for stereo at 48 kHz, and signal helpers.
#pragma once

#include "host/session.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace metertest {

using namespace qelhost;
using Bytes = std::vector<std::uint8_t>;

const std::uint8_t kProcessorCid[16] = {0x42, 0x61, 0x3C, 0xDE, 0x35, 0x56, 0x46, 0x53,
                                        0xB0, 0xD4, 0x0A, 0xD6, 0xBD, 0xC2, 0xAA, 0x79};
const std::uint8_t kControllerCid[16] = {0x6D, 0x82, 0x6A, 0x83, 0x82, 0xB4, 0x4A, 0x8D,
                                         0xB3, 0x74, 0x80, 0x4F, 0xBE, 0x77, 0x9C, 0x68};

// Normalised value of a meter row (-80 .. 48).
constexpr auto meterNorm = [](double plain) { return (plain + 80.0) / 128.0; };

// Two channels of samples, planar.
struct Stereo
{
    std::vector<float> l, r;
    explicit Stereo(std::size_t n = 0) : l(n), r(n) {}
    std::size_t size() const { return l.size(); }
};

inline Stereo sine(double seconds, double rate, double freq, double amp, double phaseR = 0.0)
{
    std::size_t n = static_cast<std::size_t>(std::llround(seconds * rate));
    Stereo s(n);
    const double w = 6.283185307179586 * freq / rate;
    for (std::size_t i = 0; i < n; ++i) {
        s.l[i] = static_cast<float>(amp * std::sin(w * static_cast<double>(i)));
        s.r[i] = static_cast<float>(amp * std::sin(w * static_cast<double>(i) + phaseR));
    }
    return s;
}

// One block handed straight to the processor: `channels` planar inputs of `value` x (channel + 1),
// outputs pre-filled with -7 so that unwritten samples show, empty change lists and a context.
struct RawBlock
{
    std::vector<std::vector<float>> in, out;
    std::vector<float*> inPtr, outPtr;
    AudioBusBuffers ib{}, ob{};
    HostParameterChanges inChanges, outChanges;
    ProcessContext ctx{};
    ProcessData data{};
    RawBlock(int channels, int n, float value = 0.25f)
    {
        // Moving a vector keeps its buffer: the pointers stay valid as the outer vectors grow.
        for (int c = 0; c < channels; ++c) {
            inPtr.push_back(in.emplace_back(static_cast<std::size_t>(n), value * static_cast<float>(c + 1)).data());
            outPtr.push_back(out.emplace_back(static_cast<std::size_t>(n), -7.0f).data());
        }
        ib = AudioBusBuffers{channels, 0, inPtr.data()};
        ob = AudioBusBuffers{channels, 0, outPtr.data()};
        ctx.sampleRate = 48000.0;
        data = ProcessData{kRealtime, kSample32, n, 1, 1, &ib, &ob, &inChanges, &outChanges, nullptr, nullptr, nullptr};
    }
};

class BundleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(session.load(error)) << error;
        ASSERT_TRUE(session.create(error)) << error;
    }
    void setupStereo(int block = 512, double rate = 48000.0)
    {
        std::string error;
        ASSERT_TRUE(session.setup(rate, 2, block, error)) << error;
    }
    // Feeds a signal on the audio thread in blocks of `block`, all in flight at once: `block` is the
    // set-up size, or the signal is one block. Outputs land in `out` when given.
    void feed(const Stereo& s, int block, Stereo* out = nullptr)
    {
        ASSERT_TRUE(block == session.blockSize() ||
                    (s.size() <= static_cast<std::size_t>(block) && block <= session.blockSize()))
            << block;
        const float* in[2] = {s.l.data(), s.r.data()};
        float* o[2] = {out ? out->l.data() : nullptr, out ? out->r.data() : nullptr};
        EXPECT_EQ(session.processStretch(in, static_cast<std::int64_t>(s.size()), out ? o : nullptr), kResultOk);
    }
    // The processor's getState, and its setState or the controller's on a stream of `bytes`.
    Bytes save()
    {
        Bytes out;
        EXPECT_TRUE(session.saveState(out));
        return out;
    }
    tresult setState(const Bytes& bytes, bool controller = false)
    {
        auto* stream = new MemoryStream(bytes);
        tresult r =
            controller ? session.controller()->setComponentState(stream) : session.component()->setState(stream);
        stream->release();
        return r;
    }
    std::vector<MessageRecord> messages(const std::string& id)
    {
        std::vector<MessageRecord> out;
        for (auto& m : session.router().log())
            if (m.id == id)
                out.push_back(m);
        return out;
    }
    Session session{NORRIK_BUNDLE_PATH};
};

} // namespace metertest
