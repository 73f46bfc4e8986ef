// Calls an operation through its raw slot index: the object's table of operations read as an array,
// as a host built by another compiler would call it.
#pragma once

#include <cstdint>

namespace qeltest {

template <typename R, typename... A>
R callSlot(void* obj, int slot, A... args)
{
    using Fn = R (*)(void*, A...);
    void** table = *static_cast<void***>(obj);
    return reinterpret_cast<Fn>(table[slot])(obj, args...);
}

} // namespace qeltest
