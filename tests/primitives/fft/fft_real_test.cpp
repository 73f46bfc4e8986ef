// Real FFT through the exported names of every variant: set-up, statuses, accuracy, layouts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <thread>
#include <vector>

#include "fft_reference.h"
#include "primitives/vector/ipps_vector.h"
#include "fft_variants.h"

namespace {

struct Spec
{
    const FftVariant& v;
    RealFftSpec32f* p = nullptr;
    Spec(const FftVariant& var, int order, int flag) : v(var)
    {
        EXPECT_EQ(v.initAlloc(&p, order, flag, 0), 0) << v.name << " order " << order;
    }
    ~Spec()
    {
        if (p)
            v.free(p);
    }
};

// Counts the primitive allocator's calls and fails every one from the chosen call on.
struct AllocProbe
{
    static inline int calls = 0, frees = 0, failAt = -1;
    IppMallocFn oldMalloc = i_malloc;
    IppFreeFn oldFree = i_free;
    explicit AllocProbe(int fail)
    {
        calls = frees = 0;
        failAt = fail;
        i_malloc = [](std::size_t n) -> void* {
            const int c = calls++;
            return failAt >= 0 && c >= failAt ? nullptr : std::malloc(n);
        };
        i_free = [](void* p) {
            ++frees;
            std::free(p);
        };
    }
    ~AllocProbe()
    {
        i_malloc = oldMalloc;
        i_free = oldFree;
    }
};

// ---- the double reference ----

// The reference against the sum that defines the transform, past the size from which its
// twiddles are products of two table entries.
TEST(FftReference, MatchesTheDirectSum)
{
    for (size_t n = 1; n <= 512; n *= 2)
        for (int sign : {-1, +1}) {
            const auto parts = randomFloats(2 * n, unsigned(n));
            std::vector<cd> x(n);
            for (size_t i = 0; i < n; ++i)
                x[i] = cd(parts[2 * i], parts[2 * i + 1]);
            const auto X = referenceDft(x, sign);
            double worst = 0;
            for (size_t k = 0; k < n; ++k) {
                cd sum = 0;
                for (size_t t = 0; t < n; ++t)
                    sum += x[t] * std::polar(1.0, sign * 2.0 * M_PI * double(t * k % n) / double(n));
                worst = std::max(worst, std::abs(X[k] - sum));
            }
            EXPECT_LT(worst, 1e-12) << "n " << n << " sign " << sign;
        }
}

// ---- sizes and set-up ----

// Row and column-group tables of the large orders, by m: {L, W}.
std::pair<int, int> largeLW(const FftVariant& v, int m)
{
    if (v.name == "m7_")
        return m < 21 ? std::pair{4, m == 17 ? 9 : 10} : m == 21 ? std::pair{6, 13} : std::pair{8, 15};
    return m < 20 ? std::pair{4, 10} : std::pair{8, 14};
}

// Spec and work bytes of the large transform's levels as the library plans them: the deepest rows'
// radix-4 table and work, each level's column twiddles and column group.
void largeLevels(const FftVariant& v, int m, int64_t& spec, int64_t& work)
{
    const FftLargePlan& plan = v.largePlan(m);
    spec = (8ll << plan.rowOrder) + 32;
    work = 8ll << plan.rowOrder;
    for (int d = 0; d < plan.depths; ++d) {
        spec += 4ll << plan.level[d].m;
        work = std::max<int64_t>(work, 8ll << plan.level[d].W);
    }
}

// Each level takes L and W from the tables by its size; its rows are the next level while they
// are longer than the radix-4 pass takes.
TEST(FftRealSetup, LargePlanFollowsTheRowAndGroupTables)
{
    for (const auto& v : fftVariants()) {
        const int rowLimit = v.largeFrom - 2;
        for (int m = v.largeFrom - 1; m <= 28; ++m) {
            const FftLargePlan& plan = v.largePlan(m);
            int size = m;
            for (int d = 0; d < plan.depths; ++d) {
                const FftLargeLevel& level = plan.level[d];
                EXPECT_EQ(level.m, size) << v.name << " m " << m;
                EXPECT_EQ(std::pair(level.L, level.W), largeLW(v, size)) << v.name << " m " << m;
                size -= level.L;
                EXPECT_EQ(size > rowLimit, d + 1 < plan.depths) << v.name << " m " << m << " depth " << d;
            }
            EXPECT_EQ(plan.rowOrder, size) << v.name << " m " << m;
        }
    }
}

TEST(FftRealSetup, SizesOfEveryOrderWithoutAllocating)
{
    auto a32 = [](int64_t x) { return (x + 31) & ~int64_t(31); };
    for (const auto& v : fftVariants()) {
        AllocProbe probe(0);
        for (int order = 0; order <= 29; ++order) {
            int spec = -1, init = -1, work = -1;
            ASSERT_EQ(v.getSize(order, 2, 0, &spec, &init, &work), 0);
            const int64_t N = int64_t(1) << order, n = N / 2;
            int64_t expSpec = 168, expInit = order >= 11 ? a32(N + 4) + 32 : 0, expWork = 0;
            if (order >= 5) {
                int64_t T = 0;
                if (order >= 7 && order < v.largeFrom) {
                    T = a32(n + 4) + a32(8 * n + 8);
                    expWork = 8 * n + 32;
                } else if (order >= v.largeFrom) {
                    largeLevels(v, order - 1, T, expWork);
                    const bool blocked = order - 1 >= (v.name == "m7_" ? 20 : 19);
                    T += blocked ? (n >> 10) + 4128 : a32(n + 4);
                    expWork = (blocked ? std::max<int64_t>(expWork, 65536) : expWork) + 32;
                }
                const int64_t R = order < v.recThreshold ? a32(2 * N) : a32(8 * (N >> 12) + 8192);
                expSpec = 192 + T + 2 * R;
            }
            EXPECT_EQ(spec, expSpec) << v.name << " order " << order;
            EXPECT_EQ(init, expInit) << v.name << " order " << order;
            EXPECT_EQ(work, expWork) << v.name << " order " << order;
        }
        EXPECT_EQ(AllocProbe::calls, 0);
    }
}

TEST(FftRealSetup, GetSizeStatusesInTheirOrder)
{
    for (const auto& v : fftVariants()) {
        int a, b, c;
        EXPECT_EQ(v.getSize(31, 2, 0, nullptr, nullptr, nullptr), -15);
        EXPECT_EQ(v.getSize(-1, 99, 0, nullptr, &b, &c), -15);
        EXPECT_EQ(v.getSize(30, 2, 0, &a, nullptr, &c), -8);
        EXPECT_EQ(v.getSize(30, 3, 0, &a, &b, &c), -16);
        EXPECT_EQ(v.getSize(30, 2, 0, &a, &b, &c), -15);
        EXPECT_EQ(v.getSize(8, 16, 0, &a, &b, &c), -16);
    }
}

TEST(FftRealSetup, InitStatusesAndFailedInitLeavesNoValidHeader)
{
    for (const auto& v : fftVariants()) {
        std::vector<Ipp8u> mem(12000, 0xAB), initMem(4096);
        RealFftSpec32f* const sentinel = reinterpret_cast<RealFftSpec32f*>(0x1234);
        RealFftSpec32f* spec = sentinel;
        EXPECT_EQ(v.init(nullptr, 8, 2, 0, mem.data(), nullptr), -8);
        EXPECT_EQ(v.init(&spec, -1, 2, 0, mem.data(), nullptr), -15);
        EXPECT_EQ(v.init(&spec, 30, 2, 0, nullptr, nullptr), -15);
        EXPECT_EQ(v.init(&spec, 8, 2, 0, nullptr, nullptr), -8);
        EXPECT_EQ(spec, sentinel);

        auto header = [&] {
            auto a = reinterpret_cast<std::uintptr_t>(mem.data());
            return reinterpret_cast<RealFftSpec32f*>((a + 31) & ~std::uintptr_t(31));
        };
        EXPECT_EQ(v.init(&spec, 8, 5, 7, mem.data(), nullptr), -16);
        EXPECT_EQ(spec, sentinel);
        EXPECT_EQ(header()->id, 0u);
        EXPECT_EQ(header()->order, 8);
        EXPECT_EQ(header()->hint, 7u);

        // A missing init buffer fails; the header must not look like a usable spec.
        std::fill(mem.begin(), mem.end(), 0xAB);
        EXPECT_EQ(v.init(&spec, 11, 2, 0, mem.data(), nullptr), -8);
        EXPECT_EQ(spec, sentinel);
        EXPECT_NE(header()->id, 6u);
        int size = 0;
        EXPECT_EQ(v.getBufSize(header(), &size), -17);
        std::vector<float> x(2048, 1.0f);
        EXPECT_EQ(v.fwd(x.data(), x.data(), header(), nullptr), -17);
        EXPECT_EQ(v.free(header()), -17);
    }
}

TEST(FftRealSetup, InitAllocStatusesAndHeaderFields)
{
    for (const auto& v : fftVariants()) {
        RealFftSpec32f* const sentinel = reinterpret_cast<RealFftSpec32f*>(0x1234);
        RealFftSpec32f* p = sentinel;
        EXPECT_EQ(v.initAlloc(nullptr, 8, 2, 0), -8);
        EXPECT_EQ(v.initAlloc(&p, 30, 2, 0), -15);
        EXPECT_EQ(v.initAlloc(&p, -2, 2, 0), -15);
        EXPECT_EQ(v.initAlloc(&p, 8, 3, 0), -16);
        EXPECT_EQ(p, sentinel);

        Spec s(v, 8, 2);
        RealFftSpec32f* h = s.p;
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h->id, 6u);
        EXPECT_EQ(h->order, 8);
        EXPECT_EQ(h->scaleForward, 0u);
        EXPECT_EQ(h->scaleInverse, 1u);
        EXPECT_EQ(h->factor, 1.0f / 256.0f);
        EXPECT_EQ(h->workBytes, 1024);
        EXPECT_EQ(h->selfAllocated, 1u);
        int size = -1;
        EXPECT_EQ(v.getBufSize(h, &size), 0);
        EXPECT_EQ(size, 1056);
        EXPECT_EQ(v.getBufSize(nullptr, &size), -8);
        EXPECT_EQ(v.getBufSize(h, nullptr), -8);
    }
}

