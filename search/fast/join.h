#pragma once

#include "search/fast/box.h"
#include "search/solution_count.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

namespace velmora::fast {

/// The values of a combination as 16-bit lanes: `low` holds terms 1..4 (term 1 in the low lane),
/// `high` terms 5..8.
struct PackedValues {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
};

/// Receives the joined combinations in enumeration order, a batch at a time.
class PackedSink {
public:
    virtual ~PackedSink() = default;
    virtual void put(std::span<const PackedValues> combinations) = 0;
    /// The join is about to work a while before its next combinations (SolutionSink::idle).
    virtual void idle() {}
};

/// A box of combinations that lies wholly before the overflow stop (sums exact in 64 bits), with the
/// weights and the sum the combinations must make.
struct JoinBox : Box {
    std::array<std::int64_t, kTerms> weights{};
    std::int64_t target = 0;
};

/// Counting has two ways: the partitioned join, and a sweep over the sorted sums that holds almost no
/// memory. Listing always joins.
enum class JoinWay { Cheapest, Partitioned, Sweep };

class ProgressReporter;

struct JoinLimits {
    std::size_t memoryBytes = 0; ///< what the join may hold at once; 0: the machine's default
    int threads = 2;             ///< 1 or 2; the results do not depend on it
    JoinWay way = JoinWay::Cheapest;
    ProgressReporter* progress = nullptr; ///< told how far the join has got; may be null
    std::size_t chunkBytes = 0;           ///< a sweep's listing: the most a chunk holds; 0: what the memory allows
};

/// The memory a join may hold by default: 1 GiB, and never more than a quarter of physical memory.
std::size_t defaultJoinMemory();

/// How a join takes a box, chosen once per box by estimated cost.
struct JoinPlan {
    int m = 0;          ///< inner terms 1..m, outer terms m+1..8; 0: the join cannot take the box
    bool sweep = false; ///< a sweep over the sorted sums instead of the partitioned join
    double cost = std::numeric_limits<double>::infinity(); ///< estimated nanoseconds, the solutions aside
    std::size_t chunkRows = 0; ///< partitioned join: slow rows of the outer side in a chunk
};

/// The cheapest way to join the box within the memory limit (cost_model.cpp).
JoinPlan planJoin(const JoinBox& box, bool counting, const JoinLimits& limits);

/// Counts the combinations of the box that make the target. False, with nothing counted, when the
/// memory is not there: the caller then takes another way.
bool joinCount(const JoinBox& box, const JoinPlan& plan, const JoinLimits& limits, SolutionCount& count);

/// Hands on the combinations of the box that make the target, in enumeration order (term 8 slowest),
/// from the combination whose outer terms m+1..8 hold `start` (start[k] is term k+1; the box's first
/// values when null) and whose inner terms are free: what comes before it was listed another way.
/// False, before anything was handed on, when the memory is not there.
bool joinList(const JoinBox& box, const JoinPlan& plan, const JoinLimits& limits, PackedSink& out,
              const std::array<std::int32_t, 8>* start = nullptr);

} // namespace velmora::fast
