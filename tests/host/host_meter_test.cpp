// The `meter` program on real files written by the test: readings with units, several files,
// surround layouts through the bundle, and every error's message and exit status.
#include "host/audiosource.h"
#include "host/meterapp.h"
#include "host/session.h"
#include "meterrun.h"
#include "strictjson.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace qelhost;

using metertest::ProgramRun;

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

    ProgramRun run(const std::string& args, const std::string& before = "")
    {
        return metertest::runMeterProgram(args, dir + "/err", before);
    }

    // A 997 Hz sine per channel at the given dBFS (no entry: silence), with a channel map when given.
    std::string write(const std::string& name, std::vector<double> dbfs, int rate, double seconds,
                      int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT, std::vector<int> map = {})
    {
        const std::string path = dir + "/" + name;
        const int channels = static_cast<int>(dbfs.size());
        std::vector<float> data;
        const long n = std::lround(seconds * rate);
        for (long i = 0; i < n; ++i)
            for (double db : dbfs)
                data.push_back(static_cast<float>(
                    std::isnan(db) ? 0.0 : std::pow(10.0, db / 20.0) * std::sin(6.283185307179586 * 997.0 * i / rate)));
        SF_INFO info{};
        info.channels = channels;
        info.samplerate = rate;
        info.format = format;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        if (!f)
            return path;
        if (!map.empty()) {
            EXPECT_EQ(sf_command(f, SFC_SET_CHANNEL_MAP_INFO, map.data(), static_cast<int>(sizeof(int) * map.size())),
                      SF_TRUE)
                << name << " takes no channel map";
        }
        sf_writef_float(f, data.data(), n);
        sf_close(f);
        return path;
    }
};

// One parameter's entry in a JSON line.
std::string entry(const std::string& json, const std::string& title)
{
    auto at = json.find("\"" + title + "\": {");
    return at == std::string::npos ? std::string() : json.substr(at, json.find('}', at) - at + 1);
}

double plainOf(const std::string& json, const std::string& title)
{
    std::string e = entry(json, title);
    auto p = e.find("\"plain\": ");
    return p == std::string::npos ? NAN : std::atof(e.c_str() + p + 9);
}

// What the text report shows for one parameter.
std::string shown(const std::string& text, const std::string& title)
{
    auto at = text.find("\n  " + title + " ");
    if (at == std::string::npos)
        return {};
    auto from = text.find_first_not_of(' ', at + 3 + title.size());
    return text.substr(from, text.find('\n', from) - from);
}

