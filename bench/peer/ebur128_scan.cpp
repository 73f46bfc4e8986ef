// The yardstick for the host benchmark: a file scanner built on libebur128 that measures what
// `meter` measures (momentary, short-term, integrated, range, true peak) and prints them.
#include <ebur128.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 64;
    }
    SF_INFO info{};
    SNDFILE* f = sf_open(argv[1], SFM_READ, &info);
    if (!f) {
        std::fprintf(stderr, "cannot read %s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    ebur128_state* st =
        ebur128_init(static_cast<unsigned>(info.channels), static_cast<unsigned long>(info.samplerate),
                     EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
    if (!st)
        return 2;
    std::vector<float> buf(static_cast<std::size_t>(16384 * info.channels));
    double momentaryMax = -HUGE_VAL;
    sf_count_t got;
    while ((got = sf_readf_float(f, buf.data(), 16384)) > 0) {
        // Fed in blocks of 512 frames as a host would, the momentary maximum followed per block.
        for (sf_count_t at = 0; at < got; at += 512) {
            sf_count_t n = got - at < 512 ? got - at : 512;
            ebur128_add_frames_float(st, buf.data() + at * info.channels, static_cast<std::size_t>(n));
            double m = 0.0;
            if (ebur128_loudness_momentary(st, &m) == EBUR128_SUCCESS && m > momentaryMax)
                momentaryMax = m;
        }
    }
    sf_close(f);
    double integrated = 0.0, range = 0.0, shortTerm = 0.0, peak = 0.0;
    ebur128_loudness_global(st, &integrated);
    ebur128_loudness_range(st, &range);
    ebur128_loudness_shortterm(st, &shortTerm);
    for (unsigned c = 0; c < static_cast<unsigned>(info.channels); ++c) {
        double p = 0.0;
        ebur128_true_peak(st, c, &p);
        peak = p > peak ? p : peak;
    }
    ebur128_destroy(&st);
    std::printf("integrated %.2f LUFS, range %.2f LU, short-term %.2f LUFS, momentary max %.2f LUFS, true peak %.2f "
                "dBTP\n",
                integrated, range, shortTerm, momentaryMax, 20.0 * std::log10(peak));
    return 0;
}
