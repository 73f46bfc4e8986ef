#pragma once
// Random identifiers, standing in for the system's UUID service.

namespace Platform {

// Fills 16 bytes with a fresh random version-4 UUID in its textual byte order.
// Returns false (bytes untouched) when no random source answers.
bool createUUID(unsigned char bytes[16]);

} // namespace Platform
