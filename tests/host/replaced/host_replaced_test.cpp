// A file another program renames a new file over right after the host has opened it (an export
// that writes a new file and renames it over the old one): the file opened is read, its channels
// and its length, at a short path and one past libsndfile's own limit, a headerless file's format
// still told by its name. The rename is made inside the host's open(), interposed here, so it comes
// at that moment in every run.
#include "host/audiosource.h"
#include "tests/common/whole_files.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

// The name whose first open is followed by the rename, and the file renamed over it.
std::string gName;
std::string gReplacement;
int gOpens = 0;

int openThenReplace(const char* symbol, const char* path, int flags, va_list args)
{
    const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
    using Open = int (*)(const char*, int, ...);
    const int fd = reinterpret_cast<Open>(dlsym(RTLD_NEXT, symbol))(path, flags, mode);
    if (!gName.empty() && gName == path && gOpens++ == 0)
        std::rename(gReplacement.c_str(), gName.c_str());
    return fd;
}

} // namespace

extern "C" int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int fd = openThenReplace("open", path, flags, args);
    va_end(args);
    return fd;
}

extern "C" int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int fd = openThenReplace("open64", path, flags, args);
    va_end(args);
    return fd;
}

namespace {

// One second of a tone in `channels` as `format` at `rate`, written as `scratch` (a path libsndfile
// takes) and renamed to `path`.
bool writeTone(const std::string& scratch, const std::string& path, int format, int rate, int channels)
{
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    std::vector<float> samples(static_cast<std::size_t>(rate * channels));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.25f * static_cast<float>(std::sin(0.03 * static_cast<double>(i / channels)));
    SNDFILE* f = sf_open(scratch.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    const bool whole = sf_writef_float(f, samples.data(), rate) == rate;
    sf_close(f);
    return whole && std::rename(scratch.c_str(), path.c_str()) == 0;
}

TEST(HostReplacedFile, TheFileOpenedIsReadNotOneRenamedOverItsNameRightAfter)
{
    char tmpl[] = "/tmp/meter-replaced-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const struct Gone
    {
        std::string dir;
        ~Gone() { std::filesystem::remove_all(dir); }
    } gone{tmpl};
    const std::string scratch = gone.dir + "/scratch";
    std::string deep = gone.dir;
    while (deep.size() < 1300) {
        deep += "/" + std::string(200, 'd');
        ASSERT_EQ(mkdir(deep.c_str(), 0700), 0) << std::strerror(errno);
    }
    struct Case
    {
        const char* name;
        int format;
        int rate;
        int channels;
    };
    // MPEG audio after other bytes only libsndfile's open by name reads, which a name no longer the
    // file's cannot give.
    for (const Case& c : {Case{"held.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2},
                          Case{"held.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2},
                          Case{"held.vox", SF_FORMAT_RAW | SF_FORMAT_VOX_ADPCM, 8000, 1},
                          Case{"held.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 2}}) {
        const bool mpeg = (c.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
        for (const std::string& dir : {gone.dir, deep}) {
            const std::string name = dir + "/" + c.name, replacement = dir + "/replacement";
            if (!writeTone(scratch, name, c.format, c.rate, c.channels)) {
                ASSERT_TRUE(mpeg) << c.name;
                continue; // no MPEG writer in the installed libsndfile
            }
            if (mpeg) {
                const std::string frames = wholefile::read(name);
                std::ofstream(name, std::ios::binary) << "junk" << frames;
            }
            ASSERT_TRUE(writeTone(scratch, replacement, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 24000, 6));

            gName = name;
            gReplacement = replacement;
            gOpens = 0;
            std::string error;
            const std::unique_ptr<qelhost::AudioSource> source = qelhost::openAudioFile(name, error);
            gName.clear();
            const std::string where = std::string(c.name) + " in a " + std::to_string(dir.size()) + "-byte folder";
            struct stat there
            {};
            ASSERT_TRUE(gOpens == 1 && stat(replacement.c_str(), &there) == -1) << where << ": not renamed at the open";
            if (mpeg) {
                EXPECT_EQ(source, nullptr) << where << ": read " << source->channels() << " channels";
                EXPECT_EQ(error, "cannot read " + name + ": Format not recognised.") << where;
                continue;
            }
            if (!source || source->channels() != c.channels) {
                ADD_FAILURE() << where << ": " << (source ? std::to_string(source->channels()) + " channels" : error);
                continue;
            }
            EXPECT_EQ(source->sampleRate(), c.rate) << where;
            // VOX states no length: it reads as a stream does.
            EXPECT_EQ(source->frames(), c.channels == 1 ? -1 : c.rate) << where;
            std::int64_t frames = 0;
            std::vector<float> planes(2 * 4096);
            float* to[2] = {planes.data(), planes.data() + 4096};
            for (std::int64_t n = 1; n > 0; frames += n)
                n = source->read(to, 4096);
            EXPECT_EQ(frames, c.rate) << where;
            EXPECT_EQ(source->warnings(), "") << where;
        }
    }
}

} // namespace
