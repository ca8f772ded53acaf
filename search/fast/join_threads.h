#pragma once
// The join's work on one thread or two.

#include <atomic>
#include <cstddef>
#include <exception>
#include <thread>
#include <type_traits>

namespace velmora::fast::join {

/// The thread that runs the second half of a join's work: the process's worker, kept from its first use on,
/// or, while another join holds the worker, a thread of its own. Joins it on destruction.
class SecondThread {
public:
    using Task = void (*)(void* context) noexcept;

    SecondThread(Task task, void* context);
    ~SecondThread() { join(); }
    SecondThread(const SecondThread&) = delete;
    SecondThread& operator=(const SecondThread&) = delete;

    /// False where the system could start no thread: the task was not run.
    bool started() const { return m_onWorker || m_own.joinable(); }
    void join();

private:
    bool m_onWorker = false;
    std::thread m_own;
};

/// Runs work(0) and, with two threads, work(1) on a second thread; an exception of either is rethrown once
/// both have ended. Where the system cannot start a thread, work(1) runs after work(0) on the calling thread.
template <class Work>
void onThreads(int threads, Work&& work) {
    if (threads <= 1) {
        work(0);
        return;
    }
    struct SecondHalf {
        std::remove_reference_t<Work>& work;
        std::exception_ptr failure;

        static void run(void* context) noexcept {
            SecondHalf& half = *static_cast<SecondHalf*>(context);
            try {
                half.work(1);
            } catch (...) {
                half.failure = std::current_exception();
            }
        }
    } half{work, nullptr};
    {
        SecondThread second(&SecondHalf::run, &half);
        if (!second.started()) {
            work(0);
            work(1);
            return;
        }
        work(0); // on an exception, the second half ends before it leaves
    }
    if (half.failure)
        std::rethrow_exception(half.failure);
}

/// Runs work(t, p) for every part p in [0, parts) on `threads` threads, each thread taking the next part
/// when it has finished one, so that neither waits long for the other where the parts' work differs.
template <class Work>
void onParts(int threads, std::size_t parts, Work&& work) {
    std::atomic<std::size_t> next{0};
    onThreads(threads, [&](int t) {
        for (std::size_t p = next++; p < parts; p = next++)
            work(t, p);
    });
}

} // namespace velmora::fast::join
