// Sizes and field offsets of every record that crosses the plug-in boundary, and the identifier bytes.
#include <gtest/gtest.h>

#include <cstddef>

#include "qel/iaudioprocessor.h"
#include "qel/icomponent.h"
#include "qel/iconnectionpoint.h"
#include "qel/ieditcontroller.h"
#include "qel/ihostapplication.h"
#include "qel/imessage.h"
#include "qel/ipluginbase.h"
#include "qel/iplugview.h"
#include "qel/iunitinfo.h"

using namespace Calvereth;
using namespace Calvereth::Qel;

namespace {

#define EXPECT_FIELD(T, f, off) EXPECT_EQ(offsetof(T, f), size_t(off)) << #T "::" #f

TEST(QelRecords, BusInfoLayout)
{
    EXPECT_EQ(sizeof(BusInfo), 276u);
    EXPECT_FIELD(BusInfo, mediaType, 0);
    EXPECT_FIELD(BusInfo, direction, 4);
    EXPECT_FIELD(BusInfo, channelCount, 8);
    EXPECT_FIELD(BusInfo, name, 12);
    EXPECT_EQ(sizeof(BusInfo::name), 256u);
    EXPECT_FIELD(BusInfo, busType, 268);
    EXPECT_FIELD(BusInfo, flags, 272);
}

TEST(QelRecords, ProcessSetupLayout)
{
    EXPECT_EQ(sizeof(ProcessSetup), 24u);
    EXPECT_FIELD(ProcessSetup, processMode, 0);
    EXPECT_FIELD(ProcessSetup, sampleSize, 4);
    EXPECT_FIELD(ProcessSetup, maxSamplesPerBlock, 8);
    EXPECT_FIELD(ProcessSetup, sampleRate, 16);
}

TEST(QelRecords, ParameterInfoLayout)
{
    EXPECT_EQ(sizeof(ParameterInfo), 792u);
    EXPECT_FIELD(ParameterInfo, id, 0);
    EXPECT_FIELD(ParameterInfo, title, 4);
    EXPECT_FIELD(ParameterInfo, shortTitle, 260);
    EXPECT_FIELD(ParameterInfo, units, 516);
    EXPECT_FIELD(ParameterInfo, stepCount, 772);
    EXPECT_FIELD(ParameterInfo, defaultNormalizedValue, 776);
    EXPECT_FIELD(ParameterInfo, unitId, 784);
    EXPECT_FIELD(ParameterInfo, flags, 788);
}

TEST(QelRecords, UnitAndProgramListLayout)
{
    EXPECT_EQ(sizeof(UnitInfo), 268u);
    EXPECT_FIELD(UnitInfo, id, 0);
    EXPECT_FIELD(UnitInfo, parentUnitId, 4);
    EXPECT_FIELD(UnitInfo, name, 8);
    EXPECT_FIELD(UnitInfo, programListId, 264);
    EXPECT_EQ(sizeof(ProgramListInfo), 264u);
    EXPECT_FIELD(ProgramListInfo, id, 0);
    EXPECT_FIELD(ProgramListInfo, name, 4);
    EXPECT_FIELD(ProgramListInfo, programCount, 260);
}

TEST(QelRecords, FactoryAndClassInfoLayout)
{
    EXPECT_EQ(sizeof(FactoryInfo), 452u);
    EXPECT_FIELD(FactoryInfo, vendor, 0);
    EXPECT_FIELD(FactoryInfo, url, 64);
    EXPECT_FIELD(FactoryInfo, email, 320);
    EXPECT_FIELD(FactoryInfo, flags, 448);

    EXPECT_EQ(sizeof(ClassInfo), 116u);
    EXPECT_FIELD(ClassInfo, cid, 0);
    EXPECT_FIELD(ClassInfo, cardinality, 16);
    EXPECT_FIELD(ClassInfo, category, 20);
    EXPECT_FIELD(ClassInfo, name, 52);

    EXPECT_EQ(sizeof(ClassInfo2), 440u);
    EXPECT_FIELD(ClassInfo2, cid, 0);
    EXPECT_FIELD(ClassInfo2, cardinality, 16);
    EXPECT_FIELD(ClassInfo2, category, 20);
    EXPECT_FIELD(ClassInfo2, name, 52);
    EXPECT_FIELD(ClassInfo2, classFlags, 116);
    EXPECT_FIELD(ClassInfo2, subCategories, 120);
    EXPECT_FIELD(ClassInfo2, vendor, 248);
    EXPECT_FIELD(ClassInfo2, version, 312);
    EXPECT_FIELD(ClassInfo2, sdkVersion, 376);

    EXPECT_EQ(sizeof(ClassInfoUnicode), 696u);
    EXPECT_FIELD(ClassInfoUnicode, cid, 0);
    EXPECT_FIELD(ClassInfoUnicode, cardinality, 16);
    EXPECT_FIELD(ClassInfoUnicode, category, 20);
    EXPECT_FIELD(ClassInfoUnicode, name, 52);
    EXPECT_FIELD(ClassInfoUnicode, classFlags, 180);
    EXPECT_FIELD(ClassInfoUnicode, subCategories, 184);
    EXPECT_FIELD(ClassInfoUnicode, vendor, 312);
    EXPECT_FIELD(ClassInfoUnicode, version, 440);
    EXPECT_FIELD(ClassInfoUnicode, sdkVersion, 568);
}

TEST(QelRecords, ViewRectLayout)
{
    EXPECT_EQ(sizeof(ViewRect), 16u);
    EXPECT_FIELD(ViewRect, left, 0);
    EXPECT_FIELD(ViewRect, top, 4);
    EXPECT_FIELD(ViewRect, right, 8);
    EXPECT_FIELD(ViewRect, bottom, 12);
}

TEST(QelRecords, ProcessDataLayout)
{
    EXPECT_FIELD(ProcessData, processMode, 0);
    EXPECT_FIELD(ProcessData, numSamples, 8);
    EXPECT_FIELD(ProcessData, numInputs, 12);
    EXPECT_FIELD(ProcessData, numOutputs, 16);
    EXPECT_FIELD(ProcessData, inputs, 24);
    EXPECT_FIELD(ProcessData, outputs, 32);
    EXPECT_FIELD(ProcessData, inputParameterChanges, 40);
    EXPECT_FIELD(ProcessData, outputParameterChanges, 48);
    EXPECT_FIELD(ProcessData, transport, 72);
    EXPECT_EQ(sizeof(ProcessData), 80u);

    EXPECT_EQ(sizeof(BusBuffers), 24u);
    EXPECT_FIELD(BusBuffers, numChannels, 0);
    EXPECT_FIELD(BusBuffers, silenceFlags, 8);
    EXPECT_FIELD(BusBuffers, channelBuffers32, 16);

    EXPECT_FIELD(TransportContext, state, 0);
    EXPECT_FIELD(TransportContext, sampleRate, 8);
    EXPECT_FIELD(TransportContext, musicalPosition, 40);
    EXPECT_FIELD(TransportContext, musicalPosition2, 56);
    EXPECT_FIELD(TransportContext, tempo, 72);
}

// The identifiers in memory order, as the host compares them.
void expectBytes(const TUID iid, const char* hex)
{
    char text[33];
    for (int i = 0; i < 16; ++i)
        snprintf(text + 2 * i, 3, "%02X", static_cast<unsigned char>(iid[i]));
    EXPECT_STREQ(text, hex);
}

TEST(QelRecords, IdentifierBytes)
{
    expectBytes(FUnknown::iid, "0000000000000000C000000000000046");
    expectBytes(IPluginBase::iid, "22888DDB156E45AE8358B34808190625");
    expectBytes(IPluginFactory::iid, "7A4D811C52114A1FAED9D2EE0B43BF9F");
    expectBytes(IPluginFactory2::iid, "0007B650F24B4C0BA464EDB9F00B2ABB");
    expectBytes(IPluginFactory3::iid, "4555A2ABC1234E579B12291036878931");
    expectBytes(IPlugView::iid, "5BC32507D06049EAA6151B522B755B29");
    expectBytes(IComponent::iid, "E831FF31F2D54301928EBBEE25697802");
    expectBytes(IAudioProcessor::iid, "42043F99B7DA453CA569E79D9AAEC33D");
    expectBytes(IConnectionPoint::iid, "70A4156F6E6E4026989148BFAA60D8D1");
    expectBytes(IEditController::iid, "DCD7BBE37742448DA874AACC979C759E");
    expectBytes(IEditController2::iid, "7F4EFE59F3204967AC27A3AEAFB63038");
    expectBytes(IUnitInfo::iid, "3D4BD6B5913A4FD2A886E768A5EB92C1");
    expectBytes(IEditControllerHostEditing::iid, "C127120870594098B9DD34B36BB0195E");
    expectBytes(IXmlRepresentationController::iid, "A81A047148C34DC4AC30C9E13C8393D5");
    expectBytes(IHostApplication::iid, "58E595CCDB2D49698B6AAF8C36A664E5");
    expectBytes(IMessage::iid, "936F033BC6C047DBBB0882F813C1E613");
    expectBytes(IComponentHandler2::iid, "F040B4B3A36045ECABCDC045B4D5A2CC");
    expectBytes(IUnitHandler::iid, "4B5147F84654486B8DAB30BA163A3C56");
}

TEST(QelRecords, IdentifierComparisonIsByteExact)
{
    TUID copy;
    std::memcpy(copy, FUnknown::iid, 16);
    EXPECT_TRUE(iidEqual(copy, FUnknown::iid));
    copy[15] ^= 1;
    EXPECT_FALSE(iidEqual(copy, FUnknown::iid));
    EXPECT_FALSE(iidEqual(nullptr, FUnknown::iid));
    EXPECT_EQ(channelCount(kStereo), 2);
    EXPECT_EQ(channelCount(~0ull), 64);
}

} // namespace

namespace {
TEST(QelRecords, BusBuffersIsAnAggregate)
{
    float a[4] = {}, b[4] = {};
    float* channels[2] = {a, b};
    BusBuffers bus{2, 0x1, {channels}};
    EXPECT_EQ(bus.numChannels, 2);
    EXPECT_EQ(bus.silenceFlags, 1u);
    EXPECT_EQ(bus.channelBuffers32[1], b);
    BusBuffers empty;
    EXPECT_EQ(empty.channelBuffers32, nullptr);
}
} // namespace
