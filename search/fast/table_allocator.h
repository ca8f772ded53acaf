#pragma once
// Memory of the lookup tables.
//
// Memory stays bounded whatever the setup: a sparse table holds at most 10 bytes per entry (values and,
// when hashed, a tag), 4 bytes per bucket (buckets <= entries, or 2^16) and, when hashed, at most one
// byte of presence bits per entry; while a hashed table is sorted it needs room for its largest
// partition twice more. A dense table holds 16 bytes per reachable sum and needs two while it is built.
// FastSearchOptions caps both, only one table is held at a time, and setups whose tables would be
// larger use smaller tables or the recursion, which needs no memory.

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace velmora::fast {

// Tables are read at random: on Linux, ask for 2 MB pages so that look-ups do not also miss the TLB.
template <class T>
struct TableAllocator {
    using value_type = T;
    TableAllocator() = default;
    template <class U>
    TableAllocator(const TableAllocator<U>&) {}
    T* allocate(std::size_t n) {
#if defined(__linux__)
        const std::size_t bytes = n * sizeof(T);
        if (bytes >= kHugePage) {
            void* p = std::aligned_alloc(kHugePage, (bytes + kHugePage - 1) / kHugePage * kHugePage);
            if (!p)
                throw std::bad_alloc();
            madvise(p, bytes, MADV_HUGEPAGE);
            return static_cast<T*>(p);
        }
#endif
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n) {
#if defined(__linux__)
        if (n * sizeof(T) >= kHugePage) {
            std::free(p);
            return;
        }
#endif
        std::allocator<T>().deallocate(p, n);
    }
    // Entries are written before they are read: resizing leaves them uninitialised instead of zeroing.
    template <class U>
    void construct(U* p) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    friend bool operator==(const TableAllocator&, const TableAllocator&) { return true; }

    static constexpr std::size_t kHugePage = std::size_t{1} << 21;
};

template <class T>
using TableVector = std::vector<T, TableAllocator<T>>;

} // namespace velmora::fast