std::vector<std::string> lines(const std::string& s)
{
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

constexpr double kSilent = NAN;

TEST_F(MeterProgram, ReadingsCarryUnitsAndNoReadingIsNullInBothOutputs)
{
    std::string tone = write("tone.wav", {-20.0, -20.0}, 44100, 6.0);
    std::string silent = write("silent.wav", {kSilent, kSilent}, 48000, 3.0);
    ProgramRun r = run(tone + " " + silent + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    auto json = lines(r.out);
    ASSERT_EQ(json.size(), 2u) << r.out; // one object per file, one per line
    for (const std::string& line : json)
        EXPECT_TRUE(jsontest::isStrictJson(line)) << line;
    EXPECT_NE(json[0].find("\"sample_rate\": 44100, \"channels\": 2, \"seconds\": 6,"), std::string::npos) << json[0];
    // A 997 Hz tone at -20 dBFS on both channels reads -20 LUFS.
    EXPECT_NEAR(plainOf(json[0], "Integrated"), -20.0, 0.1);
    EXPECT_NE(entry(json[0], "Integrated").find("\"unit\": \"LUFS\""), std::string::npos);
    EXPECT_NEAR(plainOf(json[0], "TruePeak"), -20.0, 0.2);
    EXPECT_NE(entry(json[0], "TruePeak").find("\"unit\": \"dBTP\""), std::string::npos);
    EXPECT_NE(entry(json[0], "LoudnessRange").find("\"unit\": \"LU\""), std::string::npos);
    EXPECT_EQ(entry(json[0], "Time"), "\"Time\": {\"id\": 53, \"normalized\": 0, \"plain\": 6, \"unit\": \"s\", "
                                      "\"text\": \"00:00:06\"}");
    for (const char* t : {"Momentary", "Integrated", "ShortTermMax", "TruePeak"})
        EXPECT_NE(entry(json[1], t).find("\"plain\": null"), std::string::npos) << t << ": " << json[1];
    EXPECT_EQ(plainOf(json[1], "LoudnessRange"), 0.0);

    r = run(tone + " " + silent);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string toneText = r.out.substr(0, r.out.find(silent + ": "));
    const std::string silentText = r.out.substr(toneText.size());
    EXPECT_EQ(shown(toneText, "Integrated"), "-20.0 LUFS") << r.out;
    EXPECT_EQ(shown(toneText, "TruePeak").substr(0, 5), "-20.0");
    EXPECT_EQ(shown(toneText, "TruePeak").substr(5), " dBTP");
    EXPECT_EQ(shown(toneText, "LoudnessRange").substr(shown(toneText, "LoudnessRange").find(' ')), " LU");
    EXPECT_EQ(shown(toneText, "Time"), "00:00:06");
    EXPECT_EQ(shown(silentText, "Integrated"), "--"); // no unit without a reading
    // Readings first, the controls apart after them.
    const auto controls = r.out.find("controls:");
    EXPECT_LT(r.out.find("TP-Over"), controls);
    EXPECT_GT(r.out.find("Bypass"), controls);
    EXPECT_GT(r.out.find("About"), controls);
    EXPECT_GT(r.out.find("ResetTruePeak"), controls);
}

TEST_F(MeterProgram, SurroundLayoutsAreWeightedBySpeaker)
{
    // 5.0 with L, R at -28 dBFS, C at -24 and the surrounds at -30 (weighted 1.41) reads -23.0.
    std::vector<double> five = {-28.0, -28.0, -24.0, -30.0, -30.0};
    ProgramRun r = run(write("five.wav", five, 48000, 6.0) + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(plainOf(r.out, "Integrated"), -23.0, 0.1) << r.out;
    // 5.1 labelled in the file, in another order (L R Ls Rs C LFE): the LFE at full scale counts nothing.
    const std::vector<int> order = {SF_CHANNEL_MAP_LEFT,       SF_CHANNEL_MAP_RIGHT,  SF_CHANNEL_MAP_REAR_LEFT,
                                    SF_CHANNEL_MAP_REAR_RIGHT, SF_CHANNEL_MAP_CENTER, SF_CHANNEL_MAP_LFE};
    std::string caf =
        write("six.caf", {-28.0, -28.0, -30.0, -30.0, -24.0, 0.0}, 48000, 6.0, SF_FORMAT_CAF | SF_FORMAT_FLOAT, order);
    r = run(caf + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"channels\": 6"), std::string::npos);
    EXPECT_NEAR(plainOf(r.out, "Integrated"), -23.0, 0.1) << r.out;
    // More channels than the plug-in holds, and more than its speaker arrangements name: refused in
    // the user's terms.
    for (int channels : {15, 65}) {
        const std::string many = write("many.wav", std::vector<double>(channels, -30.0), 48000, 0.2);
        r = run(many);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "meter: " + many + ": " + std::to_string(channels) + " channels: the meter takes 1 to 14\n");
    }
}

TEST_F(MeterProgram, ThePairAtTheSidesIsTheWeightedSurroundPair)
{
    // The loudness model weighs a pair between 60 and 120 degrees from the front 1.41 (+1.49 LU against
    // the same tone in the front pair) and one behind that 1.0: the sides of 7.1 and the one surround
    // pair of 5.1, whichever label it has, are weighted; the back pair of 7.1 is not. A file without
    // labels has its channels in the usual order: 7.1 and 6.1 end with the side pair.
    enum : int
    {
        L = SF_CHANNEL_MAP_LEFT,
        R = SF_CHANNEL_MAP_RIGHT,
        C = SF_CHANNEL_MAP_CENTER,
        LFE = SF_CHANNEL_MAP_LFE,
        BL = SF_CHANNEL_MAP_REAR_LEFT,
        BR = SF_CHANNEL_MAP_REAR_RIGHT,
        SL = SF_CHANNEL_MAP_SIDE_LEFT,
        SR = SF_CHANNEL_MAP_SIDE_RIGHT
    };
    struct Layout
    {
        const char* name;
        std::vector<int> map;
        int pair; // the pair's first channel
        double weight;
        bool labelled = true; // else a plain WAV in the usual order of its channel count
    };
    const Layout layouts[] = {{"sides51", {L, R, C, LFE, SL, SR}, 4, 1.41},
                              {"backs51", {L, R, C, LFE, BL, BR}, 4, 1.41},
                              {"sides71", {L, R, C, LFE, BL, BR, SL, SR}, 6, 1.41},
                              {"backs71", {L, R, C, LFE, BL, BR, SL, SR}, 4, 1.0},
                              {"plainsides71", {L, R, C, LFE, BL, BR, SL, SR}, 6, 1.41, false},
                              {"plainbacks71", {L, R, C, LFE, BL, BR, SL, SR}, 4, 1.0, false},
                              {"plainsides61", {L, R, C, LFE, SF_CHANNEL_MAP_REAR_CENTER, SL, SR}, 5, 1.41, false}};
    // One run per layout: each run stays short, well inside the bound, in a sanitizer build too.
    for (const Layout& l : layouts) {
        std::vector<double> front(l.map.size(), kSilent), pair(l.map.size(), kSilent);
        front[0] = front[1] = pair[static_cast<std::size_t>(l.pair)] = pair[static_cast<std::size_t>(l.pair) + 1] =
            -26.0;
        const int format = (l.labelled ? SF_FORMAT_WAVEX : SF_FORMAT_WAV) | SF_FORMAT_FLOAT;
        const std::vector<int> map = l.labelled ? l.map : std::vector<int>{};
        std::string files;
        for (const auto& [suffix, levels] : {std::pair{"front.wav", front}, std::pair{"pair.wav", pair}})
            files.append(" ").append(write(std::string(l.name) + suffix, levels, 48000, 3.0, format, map));
        ProgramRun r = run(files + " --json");
        ASSERT_EQ(r.status, 0) << r.err;
        const auto json = lines(r.out);
        ASSERT_EQ(json.size(), 2u) << r.out;
        EXPECT_NEAR(plainOf(json[1], "Integrated") - plainOf(json[0], "Integrated"), 10.0 * std::log10(l.weight), 0.02)
            << l.name;
    }
}

TEST_F(MeterProgram, FormatsStandardInputAndBlockSizes)
{
    std::string flac = write("tone.flac", {-20.0}, 48000, 4.0, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    ProgramRun r = run(flac + " --json --block 64");
    ASSERT_EQ(r.status, 0) << r.err;
    // One channel at -20 dBFS: 3 LU below the same tone on two channels.
    EXPECT_NEAR(plainOf(r.out, "Integrated"), -23.0, 0.1) << r.out;
    r = run(flac + " --json --block 65536"); // the largest block: longer than the file
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(plainOf(r.out, "Integrated"), -23.0, 0.1) << r.out;
    std::string aiff = write("tone.aiff", {-20.0, -20.0}, 96000, 3.0, SF_FORMAT_AIFF | SF_FORMAT_PCM_24);
    r = run("- --json --block 4096 <" + aiff);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("{\"file\": \"-\", \"sample_rate\": 96000"), std::string::npos) << r.out;
    EXPECT_NEAR(plainOf(r.out, "Integrated"), -20.0, 0.1) << r.out;
    // A pipe is copied into the folder TMPDIR names, else into /tmp.
    r = run("- --json", "cat " + aiff + " | TMPDIR=" + dir + " ");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(plainOf(r.out, "Integrated"), -20.0, 0.1) << r.out;
    EXPECT_EQ(run("- --json", "cat " + aiff + " | TMPDIR= ").status, 0);
    r = run("- --json", "cat " + aiff + " | TMPDIR=" + dir + "/none ");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot make a temporary copy in " + dir + "/none: No such file"), std::string::npos) << r.err;
    r = run("--help");
    EXPECT_EQ(r.status, 0);
    for (const char* format : {"WAV", "RF64", "W64", "AIFF", "CAF", "FLAC", "Opus", "MP3", "'-'", "OUT-1.svg"})
        EXPECT_NE(r.out.find(format), std::string::npos) << format;
    r = run("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("meter ", 0), 0u) << r.out;
}

TEST_F(MeterProgram, AStandardInputCopyThatCannotBeWrittenFailsAsOnAFullDiskNamingItsFolder)
{
    const std::string aiff = write("tone.aiff", {-20.0, -20.0}, 48000, 1.0, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    const std::string tmp = dir + "/tmp";
    ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
    // Files of at most 2 or 4 KiB (512- or 1024-byte blocks): the copy fails rather than SIGXFSZ
    // end meter, and leaves nothing behind.
    ProgramRun r = run("-", "ulimit -f 4; cat " + aiff + " | TMPDIR=" + tmp + " ");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "meter: cannot read -: cannot make a temporary copy in " + tmp + ": File too large\n");
    EXPECT_TRUE(std::filesystem::is_empty(tmp));
    // A full folder, where a small file system can be mounted in a namespace of the test's own.
    const std::string full = dir + "/full";
    ASSERT_EQ(mkdir(full.c_str(), 0700), 0);
    const std::string mountFull = "unshare -rm sh -c 'mount -t tmpfs -o size=16k tmpfs " + full;
    if (std::system((mountFull + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "no tmpfs of the test's own: the full folder is not tried";
    r = run("-", "cat " + aiff + " | " + mountFull + " && TMPDIR=" + full + " exec \"$0\" \"$@\"' ");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "meter: cannot read -: cannot make a temporary copy in " + full + ": No space left on device\n");
}

TEST_F(MeterProgram, StandardInputClosedOrEmptyIsSaidSo)
{
    const std::string tone = write("tone.wav", {-20.0, -20.0}, 48000, 1.0);
    // Closed, after a file that took its descriptor while it was read.
    ProgramRun r = run(tone + " - <&-");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("tone.wav: 48000 Hz, 2 channels"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "meter: cannot read -: standard input is closed\n");
    const std::string empty = dir + "/empty";
    std::ofstream{empty};
    for (const auto& [args, before] : {std::pair<std::string, std::string>{"- </dev/null", ""},
                                       {"- <" + empty, ""},
                                       {"-", "true | "},
                                       {"- -", "cat " + tone + " | "}}) {
        r = run(args, before);
        EXPECT_EQ(r.status, 1) << before << args;
        EXPECT_NE(r.err.find("meter: cannot read -: standard input is empty\n"), std::string::npos)
            << before << args << ": " << r.err;
    }
    // With standard output closed the copy does not take its place: the report is lost, and said so.
    r = run("- >&-", "cat " + tone + " | ");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "meter: cannot write the report: Bad file descriptor\n");
}

TEST_F(MeterProgram, EachFailureSaysWhatAndExitsNonZero)
{
    std::string tone = write("tone.wav", {-20.0, -20.0}, 48000, 1.0);
    // Several files: the good ones are reported, the bad one named, and the run fails.
    ProgramRun r = run(tone + " " + dir + "/missing.wav " + tone + " --json");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.out).size(), 2u) << r.out;
    EXPECT_NE(r.err.find("cannot read " + dir + "/missing.wav: "), std::string::npos) << r.err;
    // Files failing in different ways: the most severe status, in either order.
    const std::string refused = write("refused.wav", {-20.0}, 4000, 0.1);
    EXPECT_EQ(run(dir + "/missing.wav " + refused).status, 2);
    EXPECT_EQ(run(refused + " " + dir + "/missing.wav").status, 2);
    r = run("\"\"");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("empty file name"), std::string::npos) << r.err;
    r = run(dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(dir + ": it is a directory"), std::string::npos) << r.err;
    std::ofstream(dir + "/junk.wav") << "this is not audio at all";
    r = run(dir + "/junk.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read " + dir + "/junk.wav: "), std::string::npos) << r.err;
    r = run(tone + " --svg " + dir + "/nowhere/x.svg");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write " + dir + "/nowhere/x.svg: No such file or directory"), std::string::npos)
        << r.err;
    for (const char* bad : {"--block 0", "--block x", "--block 65537", "--block 512x", "--frobnicate", "--svg"})
        EXPECT_EQ(run(tone + " " + bad).status, 64) << bad;
    r = run(tone + " --block 65537");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("meter: --block takes a whole number from 1 to 65536, not '65537'\n", 0), 0u) << r.err;
    r = run("", "true | ");
    EXPECT_EQ(r.status, 0); // no file: the built-in programme, standard input untouched
}