TEST(FftRealSetup, HeaderAndTablesStayInsideTheReportedSize)
{
    for (const auto& v : fftVariants()) {
        for (int order : {0, 4, 5, 6, 7, 8, 12, v.largeFrom, 20, 21}) {
            int specSize, initSize, workSize;
            ASSERT_EQ(v.getSize(order, 2, 0, &specSize, &initSize, &workSize), 0);
            const auto x = randomFloats(size_t(1) << order, 5);
            const auto ref = referencePerm(x);
            for (int off = 0; off<32; off += order> 12 ? 12 : 4) {
                std::vector<Ipp8u> mem(specSize + 64 + 16, 0xCD);
                std::vector<Ipp8u> initMem(initSize + 1);
                Ipp8u* start = mem.data() + 32 - (reinterpret_cast<std::uintptr_t>(mem.data()) % 32) + off;
                RealFftSpec32f* spec = nullptr;
                ASSERT_EQ(v.init(&spec, order, 2, 0, start, initSize ? initMem.data() : nullptr), 0);
                // Nothing written past the reported size.
                for (size_t i = (start - mem.data()) + specSize; i < mem.size(); ++i)
                    ASSERT_EQ(mem[i], 0xCD) << v.name << " order " << order << " offset " << off;
                if (order <= 4) {
                    EXPECT_EQ(spec->bitRevTable, nullptr);
                    EXPECT_EQ(spec->realRecTwiddles, nullptr);
                    EXPECT_EQ(spec->ccsRecTwiddles, nullptr);
                } else if (order <= 6) {
                    EXPECT_EQ(spec->bitRevTable, nullptr);
                    EXPECT_EQ(spec->radix4Twiddles, nullptr);
                    EXPECT_EQ(reinterpret_cast<Ipp8u*>(spec->realRecTwiddles), reinterpret_cast<Ipp8u*>(spec) + 160);
                }
                // Scratch memory of the caller is not kept: a transform still works after it changes.
                std::fill(initMem.begin(), initMem.end(), 0xFF);
                std::vector<float> y(x.size());
                ASSERT_EQ(v.fwd(x.data(), y.data(), spec, nullptr), 0);
                EXPECT_LT(relRms(y.data(), ref), 2e-6);
            }
        }
    }
}

