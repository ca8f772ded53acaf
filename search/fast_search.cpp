#include "search/fast_search.h"

#include "search/fast/join.h"
#include "search/overflow_stop.h"
#include "search/run_time_error.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <numeric>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VELMORA_SSE2 1
#endif
// 64-byte stores where the processor has them, chosen at run time. Not on Windows, where GCC does not
// keep the stack aligned for spilled 64-byte registers.
#if defined(__x86_64__) && !defined(_WIN32) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VELMORA_AVX512 1
#endif

namespace velmora {
namespace {

constexpr int kTerms = SearchSetup::kTermCount;

// Memory stays bounded whatever the setup: a sparse table holds at most 10 bytes per entry (values and,
// when hashed, a tag), 4 bytes per bucket (buckets <= entries, or 2^16) and, when hashed, at most one
// byte of presence bits per entry; while a hashed table is sorted it needs room for its largest
// partition twice more. A dense table holds 16 bytes per reachable sum and needs two while it is built.
// FastSearchOptions caps both, only one table is held at a time, and setups whose tables would be
// larger use smaller tables or the recursion, which needs no memory.

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
std::int64_t ceilDiv(std::int64_t a, std::int64_t b) { return -floorDiv(-a, b); }
std::int64_t floorMod(std::int64_t a, std::int64_t b) { // b > 0
    const std::int64_t r = a % b;
    return r < 0 ? r + b : r;
}

// a^-1 modulo m, for gcd(a, m) = 1 and m > 1.
std::int64_t inverseMod(std::int64_t a, std::int64_t m) {
    std::int64_t r0 = m, r1 = floorMod(a, m), s0 = 0, s1 = 1;
    while (r1 != 0) {
        const std::int64_t q = r0 / r1;
        r0 = std::exchange(r1, r0 - q * r1);
        s0 = std::exchange(s1, s0 - q * s1);
    }
    return floorMod(s0, m);
}

std::uint64_t lane(int k, std::int32_t value) {
    return std::uint64_t{static_cast<std::uint16_t>(value)} << (16 * (k & 3));
}

// Sets term k+1's value in the packed values of a combination: `low` holds terms 1..4, `high` 5..8.
void setLane(std::uint64_t& low, std::uint64_t& high, int k, std::int64_t value) {
    std::uint64_t& word = k < 4 ? low : high;
    word = (word & ~(std::uint64_t{0xffff} << (16 * (k & 3)))) | lane(k, static_cast<std::int32_t>(value));
}

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

// Division of numbers known to be multiples of a fixed divisor: a shift and a multiplication by the
// inverse of its odd part modulo 2^64, instead of a 64-bit division on every look-up.
class ExactDivisor {
public:
    explicit ExactDivisor(std::uint64_t divisor = 1)
        : m_shift(static_cast<unsigned>(std::countr_zero(divisor))), m_odd(divisor >> m_shift) {
        std::uint64_t x = m_odd; // Newton's iteration doubles the correct low bits each step
        for (int i = 0; i < 6; ++i)
            x *= 2 - m_odd * x;
        m_inverse = x;
    }
    bool divides(std::uint64_t n) const {
        return (n & ((std::uint64_t{1} << m_shift) - 1)) == 0 &&
               (n >> m_shift) * m_inverse <= std::numeric_limits<std::uint64_t>::max() / m_odd;
    }
    std::uint64_t divide(std::uint64_t n) const { return (n >> m_shift) * m_inverse; }

private:
    unsigned m_shift = 0;
    std::uint64_t m_odd = 1;
    std::uint64_t m_inverse = 1;
};

// A box of combinations: one inclusive, non-empty range per term. Within a box that lies wholly before
// the overflow stop, sums are exact in 64 bits and need no overflow test.
struct Box {
    std::array<std::int32_t, kTerms> lo{};
    std::array<std::int32_t, kTerms> hi{};
};

std::int64_t productMin(std::int64_t w, const Box& box, int k) {
    return std::min(w * box.lo[static_cast<std::size_t>(k)], w * box.hi[static_cast<std::size_t>(k)]);
}
std::int64_t productMax(std::int64_t w, const Box& box, int k) {
    return std::max(w * box.lo[static_cast<std::size_t>(k)], w * box.hi[static_cast<std::size_t>(k)]);
}
double rangeSize(const Box& box, int k) {
    return double(box.hi[static_cast<std::size_t>(k)]) - box.lo[static_cast<std::size_t>(k)] + 1;
}

// What the recursion knows about one term: its values, and what the terms below it can still reach.
struct Level {
    std::int64_t weight = 0;
    std::int32_t lo = 0;
    std::int32_t hi = 0;
    std::int64_t innerMin = 0; // reachable sums of the terms below
    std::int64_t innerMax = 0;
    std::int64_t innerGcd = 0; // every reachable sum of the terms below is a multiple of it (0: only 0)
    std::int64_t divisor = 1;  // gcd(weight, innerGcd): the remainder must be a multiple of it
    std::int64_t modulus = 1;  // the values that work repeat with this period ...
    std::int64_t inverse = 0;  // ... found through (weight / divisor)^-1 modulo `modulus`

    // Whether the terms below can make `rest` at all.
    bool reachable(std::int64_t rest) const {
        return rest >= innerMin && rest <= innerMax && (innerGcd <= 1 || floorMod(rest, innerGcd) == 0);
    }

    // The values of this (non-zero weight) term that leave a remainder the terms below can reach, as
    // first, last and step `modulus`. Exact when there are no terms below, or only term 1 below.
    bool values(std::int64_t rest, std::int64_t& first, std::int64_t& last) const {
        if (weight > 0) {
            first = ceilDiv(rest - innerMax, weight);
            last = floorDiv(rest - innerMin, weight);
        } else {
            first = ceilDiv(rest - innerMin, weight);
            last = floorDiv(rest - innerMax, weight);
        }
        first = std::max<std::int64_t>(first, lo);
        last = std::min<std::int64_t>(last, hi);
        if (first > last)
            return false;
        if (divisor > 1 && floorMod(rest, divisor) != 0)
            return false;
        if (modulus > 1) {
            const std::int64_t v0 = floorMod(rest / divisor, modulus) * inverse % modulus;
            first += floorMod(v0 - first, modulus);
            return first <= last;
        }
        return true;
    }
};

// Visits every combination of terms 1..K+1 of `box` in enumeration order (term K+1 slowest), with its
// sum and its values packed as 16-bit lanes (term 1 in the low lane). Nested loops, one per term, so
// that the innermost is a plain counting loop.
template <int K, class Visit>
void nestInner(const Box& box, const std::array<std::int64_t, kTerms>& weights, std::int64_t sum,
               std::uint64_t packed, Visit& visit) {
    const std::int32_t lo = box.lo[K];
    const std::int32_t hi = box.hi[K];
    const std::int64_t w = weights[K];
    std::int64_t s = sum + w * lo;
    for (std::int32_t v = lo; v <= hi; ++v, s += w) {
        if constexpr (K == 0)
            visit(s, packed | lane(K, v));
        else
            nestInner<K - 1>(box, weights, s, packed | lane(K, v), visit);
    }
}

template <class Visit>
void forEachInner(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms, Visit&& visit) {
    switch (terms) {
    case 1: nestInner<0>(box, weights, 0, 0, visit); break;
    case 2: nestInner<1>(box, weights, 0, 0, visit); break;
    case 3: nestInner<2>(box, weights, 0, 0, visit); break;
    default: nestInner<3>(box, weights, 0, 0, visit); break;
    }
}

// Meet in the middle for listing: every combination of the inner terms (at most four, so that their
// values pack into 64 bits), grouped by sum, each group in enumeration order. A sum's key is
// (sum - minimum) / gcd. When the keys are no more than the entries, each key has its own bucket and a
// look-up reads its bucket's offsets and then one run of packed values. Otherwise keys are hashed
// (sums of large weights cluster around a few values, so buckets by key range would be crowded): see
// buildHashed. Either way a key's matches are one run of packed values, in enumeration order.
class SparseTable {
public:
    /// `counting`: the table will only count, so it keeps no values (and with a bucket per key, no entries).
    SparseTable(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms, bool counting)
        : m_terms(terms), m_counting(counting) {
        std::int64_t g = 0;
        double entries = 1;
        for (int k = 0; k < terms; ++k) {
            m_lo[static_cast<std::size_t>(k)] = box.lo[static_cast<std::size_t>(k)];
            m_hi[static_cast<std::size_t>(k)] = box.hi[static_cast<std::size_t>(k)];
            const std::int64_t w = weights[static_cast<std::size_t>(k)];
            m_min += productMin(w, box, k);
            m_max += productMax(w, box, k);
            g = std::gcd(g, w);
            entries *= rangeSize(box, k);
        }
        m_gcd = g == 0 ? 1 : g;
        m_divisor = ExactDivisor(static_cast<std::uint64_t>(m_gcd));
        const std::uint64_t maxKey = m_divisor.divide(static_cast<std::uint64_t>(m_max - m_min));
        const auto n = static_cast<std::uint64_t>(entries);
        if (maxKey >= n) {
            m_hashed = true;
            buildHashed(box, weights, terms, n, maxKey);
            return;
        }
        const std::size_t buckets = static_cast<std::size_t>(maxKey) + 1;
        if (counting) {
            m_offsets.assign(buckets + 1, 0);
            countKeys(box, weights, terms, m_offsets.data() + 1);
            std::partial_sum(m_offsets.begin(), m_offsets.end(), m_offsets.begin());
            return;
        }
        m_offsets.resize(buckets + 1);
        m_values.resize(n + kRunPadding);
        buildByMerging(box, weights, terms);
        std::fill(m_values.end() - kRunPadding, m_values.end(), 0);
    }

