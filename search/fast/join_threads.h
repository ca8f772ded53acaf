#pragma once
// The join's work on one thread or two.

#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

namespace velmora::fast::join {

/// Runs work(0) and, with two threads, work(1) on a second thread; an exception of either is rethrown.
/// Where the system cannot start a thread, work(1) runs after work(0) on the calling thread.
template <class Work>
void onThreads(int threads, Work&& work) {
    if (threads <= 1) {
        work(0);
        return;
    }
    std::exception_ptr failure;
    std::thread second;
    try {
        second = std::thread([&work, &failure] {
            try {
                work(1);
            } catch (...) {
                failure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        work(0);
        work(1);
        return;
    } catch (const std::bad_alloc&) { // the thread's state
        work(0);
        work(1);
        return;
    }
    try {
        work(0);
    } catch (...) {
        second.join();
        throw;
    }
    second.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace velmora::fast::join
