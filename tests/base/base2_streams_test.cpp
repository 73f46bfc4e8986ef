#include "base/fstreamer.h"
#include "base/memorystream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

using namespace Calvereth;

namespace {

std::vector<uint8_t> bytesOf(MemoryStream* s)
{
    return std::vector<uint8_t>(s->getData(), s->getData() + s->getSize());
}

struct Streams
{
    MemoryStream* stream = new MemoryStream;
    ~Streams() { stream->release(); }
};

MemoryStream* streamOf(const std::vector<uint8_t>& bytes)
{
    return new MemoryStream(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// Writes one of every typed value; the same sequence is read back by readAll.
void writeAll(FStreamer& s, uint64_t seed)
{
    std::mt19937_64 rng(seed);
    EXPECT_TRUE(s.writeInt16(static_cast<int16>(rng())));
    EXPECT_TRUE(s.writeInt16u(static_cast<uint16>(rng())));
    EXPECT_TRUE(s.writeInt32(static_cast<int32>(rng())));
    EXPECT_TRUE(s.writeInt32u(static_cast<uint32>(rng())));
    EXPECT_TRUE(s.writeInt64(static_cast<int64>(rng())));
    EXPECT_TRUE(s.writeInt64u(rng()));
    EXPECT_TRUE(s.writeFloat(std::ldexp(static_cast<float>(rng() % 100000), -7)));
    EXPECT_TRUE(s.writeDouble(std::ldexp(static_cast<double>(rng()), -40)));
    EXPECT_TRUE(s.writeBool(rng() & 1));
    int16 a16[3];
    uint16 u16[3];
    int32 a32[3];
    uint32 u32[3];
    int64 a64[3];
    uint64 u64[3];
    float f[3];
    double d[3];
    for (int i = 0; i < 3; ++i) {
        a16[i] = static_cast<int16>(rng());
        u16[i] = static_cast<uint16>(rng());
        a32[i] = static_cast<int32>(rng());
        u32[i] = static_cast<uint32>(rng());
        a64[i] = static_cast<int64>(rng());
        u64[i] = rng();
        f[i] = static_cast<float>(static_cast<int32>(rng())) / 3.0f;
        d[i] = static_cast<double>(static_cast<int64>(rng())) / 7.0;
    }
    EXPECT_TRUE(s.writeInt16Array(a16, 3));
    EXPECT_TRUE(s.writeInt16uArray(u16, 3));
    EXPECT_TRUE(s.writeInt32Array(a32, 3));
    EXPECT_TRUE(s.writeInt32uArray(u32, 3));
    EXPECT_TRUE(s.writeInt64Array(a64, 3));
    EXPECT_TRUE(s.writeInt64uArray(u64, 3));
    EXPECT_TRUE(s.writeFloatArray(f, 3));
    EXPECT_TRUE(s.writeDoubleArray(d, 3));
    EXPECT_TRUE(s.writeStr8("counted text"));
    EXPECT_TRUE(s.writeStr8(nullptr));
    EXPECT_TRUE(s.writeStringUtf8(u"plain"));
    EXPECT_TRUE(s.writeStringUtf8(u"gr\u00FC\u00DFe \u20AC"));
    EXPECT_EQ(s.writeString8("line one\r\n", false), 10);
    EXPECT_TRUE(s.writeInt32(-1));
}

// Reads the sequence back; answers how many reads succeeded (and checks their values).
int readAll(FStreamer& s, uint64_t seed)
{
    std::mt19937_64 rng(seed);
    int ok = 0;
// The read runs first; its value is compared only when it succeeded.
#define STEP(readExpr, compare)                                                                                        \
    {                                                                                                                  \
        const bool read_ = (readExpr);                                                                                 \
        if (!read_)                                                                                                    \
            return ok;                                                                                                 \
        EXPECT_TRUE(compare);                                                                                          \
        ++ok;                                                                                                          \
    }
    int16 i16 = 0;
    uint16 w16 = 0;
    int32 i32 = 0;
    uint32 w32 = 0;
    int64 i64 = 0;
    uint64 w64 = 0;
    float fv = 0;
    double dv = 0;
    bool bv = false;
    STEP(s.readInt16(i16), i16 == static_cast<int16>(rng()))
    STEP(s.readInt16u(w16), w16 == static_cast<uint16>(rng()))
    STEP(s.readInt32(i32), i32 == static_cast<int32>(rng()))
    STEP(s.readInt32u(w32), w32 == static_cast<uint32>(rng()))
    STEP(s.readInt64(i64), i64 == static_cast<int64>(rng()))
    STEP(s.readInt64u(w64), w64 == rng())
    STEP(s.readFloat(fv), fv == std::ldexp(static_cast<float>(rng() % 100000), -7))
    STEP(s.readDouble(dv), dv == std::ldexp(static_cast<double>(rng()), -40))
    STEP(s.readBool(bv), bv == static_cast<bool>(rng() & 1))
    int16 a16[3], e16[3];
    uint16 u16[3], f16[3];
    int32 a32[3], e32[3];
    uint32 u32[3], f32a[3];
    int64 a64[3], e64[3];
    uint64 u64[3], f64a[3];
    float f[3], ef[3];
    double d[3], ed[3];
    for (int i = 0; i < 3; ++i) {
        e16[i] = static_cast<int16>(rng());
        f16[i] = static_cast<uint16>(rng());
        e32[i] = static_cast<int32>(rng());
        f32a[i] = static_cast<uint32>(rng());
        e64[i] = static_cast<int64>(rng());
        f64a[i] = rng();
        ef[i] = static_cast<float>(static_cast<int32>(rng())) / 3.0f;
        ed[i] = static_cast<double>(static_cast<int64>(rng())) / 7.0;
    }
    STEP(s.readInt16Array(a16, 3), !std::memcmp(a16, e16, sizeof a16))
    STEP(s.readInt16uArray(u16, 3), !std::memcmp(u16, f16, sizeof u16))
    STEP(s.readInt32Array(a32, 3), !std::memcmp(a32, e32, sizeof a32))
    STEP(s.readInt32uArray(u32, 3), !std::memcmp(u32, f32a, sizeof u32))
    STEP(s.readInt64Array(a64, 3), !std::memcmp(a64, e64, sizeof a64))
    STEP(s.readInt64uArray(u64, 3), !std::memcmp(u64, f64a, sizeof u64))
    STEP(s.readFloatArray(f, 3), !std::memcmp(f, ef, sizeof f))
    STEP(s.readDoubleArray(d, 3), !std::memcmp(d, ed, sizeof d))
    char8* text = s.readStr8();
    const bool textOk = text && std::strcmp(text, "counted text") == 0;
    delete[] text;
    STEP(text != nullptr, textOk)
    // A null text reads as null after a complete length: tell it apart from a short read.
    const int64 before = s.tell();
    char8* none = s.readStr8();
    EXPECT_EQ(none, nullptr);
    if (s.tell() != before + 4)
        return ok;
    ++ok;
    char16 wide[32];
    const int64 p1 = s.tell();
    const int32 n1 = s.readString8(wide, 32);
    STEP(s.tell() == p1 + 6, n1 == 5 && std::u16string(wide) == u"plain")
    const int64 p2 = s.tell();
    const int32 n2 = s.readString8(wide, 32);
    STEP(s.tell() == p2 + 3 + 11 + 1, n2 == 7 && std::u16string(wide) == u"gr\u00FC\u00DFe \u20AC")
    char8 line[32];
    const int64 p3 = s.tell();
    const int32 n3 = s.readLine8(line, 32);
    STEP(s.tell() == p3 + 10, n3 == 8 && std::strcmp(line, "line one") == 0)
    STEP(s.readInt32(i32), i32 == -1)
    return ok;
#undef STEP
}

constexpr int kReads = 23;

} // namespace

TEST(Base2Streams, EveryTypeRoundTripsInBothByteOrders)
{
    for (int16 order : {static_cast<int16>(kLittleEndian), static_cast<int16>(kBigEndian)}) {
        for (uint64_t seed = 1; seed <= 5; ++seed) {
            Streams s;
            IBStreamer w(s.stream, order);
            writeAll(w, seed);
            EXPECT_EQ(s.stream->seek(0, 0, nullptr), kResultOk);
            IBStreamer r(s.stream, order);
            EXPECT_EQ(readAll(r, seed), kReads);
            int32 extra;
            EXPECT_FALSE(r.readInt32(extra));
        }
    }
}

TEST(Base2Streams, EveryTruncationIsRejectedCleanly)
{
    Streams full;
    {
        IBStreamer w(full.stream);
        writeAll(w, 42);
    }
    const std::vector<uint8_t> bytes = bytesOf(full.stream);
    int previous = 0;
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        MemoryStream* part = streamOf(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut));
        IBStreamer r(part);
        const int ok = readAll(r, 42);
        EXPECT_LT(ok, kReads) << "cut at " << cut;
        EXPECT_GE(ok, previous) << "cut at " << cut; // more bytes never read less
        previous = ok;
        // Nothing is read past the end.
        EXPECT_LE(r.tell(), static_cast<int64>(cut));
        part->release();
    }
}

