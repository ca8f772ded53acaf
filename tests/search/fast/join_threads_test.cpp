// The join's two halves: the process's worker, its reuse, and the ways around it while it is taken.
#include "search/fast/join_threads.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace velmora::fast::join {
namespace {

/// What one call of onThreads did: how often each half ran, and on which thread.
struct Halves {
    std::array<std::atomic<int>, 2> runs{};
    std::array<std::thread::id, 2> on{};

    void ran(int t) {
        on[static_cast<std::size_t>(t)] = std::this_thread::get_id();
        ++runs[static_cast<std::size_t>(t)];
    }
    /// Each half once, work(0) on the caller and work(1) on another thread.
    bool onTwoThreads(std::thread::id caller) const {
        return runs[0] == 1 && runs[1] == 1 && on[0] == caller && on[1] != caller;
    }
};

TEST(JoinThreads, ManyCallsInARowShareOneWorker) {
    std::thread::id worker;
    for (int call = 0; call < 200; ++call) {
        Halves halves;
        onThreads(2, [&](int t) { halves.ran(t); });
        ASSERT_TRUE(halves.onTwoThreads(std::this_thread::get_id())) << "call " << call;
        if (call == 0)
            worker = halves.on[1];
        ASSERT_EQ(halves.on[1], worker) << "call " << call;
    }
}

TEST(JoinThreads, AnExceptionOfEitherHalfReachesTheCallerOnceBothHaveEnded) {
    struct Row {
        bool throws0, throws1;
        const char* caught; // the message of the exception the caller sees, "" for none
    };
    const Row rows[] = {
        {false, false, ""},
        {true, false, "half 0"},
        {false, true, "half 1"},
        {true, true, "half 0"}, // the caller's own
    };
    std::vector<std::thread::id> workers;
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << "throws " << r.throws0 << r.throws1);
        std::atomic<bool> secondEnded = false;
        std::string caught;
        Halves halves;
        try {
            onThreads(2, [&](int t) {
                halves.ran(t);
                if (t == 1) {
                    // Late, so that a caller that did not wait for it would see it still running.
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    secondEnded = true;
                }
                if (t == 0 ? r.throws0 : r.throws1)
                    throw std::runtime_error("half " + std::to_string(t));
            });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        EXPECT_EQ(caught, r.caught);
        EXPECT_TRUE(secondEnded);
        EXPECT_TRUE(halves.onTwoThreads(std::this_thread::get_id()));
        workers.push_back(halves.on[1]);
    }
    // An exception does not keep the worker taken: every row's second half ran on the same thread.
    for (const std::thread::id& worker : workers)
        EXPECT_EQ(worker, workers[0]);
}

TEST(JoinThreads, NestedCallsRunBothHalvesWithoutWaitingOnTheirOwnWorker) {
    struct Row {
        bool nests0, nests1; // which outer halves call onThreads themselves
    };
    const Row rows[] = {{true, false}, {false, true}, {true, true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << "nests " << r.nests0 << r.nests1);
        Halves outer;
        std::array<Halves, 2> inner;
        onThreads(2, [&](int t) {
            outer.ran(t);
            if (t == 0 ? r.nests0 : r.nests1)
                onThreads(2, [&](int u) { inner[static_cast<std::size_t>(t)].ran(u); });
        });
        EXPECT_TRUE(outer.onTwoThreads(std::this_thread::get_id()));
        for (int t = 0; t < 2; ++t) {
            if (t == 0 ? r.nests0 : r.nests1) {
                EXPECT_TRUE(inner[static_cast<std::size_t>(t)].onTwoThreads(outer.on[static_cast<std::size_t>(t)]))
                    << "inside half " << t;
            }
        }
    }
}

TEST(JoinThreads, TwoCallersAtOnceEachRunBothHalves) {
    constexpr int kCalls = 300;
    std::atomic<int> ready = 0;
    std::array<int, 2> good{};
    const auto caller = [&](int c) {
        ++ready;
        while (ready < 2) {
            std::this_thread::yield(); // both start together, so that their calls overlap
        }
        for (int call = 0; call < kCalls; ++call) {
            Halves halves;
            onThreads(2, [&](int t) { halves.ran(t); });
            good[static_cast<std::size_t>(c)] += halves.onTwoThreads(std::this_thread::get_id());
        }
    };
    std::thread other(caller, 1);
    caller(0);
    other.join();
    EXPECT_EQ(good[0], kCalls);
    EXPECT_EQ(good[1], kCalls);
}

} // namespace
} // namespace velmora::fast::join
