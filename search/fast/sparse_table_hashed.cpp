// The hashed build of a sparse table, for inner sums whose keys outnumber the entries.
#include "search/fast/sparse_table.h"

#include "search/fast/hashed_enumeration.h"

#include <algorithm>
#include <numeric>
#include <new>
#include <type_traits>
#include <utility>

namespace velmora::fast {

// How the bits of h and of the elements are laid out: h's top bucketBits choose a bucket, the low
// tagBits are the tag, and the top partBits choose the partition an element is sorted in.
struct HashedLayout {
    unsigned hashBits = 0; // b, the bit width of the largest key
    unsigned bucketBits = 0;
    unsigned tagBits = 0;
    unsigned indexBits = 0; // the index's bit fields, below h in an element
    unsigned partBits = 0;
    std::uint64_t hashMask = 0;

    std::size_t buckets() const { return std::size_t{1} << bucketBits; }
    std::size_t partBuckets() const { return buckets() >> partBits; }
};

namespace {

// The tag sort of one partition at a time: least significant digit first (stable), in one or two
// passes, out of the table into scratch.
class TagSort {
public:
    TagSort(const HashedLayout& layout, unsigned digitBits, std::uint32_t largest)
        : m_digits(layout.tagBits > digitBits ? 2 : 1), m_largest(largest) {
        const unsigned lowBits = std::min(layout.tagBits, digitBits);
        m_shift = {layout.indexBits, layout.indexBits + lowBits};
        m_mask = {(std::uint64_t{1} << lowBits) - 1, (std::uint64_t{1} << (layout.tagBits - lowBits)) - 1};
        m_scratch.resize(std::size_t{largest} * m_digits);
        for (unsigned d = 0; d < m_digits; ++d)
            m_histogram[d].resize(m_mask[d] + 1);
    }

