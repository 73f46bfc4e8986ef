// Floating-point control and status helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "primitives/vector/ipps_vector.h"

namespace {

// Restores the x87 and SSE control state whatever a test changes.
class VectorFpControl : public ::testing::Test
{
protected:
    void SetUp() override
    {
        cw = ps_get_cw_fpu();
        csr = ps_get_ssx();
    }
    void TearDown() override
    {
        ipp_set_cw_fpu(cw);
        ps_clear_fpu();
        ipp_set_cw_ssx(csr);
    }
    Ipp32u cw = 0, csr = 0;
};

void raiseX87Invalid()
{
    // The square root of -1 on the x87 stack.
    __asm__ volatile("fld1\n\tfchs\n\tfsqrt\n\tfstp %%st(0)" ::: "st");
}

TEST_F(VectorFpControl, SseControlAndStatus)
{
    const Ipp32u old = ps_set_ssx(0x6000, 0x6000); // round toward zero
    EXPECT_EQ(old, csr);
    EXPECT_EQ(ps_get_ssx() & 0x6000u, 0x6000u);
    EXPECT_EQ(ps_get_ssx() & ~0x6000u, csr & ~0x6000u);
    EXPECT_EQ(ipp_set_rc_ssx(0x2000), (csr & ~0x6000u) | 0x6000u);
    EXPECT_EQ(ps_get_ssx() & 0x6000u, 0x2000u);
    EXPECT_EQ(ipp_set_rc_ssx(0x2000) & 0x6000u, 0x2000u); // unchanged when equal
    ipp_set_cw_ssx(0x1F80 | 0x8040);                      // flush to zero and DAZ
    EXPECT_EQ(ps_get_ssx(), 0x9FC0u);
    EXPECT_EQ(ipp_clear_ssx(), 0x9FC0u);
    EXPECT_EQ(ps_get_ssx(), 0x1F80u);
}

TEST_F(VectorFpControl, X87ControlWord)
{
    const Ipp32u old = ps_set_cw_fpu(0x0C00, 0x0C00); // round toward zero
    EXPECT_EQ(old, cw);
    EXPECT_EQ(ps_get_cw_fpu() & 0x0C00u, 0x0C00u);
    EXPECT_EQ(ps_get_cw_fpu() & ~0x0C00u, cw & ~0x0C00u);
    ipp_set_rcpc_fpu(0x0000, 0x0F00); // round to nearest, 24-bit precision
    EXPECT_EQ(ps_get_cw_fpu() & 0x0F00u, 0u);
    const Ipp32u before = ps_get_cw_fpu();
    ipp_set_rcpc_fpu(0x0000, 0x0F00);
    EXPECT_EQ(ps_get_cw_fpu(), before);
    ipp_set_cw_fpu(cw);
    EXPECT_EQ(ps_get_cw_fpu(), cw);
}

TEST_F(VectorFpControl, Control87TranslatesAndKeepsUnmaskedFields)
{
    ipp_set_cw_fpu(0x007F); // all exceptions masked, 24-bit precision, round to nearest
    const Ipp32u p = ipp_control87(0, 0);
    EXPECT_EQ(p & 0x30000u, 0x20000u);
    EXPECT_EQ(p & 0x1Fu, 0x1Fu);       // the five common exceptions masked
    EXPECT_EQ(p & 0x80000u, 0x80000u); // denormal masked
    EXPECT_EQ(p & 0x300u, 0u);
    EXPECT_EQ(ps_get_cw_fpu(), 0x007Fu);

    // 53-bit precision and round up, through the portable word.
    const Ipp32u q = ipp_control87(0x10000 | 0x200, 0x30000 | 0x300);
    EXPECT_EQ(q & 0x30000u, 0x10000u);
    EXPECT_EQ(q & 0x300u, 0x200u);
    EXPECT_EQ(ps_get_cw_fpu() & 0x0F00u, 0x0A00u);
    // 64-bit precision is portable 0.
    ipp_control87(0, 0x30000);
    EXPECT_EQ(ps_get_cw_fpu() & 0x0300u, 0x0300u);
    EXPECT_EQ(ipp_control87(0, 0) & 0x30000u, 0u);
    // Unmask invalid operation: x87 bit 0 cleared.
    ipp_control87(0, 0x10);
    EXPECT_EQ(ps_get_cw_fpu() & 0x1u, 0u);
}

TEST_F(VectorFpControl, X87StatusTranslatedAndCleared)
{
    ps_clear_fpu();
    EXPECT_EQ(ipp_status87(), 0u);
    raiseX87Invalid();
    EXPECT_NE(ps_get_sw_fpu() & 0x1u, 0u);
    EXPECT_EQ(ipp_status87() & 0x10u, 0x10u);
    EXPECT_EQ(ipp_clear87() & 0x10u, 0x10u);
    EXPECT_EQ(ipp_status87(), 0u);
    raiseX87Invalid();
    EXPECT_NE(ps_clear_fpu() & 0x1u, 0u);
    EXPECT_EQ(ps_get_sw_fpu() & 0x3Fu, 0u);
}

TEST(VectorFpClass, NanAndFinite)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(ipp_isnan(nan), 1);
    EXPECT_EQ(ipp_isnan(-nan), 1);
    EXPECT_EQ(ipp_isnan(inf), 0);
    EXPECT_EQ(ipp_isnan(1.0), 0);
    EXPECT_EQ(ipp_finite(inf), 0);
    EXPECT_EQ(ipp_finite(-inf), 0);
    EXPECT_EQ(ipp_finite(nan), 0);
    EXPECT_EQ(ipp_finite(std::numeric_limits<double>::max()), 1);
    EXPECT_EQ(ipp_finite(std::numeric_limits<double>::denorm_min()), 1);
}

} // namespace
