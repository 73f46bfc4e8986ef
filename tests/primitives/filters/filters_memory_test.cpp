// Set-up under failing allocation: the out-pointer is written only on success, nothing leaks,
// and the failure's own status comes back.
#include <cstdlib>

#include "filters_test_util.h"
#include "primitives/vector/ipps_vector.h"

using namespace filters_test;

namespace {

std::size_t gFailAbove = SIZE_MAX; // requests larger than this fail
long gLive = 0;

void* countingMalloc(std::size_t n)
{
    if (n > gFailAbove)
        return nullptr;
    void* p = std::malloc(n);
    if (p)
        ++gLive;
    return p;
}
void countingFree(void* p)
{
    if (p)
        --gLive;
    std::free(p);
}

// Routes the primitives' heap through the counters for the life of a test.
class filters_memory : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedMalloc_ = i_malloc;
        savedFree_ = i_free;
        i_malloc = countingMalloc;
        i_free = countingFree;
        gFailAbove = SIZE_MAX;
        gLive = 0;
    }
    void TearDown() override
    {
        i_malloc = savedMalloc_;
        i_free = savedFree_;
    }
    IppMallocFn savedMalloc_{};
    IppFreeFn savedFree_{};
};

const std::vector<float> kBq = {0.5f, -0.3f, 0.2f, 1.25f, -0.9f, 0.35f};

} // namespace

TEST_F(filters_memory, IirOutOfMemoryLeavesThePointer)
{
    for (const auto& api : iirVariants()) {
        gFailAbove = 0;
        IirState32f* s = reinterpret_cast<IirState32f*>(0x1);
        EXPECT_EQ(api.initAlloc(&s, kBq.data(), 1, nullptr), ippStsMemAllocErr);
        EXPECT_EQ(s, reinterpret_cast<IirState32f*>(0x1));
        EXPECT_EQ(gLive, 0);
        // A refused biquad releases the block it had taken.
        gFailAbove = SIZE_MAX;
        const float bad[6] = {0, 1, 1, 1, 0, 0};
        EXPECT_EQ(api.initAlloc(&s, bad, 1, nullptr), ippStsDivByZeroErr);
        EXPECT_EQ(gLive, 0) << api.name;
        ASSERT_EQ(api.initAlloc(&s, kBq.data(), 1, nullptr), 0);
        EXPECT_EQ(gLive, 1);
        EXPECT_EQ(api.free(s), 0);
        EXPECT_EQ(gLive, 0);
    }
}

TEST_F(filters_memory, FirOutOfMemoryReleasesTheFftAndLeavesThePointer)
{
    const std::vector<float> taps = noise(81, 1, 0.5f);
    for (const auto& api : firVariants()) {
        // The state block fails after the transform's set-up succeeded.
        gFailAbove = 5000;
        FirState32f* s = reinterpret_cast<FirState32f*>(0x1);
        EXPECT_EQ(api.initAlloc(&s, taps.data(), 81, nullptr), ippStsMemAllocErr) << api.name;
        EXPECT_EQ(s, reinterpret_cast<FirState32f*>(0x1));
        EXPECT_EQ(gLive, 0) << api.name;
        // The transform's set-up fails: its own status, not a follow-up null-pointer status.
        gFailAbove = 0;
        EXPECT_EQ(api.initAlloc(&s, taps.data(), 81, nullptr), ippStsMemAllocErr) << api.name;
        EXPECT_EQ(api.initAlloc(&s, taps.data(), 8, nullptr), ippStsMemAllocErr) << api.name;
        EXPECT_EQ(s, reinterpret_cast<FirState32f*>(0x1));
        EXPECT_EQ(gLive, 0);
        // Created and freed: the state and its transform both released.
        gFailAbove = SIZE_MAX;
        ASSERT_EQ(api.initAlloc(&s, taps.data(), 81, nullptr), 0);
        EXPECT_GE(gLive, 2);
        EXPECT_EQ(api.free(s), 0);
        EXPECT_EQ(gLive, 0) << api.name;
    }
}