    // Hashed: h = key * kMultiplier modulo 2^b, b the bit width of the largest key, is a bijection on
    // the keys. Its top bits choose one of about n / kBucketEntries buckets, so that the offsets stay
    // in the processor's second-level cache; the low bits, the tag, tell the keys of a bucket apart.
    // The table is sorted by h and, for equal h, in enumeration order: the entries of a key are one
    // run of packed values, found by scanning the bucket's tags (a line or two) beside them.
    //
    // The sort moves 64-bit elements h << indexBits | index, where the index holds each term's value
    // minus its low bound in a bit field, the last term's field highest: indices grow in enumeration
    // order. The elements are partitioned by the top bits of h in one pass over the enumeration
    // (few streams, written in order); each partition, small enough for the cache, is then sorted by
    // tag and by bucket, and its packed values are written over the partition's own elements.
    void buildHashed(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms,
                     std::uint64_t n, std::uint64_t maxKey) {
        const auto b = static_cast<unsigned>(std::bit_width(maxKey)); // maxKey >= n >= 1
        auto bucketBits = static_cast<unsigned>(n >= 2 * kBucketEntries ? std::bit_width(n / kBucketEntries) - 1 : 0);
        // Tags are 16 bits. A box lies before the overflow stop, so inner sums span less than 2^32 and
        // b <= 32: this asks for at most 2^16 buckets.
        bucketBits = std::min(b, std::max(bucketBits, b > kTagBits ? b - kTagBits : 0u));
        m_tagBits = b - bucketBits;
        m_hashMask = b >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << b) - 1;

        HashedEnumeration e;
        unsigned indexBits = 0;
        for (int k = 0; k < terms; ++k) {
            const auto K = static_cast<std::size_t>(k);
            const std::int64_t w = weights[K];
            const auto size = static_cast<std::uint32_t>(rangeSize(box, k));
            const auto c = static_cast<std::uint64_t>((w < 0 ? -w : w) / m_gcd) * kMultiplier;
            e.size[K] = size;
            e.start[K] = w < 0 ? c * (size - 1) : 0; // key contributions count from the term's minimum product
            e.step[K] = w < 0 ? 0 - c : c;
            e.fieldShift[K] = indexBits;
            e.fieldMask[K] = (std::uint64_t{1} << std::bit_width(size - 1)) - 1;
            e.lowLanes |= lane(k, box.lo[K]);
            indexBits += static_cast<unsigned>(std::bit_width(size - 1));
        }
        if (b + indexBits > 64) // not reached under the memory caps (n <= 2^23 takes at most 27 bits)
            throw std::bad_alloc();
        const std::size_t buckets = std::size_t{1} << bucketBits;
        m_offsets.assign(buckets + 1, 0);
        m_tags.resize(n + kTagPadding);
        std::fill(m_tags.end() - kTagPadding, m_tags.end(), std::uint16_t{0});
        TableVector<std::uint64_t> table(n + kRunPadding);
        std::fill(table.end() - kRunPadding, table.end(), 0);

        const std::uint64_t mask = m_hashMask;
        const auto element = [mask, indexBits](std::uint64_t h, std::uint64_t index) {
            return (h & mask) << indexBits | index;
        };
        // Partitions by the top bits of h keep each later pass within the cache: 256 of them for the
        // largest tables, one when the whole table fits.
        const unsigned partBits = bucketBits > 12 ? std::min(8u, bucketBits - 12) : 0;
        std::vector<std::uint32_t> parts(std::size_t{1} + (std::size_t{1} << partBits), 0);
        std::uint64_t* const out = table.data();
        if (partBits == 0 && (std::uint64_t{1} << b) <= 4 * n) {
            buildFromCounts(box, weights, terms, n, e, out);
            if (!m_counting)
                m_values = std::move(table);
            return;
        }
        if (partBits == 0) {
            std::size_t i = 0;
            e.forEach(terms, [&](std::uint64_t h, std::uint64_t index) { out[i++] = element(h, index); });
            parts[1] = static_cast<std::uint32_t>(n);
        } else {
            const unsigned partShift = indexBits + b - partBits;
            e.forEach(terms, [&](std::uint64_t h, std::uint64_t index) { ++parts[(element(h, index) >> partShift) + 1]; });
            std::partial_sum(parts.begin(), parts.end(), parts.begin());
            std::vector<std::uint32_t> cursor(parts.begin(), parts.end() - 1);
            e.forEach(terms, [&](std::uint64_t h, std::uint64_t index) {
                const std::uint64_t x = element(h, index);
                out[cursor[x >> partShift]++] = x;
            });
        }

        std::uint32_t largest = 0;
        for (std::size_t p = 0; p + 1 < parts.size(); ++p)
            largest = std::max(largest, parts[p + 1] - parts[p]);
        // Tags are sorted least significant digit first (stable), in one or two passes.
        const unsigned digits = m_tagBits > kDigitBits ? 2 : 1;
        const unsigned lowBits = std::min(m_tagBits, kDigitBits);
        const std::array<unsigned, 2> digitShift = {indexBits, indexBits + lowBits};
        const std::array<std::uint64_t, 2> digitMask = {(std::uint64_t{1} << lowBits) - 1,
                                                        (std::uint64_t{1} << (m_tagBits - lowBits)) - 1};
        std::vector<std::uint64_t> scratch(std::size_t{largest} * digits);
        std::array<std::vector<std::uint32_t>, 2> histogram;
        for (unsigned d = 0; d < digits; ++d)
            histogram[d].resize(digitMask[d] + 1);
        const std::uint64_t indexMask = (std::uint64_t{1} << indexBits) - 1;
        const unsigned bucketShift = indexBits + m_tagBits;
        const std::uint64_t tagMask = (std::uint64_t{1} << m_tagBits) - 1;
        const std::size_t partBuckets = buckets >> partBits;
        if (partBits == 0) {
            const auto bits = std::min(b, static_cast<unsigned>(std::bit_width(n)) + kPresentBitsPerKey);
            m_presentShift = b - bits;
            m_present.assign(((std::size_t{1} << bits) + 63) / 64, 0);
        }
        std::uint32_t* const offsets = m_offsets.data();
        std::uint16_t* const tags = m_tags.data();
        for (std::size_t p = 0; p + 1 < parts.size(); ++p) {
            const std::uint32_t size = parts[p + 1] - parts[p];
            std::uint64_t* const part = out + parts[p];
            // Every count in one pass: they do not depend on the order.
            for (unsigned d = 0; d < digits; ++d)
                std::fill(histogram[d].begin(), histogram[d].end(), 0);
            for (std::uint32_t i = 0; i < size; ++i) {
                const std::uint64_t x = part[i];
                ++histogram[0][x >> digitShift[0] & digitMask[0]];
                ++offsets[x >> bucketShift];
            }
            if (digits > 1)
                for (std::uint32_t i = 0; i < size; ++i)
                    ++histogram[1][part[i] >> digitShift[1] & digitMask[1]];
            // By tag, out of the table into scratch.
            const std::uint64_t* from = part;
            for (unsigned d = 0; d < digits; ++d) {
                std::uint64_t* const to = scratch.data() + std::size_t{largest} * d;
                std::uint32_t start = 0;
                for (std::uint32_t& h : histogram[d])
                    start += std::exchange(h, start);
                for (std::uint32_t i = 0; i < size; ++i)
                    to[histogram[d][from[i] >> digitShift[d] & digitMask[d]]++] = from[i];
                from = to;
            }
            // By bucket (stable) back into the partition's place, as packed values and tags.
            std::uint32_t start = parts[p];
            const std::size_t first = p * partBuckets;
            for (std::size_t bucket = first; bucket < first + partBuckets; ++bucket)
                start += std::exchange(offsets[bucket], start);
            // The presence bits of a partitioned table are sized by the first partition's keys
            // (partitions are alike, h being a hash) and set for it afterwards; the later partitions,
            // and a table of one partition (sized by its entries), set them as they are written.
            const auto scatter = [&](auto marking) {
                std::uint64_t* const present = m_present.data();
                const unsigned presentShift = indexBits + m_presentShift;
                for (std::uint32_t i = 0; i < size; ++i) {
                    const std::uint64_t x = from[i];
                    const std::uint32_t at = offsets[x >> bucketShift]++;
                    tags[at] = static_cast<std::uint16_t>(x >> indexBits & tagMask);
                    if (!m_counting)
                        out[at] = e.values(x & indexMask);
                    if constexpr (decltype(marking)::value) {
                        const std::uint64_t slot = x >> presentShift;
                        present[slot >> 6] |= std::uint64_t{1} << (slot & 63);
                    }
                }
            };
            if (p > 0 || partBits == 0) {
                scatter(std::true_type{});
                continue;
            }
            scatter(std::false_type{});
            std::vector<std::uint64_t> keys; // h of each key, from the sorted tags
            std::uint32_t begin = parts[0];
            for (std::size_t bucket = first; bucket < first + partBuckets; ++bucket) {
                const std::uint32_t end = offsets[bucket];
                for (std::uint32_t i = begin; i < end; ++i)
                    if (i == begin || tags[i] != tags[i - 1])
                        keys.push_back(bucket << m_tagBits | tags[i]);
                begin = end;
            }
            const auto estimate = std::min<std::uint64_t>(std::uint64_t{keys.size()} << partBits, n);
            const auto bits = std::min(b, static_cast<unsigned>(std::bit_width(estimate)) + kPresentBitsPerKey);
            m_presentShift = b - bits;
            m_present.assign(((std::size_t{1} << bits) + 63) / 64, 0);
            for (std::uint64_t h : keys)
                m_present[(h >> m_presentShift) >> 6] |= std::uint64_t{1} << ((h >> m_presentShift) & 63);
        }
        // offsets[b] is now the end of bucket b, that is the start of bucket b + 1.
        std::copy_backward(m_offsets.begin(), m_offsets.end() - 1, m_offsets.end());
        m_offsets[0] = 0;
        if (!m_counting)
            m_values = std::move(table);
    }

