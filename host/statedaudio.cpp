#include "host/statedaudio.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace qelhost {

namespace {

// A header has a handful of chunks before its audio; a file of junk chunks is not walked for ever.
constexpr int kMostChunks = 4096;
constexpr std::uint64_t kOpenSize32 = 0xFFFFFFFFu; // a streamed file's size, left open

class Header
{
public:
    explicit Header(int fd) : fd_(fd)
    {
        struct stat st
        {};
        size_ = fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    }
    std::uint64_t size() const { return size_; }
    // Exactly n bytes at `at`, or false.
    bool read(std::uint64_t at, unsigned char* p, std::size_t n) const
    {
        if (at > size_ || n > size_ - at)
            return false;
        while (n > 0) {
            const ssize_t got = pread(fd_, p, n, static_cast<off_t>(at));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            p += got;
            at += static_cast<std::uint64_t>(got);
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    int fd_;
    std::uint64_t size_ = 0;
};

std::uint64_t bigEndian(const unsigned char* p, int n)
{
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = v << 8 | p[i];
    return v;
}

std::uint64_t littleEndian(const unsigned char* p, int n)
{
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

std::int64_t clamped(std::uint64_t v)
{
    return static_cast<std::int64_t>(std::min<std::uint64_t>(v, std::numeric_limits<std::int64_t>::max()));
}

// Audio of `bytes` stated to start at `at`.
StatedAudio audioAt(const Header& h, std::uint64_t at, std::uint64_t bytes)
{
    StatedAudio s;
    s.bytes = clamped(bytes);
    s.held = clamped(std::min(bytes, at < h.size() ? h.size() - at : 0));
    s.cut = s.held < s.bytes;
    return s;
}

// The file ended before the header came to its audio.
StatedAudio endedInHeader()
{
    StatedAudio s;
    s.cut = true;
    return s;
}

// The chunk after one at `at` with a header of `head` bytes and a body of `body`, aligned to
// `align`; false past the end of the file.
bool nextChunk(const Header& h, std::uint64_t& at, std::uint64_t head, std::uint64_t body, std::uint64_t align)
{
    const std::uint64_t room = h.size() - std::min(h.size(), at);
    if (head > room || body > room - head)
        return false;
    at += head + body;
    at += (align - at % align) % align;
    return true;
}

// RIFF, RIFX, RF64 and BW64: chunks of a 4-byte id and a 32-bit size, padded to even. The 64-bit
// forms give the audio's size in their first chunk (ds64) and leave the data chunk's all ones.
StatedAudio riffAudio(const Header& h, bool big, bool ds64)
{
    std::uint64_t longSize = 0;
    bool hasLongSize = false;
    std::uint64_t at = 12;
    for (int i = 0; i < kMostChunks; ++i) {
        unsigned char c[8];
        if (!h.read(at, c, 8))
            return endedInHeader();
        const std::uint64_t size = big ? bigEndian(c + 4, 4) : littleEndian(c + 4, 4);
        if (ds64 && std::memcmp(c, "ds64", 4) == 0) {
            unsigned char sizes[16]; // the whole file's size, then the audio's
            if (!h.read(at + 8, sizes, 16))
                return endedInHeader();
            longSize = littleEndian(sizes + 8, 8);
            hasLongSize = true;
        } else if (std::memcmp(c, "data", 4) == 0) {
            if (size != kOpenSize32)
                return audioAt(h, at + 8, size);
            return hasLongSize ? audioAt(h, at + 8, longSize) : StatedAudio{};
        }
        if (!nextChunk(h, at, 8, size, 2))
            return endedInHeader();
    }
    return {};
}

// Wave64: chunks of a 16-byte id and a 64-bit size that counts the 24 bytes of id and size,
// aligned to 8.
StatedAudio wave64Audio(const Header& h)
{
    static const unsigned char dataId[16] = {'d',  'a',  't',  'a',  0xF3, 0xAC, 0xD3, 0x11,
                                             0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
    std::uint64_t at = 40;
    for (int i = 0; i < kMostChunks; ++i) {
        unsigned char c[24];
        if (!h.read(at, c, 24))
            return endedInHeader();
        const std::uint64_t size = littleEndian(c + 16, 8);
        if (size < 24)
            return {}; // malformed: no length can be told
        if (std::memcmp(c, dataId, 16) == 0)
            return audioAt(h, at + 24, size - 24);
        if (!nextChunk(h, at, 24, size - 24, 8))
            return endedInHeader();
    }
    return {};
}

// AIFF and AIFC: big-endian chunks padded to even; the common chunk counts the frames, the sound
// chunk's body starts with the samples' offset within it and a block size.
StatedAudio aiffAudio(const Header& h)
{
    std::int64_t frames = -1;
    StatedAudio sound;
    bool hasSound = false;
    // The common chunk usually comes first, but may follow the sound.
    const auto found = [&]() {
        if (!hasSound)
            return endedInHeader();
        sound.frames = frames;
        return sound;
    };
    std::uint64_t at = 12;
    for (int i = 0; i < kMostChunks; ++i) {
        unsigned char c[8];
        if (!h.read(at, c, 8))
            return found();
        const std::uint64_t size = bigEndian(c + 4, 4);
        if (std::memcmp(c, "COMM", 4) == 0) {
            unsigned char common[6]; // channels, then frames
            if (!h.read(at + 8, common, 6))
                return found();
            frames = static_cast<std::int64_t>(bigEndian(common + 2, 4));
            if (hasSound)
                return found();
        } else if (std::memcmp(c, "SSND", 4) == 0) {
            unsigned char offset[4];
            if (!h.read(at + 8, offset, 4))
                return endedInHeader();
            const std::uint64_t skip = 8 + bigEndian(offset, 4);
            sound = audioAt(h, at + 8 + skip, size > skip ? size - skip : 0);
            hasSound = true;
            if (frames >= 0)
                return found();
        }
        if (!nextChunk(h, at, 8, size, 2))
            return found();
    }
    return hasSound ? found() : StatedAudio{};
}

// Sun/NeXT: the audio's offset and size in a fixed header, big- or (".dns") little-endian.
StatedAudio auAudio(const Header& h, bool big)
{
    unsigned char c[12];
    if (!h.read(0, c, 12))
        return endedInHeader();
    const std::uint64_t at = big ? bigEndian(c + 4, 4) : littleEndian(c + 4, 4);
    const std::uint64_t size = big ? bigEndian(c + 8, 4) : littleEndian(c + 8, 4);
    if (size == kOpenSize32 || at < 24)
        return {};
    return audioAt(h, at, size);
}

// Other bytes before the first frame that are searched for it, past any ID3v2 tag.
constexpr std::uint64_t kMostBeforeFrame = 65536;

struct Layer3Frame
{
    std::uint64_t length = 0; // 0: no Layer III frame header
    std::uint64_t sideInfo = 0;
};

// The Layer III frame whose 4-byte header is at `b`: MPEG-1, 2 or 2.5, not free-format.
Layer3Frame layer3Frame(const unsigned char* b)
{
    const int version = b[1] >> 3 & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int bitrate = b[2] >> 4, rate = b[2] >> 2 & 3;
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0 || version == 1 || (b[1] >> 1 & 3) != 1 || bitrate == 0 ||
        bitrate == 15 || rate == 3)
        return {};
    static constexpr int kKbps[2][15] = {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
                                         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
    static constexpr int kRates[3] = {44100, 48000, 32000};
    const bool one = version == 3, mono = (b[3] >> 6) == 3;
    const int hz = kRates[rate] >> (one ? 0 : version == 2 ? 1 : 2);
    Layer3Frame f;
    f.length = static_cast<std::uint64_t>((one ? 144000 : 72000) * kKbps[one][bitrate] / hz + (b[2] >> 1 & 1));
    f.sideInfo = one ? (mono ? 17 : 32) : (mono ? 9 : 17);
    return f;
}

// Where the first Layer III frame starts: right at `start`, or past other bytes where another
// frame of the same stream follows it (a lone sync word in the bytes is no frame); false when none
// is found soon enough.
bool firstLayer3Frame(const Header& h, std::uint64_t start, std::uint64_t& at, Layer3Frame& frame)
{
    unsigned char buffer[4096 + 3];
    for (std::uint64_t from = start; from < h.size() && from - start < kMostBeforeFrame; from += 4096) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer, h.size() - from));
        if (!h.read(from, buffer, n))
            return false;
        for (std::size_t i = 0; i + 4 <= n && i < 4096; ++i) {
            frame = layer3Frame(buffer + i);
            if (frame.length == 0)
                continue;
            at = from + i;
            unsigned char next[4];
            if (at == start ||
                (h.read(at + frame.length, next, 4) && layer3Frame(next).length != 0 &&
                 (next[1] & 0xFE) == (buffer[i + 1] & 0xFE) && (next[2] & 0x0C) == (buffer[i + 2] & 0x0C)))
                return true;
        }
    }
    return false;
}

} // namespace

bool mpegFramesCounted(int fd)
{
    const Header h(fd);
    // ID3v2 tags: a 10-byte header with the body's size in 7-bit bytes, and a 10-byte footer when
    // flagged.
    std::uint64_t at = 0;
    unsigned char tag[10];
    for (int i = 0; i < kMostChunks && h.read(at, tag, 10) && std::memcmp(tag, "ID3", 3) == 0; ++i)
        at += 10 + ((tag[6] & 0x7Fu) << 21 | (tag[7] & 0x7Fu) << 14 | (tag[8] & 0x7Fu) << 7 | (tag[9] & 0x7Fu)) +
              (tag[5] & 0x10 ? 10 : 0);
    Layer3Frame frame;
    if (!firstLayer3Frame(h, at, at, frame))
        return false;
    // The header follows the side information, which is zero but for its first two bytes.
    unsigned char side[32 + 12];
    if (!h.read(at + 4, side, frame.sideInfo + 12))
        return false;
    for (std::uint64_t i = 2; i < frame.sideInfo; ++i)
        if (side[i] != 0)
            return false;
    const unsigned char* header = side + frame.sideInfo;
    return (std::memcmp(header, "Xing", 4) == 0 || std::memcmp(header, "Info", 4) == 0) &&
           (bigEndian(header + 4, 4) & 1) != 0 && bigEndian(header + 8, 4) > 0;
}

StatedAudio statedAudio(int fd)
{
    const Header h(fd);
    unsigned char id[12];
    if (!h.read(0, id, sizeof(id)))
        return {};
    auto is = [&id](std::size_t at, const char* text) { return std::memcmp(id + at, text, 4) == 0; };
    if ((is(0, "RIFF") || is(0, "RIFX")) && is(8, "WAVE"))
        return riffAudio(h, is(0, "RIFX"), false);
    if ((is(0, "RF64") || is(0, "BW64")) && is(8, "WAVE"))
        return riffAudio(h, false, true);
    if (is(0, "riff") && id[4] == 0x2E && id[5] == 0x91 && id[6] == 0xCF && id[7] == 0x11)
        return wave64Audio(h);
    if (is(0, "FORM") && (is(8, "AIFF") || is(8, "AIFC")))
        return aiffAudio(h);
    if (is(0, ".snd") || is(0, "dns."))
        return auAudio(h, is(0, ".snd"));
    return {};
}

} // namespace qelhost
