// The physical memory of the machine: the system's answer, and the page arithmetic of POSIX systems in
// 64 bits.
#include "platform/physical_memory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>

namespace velmora {
namespace {

constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();

TEST(PhysicalMemory, MemoryOfPagesIsA64BitProductThatSaturates) {
    constexpr long long kLongLongMax = std::numeric_limits<long long>::max();
    struct Case {
        const char* name;
        long long pages;
        long long pageSize;
        std::optional<std::uint64_t> bytes;
    };
    const Case cases[] = {
        {"the system cannot tell", -1, 4096, std::nullopt},
        {"no pages", 0, 4096, std::nullopt},
        {"no page size", 262144, 0, std::nullopt},
        {"8 GiB: 0 in 32 bits", 1 << 21, 4096, std::uint64_t{1} << 33},
        {"a page over 4 GiB", (1 << 20) + 1, 4096, (std::uint64_t{1} << 32) + 4096},
        {"2^63 exactly", std::int64_t{1} << 51, 4096, std::uint64_t{1} << 63},
        {"2^64 saturates", std::int64_t{1} << 52, 4096, kMax64},
        {"the largest of both", kLongLongMax, kLongLongMax, kMax64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(memoryOfPages(c.pages, c.pageSize), c.bytes);
    }
}

TEST(PhysicalMemory, ThisMachineReportsItsMemory) {
    const std::optional<std::uint64_t> memory = physicalMemoryBytes();
    ASSERT_TRUE(memory.has_value());
    EXPECT_GE(*memory, std::uint64_t{64} << 20);
    std::printf("physical memory %llu bytes\n", static_cast<unsigned long long>(*memory));
}

} // namespace
} // namespace velmora
