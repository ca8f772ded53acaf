#pragma once
// The listing table of meet in the middle: every combination of the inner terms, grouped by sum.

#include "search/fast/arithmetic.h"
#include "search/fast/box.h"
#include "search/fast/simd.h"
#include "search/fast/table_allocator.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velmora::fast {

struct HashedEnumeration;
struct HashedLayout;

// Every combination of the inner terms (at most four, so that their values pack into 64 bits),
// grouped by sum, each group in enumeration order. A sum's key is (sum - minimum) / gcd. When the keys
// are no more than the entries, each key has its own bucket (sparse_table_keyed.cpp) and a look-up
// reads its bucket's offsets and then one run of packed values. Otherwise keys are hashed
// (sparse_table_hashed.cpp: sums of large weights cluster around a few values, so buckets by key
// range would be crowded). Either way a key's matches are one run of packed values, in enumeration order.
class SparseTable {
public:
    /// `counting`: the table will only count, so it keeps no values (and with a bucket per key, no entries).
    SparseTable(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms, bool counting);

    bool builtFor(const Box& box, int terms, bool counting) const;

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

    std::uint64_t count(const Probe& probe) const {
        return m_hashed ? hashedRun(probe).size : probe.end - probe.begin;
    }

    // For a listing table with a bucket per key: its buckets' starts and its values (else null), and
    // the gcd of its sums, by which a key steps when the sum steps.
    const std::uint32_t* keyedStarts() const { return m_hashed || m_counting ? nullptr : m_offsets.data(); }
    const std::uint64_t* keyedValues() const { return m_values.data(); }
    std::int64_t gcd() const { return m_gcd; }
    std::int64_t min() const { return m_min; }
    const ExactDivisor& divisor() const { return m_divisor; }
    bool large() const { return m_values.size() * sizeof(std::uint64_t) > (std::size_t{1} << 18); }

    static constexpr std::size_t kCopySpare = 7; // values past a stage of the build that it may write
    // Values readable past the table: the record writers read up to fifteen past a run, the build
    // writes up to kCopySpare past the table.
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

    struct Run {
        std::uint32_t first;
        std::uint32_t size;
    };

    // sparse_table.cpp: counts per key of a counting table with a bucket per key.
    void countKeys(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms,
                   std::uint32_t* counts) const;

    // sparse_table_keyed.cpp
    void buildByMerging(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms);
    int countedStages(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms) const;
    void countingStage(const Box& box, const std::array<std::int64_t, kTerms>& weights, int s, std::uint64_t* out,
                       std::uint32_t* starts) const;

    // sparse_table_hashed.cpp
    void buildHashed(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms,
                     std::uint64_t n, std::uint64_t maxKey);
    HashedLayout planHashed(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms,
                            std::uint64_t n, std::uint64_t maxKey, HashedEnumeration& e) const;
    void sortPartitions(const HashedLayout& layout, const HashedEnumeration& e, std::span<const std::uint32_t> parts,
                        std::uint64_t n, std::uint64_t* out);
    template <bool marking>
    void scatterPartition(const HashedLayout& layout, const HashedEnumeration& e, const std::uint64_t* from,
                          std::uint32_t size, std::uint64_t* out);
    void presenceFromFirstPartition(const HashedLayout& layout, std::uint32_t begin, std::uint64_t n);
    void sizePresence(unsigned hashBits, std::uint64_t keys);
    void buildFromCounts(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms, std::uint64_t n,
                         const HashedEnumeration& e, std::uint64_t* out);

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

    int m_terms = 0;
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

} // namespace velmora::fast