TEST(FftRealSetup, FreeOfCallerMemorySpecOnlyInvalidates)
{
    for (const auto& v : fftVariants()) {
        std::vector<Ipp8u> mem(4096);
        RealFftSpec32f* spec = nullptr;
        ASSERT_EQ(v.init(&spec, 8, 2, 0, mem.data(), nullptr), 0);
        EXPECT_EQ(v.free(spec), 0);
        EXPECT_EQ(spec->id, 0u);
        EXPECT_EQ(v.free(spec), -17);
        EXPECT_EQ(v.free(nullptr), -8);
        std::vector<float> x(256, 1.0f), y(256, 7.0f);
        EXPECT_EQ(v.fwd(x.data(), y.data(), spec, nullptr), -17);
        EXPECT_EQ(v.inv(x.data(), y.data(), spec, nullptr), -17);
        EXPECT_EQ(y[0], 7.0f);
    }
}

TEST(FftRealTransform, StatusesInTheirOrder)
{
    for (const auto& v : fftVariants()) {
        Spec s(v, 8, 2);
        std::vector<float> x(256), y(256);
        for (auto t : {v.fwd, v.inv}) {
            EXPECT_EQ(t(nullptr, nullptr, nullptr, nullptr), -8);
            RealFftSpec32f bad{};
            EXPECT_EQ(t(nullptr, nullptr, &bad, nullptr), -17);
            EXPECT_EQ(t(nullptr, y.data(), s.p, nullptr), -8);
            EXPECT_EQ(t(x.data(), nullptr, s.p, nullptr), -8);
            EXPECT_EQ(t(x.data(), y.data(), s.p, nullptr), 0);
        }
    }
}

