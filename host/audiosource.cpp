#include "host/audiosource.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qelhost {

namespace {

class SndfileSource final : public AudioSource
{
public:
    SndfileSource(SNDFILE* file, const SF_INFO& info, std::string path)
    : file_(file), info_(info), path_(std::move(path)), scratch_(static_cast<std::size_t>(kChunk * info.channels))
    {}
    ~SndfileSource() override { sf_close(file_); }

    int channels() const override { return info_.channels; }
    double sampleRate() const override { return info_.samplerate; }
    std::int64_t frames() const override { return info_.frames; }
    std::string name() const override { return path_; }

    std::int64_t read(float* const* out, std::int64_t maxFrames) override
    {
        // Served from a large read-ahead buffer: one system call per chunk, not per block.
        const int ch = info_.channels;
        std::int64_t done = 0;
        while (done < maxFrames) {
            if (bufPos_ == bufFrames_) {
                sf_count_t got = sf_readf_float(file_, scratch_.data(), kChunk);
                bufFrames_ = got > 0 ? got : 0;
                bufPos_ = 0;
                if (bufFrames_ == 0)
                    break;
            }
            std::int64_t n = std::min<std::int64_t>(maxFrames - done, bufFrames_ - bufPos_);
            const float* src = scratch_.data() + bufPos_ * ch;
            if (ch == 1) {
                std::memcpy(out[0] + done, src, sizeof(float) * static_cast<std::size_t>(n));
            } else if (ch == 2) {
                // One pass over the interleaved frames for both channels.
                float* l = out[0] + done;
                float* r = out[1] + done;
                std::int64_t i = 0;
#if defined(__SSE2__)
                for (; i + 4 <= n; i += 4) {
                    const __m128 a = _mm_loadu_ps(src + 2 * i);
                    const __m128 b = _mm_loadu_ps(src + 2 * i + 4);
                    _mm_storeu_ps(l + i, _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
                    _mm_storeu_ps(r + i, _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
                }
#endif
                for (; i < n; ++i) {
                    l[i] = src[2 * i];
                    r[i] = src[2 * i + 1];
                }
            } else {
                for (int c = 0; c < ch; ++c) {
                    float* dst = out[c] + done;
                    for (std::int64_t i = 0; i < n; ++i)
                        dst[i] = src[i * ch + c];
                }
            }
            bufPos_ += n;
            done += n;
        }
        return done;
    }

private:
    static constexpr std::int64_t kChunk = 16384; // 128 KiB of stereo: stays in cache until de-interleaved
    std::int64_t bufFrames_ = 0;
    std::int64_t bufPos_ = 0;
    SNDFILE* file_;
    SF_INFO info_;
    std::string path_;
    std::vector<float> scratch_;
};

class ProgrammeSource final : public AudioSource
{
public:
    ProgrammeSource(double seconds, double rate)
    : rate_(rate), total_(static_cast<std::int64_t>(std::llround(seconds * rate)))
    {}
    int channels() const override { return 2; }
    double sampleRate() const override { return rate_; }
    std::int64_t frames() const override { return total_; }
    std::string name() const override { return "(built-in test programme)"; }

    std::int64_t read(float* const* out, std::int64_t maxFrames) override
    {
        std::int64_t n = std::min(maxFrames, total_ - pos_);
        for (std::int64_t i = 0; i < n; ++i) {
            float l = 0.0f, r = 0.0f;
            sample(pos_ + i, l, r);
            out[0][i] = l;
            out[1][i] = r;
        }
        pos_ += n;
        return n;
    }

private:
    // Sections by time: 0-8 s tone, 8-14 s noise, 14-16 s quiet tone, 16-20 s loud low tone.
    void sample(std::int64_t k, float& l, float& r)
    {
        const double t = static_cast<double>(k) / rate_;
        const double twoPi = 6.283185307179586;
        if (t < 8.0) {
            float v = static_cast<float>(0.1 * std::sin(twoPi * 997.0 * t));
            l = r = v;
        } else if (t < 14.0) {
            l = static_cast<float>(0.05 * noise(seedL_));
            r = static_cast<float>(0.05 * noise(seedR_));
        } else if (t < 16.0) {
            float v = static_cast<float>(0.003 * std::sin(twoPi * 440.0 * t));
            l = r = v;
        } else {
            double a = 0.25;
            if (t >= 18.0 && t < 18.01)
                a = 0.95;
            l = static_cast<float>(a * std::sin(twoPi * 100.0 * t));
            r = static_cast<float>(a * std::sin(twoPi * 100.0 * t + 0.5));
        }
    }
    // Uniform in [-1, 1) from a 32-bit linear congruential generator.
    static double noise(std::uint32_t& s)
    {
        s = s * 1664525u + 1013904223u;
        return static_cast<double>(s) / 2147483648.0 - 1.0;
    }

    double rate_;
    std::int64_t total_;
    std::int64_t pos_ = 0;
    std::uint32_t seedL_ = 12345u;
    std::uint32_t seedR_ = 67890u;
};

} // namespace

std::unique_ptr<AudioSource> openAudioFile(const std::string& path, std::string& error)
{
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) {
        error = "cannot read " + path + ": " + sf_strerror(nullptr);
        return nullptr;
    }
    if (info.channels < 1 || info.channels > 2) {
        error = path + ": " + std::to_string(info.channels) + " channels; only mono and stereo files can be metered";
        sf_close(f);
        return nullptr;
    }
    if (info.samplerate < 1) {
        error = path + ": invalid sample rate";
        sf_close(f);
        return nullptr;
    }
    if (info.frames < 0) {
        error = path + ": unknown length";
        sf_close(f);
        return nullptr;
    }
    return std::make_unique<SndfileSource>(f, info, path);
}

std::unique_ptr<AudioSource> makeTestProgramme(double seconds, double sampleRate)
{
    return std::make_unique<ProgrammeSource>(seconds, sampleRate);
}

bool writeWavFile(const std::string& path, const std::vector<float>& interleaved, int channels, int sampleRate,
                  std::string& error)
{
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    sf_count_t frames = static_cast<sf_count_t>(interleaved.size() / static_cast<std::size_t>(channels));
    sf_count_t wrote = sf_writef_float(f, interleaved.data(), frames);
    sf_close(f);
    if (wrote != frames) {
        error = "short write to " + path;
        return false;
    }
    return true;
}

} // namespace qelhost