    // A bucket per key: the table of terms 1..j+1 grouped by key follows from that of terms 1..j, since
    // the group of key K is, for each value v of term j+1 in ascending order, the group of K - delta(v)
    // below. Built term by term into sequential writes, each entry copied once per stage.
    void buildByMerging(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms) {
        // Packed values grouped by key, followed by kCopySpare spare values: see the copy below.
        std::vector<std::uint64_t> below(1 + kCopySpare, 0), above;
        std::vector<std::uint32_t> belowStart = {0, 1}, aboveStart; // start of each key's group, then the end
        // Merging costs a copy per group: while the groups of the first stages hold a value or two, a
        // counting sort of their combinations builds a stage more cheaply.
        const int counted = countedStages(box, weights, terms);
        if (counted == terms) {
            countingStage(box, weights, terms, m_values.data(), m_offsets.data());
            return;
        }
        if (counted > 0) {
            std::size_t entries = 1, keys = 1;
            for (std::size_t k = 0; k < static_cast<std::size_t>(counted); ++k) {
                const auto n = static_cast<std::size_t>(rangeSize(box, static_cast<int>(k)));
                entries *= n;
                keys += static_cast<std::size_t>(std::abs(weights[k] / m_gcd)) * (n - 1);
            }
            below.assign(entries + kCopySpare, 0);
            belowStart.resize(keys + 1);
            countingStage(box, weights, counted, below.data(), belowStart.data());
        }
        for (int j = counted; j < terms; ++j) {
            const bool last = j + 1 == terms;
            const std::int64_t w = weights[static_cast<std::size_t>(j)] / m_gcd;
            const std::int32_t lo = box.lo[static_cast<std::size_t>(j)];
            const std::int32_t hi = box.hi[static_cast<std::size_t>(j)];
            const std::int64_t step = w < 0 ? -w : w;
            const auto belowKeys = static_cast<std::int64_t>(belowStart.size()) - 1;
            const std::int64_t keys = belowKeys + (std::int64_t{hi} - lo) * step;
            const std::size_t entries = belowStart.back() * static_cast<std::size_t>(std::int64_t{hi} - lo + 1);
            std::uint64_t* out = nullptr;
            std::uint32_t* start = nullptr;
            if (last) {
                out = m_values.data();
                start = m_offsets.data();
            } else {
                above.resize(entries + kCopySpare);
                aboveStart.resize(static_cast<std::size_t>(keys) + 1);
                out = above.data();
                start = aboveStart.data();
            }
            // The values whose delta d = key - belowKey lies in [key - belowKeys + 1, key] are those
            // with index i = d / step in [iMin, iMax]: both bounds only grow with the key, so they are
            // advanced rather than divided for.
            std::int64_t iMin = 0, iMax = 0;
            const std::int64_t count = std::int64_t{hi} - lo + 1;
            std::uint64_t* to = out;
            for (std::int64_t key = 0; key < keys; ++key) {
                start[key] = static_cast<std::uint32_t>(to - out);
                std::int64_t first = 0, final = count - 1; // as indices i, values lo + i (w > 0) or hi - i
                if (step != 0) {
                    while (iMin * step < key - belowKeys + 1)
                        ++iMin;
                    while (iMax + 1 < count && (iMax + 1) * step <= key)
                        ++iMax;
                    first = iMin;
                    final = iMax;
                }
                // In ascending order of values: i ascending when w > 0, descending when w < 0.
                const std::int64_t di = w < 0 ? -1 : 1;
                for (std::int64_t n = final - first + 1, i = w < 0 ? final : first; n > 0; --n, i += di) {
                    const auto b = static_cast<std::size_t>(key - i * step);
                    const std::int64_t v = w < 0 ? hi - i : lo + i;
                    const std::uint64_t laneBits = lane(j, static_cast<std::int32_t>(v));
                    const std::uint64_t* from = below.data() + belowStart[b];
                    const std::uint64_t* const fromEnd = below.data() + belowStart[b + 1];
#if VELMORA_SSE2
                    const __m128i bits = _mm_set1_epi64x(static_cast<long long>(laneBits));
                    const std::ptrdiff_t size = fromEnd - from;
                    // Groups are short and of varying size: the first kCopySpare + 1 values are copied
                    // whatever the size (past the group, the next group or the padding overwrites
                    // them), so that the loop below seldom runs and its branch is predicted.
                    static_assert(kCopySpare == 7);
                    for (std::ptrdiff_t i2 = 0; i2 < 8; i2 += 2)
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i2),
                                         _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i2)), bits));
                    for (std::ptrdiff_t i2 = 8; i2 < size; i2 += 2)
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i2),
                                         _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i2)), bits));
                    to += size;
#else
                    for (; from != fromEnd; ++from, ++to)
                        *to = *from | laneBits;
#endif
                }
            }
            const auto at = static_cast<std::uint32_t>(to - out);
            start[keys] = at;
            if (!last) {
                below.swap(above);
                belowStart.swap(aboveStart);
            }
        }
    }

    // How many of the first stages of buildByMerging to build by countingStage: up to the stage after
    // the last one (before the table itself) whose groups average fewer than four values.
    int countedStages(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms) const {
        double entries = 1, keys = 1;
        int counted = 0;
        for (int j = 0; j + 1 < terms; ++j) {
            const double n = rangeSize(box, j);
            entries *= n;
            keys += double(std::abs(weights[static_cast<std::size_t>(j)] / m_gcd)) * (n - 1);
            if (entries < 4 * keys)
                counted = j + 2;
        }
        return counted;
    }

    // Terms 1..s grouped by key ((sum - minimum) / gcd), each group in enumeration order, by a stable
    // counting sort: `starts` gets the start of each key's group and then the end.
    void countingStage(const Box& box, const std::array<std::int64_t, kTerms>& weights, int s, std::uint64_t* out,
                       std::uint32_t* starts) const {
        std::array<std::int64_t, kTerms> scaled{};
        std::int64_t min = 0, max = 0;
        for (int k = 0; k < s; ++k) {
            scaled[static_cast<std::size_t>(k)] = weights[static_cast<std::size_t>(k)] / m_gcd;
            min += productMin(scaled[static_cast<std::size_t>(k)], box, k);
            max += productMax(scaled[static_cast<std::size_t>(k)], box, k);
        }
        const auto keys = static_cast<std::size_t>(max - min) + 1;
        std::fill(starts, starts + keys + 1, 0);
        forEachInner(box, scaled, s, [&](std::int64_t sum, std::uint64_t) { ++starts[sum - min + 1]; });
        std::partial_sum(starts, starts + keys + 1, starts);
        forEachInner(box, scaled, s, [&](std::int64_t sum, std::uint64_t packed) { out[starts[sum - min]++] = packed; });
        std::copy_backward(starts, starts + keys, starts + keys + 1); // starts[key] had become its end
        starts[0] = 0;
    }

    // counts[key] = the number of inner combinations with that key, term by term with a sliding window
    // along each residue class: O(keys) per term.
    void countKeys(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms,
                   std::uint32_t* counts) const {
        std::vector<std::uint32_t> current(1, 1), next;
        std::uint32_t factor = 1;
        for (int k = 0; k < terms; ++k) {
            const std::int64_t w = weights[static_cast<std::size_t>(k)];
            const auto n = static_cast<std::size_t>(rangeSize(box, k));
            if (w == 0) {
                factor *= static_cast<std::uint32_t>(n);
                continue;
            }
            const auto step = static_cast<std::size_t>((w < 0 ? -w : w) / m_gcd);
            next.assign(current.size() + (n - 1) * step, 0);
            for (std::size_t x = 0; x < next.size(); ++x) {
                std::uint32_t c = x >= step ? next[x - step] : 0;
                if (x < current.size())
                    c += current[x];
                if (x >= n * step && x - n * step < current.size())
                    c -= current[x - n * step];
                next[x] = c;
            }
            current.swap(next);
        }
        for (std::size_t x = 0; x < current.size(); ++x)
            counts[x] = current[x] * factor;
    }

    bool builtFor(const Box& box, int terms, bool counting) const {
        if (terms != m_terms || counting != m_counting)
            return false;
        for (std::size_t k = 0; k < static_cast<std::size_t>(terms); ++k)
            if (box.lo[k] != m_lo[k] || box.hi[k] != m_hi[k])
                return false;
        return true;
    }

    // A look-up in steps, so that the caller can start the memory reads of many look-ups before it
    // needs the first: locate the key's bucket, open the bucket, then visit or count its matches.
    struct Probe { // scratch filled by locate() and open(): left uninitialised in batches of probes
        std::uint64_t key; // hashed: the tag
        std::uint64_t bucket;
        std::uint32_t begin;
        std::uint32_t end;
    };

    // False when no inner sum can be `rest`.
    bool locate(std::int64_t rest, Probe& probe) const {
        if (rest < m_min || rest > m_max)
            return false;
        const auto offset = static_cast<std::uint64_t>(rest - m_min);
        if (m_gcd > 1 && !m_divisor.divides(offset))
            return false;
        const std::uint64_t key = m_divisor.divide(offset);
        if (m_hashed)
            return locateHashed(key, probe);
        probe.key = key;
        probe.bucket = key;
        __builtin_prefetch(&m_offsets[key]);
        return true;
    }

    void open(Probe& probe) const {
        probe.begin = m_offsets[probe.bucket];
        probe.end = m_offsets[probe.bucket + 1];
        if (m_hashed)
            __builtin_prefetch(m_tags.data() + probe.begin);
        if (m_counting)
            return;
        __builtin_prefetch(m_values.data() + probe.begin);
        if (m_hashed) // the buckets that hold a key are often longer than two lines
            for (std::uint32_t line = 1; line < 4; ++line)
                __builtin_prefetch(m_values.data() + std::min(probe.begin + 8 * line, probe.end));
    }

    // The probe's matches, in enumeration order, as one run of packed values. The values are followed
    // by kRunPadding readable ones.
    std::span<const std::uint64_t> matches(const Probe& probe) const {
        if (!m_hashed)
            return {m_values.data() + probe.begin, probe.end - probe.begin};
        const Run r = hashedRun(probe);
        return {m_values.data() + r.first, r.size};
    }

    // For a listing table with a bucket per key: its buckets' starts and its values (else null), and
    // the gcd of its sums, by which a key steps when the sum steps.
    const std::uint32_t* keyedStarts() const { return m_hashed || m_counting ? nullptr : m_offsets.data(); }
    const std::uint64_t* keyedValues() const { return m_values.data(); }
    std::int64_t gcd() const { return m_gcd; }
    std::int64_t min() const { return m_min; }
    const ExactDivisor& divisor() const { return m_divisor; }
    bool large() const { return m_values.size() * sizeof(std::uint64_t) > (std::size_t{1} << 18); }

    std::uint64_t count(const Probe& probe) const {
        return m_hashed ? hashedRun(probe).size : probe.end - probe.begin;
    }

    static constexpr std::size_t kCopySpare = 7; // values past a stage of the build that it may write
    // Values readable past the table: Emitter::putRun reads up to fifteen past a run, the build writes
    // up to kCopySpare past the table.
    static constexpr std::size_t kRunPadding = 15;
    static_assert(kRunPadding >= kCopySpare);

