#include "base/buffer.h"
#include "base/fstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace Calvereth;

namespace {
std::string filled(const Buffer& b)
{
    return std::string(reinterpret_cast<const char*>(b.getData()), b.getFill());
}
} // namespace

TEST(Base2Buffer, GrowthByDeltaEqualityCopiesAndTake)
{
    Buffer b;
    EXPECT_TRUE(b.put('x'));
    EXPECT_EQ(b.getSize(), 4096u);
    std::vector<uint8> more(5000, 7);
    EXPECT_TRUE(b.put(more.data(), 4096));
    EXPECT_EQ(b.getSize(), 8192u);
    EXPECT_FALSE(b.put(nullptr, 1));
    b.setDelta(0); // replaced by the default when growing
    EXPECT_TRUE(b.put(more.data(), 5000));
    EXPECT_EQ(b.getSize(), 12288u);

    // Equality, copies and take.
    Buffer x(4, 0), y(4, 0);
    x.setFillSize(1);
    EXPECT_TRUE(x == y); // equal memory, different fill positions
    y.put('r');
    EXPECT_FALSE(x == y);
    Buffer copy(x);
    EXPECT_TRUE(copy == x);
    EXPECT_EQ(copy.getFill(), 1u);
    Buffer moved;
    moved.take(copy);
    EXPECT_EQ(copy.getData(), nullptr);
    EXPECT_TRUE(moved == x);
    uint8 out[8];
    EXPECT_EQ(moved.get(out, 8), 3u); // reads from the fill position
    EXPECT_EQ(moved.get(nullptr, 4), 0u);
}

TEST(Base2Buffer, SetSizeFlushAndCopy)
{
    Buffer b(10, 1);
    b.setFillSize(8);
    EXPECT_TRUE(b.setSize(4));
    EXPECT_EQ(b.getFill(), 4u);
    EXPECT_TRUE(b.flush());
    EXPECT_EQ(b.getSize(), 4u);
    EXPECT_TRUE(b.setSize(0));
    EXPECT_EQ(b.getData(), nullptr);
    EXPECT_TRUE(b.setSize(0));

    Buffer c;
    c.putString8("abcdef");
    EXPECT_FALSE(c.copy(0, 0, 0));
    EXPECT_FALSE(c.copy(4090, 0, 10));
    EXPECT_TRUE(c.copy(0, 2, 4)); // overlapping
    EXPECT_EQ(std::string(reinterpret_cast<char*>(c.getData()), 6), "ababcd");
    EXPECT_TRUE(c.copy(0, 4096, 3)); // grows the memory
    EXPECT_EQ(c.getSize(), 4099u);
    EXPECT_EQ(std::memcmp(c.getData() + 4096, "aba", 3), 0);
    EXPECT_FALSE(c.copy(0, 0xFFFFFFFFu, 2));
}

TEST(Base2Buffer, ShiftsOpenAndCloseGapsWithinBounds)
{
    std::mt19937 rng(17);
    for (int round = 0; round < 500; ++round) {
        Buffer b;
        b.setDelta(16);
        std::string model(rng() % 40, ' ');
        for (char& c : model)
            b.put(c = static_cast<char>('a' + rng() % 26));
        const uint32 position = rng() % 50;
        const int32 amount = static_cast<int32>(rng() % 60) - 30;
        b.shiftAt(position, amount);
        const std::string got = filled(b);
        const size_t n = static_cast<size_t>(amount < 0 ? -amount : amount);
        if (amount > 0) {
            ASSERT_EQ(got.size(), model.size() + n);
            if (position < model.size()) { // the gap's bytes are not specified
                EXPECT_EQ(got.substr(0, position) + got.substr(position + n), model);
            }
        } else if (amount < 0) {
            EXPECT_EQ(got.size(), model.size() <= n ? model.size() : model.size() - n);
            if (position + n < model.size()) {
                EXPECT_EQ(got, model.erase(position, n));
            }
        }
    }
    Buffer empty;
    EXPECT_TRUE(empty.prependChar16(u'Z'));
    char16 unit;
    std::memcpy(&unit, empty.getData(), 2);
    EXPECT_EQ(unit, u'Z');
    empty.shiftAt(0, INT32_MIN); // nothing to remove that far
    EXPECT_EQ(empty.getFill(), 2u);

    // Shifting the start moves all memory.
    Buffer b(6, 0);
    std::memcpy(b.getData(), "abcdef", 6);
    b.shiftStart(2, '.');
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.getData()), 6), "..abcd");
    b.shiftStart(-3, '#');
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.getData()), 6), "bcd###");
    b.shiftStart(INT32_MIN, '-');
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.getData()), 6), "------");
    Buffer none;
    none.shiftStart(3, 'x');
    EXPECT_EQ(none.getSize(), 0u);
}

TEST(Base2Buffer, WideMultibyteAndHexText)
{
    // Up to three bytes per unit in UTF-8: the destination holds them all, terminated.
    Buffer w;
    const char16 text[] = u"\u20AC\u20AC\u20AC\u00E9x";
    w.put(text, sizeof(text) - 2); // without the terminator
    EXPECT_TRUE(w.toMultibyteString(65001));
    EXPECT_EQ(filled(w), "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xC3\xA9x");
    EXPECT_EQ(w.getData()[w.getFill()], 0);
    EXPECT_TRUE(w.toWideString(65001));
    EXPECT_EQ(std::u16string(reinterpret_cast<char16*>(w.getData()), w.getFill() / 2), std::u16string(text));
    EXPECT_TRUE(Buffer().toWideString(0));
    Buffer bad;
    bad.putString8("\xC3(");
    EXPECT_FALSE(bad.toWideString(65001));

    // Hex text.
    Buffer b;
    EXPECT_TRUE(b.fromHexString("0aFF"));
    EXPECT_EQ(filled(b), "\x0A\xFF");
    String hex;
    EXPECT_TRUE(b.toHexString(hex));
    EXPECT_EQ(hex, String("0AFF"));
    for (const char* wrong : {"0G", "abc", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(b.fromHexString(wrong));
    EXPECT_EQ(b.getFill(), 0u);
    EXPECT_FALSE(Buffer().toHexString(hex));
}
