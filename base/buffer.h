// A growable block of bytes with a fill position, which is also the read position of get.
#pragma once

#include "base/ftypes.h"

namespace Calvereth {

class String;

class Buffer
{
public:
    Buffer();
    explicit Buffer(uint32 size);
    Buffer(uint32 size, uint8 fill);
    Buffer(const Buffer& other);
    virtual ~Buffer();

    Buffer& operator=(const Buffer& other);
    // Equal sizes and equal bytes over the whole memory, whatever the fill positions.
    bool operator==(const Buffer& other) const;
    bool operator!=(const Buffer& other) const { return !(*this == other); }

    // Makes the memory exactly n bytes, keeping what fits; true when memory is held exactly when
    // n is not 0.
    bool setSize(uint32 n);
    bool grow(uint32 n);

    bool put(const void* bytes, uint32 n);
    bool put(char8 c);
    bool put(char16 c);
    bool putString8(const char8* text);
    // Copies up to n bytes from the fill position on and advances it; the number copied.
    uint32 get(void* destination, uint32 n);

    void take(Buffer& other);
    bool flush();
    // Opens (amount > 0) or closes (amount < 0) a gap at position within the filled bytes. Closing
    // removes the filled bytes from position on, at most -amount of them; nothing when position
    // lies at or past the fill position or -amount is not below it.
    void shiftAt(uint32 position, int32 amount);
    bool prependChar16(char16 unit);
    // Moves all memory by amount, filling what is opened with fill; the fill position stays.
    void shiftStart(int32 amount, uint8 fill);
    bool copy(uint32 from, uint32 to, uint32 n);

    bool fromHexString(const char8* text);
    bool toHexString(String& result) const;
    // The filled bytes as 8-bit text in a code page become their 16-bit form, and back.
    virtual bool toWideString(int32 sourceCodePage);
    virtual bool toMultibyteString(int32 destinationCodePage);

    uint8* getData() const { return data; }
    uint8* operator*() const { return data; }
    uint32 getSize() const { return memSize; }
    uint32 getFill() const { return fillSize; }
    // Sets the fill position, at most the memory size.
    bool setFillSize(uint32 n);
    uint32 getDelta() const { return delta; }
    void setDelta(uint32 d) { delta = d; }

private:
    // Grows for an append that needs `required` bytes in all (64-bit: sums never wrap).
    bool growFor(uint64 required);

    uint8* data = nullptr;
    uint32 memSize = 0;
    uint32 fillSize = 0;
    uint32 delta = kDefaultDelta;

    static constexpr uint32 kDefaultDelta = 4096;
};

} // namespace Calvereth
