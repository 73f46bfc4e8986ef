#include "host/audiosource.h"

#include "dsp/blockstats.h"
#include "host/filesizelimit.h"
#include "host/numbertext.h"
#include "host/outofmemory.h"
#include "host/qelabi.h"
#include "host/statedaudio.h"

#include <dirent.h>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string_view>
#include <utility>
#include <cmath>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qelhost {

namespace {

// Whether libsndfile's last error on `file` (null: the last open) is that it could not allocate:
// it names that error by the allocator it called. A decoder beneath it reports its own failed
// allocation as any other error, or as none: the program's count of the allocations that failed on
// this thread tells that (errno does not: a call that had all its memory may leave ENOMEM).
bool libraryOutOfMemory(SNDFILE* file)
{
    return std::strstr(sf_strerror(file), "malloc") != nullptr;
}

// The plug-in's speaker for libsndfile's channel positions; 0 where it has none. The loudness
// model weighs a channel 1.41 between 60 and 120 degrees from the front, and only the plug-in's
// surround pair (kLs, kRs) carries that weight. So the pair at the sides takes it, or in a layout
// with one surround pair (5.1, quad), that pair whatever its label; a rear pair beside a side pair
// (7.1) sits behind 120 degrees and takes the plug-in's other pair.
SpeakerArrangement speakerOf(int position, bool rearsAreSurrounds)
{
    using namespace speaker;
    switch (position) {
    case SF_CHANNEL_MAP_MONO:
    case SF_CHANNEL_MAP_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT:
        return kL;
    case SF_CHANNEL_MAP_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT:
        return kR;
    case SF_CHANNEL_MAP_CENTER:
    case SF_CHANNEL_MAP_FRONT_CENTER:
        return kC;
    case SF_CHANNEL_MAP_LFE:
        return kLfe;
    case SF_CHANNEL_MAP_SIDE_LEFT:
        return kLs;
    case SF_CHANNEL_MAP_SIDE_RIGHT:
        return kRs;
    case SF_CHANNEL_MAP_REAR_LEFT:
        return rearsAreSurrounds ? kLs : kLb;
    case SF_CHANNEL_MAP_REAR_RIGHT:
        return rearsAreSurrounds ? kRs : kRb;
    case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
        return kLc;
    case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
        return kRc;
    case SF_CHANNEL_MAP_REAR_CENTER:
        return kCs;
    case SF_CHANNEL_MAP_TOP_CENTER:
        return kTc;
    case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
        return kTfl;
    case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
        return kTfc;
    case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
        return kTfr;
    case SF_CHANNEL_MAP_TOP_REAR_LEFT:
        return kTrl;
    case SF_CHANNEL_MAP_TOP_REAR_CENTER:
        return kTrc;
    case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
        return kTrr;
    default:
        return 0;
    }
}

// A layout as speaker bits, with the file channel behind each bit in bit order. False when there is
// no layout or it has a position the plug-in's speakers cannot hold.
bool mapLayout(const std::vector<int>& map, std::uint64_t& mask, std::vector<int>& order)
{
    if (map.empty())
        return false;
    auto has = [&map](int p) { return std::find(map.begin(), map.end(), p) != map.end(); };
    const bool rearsAreSurrounds = !has(SF_CHANNEL_MAP_SIDE_LEFT) && !has(SF_CHANNEL_MAP_SIDE_RIGHT);
    int channelOfBit[64];
    std::fill(std::begin(channelOfBit), std::end(channelOfBit), -1);
    mask = 0;
    for (std::size_t c = 0; c < map.size(); ++c) {
        const SpeakerArrangement speaker = speakerOf(map[c], rearsAreSurrounds);
        if (speaker == 0 || (mask & speaker))
            return false;
        mask |= speaker;
        channelOfBit[std::countr_zero(speaker)] = static_cast<int>(c);
    }
    order.clear();
    for (int bit = 0; bit < 64; ++bit)
        if (channelOfBit[bit] >= 0)
            order.push_back(channelOfBit[bit]);
    return true;
}

// The layout the file names in its channel map; empty when it names none.
std::vector<int> fileLayout(SNDFILE* f, int channels)
{
    std::vector<int> map(static_cast<std::size_t>(channels));
    if (sf_command(f, SFC_GET_CHANNEL_MAP_INFO, map.data(), static_cast<int>(sizeof(int) * map.size())) != SF_TRUE)
        map.clear();
    return map;
}

// The usual order of the channels of a file that names no layout, as WAVE and FLAC lay them out;
// empty beyond 8 channels.
std::vector<int> usualLayout(int channels)
{
    const int fl = SF_CHANNEL_MAP_FRONT_LEFT, fr = SF_CHANNEL_MAP_FRONT_RIGHT, fc = SF_CHANNEL_MAP_FRONT_CENTER;
    const int lfe = SF_CHANNEL_MAP_LFE, rl = SF_CHANNEL_MAP_REAR_LEFT, rr = SF_CHANNEL_MAP_REAR_RIGHT;
    const int sl = SF_CHANNEL_MAP_SIDE_LEFT, sr = SF_CHANNEL_MAP_SIDE_RIGHT;
    switch (channels) {
    case 1:
        return {SF_CHANNEL_MAP_MONO};
    case 2:
        return {fl, fr};
    case 3:
        return {fl, fr, fc};
    case 4:
        return {fl, fr, rl, rr};
    case 5:
        return {fl, fr, fc, rl, rr};
    case 6:
        return {fl, fr, fc, lfe, rl, rr};
    case 7:
        return {fl, fr, fc, lfe, SF_CHANNEL_MAP_REAR_CENTER, sl, sr};
    case 8:
        return {fl, fr, fc, lfe, rl, rr, sl, sr};
    default:
        return {};
    }
}

// Bytes of one frame of uncompressed samples, 0 for a compressed format.
std::int64_t frameBytes(const SF_INFO& info)
{
    std::int64_t bytes = 0;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        bytes = 1;
        break;
    case SF_FORMAT_PCM_16:
        bytes = 2;
        break;
    case SF_FORMAT_PCM_24:
        bytes = 3;
        break;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        bytes = 4;
        break;
    case SF_FORMAT_DOUBLE:
        bytes = 8;
        break;
    default:
        break;
    }
    return bytes * info.channels;
}