// ---- numbers ----

TEST(FftRealTransform, ExactSmallExamples)
{
    for (const auto& v : fftVariants()) {
        {
            Spec s(v, 2, 8);
            const float x[4] = {1, 2, 3, 4};
            float y[4];
            ASSERT_EQ(v.fwd(x, y, s.p, nullptr), 0);
            const float e[4] = {10, -2, -2, 2};
            EXPECT_TRUE(sameBits(y, e, 4)) << v.name;
        }
        {
            Spec s(v, 0, 4);
            const float x = 3.0f;
            float y;
            v.fwd(&x, &y, s.p, nullptr);
            EXPECT_EQ(y, 3.0f * s.p->factor);
        }
    }
}

constexpr int kFlags[4] = {8, 1, 2, 4};

// Every order, each flag in turn, forward and inverse, against the double reference; the same bits
// in place, out of place, with or without a caller's buffer, at any alignment, and in the variants
// whose plans agree. Orders 0 to 24 take every road of every variant and both sides of each
// threshold between them.
TEST(FftRealTransform, EveryOrderMatchesTheReferenceAndPlacementKeepsTheBits)
{
    for (int order = 0; order <= 24; ++order) {
        const size_t N = size_t(1) << order;
        const auto x = randomFloats(N, 100 + order), p = randomFloats(N, 300 + order);
        const bool reference = order <= 23;
        const std::vector<double> refs[2] = {reference ? referencePerm(x) : std::vector<double>{},
                                             reference ? referenceInversePerm(p) : std::vector<double>{}};
        std::vector<float> outs[3][2];
        for (size_t vi = 0; vi < fftVariants().size(); ++vi) {
            const auto& v = fftVariants()[vi];
            if (order == 24 && v.name != "y8_")
                continue; // only y8 has a threshold there (its first copying reversal)
            const int flag = kFlags[order % 4];
            Spec s(v, order, flag);
            int bufSize = 0;
            ASSERT_EQ(v.getBufSize(s.p, &bufSize), 0);
            for (bool inverse : {false, true}) {
                const auto& in = inverse ? p : x;
                const auto t = inverse ? v.inv : v.fwd;
                const std::string what = v.name + " order " + std::to_string(order) + (inverse ? " inv" : " fwd");
                std::vector<float>& out = outs[vi][inverse];
                out.resize(N);
                ASSERT_EQ(t(in.data(), out.data(), s.p, nullptr), 0);
                // u8 and y8 differ only in the recombination tables of orders 19 and 20; m7 has
                // their stage plan at a few half-lengths.
                const bool same = (vi == 2 && order != 19 && order != 20 && order < 24) ||
                                  (vi == 1 && (order <= 7 || order == 12 || order == 15));
                EXPECT_TRUE(!same || sameBits(out.data(), outs[vi - 1][inverse].data(), N)) << what << ": variants";
                if (reference) {
                    std::vector<double> ref = refs[inverse];
                    const bool scaled = (inverse ? s.p->scaleInverse : s.p->scaleForward) == 1;
                    for (auto& r : ref)
                        r *= scaled ? s.p->factor : 1.0;
                    EXPECT_LT(relRms(out.data(), ref), 2e-6) << what << " flag " << flag;
                }
                const size_t off = order % 2 ? 4 : 20;
                OffsetBuffer a(N, off), b(N, (off * 3) % 32), buf(bufSize / 4 + 1, off + 1);
                std::copy(in.begin(), in.end(), a.f());
                Ipp8u* const bp = bufSize ? buf.bytes() : nullptr;
                ASSERT_EQ(t(a.f(), b.f(), s.p, bp), 0);
                EXPECT_TRUE(sameBits(b.f(), out.data(), N)) << what;
                EXPECT_TRUE(sameBits(a.f(), in.data(), N)) << what << ": source written";
                ASSERT_EQ(t(a.f(), a.f(), s.p, bp), 0);
                EXPECT_TRUE(sameBits(a.f(), out.data(), N)) << what << " in place";
            }
        }
    }
}