private:
    static constexpr std::uint64_t kMultiplier = 0x9e3779b97f4a7c15ull; // odd: h is a bijection
    static constexpr std::uint64_t kBucketEntries = 8;
    static constexpr unsigned kTagBits = 16;
    static constexpr unsigned kDigitBits = 11; // the build sorts tags in one pass or two
    static_assert(kTagBits <= 2 * kDigitBits);
    static constexpr std::size_t kTagPadding = 8; // tags are compared eight at a time
    static constexpr unsigned kPresentBitsPerKey = 2; // 4 to 8 presence bits per key

    // The inner combinations in enumeration order with h (modulo 2^64) and their index, both stepped
    // by addition: no division or multiplication per combination.
    struct HashedEnumeration {
        std::array<std::uint32_t, 4> size{};
        std::array<std::uint64_t, 4> start{};
        std::array<std::uint64_t, 4> step{};
        std::array<unsigned, 4> fieldShift{};
        std::array<std::uint64_t, 4> fieldMask{};
        std::uint64_t lowLanes = 0; // each term's low bound in its lane

        template <int K, class Visit>
        void nest(std::uint64_t h, std::uint64_t index, Visit& visit) const {
            const std::uint64_t step = this->step[K];
            const std::uint64_t indexStep = std::uint64_t{1} << fieldShift[K];
            h += start[K];
            for (std::uint32_t i = 0; i < size[K]; ++i, h += step, index += indexStep) {
                if constexpr (K == 0)
                    visit(h, index);
                else
                    nest<K - 1>(h, index, visit);
            }
        }

        template <class Visit>
        void forEach(int terms, Visit&& visit) const {
            switch (terms) {
            case 1: nest<0>(0, 0, visit); break;
            case 2: nest<1>(0, 0, visit); break;
            case 3: nest<2>(0, 0, visit); break;
            default: nest<3>(0, 0, visit); break;
            }
        }

        // The packed values of an index: each field moved to its lane, plus the low bounds lane by
        // lane (16-bit lanes wrap on their own, so that negative bounds do not carry into the next).
        std::uint64_t values(std::uint64_t index) const {
            std::uint64_t fields = 0;
            for (std::size_t k = 0; k < 4; ++k)
                fields |= (index >> fieldShift[k] & fieldMask[k]) << (16 * k);
            constexpr std::uint64_t top = 0x8000800080008000ull;
            return ((fields & ~top) + (lowLanes & ~top)) ^ ((fields ^ lowLanes) & top);
        }
    };

    // Most look-ups of a hashed table find nothing (sums of large weights cluster around a few values):
    // the presence bits, a few per key and small enough for the cache, turn them away before they
    // read the offsets or the bucket.
    bool locateHashed(std::uint64_t key, Probe& probe) const {
        const std::uint64_t h = key * kMultiplier & m_hashMask;
        const std::uint64_t slot = h >> m_presentShift;
        if ((m_present[slot >> 6] >> (slot & 63) & 1) == 0)
            return false;
        probe.bucket = h >> m_tagBits;
        probe.key = h & ((std::uint64_t{1} << m_tagBits) - 1); // the tag
        __builtin_prefetch(&m_offsets[probe.bucket]);
        return true;
    }

    // A small hashed table with few values of h (at most four per entry): a count per value sorts it
    // in one pass over the enumeration, with no elements to move.
    void buildFromCounts(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms, std::uint64_t n,
                         const HashedEnumeration& e, std::uint64_t* out) {
        const std::uint64_t mask = m_hashMask;
        const std::uint64_t tagMask = (std::uint64_t{1} << m_tagBits) - 1;
        std::vector<std::uint32_t> at(mask + 2, 0); // then the next place of each value of h
        e.forEach(terms, [&](std::uint64_t h, std::uint64_t) { ++at[(h & mask) + 1]; });
        std::partial_sum(at.begin(), at.end(), at.begin());
        for (std::size_t bucket = 0; bucket < m_offsets.size(); ++bucket)
            m_offsets[bucket] = at[bucket << m_tagBits];
        const auto bits = std::min(static_cast<unsigned>(std::bit_width(mask)),
                                   static_cast<unsigned>(std::bit_width(n)) + kPresentBitsPerKey);
        m_presentShift = static_cast<unsigned>(std::bit_width(mask)) - bits;
        m_present.assign(((std::size_t{1} << bits) + 63) / 64, 0);
        std::uint64_t* const present = m_present.data();
        std::uint16_t* const tags = m_tags.data();
        // The packed values come with the sums here, and h from the sum in two multiplications.
        const std::int64_t min = m_min;
        const ExactDivisor divisor = m_divisor;
        forEachInner(box, weights, terms, [&](std::int64_t sum, std::uint64_t packed) {
            const std::uint64_t h = divisor.divide(static_cast<std::uint64_t>(sum - min)) * kMultiplier & mask;
            const std::uint32_t i = at[h]++;
            tags[i] = static_cast<std::uint16_t>(h & tagMask);
            if (!m_counting)
                out[i] = packed;
            const std::uint64_t slot = h >> m_presentShift;
            present[slot >> 6] |= std::uint64_t{1} << (slot & 63);
        });
    }

    struct Run {
        std::uint32_t first;
        std::uint32_t size;
    };

    // A bucket's entries are sorted by tag: the probe's key is the one run of its tag.
    Run hashedRun(const Probe& probe) const {
        const std::uint16_t* const tags = m_tags.data() + probe.begin;
        const std::uint32_t size = probe.end - probe.begin;
        const auto tag = static_cast<std::uint16_t>(probe.key);
        std::uint32_t first = 0, found = 0;
#if VELMORA_SSE2
        const __m128i wanted = _mm_set1_epi16(static_cast<short>(tag));
        for (std::uint32_t i = 0; i < size; i += 8) { // reads up to seven tags past the bucket
            auto equal = static_cast<std::uint32_t>(
                _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(tags + i)), wanted)));
            if (size - i < 8)
                equal &= (1u << (2 * (size - i))) - 1;
            if (equal != 0) {
                if (found == 0)
                    first = i + static_cast<std::uint32_t>(std::countr_zero(equal)) / 2;
                // the run's lanes are contiguous: no population count needed
                found += static_cast<std::uint32_t>(std::bit_width(equal) - std::countr_zero(equal)) / 2;
            } else if (found != 0) {
                break;
            }
        }
#else
        while (first < size && tags[first] != tag)
            ++first;
        while (first + found < size && tags[first + found] == tag)
            ++found;
#endif
        return {probe.begin + first, found};
    }

    int m_terms;
    std::array<std::int32_t, 4> m_lo{};
    std::array<std::int32_t, 4> m_hi{};
    std::int64_t m_min = 0;
    std::int64_t m_max = 0;
    std::int64_t m_gcd = 1;
    ExactDivisor m_divisor;
    bool m_hashed = false;
    std::uint64_t m_hashMask = 0; // hashed: h is b bits, the bucket its top bits
    unsigned m_tagBits = 0;       // ... and the tag the other bits
    TableVector<std::uint32_t> m_offsets;
    bool m_counting = false;
    TableVector<std::uint64_t> m_values; // listing: packed values, grouped by bucket
    TableVector<std::uint16_t> m_tags;   // hashed: each entry's tag, sorted within its bucket
    std::vector<std::uint64_t> m_present; // hashed: a bit per value of h's top bits, set where a key is
    unsigned m_presentShift = 0;          // ... that is, per h >> m_presentShift
};

// Meet in the middle for counting: how many combinations of the inner terms make each reachable sum.
// Terms of weight 0 stay out of the table and multiply its counts; with them out, one count is at most
// 65536^7, so 128 bits hold it. Built term by term with a sliding window: O(reachable sums) per term.
class DenseTable {
public:
    DenseTable(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms) : m_terms(terms) {
        std::int64_t g = 0;
        for (int k = 0; k < terms; ++k) {
            m_lo[static_cast<std::size_t>(k)] = box.lo[static_cast<std::size_t>(k)];
            m_hi[static_cast<std::size_t>(k)] = box.hi[static_cast<std::size_t>(k)];
            g = std::gcd(g, weights[static_cast<std::size_t>(k)]);
        }
        m_gcd = g == 0 ? 1 : g;
        m_divisor = ExactDivisor(static_cast<std::uint64_t>(m_gcd));
        std::vector<unsigned __int128> next;
        m_counts.assign(1, 1);
        for (int k = 0; k < terms; ++k) {
            const std::int64_t w = weights[static_cast<std::size_t>(k)];
            const auto n = static_cast<std::uint64_t>(rangeSize(box, k));
            if (w == 0) {
                m_factor *= n;
                continue;
            }
            m_min += productMin(w, box, k);
            m_max += productMax(w, box, k);
            const auto step = static_cast<std::size_t>((w < 0 ? -w : w) / m_gcd);
            const std::size_t length = m_counts.size() + (n - 1) * step;
            next.assign(length, 0);
            // next[x] = sum of m_counts[x - i*step] for i in 0..n-1
            for (std::size_t x = 0; x < length; ++x) {
                unsigned __int128 c = x >= step ? next[x - step] : 0;
                if (x < m_counts.size())
                    c += m_counts[x];
                if (x >= n * step && x - n * step < m_counts.size())
                    c -= m_counts[x - n * step];
                next[x] = c;
            }
            m_counts.swap(next);
        }
    }

    bool builtFor(const Box& box, int terms) const {
        if (terms != m_terms)
            return false;
        for (std::size_t k = 0; k < static_cast<std::size_t>(terms); ++k)
            if (box.lo[k] != m_lo[k] || box.hi[k] != m_hi[k])
                return false;
        return true;
    }

