#include "base/fstreamer.h"
#include "base/memorystream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

using namespace Calvereth;

namespace {

// A memory stream holding `bytes` (a copy), and a streamer over it.
struct Stream
{
    explicit Stream(const std::vector<uint8_t>& bytes = {}, int16 order = kLittleEndian)
    : memory(new MemoryStream(bytes.data(), static_cast<int64_t>(bytes.size()))), s(memory, order)
    {}
    ~Stream() { memory->release(); }
    std::vector<uint8_t> bytes() const { return {memory->getData(), memory->getData() + memory->getSize()}; }
    MemoryStream* memory;
    IBStreamer s;
};

using Rng = std::mt19937_64;

template <class T>
T value(Rng& rng)
{
    if constexpr (std::is_same_v<T, bool>)
        return rng() & 1;
    else if constexpr (std::is_floating_point_v<T>)
        return static_cast<T>(static_cast<int32>(rng())) / T(3);
    else
        return static_cast<T>(rng());
}

// One typed value (or a short array) written, then read back and compared; a read answers false
// only when the stream ran short.
struct Step
{
    std::function<void(FStreamer&, Rng&)> write;
    std::function<bool(FStreamer&, Rng&)> read;
};

template <class T, bool (FStreamer::*W)(T), bool (FStreamer::*R)(T&)>
Step scalar()
{
    return {[](FStreamer& s, Rng& r) { EXPECT_TRUE((s.*W)(value<T>(r))); },
            [](FStreamer& s, Rng& r) {
                T v{};
                if (!(s.*R)(v))
                    return false;
                EXPECT_EQ(v, value<T>(r));
                return true;
            }};
}

template <class T, bool (FStreamer::*W)(const T*, int32), bool (FStreamer::*R)(T*, int32)>
Step array()
{
    return {[](FStreamer& s, Rng& r) {
                T v[3] = {value<T>(r), value<T>(r), value<T>(r)};
                EXPECT_TRUE((s.*W)(v, 3));
            },
            [](FStreamer& s, Rng& r) {
                T v[3]{};
                if (!(s.*R)(v, 3))
                    return false;
                for (T& x : v)
                    EXPECT_EQ(x, value<T>(r));
                return true;
            }};
}

// A text step: `expectedSize` bytes read into `expected` (or a null counted text).
Step text(std::function<void(FStreamer&)> write, std::function<std::u16string(FStreamer&)> read, int64 expectedSize,
          std::u16string expected)
{
    return {[write](FStreamer& s, Rng&) { write(s); },
            [=](FStreamer& s, Rng&) {
                const int64 before = s.tell();
                const std::u16string got = read(s);
                if (s.tell() != before + expectedSize)
                    return false;
                EXPECT_EQ(got, expected);
                return true;
            }};
}

std::u16string widened(char8* t)
{
    std::u16string out = t ? std::u16string(t, t + std::strlen(t)) : u"(null)";
    delete[] t;
    return out;
}

const std::vector<Step>& steps()
{
    using F = FStreamer;
    static const std::vector<Step> all = {
        scalar<int16, &F::writeInt16, &F::readInt16>(),
        scalar<uint16, &F::writeInt16u, &F::readInt16u>(),
        scalar<int32, &F::writeInt32, &F::readInt32>(),
        scalar<uint32, &F::writeInt32u, &F::readInt32u>(),
        scalar<int64, &F::writeInt64, &F::readInt64>(),
        scalar<uint64, &F::writeInt64u, &F::readInt64u>(),
        scalar<float, &F::writeFloat, &F::readFloat>(),
        scalar<double, &F::writeDouble, &F::readDouble>(),
        scalar<bool, &F::writeBool, &F::readBool>(),
        array<int16, &F::writeInt16Array, &F::readInt16Array>(),
        array<uint16, &F::writeInt16uArray, &F::readInt16uArray>(),
        array<int32, &F::writeInt32Array, &F::readInt32Array>(),
        array<uint32, &F::writeInt32uArray, &F::readInt32uArray>(),
        array<int64, &F::writeInt64Array, &F::readInt64Array>(),
        array<uint64, &F::writeInt64uArray, &F::readInt64uArray>(),
        array<float, &F::writeFloatArray, &F::readFloatArray>(),
        array<double, &F::writeDoubleArray, &F::readDoubleArray>(),
        text([](F& s) { EXPECT_TRUE(s.writeStr8("counted text")); }, [](F& s) { return widened(s.readStr8()); }, 4 + 13,
             u"counted text"),
        // A null text reads as null after a complete length: told apart from a short read by the position.
        text([](F& s) { EXPECT_TRUE(s.writeStr8(nullptr)); }, [](F& s) { return widened(s.readStr8()); }, 4, u"(null)"),
        text([](F& s) { EXPECT_TRUE(s.writeStringUtf8(u"gr\u00FC\u00DFe \u20AC")); },
             [](F& s) {
                 char16 w[32];
                 return s.readString8(w, 32) == 7 ? std::u16string(w) : u"(count)";
             },
             3 + 11 + 1, u"gr\u00FC\u00DFe \u20AC"),
        scalar<int32, &F::writeInt32, &F::readInt32>(),
    };
    return all;
}

void writeAll(FStreamer& s, uint64_t seed)
{
    Rng rng(seed);
    for (const Step& step : steps())
        step.write(s, rng);
}

// Answers how many steps read back in full before the first short read.
int readAll(FStreamer& s, uint64_t seed)
{
    Rng rng(seed);
    int ok = 0;
    for (const Step& step : steps()) {
        if (!step.read(s, rng))
            break;
        ++ok;
    }
    return ok;
}

// The stored bytes of `v`, built from its bit pattern: least significant first, reversed for big-endian.
template <class T>
std::vector<uint8_t> storedBytes(T v, int16 order)
{
    using Bits = std::conditional_t<sizeof(T) == 2, uint16, std::conditional_t<sizeof(T) == 4, uint32, uint64>>;
    Bits bits;
    std::memcpy(&bits, &v, sizeof(T));
    std::vector<uint8_t> out;
    for (size_t i = 0; i < sizeof(T); ++i)
        out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    if (order != kLittleEndian)
        std::reverse(out.begin(), out.end());
    return out;
}

// A value and a pair, written by the scalar and the array form, against the reference bytes;
// reading the reference bytes gives the values back.
template <class T, bool (FStreamer::*W)(T), bool (FStreamer::*R)(T&), bool (FStreamer::*WA)(const T*, int32),
          bool (FStreamer::*RA)(T*, int32)>
void expectLayout(Rng& rng)
{
    for (int16 order : {static_cast<int16>(kLittleEndian), static_cast<int16>(kBigEndian)}) {
        const T v[3] = {value<T>(rng), value<T>(rng), value<T>(rng)};
        std::vector<uint8_t> expected;
        for (const T& x : v) {
            const std::vector<uint8_t> b = storedBytes(x, order);
            expected.insert(expected.end(), b.begin(), b.end());
        }
        Stream w({}, order);
        EXPECT_TRUE((w.s.*W)(v[0]) && (w.s.*WA)(v + 1, 2));
        EXPECT_EQ(w.bytes(), expected) << sizeof(T) << " bytes, order " << order;
        Stream r(expected, order);
        T got[3] = {};
        EXPECT_TRUE((r.s.*R)(got[0]) && (r.s.*RA)(got + 1, 2));
        EXPECT_EQ(std::memcmp(got, v, sizeof(v)), 0) << sizeof(T) << " bytes, order " << order;
    }
}

} // namespace

