// Reading files: every frame reaches its channel unchanged, whatever the request sizes and where
// they fall against the read-ahead chunks.
#include "host/audiosource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace qelhost;

std::vector<float> interleavedRamp(int channels, std::int64_t frames)
{
    std::vector<float> v(static_cast<std::size_t>(channels * frames));
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<float>(i % 1000003) * 0.5f - 7.25f;
    return v;
}

} // namespace

TEST(HostAudioSourceRead, DeinterleavesEveryFrameForAnyRequestSize)
{
    char dirTemplate[] = "/tmp/hostreadXXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate;
    // Lengths around and across several read-ahead chunks, odd tails included.
    for (int channels : {1, 2, 6}) {
        for (std::int64_t frames : {std::int64_t(3), std::int64_t(16383), std::int64_t(65536 + 16384 + 7)}) {
            const auto want = interleavedRamp(channels, frames);
            const std::string path = dir + "/r.wav";
            std::string error;
            ASSERT_TRUE(writeWavFile(path, want, channels, 48000, error)) << error;
            for (std::int64_t request :
                 {std::int64_t(1), std::int64_t(5), std::int64_t(512), std::int64_t(16384), std::int64_t(70001)}) {
                auto src = openAudioFile(path, error);
                ASSERT_NE(src, nullptr) << error;
                ASSERT_EQ(src->channels(), channels);
                ASSERT_EQ(src->frames(), frames);
                std::vector<std::vector<float>> got(static_cast<std::size_t>(channels));
                std::vector<std::vector<float>> buf(static_cast<std::size_t>(channels),
                                                    std::vector<float>(static_cast<std::size_t>(request) + 1, -1.0f));
                std::vector<float*> ptr(static_cast<std::size_t>(channels));
                for (;;) {
                    for (int c = 0; c < channels; ++c)
                        ptr[static_cast<std::size_t>(c)] = buf[static_cast<std::size_t>(c)].data();
                    const std::int64_t n = src->read(ptr.data(), request);
                    ASSERT_LE(n, request);
                    if (n <= 0)
                        break;
                    for (int c = 0; c < channels; ++c) {
                        auto& b = buf[static_cast<std::size_t>(c)];
                        got[static_cast<std::size_t>(c)].insert(got[static_cast<std::size_t>(c)].end(), b.begin(),
                                                                b.begin() + n);
                        // Nothing is written past the frames answered.
                        EXPECT_EQ(b[static_cast<std::size_t>(request)], -1.0f);
                    }
                }
                for (int c = 0; c < channels; ++c) {
                    const auto& g = got[static_cast<std::size_t>(c)];
                    ASSERT_EQ(static_cast<std::int64_t>(g.size()), frames);
                    for (std::int64_t i = 0; i < frames; ++i)
                        ASSERT_EQ(g[static_cast<std::size_t>(i)], want[static_cast<std::size_t>(i * channels + c)])
                            << "channels " << channels << " frames " << frames << " request " << request << " frame "
                            << i << " channel " << c;
                }
            }
            std::remove(path.c_str());
        }
    }
    rmdir(dir.c_str());
}
