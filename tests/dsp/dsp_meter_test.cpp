// The meter, the accessors, resets by id, peaks, silence, non-finite input and the state stream.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "base/fstreamer.h"
#include "base/memorystream.h"
#include "dsp/bigmeter.h"
#include "dsp/bigmeteracc.h"
#include "dsp_support.h"

using namespace DSP;

namespace {

std::unique_ptr<BigMeterAcc> makeAcc(int32 block = 512)
{
    return dsptest::makeMeter(48000.0, block);
}

// A memory stream and its streamer, for the state tests.
struct StateStream
{
    StateStream() : memory(new Calvereth::MemoryStream), streamer(memory) {}
    StateStream(const std::vector<unsigned char>& bytes)
    : memory(new Calvereth::MemoryStream(bytes.data(), static_cast<int64_t>(bytes.size()))), streamer(memory)
    {}
    ~StateStream() { memory->release(); }
    std::vector<unsigned char> bytes() const { return {memory->getData(), memory->getData() + memory->getSize()}; }
    Calvereth::MemoryStream* memory;
    Calvereth::IBStreamer streamer;
};

} // namespace

TEST(DspMeter, OutputIsTheInputAndTheReadingsAreSet)
{
    auto acc = makeAcc();
    dsptest::Signal in(2, 48000 * 8), out(2, 48000 * 8);
    dsptest::addSine(in, 0, 1000.0, 0.5, 48000.0);
    dsptest::addSine(in, 1, 300.0, 0.25, 48000.0);
    for (size_t pos = 0; pos < in.frames(); pos += 512)
        acc->process(in.at(pos), out.at(pos), 512);
    EXPECT_EQ(out.data, in.data);
    EXPECT_GT(acc->getValue(1), -80.0);
    EXPECT_NEAR(acc->getValue(11), 0.5, 0.01);
    EXPECT_NEAR(acc->getValue(27), 0.5 / std::sqrt(2.0), 0.01);
    EXPECT_NEAR(acc->getValue(28), 0.25 / std::sqrt(2.0), 0.01);
    EXPECT_NEAR(acc->getValue(43), 0.5 / std::sqrt(2.0), 0.02);
    EXPECT_EQ(acc->getValue(13), 1.0);
    EXPECT_EQ(acc->getValue(29), 0.0); // channel beyond the configuration
    acc->setParameter(14, 1.0);
    EXPECT_NEAR(acc->getValue(27), 1.4125 * 0.5 / std::sqrt(2.0), 0.02);
}

TEST(DspMeter, ResetsById)
{
    auto acc = makeAcc();
    dsptest::Signal s = dsptest::programme(48000 * 4);
    dsptest::feed(*acc, s, 512);
    auto read = [&](int32 id) { return acc->getValue(id); };
    ASSERT_GT(read(3), -80.0);
    ASSERT_GT(read(10), 0.0);
    const double tp = read(11), integrated = read(3), rmsMax = read(43);

    acc->setParameter(5, 0.0); // loudness maxima only
    EXPECT_EQ(read(8) + read(9), -160.0);
    EXPECT_EQ(read(3), integrated);
    EXPECT_EQ(read(11), tp);
    acc->setParameter(6, 1.0); // RMS maxima only
    EXPECT_EQ(read(43), 0.0);
    EXPECT_GT(read(27) * rmsMax, 0.0);
    acc->setParameter(7, 0.0); // true peak only
    EXPECT_EQ(static_cast<float>(read(11)), TruePeak::kFloor);
    EXPECT_EQ(read(3), integrated);

    dsptest::feed(*acc, s, 512);
    acc->setParameter(4, 0.0); // everything
    for (int32 id : {1, 2, 3, 8, 9})
        EXPECT_EQ(read(id), -80.0) << id;
    EXPECT_EQ(read(10), 0.0);
    EXPECT_EQ(static_cast<float>(read(11)), TruePeak::kFloor);
    EXPECT_EQ(read(27), 0.0);
    EXPECT_EQ(read(43), 0.0);
}

