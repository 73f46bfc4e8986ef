// Files deep in folders, their paths past libsndfile's own limit (1 KiB) and up to near the
// system's (4 KiB): read as at a short path, with the same report, the same format told by the
// name (a headerless VOX file), and `--svg` there writes the same pictures.
#include "host/audiosource.h"
#include "tests/common/whole_files.h"
#include "tests/host/meterrun.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Two seconds of a tone as `format` into `path`, at `rate` in `channels`.
void writeTone(const std::string& path, int format, int rate, int channels)
{
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(static_cast<std::size_t>(2 * rate * channels));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.25f * static_cast<float>(std::sin(0.04 * static_cast<double>(i / channels)));
    EXPECT_EQ(sf_writef_float(f, samples.data(), 2 * rate), 2 * rate);
    sf_close(f);
}

void copyFile(const std::string& from, const std::string& to)
{
    const int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    wholefile::write(fd, wholefile::read(from));
    close(fd);
}

// `text` with each `from` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST(HostLongPaths, FilesDeepInFoldersReadAndTheirPicturesAreWrittenAsAtAShortPath)
{
    char tmpl[] = "/tmp/meter-longpath-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const struct Gone
    {
        std::string dir;
        ~Gone() { std::filesystem::remove_all(dir); }
    } gone{tmpl};
    const std::string near = gone.dir + "/near";
    ASSERT_EQ(mkdir(near.c_str(), 0700), 0);
    const std::vector<std::string> names = {"tone.wav", "tone.flac", "tone.vox"};
    writeTone(near + "/" + names[0], SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2);
    writeTone(near + "/" + names[1], SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2);
    // Headerless: only its name's extension tells libsndfile what it is.
    writeTone(near + "/" + names[2], SF_FORMAT_RAW | SF_FORMAT_VOX_ADPCM, 8000, 1);
    const auto arguments = [&names](const std::string& dir) {
        std::string args = "--json --svg " + dir + "/picture.svg";
        for (const std::string& name : names)
            args += " " + dir + "/" + name;
        return args;
    };
    const metertest::ProgramRun want = metertest::runMeterProgram(arguments(near), near + "/err");
    ASSERT_EQ(want.status, 0) << want.err;
    ASSERT_EQ(want.err, "");
    std::remove((near + "/err").c_str());

    // Past libsndfile's limit, and as deep as leaves room for the pictures' names within the
    // system's, though not for their temporary names beside them.
    std::string deep = gone.dir;
    for (const std::size_t length : {std::size_t(1300), PATH_MAX - sizeof("/picture-1.svg")}) {
        while (deep.size() < length) {
            const std::size_t more = std::min<std::size_t>(200, length - deep.size() - 1);
            deep += '/';
            deep.append(more, 'd');
            ASSERT_EQ(mkdir(deep.c_str(), 0700), 0) << std::strerror(errno);
        }
        for (const std::string& name : names)
            copyFile(near + "/" + name, deep + "/" + name);
        const metertest::ProgramRun got = metertest::runMeterProgram(arguments(deep), near + "/err");
        EXPECT_EQ(got.status, 0) << deep.size() << "-byte folder: " << got.err.substr(0, 300);
        EXPECT_EQ(got.err, "") << deep.size() << "-byte folder";
        EXPECT_TRUE(replaced(got.out, deep, near) == want.out) << deep.size() << "-byte folder: another report";
        for (const char* picture : {"/picture-1.svg", "/picture-2.svg", "/picture-3.svg"}) {
            const std::string drawn = wholefile::read(deep + picture);
            EXPECT_FALSE(drawn.empty()) << deep.size() << "-byte folder: no " << picture;
            EXPECT_TRUE(drawn == wholefile::read(near + picture)) << deep.size() << "-byte folder: another " << picture;
        }
    }
}

} // namespace
