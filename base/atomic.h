#pragma once
// 32-bit atomic helpers, each a full (sequentially consistent) barrier.
#include <atomic>

#include "base/ftypes.h"

namespace Calvereth {

static_assert(std::atomic_ref<int32>::is_always_lock_free);

// Returns the value before adding 1.
inline int32 atomicIncrement(int32* value)
{
    return std::atomic_ref<int32>(*value).fetch_add(1, std::memory_order_seq_cst);
}

// Returns the value before subtracting 1.
inline int32 atomicDecrement(int32* value)
{
    return std::atomic_ref<int32>(*value).fetch_sub(1, std::memory_order_seq_cst);
}

// Returns the value before adding n.
inline int32 atomicFetchAdd(int32* value, int32 n)
{
    return std::atomic_ref<int32>(*value).fetch_add(n, std::memory_order_seq_cst);
}

// Returns the value after adding n (wraps like the platform's 32-bit add).
inline int32 atomicAdd(int32* value, int32 n)
{
    int32 before = std::atomic_ref<int32>(*value).fetch_add(n, std::memory_order_seq_cst);
    return static_cast<int32>(static_cast<uint32>(before) + static_cast<uint32>(n));
}

// True when *value equaled expected and now holds desired.
inline bool atomicCompareAndSwap(int32* value, int32 expected, int32 desired)
{
    return std::atomic_ref<int32>(*value).compare_exchange_strong(expected, desired, std::memory_order_seq_cst);
}

// Plain read that pairs with the helpers above (another thread may be changing the value).
inline int32 atomicLoad(const int32* value)
{
    return std::atomic_ref<int32>(*const_cast<int32*>(value)).load(std::memory_order_seq_cst);
}

inline void atomicStore(int32* value, int32 n)
{
    std::atomic_ref<int32>(*value).store(n, std::memory_order_seq_cst);
}

} // namespace Calvereth
