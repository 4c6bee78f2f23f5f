// ImageAllocator: the allocator of a large in-memory file image (a tree's image).
//
// Two differences from std::allocator, both for loading a file of tens of megabytes at once:
// resize() leaves new bytes uninitialised (the caller overwrites them or zeroes them with an
// explicit value), and blocks of at least one large page are asked of the system in large
// pages (from 16 MiB on), so that faulting the image in takes one fault per 2 MiB and a random
// search misses the address translation cache far less often.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace mlplat {

template <class T>
class ImageAllocator {
public:
    using value_type = T;
    static constexpr std::size_t kLargePage = std::size_t{2} << 20;
    // Below this a block comes from the heap: its last large page, part empty, would be a
    // noticeable share of it.
    static constexpr std::size_t kLargeBlock = 8 * kLargePage;

    ImageAllocator() noexcept = default;
    template <class U>
    ImageAllocator(const ImageAllocator<U>&) noexcept {}  // NOLINT

    T* allocate(std::size_t n) {
        if (n > (static_cast<std::size_t>(-1) - kLargePage) / sizeof(T))
            throw std::bad_array_new_length();
        const std::size_t nBytes = n * sizeof(T);
        if (nBytes < kLargeBlock)
            return static_cast<T*>(::operator new(nBytes));
        const std::size_t nRounded = (nBytes + kLargePage - 1) / kLargePage * kLargePage;
        void* p = std::aligned_alloc(kLargePage, nRounded);
        if (!p)
            throw std::bad_alloc();
        // Advice only: without large pages the block works the same.
        madvise(p, nRounded, MADV_HUGEPAGE);
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (n * sizeof(T) < kLargeBlock)
            ::operator delete(p);
        else
            std::free(p);
    }
    // Default-initialisation: no zeroing of bytes about to be overwritten.
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    template <class U>
    bool operator==(const ImageAllocator<U>&) const noexcept {
        return true;
    }
};

// A file image in memory.
using ImageBytes = std::vector<std::uint8_t, ImageAllocator<std::uint8_t>>;

}  // namespace mlplat