    SolutionCount count(std::int64_t rest) const {
        if (rest < m_min || rest > m_max)
            return {};
        const auto offset = static_cast<std::uint64_t>(rest - m_min);
        if (m_gcd > 1 && !m_divisor.divides(offset))
            return {};
        return m_factor * SolutionCount(m_counts[m_divisor.divide(offset)]);
    }

private:
    int m_terms;
    std::array<std::int32_t, kTerms> m_lo{};
    std::array<std::int32_t, kTerms> m_hi{};
    std::int64_t m_min = 0;
    std::int64_t m_max = 0;
    std::int64_t m_gcd = 1;
    ExactDivisor m_divisor;
    SolutionCount m_factor = 1;
    std::vector<unsigned __int128> m_counts;
};

// The runs of matches of consecutive values of the term just above a table with a bucket per key:
// value i of the term is `value` + i * `valueStep`, its key is `key` + i * `keyStep`, and its run is
// values[starts[key] .. starts[key + 1]).
struct KeyedRuns {
    const std::uint32_t* starts = nullptr;
    const std::uint64_t* values = nullptr;
    bool prefetch = false;  // the table lies beyond the inner caches
    std::uint64_t key = 0;
    std::int64_t keyStep = 0;
    std::int64_t count = 0; // values left
    std::int64_t value = 0;
    std::int64_t valueStep = 0;
    int term = 0;           // 0..7: the term's 16-bit lane in the low word (0..3) or the high word (4..7)
};

#if VELMORA_AVX512
// Sixteen records are 320 bytes, five 64-byte words of sixteen 32-bit lanes each. Lane i of word j is
// lane 16j + i of the group: record (16j + i) / 5, field (16j + i) % 5, where field 0 is the sum,
// fields 1 and 2 the low word of packed values (terms 1..4) and fields 3 and 4 the high word.
struct WideLayout {
    // For fields 1 and 2, the lane of the record's low word in the two 64-byte loads of sixteen packed
    // values (0..31); for the others, the lane of the constant (sum 0, high word 1 and 2).
    std::array<std::array<std::int32_t, 16>, 5> index{};
    std::array<std::uint16_t, 5> valueLanes{}; // the lanes of fields 1 and 2
};

constexpr WideLayout makeWideLayout() {
    WideLayout layout;
    for (std::size_t j = 0; j < 5; ++j)
        for (std::size_t i = 0; i < 16; ++i) {
            const std::size_t g = 16 * j + i, record = g / 5, field = g % 5;
            const bool value = field == 1 || field == 2;
            layout.index[j][i] = static_cast<std::int32_t>(value ? 2 * record + field - 1 : (field == 0 ? 0 : field - 2));
            if (value)
                layout.valueLanes[j] = static_cast<std::uint16_t>(layout.valueLanes[j] | (1u << i));
        }
    return layout;
}

bool hasWideStores() {
    static const bool supported = __builtin_cpu_supports("avx512f");
    return supported;
}

// The layout's index vectors and the masks of their value lanes, loaded once by a caller that writes
// many runs.
__attribute__((target("avx512f"), always_inline)) inline void loadWideLayout(__m512i* index, __mmask16* lanes) {
    static constexpr WideLayout kLayout = makeWideLayout();
    for (std::size_t j = 0; j < 5; ++j) {
        lanes[j] = kLayout.valueLanes[j];
        index[j] = _mm512_loadu_si512(kLayout.index[j].data());
    }
}

// Writes records at..at+n-1 of `block` (64-byte aligned) sixteen at a time, like the 16-byte writer
// below: a group from `at`, then groups from each following multiple of 16. Groups may write up to
// fifteen records past the run and read up to fifteen values past it.
__attribute__((target("avx512f"), always_inline)) inline void writeWideGroups(
    Solution* block, std::size_t at, const std::uint64_t* inner, std::size_t n, std::uint64_t lowBits,
    std::uint64_t high, std::int32_t target, const __m512i* index, const __mmask16* lanes) {
    const __m512i constants = _mm512_castsi128_si512(
        _mm_set_epi32(0, static_cast<int>(high >> 32), static_cast<int>(high), target));
    // Each word's index vector with the constants already in their lanes: a permutation that keeps the
    // other lanes then completes the word in one instruction.
    __m512i mixed[5];
    for (std::size_t j = 0; j < 5; ++j)
        mixed[j] = _mm512_mask_permutexvar_epi32(index[j], static_cast<__mmask16>(~lanes[j]), index[j], constants);
    const __m512i bits = _mm512_set1_epi64(static_cast<long long>(lowBits));
    const std::size_t end = at + n;
    for (std::size_t i = at; i < end; i = (i + 16) & ~std::size_t{15}) {
        const std::uint64_t* from = inner + (i - at);
        const __m512i a = _mm512_or_si512(_mm512_loadu_si512(from), bits);
        const __m512i b = _mm512_or_si512(_mm512_loadu_si512(from + 8), bits);
        auto* out = reinterpret_cast<__m512i*>(block + i);
        for (std::size_t j = 0; j < 5; ++j)
            _mm512_storeu_si512(out + j, _mm512_mask2_permutex2var_epi32(a, mixed[j], lanes[j], b));
    }
}

__attribute__((target("avx512f"))) void writeRunWide(Solution* block, std::size_t at, const std::uint64_t* inner,
                                                     std::size_t n, std::uint64_t lowBits, std::uint64_t high,
                                                     std::int32_t target) {
    __m512i index[5];
    __mmask16 lanes[5];
    loadWideLayout(index, lanes);
    writeWideGroups(block, at, inner, n, lowBits, high, target, index, lanes);
}

#endif

// Collects solutions and hands them to the sink a block at a time, like SolutionBatch, but writes the
// eight values as two 64-bit words and keeps count of what it has produced.
class Emitter {
public:
    Emitter(SolutionSink& sink, std::int32_t target, bool wideStores)
        : m_sink(sink), m_target(target) {
#if VELMORA_AVX512
        m_wide = wideStores && hasWideStores();
#else
        (void)wideStores;
#endif
    }

    // A position in the block held by the caller, so that a loop that writes many solutions keeps it
    // in a register instead of storing and reloading the block's fill after every solution.
    struct Cursor {
        Solution* next;
        Solution* end;
        std::int32_t sum;
    };

    Cursor open() {
        if (m_used == kBlock)
            flush();
        return {m_block.data() + m_used, m_block.data() + kBlock, m_target};
    }
    void close(const Cursor& cursor) { m_used = static_cast<std::size_t>(cursor.next - m_block.data()); }

    // Always inlined: the loops that write solutions one at a time depend on it.
    [[gnu::always_inline]] void put(Cursor& cursor, std::uint64_t low, std::uint64_t high) {
        if (cursor.next == cursor.end) {
            close(cursor);
            cursor = open();
        }
        Solution& s = *cursor.next++;
        s.sum = cursor.sum;
        std::memcpy(s.values.data(), &low, sizeof low);
        std::memcpy(s.values.data() + 4, &high, sizeof high);
    }

    void put(std::uint64_t low, std::uint64_t high) {
        Cursor cursor = open();
        put(cursor, low, high);
        close(cursor);
    }

    // The solutions (inner[i] | lowBits, high) for i < n: the run of matches of one table look-up.
    // inner[n..n+15] must be readable (see writeRun).
    void putRun(const std::uint64_t* inner, std::size_t n, std::uint64_t lowBits, std::uint64_t high) {
        while (n > 0) {
            if (m_used == kBlock)
                flush();
            const std::size_t c = std::min(n, kBlock - m_used);
            writeRun(m_used, inner, c, lowBits, high);
            m_used += c;
            inner += c;
            n -= c;
        }
    }

    bool wide() const { return m_wide; }

#if VELMORA_AVX512
    // The runs of `runs` (see KeyedRuns), written as putRun writes each; `low` and `high` hold the
    // values of the terms above the table except the term of `runs`. Only where wide() holds.
    __attribute__((target("avx512f"))) void putKeyedRuns(KeyedRuns& runs, std::uint64_t low, std::uint64_t high) {
        __m512i index[5];
        __mmask16 lanes[5];
        loadWideLayout(index, lanes);
        keyedLoop(runs, low, high, index, lanes);
    }

    // The runs of every value u of term `upperTerm` (weight `upperWeight`) in first, first + step, ...
    // last, each followed by those of the values of the term below that `lower` finds for the
    // remainder `rest` - upperWeight * u: what putKeyedRuns writes for each u in turn, with one set-up.
    // `runs` gives the table, the lower term's key step over the table's gcd and its term.
    __attribute__((target("avx512f"))) void putKeyedRuns(KeyedRuns& runs, const Level& lower, std::int64_t tableMin,
                                                         const ExactDivisor& tableDivisor, int upperTerm,
                                                         std::int64_t upperWeight, std::int64_t rest, std::int64_t first,
                                                         std::int64_t last, std::int64_t step, std::uint64_t low,
                                                         std::uint64_t high) {
        __m512i index[5];
        __mmask16 lanes[5];
        loadWideLayout(index, lanes);
        for (std::int64_t u = first; u <= last; u += step) {
            const std::int64_t lowerRest = rest - upperWeight * u;
            std::int64_t lowerFirst = 0, lowerLast = 0;
            if (!lower.values(lowerRest, lowerFirst, lowerLast))
                continue;
            setLane(low, high, upperTerm, u);
            runs.key = tableDivisor.divide(static_cast<std::uint64_t>(lowerRest - lower.weight * lowerFirst - tableMin));
            runs.count = (lowerLast - lowerFirst) / lower.modulus + 1;
            runs.value = lowerFirst;
            runs.valueStep = lower.modulus;
            keyedLoop(runs, low, high, index, lanes);
        }
    }
#else
    // Without 64-byte stores wide() is false and the callers take forEachProbe instead.
    void putKeyedRuns(KeyedRuns&, std::uint64_t, std::uint64_t) { std::abort(); }
    void putKeyedRuns(KeyedRuns&, const Level&, std::int64_t, const ExactDivisor&, int, std::int64_t, std::int64_t,
                      std::int64_t, std::int64_t, std::int64_t, std::uint64_t, std::uint64_t) {
        std::abort();
    }
#endif