    // Counts the partition's entries by digit and by bucket (into offsets), then sorts them by
    // tag; returns where the sorted elements are.
    const std::uint64_t* sort(const std::uint64_t* part, std::uint32_t size, std::uint32_t* offsets,
                              unsigned bucketShift) {
        // Every count in one pass: they do not depend on the order.
        for (unsigned d = 0; d < m_digits; ++d)
            std::fill(m_histogram[d].begin(), m_histogram[d].end(), 0);
        for (std::uint32_t i = 0; i < size; ++i) {
            const std::uint64_t x = part[i];
            ++m_histogram[0][x >> m_shift[0] & m_mask[0]];
            ++offsets[x >> bucketShift];
        }
        if (m_digits > 1)
            for (std::uint32_t i = 0; i < size; ++i)
                ++m_histogram[1][part[i] >> m_shift[1] & m_mask[1]];
        const std::uint64_t* from = part;
        for (unsigned d = 0; d < m_digits; ++d) {
            std::uint64_t* const to = m_scratch.data() + std::size_t{m_largest} * d;
            std::uint32_t start = 0;
            for (std::uint32_t& h : m_histogram[d])
                start += std::exchange(h, start);
            for (std::uint32_t i = 0; i < size; ++i)
                to[m_histogram[d][from[i] >> m_shift[d] & m_mask[d]]++] = from[i];
            from = to;
        }
        return from;
    }

private:
    unsigned m_digits;
    std::uint32_t m_largest;
    std::array<unsigned, 2> m_shift{};
    std::array<std::uint64_t, 2> m_mask{};
    std::vector<std::uint64_t> m_scratch;
    std::array<std::vector<std::uint32_t>, 2> m_histogram;
};

// Partitions the elements h << indexBits | index by the top partBits of h, in one pass over the
// enumeration (few streams, written in order) after one that counts them. Returns where each
// partition starts, and the end.
std::vector<std::uint32_t> partitionElements(const HashedLayout& layout, const HashedEnumeration& e, int terms,
                                             std::uint64_t n, std::uint64_t* out) {
    const std::uint64_t mask = layout.hashMask;
    const unsigned indexBits = layout.indexBits;
    const auto element = [mask, indexBits](std::uint64_t h, std::uint64_t index) {
        return (h & mask) << indexBits | index;
    };
    std::vector<std::uint32_t> parts(std::size_t{1} + (std::size_t{1} << layout.partBits), 0);
    if (layout.partBits == 0) {
        std::size_t i = 0;
        e.forEach(terms, [&](std::uint64_t h, std::uint64_t index) { out[i++] = element(h, index); });
        parts[1] = static_cast<std::uint32_t>(n);
        return parts;
    }
    const unsigned partShift = indexBits + layout.hashBits - layout.partBits;
    e.forEach(terms, [&](std::uint64_t h, std::uint64_t index) { ++parts[(element(h, index) >> partShift) + 1]; });
    std::partial_sum(parts.begin(), parts.end(), parts.begin());
    std::vector<std::uint32_t> cursor(parts.begin(), parts.end() - 1);
    e.forEach(terms, [&](std::uint64_t h, std::uint64_t index) {
        const std::uint64_t x = element(h, index);
        out[cursor[x >> partShift]++] = x;
    });
    return parts;
}

} // namespace

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
void SparseTable::buildHashed(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms,
                              std::uint64_t n, std::uint64_t maxKey) {
    HashedEnumeration e;
    const HashedLayout layout = planHashed(box, weights, terms, n, maxKey, e);
    m_tagBits = layout.tagBits;
    m_hashMask = layout.hashMask;

    m_offsets.assign(layout.buckets() + 1, 0);
    m_tags.resize(n + kTagPadding);
    std::fill(m_tags.end() - kTagPadding, m_tags.end(), std::uint16_t{0});
    TableVector<std::uint64_t> table(n + kRunPadding);
    std::fill(table.end() - kRunPadding, table.end(), 0);
    std::uint64_t* const out = table.data();

    if (layout.partBits == 0 && (std::uint64_t{1} << layout.hashBits) <= 4 * n) {
        buildFromCounts(box, weights, terms, n, e, out);
    } else {
        const std::vector<std::uint32_t> parts = partitionElements(layout, e, terms, n, out);
        sortPartitions(layout, e, parts, n, out);
        // offsets[b] is now the end of bucket b, that is the start of bucket b + 1.
        std::copy_backward(m_offsets.begin(), m_offsets.end() - 1, m_offsets.end());
        m_offsets[0] = 0;
    }
    if (!m_counting)
        m_values = std::move(table);
}

// The bit widths of a hashed build, and the enumeration of its terms.
HashedLayout SparseTable::planHashed(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms,
                                     std::uint64_t n, std::uint64_t maxKey, HashedEnumeration& e) const {
    HashedLayout layout;
    const auto b = static_cast<unsigned>(std::bit_width(maxKey)); // maxKey >= n >= 1
    auto bucketBits = static_cast<unsigned>(n >= 2 * kBucketEntries ? std::bit_width(n / kBucketEntries) - 1 : 0);
    // Tags are 16 bits. A box lies before the overflow stop, so inner sums span less than 2^32 and
    // b <= 32: this asks for at most 2^16 buckets.
    bucketBits = std::min(b, std::max(bucketBits, b > kTagBits ? b - kTagBits : 0u));
    layout.hashBits = b;
    layout.bucketBits = bucketBits;
    layout.tagBits = b - bucketBits;
    layout.hashMask = b >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << b) - 1;

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
    layout.indexBits = indexBits;
    // Partitions by the top bits of h keep each later pass within the cache: 256 of them for the
    // largest tables, one when the whole table fits.
    layout.partBits = bucketBits > 12 ? std::min(8u, bucketBits - 12) : 0;
    return layout;
}

// Sorts each partition by tag and then (stable) by bucket back into its place, as packed values
// and tags, leaving offsets[b] at the end of bucket b.
void SparseTable::sortPartitions(const HashedLayout& layout, const HashedEnumeration& e,
                                 std::span<const std::uint32_t> parts, std::uint64_t n, std::uint64_t* out) {
    std::uint32_t largest = 0;
    for (std::size_t p = 0; p + 1 < parts.size(); ++p)
        largest = std::max(largest, parts[p + 1] - parts[p]);
    TagSort tagSort(layout, kDigitBits, largest);
    if (layout.partBits == 0)
        sizePresence(layout.hashBits, n);
    const unsigned bucketShift = layout.indexBits + layout.tagBits;
    const std::size_t partBuckets = layout.partBuckets();
    std::uint32_t* const offsets = m_offsets.data();
    for (std::size_t p = 0; p + 1 < parts.size(); ++p) {
        const std::uint32_t size = parts[p + 1] - parts[p];
        const std::uint64_t* const from = tagSort.sort(out + parts[p], size, offsets, bucketShift);
        std::uint32_t start = parts[p];
        const std::size_t first = p * partBuckets;
        for (std::size_t bucket = first; bucket < first + partBuckets; ++bucket)
            start += std::exchange(offsets[bucket], start);
        // The presence bits of a partitioned table are sized by the first partition's keys
        // (partitions are alike, h being a hash) and set for it afterwards; the later partitions,
        // and a table of one partition (sized by its entries), set them as they are written.
        if (p > 0 || layout.partBits == 0) {
            scatterPartition<true>(layout, e, from, size, out);
            continue;
        }
        scatterPartition<false>(layout, e, from, size, out);
        presenceFromFirstPartition(layout, parts[0], n);
    }
}

