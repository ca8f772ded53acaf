#pragma once
// The join's buffers: uninitialised, since every element is written before it is read.

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

namespace velmora::fast::join {

// Plain pages: on the machines measured, asking for 2 MB pages made the first touch of fresh memory
// several times slower, and fresh memory is what a join mostly touches.
inline void* allocateBytes(std::size_t bytes) {
    void* p = std::malloc(std::max<std::size_t>(bytes, 64));
    if (!p)
        throw std::bad_alloc();
    return p;
}

inline void freeBytes(void* p) { std::free(p); }

/// Elements of a buffer are written before they are read: no zeroing.
template <class T>
class Buffer {
public:
    Buffer() = default;
    explicit Buffer(std::size_t n) : m_data(static_cast<T*>(allocateBytes(n * sizeof(T)))), m_size(n) {}
    T* data() const { return m_data.get(); }
    std::size_t size() const { return m_size; }
    T& operator[](std::size_t i) const { return m_data.get()[i]; }

private:
    struct Free {
        void operator()(T* p) const { freeBytes(p); }
    };
    std::unique_ptr<T, Free> m_data;
    std::size_t m_size = 0;
};

} // namespace velmora::fast::join