// The variants build different tables (m7 has its own stage plan and recombination layout, y8 its
// own two-level threshold), each one matching its own passes: a spec holding the table that the
// variant below builds transforms wrongly, the same spec with the variant's own table rightly.
TEST(FftVariantTables, APassWithTheTableOfTheVariantBelowGoesWrong)
{
    enum Table
    {
        kRadix4,
        kRealRec,
        kCcsRec
    };
    struct Case
    {
        int lower, order;
        Table table;
    };
    for (Case c : {Case{0, 10, kRadix4}, Case{0, 10, kRealRec}, Case{0, 10, kCcsRec}, Case{1, 19, kRealRec},
                   Case{1, 19, kCcsRec}}) {
        const FftVariant &lower = fftVariants()[c.lower], &own = fftVariants()[c.lower + 1];
        const size_t N = size_t(1) << c.order;
        const int baseOrder = std::max(c.order, 10);
        std::vector<float> base(N / 4 + 8);
        if (c.order > 10)
            own.twdBase(c.order, base.data());
        const float* b = c.order > 10 ? base.data() : own.fixTwiddles;
        OffsetBuffer table(2 * N + 64, 0); // room for any of the three at this order
        Spec s(own, c.order, 8);
        RealFftSpec32f swapped = *s.p;
        (c.table == kRadix4    ? swapped.radix4Twiddles
         : c.table == kRealRec ? swapped.realRecTwiddles
                               : swapped.ccsRecTwiddles) = table.f();
        const auto x = randomFloats(N, 60 + c.order);
        const auto ref = c.table == kCcsRec ? referenceInversePerm(x) : referencePerm(x);
        auto errorWithTableOf = [&](const FftVariant& builder) {
            if (c.table == kRadix4)
                builder.twdL1(c.order - 1, b, baseOrder, table.f());
            else
                (c.table == kRealRec ? builder.realRec : builder.ccsRec)(c.order, b, baseOrder, table.f());
            std::vector<float> y(N);
            EXPECT_EQ((c.table == kCcsRec ? own.inv : own.fwd)(x.data(), y.data(), &swapped, nullptr), 0);
            return relRms(y.data(), ref);
        };
        const std::string what = own.name + " order " + std::to_string(c.order) + " table " + std::to_string(c.table);
        EXPECT_LT(errorWithTableOf(own), 2e-6) << what;
        EXPECT_GT(errorWithTableOf(lower), 1e-2) << what << " with the table of " << lower.name;
    }
}

