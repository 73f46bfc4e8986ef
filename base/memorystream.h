// A host stream over memory that grows as it is written; reference-counted, created with one
// reference.
#pragma once

#include "base/ibstream.h"

#include <cstdint>

namespace Calvereth {

class MemoryStream : public IBStream
{
public:
    MemoryStream() = default;
    // Reads the given bytes (copied); writes go to the copy.
    MemoryStream(const void* data, int64_t size);
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    tresult queryInterface(const TUID iid, void** obj) override;
    uint32 addRef() override;
    uint32 release() override;

    int32_t read(void* buffer, int32_t numBytes, int32_t* numBytesRead) override;
    int32_t write(void* buffer, int32_t numBytes, int32_t* numBytesWritten) override;
    int32_t seek(int64_t pos, int32_t mode, int64_t* result) override;
    int32_t tell(int64_t* pos) override;

    const uint8_t* getData() const { return data; }
    int64_t getSize() const { return size; }
    // Cuts the stream to n bytes (n <= size); the position stays within it.
    void truncate(int64_t n);

protected:
    virtual ~MemoryStream();

private:
    bool reserve(int64_t bytes);

    int32 refCount = 1;
    uint8_t* data = nullptr;
    int64_t size = 0;
    int64_t capacity = 0;
    int64_t position = 0;
};

} // namespace Calvereth
