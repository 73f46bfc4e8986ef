#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/funknown.h"
#include "base/fuid.h"

using namespace Calvereth;

namespace {
std::string hexOf(const FUID& id)
{
    char text[33];
    id.toString(text);
    return text;
}
} // namespace

TEST(Base1FUID, WordsAreStoredMostSignificantByteFirst)
{
    const unsigned char expected[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    EXPECT_EQ(std::memcmp(FUnknown::iid.toTUID(), expected, 16), 0);
    uint32 a, b, c, d;
    FUID(0x01020304, 0xA0B0C0D0, 0xFFFFFFFF, 0x00000080).to4Int(a, b, c, d);
    EXPECT_EQ(a, 0x01020304u);
    EXPECT_EQ(b, 0xA0B0C0D0u);
    EXPECT_EQ(c, 0xFFFFFFFFu);
    EXPECT_EQ(d, 0x80u);
    FUID g, h;
    EXPECT_FALSE(g.isValid());
    EXPECT_TRUE(g.generate() && h.generate());
    EXPECT_NE(g, h);
    EXPECT_TRUE(FUID(0, 0, 0, 1) < FUID(0, 0, 0, 2));
}

TEST(Base1FUID, TextFormsAndTheirRoundTrip)
{
    const FUID& id = FUnknown::iid;
    EXPECT_EQ(hexOf(id), "0000000000000000C000000000000046");
    char reg[39], printed[128];
    id.toRegistryString(reg);
    EXPECT_STREQ(reg, "{00000000-0000-0000-C000-000000000046}");
    FUID(0x12345678, 0x9ABCDEF0, 0x0F1E2D3C, 0x4B5A6978).print(printed, FUID::kINLINE_UID);
    EXPECT_STREQ(printed, "INLINE_UID (0x12345678, 0x9ABCDEF0, 0x0F1E2D3C, 0x4B5A6978)");
    testing::internal::CaptureStdout();
    id.print(nullptr, 17); // an unknown style declares a class identifier
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "DECLARE_CLASS_IID (Interface, 0x00000000, 0x00000000, 0xC0000000, 0x00000046)\n");

    // Generated identifiers round-trip through both text forms, in either case.
    for (int i = 0; i < 50; ++i) {
        FUID id;
        ASSERT_TRUE(id.generate());
        char text[33], reg[39];
        id.toString(text);
        id.toRegistryString(reg);
        FUID a, b;
        ASSERT_TRUE(a.fromString(text));
        ASSERT_TRUE(b.fromRegistryString(reg));
        EXPECT_EQ(a, id);
        EXPECT_EQ(b, id);
        // Lower-case digits read the same.
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        FUID lower;
        ASSERT_TRUE(lower.fromString(text));
        EXPECT_EQ(lower, id);
    }
}

TEST(Base1FUID, RejectedTextLeavesBytesUnchanged)
{
    const FUID original(0xDEADBEEF, 1, 2, 3);
    FUID id = original;
    const std::string good = "0123456789ABCDEF0123456789abcdef";
    EXPECT_FALSE(id.fromString(nullptr));
    EXPECT_FALSE(id.fromString(""));
    EXPECT_FALSE(id.fromString(good.substr(1).c_str()));
    EXPECT_FALSE(id.fromString((good + "0").c_str()));
    // Non-hex characters anywhere, including those a scanf conversion would accept.
    for (std::string bad :
         {"0123456789ABCDEF0123456789ABCDEG", "G123456789ABCDEF0123456789ABCDEF", " 123456789ABCDEF0123456789ABCDEF",
          "+123456789ABCDEF0123456789ABCDEF", "0x23456789ABCDEF0123456789ABCDEF", "01234567-9ABCDEF0123456789ABCDEF"})
        EXPECT_FALSE(id.fromString(bad.c_str())) << bad;
    EXPECT_EQ(id, original);

    const std::string reg = "{01234567-89AB-CDEF-0123-456789ABCDEF}";
    EXPECT_FALSE(id.fromRegistryString(reg.substr(1).c_str()));
    EXPECT_FALSE(id.fromRegistryString((reg + "}").c_str()));
    EXPECT_FALSE(id.fromRegistryString("{0123456Z-89AB-CDEF-0123-456789ABCDEF}"));
    EXPECT_FALSE(id.fromRegistryString("{01234567-89AB-CDEF-0123-456789ABCDE }"));
    EXPECT_EQ(id, original);
    // Braces and dashes are not examined.
    ASSERT_TRUE(id.fromRegistryString("x01234567x89ABxCDEFx0123x456789ABCDEFx"));
    EXPECT_EQ(id, FUID(0x01234567, 0x89ABCDEF, 0x01234567, 0x89ABCDEF));
}