TEST(Base2Streams, EveryWidthMatchesTheReferenceBytesInBothOrders)
{
    using F = FStreamer;
    Rng rng(7);
    for (int round = 0; round < 20; ++round) {
        expectLayout<int16, &F::writeInt16, &F::readInt16, &F::writeInt16Array, &F::readInt16Array>(rng);
        expectLayout<uint16, &F::writeInt16u, &F::readInt16u, &F::writeInt16uArray, &F::readInt16uArray>(rng);
        expectLayout<int32, &F::writeInt32, &F::readInt32, &F::writeInt32Array, &F::readInt32Array>(rng);
        expectLayout<uint32, &F::writeInt32u, &F::readInt32u, &F::writeInt32uArray, &F::readInt32uArray>(rng);
        expectLayout<int64, &F::writeInt64, &F::readInt64, &F::writeInt64Array, &F::readInt64Array>(rng);
        expectLayout<uint64, &F::writeInt64u, &F::readInt64u, &F::writeInt64uArray, &F::readInt64uArray>(rng);
        expectLayout<float, &F::writeFloat, &F::readFloat, &F::writeFloatArray, &F::readFloatArray>(rng);
        expectLayout<double, &F::writeDouble, &F::readDouble, &F::writeDoubleArray, &F::readDoubleArray>(rng);
    }
}

