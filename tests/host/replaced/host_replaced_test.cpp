// A file another program renames a new file over right after the host has opened it (an export
// that writes a new file and renames it over the old one): the file opened is read, its channels
// and its length, at a short path and one past libsndfile's own limit, a headerless file's format
// still told by its name. And a file libsndfile reads by its name alone, whose name names another
// file only while libsndfile opens it: refused, as the name names the held file before and after.
// The renames are made inside open(), interposed here, so they come at those moments in every run.
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
// Instead, the second open of the name (the first is the host's own) opens the replacement, put
// under the name for it, the held file kept here meanwhile and put back once it is open.
bool gSwapDuring = false;
std::string gAside;

// Whether `path` is the name, or its last part in its folder held open ("/proc/self/fd/N/NAME").
bool ofTheName(const std::string& path)
{
    if (gName.empty() || path == gName)
        return !gName.empty();
    const std::string proc = "/proc/self/fd/", last = gName.substr(gName.find_last_of('/'));
    return path.size() > proc.size() + last.size() && path.rfind(proc, 0) == 0 &&
           path.find_first_not_of("0123456789", proc.size()) == path.size() - last.size() &&
           path.compare(path.size() - last.size(), last.size(), last) == 0;
}

int openThenReplace(const char* symbol, const char* path, int flags, va_list args)
{
    const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
    using Open = int (*)(const char*, int, ...);
    const auto realOpen = reinterpret_cast<Open>(dlsym(RTLD_NEXT, symbol));
    const int open = ofTheName(path) ? gOpens++ : -1;
    if (gSwapDuring && open == 1) {
        std::rename(gName.c_str(), gAside.c_str());
        std::rename(gReplacement.c_str(), gName.c_str());
        const int fd = realOpen(path, flags, mode);
        std::rename(gName.c_str(), gReplacement.c_str());
        std::rename(gAside.c_str(), gName.c_str());
        return fd;
    }
    const int fd = realOpen(path, flags, mode);
    if (!gSwapDuring && open == 0)
        std::rename(gReplacement.c_str(), gName.c_str());
    return fd;
}

} // namespace

// Seen by the libraries too (exported by the build), libsndfile's open by name among them.
extern "C" __attribute__((visibility("default"))) int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int fd = openThenReplace("open", path, flags, args);
    va_end(args);
    return fd;
}

extern "C" __attribute__((visibility("default"))) int open64(const char* path, int flags, ...)
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

// A scratch folder, removed with everything in it at the end, and a folder inside it whose path is
// some 1.3 KB long.
struct Folders
{
    std::string dir, scratch, deep;
    explicit Folders(const char* prefix)
    {
        std::string tmpl = std::string("/tmp/") + prefix + "XXXXXX";
        if (!mkdtemp(tmpl.data()))
            return;
        dir = tmpl;
        scratch = dir + "/scratch";
        deep = dir;
        while (deep.size() < 1300) {
            deep += "/" + std::string(200, 'd');
            if (mkdir(deep.c_str(), 0700) != 0) {
                deep.clear();
                break;
            }
        }
    }
    ~Folders()
    {
        if (!dir.empty())
            std::filesystem::remove_all(dir);
    }
};

TEST(HostReplacedFile, TheFileOpenedIsReadNotOneRenamedOverItsNameRightAfter)
{
    const Folders folders("meter-replaced-");
    ASSERT_FALSE(folders.deep.empty()) << std::strerror(errno);
    const std::string &scratch = folders.scratch, &deep = folders.deep;
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
        for (const std::string& dir : {folders.dir, deep}) {
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

// Files libsndfile reads by their name alone, MPEG audio after other bytes and Sound Designer 2
// with its resource fork beside it: read as the held file when the name stays its own, refused when
// another file stands under the name while libsndfile opens it, though the name names the held file
// before and after.
TEST(HostReplacedFile, AFileReadByNameIsRefusedWhenAnotherStoodUnderItsNameForLibsndfilesOpen)
{
    const Folders folders("meter-swapped-");
    ASSERT_FALSE(folders.deep.empty()) << std::strerror(errno);
    const std::string &scratch = folders.scratch, &deep = folders.deep;
    int tried = 0;
    for (const auto& [name, format] :
         {std::pair<const char*, int>{"held.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
          {"held.sd2", SF_FORMAT_SD2 | SF_FORMAT_PCM_16}}) {
        for (const std::string& dir : {folders.dir, deep}) {
            const std::string path = dir + "/" + name, replacement = dir + "/replacement";
            const std::string where = std::string(name) + " in a " + std::to_string(dir.size()) + "-byte folder";
            if (!writeTone(scratch, path, format, 44100, 2))
                continue; // not written by the installed libsndfile
            if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
                const std::string frames = wholefile::read(path);
                std::ofstream(path, std::ios::binary) << "junk" << frames;
            } else {
                // The resource fork, written beside the scratch name, goes beside the file.
                ASSERT_EQ(std::rename((folders.dir + "/._scratch").c_str(), (dir + "/._" + name).c_str()), 0) << where;
            }
            ASSERT_TRUE(writeTone(scratch, replacement, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 24000, 6));
            ++tried;
            struct stat held
            {};
            ASSERT_EQ(stat(path.c_str(), &held), 0);

            std::string error;
            std::unique_ptr<qelhost::AudioSource> source = qelhost::openAudioFile(path, error);
            ASSERT_NE(source, nullptr) << where << ": " << error;
            EXPECT_EQ(source->channels(), 2) << where;
            EXPECT_EQ(source->sampleRate(), 44100) << where;
            source.reset();

            gName = path;
            gReplacement = replacement;
            gAside = dir + "/aside";
            gOpens = 0;
            gSwapDuring = true;
            source = qelhost::openAudioFile(path, error);
            gName.clear();
            gSwapDuring = false;
            struct stat there
            {};
            ASSERT_TRUE(gOpens == 2 && stat(path.c_str(), &there) == 0 && there.st_ino == held.st_ino &&
                        stat(replacement.c_str(), &there) == 0)
                << where << ": not swapped for libsndfile's open and back (" << gOpens << " opens of the name)";
            EXPECT_EQ(source, nullptr) << where << ": read " << source->channels() << " channels at "
                                       << source->sampleRate() << " Hz";
            EXPECT_EQ(error, "cannot read " + path + ": Format not recognised.") << where;
        }
    }
    if (tried == 0)
        GTEST_SKIP() << "the installed libsndfile writes neither MPEG audio nor Sound Designer 2";
}

} // namespace
