// The meter's display drawn by the test host from the bundle's skin: a real run through the loaded
// bundle, the values printed from the controller, the SVG, clicks and tear-down.
#include "host/audiosource.h"
#include "host/frame_display.h"
#include "host/session.h"
#include "meterrun.h"
#include "tests/common/comma_locale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using namespace qelhost;

// A 1 kHz sine in both channels at -23 dBFS: -23 LUFS.
class Tone final : public AudioSource
{
public:
    explicit Tone(double seconds, double amplitude = std::pow(10.0, -23.0 / 20.0))
    : total_(static_cast<std::int64_t>(seconds * 48000.0)), amplitude_(amplitude)
    {}
    int channels() const override { return 2; }
    double sampleRate() const override { return 48000.0; }
    std::int64_t frames() const override { return total_; }
    std::string name() const override { return "tone"; }
    std::int64_t read(float* const* ch, std::int64_t maxFrames) override
    {
        std::int64_t n = std::min(maxFrames, total_ - pos_);
        for (std::int64_t i = 0; i < n; ++i) {
            float v = static_cast<float>(amplitude_ * std::sin(2.0 * M_PI * 1000.0 * (pos_ + i) / 48000.0));
            ch[0][i] = v;
            ch[1][i] = v;
        }
        pos_ += n;
        return n;
    }

private:
    std::int64_t total_, pos_ = 0;
    double amplitude_;
};

// Quiet noise with loud moments of 0.15 to 0.9 s, the loudest among the shortest.
class LoudMoments final : public AudioSource
{
public:
    int channels() const override { return 2; }
    double sampleRate() const override { return 48000.0; }
    std::int64_t frames() const override { return kSeconds * 48000; }
    std::string name() const override { return "loud moments"; }
    std::int64_t read(float* const* ch, std::int64_t maxFrames) override
    {
        // Start (s), length (s), level (dBFS).
        static constexpr double kMoments[][3] = {
            {1.3, 0.9, -26.0}, {3.05, 0.15, -14.0}, {4.6, 0.4, -21.0}, {6.2, 0.25, -17.0}, {8.1, 0.6, -24.0}};
        const std::int64_t n = std::min(maxFrames, frames() - pos_);
        for (std::int64_t i = 0; i < n; ++i, ++pos_) {
            const double t = static_cast<double>(pos_) / 48000.0;
            double db = -45.0;
            for (const auto& m : kMoments)
                if (t >= m[0] && t < m[0] + m[1])
                    db = m[2];
            for (int c = 0; c < 2; ++c) {
                seed_ = seed_ * 1664525u + 1013904223u;
                ch[c][i] = static_cast<float>(std::pow(10.0, db / 20.0) * (seed_ / 2147483648.0 - 1.0));
            }
        }
        return n;
    }

private:
    static constexpr std::int64_t kSeconds = 10;
    std::int64_t pos_ = 0;
    std::uint32_t seed_ = 1770;
};

const ParamValue* find(const std::vector<ParamValue>& values, const std::string& title)
{
    for (auto& v : values)
        if (v.title == title)
            return &v;
    return nullptr;
}

int barTop(const std::string& svg)
{
    auto at = svg.find("<g data-view=\"loudnessMView\"");
    if (at == std::string::npos)
        return -1;
    std::string part = svg.substr(at, svg.find("</g>", at) - at);
    auto b = part.find("<svg data-bitmap=\"bmAudioPlugMeterFore\"");
    auto y = b == std::string::npos ? b : part.find(" y=\"", b);
    return y == std::string::npos ? -1 : std::atoi(part.c_str() + y + 4);
}

// Where the momentary bar's maximum mark (its grey line) is drawn, in LUFS: the bar shows -59 to
// -5 LUFS over its 240 pixels.
double drawnMaximum(const std::string& svg)
{
    auto at = svg.find("<g data-view=\"loudnessMView\"");
    auto y = at == std::string::npos ? at : svg.find(" y1=\"", svg.find("<line ", at));
    return y == std::string::npos ? NAN : -5.0 - std::atoi(svg.c_str() + y + 5) * 54.0 / 240.0;
}