TEST(DspMeter, NonFinitePassesThroughAndSilenceSetsTheFlag)
{
    // (Which blocks are silent: DspBlockStats. Non-finite samples measured: DspFaults.)
    // Non-finite samples pass through untouched.
    auto b = makeAcc(512);
    dsptest::Signal in(2, 512), out(2, 512);
    in.data[0][100] = std::numeric_limits<float>::quiet_NaN();
    in.data[1][200] = -std::numeric_limits<float>::infinity();
    b->process(in.at(0), out.at(0), 512);
    EXPECT_TRUE(std::isnan(out.data[0][100]));
    EXPECT_TRUE(std::isinf(out.data[1][200]));

    // A block of zeros sets the silent flag; one of 2e-6 clears it.
    dsptest::Signal zeros(2, 512), tiny(2, 512);
    tiny.data[0][7] = 2e-6f;
    b->process(zeros.at(0), out.at(0), 512);
    EXPECT_TRUE(b->isSilent());
    b->process(tiny.at(0), out.at(0), 512);
    EXPECT_FALSE(b->isSilent());
}

TEST(DspMeter, SilentBlocksAdvanceNothing)
{
    auto acc = makeAcc(512);
    dsptest::Signal s(2, 48000);
    for (int c = 0; c < 2; ++c)
        dsptest::addSine(s, c, 1000.0, 0.3, 48000.0);
    dsptest::feed(*acc, s, 512);
    const double before[3] = {acc->getValue(1), acc->getValue(27), acc->getValue(11)};
    dsptest::Signal quiet(2, 48000 * 2);
    quiet.data[0].assign(quiet.frames(), 1e-7f);
    dsptest::feed(*acc, quiet, 512);
    EXPECT_EQ(acc->getValue(1), before[0]);
    EXPECT_EQ(acc->getValue(27), before[1]);
    EXPECT_EQ(acc->getValue(11), before[2]);
}

TEST(DspAccessor, PeaksAndTheirReads)
{
    auto acc = makeAcc(64);
    dsptest::Signal in(2, 64), out(2, 64);
    in.data[0][3] = -0.75f;
    in.data[1][9] = 0.5f;
    acc->process(in.at(0), out.at(0), 64);
    EXPECT_EQ(acc->getValue(42), 0.75);
    EXPECT_EQ(acc->getValue(15), 0.75);
    EXPECT_EQ(acc->getValue(15), 0.0); // reading clears the held peak
    EXPECT_EQ(acc->getValue(16), 0.5);
    acc->process(in.at(0), out.at(0), 64);
    acc->resetMaxLevelIn();
    in.data[0][3] = 0.1f;
    acc->process(in.at(0), out.at(0), 64);
    EXPECT_EQ(acc->getValue(42), 0.75); // held peaks were not read: the overall one follows them
    acc->resetMaxLevelOut();
    EXPECT_EQ(acc->getOverallOutputPeak(), 0.75f);
    EXPECT_EQ(acc->getValue(43), 0.0);
}

TEST(DspAccessor, ChannelConfigurations)
{
    auto acc = makeAcc(64);
    acc->setParameter(0, 1.0);
    EXPECT_EQ(acc->getValue(0), 1.0);
    // Unequal counts: the meter refuses, the accessor keeps the counts and re-applies its entries.
    EXPECT_EQ(acc->setChannelMasks(3, 7, 0), 1);
    EXPECT_EQ(acc->getOutputCount(), 3);
    EXPECT_EQ(acc->getMeter()->getChannelCount(), 2);
    // More channels than the peak arrays hold are refused outright.
    EXPECT_EQ(acc->setChannelMasks((1ull << 15) - 1, (1ull << 15) - 1, 0), 1);
    EXPECT_EQ(acc->getInputCount(), 2);
    EXPECT_EQ(acc->setChannelMasks((1ull << 14) - 1, (1ull << 14) - 1, 0), 0);
    EXPECT_EQ(acc->getMeter()->getChannelCount(), 14);
    EXPECT_EQ(acc->setChannelCount(15, 15, 0), 1);
    EXPECT_EQ(acc->getValue(0), 1.0);
}

