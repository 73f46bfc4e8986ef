#include "base/memorystream.h"

#include "base/atomic.h"

#include <cstdlib>
#include <cstring>

namespace Calvereth {

MemoryStream::MemoryStream(const void* bytes, int64_t n)
{
    if (bytes && n > 0 && reserve(n)) {
        std::memcpy(data, bytes, static_cast<size_t>(n));
        size = n;
    }
}

MemoryStream::~MemoryStream()
{
    std::free(data);
}

tresult MemoryStream::queryInterface(const TUID iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    if (iid && iidEqual(iid, FUnknown::iid)) {
        addRef();
        *obj = static_cast<IBStream*>(this);
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

uint32 MemoryStream::addRef()
{
    return static_cast<uint32>(atomicAdd(&refCount, 1));
}

uint32 MemoryStream::release()
{
    const uint32 left = static_cast<uint32>(atomicAdd(&refCount, -1));
    if (left == 0)
        delete this;
    return left;
}

bool MemoryStream::reserve(int64_t bytes)
{
    if (bytes <= capacity)
        return true;
    int64_t newCapacity = capacity < 256 ? 256 : capacity;
    while (newCapacity < bytes)
        newCapacity *= 2;
    auto* grown = static_cast<uint8_t*>(std::realloc(data, static_cast<size_t>(newCapacity)));
    if (!grown)
        return false;
    data = grown;
    capacity = newCapacity;
    return true;
}

int32_t MemoryStream::read(void* buffer, int32_t numBytes, int32_t* numBytesRead)
{
    if (numBytesRead)
        *numBytesRead = 0;
    if (!buffer || numBytes < 0)
        return kInvalidArgument;
    int64_t available = size - position;
    if (available < 0)
        available = 0;
    const int32_t n = available < numBytes ? static_cast<int32_t>(available) : numBytes;
    if (n > 0)
        std::memcpy(buffer, data + position, static_cast<size_t>(n));
    position += n;
    if (numBytesRead)
        *numBytesRead = n;
    return kResultOk;
}

int32_t MemoryStream::write(void* buffer, int32_t numBytes, int32_t* numBytesWritten)
{
    if (numBytesWritten)
        *numBytesWritten = 0;
    if (!buffer || numBytes < 0)
        return kInvalidArgument;
    const int64_t end = position + numBytes;
    if (!reserve(end))
        return kOutOfMemory;
    if (position > size)
        std::memset(data + size, 0, static_cast<size_t>(position - size));
    if (numBytes > 0)
        std::memcpy(data + position, buffer, static_cast<size_t>(numBytes));
    position = end;
    if (end > size)
        size = end;
    if (numBytesWritten)
        *numBytesWritten = numBytes;
    return kResultOk;
}

int32_t MemoryStream::seek(int64_t pos, int32_t mode, int64_t* result)
{
    int64_t base = 0;
    if (mode == kIBSeekCur)
        base = position;
    else if (mode == kIBSeekEnd)
        base = size;
    else if (mode != kIBSeekSet)
        return kInvalidArgument;
    const int64_t target = base + pos;
    if (target < 0)
        return kInvalidArgument;
    position = target;
    if (result)
        *result = position;
    return kResultOk;
}

int32_t MemoryStream::tell(int64_t* pos)
{
    if (!pos)
        return kInvalidArgument;
    *pos = position;
    return kResultOk;
}

void MemoryStream::truncate(int64_t n)
{
    if (n < 0 || n > size)
        return;
    size = n;
    if (position > size)
        position = size;
}

} // namespace Calvereth
