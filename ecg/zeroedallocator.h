#ifndef MALVORANT_ZEROEDALLOCATOR_H
#define MALVORANT_ZEROEDALLOCATOR_H

#include <cstdlib>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

// An allocator for tables that make room long before they use it: the memory
// comes zeroed from calloc, and making room writes nothing into it. A large
// block comes straight from the system, whose zero pages cost nothing until
// they are first written, so room held ahead of use stays free until used.
// Room beyond a container's size is calloc's zeros as long as the container
// only grows; a table that shrinks and grows again sees its old values.
template <class T>
struct ZeroedAllocator {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                  "only for plain records");
    using value_type = T;

    ZeroedAllocator() = default;
    template <class U>
    ZeroedAllocator(const ZeroedAllocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t n)
    {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T))
            throw std::bad_array_new_length();
        void* p = std::calloc(n, sizeof(T));
        if (!p)
            throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) noexcept { std::free(p); }

    // Default construction leaves calloc's zeros where they are.
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    template <class U>
    bool operator==(const ZeroedAllocator<U>&) const noexcept
    {
        return true;
    }
    template <class U>
    bool operator!=(const ZeroedAllocator<U>&) const noexcept
    {
        return false;
    }
};

#endif
