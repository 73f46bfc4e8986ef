// Typed binary reader and writer. Multi-byte values are stored little-endian unless the byte
// order says otherwise; every read reports a short read and leaves zeros behind.
#pragma once

#include "base/ftypes.h"
#include "base/ibstream.h"

#include <bit>
#include <cstddef>

namespace Calvereth {

enum
{
    kLittleEndian = 0,
    kBigEndian = 1
};

class FStreamer
{
public:
    explicit FStreamer(int16 byteOrder = kLittleEndian) : byteOrder(byteOrder) {}

    virtual TSize readRaw(void* buffer, int32 size) = 0;
    virtual TSize writeRaw(const void* buffer, int32 size) = 0;
    virtual int64 seek(int64 position, int32 mode) = 0; // new position or -1
    virtual int64 tell() = 0;

    int16 getByteOrder() const { return byteOrder; }
    void setByteOrder(int16 order) { byteOrder = order; }

    bool writeInt16(int16 value) { return writeValues(&value, 1); }
    bool readInt16(int16& value) { return readValues(&value, 1); }
    bool writeInt16u(uint16 value) { return writeValues(&value, 1); }
    bool readInt16u(uint16& value) { return readValues(&value, 1); }
    bool writeInt16Array(const int16* values, int32 count) { return writeValues(values, count); }
    bool readInt16Array(int16* values, int32 count) { return readValues(values, count); }
    bool writeInt16uArray(const uint16* values, int32 count) { return writeValues(values, count); }
    bool readInt16uArray(uint16* values, int32 count) { return readValues(values, count); }

    bool writeInt32(int32 value) { return writeValues(&value, 1); }
    bool readInt32(int32& value) { return readValues(&value, 1); }
    bool writeInt32u(uint32 value) { return writeValues(&value, 1); }
    bool readInt32u(uint32& value) { return readValues(&value, 1); }
    bool writeInt32Array(const int32* values, int32 count) { return writeValues(values, count); }
    bool readInt32Array(int32* values, int32 count) { return readValues(values, count); }
    bool writeInt32uArray(const uint32* values, int32 count) { return writeValues(values, count); }
    bool readInt32uArray(uint32* values, int32 count) { return readValues(values, count); }

    bool writeInt64(int64 value) { return writeValues(&value, 1); }
    bool readInt64(int64& value) { return readValues(&value, 1); }
    bool writeInt64u(uint64 value) { return writeValues(&value, 1); }
    bool readInt64u(uint64& value) { return readValues(&value, 1); }
    bool writeInt64Array(const int64* values, int32 count) { return writeValues(values, count); }
    bool readInt64Array(int64* values, int32 count) { return readValues(values, count); }
    bool writeInt64uArray(const uint64* values, int32 count) { return writeValues(values, count); }
    bool readInt64uArray(uint64* values, int32 count) { return readValues(values, count); }

    bool writeFloat(float value) { return writeValues(&value, 1); }
    bool readFloat(float& value) { return readValues(&value, 1); }
    bool writeFloatArray(const float* values, int32 count) { return writeValues(values, count); }
    bool readFloatArray(float* values, int32 count) { return readValues(values, count); }
    bool writeDouble(double value) { return writeValues(&value, 1); }
    bool readDouble(double& value) { return readValues(&value, 1); }
    bool writeDoubleArray(const double* values, int32 count) { return writeValues(values, count); }
    bool readDoubleArray(double* values, int32 count) { return readValues(values, count); }

    // 2 bytes: 1 for true, 0 for false; any non-zero value reads as true.
    bool writeBool(bool value);
    bool readBool(bool& value);

    bool skip(uint32 bytes);

    // Counted text: a 32-bit length (text and terminator; 0 for null), then the bytes.
    bool writeStr8(const char8* text);
    // The text as a new array (delete[] by the caller), always terminated; null for a length of 0,
    // a short read or a length beyond what the stream holds.
    char8* readStr8();
    static int32 getStr8Size(const char8* text);

    // The text's bytes, with its terminator when asked; the number of bytes written.
    TSize writeString8(const char8* text, bool terminate = false);
    // Bytes up to a 0 or a line feed, at most size - 1 of them kept; a trailing carriage return
    // and line feed end the text. Answers the length of the text; a size below 1 writes nothing.
    int32 readLine8(char8* destination, int32 size);

    // 8-bit text when every character is below 128, otherwise the UTF-8 byte-order mark and UTF-8;
    // then a 0 byte.
    bool writeStringUtf8(const char16* text);
    // Reads up to a 0 byte and decodes it (UTF-8 after a byte-order mark); at most capacity - 1
    // characters are kept. Answers the length; a capacity below 1 writes nothing.
    int32 readString8(char16* destination, int32 capacity);

protected:
    ~FStreamer() = default;

private:
    // Every typed read and write, one element type per instance. Writing stops at the first value
    // not written whole; reading stops at the first short one, which is left 0.
    template <class T>
    bool writeValues(const T* values, int32 count)
    {
        if (count < 0 || (count > 0 && !values))
            return false;
        for (int32 i = 0; i < count; ++i) {
            T v = values[i];
            toStreamOrder(v);
            if (writeRaw(&v, sizeof(T)) != static_cast<TSize>(sizeof(T)))
                return false;
        }
        return true;
    }
    template <class T>
    bool readValues(T* values, int32 count)
    {
        if (count < 0 || (count > 0 && !values))
            return false;
        for (int32 i = 0; i < count; ++i) {
            T v;
            if (readRaw(&v, sizeof(T)) != static_cast<TSize>(sizeof(T))) {
                values[i] = T{};
                return false;
            }
            toStreamOrder(v);
            values[i] = v;
        }
        return true;
    }
    // Reverses the value's bytes when the stream's order is not this machine's; the same step
    // turns a stored value back.
    template <class T>
    void toStreamOrder(T& value) const
    {
        const bool streamLittleEndian = byteOrder == kLittleEndian;
        if (streamLittleEndian == (std::endian::native == std::endian::little))
            return;
        auto* b = reinterpret_cast<unsigned char*>(&value);
        for (size_t i = 0, j = sizeof(T) - 1; i < j; ++i, --j) {
            const unsigned char t = b[i];
            b[i] = b[j];
            b[j] = t;
        }
    }

    int16 byteOrder;
};

// The streamer over a host stream; it holds no reference on the stream.
class IBStreamer : public FStreamer
{
public:
    explicit IBStreamer(IBStream* stream, int16 byteOrder = kLittleEndian) : FStreamer(byteOrder), stream(stream) {}
    virtual ~IBStreamer() = default;

    TSize readRaw(void* buffer, int32 size) override;
    TSize writeRaw(const void* buffer, int32 size) override;
    int64 seek(int64 position, int32 mode) override;
    int64 tell() override;

    IBStream* getStream() const { return stream; }

private:
    IBStream* stream;
};

// Frames a block with a 32-bit size in front of it.
class SizeChunkWriter
{
public:
    explicit SizeChunkWriter(FStreamer& streamer) : streamer(streamer) {}
    void begin();
    // Writes the block's size into the placeholder and answers it; 0 without begin.
    int64 end();

private:
    FStreamer& streamer;
    int64 startPosition = -1;
};

// Leaves the stream after the framed block on destruction, whatever was read inside it.
class SizeChunkReader
{
public:
    explicit SizeChunkReader(FStreamer& streamer) : streamer(streamer) {}
    ~SizeChunkReader();
    void begin();

private:
    FStreamer& streamer;
    int64 endPosition = -1;
};

} // namespace Calvereth