TEST(Base2Streams, EveryTypeRoundTripsInBothByteOrdersAndEveryTruncationIsRejected)
{
    for (int16 order : {static_cast<int16>(kLittleEndian), static_cast<int16>(kBigEndian)})
        for (uint64_t seed = 1; seed <= 5; ++seed) {
            Stream w({}, order);
            writeAll(w.s, seed);
            Stream r(w.bytes(), order);
            EXPECT_EQ(readAll(r.s, seed), static_cast<int>(steps().size()));
            int32 extra;
            EXPECT_FALSE(r.s.readInt32(extra));
        }

    // Every truncation is rejected cleanly.
    Stream full;
    writeAll(full.s, 42);
    const std::vector<uint8_t> bytes = full.bytes();
    int previous = 0;
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        Stream part(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut));
        const int ok = readAll(part.s, 42);
        EXPECT_LT(ok, static_cast<int>(steps().size())) << "cut at " << cut;
        EXPECT_GE(ok, previous) << "cut at " << cut; // more bytes never read less
        previous = ok;
        EXPECT_LE(part.s.tell(), static_cast<int64>(cut)); // nothing is read past the end
    }
}

TEST(Base2Streams, ByteLayouts)
{
    Stream le;
    IBStreamer be(le.memory, kBigEndian);
    le.s.writeInt32(0x01020304);
    be.writeInt32(0x01020304);
    le.s.writeBool(true);
    le.s.writeStr8("abc");
    le.s.writeStr8(nullptr);
    EXPECT_EQ(le.bytes(),
              (std::vector<uint8_t>{4, 3, 2, 1, 1, 2, 3, 4, 1, 0, 4, 0, 0, 0, 'a', 'b', 'c', 0, 0, 0, 0, 0}));
    Stream bools({0, 0, 2, 0, 7}); // any non-zero is true; a short read leaves false
    bool b[3] = {true, false, true};
    EXPECT_TRUE(bools.s.readBool(b[0]) && bools.s.readBool(b[1]));
    EXPECT_FALSE(bools.s.readBool(b[2]));
    EXPECT_EQ(std::vector<bool>(b, b + 3), (std::vector<bool>{false, true, false}));
    // UTF-8 text carries a byte order mark only when needed.
    Stream w;
    w.s.writeStringUtf8(u"ab");
    w.s.writeStringUtf8(u"\u00E9");
    EXPECT_EQ(w.bytes(), (std::vector<uint8_t>{'a', 'b', 0, 0xEF, 0xBB, 0xBF, 0xC3, 0xA9, 0}));
    Stream r(w.bytes());
    char16 text[4];
    EXPECT_EQ(r.s.readString8(text, 4), 2);
    EXPECT_EQ(std::u16string(text), u"ab");
}