    std::uint64_t produced() const { return m_flushed + m_used; }

    void flush() {
        if (m_used == 0)
            return;
        if (m_recording) {
            capture();
            m_recordFrom = 0;
        }
        const std::size_t n = m_used;
        m_used = 0;
        m_flushed += n;
        m_sink.accept(std::span<const Solution>(m_block.data(), n));
    }

    // Recording keeps a copy of every solution produced from now on, up to `cap` of them, taken from the
    // block as it is handed on (the loops that write solutions are not slowed down).
    bool recording() const { return m_recording; }
    void startRecording(std::vector<Solution>& into, std::size_t cap) {
        m_record = &into;
        m_record->clear();
        m_recording = true;
        m_recordComplete = true;
        m_recordCap = cap;
        m_recordFrom = m_used;
    }
    // True when every solution produced since the start is in the record.
    bool stopRecording() {
        capture();
        m_recording = false;
        return m_recordComplete;
    }

private:
    // Writes records at..at+n-1. Four records are 80 bytes, five 16-byte words, built from two loads
    // of packed values: a run is written a group of four at a time, groups starting at records whose
    // index is a multiple of 4 (16-byte aligned in the block), and one more group from `at` when it is
    // not. Groups may write up to three records past the run (in the block's slack, or overwritten by
    // the next run) and so read up to three values past it: callers pad their arrays.
    void writeRun(std::size_t at, const std::uint64_t* inner, std::size_t n, std::uint64_t lowBits,
                  std::uint64_t high) {
#if VELMORA_AVX512
        if (m_wide) {
            writeRunWide(m_block.data(), at, inner, n, lowBits, high, m_target);
            return;
        }
#endif
#if VELMORA_SSE2
        static_assert(sizeof(Solution) == 20 && offsetof(Solution, values) == 4);
        // 32-bit lanes of the four records: T L0 L0 H | H T L1 L1 | H H T L2 | L2 H H T | L3 L3 H H,
        // the constant lanes shifted into place from the sum and the high word.
        const __m128i t = _mm_cvtsi32_si128(m_target);
        const __m128i h = _mm_set_epi64x(0, static_cast<long long>(high));
        const __m128i c0 = _mm_or_si128(t, _mm_slli_si128(h, 12));                   // T 0 0 H
        const __m128i c13 = _mm_or_si128(_mm_slli_si128(h, 4), _mm_slli_si128(t, 12)); // 0 H H T
        const __m128i c2 = _mm_or_si128(h, _mm_slli_si128(t, 8));                    // H H T 0
        const __m128i c4 = _mm_slli_si128(h, 8);                                      // 0 0 H H
        const __m128i bits = _mm_set1_epi64x(static_cast<long long>(lowBits));
        const auto group = [&](Solution* to, const std::uint64_t* from, auto store, auto withBits) {
            auto* out = reinterpret_cast<__m128i*>(to);
            __m128i x01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
            __m128i x23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 2));
            if constexpr (decltype(withBits)::value) {
                x01 = _mm_or_si128(x01, bits);
                x23 = _mm_or_si128(x23, bits);
            }
            store(out, _mm_or_si128(c0, _mm_slli_si128(_mm_move_epi64(x01), 4)));
            store(out + 1, _mm_unpackhi_epi64(c13, x01));
            store(out + 2, _mm_or_si128(c2, _mm_slli_si128(x23, 12)));
            store(out + 3, _mm_or_si128(c13, _mm_srli_si128(_mm_move_epi64(x23), 4)));
            store(out + 4, _mm_unpackhi_epi64(x23, c4));
        };
        const auto groups = [&](auto withBits) {
            const std::size_t end = at + n;
            if (at % 4 != 0)
                group(m_block.data() + at, inner, [](__m128i* p, __m128i v) { _mm_storeu_si128(p, v); }, withBits);
            for (std::size_t i = (at + 3) / 4 * 4; i < end; i += 4)
                group(m_block.data() + i, inner + (i - at), [](__m128i* p, __m128i v) { _mm_store_si128(p, v); },
                      withBits);
        };
        if (lowBits == 0) // the table holds every low term: nothing to merge into its values
            groups(std::false_type{});
        else
            groups(std::true_type{});
#else
        for (std::size_t i = 0; i < n; ++i) {
            Solution& s = m_block[at + i];
            const std::uint64_t low = inner[i] | lowBits;
            s.sum = m_target;
            std::memcpy(s.values.data(), &low, sizeof low);
            std::memcpy(s.values.data() + 4, &high, sizeof high);
        }
#endif
    }

#if VELMORA_AVX512
    // Writes the runs of `runs` as writeRunWide writes one, each with its term's value set in `low` or
    // `high`. A run that does not fit in what is left of the block goes through putRun, which hands
    // the block on and splits the run if it is longer than a block.
    __attribute__((target("avx512f"), always_inline)) inline void keyedLoop(KeyedRuns& runs, std::uint64_t& low,
                                                                            std::uint64_t& high, const __m512i* index,
                                                                            const __mmask16* lanes) {
        const unsigned shift = 16 * static_cast<unsigned>(runs.term & 3);
        const std::uint64_t keep = ~(std::uint64_t{0xffff} << shift);
        // Kept in registers: the stores below may alias anything, `runs` and `this` included.
        const std::uint32_t* const starts = runs.starts;
        const std::uint64_t* const values = runs.values;
        const bool prefetch = runs.prefetch;
        const std::uint64_t keyStep = static_cast<std::uint64_t>(runs.keyStep);
        const std::int64_t valueStep = runs.valueStep;
        const bool lowTerm = runs.term < 4;
        const std::int32_t target = m_target;
        Solution* const block = m_block.data();
        std::uint64_t key = runs.key;
        std::int64_t value = runs.value;
        std::size_t at = m_used;
        for (std::int64_t count = runs.count; count > 0; --count, key += keyStep, value += valueStep) {
            if (prefetch) { // the buckets a few values ahead, and their runs
                if (count > 8)
                    __builtin_prefetch(starts + (key + 8 * keyStep));
                if (count > 3)
                    __builtin_prefetch(values + starts[key + 3 * keyStep]);
            }
            const std::uint32_t begin = starts[key];
            const std::size_t n = starts[key + 1] - begin;
            if (n == 0)
                continue;
            const std::uint64_t bits = std::uint64_t{static_cast<std::uint16_t>(value)} << shift;
            if (lowTerm)
                low = (low & keep) | bits;
            else
                high = (high & keep) | bits;
            if (at + n > kBlock) {
                m_used = at;
                putRun(values + begin, n, low, high);
                at = m_used;
                continue;
            }
            writeWideGroups(block, at, values + begin, n, low, high, target, index, lanes);
            at += n;
        }
        runs.count = 0;
        m_used = at;
    }
#endif

    void capture() {
        if (!m_recordComplete)
            return;
        if (m_record->size() + (m_used - m_recordFrom) > m_recordCap) {
            m_recordComplete = false;
            m_record->clear();
            return;
        }
        try {
            m_record->insert(m_record->end(), m_block.begin() + static_cast<std::ptrdiff_t>(m_recordFrom),
                             m_block.begin() + static_cast<std::ptrdiff_t>(m_used));
        } catch (const std::bad_alloc&) { // a record only saves time: search again instead
            m_recordComplete = false;
            std::vector<Solution>().swap(*m_record);
            return;
        }
        m_recordFrom = m_used;
    }

    static constexpr std::size_t kBlock = 1024;
    bool m_recording = false;
    bool m_recordComplete = false;
    std::size_t m_recordCap = 0;
    std::size_t m_recordFrom = 0;
    std::vector<Solution>* m_record = nullptr;
    SolutionSink& m_sink;
    std::int32_t m_target;
    static constexpr std::size_t kSlack = 16; // room for a group written past the block's end
    bool m_wide = false;                      // writeRunWide: sixteen records in five 64-byte words
    alignas(64) std::array<Solution, kBlock + kSlack> m_block{}; // 64-byte words at every sixteenth record
    std::size_t m_used = 0;
    std::uint64_t m_flushed = 0;
};

// ---- The join's hook: its combinations written through the emitter. ----
class JoinOutput final : public fast::PackedSink {
public:
    explicit JoinOutput(Emitter& out) : m_out(out) {}
    void put(std::span<const fast::PackedValues> combinations) override {
        Emitter::Cursor cursor = m_out.open();
        for (const fast::PackedValues& c : combinations)
            m_out.put(cursor, c.low, c.high);
        m_out.close(cursor);
    }

private:
    Emitter& m_out;
};

// Tables outlive one box: the boxes before an overflow stop share the inner ranges of the full setup.
struct TableCache {
    std::unique_ptr<SparseTable> sparse;
    std::unique_ptr<DenseTable> dense;
};