TEST(Base2Streams, ByteLayouts)
{
    Streams s;
    IBStreamer le(s.stream, kLittleEndian);
    le.writeInt32(0x01020304);
    IBStreamer be(s.stream, kBigEndian);
    be.writeInt32(0x01020304);
    le.writeBool(true);
    le.writeStr8("abc");
    le.writeStr8(nullptr);
    EXPECT_EQ(bytesOf(s.stream),
              (std::vector<uint8_t>{4, 3, 2, 1, 1, 2, 3, 4, 1, 0, 4, 0, 0, 0, 'a', 'b', 'c', 0, 0, 0, 0, 0}));
    EXPECT_EQ(FStreamer::getStr8Size("abc"), 8);
    s.stream->seek(4, 0, nullptr);
    int32 v = 0;
    EXPECT_TRUE(be.readInt32(v));
    EXPECT_EQ(v, 0x01020304);

    MemoryStream* bools = streamOf({0, 0, 2, 0, 7});
    IBStreamer r(bools);
    bool b = true;
    EXPECT_TRUE(r.readBool(b));
    EXPECT_FALSE(b);
    EXPECT_TRUE(r.readBool(b));
    EXPECT_TRUE(b);
    b = true;
    EXPECT_FALSE(r.readBool(b));
    EXPECT_FALSE(b);
    bools->release();
}

