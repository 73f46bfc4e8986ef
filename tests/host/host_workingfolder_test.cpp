// What meter reads of a file does not depend on the folder it runs in. libsndfile takes data it does
// not recognise for Sound Designer 2 when it finds a resource fork beside the name it was given,
// and beside no name that is "._" or ".AppleDouble/" in the working folder. From a folder holding
// an empty "._", an ".AppleDouble" folder or a real resource fork named "._", every file reads as
// from a clean folder: named, redirected and piped.
#include "tests/common/whole_files.h"
#include "tests/host/meterrun.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

// One second of a tone as `format` at `rate` into `path`; false when libsndfile cannot write it.
bool writeTone(const std::string& path, int format, int rate, int channels)
{
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    std::vector<float> samples(static_cast<std::size_t>(rate * channels));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.25f * static_cast<float>(std::sin(0.03 * static_cast<double>(i / channels)));
    const bool whole = sf_writef_float(f, samples.data(), rate) == rate;
    sf_close(f);
    return whole;
}

TEST(HostWorkingFolder, NothingInTheWorkingFolderChangesWhatAFileReadsAs)
{
    char tmpl[] = "/tmp/meter-workingfolder-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const struct Gone
    {
        std::string dir;
        ~Gone() { std::filesystem::remove_all(dir); }
    } gone{tmpl};
    const std::string files = gone.dir + "/files";
    ASSERT_EQ(mkdir(files.c_str(), 0700), 0);
    // Headerless formats told by the extension, what libsndfile reads by name alone, bytes it
    // does not read at all, and a file it recognises.
    std::vector<std::string> names = {"tone.vox", "tone.au", "noise.bin", "tone.wav"};
    ASSERT_TRUE(writeTone(files + "/tone.vox", SF_FORMAT_RAW | SF_FORMAT_VOX_ADPCM, 8000, 1));
    ASSERT_TRUE(writeTone(files + "/tone.au", SF_FORMAT_RAW | SF_FORMAT_ULAW, 8000, 1));
    ASSERT_TRUE(writeTone(files + "/tone.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2));
    std::mt19937 random(7);
    std::string noise(20000, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    std::ofstream(files + "/noise.bin", std::ios::binary) << noise;
    if (writeTone(gone.dir + "/frames.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 2)) {
        std::ofstream(files + "/junk.mp3", std::ios::binary) << "junk" << wholefile::read(gone.dir + "/frames.mp3");
        names.push_back("junk.mp3");
    }

    // A real resource fork, as libsndfile writes it beside a Sound Designer 2 file.
    ASSERT_TRUE(writeTone(gone.dir + "/sound.sd2", SF_FORMAT_SD2 | SF_FORMAT_PCM_16, 44100, 2));
    struct Folder
    {
        std::string name;
        std::string holds; // a shell command that fills it
    };
    const Folder folders[] = {{"clean", ":"},
                              {"emptyfork", ": >._"},
                              {"appledouble", "mkdir .AppleDouble"},
                              {"fork", "cp " + gone.dir + "/._sound.sd2 ._"}};

    std::vector<std::string> wanted;
    for (const Folder& folder : folders) {
        const std::string dir = gone.dir + "/" + folder.name;
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        ASSERT_EQ(std::system(("cd " + dir + " && " + folder.holds).c_str()), 0) << folder.name;
        const std::string in = "cd " + dir + " && ";
        std::vector<std::string> got;
        const auto keep = [&got](const metertest::ProgramRun& r) {
            got.push_back("status " + std::to_string(r.status) + "\n" + r.out + r.err);
        };
        std::string all;
        for (const std::string& name : names)
            all += " " + files + "/" + name;
        keep(metertest::runMeterProgram("--json" + all, "", in));
        for (const std::string& name : names) {
            keep(metertest::runMeterProgram("--json - <" + files + "/" + name, "", in));
            keep(metertest::runMeterProgram("--json -", "", in + "cat " + files + "/" + name + " | "));
        }
        if (wanted.empty()) {
            // Clean: every file but the noise is read, named; only what a name tells is refused
            // through standard input.
            wanted = got;
            EXPECT_EQ(wanted[0].rfind("status 1\n", 0), 0u) << wanted[0];
            EXPECT_NE(wanted[0].find("noise.bin: Format not recognised."), std::string::npos) << wanted[0];
            for (const std::string& name : names)
                EXPECT_EQ(wanted[0].find("{\"file\": \"" + files + "/" + name + "\"") != std::string::npos,
                          name != "noise.bin")
                    << name << ": " << wanted[0];
            continue;
        }
        ASSERT_EQ(got.size(), wanted.size());
        EXPECT_EQ(got[0], wanted[0]) << "named, in a folder " << folder.name;
        for (std::size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(got[1 + 2 * i], wanted[1 + 2 * i]) << names[i] << " redirected, in a folder " << folder.name;
            EXPECT_EQ(got[2 + 2 * i], wanted[2 + 2 * i]) << names[i] << " piped, in a folder " << folder.name;
        }
    }
}

} // namespace