TEST(DspState, RoundTripThroughTheStreamerAndTheMemoryBlock)
{
    auto a = makeAcc(64);
    a->setParameter(48, 1.0);
    a->setParameter(0, 1.0);
    StateStream s;
    ASSERT_TRUE(a->writeState(s.streamer));
    const std::vector<unsigned char> bytes = s.bytes();
    ASSERT_EQ(bytes.size(), 12u * 140u);
    EXPECT_EQ(std::memcmp(bytes.data(), "loudnessM", 10), 0);
    const double one = 1.0;
    EXPECT_EQ(std::memcmp(bytes.data() + 10 * 140 + 132, &one, 8), 0); // little-endian double after the id
    const int32 length = 12 * 144;

    auto b = makeAcc(64);
    StateStream in(bytes);
    ASSERT_TRUE(b->readState(in.streamer, length));
    EXPECT_EQ(b->getValue(0), 1.0);
    EXPECT_EQ(b->getEntries()[10].value, 1.0);

    // Too many records or a negative length: nothing read. (Cuts, non-finite values and clamping:
    // the processor's state tests.)
    EXPECT_FALSE(b->readState(in.streamer, -144));
    EXPECT_FALSE(b->readState(in.streamer, 13 * 144));

    // The in-memory block: 143 bytes read nothing, 144 one entry.
    auto d = makeAcc(64);
    ParameterEntry e{};
    e.id = 48;
    e.value = 1.0;
    EXPECT_TRUE(d->setStateBlock(&e, 143));
    EXPECT_EQ(d->getEntries()[10].value, 0.0);
    EXPECT_TRUE(d->setStateBlock(&e, 144));
    EXPECT_EQ(d->getEntries()[10].value, 1.0);
    e.value = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(d->setStateBlock(&e, 144));
    EXPECT_EQ(d->getEntries()[10].value, 1.0);
}

// Values set directly are held as a state would bring them back: non-finite ones change nothing,
// others are clamped to their row, so that what is written is read back unchanged.
TEST(DspState, SetValuesAreThoseAStateWouldRestore)
{
    auto a = makeAcc(64);
    a->setParameter(48, 1.0);
    for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL})
        a->setParameter(48, bad);
    EXPECT_EQ(a->getEntries()[10].value, 1.0);
    a->setParameter(0, 7.0);
    a->setParameter(1, -500.0);
    EXPECT_EQ(a->getValue(0), 1.0);
    EXPECT_EQ(a->getEntries()[0].value, -80.0);
    StateStream out;
    ASSERT_TRUE(a->writeState(out.streamer));
    auto b = makeAcc(64);
    StateStream in(out.bytes());
    ASSERT_TRUE(b->readState(in.streamer, 12 * 144));
    StateStream again;
    ASSERT_TRUE(b->writeState(again.streamer));
    EXPECT_EQ(again.bytes(), out.bytes());
}

TEST(DspState, RepeatedIdsFillSuccessiveEntries)
{
    auto t = dsptest::processorTable();
    t[4].id = 1; // a second row of id 1
    BigMeterAcc acc(64, 48000.0, t.data(), static_cast<int32>(t.size()), false);
    std::vector<unsigned char> bytes;
    for (double v : {-10.0, -20.0, -30.0}) {
        unsigned char rec[140] = {};
        const std::uint32_t id = 1;
        std::memcpy(rec + 128, &id, 4);
        std::memcpy(rec + 132, &v, 8);
        bytes.insert(bytes.end(), rec, rec + 140);
    }
    StateStream s(bytes);
    ASSERT_TRUE(acc.readState(s.streamer, 3 * 144));
    EXPECT_EQ(acc.getEntries()[0].value, -10.0);
    EXPECT_EQ(acc.getEntries()[4].value, -20.0);
}