std::string textOf(const std::string& svg, const std::string& value)
{
    auto at = svg.find("<text data-value=\"" + value + "\"");
    if (at == std::string::npos)
        return "<none>";
    auto begin = svg.find('>', at) + 1;
    return svg.substr(begin, svg.find("</text>", begin) - begin);
}

class HostFrameRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        session = std::make_unique<Session>(NORRIK_BUNDLE_PATH);
        std::string error;
        ASSERT_TRUE(session->load(error)) << error;
        ASSERT_TRUE(session->create(error)) << error;
        ASSERT_TRUE(session->setup(48000.0, 2, 512, error)) << error;
    }
    void meter(double seconds)
    {
        Tone tone(seconds);
        std::string error;
        ASSERT_TRUE(session->run(tone, nullptr, error)) << error;
        session->readOut();
    }
    std::unique_ptr<Session> session;
};

} // namespace

TEST_F(HostFrameRun, ValuesComeFromTheController)
{
    meter(6.0);
    auto values = session->values();
    EXPECT_EQ(values.size(), 16u);
    const ParamValue* integrated = find(values, "Integrated");
    ASSERT_NE(integrated, nullptr);
    EXPECT_NEAR(integrated->plain, -23.0, 0.15);
    EXPECT_NEAR(std::atof(integrated->text.c_str()), -23.0, 0.15);
    const ParamValue* scale = find(values, "ScaleLU");
    ASSERT_NE(scale, nullptr);
    EXPECT_EQ(scale->text, "LUFS");
    const ParamValue* time = find(values, "Time");
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->text, "00:00:06");
    EXPECT_NE(find(values, "TP-Over"), nullptr);
    // The controller asked for the data at idle time, on the main thread or, during the run, on the
    // audio thread that stood in for it; the run handed the main thread's part back.
    int requests = 0;
    for (auto& m : session->router().log()) {
        requests += m.id == "PluginDataGet" && !m.toController;
        EXPECT_FALSE(m.offMainThread && !m.toController) << m.id;
    }
    EXPECT_GT(requests, 0);
}

TEST_F(HostFrameRun, SvgShowsTheBarsWhereTheValuesPutThem)
{
    meter(6.0);
    DisplayHost* display = session->display();
    ASSERT_NE(display, nullptr);
    std::string svg = display->renderSvg(session->controller());
    ASSERT_FALSE(svg.empty()) << display->frame().skin().error();
    // -23 LUFS lies at 0 LU: 80 of 240 pixels below the top of the bar.
    EXPECT_NEAR(barTop(svg), 80, 2);
    EXPECT_NEAR(std::atof(textOf(svg, "loudnessI").c_str()), -23.0, 0.15);
    EXPECT_EQ(textOf(svg, "time"), "00:00:06");
    auto indicator = svg.find("data-value=\"LoudnessSIndicator\"");
    ASSERT_NE(indicator, std::string::npos);
    auto y1 = svg.find(" y1=\"", indicator);
    ASSERT_NE(y1, std::string::npos);
    EXPECT_NEAR(std::atoi(svg.c_str() + y1 + 5), 120, 2);
}

TEST_F(HostFrameRun, ClicksReachThePlugIn)
{
    meter(4.0);
    DisplayHost* display = session->display();
    EditorView* editor = display->openEditor(session->controller());
    ASSERT_NE(editor, nullptr);
    HostView* bar = editor->subView("loudnessMView");
    ASSERT_NE(bar, nullptr);
    const int before = bar->invalidations;
    EXPECT_TRUE(editor->click(25, 100));
    EXPECT_GT(bar->invalidations, before);
    // The reset button resets the loudness in the processor: the time starts again.
    EXPECT_TRUE(editor->click(120, 245));
    session->processBlock(nullptr, 512);
    session->readOut();
    display->idle();
    std::string svg = editor->renderSvg();
    EXPECT_EQ(textOf(svg, "time"), "00:00:00");
}

TEST_F(HostFrameRun, TeardownWithTheEditorOpen)
{
    meter(1.0);
    ASSERT_NE(session->display()->openEditor(session->controller()), nullptr);
    session->teardown();
    session.reset();
}

