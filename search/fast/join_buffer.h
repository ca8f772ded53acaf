#pragma once
// The join's buffers: uninitialised, since every element is written before it is read.

#include <cstddef>
#include <memory>

namespace velmora::fast::join {

/// A buffer that will be written whole soon after it is taken can have its pages made at once, which
/// costs less than their first touch one by one (join_buffer.cpp); one written in part must not.
enum class Pages { OnFirstTouch, AtOnce };

void* allocateBytes(std::size_t bytes, Pages pages);     // throws std::bad_alloc
void freeBytes(void* p, std::size_t bytes, Pages pages); // as allocated

/// Elements of a buffer are written before they are read: no zeroing.
template <class T> class Buffer {
public:
    Buffer() = default;
    explicit Buffer(std::size_t n, Pages pages = Pages::OnFirstTouch)
        : m_data(static_cast<T*>(allocateBytes(n * sizeof(T), pages)), Free{n * sizeof(T), pages}), m_size(n) {}
    T* data() const { return m_data.get(); }
    std::size_t size() const { return m_size; }
    T& operator[](std::size_t i) const { return m_data.get()[i]; }

private:
    struct Free {
        std::size_t bytes = 0;
        Pages pages = Pages::OnFirstTouch;
        void operator()(T* p) const { freeBytes(p, bytes, pages); }
    };
    std::unique_ptr<T, Free> m_data;
    std::size_t m_size = 0;
};

} // namespace velmora::fast::join