TEST(Base2Streams, ShortReadsLeaveZerosAndStopArrays)
{
    MemoryStream* three = streamOf({1, 2, 3});
    IBStreamer r(three);
    int64 v = 99;
    EXPECT_FALSE(r.readInt64(v));
    EXPECT_EQ(v, 0);
    three->release();

    std::vector<uint8_t> nine(9, 0);
    const float one = 1.0f, two = 2.0f;
    std::memcpy(nine.data(), &one, 4);
    std::memcpy(nine.data() + 4, &two, 4);
    MemoryStream* floats = streamOf(nine);
    IBStreamer rf(floats);
    float f[4] = {5, 5, 5, 5};
    EXPECT_FALSE(rf.readFloatArray(f, 4));
    EXPECT_EQ(f[0], 1.0f);
    EXPECT_EQ(f[1], 2.0f);
    EXPECT_EQ(f[2], 0.0f);
    EXPECT_EQ(f[3], 5.0f);
    EXPECT_FALSE(rf.readFloatArray(f, -1));
    EXPECT_FALSE(rf.readFloatArray(nullptr, 2));
    floats->release();
}

TEST(Base2Streams, CountedTextWithALengthBeyondTheStreamFailsWithoutAHugeAllocation)
{
    MemoryStream* s = streamOf({0xF0, 0xFF, 0xFF, 0x7F, 'a', 'b'});
    IBStreamer r(s);
    EXPECT_EQ(r.readStr8(), nullptr);
    s->release();
    MemoryStream* negative = streamOf({0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'});
    IBStreamer rn(negative);
    EXPECT_EQ(rn.readStr8(), nullptr);
    negative->release();
    // A stored text without its terminator still reads as a terminated text.
    MemoryStream* unterminated = streamOf({3, 0, 0, 0, 'x', 'y', 'z'});
    IBStreamer ru(unterminated);
    char8* text = ru.readStr8();
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "xyz");
    delete[] text;
    unterminated->release();
}

TEST(Base2Streams, LinesAndTextsNeverWritePastTheirDestination)
{
    MemoryStream* s = streamOf({'a', 'b', 13, 10, 'c', 'd', 'e', 'f', 'g', 0});
    IBStreamer r(s);
    char8 line[8];
    EXPECT_EQ(r.readLine8(line, 8), 2);
    EXPECT_STREQ(line, "ab");
    char8 guard[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(r.readLine8(guard + 1, 0), 0);
    EXPECT_EQ(guard[1], '#');
    EXPECT_EQ(r.readLine8(line, 3), 2); // three bytes stored, the last one gives way to the end
    EXPECT_STREQ(line, "cd");
    s->release();

    MemoryStream* t = streamOf({'h', 'e', 'l', 'l', 'o', 0, 'x', 0});
    IBStreamer rt(t);
    char16 wide[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(rt.readString8(wide + 1, 0), 0);
    EXPECT_EQ(wide[1], u'#');
    EXPECT_EQ(rt.readString8(wide, 3), 2);
    EXPECT_EQ(std::u16string(wide), u"he");
    EXPECT_EQ(wide[3], u'#');
    char16 one[1];
    EXPECT_EQ(rt.readString8(one, 1), 0);
    EXPECT_EQ(one[0], 0);
    t->release();

    MemoryStream* lone = streamOf({0});
    IBStreamer rl(lone);
    char16 empty[4] = {u'z', 0, 0, 0};
    EXPECT_EQ(rl.readString8(empty, 4), 0);
    EXPECT_EQ(empty[0], 0);
    lone->release();
}

TEST(Base2Streams, Utf8TextCarriesAByteOrderMarkOnlyWhenNeeded)
{
    Streams s;
    IBStreamer w(s.stream);
    w.writeStringUtf8(u"ab");
    w.writeStringUtf8(u"\u00E9");
    EXPECT_EQ(bytesOf(s.stream), (std::vector<uint8_t>{'a', 'b', 0, 0xEF, 0xBB, 0xBF, 0xC3, 0xA9, 0}));
}

TEST(Base2Streams, SizeChunksSkipWhatTheReaderLeaves)
{
    Streams s;
    IBStreamer w(s.stream);
    w.writeInt16(7);
    SizeChunkWriter chunk(w);
    EXPECT_EQ(chunk.end(), 0);
    chunk.begin();
    w.writeInt32(1);
    w.writeInt32(2);
    w.writeInt32(3);
    EXPECT_EQ(chunk.end(), 12);
    w.writeInt32(99);
    s.stream->seek(0, 0, nullptr);
    IBStreamer r(s.stream);
    int16 head;
    r.readInt16(head);
    {
        SizeChunkReader reader(r);
        reader.begin();
        int32 first;
        r.readInt32(first);
        EXPECT_EQ(first, 1);
    }
    int32 after = 0;
    EXPECT_TRUE(r.readInt32(after));
    EXPECT_EQ(after, 99);

    MemoryStream* damaged = streamOf({0xFF, 0xFF, 0xFF, 0xFF, 1, 2});
    IBStreamer rd(damaged);
    {
        SizeChunkReader reader(rd);
        reader.begin();
    }
    EXPECT_EQ(rd.tell(), 4); // never back before the chunk
    damaged->release();
}

TEST(Base2Streams, AStreamThatOverstatesItsCountIsNotBelieved)
{
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
    IBStreamer r(liar);
    uint8 buffer[4];
    EXPECT_EQ(r.readRaw(buffer, 4), 4);
    EXPECT_EQ(r.readRaw(buffer, -4), 0);
    IBStreamer none(nullptr);
    int32 v = 5;
    EXPECT_FALSE(none.readInt32(v));
    EXPECT_EQ(v, 0);
    EXPECT_EQ(none.seek(0, 0), -1);
    liar->release();
}