// The search of one box: terms 8..m+1 by bounded recursion, terms m..1 by a table (when m > 0) or,
// without a table, terms 2 and 1 together as an arithmetic progression.
class BoxSearch {
public:
    BoxSearch(const SearchSetup& setup, const Box& box, const FastSearchOptions& options, bool counting,
              TableCache& cache)
        : m_box(box) {
        for (int k = 0; k < kTerms; ++k)
            m_weights[static_cast<std::size_t>(k)] = setup.terms[static_cast<std::size_t>(k)].weight;
        std::int64_t innerMin = 0, innerMax = 0, innerGcd = 0;
        for (int k = 0; k < kTerms; ++k) {
            Level& L = m_levels[static_cast<std::size_t>(k)];
            L.weight = m_weights[static_cast<std::size_t>(k)];
            L.lo = box.lo[static_cast<std::size_t>(k)];
            L.hi = box.hi[static_cast<std::size_t>(k)];
            L.innerMin = innerMin;
            L.innerMax = innerMax;
            L.innerGcd = innerGcd;
            if (L.weight != 0 && innerGcd != 0) {
                L.divisor = std::gcd(L.weight, innerGcd);
                L.modulus = innerGcd / L.divisor;
                if (L.modulus > 1)
                    L.inverse = inverseMod(L.weight / L.divisor, L.modulus);
            }
            innerMin += productMin(L.weight, box, k);
            innerMax += productMax(L.weight, box, k);
            innerGcd = std::gcd(innerGcd, L.weight);
        }
        m_maxRecord = options.maxRecordedSolutions;
        plan(options, counting, setup.target);
        // ---- The join takes the whole box where it is forced or estimated cheaper. ----
        if (chooseJoin(options, counting, setup.target)) {
            cache.sparse.reset(); // its memory is the join's
            cache.dense.reset();
            return;
        }
        // ---- end of the join's hook ----
        try {
            if (m_method == InnerMethod::SparseTable) {
                if (!cache.sparse || !cache.sparse->builtFor(box, m_tableTerms, counting)) {
                    cache.sparse.reset(); // release old tables before building: one table at a time
                    cache.dense.reset();
                    cache.sparse = std::make_unique<SparseTable>(box, m_weights, m_tableTerms, counting);
                }
                m_sparse = cache.sparse.get();
            } else if (m_method == InnerMethod::DenseTable) {
                if (!cache.dense || !cache.dense->builtFor(box, m_tableTerms)) {
                    cache.dense.reset();
                    cache.sparse.reset();
                    cache.dense = std::make_unique<DenseTable>(box, m_weights, m_tableTerms);
                }
                m_dense = cache.dense.get();
            }
        } catch (const std::bad_alloc&) {
            // Tables only save time: without the memory for one, the recursion gives the same answer.
            cache.sparse.reset();
            cache.dense.reset();
            m_method = InnerMethod::Recursion;
            m_tableTerms = 0;
        }
        m_pairLeaf = m_tableTerms == 0 && m_levels[0].weight != 0 && m_levels[1].weight != 0;
    }

    void list(Emitter& out, std::int32_t target) {
        m_out = &out;
        m_low = 0;
        m_high = 0;
        listFrom(kTerms, target);
    }

    SolutionCount count(std::int32_t target) { return countFrom(kTerms, target); }

    // ---- The join's hook: the box listed or counted by the join where it was chosen; false, the
    // join's memory not found, leaves the box to the recursion. Out of line, so that the
    // recursion's code is laid out as it is without the join. ----
    [[gnu::noinline]] bool listByJoin(Emitter& out) {
        if (m_method != InnerMethod::Join)
            return false;
        JoinOutput joined(out);
        if (fast::joinList(m_joinState->box, m_joinState->limits, joined))
            return true;
        useRecursion();
        return false;
    }
    [[gnu::noinline]] bool countByJoin(SolutionCount& count) {
        if (m_method != InnerMethod::Join)
            return false;
        if (fast::joinCount(m_joinState->box, m_joinState->limits, count))
            return true;
        useRecursion();
        return false;
    }

private:
    // ---- The join's hook: the choice, and the recursion when the join finds no memory. ----
    bool chooseJoin(const FastSearchOptions& options, bool counting, std::int32_t target) {
        const bool forced = options.method == InnerMethod::Join || options.method == InnerMethod::Sweep;
        // A join costs at least 0.1 ms: below that the estimate is not worth working out.
        if ((options.method != InnerMethod::Automatic && !forced) || (!forced && m_estimate < 1e5))
            return false;
        m_joinState = std::make_unique<JoinState>();
        fast::JoinBox& m_join = m_joinState->box;
        fast::JoinLimits& m_joinLimits = m_joinState->limits;
        m_join.lo = m_box.lo;
        m_join.hi = m_box.hi;
        m_join.weights = m_weights;
        m_join.target = target;
        m_joinLimits = {options.joinMemory, options.joinThreads,
                        options.method == InnerMethod::Join    ? fast::JoinWay::Partitioned
                        : options.method == InnerMethod::Sweep ? fast::JoinWay::Sweep
                                                               : fast::JoinWay::Cheapest};
        const double cost = fast::joinCost(m_join, counting, m_joinLimits);
        if (!(cost < m_estimate) && !(forced && std::isfinite(cost)))
            return false;
        m_method = InnerMethod::Join;
        m_tableTerms = 0;
        return true;
    }
    void useRecursion() {
        m_method = InnerMethod::Recursion;
        m_tableTerms = 0;
        m_pairLeaf = m_levels[0].weight != 0 && m_levels[1].weight != 0;
    }
    // ---- end of the join's hook ----

    // Chooses the inner method from estimated costs in nanoseconds, measured on this kind of code: a
    // recursion step (two divisions) about 8, a table entry built about 3 (15 for tables beyond the
    // processor's cache, which are hashed and sorted in two passes), a look-up 5 in cache and 30 beyond.
    // The solutions themselves cost the same whichever way is taken.
    void plan(const FastSearchOptions& options, bool counting, std::int32_t target) {
        std::array<double, kTerms + 1> spanBelow{}, combosBelow{}, gcdBelow{};
        combosBelow[0] = 1;
        std::int64_t g = 0;
        for (int k = 0; k < kTerms; ++k) {
            const Level& L = m_levels[static_cast<std::size_t>(k)];
            spanBelow[static_cast<std::size_t>(k) + 1] = spanBelow[static_cast<std::size_t>(k)] +
                                                         double(productMax(L.weight, m_box, k) - productMin(L.weight, m_box, k));
            combosBelow[static_cast<std::size_t>(k) + 1] = combosBelow[static_cast<std::size_t>(k)] * rangeSize(m_box, k);
            g = std::gcd(g, L.weight);
            gcdBelow[static_cast<std::size_t>(k) + 1] = double(g == 0 ? 1 : g);
        }
        // Calls of the recursion with terms k+1..8 set: their combinations whose remainder the terms
        // below can reach, the outer sum taken as normally distributed.
        const auto nodesAt = [&](int k) {
            double outer = 1, mean = 0, variance = 0;
            for (int j = k; j < kTerms; ++j) {
                const double w = double(m_weights[static_cast<std::size_t>(j)]);
                const double n = rangeSize(m_box, j);
                if (!(counting && w == 0))
                    outer *= n;
                mean += w * (double(m_box.lo[static_cast<std::size_t>(j)]) + m_box.hi[static_cast<std::size_t>(j)]) / 2;
                variance += w * w * (n * n - 1) / 12;
            }
            const Level& L = m_levels[static_cast<std::size_t>(k == kTerms ? kTerms - 1 : k)];
            const double innerMin = k == kTerms ? 0 : double(L.innerMin);
            const double innerMax = k == kTerms ? 0 : double(L.innerMax);
            const double lo = double(target) - (k == kTerms ? spanBelow[kTerms] : innerMax) - 0.5;
            const double hi = double(target) - (k == kTerms ? 0 : innerMin) + 0.5;
            if (k == kTerms)
                return 1.0;
            if (variance == 0)
                return (mean >= lo && mean <= hi) ? outer : 0.0;
            const double sd = std::sqrt(2 * variance);
            return outer * std::max(0.0, (std::erf((hi - mean) / sd) - std::erf((lo - mean) / sd)) / 2);
        };
        std::array<double, kTerms + 1> nodes{};
        for (int k = 1; k <= kTerms; ++k)
            nodes[static_cast<std::size_t>(k)] = nodesAt(k);
        const auto steps = [&](int from) {
            double total = 0;
            for (int k = from; k <= kTerms; ++k)
                total += nodes[static_cast<std::size_t>(k)];
            return 8 * total;
        };
        const auto lookups = [&](int m, double bytes) {
            return (bytes < 2e6 ? 5 : 30) * nodes[static_cast<std::size_t>(m)];
        };
        const auto denseKeys = [&](int m) {
            return spanBelow[static_cast<std::size_t>(m)] / gcdBelow[static_cast<std::size_t>(m)] + 1;
        };

        if (options.method == InnerMethod::Recursion ||
            (options.method == InnerMethod::DenseTable && !counting)) {
            return;
        }
        if (options.method == InnerMethod::SparseTable) {
            const int m = std::clamp(options.tableTerms, 1, 4);
            if (combosBelow[static_cast<std::size_t>(m)] <= options.maxSparseEntries) {
                m_method = InnerMethod::SparseTable;
                m_tableTerms = m;
                return;
            }
        }
        if (options.method == InnerMethod::DenseTable) {
            const int m = std::clamp(options.tableTerms, 1, kTerms);
            if (denseKeys(m) <= options.maxDenseKeys) {
                m_method = InnerMethod::DenseTable;
                m_tableTerms = m;
                return;
            }
        }
        double best = steps(2);
        for (int m = 2; m <= 4; ++m) {
            const double entries = combosBelow[static_cast<std::size_t>(m)];
            if (entries > options.maxSparseEntries)
                continue;
            const double bytes = 16 * entries;
            const double cost = (bytes < 2e6 ? 3 : 15) * entries + steps(m + 1) + lookups(m, bytes);
            if (cost < best) {
                best = cost;
                m_method = InnerMethod::SparseTable;
                m_tableTerms = m;
            }
        }
        m_estimate = best;
        if (!counting)
            return;
        for (int m = 1; m <= kTerms; ++m) {
            const double keys = denseKeys(m);
            if (keys > options.maxDenseKeys)
                continue;
            const double cost = 2 * m * keys + steps(m + 1) + lookups(m, 16 * keys);
            if (cost < best) {
                best = cost;
                m_method = InnerMethod::DenseTable;
                m_tableTerms = m;
            }
        }
        m_estimate = best;
    }

    void setValue(int k, std::int64_t value) { setLane(m_low, m_high, k, value); }

    // The table look-ups for the values first, first + modulus, ... last of the term just above the
    // table, a batch at a time: the memory reads of a whole batch overlap instead of following each other.
    template <class Visit>
    void forEachProbe(const Level& L, std::int64_t rest, std::int64_t first, std::int64_t last, Visit&& visit) {
        constexpr int kBatch = 32;
        SparseTable::Probe probes[kBatch];
        std::int64_t values[kBatch];
        for (std::int64_t v = first; v <= last;) {
            int n = 0;
            for (; n < kBatch && v <= last; v += L.modulus)
                if (m_sparse->locate(rest - L.weight * v, probes[n]))
                    values[n++] = v;
            for (int i = 0; i < n; ++i)
                m_sparse->open(probes[i]);
            for (int i = 0; i < n; ++i)
                visit(values[i], probes[i]);
        }
    }

