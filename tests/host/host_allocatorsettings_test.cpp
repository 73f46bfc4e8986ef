// `meter` under the C library's settings that change how malloc gets its memory (huge pages first,
// all from mappings or all from the heap, one arena, a large pad): healthy files whose metadata
// takes megabytes (a FLAC and an MP3 with a 2-MB picture, an Ogg Vorbis file with a 3-MB comment),
// named and through standard input, read as with no setting, never refused as out of memory.
#include "tests/common/sanitized.h"
#include "tests/common/whole_files.h"
#include "tests/host/meterrun.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 48000;

// Three seconds of a tone in noise as `format` into `path`, with `comment` when not empty; false
// when libsndfile here cannot write the format.
bool writeSound(const std::string& path, int format, const std::string& comment = "")
{
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = kRate;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        return false;
    if (!comment.empty())
        sf_set_string(f, SF_STR_COMMENT, comment.c_str());
    std::mt19937 random(5);
    std::normal_distribution<float> noise(0.0f, 0.05f);
    std::vector<float> samples(2 * 3 * kRate);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.3f * static_cast<float>(std::sin(0.06 * static_cast<double>(i / 2))) + noise(random);
    const sf_count_t wrote = sf_writef_float(f, samples.data(), 3 * kRate);
    sf_close(f);
    return wrote == 3 * kRate;
}

std::string bigEndian(std::uint32_t v, int bytes)
{
    std::string out;
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

// Bytes that do not compress, as a picture's.
std::string pictureBytes(std::size_t n)
{
    std::mt19937 random(9);
    std::string bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

// `flac` with a front-cover picture block of `picture` after its stream information.
std::string withFlacPicture(const std::string& flac, const std::string& picture)
{
    const std::string mime = "image/jpeg";
    const std::string body = bigEndian(3, 4) + bigEndian(static_cast<std::uint32_t>(mime.size()), 4) + mime +
                             bigEndian(0, 4) + bigEndian(500, 4) + bigEndian(500, 4) + bigEndian(24, 4) +
                             bigEndian(0, 4) + bigEndian(static_cast<std::uint32_t>(picture.size()), 4) + picture;
    // "fLaC", then the stream information's block: 4 bytes of header and 34 of its own.
    std::string out = flac.substr(0, 4);
    const bool streamInfoLast = (flac[4] & 0x80) != 0;
    out += static_cast<char>(flac[4] & 0x7F);
    out += flac.substr(5, 37);
    out += static_cast<char>(6 | (streamInfoLast ? 0x80 : 0)) + bigEndian(static_cast<std::uint32_t>(body.size()), 3);
    return out + body + flac.substr(42);
}

// `mp3` behind an ID3v2.3 tag that holds a front-cover picture of `picture`.
std::string withId3Picture(const std::string& mp3, const std::string& picture)
{
    const std::string frame = std::string("\0image/jpeg\0\x03\0", 14) + picture;
    const std::string tagged =
        "APIC" + bigEndian(static_cast<std::uint32_t>(frame.size()), 4) + std::string(2, '\0') + frame;
    const auto size = static_cast<std::uint32_t>(tagged.size());
    std::string synchsafe;
    for (int shift : {21, 14, 7, 0})
        synchsafe += static_cast<char>((size >> shift) & 0x7F);
    return std::string("ID3\x03\0\0", 6) + synchsafe + tagged + mp3;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0) << path;
    wholefile::write(fd, bytes);
    close(fd);
}

TEST(HostAllocatorSettings, FilesWithLargeMetadataReadAsWithNoSetting)
{
#if NORRIK_TEST_SANITIZED
    GTEST_SKIP() << "a sanitizer's allocator takes none of the C library's settings";
#endif
    char tmpl[] = "/tmp/meter-settings-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    const struct Gone
    {
        std::string dir;
        ~Gone() { std::filesystem::remove_all(dir); }
    } gone{dir};
    const std::string flac = dir + "/cover.flac", mp3 = dir + "/cover.mp3", ogg = dir + "/comment.ogg";
    const std::string picture = pictureBytes(2100 * 1000);
    ASSERT_TRUE(writeSound(flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
    writeFile(flac, withFlacPicture(wholefile::read(flac), picture));
    std::vector<std::string> files = {flac};
    if (writeSound(mp3, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III)) {
        writeFile(mp3, withId3Picture(wholefile::read(mp3), picture));
        files.push_back(mp3);
    }
    if (writeSound(ogg, SF_FORMAT_OGG | SF_FORMAT_VORBIS, std::string(3000 * 1000, 'c')))
        files.push_back(ogg);
    std::string named;
    for (const std::string& f : files)
        named += " " + f;
    // The named files, and the last through standard input, redirected and piped.
    const std::string redirected = "--json" + named + " - <" + files.back();
    const std::string piped = "cat " + files.front() + " | ";
    const std::string err = dir + "/err";

    const metertest::ProgramRun want = metertest::runMeterProgram(redirected, err);
    ASSERT_EQ(want.status, 0) << want.err;
    ASSERT_EQ(want.err, "");
    const metertest::ProgramRun wantPiped = metertest::runMeterProgram("--json -", err, piped);
    ASSERT_EQ(wantPiped.status, 0) << wantPiped.err;
    ASSERT_EQ(std::count(want.out.begin(), want.out.end(), '\n'), static_cast<long>(files.size() + 1)) << want.out;

    for (const char* settings :
         {"glibc.malloc.hugetlb=1", "glibc.malloc.hugetlb=2", "glibc.malloc.hugetlb=2:glibc.malloc.mmap_threshold=4096",
          "glibc.malloc.mmap_threshold=0", "glibc.malloc.mmap_threshold=33554432", "glibc.malloc.mmap_max=0",
          "glibc.malloc.top_pad=0", "glibc.malloc.top_pad=268435456",
          "glibc.malloc.arena_max=1:glibc.malloc.tcache_count=0",
          "glibc.malloc.trim_threshold=0:glibc.malloc.arena_test=1"}) {
        const std::string tunables = std::string("GLIBC_TUNABLES=") + settings + " ";
        const metertest::ProgramRun got = metertest::runMeterProgram(redirected, err, tunables);
        EXPECT_EQ(got.status, 0) << settings << ": " << got.err;
        EXPECT_EQ(got.err, "") << settings;
        EXPECT_TRUE(got.out == want.out) << settings << ": another report";
        const metertest::ProgramRun gotPiped = metertest::runMeterProgram("--json -", err, piped + tunables);
        EXPECT_EQ(gotPiped.status, 0) << settings << ", piped: " << gotPiped.err;
        EXPECT_TRUE(gotPiped.out == wantPiped.out) << settings << ", piped: another report";
    }
}

} // namespace
