// The checks in the recursion's loops over the values of its outer terms: how far the search has got,
// for the progress reporter, and the head start, which lists a box that the join would take for as
// long as its solutions pay for the recursion's work, then stops where the join is to take over.
#include "search/fast/box_search.h"

#include <chrono>

#if !defined(_WIN32)
#include <time.h>
#endif

namespace velmora::fast {

namespace {

// The time the calling thread has run, in nanoseconds: the head start's budget is the work it may
// do, which a loaded machine does not shorten. Wall time where the system has no such clock.
double threadNs() {
#if !defined(_WIN32) && defined(CLOCK_THREAD_CPUTIME_ID)
    timespec t{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) == 0)
        return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
#endif
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Thrown out of the recursion where a head start stops; the stop is in BoxSearch::m_head.
struct HeadStop {};

// A head start's solutions pay for its work while each costs it at most this much on average.
constexpr double kHeadNsPerSolution = 20;
// Past its time, a head start that finds solutions at least this often goes on until it has listed
// kHeadRows of them (screens of rows for a reader, and more than a pipe holds), for at most
// kHeadStretch times its time: the join's first solutions come only after it has prepared.
constexpr double kHeadNsPerRecentSolution = 1000;
constexpr std::uint64_t kHeadRows = std::uint64_t{1} << 16;
constexpr double kHeadStretch = 10;
// The clock is read every so many checks.
constexpr int kHeadClockEvery = 64;

} // namespace

std::optional<Combination> BoxSearch::listHead(Emitter& out, std::int32_t target, int freeTerms, int checks,
                                               double budgetNs) {
    m_head = HeadState{};
    m_head.checks = checks;
    m_head.budgetNs = budgetNs;
    m_head.producedBefore = m_head.producedLast = out.produced();
    m_head.start = m_head.last = threadNs();
    m_headLevel = freeTerms;
    useCheckLevel();
    try {
        list(out, target);
    } catch (const HeadStop&) {
        m_headLevel = kTerms;
        useCheckLevel();
        return m_head.stop;
    }
    m_headLevel = kTerms;
    useCheckLevel();
    return std::nullopt;
}

// Before term k takes `value`: stops the head start when its time is up and its solutions have not
// paid for it, with every combination before (terms above k as set, term k at `value`, the terms
// below at their first values) listed.
[[gnu::noinline]] void BoxSearch::check(int k, std::int64_t value) {
    if (m_progress && k >= kTerms - 1)
        m_progress->within(shareBefore(k, value), m_out ? m_out->produced() - m_producedBefore : 0);
    if (k <= m_headLevel)
        return;
    ++m_head.count;
    if (m_head.checks > 0) {
        if (m_head.count <= m_head.checks)
            return;
    } else {
        if (m_head.count % kHeadClockEvery != 0)
            return;
        const double now = threadNs();
        const std::uint64_t produced = m_out->produced();
        const double elapsed = now - m_head.start, recent = now - m_head.last;
        const std::uint64_t rows = produced - m_head.producedBefore, recentRows = produced - m_head.producedLast;
        m_head.last = now;
        m_head.producedLast = produced;
        if (elapsed < m_head.budgetNs || kHeadNsPerSolution * double(rows) >= elapsed)
            return;
        if (rows < kHeadRows && kHeadNsPerRecentSolution * double(recentRows) >= recent &&
            elapsed < kHeadStretch * m_head.budgetNs)
            return;
    }
    for (int j = 0; j < kTerms; ++j) {
        const auto J = static_cast<std::size_t>(j);
        const std::uint64_t word = j < 4 ? m_low : m_high;
        m_head.stop[J] = j < k - 1 ? m_box.lo[J]
                         : j == k - 1 ? static_cast<std::int32_t>(value)
                                      : std::int32_t{static_cast<std::int16_t>(word >> (16 * (j & 3)))};
    }
    throw HeadStop{};
}

// The share of the box's combinations before the one with terms above k as set, term k at `value`
// and the terms below at their first values.
double BoxSearch::shareBefore(int k, std::int64_t value) const {
    double share = 0, scale = 1;
    for (int j = kTerms; j >= k; --j) {
        const auto J = static_cast<std::size_t>(j - 1);
        const std::uint64_t word = j <= 4 ? m_low : m_high;
        const std::int64_t v = j == k ? value : std::int16_t(word >> (16 * ((j - 1) & 3)));
        scale *= rangeSize(m_box, j - 1);
        share += double(v - m_box.lo[J]) / scale;
    }
    return share;
}

} // namespace velmora::fast