    void emitMatches(const SparseTable::Probe& probe) {
        const std::span<const std::uint64_t> matches = m_sparse->matches(probe);
        m_out->putRun(matches.data(), matches.size(), m_low, m_high);
    }

    // Hands on `found` again with term k+1's value replaced by `value`.
    void replay(const std::vector<Solution>& found, int k, std::int32_t value) {
        Emitter& out = *m_out;
        Emitter::Cursor cursor = out.open();
        const std::uint64_t keep = ~(std::uint64_t{0xffff} << (16 * (k & 3)));
        const std::uint64_t bits = lane(k, value);
        for (const Solution& s : found) {
            std::uint64_t low = 0, high = 0;
            std::memcpy(&low, s.values.data(), sizeof low);
            std::memcpy(&high, s.values.data() + 4, sizeof high);
            if (k < 4)
                low = (low & keep) | bits;
            else
                high = (high & keep) | bits;
            out.put(cursor, low, high);
        }
        out.close(cursor);
    }

    // Lists the solutions with terms k+1..8 as set and terms 1..k still free, whose sum is `rest`.
    void listFrom(int k, std::int64_t rest) {
        if (m_sparse && k == m_tableTerms) { // reached through a term of weight 0 just above the table
            SparseTable::Probe probe{};
            if (!m_sparse->locate(rest, probe))
                return;
            m_sparse->open(probe);
            emitMatches(probe);
            return;
        }
        if (k == 0) {
            if (rest == 0)
                m_out->put(m_low, m_high);
            return;
        }
        const Level& L = m_levels[static_cast<std::size_t>(k - 1)];
        if (L.weight == 0) {
            if (!L.reachable(rest))
                return;
            if (k == 1) { // rest is 0 here: every value of term 1 is a solution
                const std::uint64_t low = m_low & ~std::uint64_t{0xffff};
                Emitter::Cursor cursor = m_out->open();
                for (std::int32_t v = L.lo; v <= L.hi; ++v)
                    m_out->put(cursor, low | lane(0, v), m_high);
                m_out->close(cursor);
                return;
            }
            // The terms below do not depend on this value: search them once, for the first value, and
            // repeat what that found for the others (if it found nothing, none will find anything).
            // Only the outermost such term records; a record too large to keep means searching again,
            // which then costs little beside the many solutions each pass produces.
            const std::uint64_t before = m_out->produced();
            const bool record = !m_out->recording();
            std::vector<Solution> found;
            if (record)
                m_out->startRecording(found, m_maxRecord);
            setValue(k - 1, L.lo);
            listFrom(k - 1, rest);
            const bool complete = record && m_out->stopRecording();
            if (m_out->produced() == before)
                return;
            for (std::int32_t v = L.lo + 1; v <= L.hi; ++v) {
                setValue(k - 1, v);
                if (complete)
                    replay(found, k - 1, v);
                else
                    listFrom(k - 1, rest);
            }
            return;
        }
        std::int64_t first = 0, last = 0;
        if (!L.values(rest, first, last))
            return;
        // With 64-byte stores and a table with a bucket per key, every value of the term above the
        // table in its progression leaves a sum the table holds a bucket for (the table's range and
        // gcd are those of the terms below), and the key steps by a fixed amount: one loop writes the
        // runs of a whole progression, or of the progressions of the two terms above the table.
        if (m_sparse && m_out->wide() && m_sparse->keyedStarts()) {
            const Level& lower = m_levels[static_cast<std::size_t>(m_tableTerms)];
            KeyedRuns runs;
            runs.starts = m_sparse->keyedStarts();
            runs.values = m_sparse->keyedValues();
            runs.prefetch = m_sparse->large();
            runs.keyStep = -lower.weight * lower.modulus / m_sparse->gcd();
            runs.term = m_tableTerms;
            if (k == m_tableTerms + 1) {
                runs.key = m_sparse->divisor().divide(static_cast<std::uint64_t>(rest - L.weight * first - m_sparse->min()));
                runs.count = (last - first) / L.modulus + 1;
                runs.value = first;
                runs.valueStep = L.modulus;
                m_out->putKeyedRuns(runs, m_low, m_high);
                return;
            }
            if (k == m_tableTerms + 2 && lower.weight != 0) {
                m_out->putKeyedRuns(runs, lower, m_sparse->min(), m_sparse->divisor(), k - 1, L.weight, rest, first,
                                    last, L.modulus, m_low, m_high);
                return;
            }
        }
        if (m_sparse && k == m_tableTerms + 1) {
            forEachProbe(L, rest, first, last, [&](std::int64_t v, const SparseTable::Probe& probe) {
                setValue(k - 1, v);
                emitMatches(probe);
            });
            return;
        }
        if (k == 2 && m_pairLeaf) {
            // Every value in the progression has exactly one partner value of term 1, itself stepping
            // by a fixed amount: no division per solution.
            const std::int64_t w1 = m_levels[0].weight;
            std::int64_t v1 = (rest - L.weight * first) / w1;
            const std::int64_t step1 = -(L.weight / L.divisor) * (w1 > 0 ? 1 : -1);
            const std::uint64_t low = m_low & ~std::uint64_t{0xffffffff};
            Emitter::Cursor cursor = m_out->open();
            for (std::int64_t v2 = first; v2 <= last; v2 += L.modulus, v1 += step1)
                m_out->put(cursor, low | lane(0, static_cast<std::int32_t>(v1)) | lane(1, static_cast<std::int32_t>(v2)),
                           m_high);
            m_out->close(cursor);
            return;
        }
        for (std::int64_t v = first; v <= last; v += L.modulus) {
            setValue(k - 1, v);
            listFrom(k - 1, rest - L.weight * v);
        }
    }

    SolutionCount countFrom(int k, std::int64_t rest) {
        if (m_sparse && k == m_tableTerms) {
            SparseTable::Probe probe{};
            if (!m_sparse->locate(rest, probe))
                return {};
            m_sparse->open(probe);
            return SolutionCount(m_sparse->count(probe));
        }
        if (m_dense && k == m_tableTerms)
            return m_dense->count(rest);
        if (k == 0)
            return SolutionCount(rest == 0 ? 1 : 0);
        const Level& L = m_levels[static_cast<std::size_t>(k - 1)];
        if (L.weight == 0) {
            if (!L.reachable(rest))
                return {};
            return countFrom(k - 1, rest) * static_cast<std::uint64_t>(std::int64_t{L.hi} - L.lo + 1);
        }
        std::int64_t first = 0, last = 0;
        if (!L.values(rest, first, last))
            return {};
        if (m_sparse && k == m_tableTerms + 1) {
            std::uint64_t total = 0; // at most one match per inner combination and value: fits 64 bits
            forEachProbe(L, rest, first, last,
                         [&](std::int64_t, const SparseTable::Probe& probe) { total += m_sparse->count(probe); });
            return SolutionCount(total);
        }
        if (k == 2 && m_pairLeaf)
            return SolutionCount(static_cast<unsigned __int128>((last - first) / L.modulus + 1));
        SolutionCount total;
        for (std::int64_t v = first; v <= last; v += L.modulus)
            total += countFrom(k - 1, rest - L.weight * v);
        return total;
    }

    Box m_box;
    std::array<std::int64_t, kTerms> m_weights{};
    std::array<Level, kTerms> m_levels{};
    InnerMethod m_method = InnerMethod::Recursion;
    int m_tableTerms = 0;
    bool m_pairLeaf = false;
    std::size_t m_maxRecord = 0;
    const SparseTable* m_sparse = nullptr;
    const DenseTable* m_dense = nullptr;
    Emitter* m_out = nullptr;
    std::uint64_t m_low = 0;  // values of terms 1..4 as 16-bit lanes
    std::uint64_t m_high = 0; // values of terms 5..8
    double m_estimate = std::numeric_limits<double>::infinity(); // nanoseconds, the automatic choice
    // The join's box and limits, held apart so that the recursion's members keep their places.
    struct JoinState {
        fast::JoinBox box;
        fast::JoinLimits limits;
    };
    std::unique_ptr<JoinState> m_joinState;
};

// The combinations before `stop` (all of them when there is none) as boxes in enumeration order: with
// terms above j at the stop's values, term j before its stop value and the terms below free, for j from
// term 8 down to term 1. Empty when some range is empty.
std::vector<Box> boxesBefore(const SearchSetup& setup, const std::optional<Combination>& stop) {
    Box full;
    for (std::size_t k = 0; k < kTerms; ++k) {
        full.lo[k] = setup.terms[k].first;
        full.hi[k] = setup.terms[k].last;
        if (full.lo[k] > full.hi[k])
            return {};
    }
    if (!stop)
        return {full};
    std::vector<Box> boxes;
    Box box = full;
    for (std::size_t j = kTerms; j-- > 0;) {
        box.hi[j] = (*stop)[j] - 1;
        if (box.lo[j] <= box.hi[j])
            boxes.push_back(box);
        box.lo[j] = box.hi[j] = (*stop)[j];
    }
    return boxes;
}

} // namespace

void fastSearch(const SearchSetup& setup, SolutionSink& sink, const FastSearchOptions& options) {
    const std::optional<Combination> stop = firstOverflow(setup);
    Emitter out(sink, setup.target, options.wideStores);
    TableCache cache;
    for (const Box& box : boxesBefore(setup, stop)) {
        BoxSearch search(setup, box, options, false, cache);
        if (!search.listByJoin(out))
            search.list(out, setup.target);
    }
    out.flush();
    if (stop)
        throw RunTimeError::overflow();
}

SearchCount fastCount(const SearchSetup& setup, const FastSearchOptions& options) {
    const std::optional<Combination> stop = firstOverflow(setup);
    SearchCount result;
    result.overflow = stop.has_value();
    TableCache cache;
    for (const Box& box : boxesBefore(setup, stop)) {
        BoxSearch search(setup, box, options, true, cache);
        SolutionCount joined;
        result.solutions += search.countByJoin(joined) ? joined : search.count(setup.target);
    }
    return result;
}

} // namespace velmora