// Writes sorted elements to their buckets' places, as tags and packed values; `marking` also sets
// their presence bits.
template <bool marking>
void SparseTable::scatterPartition(const HashedLayout& layout, const HashedEnumeration& e, const std::uint64_t* from,
                                   std::uint32_t size, std::uint64_t* out) {
    std::uint32_t* const offsets = m_offsets.data();
    std::uint16_t* const tags = m_tags.data();
    std::uint64_t* const present = m_present.data();
    const unsigned indexBits = layout.indexBits;
    const unsigned bucketShift = indexBits + layout.tagBits;
    const std::uint64_t indexMask = (std::uint64_t{1} << indexBits) - 1;
    const std::uint64_t tagMask = (std::uint64_t{1} << layout.tagBits) - 1;
    const unsigned presentShift = indexBits + m_presentShift;
    for (std::uint32_t i = 0; i < size; ++i) {
        const std::uint64_t x = from[i];
        const std::uint32_t at = offsets[x >> bucketShift]++;
        tags[at] = static_cast<std::uint16_t>(x >> indexBits & tagMask);
        if (!m_counting)
            out[at] = e.values(x & indexMask);
        if constexpr (marking) {
            const std::uint64_t slot = x >> presentShift;
            present[slot >> 6] |= std::uint64_t{1} << (slot & 63);
        }
    }
}

// Sizes the presence bits of a partitioned table by the keys of its first partition, just
// scattered (offsets[b] the end of its bucket b, from begin on), and sets them for those keys.
void SparseTable::presenceFromFirstPartition(const HashedLayout& layout, std::uint32_t begin, std::uint64_t n) {
    std::vector<std::uint64_t> keys; // h of each key, from the sorted tags
    for (std::size_t bucket = 0; bucket < layout.partBuckets(); ++bucket) {
        const std::uint32_t end = m_offsets[bucket];
        for (std::uint32_t i = begin; i < end; ++i)
            if (i == begin || m_tags[i] != m_tags[i - 1])
                keys.push_back(bucket << m_tagBits | m_tags[i]);
        begin = end;
    }
    sizePresence(layout.hashBits, std::min<std::uint64_t>(std::uint64_t{keys.size()} << layout.partBits, n));
    for (std::uint64_t h : keys)
        m_present[(h >> m_presentShift) >> 6] |= std::uint64_t{1} << ((h >> m_presentShift) & 63);
}

// A few presence bits per key (kPresentBitsPerKey more bits than the keys take), at most one per
// value of h.
void SparseTable::sizePresence(unsigned hashBits, std::uint64_t keys) {
    const auto bits = std::min(hashBits, static_cast<unsigned>(std::bit_width(keys)) + kPresentBitsPerKey);
    m_presentShift = hashBits - bits;
    m_present.assign(((std::size_t{1} << bits) + 63) / 64, 0);
}


// A small hashed table with few values of h (at most four per entry): a count per value sorts it
// in one pass over the enumeration, with no elements to move.
void SparseTable::buildFromCounts(const Box& box, const std::array<std::int64_t, kTerms>& weights, int terms, std::uint64_t n,
                     const HashedEnumeration& e, std::uint64_t* out) {
    const std::uint64_t mask = m_hashMask;
    const std::uint64_t tagMask = (std::uint64_t{1} << m_tagBits) - 1;
    std::vector<std::uint32_t> at(mask + 2, 0); // then the next place of each value of h
    e.forEach(terms, [&](std::uint64_t h, std::uint64_t) { ++at[(h & mask) + 1]; });
    std::partial_sum(at.begin(), at.end(), at.begin());
    for (std::size_t bucket = 0; bucket < m_offsets.size(); ++bucket)
        m_offsets[bucket] = at[bucket << m_tagBits];
    sizePresence(static_cast<unsigned>(std::bit_width(mask)), n);
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


} // namespace velmora::fast