TEST(FftRealTransform, SmallOrdersNeverTouchTheBuffer)
{
    for (const auto& v : fftVariants()) {
        for (int order = 0; order <= 6; ++order) {
            Spec s(v, order, 2);
            std::vector<float> x = randomFloats(1 << order, 3), y(1 << order);
            // An unaligned, unreadable-sized pointer: it must be neither rounded nor used.
            Ipp8u* bogus = reinterpret_cast<Ipp8u*>(std::uintptr_t(1));
            EXPECT_EQ(v.fwd(x.data(), y.data(), s.p, bogus), 0);
            EXPECT_EQ(v.inv(y.data(), y.data(), s.p, bogus), 0);
        }
    }
}

// ---- Perm product ----

TEST(FftMulPerm, EveryLengthMatchesTheBinProducts)
{
    for (const auto& v : fftVariants()) {
        float pair[2] = {2, 3};
        EXPECT_EQ(v.mulPerm(nullptr, pair, 0), -8);
        EXPECT_EQ(v.mulPerm(pair, nullptr, 2), -8);
        EXPECT_EQ(v.mulPerm(pair, pair, 0), -6);
        EXPECT_EQ(pair[0], 2.0f);
        for (int len = 1; len <= 41; ++len) {
            for (int off : {0, 1}) {
                const auto a = randomFloats(len + 1, len), b = randomFloats(len + 1, 1000 + len);
                std::vector<float> s(a.begin() + off, a.begin() + off + len), d(b.begin() + off, b.begin() + off + len);
                const std::vector<float> src = s;
                ASSERT_EQ(v.mulPerm(s.data(), d.data(), len), 0);
                EXPECT_TRUE(sameBits(s.data(), src.data(), len));
                const std::vector<float> e(b.begin() + off, b.begin() + off + len);
                EXPECT_EQ(d[0], e[0] * src[0]);
                int start = 1;
                if (len % 2 == 0) {
                    EXPECT_EQ(d[1], e[1] * src[1]);
                    start = 2;
                }
                for (int i = start; i + 1 < len; i += 2) {
                    const float sr = src[i], si = src[i + 1], dr = e[i], di = e[i + 1];
                    const float pr1 = sr * dr, pr2 = si * di, pi1 = si * dr, pi2 = sr * di;
                    EXPECT_EQ(d[i], pr1 - pr2) << len << " " << i;
                    EXPECT_EQ(d[i + 1], pi1 + pi2) << len << " " << i;
                }
            }
        }
        // The three-operand product in place gives the two-operand one.
        const auto a = randomFloats(14, 1), b = randomFloats(14, 2);
        std::vector<float> two = b, three = b, out(14);
        v.mulPerm(a.data(), two.data(), 14);
        v.mpy3(reinterpret_cast<const Ipp32fc*>(a.data() + 2), reinterpret_cast<const Ipp32fc*>(b.data() + 2),
               reinterpret_cast<Ipp32fc*>(out.data() + 2), 6);
        EXPECT_TRUE(sameBits(out.data() + 2, two.data() + 2, 12));
        v.mpy3(reinterpret_cast<const Ipp32fc*>(a.data() + 2), reinterpret_cast<const Ipp32fc*>(three.data() + 2),
               reinterpret_cast<Ipp32fc*>(three.data() + 2), 6);
        EXPECT_TRUE(sameBits(three.data() + 2, two.data() + 2, 12));
    }
}

TEST(FftMulPerm, ForwardProductInverseIsCircularConvolution)
{
    for (const auto& v : fftVariants()) {
        const int order = 8, N = 256;
        Spec s(v, order, 2);
        int bufSize = 0;
        v.getBufSize(s.p, &bufSize);
        std::vector<Ipp8u> buf(bufSize);
        const auto h = randomFloats(N, 11), x = randomFloats(N, 12);
        std::vector<float> H = h, X = x;
        v.fwd(H.data(), H.data(), s.p, buf.data());
        v.fwd(X.data(), X.data(), s.p, buf.data());
        ASSERT_EQ(v.mulPerm(H.data(), X.data(), N), 0);
        v.inv(X.data(), X.data(), s.p, buf.data());
        std::vector<double> ref(N, 0.0);
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < N; ++j)
                ref[(i + j) % N] += double(h[i]) * double(x[j]);
        EXPECT_LT(relRms(X.data(), ref), 2e-6) << v.name;
    }
}

} // namespace

