// The hashed build of a sparse table, for inner sums whose keys outnumber the entries.
#include "search/fast/sparse_table.h"

#include "search/fast/hashed_enumeration.h"

#include <algorithm>
#include <numeric>
#include <new>
#include <type_traits>
#include <utility>

namespace velmora::fast {

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


} // namespace velmora::fast
