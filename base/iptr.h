#pragma once
// Owning interface pointer: one reference per held pointer.
#include <utility>

namespace Calvereth {

template <class I>
class IPtr
{
public:
    IPtr() = default;
    // addRef false adopts a reference the caller already owns.
    IPtr(I* p, bool addRef = true) : ptr(p)
    {
        if (ptr && addRef)
            ptr->addRef();
    }
    IPtr(const IPtr& other) : ptr(other.ptr)
    {
        if (ptr)
            ptr->addRef();
    }
    template <class T>
    IPtr(const IPtr<T>& other) : ptr(other.get())
    {
        if (ptr)
            ptr->addRef();
    }
    IPtr(IPtr&& other) noexcept : ptr(std::exchange(other.ptr, nullptr)) {}
    ~IPtr()
    {
        if (ptr)
            ptr->release();
    }

    // The new object gains its reference before the old one loses its own: the old one's
    // release may end the last holder of the new one.
    IPtr& operator=(I* p)
    {
        if (p != ptr) {
            if (p)
                p->addRef();
            I* old = ptr;
            ptr = p;
            if (old)
                old->release();
        }
        return *this;
    }
    IPtr& operator=(const IPtr& other) { return *this = other.ptr; }
    template <class T>
    IPtr& operator=(const IPtr<T>& other)
    {
        return *this = other.get();
    }
    IPtr& operator=(IPtr&& other) noexcept
    {
        if (this != &other) {
            I* old = ptr;
            ptr = std::exchange(other.ptr, nullptr);
            if (old)
                old->release();
        }
        return *this;
    }

    operator I*() const { return ptr; }
    I* operator->() const { return ptr; }
    I* get() const { return ptr; }

    // Hands the reference over to the caller.
    I* take() { return std::exchange(ptr, nullptr); }
    void reset(I* p = nullptr) { *this = p; }

private:
    I* ptr = nullptr;
};

// Wraps a pointer whose reference the caller already owns (a freshly created object).
template <class I>
IPtr<I> owned(I* p)
{
    return IPtr<I>(p, false);
}

} // namespace Calvereth
