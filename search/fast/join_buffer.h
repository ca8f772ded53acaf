#pragma once
// The join's buffers: uninitialised, since every element is written before it is read.

#include <cstddef>
#include <memory>

namespace velmora::fast::join {

void* allocateBytes(std::size_t bytes);     // throws std::bad_alloc
void freeBytes(void* p, std::size_t bytes); // bytes: as allocated

/// Elements of a buffer are written before they are read: no zeroing.
template <class T> class Buffer {
public:
    Buffer() = default;
    explicit Buffer(std::size_t n)
        : m_data(static_cast<T*>(allocateBytes(n * sizeof(T))), Free{n * sizeof(T)}), m_size(n) {}
    T* data() const { return m_data.get(); }
    std::size_t size() const { return m_size; }
    T& operator[](std::size_t i) const { return m_data.get()[i]; }

private:
    struct Free {
        std::size_t bytes = 0;
        void operator()(T* p) const { freeBytes(p, bytes); }
    };
    std::unique_ptr<T, Free> m_data;
    std::size_t m_size = 0;
};

} // namespace velmora::fast::join