// The frames the header promises, -1 when it states no length or its bytes cannot be told in
// frames.
std::int64_t promisedFrames(const StatedAudio& stated, const SF_INFO& info)
{
    if (stated.bytes < 0)
        return -1;
    // The header may count the frames too (AIFF): the larger claim holds. (Compressed AIFC counts
    // its packets there.)
    if (const std::int64_t bytes = frameBytes(info); bytes > 0)
        return std::max(stated.frames, stated.bytes / bytes);
    // Compressed samples: the frames the held bytes decode to, in proportion.
    if (info.frames > 0 && stated.held > 0)
        return static_cast<std::int64_t>(std::min<long double>(
            static_cast<long double>(stated.bytes) * static_cast<long double>(info.frames) / stated.held, 9e18L));
    return -1;
}

// A file descriptor, closed when it goes.
class Descriptor
{
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(Descriptor&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& o) noexcept
    {
        std::swap(fd_, o.fd_);
        return *this;
    }
    ~Descriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_ = -1;
};

// The same file on a descriptor above standard input, output and error: a file there (one of them
// closed) would be read or written as that stream. -1 with errno set when none is free.
Descriptor aboveStandardStreams(Descriptor file)
{
    if (file.get() < 0 || file.get() > STDERR_FILENO)
        return file;
    Descriptor moved(fcntl(file.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
    const int why = errno;
    file = Descriptor();
    errno = why;
    return moved;
}

// An unnamed file in the temporary folder: TMPDIR's, as other tools take it, else /tmp.
Descriptor unnamedTemporaryFile(std::string& folder)
{
    const char* tmpdir = std::getenv("TMPDIR");
    folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
    Descriptor file(open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (file.get() >= 0 || (errno != EOPNOTSUPP && errno != EISDIR))
        return aboveStandardStreams(std::move(file));
    // A file system without unnamed files: a named one, unnamed at once.
    std::string name = folder + "/.meter-XXXXXX";
    file = Descriptor(mkostemp(name.data(), O_CLOEXEC));
    if (file.get() >= 0)
        unlink(name.c_str());
    return aboveStandardStreams(std::move(file));
}

// Copies what `from` delivers until its end into an unnamed temporary file: a stream read as a
// file, through a fixed buffer whatever its length. The copy at its start, or none with the reason
// in `error`; a file-size limit fails the copy as a full disk does.
Descriptor spool(int from, std::string& error)
{
    const FileSizeLimitAsError sizeLimit;
    std::string folder;
    const auto cannotCopy = [&folder, &error](int why) {
        error = "cannot make a temporary copy in " + folder + ": " + std::strerror(why);
        return Descriptor();
    };
    Descriptor copy = unnamedTemporaryFile(folder);
    if (copy.get() < 0)
        return cannotCopy(errno);
    std::vector<char> buffer(std::size_t(1) << 16);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = std::strerror(errno);
            return Descriptor();
        }
        if (got == 0)
            break;
        for (ssize_t put = 0; put < got;) {
            const ssize_t wrote = ::write(copy.get(), buffer.data() + put, static_cast<std::size_t>(got - put));
            if (wrote < 0 && errno == EINTR)
                continue;
            if (wrote < 0)
                return cannotCopy(errno);
            put += wrote;
        }
    }
    if (lseek(copy.get(), 0, SEEK_SET) != 0) {
        error = "cannot read back the temporary copy in " + folder + ": " + std::strerror(errno);
        return Descriptor();
    }
    return copy;
}

// libsndfile tells these formats, which have no header, by the extension of the file's name (in
// any case) when it does not recognise the data. A file read through a descriptor has no name, so
// the host tells libsndfile the same.
struct NamedFormat
{
    const char* extension;
    int format;
    int samplerate;
    sf_count_t skipped; // by name libsndfile reads headerless AU from past the 12 bytes it looked at
};
constexpr NamedFormat kNamedFormats[] = {
    {"vox", SF_FORMAT_RAW | SF_FORMAT_VOX_ADPCM, 8000, 0},  {"vox8", SF_FORMAT_RAW | SF_FORMAT_VOX_ADPCM, 8000, 0},
    {"vox6", SF_FORMAT_RAW | SF_FORMAT_VOX_ADPCM, 6000, 0}, {"gsm", SF_FORMAT_RAW | SF_FORMAT_GSM610, 8000, 0},
    {"au", SF_FORMAT_RAW | SF_FORMAT_ULAW, 8000, 12},       {"snd", SF_FORMAT_RAW | SF_FORMAT_ULAW, 8000, 12}};

// libsndfile keeps a path in room of its own (1 KiB in version 1.2): a path this long reaches it as
// the same name in the file's folder, held open, through /proc ("/proc/self/fd/N/NAME").
constexpr std::size_t kLongPath = 512;

// The extension of the name at the end of `path` (after its last dot), in lower case in `lower`;
// empty when it has none or a longer one.
std::string_view extensionOf(std::string_view path, char (&lower)[8])
{
    const std::string_view name = path.substr(path.find_last_of('/') + 1);
    const auto dot = name.find_last_of('.');
    const std::string_view extension = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    if (extension.size() > sizeof lower)
        return {};
    for (std::size_t i = 0; i < extension.size(); ++i)
        lower[i] =
            extension[i] >= 'A' && extension[i] <= 'Z' ? static_cast<char>(extension[i] - 'A' + 'a') : extension[i];
    return {lower, extension.size()};
}

// The name /proc gives descriptor `fd`, which reaches the file it holds whatever takes its names.
std::string procName(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

// Opens in libsndfile the file `fd` holds, from its start. Data it does not recognise it takes for
// Sound Designer 2 where it finds a resource fork beside the name it was given ("._NAME",
// ".AppleDouble/NAME"), and beside no name those are "._" and ".AppleDouble/" in the working
// folder: so it is given the name /proc gives `fd`, beside which there is nothing. Without /proc,
// a copy of `fd` (libsndfile closes the descriptor it is given, at a failed open too, even when
// told not to). Null with the reason in `error` when no descriptor is free; null with `error` empty
// when libsndfile refused the file.
SNDFILE* openDescriptor(int fd, SF_INFO& info, std::string& error)
{
    const std::string name = procName(fd);
    if (Descriptor(open(name.c_str(), O_RDONLY | O_CLOEXEC)).get() >= 0)
        return sf_open(name.c_str(), SFM_READ, &info);
    const int given = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (given < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    lseek(given, 0, SEEK_SET);
    return sf_open_fd(given, SFM_READ, &info, SF_TRUE);
}

// The descriptors of this process that hold the file `file` describes; -1 when they cannot be
// listed (no /proc). Reads its folder without allocating.
int descriptorsOf(const struct stat& file)
{
    const Descriptor folder(open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        return -1;
    int count = 0;
    alignas(dirent64) char entries[4096];
    for (;;) {
        const ssize_t got = getdents64(folder.get(), entries, sizeof entries);
        if (got <= 0)
            return got == 0 ? count : -1;
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
            at += entry->d_reclen;
            char* end = nullptr;
            const long fd = std::strtol(entry->d_name, &end, 10);
            struct stat held
            {};
            count += end != entry->d_name && *end == '\0' && fstat(static_cast<int>(fd), &held) == 0 &&
                     held.st_dev == file.st_dev && held.st_ino == file.st_ino;
        }
    }
}

// Opens in libsndfile the file `path` names, kept only when the name names the file `held` holds
// and libsndfile's own descriptor holds it too: a name checked before and after its open may have
// named another file in between. Null with `error` empty when libsndfile refused it; with `error`
// set to `otherwise` when it was not tried (no /proc) or was another file.
SNDFILE* openNamed(const std::string& path, int held, SF_INFO& info, std::string& error, const std::string& otherwise)
{
    std::string name = path;
    Descriptor folder;
    if (const auto slash = path.find_last_of('/'); path.size() >= kLongPath && slash != std::string::npos) {
        folder = Descriptor(open(slash == 0 ? "/" : path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        name = procName(folder.get()) + path.substr(slash);
    }
    struct stat own
    {};
    struct stat there
    {};
    const int before = fstat(held, &own) == 0 && stat(name.c_str(), &there) == 0 && there.st_dev == own.st_dev &&
                               there.st_ino == own.st_ino
                           ? descriptorsOf(own)
                           : -1;
    if (before < 0) {
        error = otherwise;
        return nullptr;
    }
    SNDFILE* f = sf_open(name.c_str(), SFM_READ, &info);
    if (f && descriptorsOf(own) <= before) {
        sf_close(f);
        error = otherwise;
        return nullptr;
    }
    return f;
}

// Opens in libsndfile the file `fd` holds, as libsndfile would open it by `name` ("" when it has
// none). As openDescriptor; a shortage, or a refusal that may hide one, is not tried again.
SNDFILE* openHeld(int fd, const std::string& name, SF_INFO& info, std::string& error)
{
    char lower[8];
    const std::string_view extension = extensionOf(name, lower);
    const std::uint64_t failedBefore = failedAllocationsOnThisThread();
    SNDFILE* f = openDescriptor(fd, info, error);
    if (f || !error.empty() || name.empty() || sf_error(nullptr) != SF_ERR_UNRECOGNISED_FORMAT ||
        failedAllocationsOnThisThread() != failedBefore)
        return f;
    for (const NamedFormat& named : kNamedFormats) {
        if (extension != named.extension)
            continue;
        info = SF_INFO{};
        info.format = named.format;
        info.samplerate = named.samplerate;
        info.channels = 1;
        f = openDescriptor(fd, info, error);
        if (f && named.skipped > 0)
            sf_seek(f, std::min(named.skipped, info.frames), SEEK_SET);
        return f;
    }
    // Some files libsndfile reads by their name alone: MPEG audio that does not start as it looks
    // for (cut, or after other bytes) by the extension .mp3, Sound Designer 2 by the resource fork
    // beside it ("._NAME"); a descriptor cannot be told either.
    const std::string unrecognised = sf_strerror(nullptr);
    info = SF_INFO{};
    return openNamed(name, fd, info, error, unrecognised);
}

// Whether `fd`, which can seek, has nothing left to read from where it is (an empty pipe's copy,
// /dev/null).
bool nothingLeft(int fd)
{
    char byte = 0;
    const off_t at = lseek(fd, 0, SEEK_CUR);
    return at >= 0 && pread(fd, &byte, 1, at) == 0;
}

class SndfileSource final : public AudioSource
{
public:
    // `lengthStated`: whether libsndfile's length of the file is one its header states.
    SndfileSource(SNDFILE* file, const SF_INFO& info, const StatedAudio& stated, bool lengthStated, std::string path,
                  Descriptor input)
    : file_(file), info_(info), path_(std::move(path)), scratch_(static_cast<std::size_t>(kChunk * info.channels)),
      input_(std::move(input))
    {
        if (!info_.seekable) {
            info_.frames = -1; // a stream's header cannot know its length
        } else {
            const std::int64_t promised = promisedFrames(stated, info_);
            promised_ = std::max<std::int64_t>(lengthStated ? info_.frames : -1, promised);
            // A frame count apart from the audio's bytes (AIFF); compressed AIFC counts packets.
            counted_ = frameBytes(info_) > 0 ? stated.frames : -1;
            // Where the frames cannot be told: cut in its audio, or inside or right after its header
            // with no audio at all (with audio, a container a pad byte short is harmless).
            cut_ = stated.cut && (stated.bytes >= 0 ? promised < 0 : info_.frames == 0);
        }
        if (!mapLayout(fileLayout(file_, info_.channels), speakers_, order_) &&
            !mapLayout(usualLayout(info_.channels), speakers_, order_)) {
            speakers_ = defaultSpeakers(info_.channels);
            order_.resize(static_cast<std::size_t>(info_.channels));
            for (int c = 0; c < info_.channels; ++c)
                order_[static_cast<std::size_t>(c)] = c;
        }
        inOrder_ = std::is_sorted(order_.begin(), order_.end());
    }
    ~SndfileSource() override { sf_close(file_); }

    int channels() const override { return info_.channels; }
    double sampleRate() const override { return info_.samplerate; }
    std::int64_t frames() const override { return info_.frames; }
    std::uint64_t speakers() const override { return speakers_; }
    std::string name() const override { return path_; }

    std::string warnings() const override
    {
        std::string w;
        if (!ended_)
            return w;
        if (promised_ > read_)
            w += "truncated: " + std::to_string(promised_) + " frames expected, " + std::to_string(read_) + " read\n";
        else if (cut_)
            w += "truncated: the file ends before the audio its header describes, " + std::to_string(read_) +
                 " frames read\n";
        else if (read_ == 0)
            w += "the file holds no audio\n";
        // libsndfile reads the sound chunk whole, whatever the header counts.
        if (counted_ >= 0 && counted_ < read_)
            w += "the header counts " + std::to_string(counted_) + " frames but the sound holds " +
                 std::to_string(read_) + ": all " + std::to_string(read_) + " are metered\n";
        if (unmeasurable_ > 0)
            w += std::to_string(unmeasurable_) + " non-finite or oversized sample" + (unmeasurable_ == 1 ? "" : "s") +
                 " (NaN, infinity or magnitude above " + formatNumber(DSP::kLargestMeasured, 3) +
                 "), metered as silence\n";
        return w;
    }

    std::int64_t read(float* const* out, std::int64_t maxFrames) override
    {
        // Served from a large read-ahead buffer: one system call per chunk, not per block.
        const int ch = info_.channels;
        std::int64_t done = 0;
        while (done < maxFrames) {
            if (bufPos_ == bufFrames_) {
                const std::uint64_t failedBefore = failedAllocationsOnThisThread();
                sf_count_t got = sf_readf_float(file_, scratch_.data(), kChunk);
                // Not the file's end, the rest would be lost; nor, in a full chunk, the file's
                // samples: libsndfile leaves out a packet its decoder could not take and reads on.
                if (failedAllocationsOnThisThread() != failedBefore || (got <= 0 && libraryOutOfMemory(file_)))
                    throw std::bad_alloc();
                bufFrames_ = got > 0 ? got : 0;
                bufPos_ = 0;
                if (bufFrames_ == 0) {
                    ended_ = true;
                    break;
                }
                read_ += bufFrames_;
                countUnmeasurable(scratch_.data(), bufFrames_ * ch);
            }
            std::int64_t n = std::min<std::int64_t>(maxFrames - done, bufFrames_ - bufPos_);
            const float* src = scratch_.data() + bufPos_ * ch;
            if (ch == 1) {
                std::memcpy(out[0] + done, src, sizeof(float) * static_cast<std::size_t>(n));
            } else if (ch == 2 && inOrder_) {
                // One pass over the interleaved frames for both channels.
                float* l = out[0] + done;
                float* r = out[1] + done;
                std::int64_t i = 0;
#if defined(__SSE2__)
                for (; i + 4 <= n; i += 4) {
                    const __m128 a = _mm_loadu_ps(src + 2 * i);
                    const __m128 b = _mm_loadu_ps(src + 2 * i + 4);
                    _mm_storeu_ps(l + i, _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
                    _mm_storeu_ps(r + i, _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
                }
#endif
                for (; i < n; ++i) {
                    l[i] = src[2 * i];
                    r[i] = src[2 * i + 1];
                }
            } else {
                for (int c = 0; c < ch; ++c) {
                    float* dst = out[c] + done;
                    const float* from = src + order_[static_cast<std::size_t>(c)];
                    for (std::int64_t i = 0; i < n; ++i)
                        dst[i] = from[i * ch];
                }
            }
            bufPos_ += n;
            done += n;
        }
        return done;
    }

private:
    // The samples the plug-in measures as silence: NaN, infinite, or beyond its largest magnitude.
    void countUnmeasurable(const float* p, std::int64_t n)
    {
        std::int64_t bad = 0, i = 0;
#if defined(__SSE2__)
        const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
        const __m128 largest = _mm_set1_ps(DSP::kLargestMeasured);
        __m128i lanes = _mm_setzero_si128(); // each lane counts at most a chunk's samples / 4
        for (; i + 4 <= n; i += 4) {
            // Not-less-or-equal holds for NaN as for the too large.
            const __m128 a = _mm_and_ps(_mm_loadu_ps(p + i), magnitude);
            lanes = _mm_sub_epi32(lanes, _mm_castps_si128(_mm_cmpnle_ps(a, largest)));
        }
        alignas(16) std::int32_t sum[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(sum), lanes);
        bad = static_cast<std::int64_t>(sum[0]) + sum[1] + sum[2] + sum[3];
#endif
        for (; i < n; ++i)
            bad += !(std::fabs(p[i]) <= DSP::kLargestMeasured);
        unmeasurable_ += bad;
    }

    static constexpr std::int64_t kChunk = 16384; // 128 KiB of stereo: stays in cache until de-interleaved
    std::int64_t bufFrames_ = 0;
    std::int64_t bufPos_ = 0;
    SNDFILE* file_;
    SF_INFO info_;
    std::string path_;
    std::vector<float> scratch_;
    std::uint64_t speakers_ = 0;
    std::vector<int> order_; // file channel of each of the plug-in's channels
    bool inOrder_ = true;
    std::int64_t promised_ = -1;
    std::int64_t counted_ = -1; // the frames the header counts apart from the audio's bytes
    bool cut_ = false;
    std::int64_t read_ = 0;
    std::int64_t unmeasurable_ = 0;
    bool ended_ = false;
    Descriptor input_; // standard input, when read in place
};

class ProgrammeSource final : public AudioSource
{
public:
    ProgrammeSource(double seconds, double rate)
    : rate_(rate), total_(static_cast<std::int64_t>(std::llround(seconds * rate)))
    {}
    int channels() const override { return 2; }
    double sampleRate() const override { return rate_; }
    std::int64_t frames() const override { return total_; }
    std::string name() const override { return kTestProgrammeName; }

    std::int64_t read(float* const* out, std::int64_t maxFrames) override
    {
        std::int64_t n = std::min(maxFrames, total_ - pos_);
        for (std::int64_t i = 0; i < n; ++i) {
            float l = 0.0f, r = 0.0f;
            sample(pos_ + i, l, r);
            out[0][i] = l;
            out[1][i] = r;
        }
        pos_ += n;
        return n;
    }

private:
    // Sections by time: 0-8 s tone, 8-14 s noise, 14-16 s quiet tone, 16-20 s loud low tone.
    void sample(std::int64_t k, float& l, float& r)
    {
        const double t = static_cast<double>(k) / rate_;
        const double twoPi = 6.283185307179586;
        if (t < 8.0) {
            float v = static_cast<float>(0.1 * std::sin(twoPi * 997.0 * t));
            l = r = v;
        } else if (t < 14.0) {
            l = static_cast<float>(0.05 * noise(seedL_));
            r = static_cast<float>(0.05 * noise(seedR_));
        } else if (t < 16.0) {
            float v = static_cast<float>(0.003 * std::sin(twoPi * 440.0 * t));
            l = r = v;
        } else {
            double a = 0.25;
            if (t >= 18.0 && t < 18.01)
                a = 0.95;
            l = static_cast<float>(a * std::sin(twoPi * 100.0 * t));
            r = static_cast<float>(a * std::sin(twoPi * 100.0 * t + 0.5));
        }
    }
    // Uniform in [-1, 1) from a 32-bit linear congruential generator.
    static double noise(std::uint32_t& s)
    {
        s = s * 1664525u + 1013904223u;
        return static_cast<double>(s) / 2147483648.0 - 1.0;
    }

    double rate_;
    std::int64_t total_;
    std::int64_t pos_ = 0;
    std::uint32_t seedL_ = 12345u;
    std::uint32_t seedR_ = 67890u;
};

} // namespace

std::uint64_t AudioSource::speakers() const
{
    return defaultSpeakers(channels());
}

std::uint64_t defaultSpeakers(int channels)
{
    using namespace arrangement;
    switch (channels) {
    case 1:
        return kMono;
    case 2:
        return kStereo;
    case 3:
        return k30;
    case 4:
        return kQuad;
    case 5:
        return k50;
    case 6:
        return k51;
    case 7:
        return k61;
    case 8:
        return k71;
    default:
        return channels >= 64 ? ~0ull : (1ull << std::max(channels, 0)) - 1;
    }
}

std::unique_ptr<AudioSource> openAudioFile(const std::string& path, std::string& error)
{
    if (path.empty()) {
        error = "an empty file name was given";
        return nullptr;
    }
    const bool standardInput = path == "-";
    const auto cannotRead = [&path, &error](const std::string& why) {
        error = "cannot read " + path + ": " + why;
        return nullptr;
    };
    // Told before anything here opens a descriptor, which would take its number (no file before it
    // keeps one open).
    if (standardInput && fcntl(STDIN_FILENO, F_GETFD) < 0 && errno == EBADF)
        return cannotRead("standard input is closed");
    struct stat st
    {};
    if (!standardInput && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return cannotRead("it is a directory");
    // The header and the samples are read from the one file opened here; a stream that cannot seek
    // (a pipe) is read from its spooled copy, as a file.
    Descriptor own(standardInput ? -1 : open(path.c_str(), O_RDONLY | O_CLOEXEC));
    int fd = standardInput ? STDIN_FILENO : own.get();
    if (fd < 0)
        return cannotRead(std::strerror(errno));
    // libsndfile reads a file from its start: standard input past its start is copied too.
    const bool spooled = lseek(fd, 0, SEEK_CUR) != 0;
    if (spooled) {
        own = spool(fd, error);
        fd = own.get();
        if (fd < 0)
            return cannotRead(error);
    }
    if (standardInput && nothingLeft(fd))
        return cannotRead("standard input is empty");
    // Standard input read in place goes with its source, or at once when refused, as a later "-"
    // finds it closed.
    Descriptor input(standardInput && !spooled ? STDIN_FILENO : -1);
    const StatedAudio stated = statedAudio(fd);
    SF_INFO info{};
    std::string why;
    const std::uint64_t failedBefore = failedAllocationsOnThisThread();
    // Only a file opened by its name has a name that tells a format.
    SNDFILE* f = openHeld(fd, standardInput || spooled ? std::string() : path, info, why);
    const bool shortOfMemory = failedAllocationsOnThisThread() != failedBefore;
    if (!f) {
        if (shortOfMemory || (why.empty() && libraryOutOfMemory(nullptr)))
            throw std::bad_alloc();
        return cannotRead(why.empty() ? sf_strerror(nullptr) : why);
    }
    // Opened all the same: a header read short of memory may give other samples.
    if (shortOfMemory) {
        sf_close(f);
        throw std::bad_alloc();
    }
    if (info.channels < 1) {
        error = path + ": no channels";
        sf_close(f);
        return nullptr;
    }
    if (info.samplerate < 1) {
        error = path + ": invalid sample rate";
        sf_close(f);
        return nullptr;
    }
    if (info.frames < 0) {
        error = path + ": unknown length";
        sf_close(f);
        return nullptr;
    }
    // libsndfile's length of headerless samples is the file's size (the 12 bytes it skips in a
    // headerless AU file too), and of MPEG audio without a frame count an estimate from its size.
    const int container = info.format & SF_FORMAT_TYPEMASK;
    const bool lengthStated = container != SF_FORMAT_RAW && (container != SF_FORMAT_MPEG || mpegFramesCounted(fd));
    try {
        return std::make_unique<SndfileSource>(f, info, stated, lengthStated, path, std::move(input));
    } catch (const std::bad_alloc&) {
        sf_close(f); // the source never took it
        throw;
    }
}

std::unique_ptr<AudioSource> makeTestProgramme(double seconds, double sampleRate)
{
    return std::make_unique<ProgrammeSource>(seconds, sampleRate);
}

bool writeWavFile(const std::string& path, const std::vector<float>& interleaved, int channels, int sampleRate,
                  std::string& error)
{
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    sf_count_t frames = static_cast<sf_count_t>(interleaved.size() / static_cast<std::size_t>(channels));
    sf_count_t wrote = sf_writef_float(f, interleaved.data(), frames);
    sf_close(f);
    if (wrote != frames) {
        error = "short write to " + path;
        return false;
    }
    return true;
}

} // namespace qelhost
