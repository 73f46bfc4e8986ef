// A value's text the controller could not write for want of memory: the host counts the answer, so
// that `meter` fails the file rather than report a reading without its text. The plug-in is linked
// into the test, with a controller that answers so for the integrated loudness.
#include "host/meterapp.h"
#include "host/outofmemory.h"
#include "meter/norrikfactory.h"
#include "meter/smallbigmetercontroller.h"
#include "qel/bundleentry.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace Calvereth;

constexpr Qel::ParamID kIntegrated = 3;

class TextShortController : public Norrik::SmallBigMeterController
{
public:
    tresult getParamStringByValue(Qel::ParamID id, Qel::ParamValue v, Qel::String128 text) override
    {
        if (id != kIntegrated)
            return SmallBigMeterController::getParamStringByValue(id, v, text);
        text[0] = 0;
        return kOutOfMemory;
    }
};

// The meter's factory, with that controller in place of the meter's.
IPluginFactory* getTextShortFactory()
{
    static IPluginFactory* const factory = [] {
        auto* meter = static_cast<CPluginFactory*>(GetPluginFactory());
        FactoryInfo info;
        ClassInfo2 processor, controller;
        meter->getFactoryInfo(&info);
        meter->getClassInfo2(0, &processor);
        meter->getClassInfo2(1, &controller);
        meter->release();
        auto* made = new Norrik::NorrikFactory(info);
        made->registerClass(&processor, Norrik::createProcessorInstance);
        made->registerClass(&controller, [](void*) -> FUnknown* {
            return static_cast<Qel::IEditController*>(new TextShortController);
        });
        return made;
    }();
    factory->addRef();
    return factory;
}

const qelhost::PluginEntries kTextShort{reinterpret_cast<qelhost::BundleEntryProc>(&bundleEntry), &bundleExit,
                                        reinterpret_cast<qelhost::GetPluginFactoryProc>(&getTextShortFactory)};

TEST(MeterValueText, ATextRefusedForMemoryIsCountedAndFailsTheFile)
{
    {
        qelhost::Session session(NORRIK_BUNDLE_PATH, kTextShort);
        std::string error;
        ASSERT_TRUE(session.load(error) && session.create(error) && session.setup(8000.0, 2, 512, error)) << error;
        const std::uint64_t before = qelhost::memoryFailures();
        EXPECT_EQ(session.values().size(), 16u);
        EXPECT_EQ(qelhost::memoryFailures() - before, 1u);
        session.teardown();
    }

    const std::string path = ::testing::TempDir() + "/valuetext-" + std::to_string(getpid()) + ".wav";
    std::vector<float> tone(2 * 8000);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.1f * static_cast<float>(std::sin(0.13 * static_cast<double>(i / 2)));
    std::string error;
    ASSERT_TRUE(qelhost::writeWavFile(path, tone, 2, 8000, error)) << error;
    qelhost::MeterOptions options;
    options.files = {path};
    options.bundlePath = NORRIK_BUNDLE_PATH;
    options.linkedIn = kTextShort;
    std::string out, err;
    const int status = qelhost::runMeter(
        options, [&out](const std::string& s) { out += s; }, [&err](std::string_view s) { err += s; });
    std::remove(path.c_str());
    EXPECT_EQ(status, qelhost::kMeterPluginError);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "meter: " + path + ": " + qelhost::kNoMemory + "\n");
}

} // namespace
