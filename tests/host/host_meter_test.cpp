// The `meter` program on real files written by the test.
#include "host/audiosource.h"
#include "host/meterapp.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace qelhost;

struct ProgramRun
{
    int status = -1;
    std::string out;
};

ProgramRun runProgram(const std::string& args)
{
    ProgramRun r;
    std::string cmd = std::string(NORRIK_METER_PATH) + " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0)
        r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// The "plain" value of one parameter in the JSON report.
double plainOf(const std::string& json, const std::string& title)
{
    auto at = json.find("\"" + title + "\": {");
    if (at == std::string::npos)
        return NAN;
    auto p = json.find("\"plain\": ", at);
    return p == std::string::npos ? NAN : std::atof(json.c_str() + p + 9);
}

class MeterProgram : public ::testing::Test
{
protected:
    std::string dir;
    void SetUp() override
    {
        char tmpl[] = "/tmp/meterhostXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

    std::string writeSine(const std::string& name, int channels, int rate, double seconds, double amp,
                          int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT)
    {
        std::string path = dir + "/" + name;
        std::vector<float> data;
        long n = std::lround(seconds * rate);
        for (long i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c)
                data.push_back(static_cast<float>(amp * std::sin(6.283185307179586 * 997.0 * i / rate)));
        SF_INFO info{};
        info.channels = channels;
        info.samplerate = rate;
        info.format = format;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        if (f) {
            sf_writef_float(f, data.data(), n);
            sf_close(f);
        }
        return path;
    }
};

TEST_F(MeterProgram, MetersAStereoWavFileAsJson)
{
    std::string wav = writeSine("tone.wav", 2, 44100, 6.0, 0.1);
    ProgramRun r = runProgram(wav + " --json");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\"sample_rate\": 44100"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"channels\": 2"), std::string::npos);
    EXPECT_NE(r.out.find("\"seconds\": 6"), std::string::npos);
    // A 997 Hz tone at -20 dBFS on both channels reads -20 LUFS.
    EXPECT_NEAR(plainOf(r.out, "Integrated"), -20.0, 0.2) << r.out;
    EXPECT_NEAR(plainOf(r.out, "Momentary"), -20.0, 0.2);
    EXPECT_NEAR(plainOf(r.out, "TruePeak"), -20.0, 0.2);
    EXPECT_EQ(plainOf(r.out, "TP-Over"), 0.0);
    EXPECT_EQ(plainOf(r.out, "IL-Over"), 1.0);
    EXPECT_NE(r.out.find("\"text\": \"00:00:06\""), std::string::npos);
}

TEST_F(MeterProgram, MonoFlacAndAiffAndBlockSizes)
{
    std::string flac = writeSine("tone.flac", 1, 48000, 4.0, 0.1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    ProgramRun r = runProgram(flac + " --json --block 64");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\"channels\": 1"), std::string::npos);
    // One channel at -20 dBFS: 3 LU below the same tone on two channels.
    EXPECT_NEAR(plainOf(r.out, "Integrated"), -23.0, 0.2) << r.out;
    std::string aiff = writeSine("tone.aiff", 2, 96000, 3.0, 0.1, SF_FORMAT_AIFF | SF_FORMAT_PCM_24);
    r = runProgram(aiff + " --block 4096");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Integrated"), std::string::npos);
    EXPECT_NE(r.out.find("96000 Hz"), std::string::npos);
}

TEST_F(MeterProgram, BuiltInProgrammeAndOptions)
{
    ProgramRun r = runProgram("--json");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\"seconds\": 20"), std::string::npos);
    EXPECT_LT(plainOf(r.out, "Integrated"), -10.0);
    r = runProgram("--svg " + dir + "/x.svg");
    EXPECT_EQ(r.status, 0) << r.out;
    std::ifstream svg(dir + "/x.svg");
    std::string first;
    std::getline(svg, first);
    EXPECT_NE(first.find("<?xml"), std::string::npos);
    r = runProgram("--svg /nonexistent-dir/x.svg");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("cannot write"), std::string::npos) << r.out;
    EXPECT_EQ(runProgram("--block 0").status, 64);
    EXPECT_EQ(runProgram("--block x").status, 64);
    EXPECT_EQ(runProgram("--frobnicate").status, 64);
    EXPECT_EQ(runProgram("a.wav b.wav").status, 64);
    EXPECT_EQ(runProgram("--help").status, 0);
}

TEST_F(MeterProgram, BadFilesGiveAClearErrorNotACrash)
{
    ProgramRun r = runProgram(dir + "/missing.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("cannot read"), std::string::npos) << r.out;
    std::ofstream(dir + "/junk.wav") << "this is not audio at all";
    r = runProgram(dir + "/junk.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("junk.wav"), std::string::npos);
    std::string wide = writeSine("six.wav", 6, 48000, 0.5, 0.1);
    r = runProgram(wide);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("mono and stereo"), std::string::npos) << r.out;
    std::string empty = writeSine("empty.wav", 2, 48000, 0.0, 0.1);
    r = runProgram(empty + " --json");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(plainOf(r.out, "Integrated"), -80.0);
}

TEST(MeterApp, MissingBundleIsReported)
{
    MeterOptions o;
    o.bundlePath = "/nonexistent/norrik.so";
    std::string out, err, notes;
    EXPECT_EQ(qelhost::runMeter(o, out, err, notes), 2);
    EXPECT_NE(err.find("not found"), std::string::npos);
}

} // namespace
