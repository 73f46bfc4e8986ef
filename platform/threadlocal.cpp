#include "platform/threadlocal.h"

#include <pthread.h>

namespace Platform {

static_assert(sizeof(pthread_key_t) <= sizeof(uint32_t));

bool threadLocalCreate(uint32_t* key, ThreadLocalDestructor destructor)
{
    if (!key)
        return false;
    pthread_key_t k;
    if (pthread_key_create(&k, destructor) != 0)
        return false;
    *key = static_cast<uint32_t>(k);
    return true;
}

void threadLocalDelete(uint32_t key)
{
    pthread_key_delete(static_cast<pthread_key_t>(key));
}

void* threadLocalGet(uint32_t key)
{
    return pthread_getspecific(static_cast<pthread_key_t>(key));
}

bool threadLocalSet(uint32_t key, void* value)
{
    return pthread_setspecific(static_cast<pthread_key_t>(key), value) == 0;
}

} // namespace Platform