// The plug-in keeps the display services of the session whose controller started them, for every
// controller after it, until the last is gone. Of two sessions, either is torn down and deleted,
// the other's editor open, or the second loads only after the first is gone: the one left meters
// and draws as a lone session does.
TEST(HostFrameSessions, EitherOfTwoSessionsMetersAndDrawsAfterTheOtherIsGone)
{
    auto start = [](Session& s) {
        std::string error;
        EXPECT_TRUE(s.load(error) && s.create(error)) << error;
        // The editor opens before the set-up, as a host shows the plug-in before it plays.
        EXPECT_NE(s.display()->openEditor(s.controller()), nullptr);
    };
    auto meterAndDraw = [](Session& s, double seconds) {
        std::string error;
        Tone tone(seconds);
        EXPECT_TRUE(s.setup(48000.0, 2, 512, error) && s.run(tone, nullptr, error) && s.readOut(&error)) << error;
        std::string seen;
        for (const ParamValue& v : s.values())
            seen += v.title + "=" + v.text + "\n";
        return seen + s.display()->renderSvg(s.controller());
    };
    std::string reference;
    {
        Session lone(NORRIK_BUNDLE_PATH);
        start(lone);
        reference = meterAndDraw(lone, 3.0);
    }
    ASSERT_NE(reference.find("data-view=\"AudioPlugSmallBigMeter\""), std::string::npos) << reference;
    enum Order
    {
        kFirstGoes,
        kSecondGoes,
        kFirstGoesBeforeTheSecondLoads
    };
    for (const Order order : {kFirstGoes, kSecondGoes, kFirstGoesBeforeTheSecondLoads}) {
        SCOPED_TRACE(order);
        auto first = std::make_unique<Session>(NORRIK_BUNDLE_PATH);
        start(*first);
        auto second = std::make_unique<Session>(NORRIK_BUNDLE_PATH);
        if (order != kFirstGoesBeforeTheSecondLoads)
            start(*second);
        std::unique_ptr<Session>& goes = order == kSecondGoes ? second : first;
        Session& stays = order == kSecondGoes ? *first : *second;
        EXPECT_NE(meterAndDraw(*goes, 1.0).find("<svg"), std::string::npos);
        goes->teardown();
        goes.reset();
        if (order == kFirstGoesBeforeTheSecondLoads)
            start(stays);
        EXPECT_EQ(meterAndDraw(stays, 3.0), reference);
    }
}

TEST(HostFrameSessions, TheMaximumMarkShowsLoudMomentsShorterThanASecond)
{
    // Read out every 0.1 s of audio, or every block where a block is longer, the display sees every
    // momentary value: its mark stands where the meter's maximum reads, within two pixels, and
    // within 1.5 LU where a block is a third of a second.
    for (const int block : {64, 512, 4096, 16384}) {
        SCOPED_TRACE(testing::Message() << "block " << block);
        Session session(NORRIK_BUNDLE_PATH);
        LoudMoments programme;
        std::string error;
        ASSERT_TRUE(session.load(error) && session.create(error) && session.setup(48000.0, 2, block, error) &&
                    session.run(programme, nullptr, error) && session.readOut(&error))
            << error;
        const std::vector<ParamValue> values = session.values();
        const ParamValue* maximum = find(values, "MomentMax");
        ASSERT_NE(maximum, nullptr);
        ASSERT_GT(maximum->plain, -20.0) << "the loudest moment is not the shortest";
        EXPECT_NEAR(drawnMaximum(session.display()->renderSvg(session.controller())), maximum->plain,
                    block <= 4096 ? 0.5 : 1.5);
    }
}

