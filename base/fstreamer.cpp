#include "base/fstreamer.h"

#include "platform/strings.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace Calvereth {

bool FStreamer::writeBool(bool value)
{
    return writeInt16(value ? 1 : 0);
}

bool FStreamer::readBool(bool& value)
{
    int16 v = 0;
    const bool ok = readInt16(v);
    value = ok && v != 0;
    return ok;
}

bool FStreamer::skip(uint32 bytes)
{
    char8 scratch[256];
    while (bytes > 0) {
        const int32 step = bytes < sizeof(scratch) ? static_cast<int32>(bytes) : static_cast<int32>(sizeof(scratch));
        if (readRaw(scratch, step) != step)
            return false;
        bytes -= static_cast<uint32>(step);
    }
    return true;
}

bool FStreamer::writeStr8(const char8* text)
{
    const size_t length = text ? std::strlen(text) : 0;
    if (length >= 0x7FFFFFFF)
        return false;
    const int32 count = text ? static_cast<int32>(length) + 1 : 0;
    if (!writeInt32(count))
        return false;
    if (count < 1)
        return true;
    return writeRaw(text, count) == count;
}

char8* FStreamer::readStr8()
{
    int32 length = 0;
    if (!readInt32(length) || length <= 0)
        return nullptr;
    // The length comes from outside: read in pieces, so that a length beyond what the stream
    // holds fails after reading what is there instead of allocating it up front.
    std::vector<char8> bytes;
    constexpr int32 kPiece = 64 * 1024;
    int32 done = 0;
    while (done < length) {
        const int32 step = length - done < kPiece ? length - done : kPiece;
        bytes.resize(static_cast<size_t>(done) + static_cast<size_t>(step));
        if (readRaw(bytes.data() + done, step) != step)
            return nullptr;
        done += step;
    }
    // One byte more than was stored, so the text is terminated whatever the stream held.
    char8* text = new (std::nothrow) char8[static_cast<size_t>(length) + 1];
    if (!text)
        return nullptr;
    std::memcpy(text, bytes.data(), static_cast<size_t>(length));
    text[length] = 0;
    return text;
}

int32 FStreamer::getStr8Size(const char8* text)
{
    return text ? static_cast<int32>(std::strlen(text)) + 5 : 0;
}

TSize FStreamer::writeString8(const char8* text, bool terminate)
{
    if (!text)
        return 0;
    const size_t length = std::strlen(text) + (terminate ? 1 : 0);
    if (length > 0x7FFFFFFF)
        return 0;
    return writeRaw(text, static_cast<int32>(length));
}

int32 FStreamer::readLine8(char8* destination, int32 size)
{
    if (!destination || size < 1)
        return 0;
    int32 stored = 0;
    while (stored < size) {
        char8 c = 0;
        if (readRaw(&c, 1) != 1)
            break;
        destination[stored++] = c;
        if (c == 0 || c == '\n')
            break;
    }
    if (stored >= 2 && destination[stored - 2] == '\r' && destination[stored - 1] == '\n')
        destination[stored - 2] = 0;
    destination[stored == size ? size - 1 : stored] = 0;
    return static_cast<int32>(std::strlen(destination));
}

bool FStreamer::writeStringUtf8(const char16* text)
{
    std::u16string units = text ? std::u16string(text) : std::u16string();
    bool ascii = true;
    for (char16 c : units)
        if (c >= 128)
            ascii = false;
    const uint32 encoding = Platform::encodingForCodePage(ascii ? 0 : 65001);
    if (!ascii) {
        static const unsigned char kBom[3] = {0xEF, 0xBB, 0xBF};
        if (writeRaw(kBom, 3) != 3)
            return false;
    }
    std::string bytes(Platform::maxSizeForEncoding(units.size(), encoding) + 1, '\0');
    size_t used = 0;
    Platform::encode(units.data(), units.size(), encoding, '?', bytes.data(), bytes.size() - 1, &used);
    bytes.resize(used + 1); // with the terminator
    if (bytes.size() > 0x7FFFFFFF)
        return false;
    const int32 count = static_cast<int32>(bytes.size());
    return writeRaw(bytes.data(), count) == count;
}

int32 FStreamer::readString8(char16* destination, int32 capacity)
{
    if (!destination || capacity < 1)
        return 0;
    destination[0] = 0;
    std::string gathered;
    for (;;) {
        char8 c = 0;
        if (readRaw(&c, 1) != 1)
            break;
        gathered.push_back(c);
        if (c == 0)
            break;
    }
    if (!gathered.empty() && gathered.back() == 0)
        gathered.pop_back();
    size_t start = 0;
    uint32 codePage = 0;
    if (gathered.size() >= 3 && static_cast<unsigned char>(gathered[0]) == 0xEF &&
        static_cast<unsigned char>(gathered[1]) == 0xBB && static_cast<unsigned char>(gathered[2]) == 0xBF) {
        start = 3;
        codePage = 65001;
    }
    std::u16string text;
    if (gathered.size() > start && Platform::decode(gathered.data() + start, gathered.size() - start,
                                                    Platform::encodingForCodePage(codePage), text)) {
        const size_t keep =
            text.size() < static_cast<size_t>(capacity - 1) ? text.size() : static_cast<size_t>(capacity - 1);
        std::memcpy(destination, text.data(), keep * sizeof(char16));
        destination[keep] = 0;
    }
    destination[capacity - 1] = 0;
    int32 length = 0;
    while (destination[length])
        ++length;
    return length;
}

TSize IBStreamer::readRaw(void* buffer, int32 size)
{
    if (!stream || size <= 0 || !buffer)
        return 0;
    int32_t count = 0;
    stream->read(buffer, size, &count);
    // A stream that reports more than it was asked for is not believed.
    return count < 0 ? 0 : (count > size ? size : count);
}

TSize IBStreamer::writeRaw(const void* buffer, int32 size)
{
    if (!stream || size <= 0 || !buffer)
        return 0;
    int32_t count = 0;
    stream->write(const_cast<void*>(buffer), size, &count);
    return count < 0 ? 0 : (count > size ? size : count);
}

int64 IBStreamer::seek(int64 position, int32 mode)
{
    if (!stream)
        return -1;
    int64_t result = -1;
    stream->seek(position, mode, &result);
    return result;
}

int64 IBStreamer::tell()
{
    if (!stream)
        return 0;
    int64_t position = 0;
    stream->tell(&position);
    return position;
}

void SizeChunkWriter::begin()
{
    startPosition = streamer.tell();
    streamer.writeInt32(0);
}

int64 SizeChunkWriter::end()
{
    if (startPosition < 0)
        return 0;
    const int64 position = streamer.tell();
    const int64 size = position - startPosition - 4;
    streamer.seek(startPosition, IBStream::kIBSeekSet);
    streamer.writeInt32(static_cast<int32>(size));
    streamer.seek(position, IBStream::kIBSeekSet);
    return size;
}

void SizeChunkReader::begin()
{
    const int64 start = streamer.tell();
    int32 size = 0;
    streamer.readInt32(size);
    // A negative size from a damaged stream must not move the stream back before the chunk.
    endPosition = start + (size < 0 ? 0 : size) + 4;
}

SizeChunkReader::~SizeChunkReader()
{
    if (endPosition >= 0)
        streamer.seek(endPosition, IBStream::kIBSeekSet);
}

} // namespace Calvereth
