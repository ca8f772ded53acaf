#include "search/fast/box_search.h"

#include "search/fast/cost_model.h"

#include <cmath>
#include <cstring>
#include <new>
#include <span>

namespace velmora::fast {

BoxSearch::BoxSearch(const SearchSetup& setup, const Box& box, const FastSearchOptions& options, bool counting,
                     TableCache& cache, bool mayJoin, ProgressReporter* progress)
    : m_box(box), m_progress(progress && progress->wanted() ? progress : nullptr) {
    useCheckLevel();
    for (int k = 0; k < kTerms; ++k)
        m_weights[static_cast<std::size_t>(k)] = setup.terms[static_cast<std::size_t>(k)].weight;
    m_levels = levelsOf(box, m_weights);
    m_maxRecord = options.maxRecordedSolutions;
    const InnerPlan plan = planInner(box, m_levels, options, counting, setup.target);
    m_method = plan.method;
    m_tableTerms = plan.tableTerms;
    if (mayJoin && chooseJoin(options, counting, setup.target, plan.estimateNs)) {
        cache.sparse.reset(); // their memory is the join's
        cache.dense.reset();
        return;
    }
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

namespace {

// The join's combinations, written through the emitter.
class JoinOutput final : public PackedSink {
public:
    explicit JoinOutput(Emitter& out) : m_out(out) {}
    void put(std::span<const PackedValues> combinations) override {
        Emitter::Cursor cursor = m_out.open();
        for (const PackedValues& c : combinations)
            m_out.put(cursor, c.low, c.high);
        m_out.close(cursor);
    }
    void idle() override { m_out.idle(); }

private:
    Emitter& m_out;
};

} // namespace

bool BoxSearch::chooseJoin(const FastSearchOptions& options, bool counting, std::int32_t target, double estimateNs) {
    const bool forced = options.method == InnerMethod::Join || options.method == InnerMethod::Sweep;
    // A join costs at least 0.1 ms: below that the estimate is not worth working out.
    if ((options.method != InnerMethod::Automatic && !forced) || (!forced && estimateNs < 1e5))
        return false;
    auto state = std::make_unique<JoinState>();
    static_cast<Box&>(state->box) = m_box;
    state->box.weights = m_weights;
    state->box.target = target;
    state->limits = {options.joinMemory, options.joinThreads,
                     options.method == InnerMethod::Join    ? JoinWay::Partitioned
                     : options.method == InnerMethod::Sweep ? JoinWay::Sweep
                                                            : JoinWay::Cheapest,
                     m_progress, options.joinChunkBytes};
    state->plan = planJoin(state->box, counting, state->limits);
    const double cost = state->plan.cost;
    if (!(cost < estimateNs) && !(forced && std::isfinite(cost)))
        return false;
    m_joinState = std::move(state);
    m_method = InnerMethod::Join;
    m_tableTerms = 0;
    return true;
}

void BoxSearch::useRecursion() {
    m_method = InnerMethod::Recursion;
    m_tableTerms = 0;
    m_pairLeaf = m_levels[0].weight != 0 && m_levels[1].weight != 0;
}

[[gnu::noinline]] bool BoxSearch::listByJoin(Emitter& out, const Combination* from) {
    if (m_method != InnerMethod::Join)
        return false;
    JoinOutput joined(out);
    if (joinList(m_joinState->box, m_joinState->plan, m_joinState->limits, joined, from))
        return true;
    useRecursion();
    return false;
}

[[gnu::noinline]] bool BoxSearch::countByJoin(SolutionCount& count) {
    if (m_method != InnerMethod::Join)
        return false;
    if (joinCount(m_joinState->box, m_joinState->plan, m_joinState->limits, count))
        return true;
    useRecursion();
    return false;
}

void BoxSearch::list(Emitter& out, std::int32_t target) {
    m_out = &out;
    m_producedBefore = out.produced();
    m_low = 0;
    m_high = 0;
    listFrom(kTerms, target);
}

// The table look-ups for the values first, first + modulus, ... last of the term just above the
// table, a batch at a time: the memory reads of a whole batch overlap instead of following each other.
template <class Visit>
void BoxSearch::forEachProbe(const Level& L, std::int64_t rest, std::int64_t first, std::int64_t last, Visit&& visit) {
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

void BoxSearch::emitMatches(const SparseTable::Probe& probe) {
    const std::span<const std::uint64_t> matches = m_sparse->matches(probe);
    m_out->putRun(matches.data(), matches.size(), m_low, m_high);
}

// Hands on `found` again with term k+1's value replaced by `value`.
void BoxSearch::replay(const std::vector<Solution>& found, int k, std::int32_t value) {
    Emitter& out = *m_out;
    Emitter::Cursor cursor = out.open();
    const std::uint64_t keep = otherLanes(k);
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

// With 64-byte stores and a table with a bucket per key, every value of the term above the table in
// its progression leaves a sum the table holds a bucket for (the table's range and gcd are those of
// the terms below), and the key steps by a fixed amount: one loop writes the runs of a whole
// progression, or of the progressions of the two terms above the table. True when term k+1 is one of
// those two and its runs are written.
bool BoxSearch::listKeyedRuns(int k, const Level& L, std::int64_t rest, std::int64_t first, std::int64_t last) {
    const Level& lower = m_levels[static_cast<std::size_t>(m_tableTerms)];
    KeyedTable table;
    table.starts = m_sparse->keyedStarts();
    table.values = m_sparse->keyedValues();
    table.prefetch = m_sparse->large();
    table.keyStep = -lower.weight * lower.modulus / m_sparse->gcd();
    table.valueStep = lower.modulus;
    table.term = m_tableTerms;
    const auto keyOf = [&](std::int64_t lowerRest, std::int64_t lowerFirst) {
        return m_sparse->divisor().divide(
            static_cast<std::uint64_t>(lowerRest - lower.weight * lowerFirst - m_sparse->min()));
    };
    if (k == m_tableTerms + 1) {
        KeyedProgression p{keyOf(rest, first), (last - first) / L.modulus + 1, first, 0};
        m_out->putKeyedRuns(table, &p, 1, m_low, m_high);
        return true;
    }
    if (k == m_tableTerms + 2 && lower.weight != 0) {
        // For each value of this term, the progression of the term below, handed on in batches.
        table.upperTerm = k - 1;
        constexpr std::size_t kBatch = 64;
        KeyedProgression batch[kBatch];
        std::size_t n = 0;
        for (std::int64_t v = first; v <= last; v += L.modulus) {
            const std::int64_t lowerRest = rest - L.weight * v;
            std::int64_t lowerFirst = 0, lowerLast = 0;
            if (!lower.values(lowerRest, lowerFirst, lowerLast))
                continue;
            batch[n++] = {keyOf(lowerRest, lowerFirst), (lowerLast - lowerFirst) / lower.modulus + 1, lowerFirst, v};
            if (n == kBatch) {
                m_out->putKeyedRuns(table, batch, n, m_low, m_high);
                n = 0;
            }
        }
        if (n > 0)
            m_out->putKeyedRuns(table, batch, n, m_low, m_high);
        return true;
    }
    return false;
}

// Lists the solutions below a term of weight 0 (term k): its value does not change the sum.
void BoxSearch::listFreeTerm(int k, const Level& L, std::int64_t rest) {
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
    try {
        listFrom(k - 1, rest);
    } catch (...) { // the record lives in this frame
        if (record)
            m_out->abandonRecording();
        throw;
    }
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
}

// Lists the solutions with terms k+1..8 as set and terms 1..k still free, whose sum is `rest`.
void BoxSearch::listFrom(int k, std::int64_t rest) {
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
        listFreeTerm(k, L, rest);
        return;
    }
    std::int64_t first = 0, last = 0;
    if (!L.values(rest, first, last))
        return;
    if (m_sparse && m_out->wide() && m_sparse->keyedStarts() && listKeyedRuns(k, L, rest, first, last))
        return;
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
        if (k > m_checkLevel)
            check(k, v);
        setValue(k - 1, v);
        listFrom(k - 1, rest - L.weight * v);
    }
}

SolutionCount BoxSearch::countFrom(int k, std::int64_t rest) {
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
    for (std::int64_t v = first; v <= last; v += L.modulus) {
        if (k > m_checkLevel)
            check(k, v);
        total += countFrom(k - 1, rest - L.weight * v);
    }
    return total;
}

} // namespace velmora::fast