TEST(HostFrameProgram, MeterWritesTheDisplay)
{
    char dirTemplate[] = "/tmp/hostframeXXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate;
    std::vector<float> samples(48000 * 2 * 4);
    const double a = std::pow(10.0, -23.0 / 20.0);
    for (std::size_t i = 0; i < samples.size() / 2; ++i)
        samples[2 * i] = samples[2 * i + 1] = static_cast<float>(a * std::sin(2.0 * M_PI * 1000.0 * i / 48000.0));
    std::string error;
    ASSERT_TRUE(writeWavFile(dir + "/tone.wav", samples, 2, 48000, error)) << error;
    const metertest::ProgramRun run = metertest::runMeterProgram(dir + "/tone.wav --svg " + dir + "/out.svg");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Integrated"), std::string::npos) << run.out;
    const std::string svg = wholefile::read(dir + "/out.svg");
    EXPECT_NE(svg.find("data-view=\"AudioPlugSmallBigMeter\""), std::string::npos);
    EXPECT_NEAR(barTop(svg), 80, 2);
    // No over yet: the counts are drawn as text, not as alarms; the built-in programme has overs.
    auto fill = [](const std::string& svg, const char* value) {
        auto at = svg.find(std::string("data-value=\"") + value + "\"");
        return at == std::string::npos ? std::string() : svg.substr(svg.find("fill=\"", at) + 6, 7);
    };
    EXPECT_EQ(fill(svg, "truePeakOver"), "#ECEEF2");
    EXPECT_EQ(fill(svg, "loudnessIOver"), "#ECEEF2");
    ASSERT_EQ(metertest::runMeterProgram("--svg " + dir + "/prog.svg").status, 0);
    EXPECT_EQ(fill(wholefile::read(dir + "/prog.svg"), "truePeakOver"), "#FF4A3D");
    std::system(("rm -rf " + dir).c_str());
}

TEST(HostFrameProgram, TheDisplayAfterALevelDropIsTheAudiosNotTheMachines)
{
    // 3 s loud, then 5 s quiet: long enough for the bar to fall, in the audio's time. The bar then
    // stands where 8 s of the quiet tone put it, and every run draws the same picture.
    char dirTemplate[] = "/tmp/hostframeXXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate;
    auto tone = [](double loudSeconds, double seconds) {
        std::vector<float> samples(static_cast<std::size_t>(48000 * seconds) * 2);
        for (std::size_t i = 0; i < samples.size() / 2; ++i) {
            const double a = std::pow(10.0, (i < 48000 * loudSeconds ? -13.0 : -33.0) / 20.0);
            samples[2 * i] = samples[2 * i + 1] = static_cast<float>(a * std::sin(2.0 * M_PI * 1000.0 * i / 48000.0));
        }
        return samples;
    };
    std::string error;
    ASSERT_TRUE(writeWavFile(dir + "/drop.wav", tone(3.0, 8.0), 2, 48000, error)) << error;
    ASSERT_TRUE(writeWavFile(dir + "/quiet.wav", tone(0.0, 8.0), 2, 48000, error)) << error;
    auto draw = [&dir](const std::string& file, const std::string& svg) {
        const metertest::ProgramRun run = metertest::runMeterProgram(dir + "/" + file + " --svg " + dir + "/" + svg);
        EXPECT_EQ(run.status, 0) << run.out;
        return wholefile::read(dir + "/" + svg);
    };
    const std::string drop = draw("drop.wav", "drop.svg");
    const std::string quiet = draw("quiet.wav", "quiet.svg");
    ASSERT_GT(barTop(quiet), 120) << quiet; // below 0 LU
    EXPECT_EQ(barTop(drop), barTop(quiet));
    EXPECT_EQ(textOf(drop, "loudnessM"), textOf(quiet, "loudnessM"));
    EXPECT_EQ(draw("drop.wav", "again.svg"), drop);
    std::system(("rm -rf " + dir).c_str());
}

TEST(HostSkin, TheDrawingIsTheSameInEveryLocale)
{
    // The bundle's skin, drawn without the plug-in's views: its gradient stops and opacities are
    // fractions, read and written the same under a decimal-comma locale as under C.
    std::ifstream in(bundleResourceDirectory(NORRIK_BUNDLE_PATH) + "/norrik.srf", std::ios::binary);
    ASSERT_TRUE(in);
    std::stringstream text;
    text << in.rdbuf();
    auto draw = [&text] {
        auto* skin = new SkinService;
        std::string svg;
        IPlugView* view = nullptr;
        if (skin->loadText(text.str()) &&
            skin->createView(skin->model().views.front().name.c_str(), nullptr, &view) == kResultOk)
            svg = asEditorView(view)->renderSvg();
        if (view)
            view->release();
        skin->release();
        return svg;
    };
    const std::string inC = draw();
    ASSERT_NE(inC.find("<stop offset=\"0.6667\""), std::string::npos) << inC;
    testlocale::CommaDecimalLocale comma;
    NORRIK_SKIP_WITHOUT_COMMA_LOCALE(comma);
    EXPECT_EQ(draw(), inC);
}
