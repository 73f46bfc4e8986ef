// The cache-blocked transform whose rows are split once more, against the double reference. It
// needs about 1 GB: it runs only where that much is free, never under a sanitizer, and never
// beside other tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "fft_reference.h"
#include "primitives/fft/fft_internal.h"
#include "tests/common/sanitized.h"

namespace {

// What the system can still hand out without swapping (0 when it does not say).
std::int64_t availableBytes()
{
    std::ifstream info("/proc/meminfo");
    std::string key;
    std::int64_t kb = 0;
    while (info >> key >> kb) {
        if (key == "MemAvailable:")
            return kb * 1024;
        info.ignore(256, '\n');
    }
    return 0;
}

double relRmsOf(const std::vector<float>& got, const std::vector<cd>& ref, double scale)
{
    double num = 0, den = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        const cd r = ref[i] * scale, d = cd(got[2 * i], got[2 * i + 1]) - r;
        num += std::norm(d);
        den += std::norm(r);
    }
    return std::sqrt(num / den);
}

// m7 at real order 26: 2^25 complex points as 256 rows of 2^17, each row 16 rows of 2^13. Both
// directions scale by 1/sqrt(2^26), so the nested rows' scaling is in play too.
TEST(FftLargeNested, M7Order26MatchesTheReferenceAndComesBack)
{
#if NORRIK_TEST_SANITIZED
    GTEST_SKIP() << "too large for a sanitizer's shadow memory";
#endif
    if (availableBytes() < (std::int64_t(2) << 30))
        GTEST_SKIP() << "needs 2 GB of free memory";
    const int order = 26, m = order - 1;
    const size_t n = size_t(1) << m;
    RealFftSpec32f* spec = nullptr;
    ASSERT_EQ(m7_ippsFFTInitAlloc_R_32f(&spec, order, 4, 0), 0);
    ASSERT_NE(spec->columnTwiddles[1], nullptr) << "the rows are not split again";
    int bufSize = 0;
    ASSERT_EQ(m7_ippsFFTGetBufSize_R_32f(spec, &bufSize), 0);
    OffsetBuffer buffer(bufSize / 4, 0);
    auto* work = buffer.f();

    std::vector<float> y = randomFloats(2 * n, 26);
    {
        std::vector<cd> ref(n);
        for (size_t i = 0; i < n; ++i)
            ref[i] = cd(y[2 * i], y[2 * i + 1]);
        referenceDftInPlace(ref, -1);
        m7_ipps_cFftFwd_Large_32fc(spec, reinterpret_cast<Ipp32fc*>(y.data()), reinterpret_cast<Ipp32fc*>(y.data()), m,
                                   work);
        EXPECT_LT(relRmsOf(y, ref, spec->factor), 2e-6);
    }
    m7_ipps_cFftInv_Large_32fc(spec, reinterpret_cast<Ipp32fc*>(y.data()), reinterpret_cast<Ipp32fc*>(y.data()), m,
                               work);
    const auto x = randomFloats(2 * n, 26);
    const double back = double(n) * spec->factor * spec->factor;
    double num = 0, den = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        num += (y[i] - back * x[i]) * (y[i] - back * x[i]);
        den += back * x[i] * back * x[i];
    }
    EXPECT_LT(std::sqrt(num / den), 4e-6);
    m7_ippsFFTFree_R_32f(spec);
}

} // namespace