TEST(Base2Streams, ShortReadsLeaveZerosStopArraysAllocateNothingHugeAndNeverWritePastTheDestination)
{
    Stream three({1, 2, 3});
    int64 v = 99;
    EXPECT_FALSE(three.s.readInt64(v));
    EXPECT_EQ(v, 0);
    std::vector<uint8_t> nine(9, 0);
    const float two[2] = {1.0f, 2.0f};
    std::memcpy(nine.data(), two, 8);
    Stream floats(nine);
    float f[4] = {5, 5, 5, 5};
    EXPECT_FALSE(floats.s.readFloatArray(f, 4));
    EXPECT_EQ(std::vector<float>(f, f + 4), (std::vector<float>{1, 2, 0, 5}));
    EXPECT_FALSE(floats.s.readFloatArray(f, -1));
    EXPECT_FALSE(floats.s.readFloatArray(nullptr, 2));
    // A counted text with a length beyond the stream fails without a huge allocation.
    EXPECT_EQ(Stream({0xF0, 0xFF, 0xFF, 0x7F, 'a', 'b'}).s.readStr8(), nullptr);
    EXPECT_EQ(Stream({0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'}).s.readStr8(), nullptr);
    // A stored text without its terminator still reads as a terminated text.
    char8* text = Stream({3, 0, 0, 0, 'x', 'y', 'z'}).s.readStr8();
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "xyz");
    delete[] text;

    // Lines and texts never write past their destination.
    Stream lines({'a', 'b', 13, 10, 'c', 'd', 'e', 'f', 'g', 0});
    char8 line[8];
    EXPECT_EQ(lines.s.readLine8(line, 8), 2);
    EXPECT_STREQ(line, "ab");
    char8 guard[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(lines.s.readLine8(guard + 1, 0), 0);
    EXPECT_EQ(guard[1], '#');
    EXPECT_EQ(lines.s.readLine8(line, 3), 2); // three bytes stored, the last one gives way to the end
    EXPECT_STREQ(line, "cd");

    Stream texts({'h', 'e', 'l', 'l', 'o', 0, 'x', 0});
    char16 wide[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(texts.s.readString8(wide + 1, 0), 0);
    EXPECT_EQ(wide[1], u'#');
    EXPECT_EQ(texts.s.readString8(wide, 3), 2);
    EXPECT_EQ(std::u16string(wide), u"he");
    EXPECT_EQ(wide[3], u'#');
    EXPECT_EQ(texts.s.readString8(wide, 1), 0);
    EXPECT_EQ(wide[0], 0);
    wide[0] = u'z';
    EXPECT_EQ(Stream({0}).s.readString8(wide, 4), 0);
    EXPECT_EQ(wide[0], 0);
}

TEST(Base2Streams, SizeChunksSkipWhatTheReaderLeavesAndOverstatedCountsAreNotBelieved)
{
    Stream w;
    w.s.writeInt16(7);
    SizeChunkWriter chunk(w.s);
    EXPECT_EQ(chunk.end(), 0); // never begun
    chunk.begin();
    for (int32 v : {1, 2, 3})
        w.s.writeInt32(v);
    EXPECT_EQ(chunk.end(), 12);
    w.s.writeInt32(99);
    Stream r(w.bytes());
    int16 head;
    int32 first = 0, after = 0;
    r.s.readInt16(head);
    {
        SizeChunkReader reader(r.s);
        reader.begin();
        r.s.readInt32(first);
    }
    EXPECT_EQ(first, 1);
    EXPECT_TRUE(r.s.readInt32(after));
    EXPECT_EQ(after, 99);
    Stream damaged({0xFF, 0xFF, 0xFF, 0xFF, 1, 2});
    SizeChunkReader(damaged.s).begin();
    EXPECT_EQ(damaged.s.tell(), 4); // never back before the chunk

    // A stream that overstates its count is not believed.
    struct Liar : MemoryStream
    {
        int32_t read(void* buffer, int32_t n, int32_t* got) override
        {
            MemoryStream::read(buffer, n, got);
            if (got)
                *got = n * 4 + 1;
            return kResultOk;
        }
    };
    Liar* liar = new Liar;
    IBStreamer liarReader(liar);
    uint8 buffer[4];
    EXPECT_EQ(liarReader.readRaw(buffer, 4), 4);
    EXPECT_EQ(liarReader.readRaw(buffer, -4), 0);
    liar->release();
    IBStreamer none(nullptr);
    int32 v = 5;
    EXPECT_FALSE(none.readInt32(v));
    EXPECT_EQ(v, 0);
    EXPECT_EQ(none.seek(0, 0), -1);
}

// A write after a seek past the end fills the gap with zeros, also where the memory still holds
// bytes a truncation cut off, and where the stream had to grow for it.
TEST(Base2Streams, MemoryStreamGapsBehindASeekPastTheEndReadAsZeros)
{
    auto* m = new MemoryStream;
    auto contents = [m] { return std::vector<uint8_t>(m->getData(), m->getData() + m->getSize()); };
    std::vector<uint8_t> dirt(300, 0xAB);
    int32_t n = 0;
    ASSERT_EQ(m->write(dirt.data(), 300, &n), kResultOk);
    m->truncate(10);
    int64_t at = 0;
    ASSERT_EQ(m->seek(100, IBStream::kIBSeekEnd, &at), kResultOk);
    EXPECT_EQ(at, 110);
    EXPECT_EQ(m->getSize(), 10); // a seek alone does not grow the stream
    uint8_t two[2] = {1, 2};
    ASSERT_EQ(m->write(two, 2, &n), kResultOk);
    std::vector<uint8_t> want(10, 0xAB);
    want.resize(110, 0);
    want.insert(want.end(), {1, 2});
    EXPECT_EQ(contents(), want);

    ASSERT_EQ(m->seek(5000, IBStream::kIBSeekSet, &at), kResultOk);
    ASSERT_EQ(m->write(two, 2, &n), kResultOk);
    want.resize(5000, 0);
    want.insert(want.end(), {1, 2});
    EXPECT_EQ(contents(), want);
    // Read back through the stream as well.
    std::vector<uint8_t> back(want.size() + 8, 0x55);
    ASSERT_EQ(m->seek(0, IBStream::kIBSeekSet, &at), kResultOk);
    ASSERT_EQ(m->read(back.data(), static_cast<int32_t>(back.size()), &n), kResultOk);
    EXPECT_EQ(n, static_cast<int32_t>(want.size()));
    back.resize(want.size());
    EXPECT_EQ(back, want);
    m->release();
}
