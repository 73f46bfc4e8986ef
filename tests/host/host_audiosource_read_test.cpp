// Reading files: every frame reaches its channel unchanged, whatever the request sizes and where
// they fall against the read-ahead chunks; an intact AIFF or AIFC is read whole without a warning.
#include "host/audiosource.h"
#include "meterrun.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

TEST(HostAudioSourceRead, IntactAiffAndAifcAreReadWholeWithoutAWarning)
{
    // One second of stereo; the AIFC of uncompressed samples ('NONE') is made by hand from the AIFF,
    // as libsndfile writes AIFC only for other sample types. IMA ADPCM counts packets, not frames.
    constexpr std::int64_t kFrames = 48000;
    struct Case
    {
        const char* name;
        int format;
        const char* type; // the form type, or the AIFC compression type
    };
    const Case cases[] = {
        {"AIFF, 16-bit", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "AIFF"},
        {"AIFC, 16-bit uncompressed", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "NONE"},
        {"AIFC, 16-bit little-endian", SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE, "sowt"},
        {"AIFC, 32-bit float", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, "FL32"},
        {"AIFC, IMA ADPCM", SF_FORMAT_AIFF | SF_FORMAT_IMA_ADPCM, "ima4"},
    };
    const std::string path = ::testing::TempDir() + "/intact-" + std::to_string(getpid()) + ".aif";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SF_INFO info{};
        info.channels = 2;
        info.samplerate = 48000;
        info.format = c.format;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        const auto ramp = interleavedRamp(2, kFrames);
        std::vector<float> samples(ramp.size());
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = ramp[i] * 1e-6f;
        EXPECT_EQ(sf_writef_float(f, samples.data(), kFrames), kFrames);
        sf_close(f);
        std::string bytes = wholefile::read(path);
        if (std::string(c.type) == "NONE") {
            // FORM AIFC, a version chunk, the common chunk with the compression type, the sound chunk.
            ASSERT_EQ(bytes.substr(8, 8), "AIFFCOMM");
            ASSERT_EQ(bytes.substr(38, 4), "SSND");
            const std::string body = std::string("AIFCFVER\0\0\0\4\xA2\x80\x51\x40"
                                                 "COMM\0\0\0\x18",
                                                 24) +
                                     bytes.substr(20, 18) + std::string("NONE\0\0", 6) + bytes.substr(38);
            const std::uint32_t size = static_cast<std::uint32_t>(body.size());
            bytes = "FORM" + std::string{char(size >> 24), char(size >> 16), char(size >> 8), char(size)} + body;
            std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        }
        // The form type, or AIFC's compression type after the common chunk's 18 bytes of AIFF.
        const std::size_t comm = bytes.find("COMM");
        ASSERT_EQ(bytes.substr(8, 4) == "AIFF" ? bytes.substr(8, 4) : bytes.substr(comm + 8 + 18, 4), c.type);

        std::string error;
        auto src = openAudioFile(path, error);
        ASSERT_NE(src, nullptr) << error;
        EXPECT_EQ(src->frames(), kFrames);
        std::vector<float> left(4096), right(4096);
        float* channels[2] = {left.data(), right.data()};
        std::int64_t read = 0;
        for (std::int64_t n; (n = src->read(channels, 4096)) > 0;)
            read += n;
        EXPECT_EQ(read, kFrames);
        EXPECT_EQ(src->warnings(), "");
    }
    std::remove(path.c_str());
}

// A headerless AU file (u-law told by its name) reads as libsndfile reads it by name, from past the
// 12 bytes it looked at, to its end without a warning: its length is the file's size, no promise.
TEST(HostAudioSourceRead, AHeaderlessAuFileReadsPastItsFirst12BytesAsByNameWithoutAWarning)
{
    std::string bytes(4000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 37 % 251);
    for (const char* extension : {".au", ".SND"}) {
        SCOPED_TRACE(extension);
        const std::string path = ::testing::TempDir() + "/headerless-" + std::to_string(getpid()) + extension;
        std::ofstream(path, std::ios::binary) << bytes;
        SF_INFO info{};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        std::vector<float> want(bytes.size() + 1);
        want.resize(static_cast<std::size_t>(sf_readf_float(f, want.data(), static_cast<sf_count_t>(want.size()))));
        sf_close(f);
        ASSERT_EQ(want.size(), bytes.size() - 12);

        std::string error;
        auto src = openAudioFile(path, error);
        ASSERT_NE(src, nullptr) << error;
        EXPECT_EQ(src->channels(), 1);
        EXPECT_EQ(src->sampleRate(), 8000);
        std::vector<float> got(bytes.size() + 1000);
        float* channel[1] = {got.data()};
        std::size_t read = 0;
        for (std::int64_t n; (n = src->read(channel, 1000)) > 0; channel[0] += n)
            read += static_cast<std::size_t>(n);
        got.resize(read);
        EXPECT_TRUE(got == want) << read << " frames read, " << want.size() << " by name";
        EXPECT_EQ(src->warnings(), "");
        std::remove(path.c_str());
    }
}
