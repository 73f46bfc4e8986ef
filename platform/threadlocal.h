// Platform thread-specific slots.
#pragma once

#include <cstdint>

namespace Platform {

using ThreadLocalDestructor = void (*)(void* value);

// Creates a slot; the destructor runs on each ending thread that holds a non-null value.
bool threadLocalCreate(uint32_t* key, ThreadLocalDestructor destructor);
void threadLocalDelete(uint32_t key);
void* threadLocalGet(uint32_t key);
bool threadLocalSet(uint32_t key, void* value);

} // namespace Platform
