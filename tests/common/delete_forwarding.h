// Every form of the global operator delete but the plain one passes the pointer on to the plain
// one: included right after a test program's own definition of `operator delete(void*)`.
#pragma once

#include <cstddef>
#include <new>

void operator delete[](void* p) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    ::operator delete(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    ::operator delete(p);
}
