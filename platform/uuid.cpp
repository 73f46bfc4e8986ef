#include "platform/uuid.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace Platform {

namespace {

bool readUrandom(unsigned char* out, size_t size)
{
    int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd, out + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return done == size;
}

bool readRandomDevice(unsigned char* out, size_t size)
{
    try {
        std::random_device device;
        for (size_t i = 0; i < size; i += 4) {
            unsigned int word = device();
            for (size_t k = 0; k < 4 && i + k < size; ++k)
                out[i + k] = static_cast<unsigned char>(word >> (8 * k));
        }
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

bool createUUID(unsigned char bytes[16])
{
    if (!bytes)
        return false;
    unsigned char raw[16];
    if (!readUrandom(raw, sizeof raw) && !readRandomDevice(raw, sizeof raw))
        return false;
    raw[6] = static_cast<unsigned char>((raw[6] & 0x0F) | 0x40); // version 4
    raw[8] = static_cast<unsigned char>((raw[8] & 0x3F) | 0x80); // RFC 4122 variant
    std::memcpy(bytes, raw, sizeof raw);
    return true;
}

} // namespace Platform
