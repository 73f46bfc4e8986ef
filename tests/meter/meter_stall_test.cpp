// A plug-in whose measuring threads do not answer: `meter` stops with status 3 and the reason, and
// meters no further file. The plug-in is linked into the test, so that its worker can be held.
#include "dsp/bigmeter.h"
#include "dsp/bigmeteracc.h"
#include "host/audiosource.h"
#include "host/meterapp.h"
#include "meter/norrikfactory.h"
#include "pluginset/common/qel/pluginqel.h"
#include "qel/bundleentry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The loudness of the processor a session created inside this process.
Loudness* loudnessOf(qelhost::Session& session)
{
    auto* processor = reinterpret_cast<Calvereth::Qel::IAudioProcessor*>(session.processor());
    auto* plugin = dynamic_cast<Calvereth::Qel::PluginQel*>(processor);
    auto* accessor = plugin ? static_cast<BigMeterAcc*>(plugin->getAccessor()) : nullptr;
    return accessor ? accessor->getMeter()->getLoudness() : nullptr;
}

std::string writeTone(const std::string& path)
{
    std::vector<float> samples(2 * 48000 * 3);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.1f * static_cast<float>(std::sin(0.13 * static_cast<double>(i / 2)));
    std::string error;
    EXPECT_TRUE(qelhost::writeWavFile(path, samples, 2, 48000, error)) << error;
    return path;
}

} // namespace

TEST(MeterStall, WorkersThatDoNotAnswerEndTheRunWithStatusThree)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string dir = ::testing::TempDir();
    const std::string first = writeTone(dir + "/stall-first.wav");
    const std::string second = writeTone(dir + "/stall-second.wav");
    qelhost::MeterOptions o;
    o.files = {first, second};
    o.bundlePath = NORRIK_BUNDLE_PATH;
    o.linkedIn = {reinterpret_cast<qelhost::BundleEntryProc>(&bundleEntry), &bundleExit,
                  reinterpret_cast<qelhost::GetPluginFactoryProc>(&GetPluginFactory)};
    o.onSetUp = [](qelhost::Session& session) {
        Loudness* loudness = loudnessOf(session);
        ASSERT_NE(loudness, nullptr);
        loudness->setWaitLimit(100);
        loudness->getIntegratedCollector()->holdWorker(true);
    };
    // The status as `meter` ends on a stall: at once, without the plug-in's exit handlers.
    EXPECT_EXIT(
        {
            const int status = qelhost::runMeter(
                o, [](const std::string& s) { std::fprintf(stderr, "report> %s", s.c_str()); },
                [](const std::string& s) { std::fputs(s.c_str(), stderr); });
            std::fflush(stderr);
            std::_Exit(status);
        },
        ::testing::ExitedWithCode(3),
        ::testing::AllOf(::testing::HasSubstr(first + ": the plug-in could not complete its readings"),
                         ::testing::Not(::testing::HasSubstr("report> ")),
                         ::testing::Not(::testing::HasSubstr(second))));
}
