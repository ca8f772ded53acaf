#pragma once

// The pieces of the join: the combinations of a run of terms, the two halves of a side, uninitialised
// buffers, a small in-cache table of keys, and the partitioned scatter both sides go through.

#include "search/fast/join.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace velmora::fast::join {

/// Every combination of the consecutive terms [from, to) of a box, first term fastest, with its sum
/// and its packed values. An empty run of terms has one combination, of sum 0.
struct TermRun {
    std::vector<std::int64_t> sums;
    std::vector<PackedValues> packed;
    std::int64_t min = 0;
    std::int64_t max = 0;
    unsigned bits = 0; ///< bit width of the largest index
};

TermRun makeTermRun(const JoinBox& box, int from, int to);

/// The terms [from, to) as two runs: `fast` holds the earlier terms, `slow` the later ones, so that a
/// combination is (slow index, fast index) and, with the slow index major, indices grow in
/// enumeration order.
struct Side {
    TermRun fast;
    TermRun slow;
    std::int64_t min() const { return fast.min + slow.min; }
    std::int64_t max() const { return fast.max + slow.max; }
};

/// Where terms [from, to) split into the two runs of a side: the point where they come closest in size.
int splitPoint(const JoinBox& box, int from, int to);
/// The number of combinations of terms [from, to).
double combinations(const JoinBox& box, int from, int to);

Side makeSide(const JoinBox& box, int from, int to);

/// Where a listing of the outer side starts: its slow row and, within that row, its fast index.
struct RowStart {
    std::size_t row = 0;
    std::size_t fast = 0;
};

/// The outer side's place of the combination whose terms m+1..8 hold `start` (term k+1 at start[k]),
/// the outer side split into a fast run [m, split) and a slow run [split, 8); the beginning when null.
RowStart startOf(const JoinBox& box, int m, int split, const std::array<std::int32_t, 8>* start);

void* allocateBytes(std::size_t bytes); // throws std::bad_alloc
void freeBytes(void* p);

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

/// Keys of one partition and a value for each: open addressing, grown as it fills. Sized for one
/// partition, it stays in the processor's cache.
class KeyTable {
public:
    static constexpr std::uint32_t kNone = 0xffffffff;

    void reset(std::size_t expected);
    /// Room for `expected` keys, so that a later reset() to at most that many allocates nothing.
    void reserve(std::size_t expected);
    /// The value of `key`, or kNone.
    std::uint32_t find(std::uint32_t key) const {
        for (std::size_t i = slot(key);; i = (i + 1) & m_mask) {
            if (m_values[i] == kNone || m_keys[i] == key)
                return m_values[i];
        }
    }
    /// The value of `key`, given `value` first if it had none (`added` then set).
    std::uint32_t& insert(std::uint32_t key, std::uint32_t value, bool& added) {
        if (2 * (m_used + 1) > m_values.size())
            grow();
        std::size_t i = slot(key);
        for (; m_values[i] != kNone; i = (i + 1) & m_mask)
            if (m_keys[i] == key) {
                added = false;
                return m_values[i];
            }
        ++m_used;
        added = true;
        m_keys[i] = key;
        return m_values[i] = value;
    }

private:
    std::size_t slot(std::uint32_t key) const {
        return static_cast<std::size_t>((key * 0x9e3779b97f4a7c15ull) >> m_shift);
    }
    void grow();

    std::vector<std::uint32_t> m_keys;
    std::vector<std::uint32_t> m_values; // kNone: an empty slot
    std::size_t m_mask = 0;
    unsigned m_shift = 63;
    std::size_t m_used = 0;
};

/// The partition of a key: the top bits of a multiplicative hash, so that the sums of large weights,
/// which crowd a few ranges, spread evenly.
struct Partitioning {
    unsigned bits = 0;
    std::size_t count() const { return std::size_t{1} << bits; }
    std::size_t of(std::uint32_t key) const {
        return bits == 0 ? 0 : static_cast<std::size_t>((key * 0xc2b2ae3d27d4eb4full) >> (64 - bits));
    }
};

/// The keys of a side's rows [rowFirst, rowEnd) of slow indices: key = offset + sign * sum, kept when
/// it lies in [0, span]. A combination's index is (row - rowFirst) << fast.bits | fast index: indices
/// grow in enumeration order, and keyOf() finds the key again from the index.
struct KeyRows {
    const Side* side = nullptr;
    std::int64_t offset = 0;
    int sign = 1;
    std::uint64_t span = 0;
    std::size_t rowFirst = 0;
    std::size_t rowEnd = 0;

    std::uint32_t keyOf(std::uint32_t index) const {
        const std::int64_t sum = side->slow.sums[rowFirst + (index >> side->fast.bits)] +
                                 side->fast.sums[index & ((std::uint32_t{1} << side->fast.bits) - 1)];
        return static_cast<std::uint32_t>(offset + sign * sum);
    }
    std::size_t capacity() const { return (rowEnd - rowFirst) << side->fast.bits; }
};

/// Per-thread counts of a scatter, kept so that scattering again allocates nothing.
using ScatterCursors = std::array<std::vector<std::size_t>, 2>;

/// Scatters the indices of the kept combinations into `out` by the partition of their key, in index
/// order within a partition; `starts` receives count() + 1 offsets. Runs on `threads` threads.
void scatter(const KeyRows& rows, const Partitioning& parts, std::uint32_t* out, std::vector<std::size_t>& starts,
             int threads, ScatterCursors* cursors = nullptr);

/// Runs work(0) and, with two threads, work(1) on a second thread; an exception of either is rethrown.
/// Where the system cannot start a thread, work(1) runs after work(0) on the calling thread.
template <class Work>
void onThreads(int threads, Work&& work) {
    if (threads <= 1) {
        work(0);
        return;
    }
    std::exception_ptr failure;
    std::thread second;
    try {
        second = std::thread([&work, &failure] {
            try {
                work(1);
            } catch (...) {
                failure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        work(0);
        work(1);
        return;
    } catch (const std::bad_alloc&) { // the thread's state
        work(0);
        work(1);
        return;
    }
    try {
        work(0);
    } catch (...) {
        second.join();
        throw;
    }
    second.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace velmora::fast::join