namespace {

// One spec serves several threads at once, each with its own data and work buffer (or none).
TEST(FftRealTransform, SharedSpecAcrossThreads)
{
    for (const auto& v : fftVariants()) {
        Spec s(v, 8, 2);
        const auto x = randomFloats(256, 4);
        std::vector<float> ref(256);
        v.fwd(x.data(), ref.data(), s.p, nullptr);
        std::vector<std::thread> threads;
        std::atomic<int> mismatches{0};
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                std::vector<Ipp8u> buf(1056);
                std::vector<float> y(256);
                for (int i = 0; i < 200; ++i) {
                    v.fwd(x.data(), y.data(), s.p, t % 2 ? buf.data() : nullptr);
                    if (!sameBits(y.data(), ref.data(), 256))
                        ++mismatches;
                    v.inv(y.data(), y.data(), s.p, t % 2 ? buf.data() : nullptr);
                }
            });
        for (auto& th : threads)
            th.join();
        EXPECT_EQ(mismatches.load(), 0) << v.name;
    }
}

} // namespace

namespace {

TEST(FftRealAllocation, FailuresReportMinusNineAndLeaveNothingBehind)
{
    for (const auto& v : fftVariants()) {
        RealFftSpec32f* const sentinel = reinterpret_cast<RealFftSpec32f*>(0x1234);
        {
            AllocProbe probe(0);
            RealFftSpec32f* p = sentinel;
            EXPECT_EQ(v.initAlloc(&p, 8, 2, 0), -9);
            EXPECT_EQ(p, sentinel);
        }
        {
            AllocProbe probe(1); // the init block of order 11
            RealFftSpec32f* p = sentinel;
            EXPECT_EQ(v.initAlloc(&p, 11, 2, 0), -9);
            EXPECT_EQ(p, sentinel);
            EXPECT_EQ(AllocProbe::calls, 2);
            EXPECT_EQ(AllocProbe::frees, 1);
        }
        {
            AllocProbe probe(-1);
            RealFftSpec32f* p = nullptr;
            ASSERT_EQ(v.initAlloc(&p, 11, 2, 0), 0);
            EXPECT_EQ(AllocProbe::frees, 1); // the init block is not kept
            v.free(p);
            EXPECT_EQ(AllocProbe::frees, 2);
        }
        Spec s(v, 8, 2);
        std::vector<float> x = randomFloats(256, 1), y(256, 5.0f);
        std::vector<Ipp8u> buf(1056);
        {
            AllocProbe probe(0);
            EXPECT_EQ(v.fwd(x.data(), y.data(), s.p, nullptr), -9);
            EXPECT_EQ(v.inv(x.data(), y.data(), s.p, nullptr), -9);
            for (float f : y)
                ASSERT_EQ(f, 5.0f);
        }
        {
            // With the caller's buffer the block road of the FIR filter never allocates.
            AllocProbe probe(-1);
            EXPECT_EQ(v.fwd(y.data(), y.data(), s.p, buf.data()), 0);
            EXPECT_EQ(v.mulPerm(x.data(), y.data(), 256), 0);
            EXPECT_EQ(v.inv(y.data(), y.data(), s.p, buf.data()), 0);
            EXPECT_EQ(AllocProbe::calls, 0);
            EXPECT_EQ(v.fwd(x.data(), y.data(), s.p, nullptr), 0);
            EXPECT_EQ(AllocProbe::calls, 1);
            EXPECT_EQ(AllocProbe::frees, 1);
        }
        Spec small(v, 6, 2), large(v, v.largeFrom + 2, 2);
        int size = 0;
        v.getBufSize(large.p, &size);
        std::vector<Ipp8u> largeBuf(size);
        std::vector<float> z(size_t(1) << (v.largeFrom + 2));
        {
            AllocProbe probe(0);
            EXPECT_EQ(v.fwd(x.data(), y.data(), small.p, nullptr), 0);
            EXPECT_EQ(v.fwd(z.data(), z.data(), large.p, largeBuf.data()), 0);
            EXPECT_EQ(v.inv(z.data(), z.data(), large.p, largeBuf.data()), 0);
            EXPECT_EQ(AllocProbe::calls, 0);
        }
    }
}

} // namespace
