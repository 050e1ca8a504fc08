#pragma once

#include <cstddef>
#include <new>

// Memory for the large arrays of a flight: its records and its analysis
// series.  Memory fresh from the system costs a page fault every 4 KB on
// first touch, which virtual machines make slow: a full flash's flight
// touches some 50 MB.  Large pieces are therefore mapped on their own,
// aligned to 2 MB and offered to the kernel for huge pages, and unmapped
// again when freed; small ones come from the heap as usual.
namespace okukipo::bulkmemory {

// AddressSanitizer sees misuse only of memory taken from the heap piece by
// piece; under it, large pieces and records come from the heap too.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool heapOnly = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool heapOnly = true;
#else
constexpr bool heapOnly = false;
#endif
#else
constexpr bool heapOnly = false;
#endif

// The huge page size, which mapped pieces are aligned to.
constexpr std::size_t hugePageBytes = std::size_t(2) << 20;

constexpr std::size_t roundedUp(std::size_t bytes, std::size_t unit)
{
    return (bytes + unit - 1) / unit * unit;
}

// Pieces of 1 MB and more are mapped on their own.
inline bool mapped(std::size_t bytes)
{
    return !heapOnly && bytes >= (std::size_t(1) << 20);
}

// A piece of bytes bytes aligned to 2 MB; throws std::bad_alloc.
void *map(std::size_t bytes);
void unmap(void *piece, std::size_t bytes) noexcept;

// Gives large vectors mapped memory.
template<class T>
struct Allocator {
    using value_type = T;

    Allocator() = default;
    template<class U>
    Allocator(const Allocator<U> &) noexcept
    {
    }

    T *allocate(std::size_t count)
    {
        const std::size_t bytes = count * sizeof(T);
        return static_cast<T *>(mapped(bytes) ? map(bytes) : ::operator new(bytes));
    }

    void deallocate(T *piece, std::size_t count) noexcept
    {
        const std::size_t bytes = count * sizeof(T);
        if (mapped(bytes))
            unmap(piece, bytes);
        else
            ::operator delete(piece);
    }

    template<class U>
    bool operator==(const Allocator<U> &) const noexcept
    {
        return true;
    }
    template<class U>
    bool operator!=(const Allocator<U> &) const noexcept
    {
        return false;
    }
};

} // namespace okukipo::bulkmemory