TEST_F(MeterProgram, DamagedFilesAreMeteredWithAWarning)
{
    // A header claiming twice the data there is.
    std::string cut = write("cut.wav", {-20.0, -20.0}, 48000, 2.0, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ASSERT_EQ(truncate(cut.c_str(), 44 + 48000 * 4), 0);
    ProgramRun r = run(cut);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("cut.wav: truncated: 96000 frames expected, 48000 read"), std::string::npos) << r.err;
    // Non-finite samples: counted, metered as silence.
    std::vector<float> v(48000 * 2, 0.25f);
    v[10] = NAN;
    v[99] = INFINITY;
    v[1000] = -INFINITY;
    std::string error;
    ASSERT_TRUE(writeWavFile(dir + "/nan.wav", v, 2, 48000, error)) << error;
    r = run(dir + "/nan.wav");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("nan.wav: 3 non-finite or oversized samples"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("truncated"), std::string::npos);
}

TEST_F(MeterProgram, FilesEndingBeforeTheirAudioOrWithoutAnyAreWarnedOf)
{
    // Cut right after the header, inside the header's size of the audio, and an AIFF cut short.
    const std::string wav = write("after.wav", {-20.0, -20.0}, 48000, 1.0, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const std::string aiff = write("cut.aiff", {-20.0, -20.0}, 48000, 1.0, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    struct stat st
    {};
    ASSERT_EQ(stat(wav.c_str(), &st), 0);
    const off_t header = st.st_size - 48000 * 4;
    ASSERT_EQ(truncate(wav.c_str(), header), 0);
    ASSERT_EQ(std::system(("head -c " + std::to_string(header - 2) + " " + wav + " >" + dir + "/inside.wav").c_str()),
              0);
    ASSERT_EQ(stat(aiff.c_str(), &st), 0);
    ASSERT_EQ(truncate(aiff.c_str(), st.st_size - 24000 * 4), 0);
    ProgramRun r = run(wav + " " + dir + "/inside.wav " + aiff);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("after.wav: truncated: 48000 frames expected, 0 read"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("inside.wav: truncated: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("cut.aiff: truncated: 48000 frames expected, 24000 read"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("no audio"), std::string::npos) << r.err;

    // No frames at all: 0 s everywhere, and a word why.
    const std::string empty = write("empty.wav", {-20.0, -20.0}, 48000, 0.0);
    r = run(empty);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "meter: warning: " + empty + ": the file holds no audio\n");
    EXPECT_NE(r.out.find(": 48000 Hz, 2 channels, 0.00 s\n"), std::string::npos) << r.out;
    EXPECT_EQ(shown(r.out, "Time"), "00:00:00") << r.out;
    r = run(empty + " --json");
    EXPECT_EQ(entry(r.out, "Time"), "\"Time\": {\"id\": 53, \"normalized\": 0, \"plain\": 0, \"unit\": \"s\", "
                                    "\"text\": \"00:00:00\"}");

    // Samples beyond the largest the plug-in measures are measured as silence, like non-finite ones.
    std::vector<float> v(4800 * 2, 0.25f);
    v[10] = 2e15f;
    v[11] = -1e30f;
    v[12] = NAN;
    v[13] = 1e15f; // the largest measured
    std::string error;
    ASSERT_TRUE(writeWavFile(dir + "/huge.wav", v, 2, 48000, error)) << error;
    r = run(dir + "/huge.wav");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("huge.wav: 3 non-finite or oversized samples (NaN, infinity or magnitude above 1e+15), "
                         "metered as silence"),
              std::string::npos)
        << r.err;
}

TEST_F(MeterProgram, EveryContainerThatStatesALengthWarnsWhenCut)
{
    // One second of 16-bit stereo with its last half second cut off.
    std::string files;
    for (const auto& [name, format] :
         std::initializer_list<std::pair<const char*, int>>{{"cut.wav", SF_FORMAT_WAV},
                                                            {"cut.rf64", SF_FORMAT_RF64},
                                                            {"cut.w64", SF_FORMAT_W64},
                                                            {"cut.aiff", SF_FORMAT_AIFF},
                                                            {"cut.au", SF_FORMAT_AU},
                                                            {"cut.flac", SF_FORMAT_FLAC},
                                                            {"cut.rifx", SF_FORMAT_WAV | SF_ENDIAN_BIG}}) {
        const std::string path = write(name, {-20.0, -20.0}, 48000, 1.0, format | SF_FORMAT_PCM_16);
        struct stat st
        {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        ASSERT_EQ(truncate(path.c_str(), format == SF_FORMAT_FLAC ? st.st_size / 2 : st.st_size - 24000 * 4), 0);
        files += " " + path;
    }
    // An RF64 whose 64-bit sizes claim 2^62 bytes of audio, and a WAVE streamed with its size left open.
    const std::string huge = write("huge.rf64", {-20.0, -20.0}, 48000, 1.0, SF_FORMAT_RF64 | SF_FORMAT_PCM_16);
    const std::string open = write("open.wav", {-20.0, -20.0}, 48000, 1.0, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    {
        std::fstream f(huge, std::ios::in | std::ios::out | std::ios::binary);
        char id[4] = {};
        f.seekg(12).read(id, 4);
        ASSERT_EQ(std::string(id, 4), "ds64"); // its body: the sizes of the whole file, then of the audio
        f.seekp(20 + 8).write("\0\0\0\0\0\0\0\x40", 8);
        std::fstream w(open, std::ios::in | std::ios::out | std::ios::binary);
        w.seekg(36).read(id, 4);
        ASSERT_EQ(std::string(id, 4), "data");
        w.seekp(40).write("\xFF\xFF\xFF\xFF", 4);
    }
    ProgramRun r = run(files + " " + huge + " " + open + " --json");
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* name : {"cut.wav", "cut.rf64", "cut.w64", "cut.aiff", "cut.au", "cut.rifx"})
        EXPECT_NE(r.err.find(std::string(name) + ": truncated: 48000 frames expected, 24000 read\n"), std::string::npos)
            << name << ": " << r.err;
    EXPECT_NE(r.err.find("cut.flac: truncated: 48000 frames expected, "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("huge.rf64: truncated: 1152921504606846976 frames expected, 48000 read\n"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("open.wav"), std::string::npos) << r.err;
    const auto json = lines(r.out);
    ASSERT_EQ(json.size(), 9u) << r.out;
    for (std::size_t i : {7, 8}) {
        EXPECT_NE(json[i].find("\"seconds\": 1,"), std::string::npos) << json[i];
        EXPECT_NEAR(plainOf(json[i], "Integrated"), -20.0, 0.1) << json[i];
    }
}

TEST_F(MeterProgram, AiffFrameCountsOtherThanTheSoundsAreWarnedOf)
{
    // One second of audio whose common chunk counts more frames than the sound chunk holds: in plain
    // AIFF, in AIFC (float samples) and with the common chunk after the sound; then fewer.
    auto countFrames = [](const std::string& path, std::uint32_t frames) {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        const auto comm = bytes.find("COMM");
        ASSERT_NE(comm, std::string::npos) << path;
        const char big[4] = {static_cast<char>(frames >> 24), static_cast<char>(frames >> 16),
                             static_cast<char>(frames >> 8), static_cast<char>(frames)};
        f.seekp(static_cast<std::streamoff>(comm + 10)).write(big, 4); // after the id, size and channels
    };
    const std::string twice = write("twice.aiff", {-20.0, -20.0}, 48000, 1.0, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    const std::string open = write("open.aiff", {-20.0, -20.0}, 48000, 1.0, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    const std::string aifc = write("float.aifc", {-20.0, -20.0}, 48000, 1.0, SF_FORMAT_AIFF | SF_FORMAT_FLOAT);
    const std::string later = write("later.aiff", {-20.0, -20.0}, 48000, 1.0, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    countFrames(twice, 96000);
    countFrames(open, 0xFFFFFFFFu);
    countFrames(aifc, 96000);
    countFrames(later, 96000);
    // Fewer frames counted than the sound holds: the whole sound is metered, and said so.
    const std::string fewer = write("fewer.aiff", {-20.0, -20.0}, 48000, 1.0, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    const std::string none = write("none.aiff", {-20.0, -20.0}, 48000, 1.0, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    countFrames(fewer, 24000);
    countFrames(none, 0);
    {
        // FORM header, common chunk, sound chunk: the common chunk moved to the end.
        std::ifstream in(later, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        ASSERT_EQ(bytes.substr(12, 4), "COMM");
        const std::string common = bytes.substr(12, 8 + 18);
        ASSERT_EQ(bytes.substr(12 + common.size(), 4), "SSND");
        std::ofstream(later, std::ios::binary | std::ios::trunc)
            << bytes.substr(0, 12) + bytes.substr(12 + common.size()) + common;
    }
    ProgramRun r = run(twice + " " + open + " " + aifc + " " + later + " " + fewer + " " + none + " --json");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "meter: warning: " + twice + ": truncated: 96000 frames expected, 48000 read\n" +
                         "meter: warning: " + open + ": truncated: 4294967295 frames expected, 48000 read\n" +
                         "meter: warning: " + aifc + ": truncated: 96000 frames expected, 48000 read\n" +
                         "meter: warning: " + later + ": truncated: 96000 frames expected, 48000 read\n" +
                         "meter: warning: " + fewer +
                         ": the header counts 24000 frames but the sound holds 48000: all 48000 are metered\n" +
                         "meter: warning: " + none +
                         ": the header counts 0 frames but the sound holds 48000: all 48000 are metered\n");
    const auto json = lines(r.out);
    ASSERT_EQ(json.size(), 6u) << r.out;
    for (const std::string& line : json) {
        EXPECT_NE(line.find("\"seconds\": 1,"), std::string::npos) << line;
        EXPECT_NEAR(plainOf(line, "Integrated"), -20.0, 0.2) << line;
    }
}

TEST_F(MeterProgram, ControlCharactersInNamesAreEscapedOnTheTerminal)
{
    // A name with an escape sequence and a newline, found through the shell's glob: the report's
    // header and each message stay one line, and the terminal is sent no control character.
    const std::string cut =
        write("esc\x1b[31m\nname.wav", {-20.0, -20.0}, 48000, 1.0, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ASSERT_EQ(truncate(cut.c_str(), 44 + 24000 * 4), 0);
    ASSERT_EQ(mkdir((dir + "/fold\x1b\ner").c_str(), 0700), 0);
    const std::string shown = dir + "/esc\\x1b[31m\\nname.wav";
    ProgramRun r = run(dir + "/esc*.wav " + dir + "/fold*");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "meter: warning: " + shown + ": truncated: 48000 frames expected, 24000 read\n" +
                         "meter: cannot read " + dir + "/fold\\x1b\\ner: it is a directory\n");
    EXPECT_EQ(lines(r.out).at(0), shown + ": 48000 Hz, 2 channels, 0.50 s") << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    // Options are named as given, escaped the same way.
    r = run("--frob\x1b");
    EXPECT_EQ(r.status, 64);
    EXPECT_EQ(r.err.rfind("meter: unknown option --frob\\x1b\n", 0), 0u) << r.err;
}

TEST_F(MeterProgram, LostOutputFailsWithAMessage)
{
    // A report nobody can read is a failure: a full disk, a closed standard output.
    const std::string tone = write("tone.wav", {-20.0, -20.0}, 48000, 1.0);
    for (const char* form : {" --json", ""}) {
        ProgramRun r = run(tone + form + " >/dev/full");
        EXPECT_EQ(r.status, 1) << form;
        EXPECT_EQ(r.err, "meter: cannot write the report: No space left on device\n") << form;
    }
    ProgramRun r = run(tone + " >&-");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "meter: cannot write the report: Bad file descriptor\n");
    // The more severe status stays: a refused file beside the lost report, said once.
    const std::string refused = write("refused.wav", {-20.0}, 4000, 0.1);
    r = run(tone + " " + refused + " " + tone + " >/dev/full");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "meter: " + refused + ": 4000 Hz: the sample rate is outside 8-384 kHz\n" +
                         "meter: cannot write the report: No space left on device\n");
    r = run("--help >/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "meter: cannot write to standard output: No space left on device\n");
    // A reader gone (`| head -c1`): SIGPIPE ends meter as it ends filters, the shell showing 141;
    // where it is ignored, the lost report fails with a message.
    for (const bool ignored : {false, true}) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        close(fds[0]);
        const std::string errPath = dir + "/err";
        const std::string cmd = std::string(ignored ? "trap '' PIPE; " : "") + "exec " + NORRIK_METER_PATH + " " + tone;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        const pid_t pid = metertest::spawnGroup(cmd, &actions, &attributes);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        close(fds[1]);
        ASSERT_GT(pid, 0);
        const testguard::Ending end = testguard::waitGuarded(pid, -1, nullptr, metertest::kMeterCpuMs);
        ASSERT_EQ(end.hung, "") << "meter hung and was killed: " << cmd;
        const int st = end.status;
        std::ifstream e(errPath);
        const std::string said((std::istreambuf_iterator<char>(e)), std::istreambuf_iterator<char>());
        // As a shell shows it.
        EXPECT_EQ(metertest::shellStatus(st), ignored ? 1 : 128 + SIGPIPE) << said;
        EXPECT_EQ(said, ignored ? "meter: cannot write the report: Broken pipe\n" : "");
    }
}

// A file is warned truncated only against a length its header states: not a headerless one, whose
// length libsndfile takes from its size (headerless AU, read past 12 bytes, is 12 frames short of
// it), while a WAV cut short still is, named or through standard input.
TEST_F(MeterProgram, OnlyALengthAHeaderStatesIsWarnedOfAsTruncated)
{
    const std::string au = write("raw.au", {-20.0}, 8000, 2.0, SF_FORMAT_RAW | SF_FORMAT_ULAW);
    const std::string snd = write("raw.snd", {-20.0}, 8000, 2.0, SF_FORMAT_RAW | SF_FORMAT_ULAW);
    const std::string cut = write("cut.wav", {-20.0, -20.0}, 48000, 2.0, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ASSERT_EQ(truncate(cut.c_str(), 44 + 48000 * 4), 0);
    ProgramRun r = run(au + " " + snd + " " + cut);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "meter: warning: " + cut + ": truncated: 96000 frames expected, 48000 read\n");
    EXPECT_NE(r.out.find(au + ": 8000 Hz, 1 channel, 2.00 s\n"), std::string::npos) << r.out;
    for (const std::string& before : {std::string(), "cat " + cut + " | "}) {
        r = run(before.empty() ? "- <" + cut : "-", before);
        EXPECT_EQ(r.err, "meter: warning: -: truncated: 96000 frames expected, 48000 read\n") << before;
    }
}

// MPEG audio states its length in a Xing or Info header's frame count; without one libsndfile
// estimates it from the file's size, no promise: a whole stream of constant bitrate without a count
// warns nothing, named or through standard input, nor one cut short, while a counted one cut short
// is warned of.
TEST_F(MeterProgram, MpegAudioIsWarnedOfAsTruncatedOnlyAgainstTheFramesItCounts)
{
    const auto writeMpeg = [this](const std::string& name, bool constant, int rate = 44100, int channels = 2) {
        const std::string path = dir + "/" + name;
        SF_INFO info{};
        info.channels = channels;
        info.samplerate = rate;
        info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        if (!f)
            return false;
        int mode = constant ? SF_BITRATE_MODE_CONSTANT : SF_BITRATE_MODE_VARIABLE;
        sf_command(f, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
        std::vector<float> samples(static_cast<std::size_t>(2 * rate * channels));
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = 0.25f * static_cast<float>(std::sin(0.05 * static_cast<double>(i / 2)));
        sf_writef_float(f, samples.data(), 2 * rate);
        sf_close(f);
        return true;
    };
    if (!writeMpeg("counted.mp3", false) || !writeMpeg("estimated.mp3", true))
        GTEST_SKIP() << "the installed libsndfile writes no MPEG audio";
    // The count stands after side information as long as the version and channels make it: MPEG-1
    // mono, MPEG-2 and MPEG-2.5, each whole and cut short.
    for (const auto& [rate, channels] : {std::pair{44100, 1}, {22050, 2}, {22050, 1}, {8000, 2}}) {
        const std::string what = std::to_string(rate) + " Hz, " + std::to_string(channels) + " channels";
        ASSERT_TRUE(writeMpeg("layout.mp3", false, rate, channels)) << what;
        const std::string bytes = wholefile::read(dir + "/layout.mp3");
        std::ofstream(dir + "/cut.mp3", std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() / 2);
        EXPECT_EQ(run(dir + "/layout.mp3").err, "") << what;
        EXPECT_NE(run(dir + "/cut.mp3").err.find(": truncated: " + std::to_string(2 * rate) + " frames expected"),
                  std::string::npos)
            << what;
    }
    // The count blanked: its first frame is then one of silence.
    std::string estimated = wholefile::read(dir + "/estimated.mp3");
    const auto tag = std::min(estimated.find("Info"), estimated.find("Xing"));
    ASSERT_LT(tag, 64u) << "no frame count written";
    estimated.replace(tag, 4, 4, '\0');
    std::ofstream(dir + "/estimated.mp3", std::ios::binary | std::ios::trunc) << estimated;
    SF_INFO info{};
    SNDFILE* f = sf_open((dir + "/estimated.mp3").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(static_cast<std::size_t>(2 * info.frames + 2));
    const sf_count_t frames = sf_readf_float(f, samples.data(), info.frames + 1);
    sf_close(f);
    ASSERT_GT(info.frames, frames) << "libsndfile's estimate is not above the frames it reads";

    // Each as written, after an ID3v2 tag as large as a picture in it makes it (its size in 7-bit
    // bytes), and after other bytes (then read by its name alone).
    constexpr unsigned kTag = 100000;
    const std::string id3 =
        std::string("ID3\x03\0\0", 6) +
        std::string{char(kTag >> 21 & 0x7F), char(kTag >> 14 & 0x7F), char(kTag >> 7 & 0x7F), char(kTag & 0x7F)} +
        std::string(kTag, '\0');
    for (const char* name : {"counted.mp3", "estimated.mp3"}) {
        const bool stated = name == std::string("counted.mp3");
        const std::string bytes = wholefile::read(dir + "/" + name);
        for (const std::string& before : {std::string(), id3, std::string("junk")}) {
            const std::string whole = dir + "/whole.mp3", cut = dir + "/cut.mp3";
            std::ofstream(whole, std::ios::binary | std::ios::trunc) << before << bytes;
            std::ofstream(cut, std::ios::binary | std::ios::trunc) << before << bytes.substr(0, bytes.size() / 2);
            const std::string what = std::string(name) + " after " + std::to_string(before.size()) + " bytes";
            std::vector<std::pair<std::string, std::string>> ways = {{whole, ""}};
            if (before != "junk")
                ways.insert(ways.end(), {{"- <" + whole, ""}, {"-", "cat " + whole + " | "}});
            for (const auto& [args, pipe] : ways) {
                const ProgramRun r = run(args, pipe);
                EXPECT_EQ(r.status, 0) << what << ": " << pipe << args << ": " << r.err;
                EXPECT_EQ(r.err, "") << what << ": " << pipe << args;
            }
            for (const std::string& args : {cut, "- <" + cut}) {
                if (before == "junk" && args != cut)
                    continue;
                const ProgramRun r = run(args);
                EXPECT_EQ(r.status, 0) << what << ": " << r.err;
                EXPECT_EQ(r.err.find(": truncated: ") != std::string::npos, stated)
                    << what << ", cut: " << args << ": " << r.err;
            }
        }
    }
}

// Standard input a program before meter has read into is read from where it stands, as a file
// copied from there: the file after other bytes reads as the file itself.
TEST_F(MeterProgram, StandardInputIsReadFromWhereItStands)
{
    const std::string whole = write("whole.wav", {-20.0, -26.0}, 48000, 1.0);
    std::ofstream(dir + "/after.wav", std::ios::binary) << "12345678" << wholefile::read(whole);
    const ProgramRun named = run(whole + " --json");
    ASSERT_EQ(named.status, 0) << named.err;
    const ProgramRun r = run("--json -; } <" + dir + "/after.wav", "{ dd bs=8 count=1 of=/dev/null 2>/dev/null; ");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.substr(r.out.find("\"sample_rate\"")), named.out.substr(named.out.find("\"sample_rate\"")));
}

TEST_F(MeterProgram, APipeReadsAsTheFileDoes)
{
    const std::string flac = write("tone.flac", {-20.0, -26.0}, 44100, 3.0, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    const std::string wav = write("cut.wav", {-20.0, -26.0}, 44100, 3.0, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ASSERT_EQ(truncate(wav.c_str(), 44 + 44100 * 4), 0);
    for (const std::string& path : {flac, wav}) {
        const ProgramRun file = run(path + " --json");
        ASSERT_EQ(file.status, 0) << file.err;
        const ProgramRun piped = run("- --json", "cat " + path + " | ");
        ASSERT_EQ(piped.status, 0) << piped.err;
        // The same readings and warnings, under the name "-".
        const auto after = [](const std::string& s, const std::string& from) { return s.substr(s.find(from)); };
        EXPECT_EQ(after(piped.out, "\"sample_rate\""), after(file.out, "\"sample_rate\"")) << piped.out;
        EXPECT_EQ(piped.out.rfind("{\"file\": \"-\",", 0), 0u) << piped.out;
        EXPECT_EQ(piped.err, file.err.empty() ? "" : "meter: warning: -" + after(file.err, ": truncated"));
    }
}

TEST_F(MeterProgram, SeveralFilesGiveOnePictureEach)
{
    const std::string loud = write("loud.wav", {-10.0, -10.0}, 48000, 2.0);
    const std::string quiet = write("quiet.wav", {-40.0, -40.0}, 48000, 2.0);
    ProgramRun r = run(loud + " --svg " + dir + "/loud.svg");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string loudPicture = wholefile::read(dir + "/loud.svg");
    ASSERT_NE(loudPicture.find("<svg"), std::string::npos);
    // Numbered by the file's place, a file that cannot be read leaving its number out.
    r = run(loud + " " + dir + "/missing.wav " + quiet + " --svg " + dir + "/all.svg");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(wholefile::read(dir + "/all-1.svg") == loudPicture);
    EXPECT_FALSE(std::ifstream(dir + "/all-2.svg"));
    EXPECT_FALSE(std::ifstream(dir + "/all.svg"));
    const std::string quietPicture = wholefile::read(dir + "/all-3.svg");
    EXPECT_NE(quietPicture.find("<svg"), std::string::npos);
    EXPECT_FALSE(quietPicture == loudPicture);
    // A name without an extension takes the number at its end.
    r = run(loud + " " + quiet + " --svg " + dir + "/pictures.d/all");
    EXPECT_EQ(r.status, 1); // no such folder
    ASSERT_EQ(mkdir((dir + "/pictures.d").c_str(), 0700), 0);
    r = run(loud + " " + quiet + " --svg " + dir + "/pictures.d/all");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(wholefile::read(dir + "/pictures.d/all-1") == loudPicture);
    EXPECT_TRUE(wholefile::read(dir + "/pictures.d/all-2") == quietPicture);
}

// How many objects the process has unloaded so far.
unsigned long long unloads()
{
    unsigned long long n = 0;
    dl_iterate_phdr(
        [](dl_phdr_info* object, std::size_t, void* to) {
            *static_cast<unsigned long long*>(to) = object->dlpi_subs;
            return 1;
        },
        &n);
    return n;
}

// One load of the bundle serves every file and stays to the end of the process: exit-time handlers
// the bundle leaves would otherwise run against unmapped code.
TEST_F(MeterProgram, OneLoadOfTheBundleServesEveryFileAndStaysToTheEnd)
{
    MeterOptions o;
    o.bundlePath = NORRIK_BUNDLE_PATH;
    o.files = {write("two.wav", {-20.0, -26.0}, 48000, 0.5), write("one.wav", {-30.0}, 44100, 0.5)};
    std::vector<unsigned long long> unloadsAtSetUp;
    o.onSetUp = [&unloadsAtSetUp](Session&) { unloadsAtSetUp.push_back(unloads()); };
    std::string err;
    ASSERT_EQ(runMeter(
                  o, [](const std::string&) {}, [&err](std::string_view s) { err += s; }),
              kMeterOk)
        << err;
    ASSERT_EQ(unloadsAtSetUp.size(), 2u);
    EXPECT_EQ(unloadsAtSetUp[1], unloadsAtSetUp[0]) << "the first file's tear-down unloaded the bundle";
    void* still = dlopen(NORRIK_BUNDLE_PATH, RTLD_LAZY | RTLD_NOLOAD);
    EXPECT_NE(still, nullptr) << "the last file's tear-down unloaded the bundle";
    if (still)
        dlclose(still);
}

TEST_F(MeterProgram, MemoryHandedOutDirtyReadsAndDrawsAsClean)
{
    // The meter's stores and scratch are not zeroed: each is written before it is read. With every
    // block the C library hands out filled with 0x7f bytes (a float near its largest), and file
    // after file in memory the one before left, the readings and pictures are those of a run
    // without. (A sanitizer's allocator takes no such setting: there the runs are alike anyway.)
    const std::string files = write("six.wav", {-20.0, -26.0, kSilent, -30.0, -23.0, -40.0}, 48000, 2.5) + " " +
                              write("two.wav", {-12.0, -18.0}, 44100, 1.5) + " " +
                              write("one.wav", {-30.0}, 96000, 1.0);
    for (const int block : {512, 4096, 65536}) {
        SCOPED_TRACE(testing::Message() << "block " << block);
        const std::string args = files + " --json --block " + std::to_string(block) + " --svg " + dir;
        const ProgramRun clean = run(args + "/clean.svg");
        ASSERT_EQ(clean.status, 0) << clean.err;
        const ProgramRun dirty = run(args + "/dirty.svg", "GLIBC_TUNABLES=glibc.malloc.perturb=128 ");
        ASSERT_EQ(dirty.status, 0) << dirty.err;
        EXPECT_EQ(dirty.out, clean.out);
        for (const char* n : {"1", "2", "3"})
            EXPECT_TRUE(wholefile::read(dir + "/dirty-" + n + ".svg") == wholefile::read(dir + "/clean-" + n + ".svg"))
                << "picture " << n;
    }
}

TEST_F(MeterProgram, APictureReplacesOnlyAnEarlierPicture)
{
    const std::string a = write("a.wav", {-20.0, -20.0}, 48000, 0.5);
    const std::string b = write("b.wav", {-30.0, -30.0}, 48000, 0.5);
    const std::string audio = wholefile::read(a);
    std::ofstream(dir + "/p-2.wav", std::ios::binary) << audio;
    std::ofstream(dir + "/page-1.svg") << "<!DOCTYPE html>\n<html><body><svg width=\"1\"/></body></html>\n";
    // A name meant as a file, audio under a picture's number, a page named as a picture: refused
    // before anything is metered or written, each checked by what it holds.
    const std::pair<std::string, std::string> refused[] = {{"--svg " + a + " " + b, a},
                                                           {"--svg " + a, a},
                                                           {b + " " + b + " --svg " + dir + "/p.wav", dir + "/p-2.wav"},
                                                           {b + " --svg " + dir + "/page-1.svg", dir + "/page-1.svg"}};
    for (const auto& [args, over] : refused) {
        const ProgramRun r = run(args);
        EXPECT_EQ(r.status, 64) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err,
                  "meter: --svg: will not write the picture over " + over + ": it exists and is not an SVG picture\n")
            << args;
    }
    EXPECT_TRUE(wholefile::read(a) == audio && wholefile::read(dir + "/p-2.wav") == audio);
    EXPECT_FALSE(std::ifstream(dir + "/p-1.wav"));
    // A picture of an earlier run, one written otherwise (a prolog, a prefix) and an empty file are
    // replaced.
    ASSERT_EQ(run(a + " --svg " + dir + "/ok-1.svg").status, 0);
    std::ofstream(dir + "/ok-2.svg") << "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!-- drawn by hand -->\n"
                                        "<!DOCTYPE svg:svg [ <!ENTITY arrow \"->\"> ]>\n"
                                        "<svg:svg xmlns:svg=\"http://www.w3.org/2000/svg\"/>\n";
    std::ofstream(dir + "/ok-3.svg").flush();
    const ProgramRun r = run(b + " " + b + " " + b + " --svg " + dir + "/ok.svg");
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* n : {"1", "2", "3"}) {
        const std::string picture = wholefile::read(dir + "/ok-" + n + ".svg");
        EXPECT_NE(picture.find("data-view=\"AudioPlugSmallBigMeter\""), std::string::npos) << n;
        EXPECT_EQ(picture, wholefile::read(dir + "/ok-1.svg")) << n;
    }
}

TEST_F(MeterProgram, FileNamesThatAreNotUtf8GiveValidJson)
{
    // A Latin-1 e acute, a control character and a u umlaut in UTF-8, found through the shell's glob.
    write("caf\xE9\x01 \xC3\xBC.wav", {-20.0, -20.0}, 48000, 1.0);
    ProgramRun r = run(dir + "/caf*.wav --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(jsontest::isStrictJson(r.out.substr(0, r.out.size() - 1))) << r.out;
    EXPECT_NE(r.out.find("/caf\xEF\xBF\xBD\\u0001 \xC3\xBC.wav\", "), std::string::npos) << r.out;
}

TEST_F(MeterProgram, ARateThePlugInRefusesIsReportedNotWaitedOn)
{
    // A 2 Hz header: the plug-in refuses the set-up (and a plug-in that stopped would be reported).
    std::vector<float> v(400, 0.5f);
    std::string error;
    ASSERT_TRUE(writeWavFile(dir + "/slow.wav", v, 1, 2, error)) << error;
    ProgramRun r = run(dir + "/slow.wav");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("slow.wav: 2 Hz: the sample rate is outside 8-384 kHz"), std::string::npos) << r.err;
    for (int rate : {4000, 400000}) {
        r = run(write("rate.wav", {-20.0}, rate, 0.1));
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("rate.wav: " + std::to_string(rate) + " Hz: the sample rate is outside 8-384 kHz\n"),
                  std::string::npos)
            << r.err;
    }
}

TEST_F(MeterProgram, AClickInTheLastSampleIsMeasured)
{
    std::vector<float> v(48000 * 2, 0.0f);
    v[v.size() - 2] = v[v.size() - 1] = 0.9f;
    std::string error;
    ASSERT_TRUE(writeWavFile(dir + "/click.wav", v, 2, 48000, error)) << error;
    ProgramRun r = run(dir + "/click.wav --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_GT(plainOf(r.out, "TruePeak"), -1.5) << r.out;
}

TEST_F(MeterProgram, NumbersIgnoreTheLocale)
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
        GTEST_SKIP() << "needs the de_DE.UTF-8 locale (a comma-decimal locale) installed";
    }
    std::string tone = write("tone.wav", {-23.0, -23.0}, 48000, 2.5);
    MeterOptions o;
    o.bundlePath = NORRIK_BUNDLE_PATH;
    o.files = {tone};
    o.json = true;
    std::string out, err;
    int status = runMeter(
        o, [&out](const std::string& s) { out += s; }, [&err](std::string_view s) { err += s; });
    std::string text;
    o.json = false;
    runMeter(
        o, [&text](const std::string& s) { text += s; }, [](std::string_view) {});
    std::setlocale(LC_ALL, "C");
    ASSERT_EQ(status, 0) << err;
    EXPECT_NE(out.find("\"seconds\": 2.5,"), std::string::npos) << out;
    const std::string integrated = entry(out, "Integrated");
    const auto plain = integrated.find("\"plain\": -2");
    ASSERT_NE(plain, std::string::npos) << out;
    EXPECT_EQ(integrated.substr(plain + 12, 1), ".") << integrated; // -22.99…, never -22,99
    EXPECT_NE(text.find(": 48000 Hz, 2 channels, 2.50 s\n"), std::string::npos) << text;
}

TEST_F(MeterProgram, StartedFromMemoryItRefusesAndLoadsNoBundleFromTheWorkingFolder)
{
    // Its /proc link names no file and its start path a descriptor: meter cannot tell where it is,
    // and a working bundle in the working folder is not its own.
    const int copy = memfd_create("meter", 0); // the shell and meter inherit it
    ASSERT_GE(copy, 0);
    wholefile::write(copy, wholefile::read(NORRIK_METER_PATH));
    const auto bundle = std::filesystem::path(NORRIK_BUNDLE_PATH).parent_path().parent_path().parent_path();
    std::filesystem::create_directory_symlink(bundle, dir + "/norrik.bundle");
    for (const std::string fds : {"/dev/fd/", "/proc/self/fd/"}) {
        std::string start;
        const ProgramRun r =
            metertest::runMeterCommand("", dir + "/err", "cd " + dir + " && exec ", start, fds + std::to_string(copy));
        EXPECT_EQ(r.status, kMeterPluginError) << fds << start << r.hung << r.err;
        EXPECT_EQ(r.err.rfind("meter: cannot tell where meter is installed", 0), 0u) << r.err;
    }
    close(copy);
}

TEST(MeterApp, MissingBundleIsReported)
{
    MeterOptions o;
    o.bundlePath = "/nonexistent/norrik.so";
    std::string err;
    EXPECT_EQ(runMeter(
                  o, [](const std::string&) {}, [&err](std::string_view s) { err += s; }),
              kMeterPluginError);
    EXPECT_NE(err.find("not found"), std::string::npos);
}

TEST(MeterApp, TheBundleBesideTheProgramIsFoundWithoutProc)
{
    // Without /proc, by the path the program (this test's) was started by.
    const std::string besideProgram = defaultBundlePath();
    EXPECT_EQ(besideProgram.front(), '/') << besideProgram;
    EXPECT_EQ(defaultBundlePath("/nonexistent/self/exe"), besideProgram);
}

TEST(MeterApp, NoBundleIsNamedWhereTheProgramCannotTellWhereItIs)
{
    // This test's program stands for meter, its /proc link and start path replaced by ones that lead
    // nowhere or to another file: a memfd's link, the shell's, a descriptor's name (even one that
    // leads to the program), a name the working folder does not hold.
    char tmpl[] = "/tmp/meterselfXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl, memfd = dir + "/memfd", shell = dir + "/shell", self = dir + "/self";
    const std::string program = std::filesystem::read_symlink("/proc/self/exe");
    ASSERT_EQ(symlink("/memfd:meter (deleted)", memfd.c_str()), 0);
    ASSERT_EQ(symlink("/bin/sh", shell.c_str()), 0);
    ASSERT_EQ(symlink(program.c_str(), self.c_str()), 0);
    const int opened = open(program.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(opened, 0);
    const std::string fd = std::to_string(opened);
    for (const std::string& link : {std::string("/nonexistent/self/exe"), memfd, shell})
        for (const std::string& started :
             {"/dev/fd/" + fd, "/proc/self/fd/" + fd, std::string("not-here/meter"), std::string("/bin/sh")})
            EXPECT_EQ(defaultBundlePath(link.c_str(), started.c_str()), "") << link << ", started as " << started;
    // Either way alone still finds it.
    EXPECT_EQ(defaultBundlePath(memfd.c_str()), defaultBundlePath());
    EXPECT_EQ(defaultBundlePath(self.c_str(), "/dev/fd/0"), defaultBundlePath());
    close(opened);
    std::filesystem::remove_all(dir);
}

} // namespace
