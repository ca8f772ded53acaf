// The command line's --count (answered by countSolutions) and its rows, against the reference engine.
#include "cli/command_line.h"
#include "tests/cli/command_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace velmora {
namespace {

using testing_support::CommandRun;

CommandRun run(const std::vector<std::string>& args) { return testing_support::runCommand(args); }

// A settings file: the target, eight headings, eight weights, then first and last of each term.
class SettingsFileOnDisk {
public:
    SettingsFileOnDisk(long target, const std::vector<long>& weights, const std::vector<std::pair<int, int>>& ranges)
        : m_path(std::filesystem::temp_directory_path() /
                 ("velmora-count-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".ini")) {
        std::ofstream file(m_path, std::ios::binary);
        file << target << "\r\n";
        for (int k = 1; k <= 8; ++k)
            file << "T" << k << "\r\n";
        for (long w : weights)
            file << w << "\r\n";
        for (const auto& [first, last] : ranges)
            file << first << "\r\n" << last << "\r\n";
    }
    ~SettingsFileOnDisk() { std::filesystem::remove(m_path); }
    std::string path() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

const std::vector<long> kShopping = {98, 128, 158, 198, 248, 298, 398, 498};

TEST(CountCommand, CountsWithoutListingAndAgreesWithTheReference) {
    const SettingsFileOnDisk file(3000, kShopping, std::vector<std::pair<int, int>>(8, {0, 5}));
    // 6^8 combinations keep the reference quick, also under sanitizers
    const CommandRun fast = run({"--count", file.path()});
    const CommandRun reference = run({"--count", "--reference", file.path()});
    EXPECT_EQ(fast.status, 0);
    EXPECT_EQ(fast.out, reference.out);
    EXPECT_NE(fast.out, "0\n");
    EXPECT_EQ(fast.err, "");
}

TEST(CountCommand, OverflowStopPrintsTheCountSoFarThenTheError) {
    std::vector<long> weights = kShopping;
    weights[7] = 100000000; // term 8's product overflows at its value 22
    std::vector<std::pair<int, int>> ranges(8, {0, 4});
    ranges[7] = {0, 30};
    const SettingsFileOnDisk file(2100000000 + 3 * 128, weights, ranges);
    const CommandRun fast = run({"--count", file.path()});
    const CommandRun reference = run({"--count", "--reference", file.path()});
    EXPECT_EQ(fast.status, 3);
    EXPECT_EQ(fast.out, reference.out);
    EXPECT_EQ(fast.err, reference.err);
    EXPECT_NE(fast.err.find("6"), std::string::npos);
    // The listing stops at the same place.
    const CommandRun rows = run({file.path()});
    const CommandRun referenceRows = run({"--reference", file.path()});
    EXPECT_EQ(rows.status, 3);
    EXPECT_EQ(rows.out, referenceRows.out);
    EXPECT_EQ(std::to_string(std::count(rows.out.begin(), rows.out.end(), '\n')) + "\n", fast.out);
}

TEST(CountCommand, CountsBeyond128BitsExactly) {
    const SettingsFileOnDisk file(0, std::vector<long>(8, 0), std::vector<std::pair<int, int>>(8, {-32768, 32767}));
    const CommandRun fast = run({"--count", file.path()});
    EXPECT_EQ(fast.status, 0);
    EXPECT_EQ(fast.out, "340282366920938463463374607431768211456\n");
}

TEST(RowCommand, RowsMatchTheReferenceToTheByte) {
    // Negative values, the extremes of 16 bits and a negative target exercise every kind of cell.
    const SettingsFileOnDisk file(-7, {1, -1, 2, 0, 0, 0, 0, 3},
                                  {{-3, 2}, {-2, 3}, {-1, 1}, {32766, 32767}, {-32768, -32767}, {0, 0}, {0, 0}, {-3, 0}});
    const CommandRun fast = run({file.path()});
    const CommandRun reference = run({"--reference", file.path()});
    EXPECT_EQ(fast.status, 0);
    EXPECT_EQ(fast.out, reference.out);
    EXPECT_NE(fast.out.find("-32768\t0\t0\t-"), std::string::npos);
}

} // namespace
} // namespace velmora
